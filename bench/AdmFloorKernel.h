// The floor of an admixture sweep: only the draws and arithmetic that any
// implementation of the sweep must make, as plain loops over flat arrays,
// with the same GSL generator and the same data as the sampler. A sweep of
// breloAdm is measured against it (bench/breloAdm_sweep_bench) and it has a
// benchmark of its own (bench/breloAdm_floor_bench).
//
// Steps, in the sampler's order, with -B0 (every sweep accumulates):
// allele counts, Dirichlet draws of the frequencies and their logarithms,
// label counts, Dirichlet draws of the proportions and their logarithms, the
// Metropolis-Hastings update of the CAR field over the neighbour lists, the
// coefficients and the trend, the variances (and, when asked, the psi random
// walk with its sum of N logarithms), label probabilities and a draw for
// every allele copy, the log-likelihood, the post-burn-in sums and, every
// tenth sweep, the predictive draws.
#ifndef BRELO_BENCH_ADMFLOORKERNEL_H
#define BRELO_BENCH_ADMFLOORKERNEL_H

#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <gsl/gsl_sf_gamma.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "breloAdm/BreloAdmSetup.h"
#include "breloAdm/SpatialPrior.h"
#include "core/RNGUtilities.h"
#include "io/IOUtilities.h"

struct SAdmFloorKernel {
    int N = 0, A = 0, L = 0, K = 0, Jmax = 0, bl = 0;
    bool shuffle = false, updatePsi = false;
    bool accumulate = true;  // every sweep is a kept sweep (-B0)
    double lambda = 1.0;
    std::vector<int> J, idx, z;                          // z and idx at (i * A + a) * L + l
    std::vector<int> nbStart, nb;                        // neighbour lists, compressed
    std::vector<double> w;                               // neighbour weights
    std::vector<double> ev;                              // eigenvalues of W (psi step)
    std::vector<double> X, VinvM, chol;                  // N x bl, K x bl x N, K x bl x bl
    std::vector<int> n, m;                               // K x L x Jmax, N x K
    std::vector<double> p, logp, q, logq;                // K x L x Jmax, N x K
    std::vector<double> CAR, E, Pred, beta, sigma, psi;  // K x N, K x N, N x K, K x bl
    std::vector<double> params, work, zb;
    std::vector<int> order, orderK, orderL, orderA;
    // Post-burn-in sums.
    std::vector<double> sumP, sumQ, sumAlpha, sumBeta, sumSigma, sumPsi, cpAverage, predicted;
    std::vector<int> cpAdmix;
    double varDeviance = 0;

    // From a finished set-up and its prior (neither is timed).
    void Build(const SAdmSetup& setup, const CSpatialPrior& prior, const DBL_VCTR_1D& psi0, int K_,
               double lambda_, double sigma0, bool shuffle_, bool updatePsi_) {
        K = K_;
        lambda = lambda_;
        shuffle = shuffle_;
        updatePsi = updatePsi_;
        const CGenotypeStore& Xg = setup.data.X;
        N = Xg.N();
        A = Xg.A();
        L = Xg.L();
        J = setup.J;
        Jmax = *std::max_element(J.begin(), J.end());
        idx.resize(static_cast<size_t>(N) * A * L);
        z.assign(idx.size(), 0);
        for (size_t c = 0; c < idx.size(); ++c)
            idx[c] = Xg.IndexAt(c);
        nbStart.assign(1, 0);
        for (int i = 0; i < N; ++i) {
            for (size_t t = 0; t < setup.tess.vvnNS[i].size(); ++t) {
                nb.push_back(setup.tess.vvnNS[i][t]);
                w.push_back(prior.nsWeight[i][t]);
            }
            nbStart.push_back(static_cast<int>(nb.size()));
        }
        ev = prior.logDet.Spectrum();
        bl = static_cast<int>(setup.data.Xtild[0].size());
        for (int i = 0; i < N; ++i)
            for (int b = 0; b < bl; ++b)
                X.push_back(setup.data.Xtild[i][b]);
        for (int k = 0; k < K; ++k)
            for (int b = 0; b < bl; ++b) {
                VinvM.insert(VinvM.end(), prior.Vinv_M[k][b].begin(), prior.Vinv_M[k][b].end());
                chol.insert(chol.end(), prior.Var_beta[k][b].begin(), prior.Var_beta[k][b].end());
            }
        n.assign(static_cast<size_t>(K) * L * Jmax, 0);
        p.assign(n.size(), 0.0);
        logp.assign(n.size(), 0.0);
        m.assign(static_cast<size_t>(N) * K, 0);
        q.assign(m.size(), 1.0 / K);
        logq.assign(m.size(), std::log(1.0 / K));
        CAR.assign(static_cast<size_t>(K) * N, 0.0);
        E = CAR;
        Pred.assign(m.size(), 0.0);
        beta.assign(static_cast<size_t>(K) * bl, 0.0);
        sigma.assign(K, sigma0);
        psi = psi0;
        params.assign(std::max(Jmax, K), 0.0);
        work.assign(K, 0.0);
        zb.assign(bl, 0.0);
        order.resize(N);
        orderK.resize(K);
        orderL.resize(L);
        orderA.resize(A);
        for (int i = 0; i < N; ++i)
            order[i] = i;
        for (int k = 0; k < K; ++k)
            orderK[k] = k;
        for (int l = 0; l < L; ++l)
            orderL[l] = l;
        for (int a = 0; a < A; ++a)
            orderA[a] = a;
        sumP.assign(p.size(), 0.0);
        sumQ.assign(q.size(), 0.0);
        sumAlpha.assign(q.size(), 0.0);
        sumBeta.assign(beta.size(), 0.0);
        sumSigma.assign(K, 0.0);
        sumPsi.assign(K, 0.0);
        cpAverage.assign(q.size(), 0.0);
        predicted.assign(q.size(), 0.0);
        cpAdmix.assign(idx.size() * K, 0);
    }

