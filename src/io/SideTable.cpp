#include "io/SideTable.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "core/Messages.h"
#include "core/MiscUtilities.h"
#include "core/TokenReader.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> SplitFields(const std::string& line, bool byTab) {
    std::vector<std::string> fields;
    std::string field;
    if (byTab) {
        std::stringstream in(line);
        while (std::getline(in, field, '\t'))
            fields.push_back(Trim(field));
        if (!line.empty() && line.back() == '\t')
            fields.push_back(std::string());
    } else {
        std::stringstream in(line);
        while (in >> field)
            fields.push_back(field);
    }
    return fields;
}

bool IsXName(const std::string& name) {
    return name == "x" || name == "lon" || name == "long" || name == "longitude";
}
bool IsYName(const std::string& name) {
    return name == "y" || name == "lat" || name == "latitude";
}

// Which column of the table gives which value.
struct SColumnMap {
    int id = -1, ref = -1, x = -1, y = -1;
    INT_VCTR_1D qual, quant;
    size_t width = 0;
};

class CSideTableLoader {
  public:
    CSideTableLoader(const std::string& File, const SSideColumns& wanted)
        : m_file(File), m_wanted(wanted) {}
    void Read(const std::vector<std::string>& ids, const std::string& dataFile,
              SSideValues& values);

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        RefuseInput(m_file + ", line " + std::to_string(m_nLine) + ": " + what +
                    " - LoadSideTable");
    }
    void ReadHeader();
    int FindColumn(bool (*matches)(const std::string&), const char* name) const;
    void StoreRow(const std::vector<std::string>& fields, int i, SSideValues& values);
    int IntField(const std::vector<std::string>& fields, int column);
    double RealField(const std::vector<std::string>& fields, int column);

    std::string m_file;
    SSideColumns m_wanted;
    std::ifstream m_in;
    int m_nLine = 0;
    bool m_bTab = false;
    std::vector<std::string> m_header;
    SColumnMap m_map;
};

// The one column whose name matches; two (x and longitude, say) would leave
// the choice to their order: refused, naming both.
int CSideTableLoader::FindColumn(bool (*matches)(const std::string&), const char* name) const {
    int found = -1;
    for (size_t c = 0; c < m_header.size(); ++c) {
        if (!matches(Lower(m_header[c])))
            continue;
        if (found >= 0)
            Fail("columns '" + m_header[found] + "' and '" + m_header[c] + "' both stand for '" +
                 name + "': keep one of them");
        found = static_cast<int>(c);
    }
    if (found < 0)
        RefuseInput(m_file + ": no column named '" + name + "' in the header line - LoadSideTable");
    return found;
}

void CSideTableLoader::ReadHeader() {
    std::string line;
    while (std::getline(m_in, line)) {
        ++m_nLine;
        if (!Trim(line).empty())
            break;
    }
    if (Trim(line).empty())
        RefuseInput(m_file + ": the table is empty (a header line is expected) - LoadSideTable");
    m_bTab = line.find('\t') != std::string::npos;
    m_header = SplitFields(Trim(line), m_bTab);
    std::map<std::string, int> seen;
    for (const std::string& name : m_header)
        if (++seen[Lower(name)] == 2)
            Fail("column name '" + name + "' appears twice in the header");
    m_map.width = m_header.size();
    m_map.id = FindColumn([](const std::string& n) { return n == "id"; }, "id");
    if (m_wanted.ref)
        m_map.ref = FindColumn([](const std::string& n) { return n == "ref"; }, "ref");
    if (m_wanted.coordinates) {
        m_map.x = FindColumn(IsXName, "x");
        m_map.y = FindColumn(IsYName, "y");
    }
    std::vector<int> others;
    for (size_t c = 0; c < m_header.size(); ++c) {
        const std::string name = Lower(m_header[c]);
        if (name != "id" && name != "ref" && !IsXName(name) && !IsYName(name))
            others.push_back(static_cast<int>(c));
    }
    const size_t asked = m_wanted.nbQualVar + m_wanted.nbQuantVar;
    if (others.size() < asked)
        Fail("the header names " + std::to_string(others.size()) +
             " covariate column(s) where -XL" + std::to_string(m_wanted.nbQualVar) + " -X" +
             std::to_string(m_wanted.nbQuantVar) + " ask for " + std::to_string(asked));
    m_map.qual.assign(others.begin(), others.begin() + m_wanted.nbQualVar);
    m_map.quant.assign(others.begin() + m_wanted.nbQualVar, others.begin() + asked);
    if (others.size() > asked) {
        std::string note = "Note: column(s)";
        for (size_t c = asked; c < others.size(); ++c)
            note += " " + m_header[others[c]];
        PrintMessage(note + " of " + m_file + " are not used (-XL" +
                     std::to_string(m_wanted.nbQualVar) + " -X" +
                     std::to_string(m_wanted.nbQuantVar) + ").");
    }
}

