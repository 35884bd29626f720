// Each random step of the admixture sampler, run many times on a problem
// small enough to know the distribution it must leave invariant, against
// that distribution: by enumeration, quadrature, importance sampling or in
// closed form. Metropolis steps start from a draw of their target and their
// Monte Carlo error comes from the effective sample size of the chain.
#include <gsl/gsl_randist.h>
#include <gsl/gsl_sf_gamma.h>
#include <gsl/gsl_sf_psi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "breloAdm/StepFixture.h"
#include "core/MatrixUtilities.h"

using admcheck::ChainMeanZ;
using admcheck::ChiSquarePValue;
using admcheck::SStepFixture;

namespace {

// A z-score beyond this fails a check; with the few dozen scores of the
// suite a correct sampler stays inside at fixed seeds, a wrong one far out.
constexpr double kZ = 4.0;

// Rook neighbours of an r x c lattice, row-major.
INT_VCTR_2D Lattice(int r, int c) {
    INT_VCTR_2D ns(r * c);
    for (int i = 0; i < r; ++i)
        for (int j = 0; j < c; ++j) {
            INT_VCTR_1D& row = ns[i * c + j];
            if (i > 0)
                row.push_back((i - 1) * c + j);
            if (j > 0)
                row.push_back(i * c + j - 1);
            if (j + 1 < c)
                row.push_back(i * c + j + 1);
            if (i + 1 < r)
                row.push_back((i + 1) * c + j);
        }
    return ns;
}

// Genotypes of N haploid individuals at one locus, all of allele 1: steps
// that do not read the genotypes need some.
INT_VCTR_3D Monomorphic(int N) {
    return INT_VCTR_3D(N, INT_VCTR_2D(1, INT_VCTR_1D(1, 1)));
}

// A density known on a fine grid of [lo, hi): its moments and an exact draw
// by inversion.
struct SGridDensity {
    double lo = 0.0, step = 0.0;
    std::vector<double> cdf;
    double mean = 0.0, var = 0.0;

    template <class LogDensity>
    SGridDensity(double from, double to, int cells, LogDensity logf)
        : lo(from), step((to - from) / cells), cdf(cells) {
        std::vector<double> lf(cells);
        double top = -1e300;
        for (int c = 0; c < cells; ++c)
            top = std::max(top, lf[c] = logf(lo + (c + 0.5) * step));
        double total = 0.0, m1 = 0.0, m2 = 0.0;
        for (int c = 0; c < cells; ++c) {
            const double x = lo + (c + 0.5) * step, w = std::exp(lf[c] - top);
            total += w;
            m1 += w * x;
            m2 += w * x * x;
            cdf[c] = total;
        }
        for (double& v : cdf)
            v /= total;
        mean = m1 / total;
        var = m2 / total - mean * mean;
    }
    double Draw(const gsl_rng* rng) const {
        const double u = gsl_rng_uniform(rng);
        const size_t c = std::lower_bound(cdf.begin(), cdf.end(), u) - cdf.begin();
        return lo + (c + gsl_rng_uniform(rng)) * step;
    }
};

}  // namespace

// psi of one cluster given a fixed field on a 4 x 4 lattice: its target is
// prop. to prod_i (1 - psi lambda_i)^1/2 exp(psi e'We / (2 sigma)) on
// [0, 1/lambda_max), known here by quadrature. Both routes of the prior's
// log-determinant (the spectrum of W, sparse factors of I - psi W) are run.
TEST(AdmixtureStepChecks, InteractionParameterKeepsItsConditionalLaw) {
    for (bool dense : {true, false}) {
        SStepFixture f(Monomorphic(16), 1, Lattice(4, 4), 21, {}, 0.9);
        f.opt.updatePsi = true;
        const double sigma = 1.0;
        f.sp().sigma[0] = sigma;
        BuildSpatialPrior(f.prior, f.sp().psi, f.sp().sigma, f.setup.tess.vvnNS, {}, 1.0,
                          f.setup.data.Xtild, 0.9, SPriorRoutes{dense, dense});
        // The field: a draw of the CAR prior at psi lambda_max = 0.9.
        DBL_VCTR_2D work;
        DrawInitialField(f.prior, DBL_VCTR_1D(16, 0.0), sigma, work, f.sp().CAR[0], f.rng);
        f.SyncFieldAndTrend();
        ComputeResidualForms(*f);
        // The eigenvalues of W, increasing, for the log-determinant.
        DBL_VCTR_2D W;
        BuildWeightMatrix(W, f.setup.tess.vvnNS, {}, 1.0);
        DBL_VCTR_1D ev(16);
        computeEigenvalues(ev, W);
        const double eWe = f.S->eWe[0];
        const SGridDensity exact(0.0, 1.0 / ev.back(), 200000, [&](double psi) {
            double lf = psi * eWe / (2 * sigma);
            for (double l : ev)
                lf += 0.5 * std::log(1.0 - psi * l);
            return lf;
        });
        f.sp().psi[0] = exact.Draw(f.rng);
        RefreshRegressionMatrices(f.prior, 0, f.sp().psi[0], sigma);
        const int T = 100000;
        std::vector<double> psi(T), dev2(T);
        for (int t = 0; t < T; ++t) {
            UpdateInteractionParameters(*f);
            psi[t] = f.sp().psi[0];
            dev2[t] = (psi[t] - exact.mean) * (psi[t] - exact.mean);
        }
        const std::string route = dense ? "dense route" : "sparse route";
        EXPECT_LT(std::fabs(ChainMeanZ(psi, exact.mean)), kZ)
            << route << ", exact mean " << exact.mean;
        EXPECT_LT(std::fabs(ChainMeanZ(dev2, exact.var)), kZ)
            << route << ", exact variance " << exact.var;
        EXPECT_EQ(f.chain.psiAcceptance[0].proposed, T);
        // The regression matrices follow the accepted psi.
        const double psiNow = f.sp().psi[0];
        CSpatialPrior fresh;
        DBL_VCTR_1D psiFresh, sigmaFresh(1, sigma);
        BuildSpatialPrior(fresh, psiFresh, sigmaFresh, f.setup.tess.vvnNS, {}, 1.0,
                          f.setup.data.Xtild, psiNow * ev.back());
        EXPECT_NEAR(f.prior.Vinv[0][0][0], fresh.Vinv[0][0][0], 1e-9) << route;
    }
}