    // A label drawn from unnormalised weights (the first index whose running
    // sum reaches u times the total).
    static int Draw(const gsl_rng* rng, const double* weights, int K, double total) {
        const double u = gsl_rng_uniform_pos(rng) * total;
        double s = 0.0;
        for (int k = 0; k < K - 1; ++k) {
            s += weights[k];
            if (u <= s)
                return k;
        }
        return K - 1;
    }

    double NeighbourSum(int i, const double* v) const {
        double s = 0.0;
        for (int t = nbStart[i]; t < nbStart[i + 1]; ++t)
            s += w[t] * v[nb[t]];
        return s;
    }

    void Sweep(const gsl_rng* rng, int s) {
        if (shuffle) {
            gsl_ran_shuffle(rng, order.data(), N, sizeof(int));
            gsl_ran_shuffle(rng, orderK.data(), K, sizeof(int));
            gsl_ran_shuffle(rng, orderL.data(), L, sizeof(int));
            gsl_ran_shuffle(rng, orderA.data(), A, sizeof(int));
        }
        const size_t copies = idx.size();
        // Allele counts.
        std::fill(n.begin(), n.end(), 0);
        for (size_t c = 0; c < copies; ++c) {
            const int j = idx[c];
            if (j >= 0)
                ++n[(static_cast<size_t>(z[c]) * L + c % L) * Jmax + j];
        }
        // Frequencies.
        for (int kk = 0; kk < K; ++kk) {
            const int k = orderK[kk];
            for (int l = 0; l < L; ++l) {
                const size_t base = (static_cast<size_t>(k) * L + l) * Jmax;
                for (int j = 0; j < J[l]; ++j)
                    params[j] = n[base + j] + lambda;
                gsl_ran_dirichlet(rng, J[l], params.data(), &p[base]);
            }
        }
        for (size_t t = 0; t < p.size(); ++t)
            logp[t] = p[t] > 0 ? std::log(p[t]) : -707.0;
        // Proportions.
        std::fill(m.begin(), m.end(), 0);
        for (size_t c = 0; c < copies; ++c)
            ++m[(c / (static_cast<size_t>(A) * L)) * K + z[c]];
        for (int ii = 0; ii < N; ++ii) {
            const int i = order[ii];
            for (int k = 0; k < K; ++k)
                params[k] = m[i * K + k] + std::exp(CAR[static_cast<size_t>(k) * N + i]);
            gsl_ran_dirichlet(rng, K, params.data(), &q[static_cast<size_t>(i) * K]);
        }
        for (size_t t = 0; t < q.size(); ++t)
            logq[t] = q[t] > 0 ? std::log(q[t]) : -707.0;
        if (s > 0)
            UpdateSpatialBlock(rng);
        // Labels and log-likelihood.
        for (int ii = 0; ii < N; ++ii) {
            const int i = order[ii];
            const double* qi = &q[static_cast<size_t>(i) * K];
            for (int aa = 0; aa < A; ++aa)
                for (int ll = 0; ll < L; ++ll) {
                    const int l = orderL[ll];
                    const size_t c = (static_cast<size_t>(i) * A + orderA[aa]) * L + l;
                    const int j = idx[c];
                    double total = 0.0;
                    for (int k = 0; k < K; ++k) {
                        work[k] =
                            j < 0 ? qi[k] : qi[k] * p[(static_cast<size_t>(k) * L + l) * Jmax + j];
                        total += work[k];
                    }
                    z[c] = Draw(rng, work.data(), K, total);
                }
        }
        double lh = 0.0;
        for (size_t c = 0; c < copies; ++c)
            if (idx[c] >= 0)
                lh += logp[(static_cast<size_t>(z[c]) * L + c % L) * Jmax + idx[c]];
        if (accumulate)
            Accumulate(rng, s, lh);
        else
            varDeviance = lh;
    }

