// Exact checks of the random steps of brelo's sampler: each step is run many
// times from a draw of the distribution it must leave invariant, on a problem
// small enough to know that distribution (by enumeration, in closed form or
// by one-dimensional quadrature), and what it draws is compared with it
// within the Monte Carlo error. Fixed seeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "brelo/BreloStepCheckUtil.h"
#include "core/ExactCheckSupport.h"
#include "core/RandomStreams.h"
#include "core/ReplicaExchange.h"
#include "core/ThreadPool.h"

namespace {

// Draw from the discrete law probs (summing to 1).
int DrawClass(const DBL_VCTR_1D& probs, gsl_rng* rng) {
    double u = gsl_rng_uniform(rng);
    for (size_t k = 0; k + 1 < probs.size(); ++k) {
        u -= probs[k];
        if (u < 0)
            return static_cast<int>(k);
    }
    return static_cast<int>(probs.size()) - 1;
}

DBL_VCTR_1D Normalised(DBL_VCTR_1D v) {
    double sum = 0.0;
    for (double x : v)
        sum += x;
    for (double& x : v)
        x /= sum;
    return v;
}

// Under the uniform prior of the structure sweeps, the label of an individual
// has the law of its genotype likelihoods across the clusters.
const DBL_VCTR_1D kLabelLaw = {0.5, 0.3, 0.15, 0.05};

// The law of the label in a replica whose likelihoods are raised to power.
DBL_VCTR_1D TemperedLabelLaw(double power) {
    DBL_VCTR_1D law = kLabelLaw;
    for (double& p : law)
        p = std::pow(p, power);
    return Normalised(law);
}

// Powers of the checks: the posterior and a tempered replica.
const double kPowers[] = {1.0, 0.4};

}  // namespace

TEST(BreloStepChecks, MetropolisLabelKeepsTheLikelihoodLawAndMovesAsDesigned) {
    SBreloChain c;
    SetUpTinyChain(c, 1, 2, 1, 2, 4, 1.0);
    SBreloReplica& r = c.replicas[0];
    SetLikelihoods(c, 0, kLabelLaw);
    CSeededRng target(11), step(12);
    const int K = 4, draws = 200000;
    for (double power : kPowers) {
        r.power = power;
        const DBL_VCTR_1D law = TemperedLabelLaw(power);
        std::vector<long> after(K, 0);
        std::vector<std::vector<long>> moves(K, std::vector<long>(K, 0));
        for (int t = 0; t < draws; ++t) {
            const int from = DrawClass(law, target.get());
            r.spSweep.z[0] = from;
            UpdateLabelByMetropolis(c, r, 0, step.get());
            ++after[r.spSweep.z[0]];
            ++moves[from][r.spSweep.z[0]];
        }
        EXPECT_GT(ChiSquarePValue(after, law), kPValueLimit) << "power " << power;
        // Each row of moves against the kernel: proposal 1/K, acceptance
        // min(1, ratio of the tempered likelihoods).
        for (int from = 0; from < K; ++from) {
            DBL_VCTR_1D row(K, 0.0);
            double stay = 1.0;
            for (int to = 0; to < K; ++to)
                if (to != from) {
                    row[to] = std::min(1.0, law[to] / law[from]) / K;
                    stay -= row[to];
                }
            row[from] = stay;
            EXPECT_GT(ChiSquarePValue(moves[from], row), kPValueLimit)
                << "power " << power << ", from " << from;
        }
    }
}

TEST(BreloStepChecks, GibbsLabelDrawsTheLikelihoodLawFromAnyLabel) {
    // -zg: whatever the current label, the next one has the law of the
    // genotype likelihoods over all K clusters.
    SBreloChain c;
    SetUpTinyChain(c, 1, 2, 1, 2, 4, 1.0);
    SBreloReplica& r = c.replicas[0];
    SetLikelihoods(c, 0, kLabelLaw);
    CSeededRng step(13);
    const int K = 4, draws = 50000;
    for (double power : kPowers) {
        r.power = power;
        for (int from = 0; from < K; ++from) {
            std::vector<long> after(K, 0);
            for (int t = 0; t < draws; ++t) {
                r.spSweep.z[0] = from;
                UpdateLabelByGibbs(c, r, 0, step.get());
                ++after[r.spSweep.z[0]];
            }
            EXPECT_GT(ChiSquarePValue(after, TemperedLabelLaw(power)), kPValueLimit)
                << "power " << power << ", from " << from;
        }
    }
}