// The field values of one individual without neighbours in K = 3 clusters,
// with its proportions q fixed: the target, prop. to the Gaussian prior of
// each value times the Dirichlet density of q at exp(CAR[.][0]), is known by
// quadrature on a grid. One cluster dominates q, so that an acceptance
// changes the Dirichlet normaliser of the proposals that follow it.
TEST(AdmixtureStepChecks, FieldValuesKeepTheirConditionalLaw) {
    const int K = 3;
    SStepFixture f(Monomorphic(1), K, {{}}, 31);
    const DBL_VCTR_1D q = {0.02, 0.08, 0.90};
    const double sigma = 4.0;
    f.sp().sigma.assign(K, sigma);
    f.SetProportions({q});
    // Grid of 120 cells per axis over the prior mean +- 6 standard deviations.
    const int G = 120;
    const double lo = -6 * std::sqrt(sigma), h = -2 * lo / G;
    std::vector<double> c(G), e(G), axis[3];
    for (int g = 0; g < G; ++g) {
        c[g] = lo + (g + 0.5) * h;
        e[g] = std::exp(c[g]);
    }
    for (int k = 0; k < K; ++k)
        for (int g = 0; g < G; ++g)
            axis[k].push_back(-c[g] * c[g] / (2 * sigma) - gsl_sf_lngamma(e[g]) +
                              (e[g] - 1) * std::log(q[k]));
    std::vector<double> logf(static_cast<size_t>(G) * G * G);
    double top = -1e300;
    for (int a = 0; a < G; ++a)
        for (int b = 0; b < G; ++b)
            for (int d = 0; d < G; ++d) {
                double& v = logf[(static_cast<size_t>(a) * G + b) * G + d];
                v = axis[0][a] + axis[1][b] + axis[2][d] + gsl_sf_lngamma(e[a] + e[b] + e[d]);
                top = std::max(top, v);
            }
    double total = 0.0, mean[3] = {0, 0, 0}, second[3] = {0, 0, 0};
    for (int a = 0; a < G; ++a)
        for (int b = 0; b < G; ++b)
            for (int d = 0; d < G; ++d) {
                const double w = std::exp(logf[(static_cast<size_t>(a) * G + b) * G + d] - top);
                const int at[3] = {a, b, d};
                total += w;
                for (int k = 0; k < K; ++k) {
                    mean[k] += w * c[at[k]];
                    second[k] += w * c[at[k]] * c[at[k]];
                }
            }
    // Start from a draw of the target: a grid cell drawn by its mass.
    for (double& v : logf)
        v = std::exp(v - top);
    gsl_ran_discrete_t* table = gsl_ran_discrete_preproc(logf.size(), logf.data());
    size_t cell = gsl_ran_discrete(f.rng, table);
    gsl_ran_discrete_free(table);
    for (int k = K - 1; k >= 0; --k, cell /= G)
        f.sp().CAR[k][0] = c[cell % G] + (gsl_rng_uniform(f.rng) - 0.5) * h;
    f.SyncFieldAndTrend();
    const int T = 200000;
    std::vector<std::vector<double>> value(K, std::vector<double>(T)), dev2 = value;
    for (int k = 0; k < K; ++k)
        mean[k] /= total;
    for (int t = 0; t < T; ++t) {
        UpdateSpatialField(*f);
        for (int k = 0; k < K; ++k) {
            value[k][t] = f.sp().CAR[k][0];
            dev2[k][t] = (value[k][t] - mean[k]) * (value[k][t] - mean[k]);
        }
    }
    for (int k = 0; k < K; ++k) {
        const double var = second[k] / total - mean[k] * mean[k];
        EXPECT_LT(std::fabs(ChainMeanZ(value[k], mean[k])), kZ)
            << "CAR[" << k << "]: exact mean " << mean[k] << ", chain "
            << admcheck::Moments(value[k]).mean;
        EXPECT_LT(std::fabs(ChainMeanZ(dev2[k], var)), kZ)
            << "CAR[" << k << "]: exact variance " << var;
        EXPECT_EQ(f.chain.fieldAcceptance[k].proposed, T);
    }
    EXPECT_DOUBLE_EQ(f.sp().alpha[0][2], std::exp(f.sp().CAR[2][0]));
}

// With one cluster the Dirichlet term is constant and every proposal is
// accepted: the step is a Gibbs sweep of the CAR prior itself, whose moments
// on a lattice are those of sigma (I - psi W)^-1 around the trend. This
// checks the neighbour sums and the conditional variance.
TEST(AdmixtureStepChecks, FieldOfOneClusterKeepsTheCarPrior) {
    SStepFixture f(Monomorphic(9), 1, Lattice(3, 3), 41, {}, 0.8);
    const double sigma = 0.5, trend = 1.5;
    f.sp().sigma[0] = sigma;
    f.sp().beta[0][0] = trend;
    f.SetProportions(DBL_VCTR_2D(9, DBL_VCTR_1D(1, 1.0)));
    DBL_VCTR_2D work;
    DrawInitialField(f.prior, DBL_VCTR_1D(9, trend), sigma, work, f.sp().CAR[0], f.rng);
    f.SyncFieldAndTrend();
    // Exact covariance sigma (I - psi W)^-1 of the centre (4), a corner (0)
    // and their common neighbour (1), by inverting I - psi W.
    DBL_VCTR_2D R(9, DBL_VCTR_1D(9, 0.0)), Rinv;
    for (int i = 0; i < 9; ++i) {
        R[i][i] = 1.0;
        for (int j : f.setup.tess.vvnNS[i])
            R[i][j] = -f.sp().psi[0];
    }
    InverseWithChol(Rinv, R);
    const int T = 100000;
    std::vector<double> centre(T), corner(T), cross(T);
    for (int t = 0; t < T; ++t) {
        UpdateSpatialField(*f);
        const DBL_VCTR_1D& car = f.sp().CAR[0];
        centre[t] = car[4];
        corner[t] = (car[0] - trend) * (car[0] - trend);
        cross[t] = (car[0] - trend) * (car[1] - trend);
    }
    EXPECT_LT(std::fabs(ChainMeanZ(centre, trend)), kZ);
    EXPECT_LT(std::fabs(ChainMeanZ(corner, sigma * Rinv[0][0])), kZ);
    EXPECT_LT(std::fabs(ChainMeanZ(cross, sigma * Rinv[0][1])), kZ);
    EXPECT_EQ(f.chain.fieldAcceptance[0].accepted, 9L * T);
}