    void UpdateSpatialBlock(const gsl_rng* rng) {
        for (int k = 0; k < K; ++k)
            for (int i = 0; i < N; ++i)
                E[static_cast<size_t>(k) * N + i] =
                    CAR[static_cast<size_t>(k) * N + i] - Pred[i * K + k];
        // Field.
        for (int ii = 0; ii < N; ++ii) {
            const int i = order[ii];
            double eSum = 0.0;
            for (int k = 0; k < K; ++k)
                eSum += std::exp(CAR[static_cast<size_t>(k) * N + i]);
            for (int kk = 0; kk < K; ++kk) {
                const int k = orderK[kk];
                double* car = &CAR[static_cast<size_t>(k) * N];
                double* e = &E[static_cast<size_t>(k) * N];
                const double mean = Pred[i * K + k] + psi[k] * NeighbourSum(i, e);
                const double proposal = mean + gsl_ran_gaussian(rng, std::sqrt(sigma[k]));
                const double eOld = std::exp(car[i]), eNew = std::exp(proposal);
                const double eSumNew = eNew + eSum - eOld;
                const double lnA = gsl_sf_lngamma(eOld) - gsl_sf_lngamma(eNew) +
                                   (eNew - eOld) * logq[i * K + k] + gsl_sf_lngamma(eSumNew) -
                                   gsl_sf_lngamma(eSum);
                if (std::exp(lnA) > gsl_rng_uniform(rng)) {
                    car[i] = proposal;
                    e[i] = proposal - Pred[i * K + k];
                }
            }
        }
        // Coefficients and trend.
        for (int k = 0; k < K; ++k) {
            double mean[8] = {0};
            for (int b = 0; b < bl; ++b) {
                const double* row = &VinvM[(static_cast<size_t>(k) * bl + b) * N];
                const double* car = &CAR[static_cast<size_t>(k) * N];
                for (int i = 0; i < N; ++i)
                    mean[b] += row[i] * car[i];
            }
            for (int b = 0; b < bl; ++b)
                zb[b] = gsl_ran_ugaussian(rng);
            const double sd = std::sqrt(sigma[k]);
            for (int b = 0; b < bl; ++b) {
                double v = mean[b];
                for (int c = 0; c <= b; ++c)
                    v += sd * chol[(static_cast<size_t>(k) * bl + b) * bl + c] * zb[c];
                beta[k * bl + b] = v;
            }
        }
        for (int i = 0; i < N; ++i)
            for (int k = 0; k < K; ++k) {
                double v = 0.0;
                for (int b = 0; b < bl; ++b)
                    v += X[i * bl + b] * beta[k * bl + b];
                Pred[i * K + k] = v;
            }
        // Variances (and psi).
        for (int k = 0; k < K; ++k) {
            double* e = &E[static_cast<size_t>(k) * N];
            const double* car = &CAR[static_cast<size_t>(k) * N];
            for (int i = 0; i < N; ++i)
                e[i] = car[i] - Pred[i * K + k];
        }
        for (int kk = 0; kk < K; ++kk) {
            const int k = orderK[kk];
            const double* e = &E[static_cast<size_t>(k) * N];
            double ee = 0.0, eS = 0.0;
            for (int i = 0; i < N; ++i) {
                ee += e[i] * e[i];
                eS += e[i] * NeighbourSum(i, e);
            }
            sigma[k] = 1.0 / gsl_ran_gamma(rng, N * 0.5, 1.0 / (0.5 * (ee - psi[k] * eS)));
            if (!updatePsi)
                continue;
            const double psiNew = psi[k] + gsl_ran_gaussian(rng, 0.05);
            if (!(psiNew >= 0.0 && psiNew < 1.0 / ev.back()))
                continue;
            double lnA = 0.0;
            for (double lambda_i : ev)
                lnA += std::log(1.0 - psiNew * lambda_i) - std::log(1.0 - psi[k] * lambda_i);
            lnA = 0.5 * lnA - (psiNew - psi[k]) * eS * 0.5 / sigma[k];
            if (std::exp(lnA) > gsl_rng_uniform(rng))
                psi[k] = psiNew;
        }
    }