TEST(BreloStepChecks, AlleleFrequenciesFollowTheirDirichletConditional) {
    // Five diploids at two loci of three alleles, two clusters, lambda 0.5;
    // one missing copy that must count for nothing.
    const int N = 5, A = 2, L = 2, J = 3, K = 2;
    const double lambda = 0.5;
    SBreloChain c;
    SetUpTinyChain(c, N, A, L, J, K, lambda);
    SBreloReplica& r = c.replicas[0];
    const int genotypes[N][A][L] = {
        {{0, 2}, {1, 2}}, {{0, 0}, {0, 1}}, {{2, 1}, {2, 1}}, {{1, 0}, {2, 1}}, {{2, 2}, {0, -1}}};
    const int labels[N] = {0, 0, 1, 1, 1};
    double counts[K][L][J] = {};
    for (int i = 0; i < N; ++i) {
        r.spSweep.z[i] = labels[i];
        for (int a = 0; a < A; ++a)
            for (int l = 0; l < L; ++l) {
                SetGenotype(c, i, a, l, genotypes[i][a][l]);
                if (genotypes[i][a][l] >= 0)
                    counts[labels[i]][l][genotypes[i][a][l]] += 1.0;
            }
    }
    // In a tempered replica the counts weigh as much as its power.
    CSeededRng rng(21);
    const int draws = 40000;
    for (double power : kPowers) {
        r.power = power;
        SMoments first[K][L][J], second[K][L][J], cross[K][L];
        for (int t = 0; t < draws; ++t) {
            UpdateAlleleFrequencies(c, r, rng.get());
            for (int k = 0; k < K; ++k)
                for (int l = 0; l < L; ++l) {
                    const DBL_VCTR_1D& p = r.spSweep.p[k][l];
                    for (int j = 0; j < J; ++j) {
                        first[k][l][j].Add(p[j]);
                        second[k][l][j].Add(p[j] * p[j]);
                    }
                    cross[k][l].Add(p[0] * p[1]);
                }
        }
        for (int k = 0; k < K; ++k)
            for (int l = 0; l < L; ++l) {
                double alpha[J], a0 = 0.0;
                for (int j = 0; j < J; ++j)
                    a0 += alpha[j] = lambda + power * counts[k][l][j];
                for (int j = 0; j < J; ++j) {
                    const double a = alpha[j];
                    EXPECT_LT(std::fabs(first[k][l][j].Z(a / a0)), kZLimit) << power << k << l << j;
                    EXPECT_LT(std::fabs(second[k][l][j].Z(a * (a + 1) / (a0 * (a0 + 1)))), kZLimit)
                        << power << k << l << j;
                }
                const double cross01 = alpha[0] * alpha[1] / (a0 * (a0 + 1));
                EXPECT_LT(std::fabs(cross[k][l].Z(cross01)), kZLimit) << power << k << l;
            }
    }
}

