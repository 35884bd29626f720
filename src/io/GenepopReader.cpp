#include "io/GenepopReader.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "core/MiscUtilities.h"
#include "io/GenotypeCollector.h"

namespace {

// "Pop", "POP", "pop 2", "Pop Lyon": a population separator. A line that
// holds a comma is an individual ("pop x , 0101 0202"), whatever its name.
bool IsPopLine(const std::string& line) {
    if (line.size() < 3 || line.find(',') != std::string::npos)
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

// One reading of the file, line by line: the genotypes of each individual
// are collected, and go into a store of the counts read once the file ends.
class CGenepopLoader {
  public:
    explicit CGenepopLoader(const std::string& File) : m_file(File) {}
    SGenotypeTable Read();

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        RefuseInput(m_file + ", line " + std::to_string(m_nLine) + ": " + what + " - LoadGenepop");
    }
    bool NextLine(std::string& line);
    void ReadLocusNames(std::string& line);
    void ReadIndividual(const std::string& line);
    void ReadGenotype(const std::string& token, int l);
    void SetWidth(size_t length);
    void CollectIndividual();

    std::string m_file;
    std::ifstream m_in;
    int m_nLine = 0;
    std::vector<std::string> m_loci;
    std::string m_id;  // of the individual being read
    int m_nPop = 0;
    int m_nInPop = 0;
    size_t m_nWidth = 0;        // digits of a whole genotype
    int m_nDigits = 0;          // digits of one allele copy
    int m_nA = 0;               // copies, from the width
    int m_nWhollyMissing = 0;   // individuals before the first genotype
    std::vector<int> m_vCodes;  // the individual's codes, copy a at locus l at a L + l
    SGenotypeTable m_table;
    CGenotypeCollector m_collector;
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
    m_vCodes.assign(2 * m_loci.size(), SGenotypeTable::kMissing);
}

void CGenepopLoader::SetWidth(size_t length) {
    if (length != 2 && length != 3 && length != 4 && length != 6)
        Fail("a genotype has " + std::to_string(length) +
             " digits: expected 4 or 6 (diploid) or 2 or 3 (haploid)");
    m_nWidth = length;
    m_nA = length <= 3 ? 1 : 2;
    m_nDigits = static_cast<int>(length) / m_nA;
}

// A missing copy (0) or a wholly missing genotype (a lone 0) stays missing.
void CGenepopLoader::ReadGenotype(const std::string& token, int l) {
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
    const size_t L = m_loci.size();
    for (int a = 0; a < m_nA; ++a) {
        const int code = std::stoi(token.substr(a * m_nDigits, m_nDigits));
        m_vCodes[a * L + l] = code != 0 ? code : SGenotypeTable::kMissing;
    }
}

// The individuals before the first genotype of the file are wholly missing:
// they are collected once the ploidy is known.
void CGenepopLoader::CollectIndividual() {
    const size_t L = m_loci.size();
    if (m_nA == 0) {
        ++m_nWhollyMissing;
        return;
    }
    if (m_nWhollyMissing > 0) {
        m_collector.AppendMissing(static_cast<size_t>(m_nWhollyMissing) * m_nA * L);
        m_nWhollyMissing = 0;
    }
    m_collector.Append(m_vCodes.data(), m_nA * L);
    std::fill(m_vCodes.begin(), m_vCodes.end(), SGenotypeTable::kMissing);
}

void CGenepopLoader::ReadIndividual(const std::string& line) {
    const size_t comma = line.find(',');
    if (comma == std::string::npos)
        Fail("expected 'name, genotypes' or a Pop line, found '" + line.substr(0, 40) + "'");
    m_id = Trim(line.substr(0, comma));
    ++m_nInPop;
    m_table.ids.push_back(m_id);
    m_table.popIndex.push_back(m_nPop);
    std::stringstream genotypes(line.substr(comma + 1));
    std::string token;
    int l = 0;
    const int L = static_cast<int>(m_loci.size());
    while (genotypes >> token) {
        if (l == L)
            Fail("individual " + m_id + " has more than the " + std::to_string(L) +
                 " genotypes of the locus list");
        ReadGenotype(token, l++);
    }
    if (l < L)
        Fail("individual " + m_id + " has " + std::to_string(l) +
             " genotypes where the locus list names " + std::to_string(L) + " loci");
    CollectIndividual();
}

SGenotypeTable CGenepopLoader::Read() {
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
    m_table.N = static_cast<int>(m_table.ids.size());
    m_table.A = m_nA;
    m_table.L = static_cast<int>(m_loci.size());
    m_table.genotypes = m_collector.IndividualsToStore(m_table.N, m_table.A, m_table.L);
    return std::move(m_table);
}

}  // namespace

SGenotypeTable ReadGenepop(const std::string& File) {
    return CGenepopLoader(File).Read();
}
