#include "study/HeldOutGenotypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <set>

namespace {

std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string file = ::testing::TempDir() + "heldout_" + name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
}

SGenotypeLayout Layout(const std::vector<std::string>& options) {
    SGenotypeLayout layout;
    std::string why;
    EXPECT_TRUE(HeldOutLayout(options, layout, why)) << why;
    return layout;
}

SHeldOutGenotype Genotype(long i, long l, std::vector<int> copies) {
    SHeldOutGenotype g;
    g.individual = i, g.locus = l, g.copies = copies;
    return g;
}

// A header row of numbers, an id column, a covariate, the coordinates, a
// locus that marks its missing copies -1, tabs and blanks mixed, a dummy.
const char* const kRows =
    "1 2 3 4 5 6 7 8 9 10\n"
    "a\t0.5 1.0 2.0  1 2 -1\n"
    "a\t0.5 1.0 2.0  2 2 3\n"
    "b 0.7 3.0 4.0  1 1 3\n"
    "b 0.7 3.0 4.0  2 1 4\n"
    "c 0.9 5.0 6.0  2 2 4\n"
    "c 0.9 5.0 6.0  1 2 4\n"
    "dummy 0 7 8  9 9 9\n"
    "dummy 0 7 8  9 9 9\n";

}  // namespace

TEST(HeldOutGenotypesTest, LayoutFromTheOptionsAndWhatCannotBeHidden) {
    const SGenotypeLayout lay = Layout({"-Fd.txt", "-N3", "-A2", "-L3", "-r1", "-c1", "-X1", "-XL2",
                                        "-ref", "-T1", "-crsEPSG:4326", "-rcn", "-d1"});
    EXPECT_EQ(lay.leading, 1 + 1 + 2 + 1 + 2);  // id, -ref, -XL2, -X1, coordinates
    EXPECT_EQ(lay.headerRows, 1);
    EXPECT_EQ(lay.dummies, 1);
    EXPECT_FALSE(lay.oneRow);
    EXPECT_TRUE(Layout({"-N3", "-A2", "-L3", "-spy"}).oneRow);
    SGenotypeLayout refused;
    std::string why;
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{"-N3", "-A2", "-L3", "-fvcf"},
                                               {"-N3", "-A2", "-L3", "-rcy"},
                                               {"-N3", "-A2"},
                                               {"-N3", "-A2", "-L3", "-cx"}}) {
        why.clear();
        EXPECT_FALSE(HeldOutLayout(options, refused, why)) << options.back();
        EXPECT_FALSE(why.empty());
    }
}

// Only the hidden codes change, each to the missing code of its locus; every
// other byte of the file (header, separators, dummy records) stays.
TEST(HeldOutGenotypesTest, HidesTheHeldOutCodesAndKeepsEveryOtherByte) {
    const SGenotypeLayout lay = Layout({"-N3", "-A2", "-L3", "-r1", "-c1", "-X1", "-T0", "-d1"});
    SGenotypeText data;
    std::string why;
    ASSERT_TRUE(ReadGenotypeText(WriteFile("rows.txt", kRows), lay, data, why)) << why;
    EXPECT_EQ(data.Code(0, 2, 0), -1);
    EXPECT_EQ(data.Code(1, 2, 1), 4);
    EXPECT_EQ(data.Code(2, 0, 1), 1);
    const std::string hidden =
        HideGenotypes(data, {Genotype(1, 2, {3, 4}), Genotype(2, 0, {2, 1})});
    EXPECT_EQ(hidden,
              "1 2 3 4 5 6 7 8 9 10\n"
              "a\t0.5 1.0 2.0  1 2 -1\n"
              "a\t0.5 1.0 2.0  2 2 3\n"
              "b 0.7 3.0 4.0  1 1 -1\n"
              "b 0.7 3.0 4.0  2 1 -1\n"
              "c 0.9 5.0 6.0  -9 2 4\n"
              "c 0.9 5.0 6.0  -9 2 4\n"
              "dummy 0 7 8  9 9 9\n"
              "dummy 0 7 8  9 9 9\n");

    // One row an individual: the copies of a locus side by side.
    const SGenotypeLayout oneRow = Layout({"-N2", "-A2", "-L2", "-spy"});
    ASSERT_TRUE(
        ReadGenotypeText(WriteFile("onerow.txt", "0 0 1 2 3 3\n1 1 2 2 4 3\n"), oneRow, data, why))
        << why;
    EXPECT_EQ(data.Code(1, 1, 1), 3);
    EXPECT_EQ(HideGenotypes(data, {Genotype(1, 1, {4, 3})}), "0 0 1 2 3 3\n1 1 2 2 -9 -9\n");

    // A file cut short, or a word where a code belongs, is named.
    EXPECT_FALSE(
        ReadGenotypeText(WriteFile("short.txt", "0 0 1 2 3 3\n1 1 2 2\n"), oneRow, data, why));
    EXPECT_NE(why.find("individual 2"), std::string::npos) << why;
    EXPECT_FALSE(
        ReadGenotypeText(WriteFile("word.txt", "0 0 1 2 3 3\n1 1 2 x 4 3\n"), oneRow, data, why));
    EXPECT_NE(why.find("'x'"), std::string::npos) << why;
}