// Dominant markers: behind a dominant phenotype j at a locus with recessive
// allele r, the two copies labelled k0 and k1 are (j, r), (r, j) or (j, j)
// with probabilities prop. to p[k0][j] p[k1][r], p[k0][r] p[k1][j] and
// p[k0][j] p[k1][j]. A locus without a recessive allele (negative code),
// here the first, keeps its observed genotypes and does not stop the step.
TEST(AdmixtureStepChecks, RecessiveGenotypesFollowTheirExactLaw) {
    // Phenotypes at locus 0 (codes 5, 6) and locus 1 (codes 1, 2, 3; 1 is
    // recessive); individual 2 shows the recessive phenotype.
    const INT_VCTR_3D Xobs = {{{5, 2}, {5, 2}}, {{6, 3}, {6, 3}}, {{5, 1}, {5, 1}}};
    SStepFixture f(Xobs, 2, {{}, {}, {}}, 51);
    f.opt.isRecAllele = true;
    f.setup.Xobs = CGenotypeStore::FromCodes(Xobs);
    f.setup.data.recAllele = {-1, 1};
    f.sp().p[0][1] = {0.3, 0.5, 0.2};
    f.sp().p[1][1] = {0.6, 0.1, 0.3};
    f.sp().zadMix = {{{0, 0}, {1, 1}}, {{1, 1}, {1, 1}}, {{0, 0}, {1, 0}}};
    const int r = 0;  // index of the recessive allele
    const int T = 20000;
    std::vector<std::vector<double>> counts(2, std::vector<double>(3, 0.0));
    for (int t = 0; t < T; ++t) {
        DrawRecessiveGenotypes(*f);
        for (int i = 0; i < 2; ++i) {
            const int c0 = f.setup.data.X.Code(i, 0, 1), c1 = f.setup.data.X.Code(i, 1, 1);
            const int code = Xobs[i][0][1];
            ASSERT_TRUE((c0 == code && c1 == 1) || (c0 == 1 && c1 == code) ||
                        (c0 == code && c1 == code));
            counts[i][c0 == code && c1 == 1 ? 0 : c0 == 1 ? 1 : 2] += 1;
        }
        ASSERT_EQ(f.setup.data.X.Code(2, 0, 1), 1);
        ASSERT_EQ(f.setup.data.X.Code(2, 1, 1), 1);
        for (int i = 0; i < 3; ++i)
            for (int a = 0; a < 2; ++a) {
                ASSERT_EQ(f.setup.data.X.Code(i, a, 0), Xobs[i][a][0]);
                for (int l = 0; l < 2; ++l)
                    ASSERT_EQ(f.S->Idx(i, a, l),
                              FindAlleleIndex(f.setup.alleleV[l], f.setup.data.X.Code(i, a, l)));
            }
    }
    for (int i = 0; i < 2; ++i) {
        const int j = Xobs[i][0][1] - 1;
        const DBL_VCTR_1D& p0 = f.sp().p[f.sp().zadMix[i][0][1]][1];
        const DBL_VCTR_1D& p1 = f.sp().p[f.sp().zadMix[i][1][1]][1];
        std::vector<double> probs = {p0[j] * p1[r], p0[r] * p1[j], p0[j] * p1[j]};
        const double sum = probs[0] + probs[1] + probs[2];
        for (double& v : probs)
            v /= sum;
        EXPECT_GT(ChiSquarePValue(counts[i], probs), 1e-4) << "individual " << i;
    }
}

namespace {

// Draws x[t][0..K-1] of a Dirichlet(a) law: means a_k / a0 and variances
// a_k (a0 - a_k) / (a0^2 (a0 + 1)), each checked by a z-score.
void ExpectDirichletDraws(const std::vector<DBL_VCTR_1D>& x, const DBL_VCTR_1D& a,
                          const std::string& what) {
    double a0 = 0.0;
    for (double v : a)
        a0 += v;
    for (size_t k = 0; k < a.size(); ++k) {
        const double mean = a[k] / a0, var = a[k] * (a0 - a[k]) / (a0 * a0 * (a0 + 1));
        std::vector<double> value, dev2;
        for (const DBL_VCTR_1D& draw : x) {
            value.push_back(draw[k]);
            dev2.push_back((draw[k] - mean) * (draw[k] - mean));
        }
        EXPECT_LT(std::fabs(ChainMeanZ(value, mean)), kZ) << what << " mean of component " << k;
        EXPECT_LT(std::fabs(ChainMeanZ(dev2, var)), kZ) << what << " variance of component " << k;
    }
}

}  // namespace

