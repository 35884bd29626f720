// The genotype store: allele lists, allele indices and codes of the copies,
// the parts a validation run takes, and the two widths of an index.
#include <gtest/gtest.h>

#include <numeric>

#include "core/TestSupport.h"
#include "io/GenotypeStore.h"
#include "io/IOUtilities.h"

namespace {

// Individual i of X, one row per copy.
INT_VCTR_2D Indices(const CGenotypeStore& X, int i) {
    INT_VCTR_2D rows(X.A(), INT_VCTR_1D(X.L()));
    for (int a = 0; a < X.A(); ++a)
        for (int l = 0; l < X.L(); ++l)
            rows[a][l] = X.Index(i, a, l);
    return rows;
}

}  // namespace

TEST(GenotypeStore, AllelesAreTheSortedDistinctCodesAndEveryCodeReadsBack) {
    // Locus 0: {-9, 0, 2}; locus 1: {1, 2}; locus 2: two different missing
    // codes, -9 and -1, neither of which is an allele.
    const INT_VCTR_3D X = {{{-9, 2, -9}, {0, 1, -1}}, {{2, 2, 5}, {0, 1, -9}}};
    const CGenotypeStore store = CGenotypeStore::FromCodes(X);
    EXPECT_EQ(store.AlleleLists(), (INT_VCTR_2D{{0, 2}, {1, 2}, {5}}));
    EXPECT_EQ(store.AlleleCounts(), (INT_VCTR_1D{2, 2, 1}));
    EXPECT_EQ(Indices(store, 0), (INT_VCTR_2D{{-1, 1, -1}, {0, 0, -1}}));
    EXPECT_EQ(Indices(store, 1), (INT_VCTR_2D{{1, 1, 0}, {0, 0, -1}}));
    EXPECT_EQ(store.FindAllele(0, 1), CGenotypeStore::kMissing);
    EXPECT_EQ(FindAlleleIndex(store.Alleles(0), 2), 1);
    EXPECT_TRUE(store.HasSeveralMissingCodes());
    EXPECT_EQ(store.ToCodes(), X);
    EXPECT_EQ(store.BytesPerCopy(), 1);

    // Filled in another order, the codes of a locus met in decreasing order:
    // the same lists and indices once finished.
    CGenotypeStore backwards(2, 2, 3);
    for (int i = 1; i >= 0; --i)
        for (int l = 2; l >= 0; --l)
            for (int a = 1; a >= 0; --a)
                backwards.Put(i, a, l, X[i][a][l]);
    backwards.Finish();
    EXPECT_EQ(backwards.AlleleLists(), store.AlleleLists());
    EXPECT_EQ(backwards.ToCodes(), X);
    EXPECT_EQ(Indices(backwards, 0), Indices(store, 0));

    // A rewritten copy reads as its new allele.
    CGenotypeStore rewritten = store;
    rewritten.SetIndex(0, 0, 0, 0);
    rewritten.SetIndex(1, 1, 1, 1);
    EXPECT_EQ(rewritten.Code(0, 0, 0), 0);
    EXPECT_EQ(rewritten.Code(1, 1, 1), 2);
    EXPECT_EQ(rewritten.Index(1, 1, 1), 1);
}

TEST(GenotypeStore, PartsKeepTheAllelesAndMissingCodesOfTheWhole) {
    // Three individuals at two loci; the missing codes differ at locus 1.
    const INT_VCTR_3D X = {{{3, 10}}, {{1, -1}}, {{3, -9}}};
    const CGenotypeStore whole = CGenotypeStore::FromCodes(X);
    const CGenotypeStore training = whole.SelectIndividuals({2, 0});
    EXPECT_EQ(training.N(), 2);
    EXPECT_EQ(training.AlleleLists(), (INT_VCTR_2D{{1, 3}, {10}}));
    EXPECT_EQ(training.ToCodes(), (INT_VCTR_3D{{{3, -9}}, {{3, 10}}}));
    EXPECT_EQ(whole.SelectIndividuals({1}).ToCodes(), (INT_VCTR_3D{{{1, -1}}}));

    const CGenotypeStore heldOut = whole.SelectLoci({1});
    EXPECT_EQ(heldOut.L(), 1);
    EXPECT_EQ(heldOut.AlleleLists(), (INT_VCTR_2D{{10}}));
    EXPECT_EQ(heldOut.ToCodes(), (INT_VCTR_3D{{{10}}, {{-1}}, {{-9}}}));
    const CGenotypeStore swapped = whole.SelectLoci({1, 0});
    EXPECT_EQ(swapped.ToCodes(), (INT_VCTR_3D{{{10, 3}}, {{-1, 1}}, {{-9, 3}}}));
    EXPECT_EQ(swapped.Index(1, 0, 1), 0);
}