// About the share asked of the fully observed genotypes, never one with a
// missing copy, the same for a seed; and with everything asked, every allele
// and every individual keeps an observed genotype for the chain to learn from.
TEST(HeldOutGenotypesTest, DrawsTheShareAskedAndLeavesEveryAlleleSeen) {
    const long N = 200, L = 50, A = 2;
    SGenotypeText data;
    data.layout.N = N, data.layout.L = L, data.layout.A = A;
    std::mt19937 rng(3);
    std::discrete_distribution<int> allele({5, 5, 3, 1});
    for (long i = 0; i < N * L * A; ++i)
        data.codes.push_back(rng() % 20 == 0 ? -9 : 1 + allele(rng));
    // An allele seen once, and an individual with one observed genotype.
    data.codes[(5 * L + 7) * A] = 9;
    for (long l = 1; l < L; ++l)
        data.codes[(8 * L + l) * A] = data.codes[(8 * L + l) * A + 1] = -9;
    long observed = 0;
    for (long i = 0; i < N; ++i)
        for (long l = 0; l < L; ++l)
            observed += data.Code(i, l, 0) >= 0 && data.Code(i, l, 1) >= 0;

    const std::vector<SHeldOutGenotype> held = DrawHeldOutGenotypes(data, 0.1, 42);
    const double sd = std::sqrt(observed * 0.1 * 0.9);
    EXPECT_NEAR(static_cast<double>(held.size()), 0.1 * observed, 4 * sd);
    for (const SHeldOutGenotype& g : held) {
        ASSERT_EQ(g.copies.size(), 2u);
        EXPECT_EQ(g.copies[0], data.Code(g.individual, g.locus, 0));
        EXPECT_GE(g.copies[0], 0);
        EXPECT_GE(g.copies[1], 0);
    }
    const std::vector<SHeldOutGenotype> again = DrawHeldOutGenotypes(data, 0.1, 42);
    ASSERT_EQ(again.size(), held.size());
    for (size_t j = 0; j < held.size(); ++j)
        EXPECT_TRUE(again[j].individual == held[j].individual && again[j].locus == held[j].locus);
    auto places = [](const std::vector<SHeldOutGenotype>& genotypes) {
        std::set<std::pair<long, long>> at;
        for (const SHeldOutGenotype& g : genotypes)
            at.insert({g.individual, g.locus});
        return at;
    };
    EXPECT_NE(places(DrawHeldOutGenotypes(data, 0.1, 43)), places(held));

    const std::vector<SHeldOutGenotype> all = DrawHeldOutGenotypes(data, 1.0, 42);
    const std::set<std::pair<long, long>> hidden = places(all);
    std::vector<std::set<int>> seen(L), left(L);
    std::vector<bool> individualLeft(N, false);
    for (long i = 0; i < N; ++i)
        for (long l = 0; l < L; ++l)
            for (long a = 0; a < A; ++a)
                if (data.Code(i, l, a) >= 0) {
                    seen[l].insert(data.Code(i, l, a));
                    if (!hidden.count({i, l}))
                        left[l].insert(data.Code(i, l, a)), individualLeft[i] = true;
                }
    for (long l = 0; l < L; ++l)
        EXPECT_EQ(seen[l], left[l]) << "locus " << l + 1;
    for (long i = 0; i < N; ++i)
        EXPECT_TRUE(individualLeft[i]) << "individual " << i + 1;
    EXPECT_GT(all.size(), static_cast<size_t>(observed / 2));
}

// log P(genotype) = log(orderings) + sum over copies of log sum_k q_ik p_k.
TEST(HeldOutGenotypesTest, ScoresTheGenotypesByTheMixtureOfTheirIndividual) {
    const std::string p = WriteFile("P.txt",
                                    "cluster\tlocus\tallele\tfrequency\n"
                                    "1\t2\t1\t0.2\n1\t2\t2\t0.8\n2\t2\t1\t0.6\n2\t2\t2\t0.4\n");
    const DBL_VCTR_2D Q = {{1, 0}, {0.5, 0.5}};
    const std::vector<SHeldOutGenotype> held = {Genotype(0, 1, {1, 2}), Genotype(1, 1, {1, 1})};
    std::string why;
    const double score = ScoreHeldOutGenotypes(held, Q, p, why);
    EXPECT_NEAR(score, (std::log(2 * 0.2 * 0.8) + std::log(0.4 * 0.4)) / 2, 1e-12) << why;

    // An allele without a frequency, a missing table, an individual beyond Q.
    EXPECT_TRUE(std::isnan(ScoreHeldOutGenotypes({Genotype(0, 1, {3, 1})}, Q, p, why)));
    EXPECT_NE(why.find("allele 3 of locus 2"), std::string::npos) << why;
    EXPECT_TRUE(std::isnan(ScoreHeldOutGenotypes(held, Q, p + ".absent", why)));
    EXPECT_TRUE(std::isnan(ScoreHeldOutGenotypes({Genotype(2, 1, {1, 1})}, Q, p, why)));

    // The list of held-out genotypes reads back as written.
    const std::string list = ::testing::TempDir() + "heldout_list.txt";
    {
        std::ofstream out(list);
        WriteHeldOutList(out, held);
    }
    std::vector<SHeldOutGenotype> back;
    ASSERT_TRUE(ReadHeldOutList(list, back, why)) << why;
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].individual, 1);
    EXPECT_EQ(back[1].locus, 1);
    EXPECT_EQ(back[1].copies, std::vector<int>({1, 1}));
    EXPECT_FALSE(
        ReadHeldOutList(WriteFile("badlist.txt", "individual\tlocus\tcopies\n1\tx\n"), back, why));
}