TEST(BreloStepChecks, UtilitiesKeepTheirTruncatedNormalLawGivenTheLabel) {
    // Three clusters: two utilities, the reference cluster at 0. From a draw
    // of N(Pred, I) restricted to the region where the label wins, one Gibbs
    // pass must give that law again.
    SBreloChain c;
    SetUpTinyChain(c, 1, 2, 1, 2, 3, 1.0, {{1.0}});
    SBreloReplica& r = c.replicas[0];
    CSeededRng target(31), step(32);
    const int draws = 30000;
    const double means[][2] = {{0.3, -0.5}, {1.5, 1.0}};
    for (const auto& m : means)
        for (int z = 0; z < 3; ++z) {
            r.Pred[0] = {m[0], m[1]};
            r.spSweep.z[0] = z;
            SMoments w0, w1, w00, w11, w01;
            for (int t = 0; t < draws; ++t) {
                DrawUtilitiesGivenClass(r.Pred[0], z, r.spSweep.w[0], target.get());
                ASSERT_TRUE(UpdateUtilities(c, r, 0, 0, step.get()));
                const DBL_VCTR_1D& w = r.spSweep.w[0];
                ASSERT_EQ(ProbitWinner(w), z);
                w0.Add(w[0]);
                w1.Add(w[1]);
                w00.Add(w[0] * w[0]);
                w11.Add(w[1] * w[1]);
                w01.Add(w[0] * w[1]);
            }
            const SRegionMoments r = ProbitRegionMoments(m[0], m[1], z);
            const std::string where = "means " + std::to_string(m[0]) + " " + std::to_string(m[1]) +
                                      ", label " + std::to_string(z);
            EXPECT_LT(std::fabs(w0.Z(r.w0 / r.mass)), kZLimit) << where;
            EXPECT_LT(std::fabs(w1.Z(r.w1 / r.mass)), kZLimit) << where;
            EXPECT_LT(std::fabs(w00.Z(r.w00 / r.mass)), kZLimit) << where;
            EXPECT_LT(std::fabs(w11.Z(r.w11 / r.mass)), kZLimit) << where;
            EXPECT_LT(std::fabs(w01.Z(r.w01 / r.mass)), kZLimit) << where;
        }
}

TEST(BreloStepChecks, ProbitLabelDrawsLabelAndUtilitiesFromTheirJointConditional) {
    // Regression sweeps: label and utilities together from
    // N(w; Pred, I) x likelihood of the winning cluster.
    SBreloChain c;
    SetUpTinyChain(c, 1, 2, 1, 2, 3, 1.0, {{1.0}});
    SBreloReplica& r = c.replicas[0];
    const double m0 = 0.4, m1 = -0.3;
    r.Pred[0] = {m0, m1};
    const DBL_VCTR_1D likelihood = {0.2, 0.5, 0.3};
    SetLikelihoods(c, 0, likelihood);
    SRegionMoments region[3];
    for (int z = 0; z < 3; ++z)
        region[z] = ProbitRegionMoments(m0, m1, z);

    CSeededRng rng(41);
    const int draws = 60000;
    for (double power : kPowers) {
        r.power = power;
        DBL_VCTR_1D law(3);
        for (int z = 0; z < 3; ++z)
            law[z] = region[z].mass * std::pow(likelihood[z], power);
        law = Normalised(law);
        std::vector<long> counts(3, 0);
        SMoments w0[3], w1[3], w01[3];
        for (int t = 0; t < draws; ++t) {
            ASSERT_TRUE(UpdateLabelByProbit(c, r, 0, rng.get()));
            const int z = r.spSweep.z[0];
            const DBL_VCTR_1D& w = r.spSweep.w[0];
            ASSERT_EQ(ProbitWinner(w), z);
            ++counts[z];
            w0[z].Add(w[0]);
            w1[z].Add(w[1]);
            w01[z].Add(w[0] * w[1]);
        }
        EXPECT_EQ(r.loop_sup_PROPOSAL_MAX, 0);
        EXPECT_GT(ChiSquarePValue(counts, law), kPValueLimit) << "power " << power;
        for (int z = 0; z < 3; ++z) {
            const std::string where =
                "power " + std::to_string(power) + ", label " + std::to_string(z);
            EXPECT_LT(std::fabs(w0[z].Z(region[z].w0 / region[z].mass)), kZLimit) << where;
            EXPECT_LT(std::fabs(w1[z].Z(region[z].w1 / region[z].mass)), kZLimit) << where;
            EXPECT_LT(std::fabs(w01[z].Z(region[z].w01 / region[z].mass)), kZLimit) << where;
        }
    }
}

