// Whole runs of breloAdm's default chain on simulated data, against the
// truth they were simulated from.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "breloAdm/AdmTestUtils.h"
#include "breloAdm/ChainRun.h"

namespace {

// Standard deviation of all the entries of an N x K proportion matrix.
double Spread(const std::vector<std::vector<double>>& q) {
    double sum = 0.0, sum2 = 0.0, n = 0.0;
    for (const auto& row : q)
        for (double v : row) {
            sum += v;
            sum2 += v * v;
            n += 1.0;
        }
    return std::sqrt(sum2 / n - (sum / n) * (sum / n));
}

}  // namespace

// Weakly differentiated SNPs (F_ST 0.05) and many more loci than
// individuals: with the clusters' frequencies independent a priori (-anc0)
// the posterior lies at proportions pulled towards 1/K, the frequencies
// pushed apart to match (RMSE 0.34 here, the estimates' spread 0.41 of the
// truth's). Under the default correlated model the proportions keep their
// spread (RMSE 0.09 to 0.12, spread 0.89 to 0.92 over the chain's seeds).
TEST(AdmixtureRecoveryChecks, ProportionsOfWeaklyDifferentiatedSnpsAreNotShrunk) {
    const std::string dir = admtest::MakeScratchDir("weak_snp");
    const int N = 50, L = 1200;
    const admtest::SSimTruth truth =
        admtest::WriteAdmixedSnpData(dir + "/snp.txt", N, L, 2, 0.05, 0.5, 5);
    admtest::SChainRun run;
    admtest::RunChain(
        run,
        {"-Fsnp.txt", "-i" + dir, "-o" + dir, "-N" + std::to_string(N), "-A2",
         "-L" + std::to_string(L), "-K2", "-T1", "-P0.6", "-D1", "-S150", "-B75", "-c1"},
        3);
    const double rmse = admtest::ProportionRmse(run.est.mean.q, truth.q);
    const double spread = Spread(run.est.mean.q) / Spread(truth.q);
    EXPECT_LT(rmse, 0.2);
    EXPECT_GT(spread, 0.75);
    std::cout << "RMSE " << rmse << ", spread " << spread << " of the truth's\n";
}
