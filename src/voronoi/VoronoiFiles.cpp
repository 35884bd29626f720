// The Voronoi file (a whole tessellation with its neighbourhood system, one
// line of space-terminated tokens) and the NS file (a square table of
// neighbour indices padded with -1).
#include <fstream>
#include <iostream>

#include "core/Messages.h"
#include "voronoi/Voronoi.h"

namespace {

const char kVoronoiVersion[] = "Voronoi-1.0";

template <class T>
void PutToken(std::ostream& os, const T& token) {
    os << token << ' ';
}

bool CheckSaveInputs(const std::vector<SPoint>& vptX, const std::vector<bool>& vbKeep,
                     const std::vector<double>& vdDataMinMax,
                     const std::vector<double>& vdDataScale, const std::vector<CEdge>& veVoronoi,
                     const std::vector<std::vector<int>>& vvnNS) {
    const char* problem = nullptr;
    if (vptX.empty())
        problem = "No Voronoi Points";
    else if (vbKeep.empty())
        problem = "No Keep Flags";
    else if (vbKeep.size() < vptX.size())
        problem = "Wrong Keep Flags";
    else if (vdDataMinMax.size() != 4)
        problem = "Wrong Data Min Max";
    else if (vdDataScale.size() != 4)
        problem = "Wrong Data Scale";
    else if (veVoronoi.empty())
        problem = "No Voronoi Edges";
    else if (vvnNS.empty())
        problem = "No Voronoi Neighborhood System";
    if (problem == nullptr)
        return true;
    PrintMessage(std::string(problem) + " - CVoronoi::SaveVoronoi");
    return false;
}

void WriteVoronoiBody(std::ostream& os, const std::vector<SPoint>& vptX,
                      const std::vector<bool>& vbKeep, const std::vector<double>& vdDataMinMax,
                      const std::vector<double>& vdDataScale, const std::vector<CEdge>& veVoronoi,
                      const std::vector<std::vector<int>>& vvnNS) {
    PutToken(os, kVoronoiVersion);
    PutToken(os, vptX.size());
    for (const SPoint& pt : vptX)
        PutToken(os, pt);
    for (size_t i = 0; i < vptX.size(); ++i)
        PutToken(os, vbKeep[i] ? 1 : 0);
    for (double v : vdDataMinMax)
        PutToken(os, v);
    for (double v : vdDataScale)
        PutToken(os, v);
    PutToken(os, veVoronoi.size());
    for (const CEdge& e : veVoronoi)
        PutToken(os, e);
    PutToken(os, vvnNS.size());
    for (const std::vector<int>& row : vvnNS) {
        PutToken(os, row.size());
        for (int o : row)
            PutToken(os, o);
    }
}

// Reads the body after the version tag; false at the first failed read or
// at a count or neighbour index that cannot be right.
bool ReadVoronoiBody(std::istream& is, std::vector<SPoint>& vptX, std::vector<bool>& vbKeep,
                     std::vector<double>& vdDataMinMax, std::vector<double>& vdDataScale,
                     std::vector<CEdge>& veVoronoi, std::vector<std::vector<int>>& vvnNS) {
    long long n = 0;
    if (!(is >> n) || n < 0)
        return false;
    SPoint pt;
    for (long long i = 0; i < n; ++i) {
        if (!(is >> pt))
            return false;
        vptX.push_back(pt);
    }
    bool flag = false;
    for (long long i = 0; i < n; ++i) {
        if (!(is >> flag))
            return false;
        vbKeep.push_back(flag);
    }
    double v = 0.0;
    for (int i = 0; i < 8; ++i) {
        if (!(is >> v))
            return false;
        (i < 4 ? vdDataMinMax : vdDataScale).push_back(v);
    }
    long long E = 0;
    if (!(is >> E) || E < 0)
        return false;
    CEdge e;
    for (long long i = 0; i < E; ++i) {
        if (!(is >> e))
            return false;
        veVoronoi.push_back(e);
    }
    long long R = 0;
    if (!(is >> R) || R < 0 || R > n)
        return false;
    for (long long r = 0; r < R; ++r) {
        long long L = 0;
        if (!(is >> L) || L < 0)
            return false;
        vvnNS.emplace_back();
        int o = 0;
        for (long long k = 0; k < L; ++k) {
            if (!(is >> o) || o < 0 || o >= n)
                return false;
            vvnNS.back().push_back(o);
        }
    }
    return true;
}

void ClearAll(std::vector<SPoint>& vptX, std::vector<bool>& vbKeep,
              std::vector<double>& vdDataMinMax, std::vector<double>& vdDataScale,
              std::vector<CEdge>& veVoronoi, std::vector<std::vector<int>>& vvnNS) {
    vptX.clear();
    vbKeep.clear();
    vdDataMinMax.clear();
    vdDataScale.clear();
    veVoronoi.clear();
    vvnNS.clear();
}

}  // namespace

