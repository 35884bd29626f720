#include "study/HeldOutGenotypes.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "io/TableText.h"
#include "study/StudyOptions.h"

namespace {

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Calls visit(individual, locus, copy, begin, end) for each allele code of
// the N individuals, in the order of the file; false, with why, when the file
// ends before the layout does.
template <class Visit>
bool WalkCodes(const std::string& text, const SGenotypeLayout& lay, Visit visit, std::string& why) {
    size_t at = 0;
    for (long r = 0; r < lay.headerRows; ++r) {
        at = text.find('\n', at);
        if (at == std::string::npos) {
            why = "it ends within its " + std::to_string(lay.headerRows) + " header rows (-r)";
            return false;
        }
        ++at;
    }
    auto next = [&](size_t& begin, size_t& end) {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
            ++at;
        begin = at;
        while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at])))
            ++at;
        end = at;
        return end > begin;
    };
    size_t begin = 0, end = 0;
    auto skipLeading = [&]() {
        for (long f = 0; f < lay.leading; ++f)
            if (!next(begin, end))
                return false;
        return true;
    };
    for (long i = 0; i < lay.N; ++i) {
        const bool whole = [&]() {
            if (lay.oneRow) {
                if (!skipLeading())
                    return false;
                for (long l = 0; l < lay.L; ++l)
                    for (long a = 0; a < lay.A; ++a)
                        if (!next(begin, end) || !visit(i, l, a, begin, end))
                            return false;
                return true;
            }
            for (long a = 0; a < lay.A; ++a) {
                if (!skipLeading())
                    return false;
                for (long l = 0; l < lay.L; ++l)
                    if (!next(begin, end) || !visit(i, l, a, begin, end))
                        return false;
            }
            return true;
        }();
        if (!whole) {
            if (why.empty())
                why = "it ends before the genotype of individual " + std::to_string(i + 1) +
                      " is complete";
            return false;
        }
    }
    return true;
}

// The code that marks a missing copy at each locus: the smallest negative
// code the locus already uses (any other negative code would be read as an
// allele), else -9.
std::vector<int> MissingCodes(const SGenotypeText& data) {
    const SGenotypeLayout& lay = data.layout;
    std::vector<int> missing(lay.L, -9);
    std::vector<bool> seen(lay.L, false);
    for (long i = 0; i < lay.N; ++i)
        for (long l = 0; l < lay.L; ++l)
            for (long a = 0; a < lay.A; ++a) {
                const int c = data.Code(i, l, a);
                if (c < 0 && (!seen[l] || c < missing[l]))
                    missing[l] = c, seen[l] = true;
            }
    return missing;
}

bool FullyObserved(const SGenotypeText& data, long i, long l) {
    for (long a = 0; a < data.layout.A; ++a)
        if (data.Code(i, l, a) < 0)
            return false;
    return true;
}

bool PartlyObserved(const SGenotypeText& data, long i, long l) {
    for (long a = 0; a < data.layout.A; ++a)
        if (data.Code(i, l, a) >= 0)
            return true;
    return false;
}

}  // namespace

bool HeldOutLayout(const std::vector<std::string>& options, SGenotypeLayout& lay,
                   std::string& why) {
    lay = SGenotypeLayout();
    long ec = 0, qual = 0, quant = 0, ref = 0;
    bool countsRead = true;
    auto count = [&](const std::string& text, long& into) {
        countsRead = ParseInteger(text, into) && into >= 0 && countsRead;
    };
    for (const std::string& a : options) {
        if (StartsWith(a, "-f") || StartsWith(a, "-C")) {
            why = "the study hides genotypes in data of the ordinary layout only, not with " + a;
            return false;
        }
        if (StartsWith(a, "-rc") && a.size() > 3 && a[3] == 'y') {
            why = "dominant markers (-rcy) hide the genotypes the study would score";
            return false;
        }
        if (a == "-ref")
            ref = 1;
        else if (StartsWith(a, "-rc"))
            continue;
        else if (StartsWith(a, "-r"))
            count(a.substr(2), lay.headerRows);
        else if (StartsWith(a, "-crs"))
            continue;
        else if (StartsWith(a, "-c"))
            count(a.substr(2), ec);
        else if (StartsWith(a, "-XL"))
            count(a.substr(3), qual);
        else if (StartsWith(a, "-X"))
            count(a.substr(2), quant);
        else if (StartsWith(a, "-sp"))
            lay.oneRow = a.size() > 3 && a[3] == 'y';
        else if (StartsWith(a, "-d"))
            count(a.substr(2), lay.dummies);
        else if (StartsWith(a, "-N"))
            count(a.substr(2), lay.N);
        else if (StartsWith(a, "-A"))
            count(a.substr(2), lay.A);
        else if (StartsWith(a, "-L"))
            count(a.substr(2), lay.L);
    }
    if (!countsRead) {
        why = "a count among -r, -c, -X, -XL, -d, -N, -A, -L does not read as a whole number";
        return false;
    }
    if (lay.N < 1 || lay.A < 1 || lay.L < 1) {
        why = "the study needs -N, -A and -L among the options of the program to hide genotypes";
        return false;
    }
    // Each record: extra columns, the reference flag, the covariates, then
    // the two coordinates breloAdm always reads.
    lay.leading = ec + ref + qual + quant + 2;
    return true;
}

