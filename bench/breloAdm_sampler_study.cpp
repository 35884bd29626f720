// Long runs of the admixture sampler that measure how it behaves, outside
// ctest (minutes, not seconds):
//
//   breloAdm_sampler_study seeds FIRST LAST -- <breloAdm options>
//       one chain per seed FIRST..LAST (each as `GSL_RNG_SEED=seed breloAdm
//       <options>` would run it); prints, per seed and cluster, the smallest
//       CAR variance of the kept sweeps, its 1 % quantile and posterior
//       mean, the effective sample size of every monitored trace, and the
//       processor time of the run with the effective draws per second of
//       the log-likelihood and of the least mixed coefficient and variance.
//
//   breloAdm_sampler_study traces SEED FILE -- <breloAdm options>
//       one chain; writes its kept traces (log-likelihood, every coefficient,
//       sigma and psi, one column each, one row a sweep) to FILE as a
//       tab-separated table, for autocorrelations and cross-correlations.
//
//   breloAdm_sampler_study car SEED DIR [N_SIDE L PSI_LAMBDA SIGMA SWEEPS]
//       simulates K = 2 clusters whose fields are CAR fields with known
//       psi * lambda_max and sigma around a linear trend, over the Voronoi
//       neighbourhood graph of a jittered grid of N_SIDE x N_SIDE sites
//       (default 12, 20 loci, 0.9, 1), writes DIR/car.txt, runs breloAdm
//       -upy on it (SWEEPS sweeps, default 20000, a quarter of them burn-in)
//       and prints the truth (with the trend and variance realised in the
//       simulated fields) beside the posterior means and 95 % intervals of
//       psi * lambda_max, sigma and beta, with the effective sample sizes.
//       Options after a final "--" are added to the run's (e.g. -joint0).
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <numeric>
#include <string>
#include <vector>

#include "breloAdm/AdmixtureResults.h"
#include "breloAdm/AdmixtureSampler.h"
#include "breloAdm/BreloAdmSetup.h"
#include "breloAdm/SpatialPrior.h"
#include "core/MatrixUtilities.h"
#include "core/ProgramFlavour.h"
#include "core/RNGUtilities.h"
#include "core/StatUtilities.h"
#include "voronoi/Voronoi.h"