bool CVoronoi::SaveVoronoi(const std::vector<SPoint>& vptX, const std::vector<bool>& vbKeep,
                           const std::vector<double>& vdDataMinMax,
                           const std::vector<double>& vdDataScale,
                           const std::vector<CEdge>& veVoronoi,
                           const std::vector<std::vector<int>>& vvnNS, const std::string& File) {
    if (!CheckSaveInputs(vptX, vbKeep, vdDataMinMax, vdDataScale, veVoronoi, vvnNS))
        return false;
    std::ofstream os(File, std::ios::out | std::ios::trunc);
    if (!os) {
        PrintMessage(std::string("Cannot open file ") + File + " - CVoronoi::SaveVoronoi");
        return false;
    }
    WriteVoronoiBody(os, vptX, vbKeep, vdDataMinMax, vdDataScale, veVoronoi, vvnNS);
    os.close();
    if (!os) {
        PrintMessage(std::string("Cannot write file ") + File + " - CVoronoi::SaveVoronoi");
        return false;
    }
    return true;
}

bool CVoronoi::LoadVoronoi(std::vector<SPoint>& vptX, std::vector<bool>& vbKeep,
                           std::vector<double>& vdDataMinMax, std::vector<double>& vdDataScale,
                           std::vector<CEdge>& veVoronoi, std::vector<std::vector<int>>& vvnNS,
                           const std::string& File) {
    ClearAll(vptX, vbKeep, vdDataMinMax, vdDataScale, veVoronoi, vvnNS);
    std::ifstream is(File);
    if (!is) {
        PrintMessage(std::string("Cannot open file ") + File + " - CVoronoi::LoadVoronoi");
        return false;
    }
    std::string tag;
    if (!(is >> tag) || tag != kVoronoiVersion) {
        PrintMessage("Unknown or Old Version Voronoi File - CVoronoi::LoadVoronoi");
        return false;
    }
    if (!ReadVoronoiBody(is, vptX, vbKeep, vdDataMinMax, vdDataScale, veVoronoi, vvnNS)) {
        // A partial tessellation is of no use to anybody: hand back nothing.
        ClearAll(vptX, vbKeep, vdDataMinMax, vdDataScale, veVoronoi, vvnNS);
        PrintMessage(std::string("Truncated or Malformed Voronoi File ") + File +
                     " - CVoronoi::LoadVoronoi");
        return false;
    }
    return true;
}

bool CVoronoi::WriteNStoMyFile(const std::vector<std::vector<int>>& vvnNS,
                               const std::string& File) {
    if (vvnNS.empty()) {
        PrintMessage("No Voronoi Neighborhood System - CVoronoi::WriteNStoMyFile");
        return false;
    }
    // Every line holds exactly R values; a longer row (repeated neighbours)
    // would shift every later value when the square table is read back.
    const size_t R = vvnNS.size();
    for (const std::vector<int>& row : vvnNS) {
        if (row.size() > R) {
            PrintMessage("Neighborhood Row Too Long - CVoronoi::WriteNStoMyFile");
            return false;
        }
    }
    std::ofstream os(File, std::ios::out | std::ios::trunc);
    if (!os) {
        PrintMessage(std::string("Cannot open file ") + File + " - CVoronoi::WriteNStoMyFile");
        return false;
    }
    for (const std::vector<int>& row : vvnNS) {
        for (int o : row)
            PutToken(os, o);
        for (size_t k = row.size(); k < R; ++k)
            PutToken(os, -1);
        os << '\n';
    }
    os.close();
    if (!os) {
        PrintMessage(std::string("Cannot write file ") + File + " - CVoronoi::WriteNStoMyFile");
        return false;
    }
    return true;
}

bool CVoronoi::LoadNS(std::vector<std::vector<int>>& vvnNS, int N, const std::string& File) {
    std::ifstream is(File);
    if (!is) {
        PrintMessage(std::string("Cannot open file ") + File + " - CVoronoi::LoadNS");
        return false;
    }
    if (N > 0 && vvnNS.size() < static_cast<size_t>(N)) {
        PrintMessage("Wrong Neighborhood System - CVoronoi::LoadNS");
        return false;
    }
    // Read the whole table first so that a bad file leaves the rows as given.
    std::vector<std::vector<int>> rows(static_cast<size_t>(N > 0 ? N : 0));
    for (int i = 0; i < N; ++i) {
        for (int k = 0; k < N; ++k) {
            int o = 0;
            if (!(is >> o) || o < -1 || o >= N) {
                PrintMessage(std::string("Truncated or Malformed NS File ") + File +
                             " - CVoronoi::LoadNS");
                return false;
            }
            if (o != -1)
                rows[static_cast<size_t>(i)].push_back(o);
        }
    }
    for (int i = 0; i < N; ++i)
        vvnNS[static_cast<size_t>(i)].insert(vvnNS[static_cast<size_t>(i)].end(),
                                             rows[static_cast<size_t>(i)].begin(),
                                             rows[static_cast<size_t>(i)].end());
    return true;
}