// Given the copy labels, p[k][l] ~ Dirichlet(lambda + counts of the copies
// labelled k), missing copies left out; on a rung of power b below 1 the
// counts weigh b, and the label steps read p^b.
TEST(AdmixtureStepChecks, AlleleFrequenciesFollowTheirDirichletLaw) {
    const INT_VCTR_3D X = {{{1, 7}, {2, -9}}, {{2, 7}, {3, 8}}, {{1, 9}, {1, 8}}};
    // Under the correlated model the prior of p[k][l] is Dirichlet(ancestral[l]
    // (1 - drift[k]) / drift[k]).
    const DBL_VCTR_2D ancestral = {{0.2, 0.5, 0.3}, {0.6, 0.3, 0.1}};
    const DBL_VCTR_1D drift = {0.1, 0.6};
    for (const bool correlated : {false, true})
        for (const double power : {1.0, 0.4}) {
            SStepFixture f(X, 2, {{}, {}, {}}, 61);
            f.opt.lambda = 0.5;
            f.opt.ancestralFrequencies = correlated;
            f.sp().ancestral = ancestral;
            f.sp().drift = drift;
            f.S->power = power;
            f.sp().zadMix = {{{0, 1}, {1, 0}}, {{0, 0}, {1, 1}}, {{1, 0}, {0, 0}}};
            CountAlleles(*f);
            // Counts by hand: locus 0 alleles (1, 2, 3), locus 1 alleles (7, 8, 9).
            const DBL_VCTR_3D counts = {{{2, 1, 0}, {1, 1, 1}}, {{1, 1, 1}, {1, 1, 0}}};
            const int T = 20000;
            std::vector<std::vector<std::vector<DBL_VCTR_1D>>> draws(
                2, std::vector<std::vector<DBL_VCTR_1D>>(2));
            for (int t = 0; t < T; ++t) {
                UpdateAlleleFrequencies(*f);
                for (int k = 0; k < 2; ++k)
                    for (int l = 0; l < 2; ++l)
                        draws[k][l].push_back(f.sp().p[k][l]);
            }
            for (int k = 0; k < 2; ++k)
                for (int l = 0; l < 2; ++l) {
                    DBL_VCTR_1D a = counts[k][l];
                    for (size_t j = 0; j < a.size(); ++j)
                        a[j] =
                            a[j] * power + (correlated ? ancestral[l][j] * (1 - drift[k]) / drift[k]
                                                       : f.opt.lambda);
                    ExpectDirichletDraws(draws[k][l], a,
                                         std::string(correlated ? "correlated, " : "") + "power " +
                                             std::to_string(power) + " p[" + std::to_string(k) +
                                             "][" + std::to_string(l) + "]");
                    EXPECT_NEAR(f.S->logp[k][l][0], std::log(f.sp().p[k][l][0]), 1e-12);
                    EXPECT_DOUBLE_EQ(f.S->LikelihoodFrequencies()[k][l][1],
                                     std::pow(f.sp().p[k][l][1], power));
                }
        }
}

namespace {

// log Dirichlet(p; a nu), a summing to 1.
double DirichletLogDensity(const DBL_VCTR_1D& p, const DBL_VCTR_1D& a, double nu) {
    DBL_VCTR_1D params(a.size());
    for (size_t j = 0; j < a.size(); ++j)
        params[j] = a[j] * nu;
    return gsl_ran_dirichlet_lnpdf(a.size(), params.data(), p.data());
}

// A correlated-model fixture: N haploid individuals, the clusters'
// frequencies p set (and logp with them), the step sizes fixed.
void SetFrequencies(SStepFixture& f, const DBL_VCTR_3D& p) {
    f.opt.ancestralFrequencies = true;
    f.sp().p = p;
    for (size_t k = 0; k < p.size(); ++k)
        for (size_t l = 0; l < p[k].size(); ++l)
            for (size_t j = 0; j < p[k][l].size(); ++j)
                f.S->logp[k][l][j] = std::log(p[k][l][j]);
}

}  // namespace

// The ancestral frequencies of one locus with three alleles given the two
// clusters' frequencies and drifts: prop. to Dirichlet(a; lambda) prod_k
// Dirichlet(p[k]; a nu[k]), known on a grid of the simplex. The shifts
// between random pairs of alleles keep it.
TEST(AdmixtureStepChecks, AncestralFrequenciesKeepTheirConditionalLaw) {
    SStepFixture f({{{1}}, {{2}}, {{3}}}, 2, {{}, {}, {}}, 73);
    const DBL_VCTR_3D p = {{{0.5, 0.3, 0.2}}, {{0.1, 0.6, 0.3}}};
    SetFrequencies(f, p);
    f.opt.lambda = 0.7;
    f.sp().drift = {0.2, 0.05};
    const int cells = 400;
    double total = 0.0, m0 = 0.0, m1 = 0.0, m00 = 0.0;
    for (int x = 0; x < cells; ++x)
        for (int y = 0; x + y < cells - 1; ++y) {
            const DBL_VCTR_1D a = {(x + 0.5) / cells, (y + 0.5) / cells,
                                   1.0 - (x + y + 1.0) / cells};
            double ld = (f.opt.lambda - 1.0) * (std::log(a[0]) + std::log(a[1]) + std::log(a[2]));
            for (int k = 0; k < 2; ++k)
                ld += DirichletLogDensity(p[k][0], a, (1 - f.sp().drift[k]) / f.sp().drift[k]);
            const double w = std::exp(ld);
            total += w;
            m0 += w * a[0];
            m1 += w * a[1];
            m00 += w * a[0] * a[0];
        }
    f.sp().ancestral = {{0.3, 0.4, 0.3}};
    f.S->ancestralStep = 0.1;
    std::vector<double> a0, a1, a00;
    for (int t = 0; t < 40000; ++t) {
        UpdateAncestralFrequencies(*f, false);
        if (t < 1000)
            continue;
        const DBL_VCTR_1D& a = f.sp().ancestral[0];
        EXPECT_NEAR(a[0] + a[1] + a[2], 1.0, 1e-12);
        a0.push_back(a[0]);
        a1.push_back(a[1]);
        a00.push_back(a[0] * a[0]);
    }
    EXPECT_LT(std::fabs(ChainMeanZ(a0, m0 / total)), kZ);
    EXPECT_LT(std::fabs(ChainMeanZ(a1, m1 / total)), kZ);
    EXPECT_LT(std::fabs(ChainMeanZ(a00, m00 / total)), kZ);
}

// Each cluster's drift given the ancestral and the clusters' frequencies
// at three loci: prop. to Beta(F; 1, 9) prod_l Dirichlet(p[k][l];
// ancestral[l] (1 - F) / F), known by quadrature; the chain starts from an
// exact draw.
TEST(AdmixtureStepChecks, DriftsKeepTheirConditionalLaw) {
    SStepFixture f({{{1, 1, 1}}, {{2, 2, 2}}}, 2, {{}, {}}, 79);
    const DBL_VCTR_3D p = {{{0.25, 0.75}, {0.6, 0.4}, {0.7, 0.3}},
                           {{0.45, 0.55}, {0.1, 0.9}, {0.95, 0.05}}};
    SetFrequencies(f, p);
    f.sp().ancestral = {{0.3, 0.7}, {0.5, 0.5}, {0.8, 0.2}};
    std::vector<SGridDensity> law;
    for (int k = 0; k < 2; ++k) {
        law.emplace_back(0.0, 1.0, 20000, [&](double F) {
            double ld = 8.0 * std::log1p(-F);
            for (int l = 0; l < 3; ++l)
                ld += DirichletLogDensity(p[k][l], f.sp().ancestral[l], (1 - F) / F);
            return ld;
        });
        f.sp().drift[k] = law[k].Draw(f.rng);
    }
    std::vector<std::vector<double>> F(2), F2(2);
    for (int t = 0; t < 20000; ++t) {
        UpdateDrifts(*f, false);
        for (int k = 0; k < 2; ++k) {
            F[k].push_back(f.sp().drift[k]);
            F2[k].push_back(f.sp().drift[k] * f.sp().drift[k]);
        }
    }
    for (int k = 0; k < 2; ++k) {
        EXPECT_LT(std::fabs(ChainMeanZ(F[k], law[k].mean)), kZ) << k;
        EXPECT_LT(std::fabs(ChainMeanZ(F2[k], law[k].var + law[k].mean * law[k].mean)), kZ) << k;
    }
}