TEST(GenotypeStore, ALocusOfMoreThan255AllelesTakesTwoBytesACopy) {
    // Locus 0 holds `alleles` codes (100 + 3 j, in a scrambled order);
    // locus 1 two alleles and a missing copy.
    for (int alleles : {255, 256, 300}) {
        const int N = alleles;
        INT_VCTR_3D X(N, INT_VCTR_2D(1, INT_VCTR_1D(2)));
        for (int i = 0; i < N; ++i) {
            X[i][0][0] = 100 + 3 * ((i * 7) % alleles);
            X[i][0][1] = i % 5 == 0 ? -9 : i % 2;
        }
        const CGenotypeStore store = CGenotypeStore::FromCodes(X);
        EXPECT_EQ(store.BytesPerCopy(), alleles > 255 ? 2 : 1) << alleles;
        ASSERT_EQ(store.J(0), alleles);
        EXPECT_EQ(store.ToCodes(), X) << alleles;
        for (int i = 0; i < N; ++i)
            EXPECT_EQ(store.Alleles(0)[store.Index(i, 0, 0)], X[i][0][0]);
        EXPECT_EQ(store.Index(0, 0, 1), CGenotypeStore::kMissing);
        // The part without the long locus is one byte a copy again.
        const CGenotypeStore narrow = store.SelectLoci({1});
        EXPECT_EQ(narrow.BytesPerCopy(), 1);
        EXPECT_EQ(narrow.Index(0, 0, 0), CGenotypeStore::kMissing);
        EXPECT_EQ(narrow.Index(1, 0, 0), 1);
        // The indices as the sweep loops read them.
        const size_t missing = store.VisitIndices([](const auto* index) {
            using T = std::remove_const_t<std::remove_pointer_t<decltype(index)>>;
            return static_cast<size_t>(index[1] == CGenotypeStore::MissingMarker<T>());
        });
        EXPECT_EQ(missing, 1u);
    }
}

TEST(GenotypeStoreDeath, ALocusOfMoreThan65535AllelesIsRefused) {
    const int N = CGenotypeStore::kMaxAlleles + 1;
    INT_VCTR_3D X(N, INT_VCTR_2D(1, INT_VCTR_1D(1)));
    for (int i = 0; i < N; ++i)
        X[i][0][0] = i;
    {
        FlavourScope f(ProgramFlavour::BreloAdm);
        EXPECT_EXIT(CGenotypeStore::FromCodes(X), ::testing::ExitedWithCode(1),
                    "^Locus 1 holds more than 65535 distinct allele codes - CGenotypeStore\n$");
    }
    FlavourScope f(ProgramFlavour::Brelo);
    EXPECT_EXIT_STDOUT(CGenotypeStore::FromCodes(X),
                       "^Locus 1 holds more than 65535 distinct allele codes - CGenotypeStore\n$");
}

namespace {

// N diploid individuals at L loci of two alleles (codes 3 and 8, met in
// either order), about one genotype in ten missing (-9 at both copies).
INT_VCTR_3D RandomDiploidCodes(int N, int L, unsigned seed) {
    std::srand(seed);
    INT_VCTR_3D X(N, INT_VCTR_2D(2, INT_VCTR_1D(L)));
    for (int i = 0; i < N; ++i)
        for (int l = 0; l < L; ++l) {
            const bool missing = std::rand() % 10 == 0;
            for (int a = 0; a < 2; ++a)
                X[i][a][l] = missing ? -9 : (std::rand() % 2 ? 8 : 3);
        }
    return X;
}

}  // namespace

