// Sums over packed genotypes against the same sums made copy by copy, on
// sizes that end inside a byte, a word and a block of the sums, with groups
// large enough to flush the byte lanes several times.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "core/ThreadPool.h"
#include "io/GenotypeStore.h"
#include "io/PackedGenotypeSums.h"

namespace {

CGenotypeStore RandomPacked(int N, int L, unsigned seed) {
    std::srand(seed);
    CGenotypeStore X(N, 2, L);
    for (int i = 0; i < N; ++i)
        for (int l = 0; l < L; ++l) {
            const bool missing = std::rand() % 7 == 0;
            for (int a = 0; a < 2; ++a)
                X.Put(i, a, l, missing ? -1 : std::rand() % 2);
        }
    X.Finish();
    EXPECT_TRUE(X.Pack());
    return X;
}

}  // namespace

TEST(PackedGenotypeSums, CountsAndSumsAgreeWithTheCopies) {
    const int N = 401, L = 333, K = 3;
    const CGenotypeStore X = RandomPacked(N, L, 11);
    std::vector<int> group(N);
    for (int i = 0; i < N; ++i)
        group[i] = i % 5 == 4 ? -1 : i % K;  // every fifth individual left out

    std::vector<int> observed(K * L, -7), allele1(K * L, -7), expectObserved(K * L, 0),
        expectAllele1(K * L, 0);
    std::vector<uint32_t> work;
    CountPackedAlleles(X, group.data(), K, AllWords(X), observed.data(), allele1.data(), work);
    for (int i = 0; i < N; ++i)
        for (int l = 0; l < L; ++l)
            if (group[i] >= 0 && X.Index(i, 0, l) >= 0) {
                ++expectObserved[group[i] * L + l];
                expectAllele1[group[i] * L + l] += X.Index(i, 0, l) + X.Index(i, 1, l);
            }
    EXPECT_EQ(observed, expectObserved);
    EXPECT_EQ(allele1, expectAllele1);

    // A range of words recounts its loci only.
    std::vector<int> part(K * L, -7), part1(K * L, -7);
    CountPackedAlleles(X, group.data(), K, {2, 5}, part.data(), part1.data(), work);
    for (int k = 0; k < K; ++k)
        for (int l = 0; l < L; ++l) {
            const bool inRange = l >= 64 && l < 160;
            EXPECT_EQ(part[k * L + l], inRange ? expectObserved[k * L + l] : -7);
            EXPECT_EQ(part1[k * L + l], inRange ? expectAllele1[k * L + l] : -7);
        }

    for (int KK : {1, 3, 7}) {
        std::vector<double> table(static_cast<size_t>(L) * 4 * KK);
        for (size_t t = 0; t < table.size(); ++t)
            table[t] = (t % 4 == 3) ? 0.0 : -0.01 * static_cast<double>(t % 97) - 0.5;
        std::vector<double> out(static_cast<size_t>(N) * KK, 1e9), sumWork;
        SumPackedGenotypeValues(X, table.data(), KK, 100, 301, out.data(), sumWork);
        for (int i = 100; i < 301; ++i)
            for (int k = 0; k < KK; ++k) {
                double expected = 0.0;
                for (int l = 0; l < L; ++l)
                    expected += table[(static_cast<size_t>(l) * 4 + X.Genotype(i, l)) * KK + k];
                EXPECT_NEAR(out[(i - 100) * KK + k], expected, 1e-9) << i << " " << k;
            }
        EXPECT_EQ(out[201 * KK], 1e9);  // past the rows asked for
    }
}

TEST(PackedGenotypeSums, BlocksOnThreadsGiveTheSerialResultsBitForBit) {
    // More loci than one block of either sum (and than a round of blocks of
    // the likelihood sums), ending inside a byte.
    const int N = 150, L = 4 * 64 * 17 + 5;
    const CGenotypeStore X = RandomPacked(N, L, 12);
    CThreadPool pool(3);
    for (int K : {2, 3, 9}) {
        std::vector<int> group(N);
        for (int i = 0; i < N; ++i)
            group[i] = i % 7 == 6 ? -1 : (i * 5) % K;
        std::vector<int> observed(K * L), allele1(K * L), observedT(K * L, -1), allele1T(K * L, -1);
        std::vector<uint32_t> work;
        CountPackedAlleles(X, group.data(), K, AllWords(X), observed.data(), allele1.data(), work);
        CountPackedAlleles(X, group.data(), K, observedT.data(), allele1T.data(), work, &pool);
        EXPECT_EQ(observedT, observed) << K;
        EXPECT_EQ(allele1T, allele1) << K;

        // Values of many magnitudes, so that another order of the additions
        // would show in the last bits.
        std::vector<double> table(static_cast<size_t>(L) * 4 * K);
        for (size_t t = 0; t < table.size(); ++t)
            table[t] =
                -std::ldexp(1.0 + 0.37 * static_cast<double>(t % 13), -static_cast<int>(t % 29));
        std::vector<double> serial(static_cast<size_t>(N) * K), threaded(serial.size()), sumWork;
        SumPackedGenotypeValues(X, table.data(), K, 3, N, serial.data(), sumWork);
        SumPackedGenotypeValues(X, table.data(), K, 3, N, threaded.data(), sumWork, &pool);
        for (size_t v = 0; v < static_cast<size_t>(N - 3) * K; ++v)
            ASSERT_EQ(threaded[v], serial[v]) << K << " " << v;  // exact, not near
    }
}