// Given the copy labels and the field, q[i] ~ Dirichlet(label counts of
// its copies + exp(CAR[.][i])).
TEST(AdmixtureStepChecks, AdmixtureProportionsFollowTheirDirichletLaw) {
    const INT_VCTR_3D X = {{{1, 7}, {2, -9}}, {{2, 7}, {3, 8}}};
    SStepFixture f(X, 3, {{}, {}}, 71);
    f.sp().zadMix = {{{0, 2}, {2, 2}}, {{1, 1}, {0, 1}}};
    f.sp().CAR = {{0.2, -1.0}, {-0.5, 0.4}, {1.1, 0.0}};
    f.SyncFieldAndTrend();
    const DBL_VCTR_2D m = {{1, 0, 3}, {1, 3, 0}};
    const int T = 20000;
    std::vector<std::vector<DBL_VCTR_1D>> draws(2);
    for (int t = 0; t < T; ++t) {
        UpdateAdmixtureProportions(*f);
        for (int i = 0; i < 2; ++i)
            draws[i].push_back(f.sp().q[i]);
    }
    for (int i = 0; i < 2; ++i) {
        DBL_VCTR_1D a(3);
        for (int k = 0; k < 3; ++k)
            a[k] = m[i][k] + std::exp(f.sp().CAR[k][i]);
        ExpectDirichletDraws(draws[i], a, "q[" + std::to_string(i) + "]");
        EXPECT_DOUBLE_EQ(f.S->logq[i][1], std::log(f.sp().q[i][1]));
    }
}

namespace {

// The label of a copy given q and p, by enumeration of the K clusters:
// prop. to q[i][k] p[k][l][j]^b at the sampler's power b (1 for the
// posterior), and to q[i][k] alone for a missing copy; copies are drawn
// independently.
void ExpectCopyLabelsFollowTheirLaw(double power) {
    const INT_VCTR_3D X = {{{1, 7}, {2, -9}}, {{2, 8}, {1, 7}}};
    SStepFixture f(X, 3, {{}, {}}, 81);
    f.sp().q = {{0.2, 0.5, 0.3}, {0.6, 0.1, 0.3}};
    f.sp().p = {{{0.7, 0.3}, {0.1, 0.9}}, {{0.2, 0.8}, {0.5, 0.5}}, {{0.5, 0.5}, {0.95, 0.05}}};
    f.S->power = power;
    RaiseFrequencies(*f);
    const int T = 30000;
    // Copies (i, a, l) checked one by one, and the pair of the two copies of
    // individual 0 at locus 0 jointly.
    const std::vector<std::array<int, 3>> copies = {
        {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 1}, {1, 0, 1}};
    std::vector<std::vector<double>> counts(copies.size(), std::vector<double>(3, 0.0));
    std::vector<double> pair(9, 0.0);
    for (int t = 0; t < T; ++t) {
        UpdateCopyLabels(*f);
        const CCopyLabels& z = f.sp().zadMix;
        for (size_t c = 0; c < copies.size(); ++c)
            counts[c][z[copies[c][0]][copies[c][1]][copies[c][2]]] += 1;
        pair[z[0][0][0] * 3 + z[0][1][0]] += 1;
    }
    auto law = [&](const std::array<int, 3>& c) {
        const int i = c[0], l = c[2], code = X[i][c[1]][l];
        DBL_VCTR_1D w(3);
        double sum = 0.0;
        for (int k = 0; k < 3; ++k) {
            const int j = FindAlleleIndex(f.setup.alleleV[l], code);
            sum += (w[k] = f.sp().q[i][k] * (j < 0 ? 1.0 : std::pow(f.sp().p[k][l][j], power)));
        }
        for (double& v : w)
            v /= sum;
        return w;
    };
    for (size_t c = 0; c < copies.size(); ++c)
        EXPECT_GT(ChiSquarePValue(counts[c], law(copies[c])), 1e-4) << "copy " << c;
    const DBL_VCTR_1D a = law(copies[0]), b = law(copies[1]);
    std::vector<double> joint;
    for (int k = 0; k < 3; ++k)
        for (int h = 0; h < 3; ++h)
            joint.push_back(a[k] * b[h]);
    EXPECT_GT(ChiSquarePValue(pair, joint), 1e-4);
}

}  // namespace

TEST(AdmixtureStepChecks, CopyLabelsFollowTheirEnumeratedLaw) {
    for (const double power : {1.0, 0.4}) {
        SCOPED_TRACE("power " + std::to_string(power));
        ExpectCopyLabelsFollowTheirLaw(power);
    }
}