TEST(BreloStepChecks, ProbitLabelFallbackDrawsFromTheLikelihoodAlone) {
    // A designed approximation, checked for what it is: when the probit
    // prior almost never proposes the clusters the genotypes favour, the
    // 15000th proposal hands over to a draw from the genotype likelihoods
    // alone, which ignores the prior. Here the exact law of the label is
    // (0.26, 0.26, 0.47); four calls in five end in the fallback, which
    // draws (0.5, 0.5, 0), and the step as a whole about (0.46, 0.46, 0.09).
    SBreloChain c;
    SetUpTinyChain(c, 1, 2, 1, 2, 3, 1.0, {{1.0}});
    SBreloReplica& r = c.replicas[0];
    const double m = -4.5;
    r.Pred[0] = {m, m};
    const DBL_VCTR_1D likelihood = {1.0, 1.0, std::exp(-12.0)};
    SetLikelihoods(c, 0, likelihood);
    DBL_VCTR_1D exact(3), fallbackLaw = Normalised(likelihood);
    for (int z = 0; z < 3; ++z)
        exact[z] = ProbitRegionMoments(m, m, z).mass * likelihood[z];
    exact = Normalised(exact);

    CSeededRng rng(51);
    CQuietStdout quiet;
    const int draws = 600;
    std::vector<long> fromFallback(3, 0), all(3, 0);
    for (int t = 0; t < draws; ++t) {
        const long before = r.loop_sup_PROPOSAL_MAX;
        ASSERT_TRUE(UpdateLabelByProbit(c, r, 0, rng.get()));
        ++all[r.spSweep.z[0]];
        if (r.loop_sup_PROPOSAL_MAX > before)
            ++fromFallback[r.spSweep.z[0]];
    }
    const long fallbacks = fromFallback[0] + fromFallback[1] + fromFallback[2];
    EXPECT_GT(fallbacks, draws / 2);
    EXPECT_GT(ChiSquarePValue(fromFallback, fallbackLaw), kPValueLimit);
    // What the approximation costs here: the most probable label, the
    // reference cluster, comes out about one time in ten.
    EXPECT_LT(ChiSquarePValue(all, exact), kPValueLimit);
    EXPECT_LT(static_cast<double>(all[2]) / draws, 0.25 * exact[2]);
}

TEST(BreloStepChecks, CoefficientsFollowTheirGaussianConditional) {
    // Six individuals, intercept and one covariate, two non-reference
    // clusters: beta_k ~ N(V Xtild' w_k, V) with V = (Xtild'Xtild)^-1.
    const DBL_VCTR_1D x = {-1.2, -0.4, 0.1, 0.5, 0.9, 1.6};
    DBL_VCTR_2D Xtild;
    for (double v : x)
        Xtild.push_back({1.0, v});
    SBreloChain c;
    SetUpTinyChain(c, 6, 2, 1, 2, 3, 1.0, Xtild);
    SBreloReplica& r = c.replicas[0];
    SetUpRegression(c);
    const DBL_VCTR_2D w = {{0.5, -1.0}, {1.2, -0.2}, {-0.3, 0.4},
                           {0.8, 0.1},  {2.0, -0.7}, {1.1, 0.9}};
    r.spSweep.w = w;

    double sx = 0, sxx = 0;
    for (double v : x) {
        sx += v;
        sxx += v * v;
    }
    const double n = x.size(), det = n * sxx - sx * sx;
    const double V[2][2] = {{sxx / det, -sx / det}, {-sx / det, n / det}};
    CSeededRng rng(61);
    const int draws = 40000;
    SMoments b0[2], b1[2], b00[2], b11[2], b01[2];
    for (int t = 0; t < draws; ++t) {
        UpdateCoefficients(c, r, rng.get());
        for (int k = 0; k < 2; ++k) {
            const DBL_VCTR_1D& b = r.spSweep.beta[k];
            b0[k].Add(b[0]);
            b1[k].Add(b[1]);
            b00[k].Add(b[0] * b[0]);
            b11[k].Add(b[1] * b[1]);
            b01[k].Add(b[0] * b[1]);
        }
    }
    for (int k = 0; k < 2; ++k) {
        double sw = 0, sxw = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            sw += w[i][k];
            sxw += x[i] * w[i][k];
        }
        const double mu0 = V[0][0] * sw + V[0][1] * sxw, mu1 = V[1][0] * sw + V[1][1] * sxw;
        EXPECT_LT(std::fabs(b0[k].Z(mu0)), kZLimit) << k;
        EXPECT_LT(std::fabs(b1[k].Z(mu1)), kZLimit) << k;
        EXPECT_LT(std::fabs(b00[k].Z(mu0 * mu0 + V[0][0])), kZLimit) << k;
        EXPECT_LT(std::fabs(b11[k].Z(mu1 * mu1 + V[1][1])), kZLimit) << k;
        EXPECT_LT(std::fabs(b01[k].Z(mu0 * mu1 + V[0][1])), kZLimit) << k;
    }
}

