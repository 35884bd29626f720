#include "io/GenepopReader.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "core/MiscUtilities.h"

namespace {

// "Pop", "POP", "pop 2", "Pop Lyon": a population separator.
bool IsPopLine(const std::string& line) {
    if (line.size() < 3)
        return false;
    std::string head = line.substr(0, 3);
    for (char& c : head)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return head == "pop" && (line.size() == 3 || std::isspace(static_cast<unsigned char>(line[3])));
}

bool AllDigits(const std::string& token) {
    for (char c : token)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return !token.empty();
}

// One reading of the file: counting its individuals, copies and loci when
// table is null, else storing ids, populations and genotypes into table,
// whose store was sized by a counting reading.
class CGenepopLoader {
  public:
    CGenepopLoader(const std::string& File, SGenotypeTable* table) : m_file(File), m_table(table) {}
    SGenotypeCounts Read();

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        RefuseInput(m_file + ", line " + std::to_string(m_nLine) + ": " + what + " - LoadGenepop");
    }
    [[noreturn]] void FailChanged() const {
        const CGenotypeStore& store = m_table->genotypes;
        Fail("the file changed while it was read (it no longer holds the " +
             std::to_string(store.N()) + " individuals, " + std::to_string(store.A()) +
             " copies and " + std::to_string(store.L()) + " loci counted before)");
    }
    bool NextLine(std::string& line);
    void ReadLocusNames(std::string& line);
    void ReadIndividual(const std::string& line);
    void StoreGenotype(const std::string& token, int i, int l);
    void SetWidth(size_t length);

    std::string m_file;
    SGenotypeTable* m_table;
    std::ifstream m_in;
    int m_nLine = 0;
    std::vector<std::string> m_loci;
    std::string m_id;  // of the individual being read
    int m_nPop = 0;
    int m_nInPop = 0;
    size_t m_nWidth = 0;  // digits of a whole genotype
    int m_nDigits = 0;    // digits of one allele copy
    SGenotypeCounts m_counts;
};

// The next line that is not blank, trimmed; false at the end of the file.
bool CGenepopLoader::NextLine(std::string& line) {
    std::string raw;
    while (std::getline(m_in, raw)) {
        ++m_nLine;
        line = Trim(raw);
        if (!line.empty())
            return true;
    }
    return false;
}

void CGenepopLoader::ReadLocusNames(std::string& line) {
    while (NextLine(line) && !IsPopLine(line)) {
        std::stringstream names(line);
        std::string name;
        while (std::getline(names, name, ','))
            if (!Trim(name).empty())
                m_loci.push_back(Trim(name));
    }
    if (m_loci.empty())
        Fail("no locus name before the first Pop line");
    if (!IsPopLine(line))
        Fail("the file ends before its first Pop line");
    m_counts.L = static_cast<int>(m_loci.size());
    if (m_table && m_counts.L != m_table->genotypes.L())
        FailChanged();
}

void CGenepopLoader::SetWidth(size_t length) {
    if (length != 2 && length != 3 && length != 4 && length != 6)
        Fail("a genotype has " + std::to_string(length) +
             " digits: expected 4 or 6 (diploid) or 2 or 3 (haploid)");
    m_nWidth = length;
    m_counts.A = length <= 3 ? 1 : 2;
    m_nDigits = static_cast<int>(length) / m_counts.A;
    if (m_table && m_counts.A != m_table->genotypes.A())
        FailChanged();
}

// A missing copy (0) or a wholly missing genotype (a lone 0) stays missing
// in the store.
void CGenepopLoader::StoreGenotype(const std::string& token, int i, int l) {
    const std::string where =
        " at locus " + m_loci[l] + " (genotype " + std::to_string(l + 1) + ")";
    if (!AllDigits(token))
        Fail("genotype '" + token + "'" + where + " is not made of digits");
    if (token == "0")
        return;
    if (m_nWidth == 0)
        SetWidth(token.size());
    if (token.size() != m_nWidth)
        Fail("genotype '" + token + "'" + where + " has " + std::to_string(token.size()) +
             " digits where the file's genotypes have " + std::to_string(m_nWidth));
    if (!m_table)
        return;
    for (int a = 0; a < m_counts.A; ++a) {
        const int code = std::stoi(token.substr(a * m_nDigits, m_nDigits));
        if (code != 0)
            m_table->genotypes.Put(i, a, l, code);
    }
}

void CGenepopLoader::ReadIndividual(const std::string& line) {
    const size_t comma = line.find(',');
    if (comma == std::string::npos)
        Fail("expected 'name, genotypes' or a Pop line, found '" + line.substr(0, 40) + "'");
    m_id = Trim(line.substr(0, comma));
    const int i = m_counts.N++;
    ++m_nInPop;
    if (m_table) {
        if (i >= m_table->genotypes.N())
            FailChanged();
        m_table->ids.push_back(m_id);
        m_table->popIndex.push_back(m_nPop);
    }
    std::stringstream genotypes(line.substr(comma + 1));
    std::string token;
    int l = 0;
    const int L = static_cast<int>(m_loci.size());
    while (genotypes >> token) {
        if (l == L)
            Fail("individual " + m_id + " has more than the " + std::to_string(L) +
                 " genotypes of the locus list");
        StoreGenotype(token, i, l++);
    }
    if (l < L)
        Fail("individual " + m_id + " has " + std::to_string(l) +
             " genotypes where the locus list names " + std::to_string(L) + " loci");
}

SGenotypeCounts CGenepopLoader::Read() {
    m_in.open(m_file);
    if (!m_in)
        RefuseInput("Cannot open file " + m_file + " - LoadGenepop");
    std::string line;
    if (!NextLine(line))
        Fail("the file is empty");
    ReadLocusNames(line);  // the first line is the title
    do {
        if (IsPopLine(line)) {
            if (m_nPop > 0 && m_nInPop == 0)
                Fail("Pop block " + std::to_string(m_nPop) + " holds no individual");
            ++m_nPop;
            m_nInPop = 0;
        } else {
            ReadIndividual(line);
        }
    } while (NextLine(line));
    if (m_nInPop == 0)
        Fail("the last Pop block (" + std::to_string(m_nPop) + ") holds no individual");
    if (m_nWidth == 0)
        Fail("the file holds no genotype other than missing ones");
    if (m_table && m_counts.N != m_table->genotypes.N())
        FailChanged();
    return m_counts;
}

}  // namespace

SGenotypeCounts CountGenepop(const std::string& File) {
    return CGenepopLoader(File, nullptr).Read();
}

SGenotypeTable ReadGenepop(const std::string& File, const SGenotypeCounts& counts) {
    SGenotypeTable table;
    table.genotypes = CGenotypeStore(counts.N, counts.A, counts.L);
    const SGenotypeCounts read = CGenepopLoader(File, &table).Read();
    table.N = read.N;
    table.A = read.A;
    table.L = read.L;
    table.genotypes.Finish();
    return table;
}

SGenotypeTable ReadGenepop(const std::string& File) {
    return ReadGenepop(File, CountGenepop(File));
}