namespace {

// The law of the labels of the four copies of individual 0 (two loci, two
// copies, two clusters) with q integrated out: prop. to the
// Dirichlet-multinomial probability of their counts times the allele
// frequencies of the copies, over the 16 label sets (bit c of a set: the
// label of copy c = 2a + l); m0OfSet gets the copies labelled 0 in each.
std::vector<double> LabelSetLaw(SStepFixture& f, const double alpha[2], std::vector<int>& m0OfSet) {
    std::vector<double> law(16);
    m0OfSet.assign(16, 0);
    double total = 0.0;
    for (int set = 0; set < 16; ++set) {
        int m[2] = {0, 0};
        double w = 1.0;
        for (int c = 0; c < 4; ++c) {
            const int k = (set >> c) & 1, a = c / 2, l = c % 2;
            const int j = f.S->Idx(0, a, l);
            w *= (alpha[k] + m[k]) * (j < 0 ? 1.0 : f.S->LikelihoodFrequencies()[k][l][j]);
            ++m[k];
        }
        m0OfSet[set] = m[0];
        total += law[set] = w;
    }
    for (double& w : law)
        w /= total;
    return law;
}

// The labels of -joint, q integrated out: the labels of one individual's
// copies have the law prop. to the Dirichlet-multinomial probability of
// their counts, prod_k alpha_k (alpha_k + 1) ... (alpha_k + m_k - 1), times
// prod p[z][l][j] (1 for a missing copy), enumerated over the 2^4 label
// sets of four copies; the chain's share of each set against it. At a
// power b below 1, p^b in place of p.
void ExpectCopyLabelsGivenTheFieldFollowTheirLaw(double power) {
    const INT_VCTR_3D X = {{{1, 7}, {2, -9}}};
    SStepFixture f(X, 2, {{}}, 131);
    f.sp().CAR = {{-1.2}, {0.3}};
    f.SyncFieldAndTrend();
    f.sp().p = {{{0.7, 0.3}, {1.0}}, {{0.2, 0.8}, {1.0}}};
    f.S->power = power;
    RaiseFrequencies(*f);
    f.sp().zadMix = {{{0, 0}, {1, 1}}};
    UpdateAdmixtureProportions(*f);  // the label counts m
    const double alpha[2] = {std::exp(-1.2), std::exp(0.3)};
    std::vector<int> m0OfSet;
    const std::vector<double> exact = LabelSetLaw(f, alpha, m0OfSet);
    const int T = 100000;
    std::vector<std::vector<double>> seen(16, std::vector<double>(T, 0.0));
    for (int t = 0; t < T; ++t) {
        UpdateCopyLabelsGivenField(*f);
        const auto z = f.sp().zadMix[0];
        seen[z[0][0] | z[0][1] << 1 | z[1][0] << 2 | z[1][1] << 3][t] = 1.0;
    }
    for (int set = 0; set < 16; ++set)
        EXPECT_LT(std::fabs(ChainMeanZ(seen[set], exact[set])), kZ)
            << "label set " << set << ": exact " << exact[set];
    // The label counts follow the labels.
    int m0 = 0;
    for (int a = 0; a < 2; ++a)
        for (int l = 0; l < 2; ++l)
            m0 += f.sp().zadMix[0][a][l] == 0;
    EXPECT_EQ(f.S->m[0][0], m0);
    EXPECT_EQ(f.S->m[0][0] + f.S->m[0][1], 4);
}

}  // namespace

TEST(AdmixtureStepChecks, CopyLabelsGivenTheFieldFollowTheirEnumeratedLaw) {
    for (const double power : {1.0, 0.4}) {
        SCOPED_TRACE("power " + std::to_string(power));
        ExpectCopyLabelsGivenTheFieldFollowTheirLaw(power);
    }
}

namespace {

// The move of q with the labels redrawn together: started inside the
// simplex, its chain alone must visit the label sets of the four copies
// with the enumerated law above and give q[0] the moments of its law, the
// mixture over the label sets of Beta(alpha_0 + m_0, alpha_1 + m_1). One
// alpha below 1, one above, so that the Dirichlet factor of the ratio counts.
// At a power b below 1, the tempered law (p^b in place of p).
void ExpectProportionMoveKeepsTheJointLaw(double power, int T) {
    const INT_VCTR_3D X = {{{1, 7}, {2, -9}}};
    SStepFixture f(X, 2, {{}}, 137);
    f.sp().CAR = {{-1.2}, {0.3}};
    f.SyncFieldAndTrend();
    f.sp().p = {{{0.7, 0.3}, {1.0}}, {{0.2, 0.8}, {1.0}}};
    f.S->power = power;
    RaiseFrequencies(*f);
    f.sp().zadMix = {{{0, 0}, {1, 1}}};
    f.sp().q = {{0.5, 0.5}};
    f.S->proportionStep.assign(1, 0.3);
    const double alpha[2] = {std::exp(-1.2), std::exp(0.3)};
    std::vector<int> m0OfSet;
    const std::vector<double> exact = LabelSetLaw(f, alpha, m0OfSet);
    double q1 = 0.0, q2 = 0.0;
    for (int set = 0; set < 16; ++set) {
        const double a = alpha[0] + m0OfSet[set], b = alpha[1] + 4 - m0OfSet[set];
        q1 += exact[set] * a / (a + b);
        q2 += exact[set] * a * (a + 1) / ((a + b) * (a + b + 1));
    }
    std::vector<std::vector<double>> seen(16, std::vector<double>(T, 0.0));
    std::vector<double> first(T), second(T);
    for (int t = 0; t < T; ++t) {
        MoveProportionsWithLabels(*f, false);
        const auto z = f.sp().zadMix[0];
        seen[z[0][0] | z[0][1] << 1 | z[1][0] << 2 | z[1][1] << 3][t] = 1.0;
        first[t] = f.sp().q[0][0];
        second[t] = first[t] * first[t];
        ASSERT_NEAR(f.sp().q[0][0] + f.sp().q[0][1], 1.0, 1e-12);
    }
    for (int set = 0; set < 16; ++set)
        EXPECT_LT(std::fabs(ChainMeanZ(seen[set], exact[set])), kZ)
            << "label set " << set << ": exact " << exact[set];
    EXPECT_LT(std::fabs(ChainMeanZ(first, q1)), kZ) << "E q[0] " << q1;
    EXPECT_LT(std::fabs(ChainMeanZ(second, q2)), kZ) << "E q[0]^2 " << q2;
    EXPECT_GT(f.chain.proportionAcceptance.accepted, T / 10);
}

}  // namespace

TEST(AdmixtureStepChecks, ProportionMoveKeepsTheJointLawOfProportionsAndLabels) {
    for (const double power : {1.0, 0.4}) {
        SCOPED_TRACE("power " + std::to_string(power));
        ExpectProportionMoveKeepsTheJointLaw(power, power == 1.0 ? 200000 : 100000);
    }
}