bool ReadGenotypeText(const std::string& file, const SGenotypeLayout& layout, SGenotypeText& data,
                      std::string& why) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        why = "cannot read " + file;
        return false;
    }
    std::ostringstream whole;
    whole << in.rdbuf();
    data.text = whole.str();
    data.layout = layout;
    data.codes.assign(static_cast<size_t>(layout.N * layout.L * layout.A), 0);
    auto store = [&](long i, long l, long a, size_t begin, size_t end) {
        const std::string token = data.text.substr(begin, end - begin);
        long v;
        if (!ParseInteger(token, v) || v < INT_MIN || v > INT_MAX) {
            why = "'" + token + "' stands where an allele code of individual " +
                  std::to_string(i + 1) +
                  " belongs (do -N, -A, -L, -r, -c, -X, -XL, -ref and -spy describe the file?)";
            return false;
        }
        data.codes[(i * layout.L + l) * layout.A + a] = static_cast<int>(v);
        return true;
    };
    if (!WalkCodes(data.text, layout, store, why)) {
        why = file + ": " + why;
        return false;
    }
    return true;
}

std::vector<SHeldOutGenotype> DrawHeldOutGenotypes(const SGenotypeText& data, double share,
                                                   std::uint32_t seed) {
    const SGenotypeLayout& lay = data.layout;
    // The Mersenne twister's output is fixed by the standard: the same draw
    // on every system (no library distribution in between).
    std::mt19937 generator(seed);
    std::vector<SHeldOutGenotype> drawn;
    std::vector<std::map<int, long>> outside(lay.L);  // copies of each allele left in
    for (long i = 0; i < lay.N; ++i)
        for (long l = 0; l < lay.L; ++l) {
            for (long a = 0; a < lay.A; ++a)
                if (data.Code(i, l, a) >= 0)
                    ++outside[l][data.Code(i, l, a)];
            const bool hide = generator() < share * 4294967296.0;
            if (hide && FullyObserved(data, i, l)) {
                SHeldOutGenotype g;
                g.individual = i, g.locus = l;
                for (long a = 0; a < lay.A; ++a)
                    g.copies.push_back(data.Code(i, l, a));
                drawn.push_back(g);
            }
        }
    for (const SHeldOutGenotype& g : drawn)
        for (int c : g.copies)
            --outside[g.locus][c];
    std::vector<long> observedLeft(lay.N, 0);
    for (long i = 0; i < lay.N; ++i)
        for (long l = 0; l < lay.L; ++l)
            observedLeft[i] += PartlyObserved(data, i, l);
    for (const SHeldOutGenotype& g : drawn)
        --observedLeft[g.individual];
    std::vector<SHeldOutGenotype> held;
    for (const SHeldOutGenotype& g : drawn) {
        bool keepIn = observedLeft[g.individual] == 0;
        for (int c : g.copies)
            keepIn = keepIn || outside[g.locus][c] == 0;
        if (!keepIn) {
            held.push_back(g);
            continue;
        }
        for (int c : g.copies)
            ++outside[g.locus][c];
        ++observedLeft[g.individual];
    }
    return held;
}

std::string HideGenotypes(const SGenotypeText& data, const std::vector<SHeldOutGenotype>& held) {
    const SGenotypeLayout& lay = data.layout;
    std::vector<char> hidden(static_cast<size_t>(lay.N * lay.L), 0);
    for (const SHeldOutGenotype& g : held)
        hidden[g.individual * lay.L + g.locus] = 1;
    const std::vector<int> missing = MissingCodes(data);
    std::string out;
    out.reserve(data.text.size() + data.text.size() / 8);
    size_t copied = 0;
    auto hide = [&](long i, long l, long, size_t begin, size_t end) {
        if (hidden[i * lay.L + l]) {
            out.append(data.text, copied, begin - copied);
            out += std::to_string(missing[l]);
            copied = end;
        }
        return true;
    };
    std::string why;
    WalkCodes(data.text, lay, hide, why);  // read once already: it walks to the end
    out.append(data.text, copied, std::string::npos);
    return out;
}