TEST(BreloStepChecks, PredictedClassesFollowTheProbit) {
    // The draws behind the predicted memberships and the held-out
    // individuals' classes.
    CSeededRng rng(71);
    const int draws = 100000;
    const double m0 = 0.4, m1 = -0.3;
    const double pred[2] = {m0, m1};
    std::vector<long> two(3, 0), one(2, 0);
    for (int t = 0; t < draws; ++t) {
        ++two[DrawProbitClass(pred, nullptr, 2, rng.get())];
        ++one[DrawProbitClass(pred, nullptr, 1, rng.get())];
    }
    DBL_VCTR_1D law(3);
    for (int z = 0; z < 3; ++z)
        law[z] = ProbitRegionMoments(m0, m1, z).mass;
    EXPECT_NEAR(law[0] + law[1] + law[2], 1.0, 1e-9);
    EXPECT_GT(ChiSquarePValue(two, law), kPValueLimit);
    const double p0 = gsl_cdf_ugaussian_P(m0);
    EXPECT_GT(ChiSquarePValue(one, {p0, 1 - p0}), kPValueLimit);
}

namespace {

// Four diploids at two loci of three alleles (one copy missing), three
// clusters: small enough to enumerate the 81 labellings.
constexpr int kPairN = 4, kPairA = 2, kPairL = 2, kPairJ = 3, kPairK = 3;
constexpr double kPairLambda = 0.5;
const int kPairGenotypes[kPairN][kPairA][kPairL] = {
    {{0, 2}, {0, 2}}, {{0, 1}, {0, 2}}, {{2, 1}, {1, -1}}, {{1, 1}, {2, 1}}};

void SetUpPairChain(SBreloChain& c) {
    SetUpTinyChain(c, kPairN, kPairA, kPairL, kPairJ, kPairK, kPairLambda);
    for (int i = 0; i < kPairN; ++i)
        for (int a = 0; a < kPairA; ++a)
            for (int l = 0; l < kPairL; ++l)
                SetGenotype(c, i, a, l, kPairGenotypes[i][a][l]);
}

// The same genotypes at loci kSpreadLoci[0] and [1] of kSpreadL, every
// other copy missing: the law of the labellings is the same, and the move's
// passes over blocks of loci add the sums of blocks without a copy, of a
// block ending inside a byte and of a block after a gap.
constexpr int kSpreadL = 2 * 1024 + 3;
constexpr int kSpreadLoci[kPairL] = {1023, 2050};

void SetUpSpreadPairChain(SBreloChain& c) {
    SetUpTinyChain(c, kPairN, kPairA, kSpreadL, kPairJ, kPairK, kPairLambda);
    for (int i = 0; i < kPairN; ++i)
        for (int a = 0; a < kPairA; ++a)
            for (int l = 0; l < kSpreadL; ++l)
                SetGenotype(c, i, a, l, -1);
    for (int i = 0; i < kPairN; ++i)
        for (int a = 0; a < kPairA; ++a)
            for (int l = 0; l < kPairL; ++l)
                SetGenotype(c, i, a, kSpreadLoci[l], kPairGenotypes[i][a][l]);
}

void DecodeLabels(int code, INT_VCTR_1D& z) {
    for (int i = 0; i < kPairN; ++i, code /= kPairK)
        z[i] = code % kPairK;
}

int EncodeLabels(const INT_VCTR_1D& z) {
    int code = 0;
    for (int i = kPairN - 1; i >= 0; --i)
        code = code * kPairK + z[i];
    return code;
}

// The law of the labellings under the uniform label prior, the frequencies
// integrated out of their Dirichlet prior, the likelihood raised to power;
// labellings that move individual fixed (>= 0) out of the last cluster have
// none.
DBL_VCTR_1D EnumeratedLabelLaw(double power, int fixed) {
    int cells = 1;
    for (int i = 0; i < kPairN; ++i)
        cells *= kPairK;
    DBL_VCTR_1D law(cells, 0.0);
    INT_VCTR_1D z(kPairN);
    for (int code = 0; code < cells; ++code) {
        DecodeLabels(code, z);
        if (fixed >= 0 && z[fixed] != kPairK - 1)
            continue;
        double logLaw = 0.0;
        for (int k = 0; k < kPairK; ++k)
            for (int l = 0; l < kPairL; ++l) {
                double counts[kPairJ] = {}, total = 0.0;
                for (int i = 0; i < kPairN; ++i)
                    for (int a = 0; a < kPairA && z[i] == k; ++a)
                        if (kPairGenotypes[i][a][l] >= 0) {
                            counts[kPairGenotypes[i][a][l]] += 1.0;
                            total += 1.0;
                        }
                for (double n : counts)
                    logLaw += std::lgamma(kPairLambda + power * n);
                logLaw -= std::lgamma(kPairJ * kPairLambda + power * total);
            }
        law[code] = std::exp(logLaw);
    }
    return Normalised(law);
}

}  // namespace