// sigma[k] given the residual field e: inverse gamma with shape
// a + N/2 and scale b + e'(I - psi W)e / 2 for the prior -sg<a>,<b>. One
// field close to its trend (where the prior matters most) and one not.
TEST(AdmixtureStepChecks, VarianceFollowsItsInverseGammaLaw) {
    SStepFixture f(Monomorphic(16), 2, Lattice(4, 4), 91, {}, 0.7);
    f.opt.sigmaShape = 3.0;
    f.opt.sigmaScale = 0.5;
    f.sp().beta[0][0] = 0.4;
    f.sp().beta[1][0] = -1.0;
    for (int i = 0; i < 16; ++i) {
        f.sp().CAR[0][i] = 0.4 + 0.02 * std::cos(i);
        f.sp().CAR[1][i] = -1.0 + 1.5 * std::sin(0.7 * i);
    }
    f.SyncFieldAndTrend();
    ComputeResidualForms(*f);
    const int T = 40000;
    std::vector<std::vector<double>> draws(2);
    for (int t = 0; t < T; ++t) {
        UpdateVariances(*f);
        for (int k = 0; k < 2; ++k)
            draws[k].push_back(f.sp().sigma[k]);
    }
    for (int k = 0; k < 2; ++k) {
        const double dSum = f.S->ee[k] - f.sp().psi[k] * f.S->eWe[k];
        const double A = 3.0 + 16 / 2.0, B = 0.5 + dSum / 2;
        const double mean = B / (A - 1), var = B * B / ((A - 1) * (A - 1) * (A - 2));
        std::vector<double> dev2;
        for (double v : draws[k])
            dev2.push_back((v - mean) * (v - mean));
        EXPECT_LT(std::fabs(ChainMeanZ(draws[k], mean)), kZ) << "cluster " << k;
        EXPECT_LT(std::fabs(ChainMeanZ(dev2, var)), kZ) << "cluster " << k;
        EXPECT_NEAR(f.prior.Var_beta_chol[k][0][0],
                    std::sqrt(f.sp().sigma[k]) * f.prior.Var_beta[k][0][0], 1e-12);
    }
}

// beta[k] given the field: Normal with mean V^-1 X'R CAR[k] and covariance
// sigma[k] V^-1, R = I - psi W, V = X'RX under the flat prior and
// X'RX + sigma[k] X'X / (N tau^2) under the Gaussian prior of scale tau
// (-bg), computed here from W. The draws, standardised by the exact mean
// and covariance factor, must be independent standard normals.
TEST(AdmixtureStepChecks, CoefficientsFollowTheirGeneralisedLeastSquaresLaw) {
    const INT_VCTR_2D NS = Lattice(4, 4);
    DBL_VCTR_2D Xtild;
    for (int i = 0; i < 16; ++i)
        Xtild.push_back({1.0, static_cast<double>(i % 4), static_cast<double>(i / 4)});
    for (double tau : {0.0, 0.3}) {
        SStepFixture f(Monomorphic(16), 1, NS, 101, Xtild, 0.7);
        const double sigma = 0.8, psi = f.sp().psi[0];
        f.sp().sigma[0] = sigma;
        if (tau > 0.0) {
            f.prior.coefficientScale = tau;
            BuildSpatialPrior(f.prior, f.sp().psi, f.sp().sigma, NS, {}, 1.0, Xtild, 0.7);
        }
        RefreshSigma(f.prior, 0, sigma);
        for (int i = 0; i < 16; ++i)
            f.sp().CAR[0][i] = 0.3 * (i % 4) - 0.2 * (i / 4) + std::sin(2.0 * i);
        DBL_VCTR_2D R(16, DBL_VCTR_1D(16, 0.0));
        for (int i = 0; i < 16; ++i) {
            R[i][i] = 1.0;
            for (int j : NS[i])
                R[i][j] = -psi;
        }
        DBL_VCTR_2D RX, V, XtX, Vinv, factor, carColumn(16, DBL_VCTR_1D(1)), XtRcar;
        Mult(RX, R, Xtild);
        Mult_t_left(V, Xtild, RX);
        Mult_t_left(XtX, Xtild, Xtild);
        if (tau > 0.0)
            for (size_t a = 0; a < V.size(); ++a)
                for (size_t b = 0; b < V.size(); ++b)
                    V[a][b] += sigma * XtX[a][b] / (16 * tau * tau);
        InverseWithChol(Vinv, V);
        for (int i = 0; i < 16; ++i)
            carColumn[i][0] = f.sp().CAR[0][i];
        Mult_t_left(XtRcar, RX, carColumn);
        DBL_VCTR_2D meanColumn;
        Mult(meanColumn, Vinv, XtRcar);
        DBL_VCTR_2D cov = Vinv;
        for (DBL_VCTR_1D& row : cov)
            for (double& v : row)
                v *= sigma;
        choldc(factor, cov);
        const int T = 20000, bl = 3;
        std::vector<std::vector<double>> u(bl);
        for (int t = 0; t < T; ++t) {
            UpdateCoefficients(*f);
            // u = factor^-1 (beta - mean), by forward substitution.
            DBL_VCTR_1D z(bl);
            for (int b = 0; b < bl; ++b) {
                double v = f.sp().beta[0][b] - meanColumn[b][0];
                for (int c = 0; c < b; ++c)
                    v -= factor[b][c] * z[c];
                z[b] = v / factor[b][b];
                u[b].push_back(z[b]);
            }
        }
        const std::string prior = tau > 0.0 ? "Gaussian prior" : "flat prior";
        for (int b = 0; b < bl; ++b) {
            EXPECT_LT(std::fabs(ChainMeanZ(u[b], 0.0)), kZ) << prior << ", coefficient " << b;
            std::vector<double> sq, cross;
            for (int t = 0; t < T; ++t) {
                sq.push_back(u[b][t] * u[b][t]);
                cross.push_back(u[b][t] * u[(b + 1) % bl][t]);
            }
            EXPECT_LT(std::fabs(ChainMeanZ(sq, 1.0)), kZ) << prior << ", coefficient " << b;
            EXPECT_LT(std::fabs(ChainMeanZ(cross, 0.0)), kZ) << prior << ", coefficients " << b;
        }
        // Pred follows the drawn coefficients.
        EXPECT_NEAR(f.S->Pred[5][0], f.sp().beta[0][0] + f.sp().beta[0][1] + f.sp().beta[0][2],
                    1e-12);
    }
}