namespace {

struct SRun {
    SAdmOptions opt;
    SAdmSetup setup;
    CSpatialPrior prior;
    SAdmChain chain;
    SAdmEstimates est;
};

// The chain of `GSL_RNG_SEED=seed breloAdm args`, in this process.
void RunSeed(SRun& run, const std::vector<std::string>& args, unsigned long seed) {
    setenv("GSL_RNG_SEED", std::to_string(seed).c_str(), 1);
    ResetRNGSeedSequence();
    std::vector<const char*> argv{"breloAdm"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    ParseAdmOptions(static_cast<int>(argv.size()), argv.data(), run.opt);
    gsl_rng* rng = nullptr;
    RunAdmSetup(run.opt, run.setup, rng);
    RunAdmixtureSampler(run.opt, run.setup, rng, run.prior, run.chain);
    FreeRNG(rng);
    SummariseChain(run.opt, run.setup, run.chain, run.est);
}

// Kept sweeps that update the spatial block.
int FirstTracedSweep(const SAdmOptions& opt) {
    return std::max(opt.BurnIn, opt.burnStruct + 1);
}

double MinOver(const DBL_VCTR_1D& v, int from) {
    double m = 1e300;
    for (size_t s = from; s < v.size(); ++s)
        m = std::min(m, v[s]);
    return m;
}

std::string Interval(const DBL_VCTR_1D& v, int from, double scale = 1.0) {
    std::vector<double> kept(v.begin() + from, v.end());
    for (double& x : kept)
        x *= scale;
    char text[96];
    std::snprintf(text, sizeof text, "%.3f [%.3f, %.3f]",
                  std::accumulate(kept.begin(), kept.end(), 0.0) / kept.size(),
                  quantile(kept.data(), kept.size(), 0.025),
                  quantile(kept.data(), kept.size(), 0.975));
    return text;
}

// Smallest effective sample size of the traces whose name starts with prefix.
double SmallestEss(const SRunDiagnostics& d, const std::string& prefix) {
    double smallest = 1e300;
    for (const SRunDiagnostics::STrace& t : d.traces)
        if (t.name.compare(0, prefix.size(), prefix) == 0)
            smallest = std::min(smallest, t.ess);
    return smallest;
}

int StudySeeds(unsigned long first, unsigned long last, const std::vector<std::string>& args) {
    std::printf(
        "seed\tmin sigma over the kept sweeps (per cluster)\t1 %% quantile\tposterior mean "
        "sigma\n");
    double overall = 1e300;
    for (unsigned long seed = first; seed <= last; ++seed) {
        SRun run;
        const std::clock_t start = std::clock();
        RunSeed(run, args, seed);
        const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
        const int from = FirstTracedSweep(run.opt);
        std::printf("%lu\t", seed);
        for (const DBL_VCTR_1D& trace : run.chain.sigmaH) {
            const double m = MinOver(trace, from);
            overall = std::min(overall, m);
            std::printf("%.4f ", m);
        }
        std::printf("\t");
        for (const DBL_VCTR_1D& trace : run.chain.sigmaH)
            std::printf("%.4f ", quantile(trace.data() + from, trace.size() - from, 0.01));
        std::printf("\t");
        for (double s : run.est.mean.sigma)
            std::printf("%.3f ", s);
        std::printf("\t");
        for (const SRunDiagnostics::STrace& t : run.est.diagnostics.traces)
            std::printf("%s %.0f ", t.name.c_str(), t.ess);
        const SRunDiagnostics& d = run.est.diagnostics;
        const double lh = SmallestEss(d, "log-likelihood"), beta = SmallestEss(d, "beta"),
                     sigma = SmallestEss(d, "sigma");
        std::printf(
            "\n%lu\t%.2f s\teffective draws per second: log-likelihood %.1f, smallest beta "
            "%.1f, smallest sigma %.1f\n",
            seed, seconds, lh / seconds, beta / seconds, sigma / seconds);
        std::fflush(stdout);
    }
    std::printf("smallest sigma of all kept sweeps of all seeds: %.4f\n", overall);
    return 0;
}

int WriteTraces(unsigned long seed, const std::string& file,
                const std::vector<std::string>& args) {
    SRun run;
    RunSeed(run, args, seed);
    const SAdmChain& c = run.chain;
    const int from = FirstTracedSweep(run.opt), K = run.opt.K, bl = run.setup.beta_length;
    std::ofstream os(file);
    os << "LH";
    for (int k = 0; k < K; ++k) {
        for (int b = 0; b < bl; ++b)
            os << "\tbeta" << k + 1 << b + 1;
        os << "\tsigma" << k + 1 << "\tpsi" << k + 1;
    }
    os << "\n";
    for (int s = from; s < run.opt.TotalSweep; ++s) {
        os << c.LH[s];
        for (int k = 0; k < K; ++k) {
            for (int b = 0; b < bl; ++b)
                os << "\t" << c.BH[k][b][s];
            os << "\t" << c.sigmaH[k][s] << "\t" << c.psiH[k][s];
        }
        os << "\n";
    }
    return os ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Simulated CAR data

// The neighbour lists the program builds for these sites: those of their
// Voronoi tessellation, each neighbour once (its own jitter, 1e-5 of the
// range, changes no neighbour of a jittered grid).
INT_VCTR_2D TessellationNeighbours(const DBL_VCTR_2D& sites) {
    std::vector<SPoint> points(sites.size());
    for (size_t i = 0; i < sites.size(); ++i) {
        points[i].m_psXY.m_dX = sites[i][0];
        points[i].m_psXY.m_dY = sites[i][1];
        points[i].m_nIndex = static_cast<int>(i);
    }
    std::vector<bool> keep;
    std::vector<double> minMax, scale;
    std::vector<CEdge> edges;
    CVoronoi::GetVoronoi(points, keep, minMax, scale, edges);
    INT_VCTR_2D ns;
    CVoronoi::GetNeighborhoodSystem(static_cast<int>(sites.size()), edges, ns);
    ns.resize(sites.size());
    DropRepeatedNeighbours(ns);
    return ns;
}

int StudyCar(unsigned long seed, const std::string& dir, int side, int L, double psiLambda,
             double sigma, int sweeps, const std::vector<std::string>& extra) {
    const int N = side * side, K = 2, J = 5;
    gsl_rng* rng = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(rng, seed);
    // Sites: the grid 0..side-1, each moved by up to 0.2 in x and y.
    DBL_VCTR_2D sites(N, DBL_VCTR_1D(2));
    for (int i = 0; i < N; ++i) {
        sites[i][0] = i % side + gsl_ran_flat(rng, -0.2, 0.2);
        sites[i][1] = i / side + gsl_ran_flat(rng, -0.2, 0.2);
    }
    // Fields: CAR[k] ~ N(Xtild beta_k, sigma (I - psi W)^-1), psi from
    // psi * lambda_max; the trend on the translated coordinates the program
    // uses (x + 2 range, y + 2 range, range = side - 1 about).
    const INT_VCTR_2D ns = TessellationNeighbours(sites);
    DBL_VCTR_2D W;
    BuildWeightMatrix(W, ns, {}, 1.0);
    DBL_VCTR_1D ev(N);
    computeEigenvalues(ev, W);
    const double psi = psiLambda / ev.back();
    DBL_VCTR_2D R(N, DBL_VCTR_1D(N)), Rinv, factor;
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j)
            R[i][j] = (i == j) - psi * W[i][j];
    InverseWithChol(Rinv, R);
    choldc(factor, Rinv);
    for (DBL_VCTR_1D& row : factor)
        for (double& v : row)
            v *= std::sqrt(sigma);
    // The trend is linear in x on the coordinates of the file (those of the
    // design matrix), centred on 0 in the middle of the grid.
    const double slope = 3.0 / side, centre = 0.5 * (side - 1);
    const DBL_VCTR_2D beta = {{-slope * centre, slope, 0.0}, {slope * centre, -slope, 0.0}};
    DBL_VCTR_2D car(K);
    for (int k = 0; k < K; ++k) {
        DBL_VCTR_1D mean(N);
        for (int i = 0; i < N; ++i)
            mean[i] = beta[k][0] + beta[k][1] * sites[i][0] + beta[k][2] * sites[i][1];
        MultivariateGauss(mean, factor, car[k], rng);
    }
    // A realised field has its own large-scale part, which the trend of the
    // model absorbs: what the chain can recover is the generalised least-
    // squares trend of the simulated field, (X'RX)^-1 X'R CAR, and the
    // variance e'Re / N of its residual e.
    DBL_VCTR_2D X(N, DBL_VCTR_1D(3, 1.0)), RX, V, Vinv, XtR;
    for (int i = 0; i < N; ++i) {
        X[i][1] = sites[i][0];
        X[i][2] = sites[i][1];
    }
    Mult(RX, R, X);
    Mult_t_left(V, X, RX);
    InverseWithChol(Vinv, V);
    Transpose(XtR, RX);
    DBL_VCTR_2D realised(K, DBL_VCTR_1D(3, 0.0));
    DBL_VCTR_1D realisedSigma(K, 0.0);
    for (int k = 0; k < K; ++k) {
        DBL_VCTR_1D XtRcar(3, 0.0), e(N);
        for (int b = 0; b < 3; ++b)
            for (int i = 0; i < N; ++i)
                XtRcar[b] += XtR[b][i] * car[k][i];
        for (int b = 0; b < 3; ++b)
            for (int c = 0; c < 3; ++c)
                realised[k][b] += Vinv[b][c] * XtRcar[c];
        for (int i = 0; i < N; ++i)
            e[i] = car[k][i] - realised[k][0] - realised[k][1] * X[i][1] - realised[k][2] * X[i][2];
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j)
                realisedSigma[k] += e[i] * R[i][j] * e[j] / N;
    }
    // Frequencies far apart, proportions q_i ~ Dirichlet(exp(CAR[.][i])),
    // copy labels from q_i and alleles from the frequencies of the label.
    std::vector<DBL_VCTR_2D> p(K, DBL_VCTR_2D(L, DBL_VCTR_1D(J)));
    const DBL_VCTR_1D ones(J, 0.5);
    for (int k = 0; k < K; ++k)
        for (int l = 0; l < L; ++l)
            gsl_ran_dirichlet(rng, J, ones.data(), p[k][l].data());
    const std::string file = dir + "/car.txt";
    std::ofstream os(file);
    for (int i = 0; i < N; ++i) {
        double alpha[2] = {std::exp(car[0][i]), std::exp(car[1][i])}, q[2];
        gsl_ran_dirichlet(rng, K, alpha, q);
        std::vector<std::vector<int>> codes(2, std::vector<int>(L));
        for (int a = 0; a < 2; ++a)
            for (int l = 0; l < L; ++l) {
                const int k = gsl_rng_uniform(rng) < q[0] ? 0 : 1;
                double u = gsl_rng_uniform(rng), sum = 0.0;
                int j = 0;
                while (j < J - 1 && (sum += p[k][l][j]) < u)
                    ++j;
                codes[a][l] = 100 + j;
            }
        for (int a = 0; a < 2; ++a) {
            os << "i" << i + 1 << " " << sites[i][0] << " " << sites[i][1];
            for (int l = 0; l < L; ++l)
                os << " " << codes[a][l];
            os << "\n";
        }
    }
    os.close();
    gsl_rng_free(rng);

    SRun run;
    const std::vector<std::string> args = {"-Fcar.txt",
                                           "-i" + dir,
                                           "-o" + dir,
                                           "-N" + std::to_string(N),
                                           "-A2",
                                           "-L" + std::to_string(L),
                                           "-K2",
                                           "-T1",
                                           "-P0.5",
                                           "-D1",
                                           "-S" + std::to_string(sweeps),
                                           "-B" + std::to_string(sweeps / 4),
                                           "-c1",
                                           "-upy"};
    std::vector<std::string> all = args;
    all.insert(all.end(), extra.begin(), extra.end());
    RunSeed(run, all, seed);
    std::printf("%s\n", ConvergenceWarning(run.est.diagnostics).c_str());
    for (const SRunDiagnostics::STrace& t : run.est.diagnostics.traces)
        std::printf("%s %.0f  ", t.name.c_str(), t.ess);
    std::printf("\n");
    const int from = FirstTracedSweep(run.opt);
    const double lambdaMax = run.prior.largestEigenvalue;
    std::printf(
        "simulated: %d sites, %d loci, psi*lambda_max = %.2f, sigma = %.2f, beta = "
        "(%.3f, %.3f, 0) and (%.3f, %.3f, 0); largest eigenvalue of the program's W: "
        "%.3f\n",
        N, L, psiLambda, sigma, beta[0][0], beta[0][1], beta[1][0], beta[1][1], lambdaMax);
    for (int k = 0; k < K; ++k) {
        std::printf(
            "cluster %d (realised in the simulated field: sigma %.3f, beta %.3f %.3f "
            "%.3f)\n",
            k + 1, realisedSigma[k], realised[k][0], realised[k][1], realised[k][2]);
        std::printf("  estimated: psi*lambda_max %s  sigma %s\n",
                    Interval(run.chain.psiH[k], from, lambdaMax).c_str(),
                    Interval(run.chain.sigmaH[k], from).c_str());
        for (int b = 0; b < run.setup.beta_length; ++b)
            std::printf("             beta[%d] %s\n", b,
                        Interval(run.chain.BH[k][b], from).c_str());
    }
    std::printf("(the estimated clusters may come in the other order)\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "seeds" && argc > 5 && std::string(argv[4]) == "--")
        return StudySeeds(std::stoul(argv[2]), std::stoul(argv[3]),
                          std::vector<std::string>(argv + 5, argv + argc));
    if (mode == "traces" && argc > 5 && std::string(argv[4]) == "--")
        return WriteTraces(std::stoul(argv[2]), argv[3],
                           std::vector<std::string>(argv + 5, argv + argc));
    // car SEED DIR [N_SIDE L PSI_LAMBDA SIGMA SWEEPS] [-- <more breloAdm options>]
    int plain = argc;
    for (int a = 4; a < argc; ++a)
        if (std::string(argv[a]) == "--") {
            plain = a;
            break;
        }
    const std::vector<std::string> extra(argv + std::min(plain + 1, argc), argv + argc);
    if (mode == "car" && (plain == 4 || plain == 9))
        return plain == 4
                   ? StudyCar(std::stoul(argv[2]), argv[3], 12, 20, 0.9, 1.0, 20000, extra)
                   : StudyCar(std::stoul(argv[2]), argv[3], std::stoi(argv[4]), std::stoi(argv[5]),
                              std::stod(argv[6]), std::stod(argv[7]), std::stoi(argv[8]), extra);
    std::cerr << "usage: breloAdm_sampler_study seeds FIRST LAST -- <breloAdm options> | traces SEED "
                 "FILE -- <breloAdm options> | car SEED DIR [N_SIDE L PSI_LAMBDA SIGMA SWEEPS] [-- "
                 "<more breloAdm options>]"
              << std::endl;
    return 1;
}