TEST(BreloStepChecks, TwoClusterReallocationKeepsTheLabelLaw) {
    // Labellings drawn from their enumerated law, one reallocation each: the
    // labellings after it must have the same law, at power 1, in a tempered
    // replica, with an individual held in the reference cluster, and with
    // the loci spread over blocks split among threads.
    struct SSetting {
        double power;
        int fixed;
        bool spread;
    };
    const SSetting settings[] = {
        {1.0, -1, false}, {0.4, -1, false}, {1.0, 2, false}, {1.0, -1, true}, {0.4, 2, true}};
    CSeededRng target(31), step(32);
    CThreadPool pool(2);
    for (const SSetting& s : settings) {
        const int draws = s.spread ? 20000 : 200000;
        SBreloChain c;
        if (s.spread) {
            SetUpSpreadPairChain(c);
            c.pool = &pool;
        } else {
            SetUpPairChain(c);
        }
        SBreloReplica& r = c.replicas[0];
        r.power = s.power;
        if (s.fixed >= 0) {
            c.bbase = true;
            c.data.isBase[s.fixed] = 1;
        }
        const DBL_VCTR_1D law = EnumeratedLabelLaw(s.power, s.fixed);
        std::vector<long> after(law.size(), 0);
        long changed = 0;
        for (int t = 0; t < draws; ++t) {
            const int from = DrawClass(law, target.get());
            DecodeLabels(from, r.spSweep.z);
            ReallocateTwoClusters(c, r, step.get());
            const int to = EncodeLabels(r.spSweep.z);
            ++after[to];
            changed += to != from;
        }
        EXPECT_GT(ChiSquarePValue(after, law), kPValueLimit)
            << "power " << s.power << ", fixed " << s.fixed << ", spread " << s.spread;
        // A move that never moves keeps every law: it must change the
        // labelling often.
        EXPECT_GT(changed, draws / 10)
            << "power " << s.power << ", fixed " << s.fixed << ", spread " << s.spread;
        EXPECT_EQ(r.reallocationAcceptance.proposed > 0, true);
    }
}

TEST(BreloStepChecks, TwoClusterReallocationChainVisitsTheLabellingsAsOften) {
    // The move alone, from one labelling, is a chain over all 81 of them
    // (any label can reach any other through one pair): its visits must
    // match the enumerated law within the batch-means error.
    SBreloChain c;
    SetUpPairChain(c);
    SBreloReplica& r = c.replicas[0];
    const DBL_VCTR_1D law = EnumeratedLabelLaw(1.0, -1);
    CSeededRng step(33);
    const int steps = 300000;
    std::fill(r.spSweep.z.begin(), r.spSweep.z.end(), 0);
    // Indicators of a few labellings, the likeliest among them.
    const int watched[] = {0, 1 + 2 * 9 + 2 * 27, 1 + 3 + 2 * 9, 2 + 1 * 9};
    std::vector<std::vector<double>> visits(std::size(watched));
    for (int t = 0; t < steps; ++t) {
        ReallocateTwoClusters(c, r, step.get());
        const int code = EncodeLabels(r.spSweep.z);
        for (size_t w = 0; w < visits.size(); ++w)
            visits[w].push_back(code == watched[w] ? 1.0 : 0.0);
    }
    for (size_t w = 0; w < visits.size(); ++w) {
        const double mean = Mean(visits[w]), truth = law[watched[w]];
        EXPECT_LT(std::fabs(mean - truth) / BatchMeansStdErr(visits[w], 100), kZLimit)
            << "labelling " << watched[w] << ": " << mean << " against " << truth;
    }
}

