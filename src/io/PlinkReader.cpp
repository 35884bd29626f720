#include "io/PlinkReader.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/MiscUtilities.h"

namespace {

constexpr unsigned char kMagic0 = 0x6c, kMagic1 = 0x1b, kSnpMajor = 0x01;

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

[[noreturn]] void Fail(const std::string& file, const std::string& what) {
    RefuseInput(file + ": " + what + " - LoadPlink");
}

// The lines of a .fam or .bim, each split into its first six fields; calls
// line(number, fields) for each non-blank line.
template <class Line>
void ReadSixColumns(const std::string& file, Line&& line) {
    std::ifstream in(file);
    if (!in)
        RefuseInput("Cannot open file " + file + " - LoadPlink");
    std::string text, fields[6], extra;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (text.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        std::istringstream row(text);
        for (std::string& f : fields)
            if (!(row >> f))
                Fail(file, "line " + std::to_string(number) + " has fewer than six fields");
        line(number, fields);
    }
    if (in.bad())
        Fail(file, "cannot be read");
}

struct SFam {
    std::vector<std::string> ids;
    INT_VCTR_1D popIndex;
};

SFam ReadFam(const std::string& file) {
    SFam fam;
    std::vector<std::string> families;
    std::unordered_map<std::string, int> familyNumber;
    std::unordered_set<std::string> seen;
    ReadSixColumns(file, [&](int number, const std::string* f) {
        if (!seen.insert(f[1]).second)
            Fail(file, "line " + std::to_string(number) + ": the individual id " + f[1] +
                           " is given twice");
        fam.ids.push_back(f[1]);
        const auto found = familyNumber.emplace(f[0], static_cast<int>(familyNumber.size()) + 1);
        fam.popIndex.push_back(found.first->second);
    });
    if (fam.ids.empty())
        Fail(file, "the file holds no individual");
    const size_t groups = familyNumber.size();
    if (groups < 2 || groups >= fam.ids.size())
        fam.popIndex.clear();
    return fam;
}

int CountBim(const std::string& file) {
    int L = 0;
    ReadSixColumns(file, [&](int, const std::string*) { ++L; });
    if (L == 0)
        Fail(file, "the file holds no SNP");
    return L;
}

struct SFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, SFileCloser>;

size_t RowBytes(int N) {
    return (static_cast<size_t>(N) + 3) / 4;
}

// Opens the .bed and checks its three first bytes and its size.
UniqueFile OpenBed(const std::string& file, int N, int L) {
    UniqueFile bed(std::fopen(file.c_str(), "rb"));
    if (!bed)
        RefuseInput("Cannot open file " + file + " - LoadPlink");
    unsigned char head[3] = {0, 0, 0};
    const size_t got = std::fread(head, 1, 3, bed.get());
    if (got < 2 || head[0] != kMagic0 || head[1] != kMagic1)
        Fail(file, "not a PLINK .bed file (it does not begin with the bytes 0x6c 0x1b)");
    if (got < 3 || head[2] != kSnpMajor)
        Fail(file, got == 3 && head[2] == 0x00
                       ? "an individual-major .bed: write it SNP-major (plink --make-bed)"
                       : "unknown .bed mode byte (SNP-major files have 0x01)");
    if (std::fseek(bed.get(), 0, SEEK_END) != 0)
        Fail(file, "cannot be read");
    const long long size = std::ftell(bed.get());
    const long long expected = 3 + static_cast<long long>(RowBytes(N)) * L;
    if (size != expected)
        Fail(file, "holds " + std::to_string(size) + " bytes where " + std::to_string(N) +
                       " individuals and " + std::to_string(L) + " SNPs take " +
                       std::to_string(expected));
    std::fseek(bed.get(), 3, SEEK_SET);
    return bed;
}

// Genotype value (copies of code 1, the .bim's first allele) of each
// two-bit .bed code: 00 two copies of A1, 01 missing, 10 one of each, 11 two
// copies of A2.
constexpr uint8_t kValueOfCode[4] = {2, CGenotypeStore::kMissingGenotype, 1, 0};

struct SPaths {
    std::string bed, bim, fam;
};

SPaths PathsOf(const std::string& File) {
    const std::string prefix = PlinkPrefix(File);
    return {prefix + ".bed", prefix + ".bim", prefix + ".fam"};
}

// The SNPs of the .bed, 32 at a time, into the store: each SNP's codes
// become genotype values; the allele codes seen are listed (code 0 before
// code 1 when both are seen, Finish keeps them sorted).
void ReadBedInto(std::FILE* bed, const std::string& file, CGenotypeStore& store) {
    const int N = store.N(), L = store.L();
    const size_t rowBytes = RowBytes(N);
    const int perBlock = CGenotypeStore::kLociPerWord;
    std::vector<unsigned char> rows(rowBytes * perBlock);
    std::vector<uint8_t> values(static_cast<size_t>(N) * perBlock);
    for (int first = 0; first < L; first += perBlock) {
        const int count = std::min(perBlock, L - first);
        if (std::fread(rows.data(), 1, rowBytes * count, bed) != rowBytes * count)
            Fail(file, "is cut short");
        for (int c = 0; c < count; ++c) {
            const unsigned char* row = rows.data() + rowBytes * c;
            uint8_t* out = values.data() + static_cast<size_t>(c) * N;
            bool seen[2] = {false, false};
            for (int i = 0; i < N; ++i) {
                const uint8_t g = kValueOfCode[(row[i / 4] >> (2 * (i % 4))) & 3];
                out[i] = g;
                if (g != CGenotypeStore::kMissingGenotype) {
                    seen[0] = seen[0] || g < 2;
                    seen[1] = seen[1] || g > 0;
                }
            }
            // A monomorphic SNP lists its one allele at slot 0: the values
            // then count copies of an allele that is not there.
            if (seen[0])
                store.AddAllele(first + c, 0);
            if (seen[1] && store.AddAllele(first + c, 1) == 0)
                for (int i = 0; i < N; ++i)
                    out[i] = out[i] == CGenotypeStore::kMissingGenotype ? out[i] : 0;
        }
        store.PutLoci(first, count, values.data());
    }
}

}  // namespace

std::string PlinkPrefix(const std::string& File) {
    return EndsWith(File, ".bed") ? File.substr(0, File.size() - 4) : File;
}

SGenotypeTable ReadPlink(const std::string& File) {
    const SPaths paths = PathsOf(File);
    SFam fam = ReadFam(paths.fam);
    const int L = CountBim(paths.bim);
    const int N = static_cast<int>(fam.ids.size());
    UniqueFile bed = OpenBed(paths.bed, N, L);
    SGenotypeTable table;
    table.N = N;
    table.A = 2;
    table.L = L;
    table.ids = std::move(fam.ids);
    table.popIndex = std::move(fam.popIndex);
    table.genotypes = CGenotypeStore::Packed(N, L);
    ReadBedInto(bed.get(), paths.bed, table.genotypes);
    table.genotypes.Finish();
    return table;
}