// A cluster with no copy of an individual and a field far below the other's
// has a proportion far below the smallest double: log q[i][k], which the
// field step reads, must keep its law, E log q_k = digamma(a_k) -
// digamma(a_0) and variance trigamma(a_k) - trigamma(a_0), not stop at a
// floor.
TEST(AdmixtureStepChecks, ProportionsKeepTheLogarithmOfTinyComponents) {
    SStepFixture f(INT_VCTR_3D(1, INT_VCTR_2D(1, INT_VCTR_1D(2, 1))), 2, {{}}, 111);
    f.sp().zadMix = {{{1, 1}}};
    f.sp().CAR = {{-9.0}, {0.0}};
    f.SyncFieldAndTrend();
    const double a0 = std::exp(-9.0), a1 = 1.0 + 2.0, sum = a0 + a1;
    const double mean = gsl_sf_psi(a0) - gsl_sf_psi(sum);
    const double var = gsl_sf_psi_1(a0) - gsl_sf_psi_1(sum);
    const int T = 20000;
    std::vector<double> logq(T), dev2(T);
    for (int t = 0; t < T; ++t) {
        UpdateAdmixtureProportions(*f);
        logq[t] = f.S->logq[0][0];
        dev2[t] = (logq[t] - mean) * (logq[t] - mean);
        ASSERT_NEAR(f.sp().q[0][0] + f.sp().q[0][1], 1.0, 1e-12);
        ASSERT_DOUBLE_EQ(f.sp().q[0][0], std::exp(logq[t]));
    }
    EXPECT_LT(std::fabs(ChainMeanZ(logq, mean)), kZ)
        << "exact mean " << mean << ", draws " << admcheck::Moments(logq).mean;
    EXPECT_LT(std::fabs(ChainMeanZ(dev2, var)), kZ) << "exact variance " << var;
}

// Where a level has run far down, alpha underflows to 0 and log q to
// -infinity: the proportion and field steps go on with finite fields
// (GSL's lnGamma(0) used to end the run), and the value that underflows
// stays where the prior puts it (its proposals rejected only where they
// would make alpha representable again).
TEST(AdmixtureStepChecks, FieldStepGoesOnWhereAlphaUnderflows) {
    SStepFixture f(INT_VCTR_3D(1, INT_VCTR_2D(1, INT_VCTR_1D(3, 1))), 2, {{}}, 141);
    f.sp().sigma.assign(2, 1.0);
    f.sp().beta = {{-800.0}, {0.0}};
    f.sp().zadMix = {{{1, 1, 1}}};
    f.sp().CAR = {{-800.0}, {0.0}};
    f.SyncFieldAndTrend();
    for (int t = 0; t < 2000; ++t) {
        UpdateAdmixtureProportions(*f);
        UpdateSpatialField(*f);
        ASSERT_TRUE(std::isfinite(f.sp().CAR[0][0]) && std::isfinite(f.sp().CAR[1][0]));
        ASSERT_LT(f.sp().CAR[0][0], -700.0);
        ASSERT_EQ(f.sp().q[0][0], 0.0);
    }
}

// The field values of one individual whose three copies are all labelled
// 1, the field of cluster 0 far below: given the labels, the target is the
// Gaussian prior of each value times the Dirichlet-multinomial probability
// of the counts (0, 3), a1 (a1 + 1) (a1 + 2) / (a (a + 1) (a + 2)) with
// a = a0 + a1, known by quadrature. Two samplers must keep it: the design's
// proportions and field steps in turn (which read log q[i][0], thousands
// below 0 here), and the field step of -joint, which integrates q out.
TEST(AdmixtureStepChecks, FieldGivenTheLabelsKeepsItsLawWhereAProportionIsTiny) {
    const double mu0 = -8.0, mu1 = 0.5, sigma = 1.0;
    const int G = 600;
    const double half = 8.0, h = 2 * half / G;
    double total = 0.0, mean[2] = {0, 0}, second[2] = {0, 0};
    for (int a = 0; a < G; ++a)
        for (int b = 0; b < G; ++b) {
            const double c0 = mu0 - half + (a + 0.5) * h, c1 = mu1 - half + (b + 0.5) * h;
            const double e0 = std::exp(c0), e1 = std::exp(c1), s = e0 + e1;
            const double w =
                std::exp(-((c0 - mu0) * (c0 - mu0) + (c1 - mu1) * (c1 - mu1)) / (2 * sigma)) * e1 *
                (e1 + 1) * (e1 + 2) / (s * (s + 1) * (s + 2));
            total += w;
            mean[0] += w * c0;
            mean[1] += w * c1;
            second[0] += w * c0 * c0;
            second[1] += w * c1 * c1;
        }
    for (bool joint : {false, true}) {
        SStepFixture f(INT_VCTR_3D(1, INT_VCTR_2D(1, INT_VCTR_1D(3, 1))), 2, {{}}, 121);
        f.sp().sigma.assign(2, sigma);
        f.sp().beta = {{mu0}, {mu1}};
        f.sp().zadMix = {{{1, 1, 1}}};
        f.sp().CAR = {{mu0}, {mu1}};
        f.SyncFieldAndTrend();
        SizeJointMoves(*f);
        UpdateAdmixtureProportions(*f);
        const int T = 200000;
        std::vector<std::vector<double>> value(2, std::vector<double>(T)), dev2 = value;
        for (int t = 0; t < T; ++t) {
            if (joint) {
                UpdateSpatialFieldGivenLabels(*f);
            } else {
                UpdateAdmixtureProportions(*f);
                UpdateSpatialField(*f);
            }
            for (int k = 0; k < 2; ++k) {
                const double m = mean[k] / total;
                value[k][t] = f.sp().CAR[k][0];
                dev2[k][t] = (value[k][t] - m) * (value[k][t] - m);
            }
        }
        const std::string sampler = joint ? "field step given the labels" : "q and field steps";
        for (int k = 0; k < 2; ++k) {
            const double m = mean[k] / total, var = second[k] / total - m * m;
            EXPECT_LT(std::fabs(ChainMeanZ(value[k], m)), kZ)
                << sampler << ", CAR[" << k << "]: exact mean " << m << ", chain "
                << admcheck::Moments(value[k]).mean;
            EXPECT_LT(std::fabs(ChainMeanZ(dev2[k], var)), kZ)
                << sampler << ", CAR[" << k << "]: exact variance " << var;
        }
    }
}
