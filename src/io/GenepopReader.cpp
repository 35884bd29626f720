#include "io/GenepopReader.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "core/MiscUtilities.h"

namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

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
    void StoreGenotype(const std::string& token, int l, INT_VCTR_1D& codes);
    void SetWidth(size_t length);

    std::string m_file;
    std::ifstream m_in;
    int m_nLine = 0;
    std::vector<std::string> m_loci;
    int m_nPop = 0;
    int m_nInPop = 0;
    size_t m_nWidth = 0;  // digits of a whole genotype
    int m_nDigits = 0;    // digits of one allele copy
    // Genotypes individual by individual; laid out locus by locus at the end.
    INT_VCTR_1D m_codes;
    SGenotypeTable m_table;
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
}

void CGenepopLoader::SetWidth(size_t length) {
    if (length != 2 && length != 3 && length != 4 && length != 6)
        Fail("a genotype has " + std::to_string(length) +
             " digits: expected 4 or 6 (diploid) or 2 or 3 (haploid)");
    m_nWidth = length;
    m_table.A = length <= 3 ? 1 : 2;
    m_nDigits = static_cast<int>(length) / m_table.A;
}

void CGenepopLoader::StoreGenotype(const std::string& token, int l, INT_VCTR_1D& codes) {
    const std::string where =
        " at locus " + m_loci[l] + " (genotype " + std::to_string(l + 1) + ")";
    if (!AllDigits(token))
        Fail("genotype '" + token + "'" + where + " is not made of digits");
    if (token == "0") {  // a wholly missing genotype, whatever the ploidy
        codes.insert(codes.end(), m_table.A > 0 ? m_table.A : 0, SGenotypeTable::kMissing);
        if (m_table.A == 0)
            codes.push_back(-2);  // placeholder until the width is known
        return;
    }
    if (m_nWidth == 0)
        SetWidth(token.size());
    if (token.size() != m_nWidth)
        Fail("genotype '" + token + "'" + where + " has " + std::to_string(token.size()) +
             " digits where the file's genotypes have " + std::to_string(m_nWidth));
    for (int a = 0; a < m_table.A; ++a) {
        const int code = std::stoi(token.substr(a * m_nDigits, m_nDigits));
        codes.push_back(code == 0 ? SGenotypeTable::kMissing : code);
    }
}

void CGenepopLoader::ReadIndividual(const std::string& line) {
    const size_t comma = line.find(',');
    if (comma == std::string::npos)
        Fail("expected 'name, genotypes' or a Pop line, found '" + line.substr(0, 40) + "'");
    m_table.ids.push_back(Trim(line.substr(0, comma)));
    m_table.popIndex.push_back(m_nPop);
    ++m_nInPop;
    std::stringstream genotypes(line.substr(comma + 1));
    std::string token;
    int l = 0;
    const int L = static_cast<int>(m_loci.size());
    while (genotypes >> token) {
        if (l == L)
            Fail("individual " + m_table.ids.back() + " has more than the " + std::to_string(L) +
                 " genotypes of the locus list");
        StoreGenotype(token, l++, m_codes);
    }
    if (l < L)
        Fail("individual " + m_table.ids.back() + " has " + std::to_string(l) +
             " genotypes where the locus list names " + std::to_string(L) + " loci");
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
    m_table.L = static_cast<int>(m_loci.size());
    const int A = m_table.A;
    m_table.codes.assign(static_cast<size_t>(m_table.N) * A * m_table.L, SGenotypeTable::kMissing);
    // m_codes holds, individual by individual and locus by locus, A codes or
    // one placeholder for a missing genotype read before the width was known.
    size_t next = 0;
    for (int i = 0; i < m_table.N; ++i)
        for (int l = 0; l < m_table.L; ++l) {
            if (m_codes[next] == -2) {
                ++next;
                continue;
            }
            for (int a = 0; a < A; ++a)
                m_table.codes[(static_cast<size_t>(l) * m_table.N + i) * A + a] =
                    static_cast<int16_t>(m_codes[next++]);
        }
    return std::move(m_table);
}

}  // namespace

SGenotypeTable ReadGenepop(const std::string& File) {
    CGenepopLoader loader(File);
    return loader.Read();
}