void WriteHeldOutList(std::ostream& out, const std::vector<SHeldOutGenotype>& held) {
    out << "individual\tlocus\tcopies\n";
    for (const SHeldOutGenotype& g : held) {
        out << g.individual + 1 << "\t" << g.locus + 1 << "\t";
        for (size_t a = 0; a < g.copies.size(); ++a)
            out << (a ? " " : "") << g.copies[a];
        out << "\n";
    }
}

bool ReadHeldOutList(const std::string& file, std::vector<SHeldOutGenotype>& held,
                     std::string& why) {
    std::ifstream in(file);
    std::string line;
    if (!std::getline(in, line) || line != "individual\tlocus\tcopies") {
        why = "no list of held-out genotypes in " + file;
        return false;
    }
    held.clear();
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        SHeldOutGenotype g;
        int c;
        if (!(fields >> g.individual >> g.locus) || g.individual < 1 || g.locus < 1) {
            why = file + " holds the line '" + line + "'";
            return false;
        }
        while (fields >> c)
            g.copies.push_back(c);
        if (g.copies.empty() || !fields.eof()) {
            why = file + " holds the line '" + line + "'";
            return false;
        }
        --g.individual, --g.locus;
        held.push_back(g);
    }
    if (held.empty())
        why = file + " holds no genotype";
    return !held.empty();
}

double ScoreHeldOutGenotypes(const std::vector<SHeldOutGenotype>& held, const DBL_VCTR_2D& Q,
                             const std::string& frequencyTable, std::string& why) {
    const double nan = std::nan("");
    const size_t K = Q.empty() ? 0 : Q[0].size();
    std::ifstream in(frequencyTable);
    std::vector<std::string> row;
    if (ReadTableRecord(in, row) != TableRecord::Read ||
        row != std::vector<std::string>{"cluster", "locus", "allele", "frequency"}) {
        why = "no table of allele frequencies in " + frequencyTable;
        return nan;
    }
    std::map<std::pair<long, long>, std::vector<double>> p;  // (locus, allele) -> per cluster
    TableRecord r;
    while ((r = ReadTableRecord(in, row)) == TableRecord::Read) {
        long k, l, allele;
        char* end = nullptr;
        const double f = row.size() == 4 ? std::strtod(row[3].c_str(), &end) : nan;
        if (row.size() != 4 || !ParseInteger(row[0], k) || !ParseInteger(row[1], l) ||
            !ParseInteger(row[2], allele) || *end != '\0' || k < 1 || k > static_cast<long>(K) ||
            !(f >= 0 && f <= 1)) {
            why = frequencyTable + " holds a row that is no frequency of one of " +
                  std::to_string(K) + " clusters";
            return nan;
        }
        std::vector<double>& byCluster = p[{l, allele}];
        byCluster.resize(K, 0.0);
        byCluster[k - 1] = f;
    }
    if (r == TableRecord::Malformed) {
        why = frequencyTable + " is not a whole table";
        return nan;
    }
    double sum = 0;
    for (const SHeldOutGenotype& g : held) {
        if (g.individual >= static_cast<long>(Q.size())) {
            why = "no memberships of individual " + std::to_string(g.individual + 1);
            return nan;
        }
        // The copies drawn independently: the probability of the ordered
        // copies, times the orderings of the genotype.
        std::map<int, int> times;
        double logP = std::lgamma(g.copies.size() + 1.0);
        for (int c : g.copies) {
            const auto f = p.find({g.locus + 1, c});
            if (f == p.end()) {
                why = "allele " + std::to_string(c) + " of locus " + std::to_string(g.locus + 1) +
                      " has no frequency in " + frequencyTable;
                return nan;
            }
            double chance = 0;
            for (size_t k = 0; k < K; ++k)
                chance += Q[g.individual][k] * f->second[k];
            // Frequencies are written to six digits: a chance printed as 0
            // is below that, not impossible.
            logP += std::log(std::max(chance, 1e-7));
            ++times[c];
        }
        for (const auto& t : times)
            logP -= std::lgamma(t.second + 1.0);
        sum += logP;
    }
    return held.empty() ? nan : sum / static_cast<double>(held.size());
}