    void Accumulate(const gsl_rng* rng, int s, double lh) {
        for (size_t t = 0; t < p.size(); ++t)
            sumP[t] += p[t];
        for (size_t t = 0; t < q.size(); ++t) {
            sumQ[t] += q[t];
            sumAlpha[t] += std::exp(CAR[(t % K) * N + t / K]);
        }
        for (size_t t = 0; t < beta.size(); ++t)
            sumBeta[t] += beta[t];
        for (int k = 0; k < K; ++k) {
            sumSigma[k] += sigma[k];
            sumPsi[k] += psi[k];
        }
        for (size_t c = 0; c < idx.size(); ++c) {
            cpAverage[(c / (static_cast<size_t>(A) * L)) * K + z[c]] += 1;
            ++cpAdmix[c * K + z[c]];
        }
        varDeviance += 4 * lh * lh;
        if (s % 10 != 0)
            return;
        // Predictive draws: memberships simulated from the trend alone.
        for (int pass = 0; pass < 10; ++pass)
            for (int i = 0; i < N; ++i) {
                for (int k = 0; k < K; ++k)
                    params[k] =
                        std::exp(Pred[i * K + k] + gsl_ran_gaussian(rng, std::sqrt(sigma[k])));
                gsl_ran_dirichlet(rng, K, params.data(), work.data());
                for (int c = 0; c < A * L; ++c)
                    predicted[i * K + Draw(rng, work.data(), K, 1.0)] += 1;
            }
    }
};

// Seconds (wall and processor) of `sweeps` floor sweeps on the data set of
// the sweep benchmark, after 20 sweeps of warm-up, as the sampler's are
// measured: the options are the benchmark's command line (-K, -D, -x, -sy,
// -upy are read from it). Without accumulate, no sweep is a kept sweep.
inline double TimeFloorSweeps(const std::vector<std::string>& args, int sweeps, bool accumulate,
                              double& cpu) {
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    SAdmOptions opt;
    ParseAdmOptions(static_cast<int>(argv.size()), argv.data(), opt);
    SAdmSetup setup;
    gsl_rng* rng = nullptr;
    RunAdmSetup(opt, setup, rng);
    CSpatialPrior prior;
    DBL_VCTR_1D psi, sigma(opt.K, opt.sigmaQ);
    BuildSpatialPrior(prior, psi, sigma, setup.tess.vvnNS, setup.geo, setup.theta, setup.data.Xtild,
                      opt.psiUser);
    FreeInitialFieldFactor(prior);
    SAdmFloorKernel kernel;
    kernel.Build(setup, prior, psi, opt.K, opt.lambda, opt.sigmaQ, opt.shuffle, opt.updatePsi);
    kernel.accumulate = accumulate;
    for (int s = 0; s < 20; ++s)
        kernel.Sweep(rng, s);
    const auto start = std::chrono::steady_clock::now();
    const clock_t cpuStart = clock();
    for (int s = 20; s < 20 + sweeps; ++s)
        kernel.Sweep(rng, s);
    cpu = static_cast<double>(clock() - cpuStart) / CLOCKS_PER_SEC;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    FreeRNG(rng);
    return wall;
}

#endif