TEST(GenotypeStore, PackedDiploidBiallelicDataReadsAsItsCopies) {
    // 37 loci: a row of two words, the second partly used.
    const INT_VCTR_3D X = RandomDiploidCodes(9, 37, 3);
    CGenotypeStore packed = CGenotypeStore::FromCodes(X);
    const CGenotypeStore copies = packed;
    ASSERT_TRUE(packed.Pack());
    EXPECT_EQ(packed.Words(), 2u);
    EXPECT_EQ(packed.GenotypeBytes(), 9u * 16);
    EXPECT_EQ(packed.AlleleLists(), copies.AlleleLists());
    for (int i = 0; i < 9; ++i)
        for (int l = 0; l < 37; ++l) {
            // The genotype value counts the copies of allele 1; a
            // heterozygote reads as allele 0 at copy 0.
            const int j0 = copies.Index(i, 0, l), j1 = copies.Index(i, 1, l);
            const int g = j0 < 0 ? CGenotypeStore::kMissingGenotype : j0 + j1;
            EXPECT_EQ(packed.Genotype(i, l), g);
            EXPECT_EQ(packed.Index(i, 0, l), j0 < 0 ? -1 : g / 2);
            EXPECT_EQ(packed.Index(i, 1, l), j0 < 0 ? -1 : (g + 1) / 2);
            EXPECT_EQ(packed.Code(i, 0, l) + packed.Code(i, 1, l),
                      copies.Code(i, 0, l) + copies.Code(i, 1, l));
        }
    // Parts of a packed store are packed and read as the parts of the copies.
    const INT_VCTR_1D rows = {8, 0, 3}, loci = {36, 2, 31, 32, 0};
    const CGenotypeStore someRows = packed.SelectIndividuals(rows);
    const CGenotypeStore someLoci = packed.SelectLoci(loci);
    EXPECT_TRUE(someRows.IsPacked());
    EXPECT_TRUE(someLoci.IsPacked());
    CGenotypeStore rowsOfCopies = copies.SelectIndividuals(rows);
    CGenotypeStore lociOfCopies = copies.SelectLoci(loci);
    ASSERT_TRUE(rowsOfCopies.Pack() && lociOfCopies.Pack());
    EXPECT_EQ(someRows.ToCodes(), rowsOfCopies.ToCodes());
    EXPECT_EQ(someLoci.ToCodes(), lociOfCopies.ToCodes());
    EXPECT_EQ(someLoci.AlleleLists(), lociOfCopies.AlleleLists());
    // The expanded indices of a visit are those of the packed copies.
    std::vector<int> visited;
    packed.VisitIndices([&](const auto* index) {
        for (size_t c = 0; c < packed.Copies(); ++c)
            visited.push_back(index[c] == 255 ? -1 : index[c]);
    });
    for (size_t c = 0; c < packed.Copies(); ++c)
        ASSERT_EQ(visited[c], packed.IndexAt(c)) << c;
}

TEST(GenotypeStore, OnlyDiploidDataOfTwoAllelesWithWholeGenotypesIsPacked) {
    INT_VCTR_3D X = RandomDiploidCodes(4, 5, 1);
    X[2][1][3] = 5;  // a third allele at locus 3
    CGenotypeStore third = CGenotypeStore::FromCodes(X);
    EXPECT_FALSE(third.Pack());
    EXPECT_EQ(third.BytesPerCopy(), 1);
    X = RandomDiploidCodes(4, 5, 1);
    X[1][0][2] = -9;
    X[1][1][2] = 3;  // one copy missing, the other observed
    EXPECT_FALSE(CGenotypeStore::FromCodes(X).CanPack());
    const INT_VCTR_3D haploid = {{{1, 2}}, {{2, 2}}};
    EXPECT_FALSE(CGenotypeStore::FromCodes(haploid).CanPack());
}
