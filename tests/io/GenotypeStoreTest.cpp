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