TEST(BreloStepChecks, TwoClusterReallocationKeepsEachClusterOnItsIndividuals) {
    // Two groups of five with nothing in common, two clusters: the split is
    // certain, and both of its labellings are equally likely. Proposing the
    // same split again must not hand the clusters' labels over, or the sums
    // over the kept sweeps would mix the two clusters.
    const int N = 10, A = 2, L = 3, J = 2;
    SBreloChain c;
    SetUpTinyChain(c, N, A, L, J, 2, 0.1);
    SBreloReplica& r = c.replicas[0];
    for (int i = 0; i < N; ++i) {
        r.spSweep.z[i] = i < N / 2 ? 0 : 1;
        for (int a = 0; a < A; ++a)
            for (int l = 0; l < L; ++l)
                SetGenotype(c, i, a, l, i < N / 2 ? 0 : 1);
    }
    const INT_VCTR_1D start = r.spSweep.z;
    CSeededRng step(34);
    int accepted = 0, unchanged = 0;
    for (int t = 0; t < 500; ++t) {
        accepted += ReallocateTwoClusters(c, r, step.get());
        unchanged += r.spSweep.z == start;
    }
    EXPECT_GT(accepted, 100);
    EXPECT_EQ(unchanged, 500);
}

TEST(BreloStepChecks, ReplicaExchangeOfWholeSweepsKeepsEveryRungsTemperedLaw) {
    // Three replicas of the chain of 4 individuals at K = 3, with -zg, their
    // whole sweeps (frequencies, Gibbs labels, reallocations at power 1)
    // swapped by the
    // exchange on two threads: the labellings of the replica on each rung
    // must follow that rung's tempered law (the frequencies integrated out).
    // Visits are correlated: z-scores of the likeliest labellings' frequencies
    // with batch-mean errors.
    const int n = 3, rounds = 60000;
    SBreloChain c;
    SetUpPairChain(c);
    c.gibbsLabels = true;
    c.reallocations = 1;
    c.replicas.resize(n, c.replicas[0]);
    CReplicaExchange exchange(n, 35, 0.3);
    CThreadPool pool(2);
    std::vector<CRandomStream> streams;
    for (int r = 0; r < n; ++r)
        streams.emplace_back(35, ReplicaStreamId(r + 1));
    std::vector<gsl_rng*> rngs;
    for (CRandomStream& stream : streams)
        rngs.push_back(stream.get());
    auto sweep = [&](int r, double power) {
        c.replicas[r].power = power;
        return SweepReplica(c, c.replicas[r], 0, rngs[r]);
    };
    auto logLikelihood = [&](int r) { return c.replicas[r].logLikelihood; };
    std::vector<std::vector<int>> codes(n);
    for (int t = 0; t < rounds; ++t) {
        ASSERT_TRUE(exchange.Round(pool, sweep, logLikelihood, false));
        for (int j = 0; j < n; ++j)
            codes[j].push_back(EncodeLabels(c.replicas[exchange.ReplicaAt(j)].spSweep.z));
    }
    for (int j = 0; j < n; ++j) {
        const DBL_VCTR_1D law = EnumeratedLabelLaw(exchange.Beta(j), -1);
        std::vector<int> order(law.size());
        for (size_t v = 0; v < law.size(); ++v)
            order[v] = static_cast<int>(v);
        std::partial_sort(order.begin(), order.begin() + 4, order.end(),
                          [&](int a, int b) { return law[a] > law[b]; });
        for (int w = 0; w < 4; ++w) {
            std::vector<double> visits;
            for (int code : codes[j])
                visits.push_back(code == order[w] ? 1.0 : 0.0);
            EXPECT_LT(std::fabs(Mean(visits) - law[order[w]]) / BatchMeansStdErr(visits, 100),
                      kZLimit)
                << "rung " << j << " (power " << exchange.Beta(j) << "), labelling " << order[w]
                << ": " << Mean(visits) << " against " << law[order[w]];
        }
    }
    EXPECT_GT(exchange.SwapCounter(0).accepted, rounds / 10);
}
