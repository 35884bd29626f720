// The PLINK reader: ids, family groups, genotype codes of every .bed code
// (missing and monomorphic SNPs included) and the files it refuses.
#include <gtest/gtest.h>

#include <fstream>

#include "core/TestSupport.h"
#include "io/PlinkReader.h"
#include "io/PlinkWriter.h"

namespace {

std::string Prefix(const std::string& name) {
    return ::testing::TempDir() + "plink_" + name;
}

// Five individuals, seven SNPs (more than fit in one .bed byte, and a row
// that ends inside a byte). SNP 3 carries only A1, SNP 4 only A2, SNP 5 is
// missing everywhere.
const std::vector<std::vector<int>> kDosage = {
    {0, 1, 2, -1, 1}, {2, 2, 1, 0, 0},      {-1, 0, 0, 1, 2}, {2, 2, -1, 2, 2},
    {0, 0, 0, -1, 0}, {-1, -1, -1, -1, -1}, {1, 1, 1, 1, 1}};
const std::vector<std::string> kIds = {"a", "b", "c", "d", "e"};

void WriteFixture(const std::string& prefix, unsigned char mode = 1) {
    WritePlink(prefix, {"f1", "f1", "f2", "f2", "f3"}, kIds, kDosage, mode);
}

}  // namespace

TEST(PlinkReader, ReadsIdsFamiliesAndTheCopiesOfEveryCode) {
    const std::string prefix = Prefix("codes");
    WriteFixture(prefix);
    EXPECT_EQ(PlinkPrefix(prefix + ".bed"), prefix);
    const SGenotypeTable t = ReadPlink(prefix + ".bed");
    EXPECT_EQ(t.N, 5);
    EXPECT_EQ(t.A, 2);
    EXPECT_EQ(t.L, 7);
    EXPECT_EQ(t.ids, kIds);
    EXPECT_EQ(t.popIndex, (INT_VCTR_1D{1, 1, 2, 2, 3}));
    ASSERT_TRUE(t.genotypes.IsPacked());
    // Code 1 is the .bim's first allele: a dosage d gives 2 - d copies of
    // code 0 and d of code 1, the heterozygote's copy 0 carrying code 0.
    for (int l = 0; l < 7; ++l)
        for (int i = 0; i < 5; ++i) {
            const int d = kDosage[l][i];
            const int c0 = d < 0 ? -1 : d == 2 ? 1 : 0, c1 = d < 0 ? -1 : d >= 1 ? 1 : 0;
            EXPECT_EQ(t.Code(i, 0, l), c0) << "SNP " << l << ", individual " << i;
            EXPECT_EQ(t.Code(i, 1, l), c1) << "SNP " << l << ", individual " << i;
        }
    EXPECT_EQ(t.genotypes.AlleleLists(),
              (INT_VCTR_2D{{0, 1}, {0, 1}, {0, 1}, {1}, {0}, {}, {0, 1}}));
    // A lone allele has index 0, whichever code it is.
    EXPECT_EQ(t.genotypes.Index(0, 0, 3), 0);
    EXPECT_EQ(t.genotypes.Index(0, 1, 3), 0);
}

TEST(PlinkReader, FamilyIdsThatDoNotGroupGiveNoLabels) {
    const std::string prefix = Prefix("families");
    WritePlink(prefix, {"0", "0", "0", "0", "0"}, kIds, kDosage);
    EXPECT_TRUE(ReadPlink(prefix).popIndex.empty());
    WritePlink(prefix, kIds, kIds, kDosage);
    EXPECT_TRUE(ReadPlink(prefix).popIndex.empty());
}

TEST(PlinkReader, MalformedFilesetsAreRefusedInOneLine) {
    const std::string good = Prefix("good");
    WriteFixture(good);
    const std::string major = Prefix("individual_major");
    WriteFixture(major, 0);
    const std::string magic = Prefix("magic");
    WriteFixture(magic);
    std::ofstream(magic + ".bed", std::ios::binary) << "BED";
    const std::string shortBed = Prefix("short");
    WriteFixture(shortBed);
    std::ofstream(shortBed + ".bim", std::ios::app) << "1\tsnp8\t0\t800\tT\tC\n";
    const std::string shortFam = Prefix("short_fam");
    WriteFixture(shortFam);
    std::ofstream(shortFam + ".fam", std::ios::app) << "f4 g 0 0\n";
    const std::string twice = Prefix("twice");
    WritePlink(twice, {"f", "f", "f", "f", "f"}, {"a", "b", "a", "d", "e"}, kDosage);
    const std::string none = Prefix("none");
    WritePlink(none, {}, {}, {{}});
    const std::vector<std::pair<std::string, std::string>> cases = {
        {major, "individual-major"},
        {magic, "does not begin with the bytes 0x6c 0x1b"},
        {shortBed, "holds 17 bytes where 5 individuals and 8 SNPs take 19"},
        {shortFam, "line 6 has fewer than six fields"},
        {twice, "the individual id a is given twice"},
        {none, "holds no individual"},
        {Prefix("absent"), "Cannot open file"},
    };
    for (const auto& c : cases)
        EXPECT_EXIT_STDOUT(ReadPlink(c.first), c.second) << c.first;
}