int CSideTableLoader::IntField(const std::vector<std::string>& fields, int column) {
    int value = 0;
    if (!ParseInt(fields[column], value))
        Fail("column " + m_header[column] + ": '" + fields[column] + "' is not an integer");
    return value;
}

double CSideTableLoader::RealField(const std::vector<std::string>& fields, int column) {
    double value = 0.0;
    if (!ParseDouble(fields[column], value))
        Fail("column " + m_header[column] + ": '" + fields[column] + "' is not a finite number");
    return value;
}

void CSideTableLoader::StoreRow(const std::vector<std::string>& fields, int i,
                                SSideValues& values) {
    if (m_map.ref >= 0)
        values.isBase[i] = IntField(fields, m_map.ref);
    for (size_t v = 0; v < m_map.qual.size(); ++v)
        values.XQual[i][v] = IntField(fields, m_map.qual[v]);
    for (size_t v = 0; v < m_map.quant.size(); ++v)
        values.XQuant[i][v] = RealField(fields, m_map.quant[v]);
    if (m_map.x >= 0) {
        values.C[i][0] = RealField(fields, m_map.x);
        values.C[i][1] = RealField(fields, m_map.y);
    }
}

void CSideTableLoader::Read(const std::vector<std::string>& ids, const std::string& dataFile,
                            SSideValues& values) {
    const int N = static_cast<int>(ids.size());
    std::map<std::string, int> position;
    for (int i = 0; i < N; ++i)
        if (!position.emplace(ids[i], i).second)
            RefuseInput("Individual " + ids[i] + " appears twice in " + dataFile +
                        ", so it cannot be matched with a row of " + m_file + " - LoadSideTable");
    m_in.open(m_file);
    if (!m_in)
        RefuseInput("Cannot open file " + m_file + " - LoadSideTable");
    ReadHeader();
    values = SSideValues();
    values.isBase.assign(N, 0);
    values.XQual.assign(N, INT_VCTR_1D(m_wanted.nbQualVar, 0));
    values.XQuant.assign(N, DBL_VCTR_1D(m_wanted.nbQuantVar, 0.0));
    values.C.assign(N, DBL_VCTR_1D(2, 0.0));
    INT_VCTR_1D rowOf(N, 0);  // line of each individual's row, 0 while none
    int unused = 0;
    std::string line;
    while (std::getline(m_in, line)) {
        ++m_nLine;
        if (Trim(line).empty())
            continue;
        const std::vector<std::string> fields = SplitFields(m_bTab ? line : Trim(line), m_bTab);
        if (fields.size() != m_map.width)
            Fail(std::to_string(fields.size()) + " fields where the header names " +
                 std::to_string(m_map.width) + " columns");
        const auto found = position.find(fields[m_map.id]);
        if (found == position.end()) {
            ++unused;
            continue;
        }
        const int i = found->second;
        if (rowOf[i] != 0)
            Fail("individual " + ids[i] + " already has a row (line " + std::to_string(rowOf[i]) +
                 ")");
        rowOf[i] = m_nLine;
        StoreRow(fields, i, values);
    }
    for (int i = 0; i < N; ++i)
        if (rowOf[i] == 0)
            RefuseInput("Individual " + ids[i] + " of " + dataFile + " has no row in " + m_file +
                        " - LoadSideTable");
    if (unused > 0)
        PrintMessage("Note: " + std::to_string(unused) + " row(s) of " + m_file +
                     " name no individual of " + dataFile + " and are not used.");
}

}  // namespace

void ReadSideTable(const std::string& File, const SSideColumns& wanted,
                   const std::vector<std::string>& ids, const std::string& dataFile,
                   SSideValues& values) {
    CSideTableLoader loader(File, wanted);
    loader.Read(ids, dataFile, values);
}
