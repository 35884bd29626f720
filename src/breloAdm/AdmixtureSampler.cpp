#include "breloAdm/AdmixtureSampler.h"

#include <gsl/gsl_randist.h>
#include <gsl/gsl_sf_gamma.h>

#include <cmath>
#include <iostream>
#include <numeric>

#include "breloAdm/HierarchicalClustering.h"
#include "core/MatrixUtilities.h"
#include "core/MiscUtilities.h"
#include "core/RNGUtilities.h"
#include "io/AlleleCountFeatures.h"
#include "io/IOUtilities.h"
#include "plot/PlotUtilities.h"

namespace {

// Everything one chain reads and the work arrays it reuses, sized once.
struct SAdmSampler {
    const SAdmOptions& opt;
    SAdmSetup& setup;
    CSpatialPrior& prior;
    gsl_rng* rng;
    SAdmChain& chain;
    CSweepParams& sp;

    int N, A, L, K, bl;
    INT_VCTR_3D& X;
    const INT_VCTR_2D& NS;

    // Allele index of every copy, ((i * A + a) * L + l), -1 when missing.
    std::vector<int> idx;
    INT_VCTR_3D n;     // K x L x J[l] allele counts
    INT_VCTR_2D m;     // N x K label counts
    DBL_VCTR_3D logp;  // K x L x J[l]
    DBL_VCTR_2D logq;  // N x K
    DBL_VCTR_2D Pred;  // N x K, trend part of CAR
    DBL_VCTR_2D E;     // K x N, CAR[k][j] - Pred[j][k]
    DBL_VCTR_2D DirParams;
    DBL_VCTR_1D dpq;
    DBL_VCTR_1D labelWork;  // K
    DBL_VCTR_1D QPredict;   // K
    DBL_VCTR_1D dpqPredict;
    DBL_VCTR_2D beta_mean;  // K x bl
    INT_VCTR_1D shuffledInd, shuffledClust, shuffledLoc, shuffledPloidy;

    SAdmSampler(const SAdmOptions& o, SAdmSetup& s, CSpatialPrior& pr, gsl_rng* r, SAdmChain& c)
        : opt(o),
          setup(s),
          prior(pr),
          rng(r),
          chain(c),
          sp(c.spSweep),
          N(o.N),
          A(o.A),
          L(o.L),
          K(o.K),
          bl(s.beta_length),
          X(s.data.X),
          NS(s.tess.vvnNS) {}

    int& Idx(int i, int a, int l) { return idx[(static_cast<size_t>(i) * A + a) * L + l]; }
};

double SafeLog(double v) {
    return v > 0.0 ? std::log(v) : N_LIMIT;
}

void IdentityOrder(INT_VCTR_1D& order, int size) {
    order.resize(size);
    std::iota(order.begin(), order.end(), 0);
}

// ---------------------------------------------------------------------------
// Initialisation

void SizeState(SAdmSampler& S) {
    CSweepParams& sp = S.sp;
    InitVctr3D(sp.p, S.K, S.L, S.setup.J, 0.0);
    InitVctr3D(S.n, S.K, S.L, S.setup.J, 0);
    InitVctr3D(S.logp, S.K, S.L, S.setup.J, 0.0);
    InitVctr2D(S.m, S.N, S.K, 0);
    InitVctr2D(S.logq, S.N, S.K, 0.0);
    InitVctr1D(S.dpq, S.K, 1.0);
    InitVctr2D(sp.alpha, S.N, S.K, 0.0);
    InitVctr2D(sp.q, S.N, S.K, 0.0);
    InitVctr2D(S.Pred, S.N, S.K, 0.0);
    InitVctr1D(sp.sigma, S.K, S.opt.sigmaQ);
    InitVctr2D(sp.beta, S.K, S.bl, 0.0);
    InitVctr1D(sp.z, S.N, 0);
    InitVctr3D(sp.zadMix, S.N, S.A, S.L, 0);
    InitVctr2D(sp.CAR, S.K, S.N, 0.0);
    InitVctr2D(S.E, S.K, S.N, 0.0);
    InitVctr2D(S.DirParams, S.L, S.setup.J, S.opt.lambda);
    InitVctr1D(S.labelWork, S.K, 0.0);
    InitVctr1D(S.QPredict, S.K, 0.0);
    InitVctr1D(S.dpqPredict, S.K, 0.0);
    InitVctr2D(S.beta_mean, S.K, S.bl, 0.0);
    const INT_VCTR_3D allele = BuildAlleleIndex(S.X, S.setup.alleleV);
    S.idx.assign(static_cast<size_t>(S.N) * S.A * S.L, -1);
    for (int i = 0; i < S.N; ++i)
        for (int a = 0; a < S.A; ++a)
            for (int l = 0; l < S.L; ++l)
                S.Idx(i, a, l) = allele[i][a][l];
}

void PlotInitialMembership(const SAdmSampler& S, const INT_VCTR_1D& labels) {
    const STessellation& t = S.setup.tess;
    PlotHC(S.opt.FOFN + "IM.png", t.vptC, t.vbKeep, t.vdDataMinMax, t.veVoronoi, labels);
}

// I2: labels and frequencies of the hierarchical (or k-means) start.
void InitialiseFromClustering(SAdmSampler& S) {
    S.sp.z = S.opt.kmeansStart ? KMeansAdmStartLabels(S.X, S.setup.alleleV, S.K, S.rng)
                               : HierarchicalStartLabels(S.X, S.K, S.rng);
    FrequenciesFromLabels(S.sp.p, S.X, S.sp.z, S.setup.alleleV, S.K);
    PlotInitialMembership(S, S.sp.z);
}

void UpdatePred(SAdmSampler& S) {
    Mult_t(S.Pred, S.setup.data.Xtild, S.sp.beta);
}

// CAR[k] ~ N(Pred[., k], sigma[k] (I - psi0 W)^-1), one cluster after the
// other; the N x N factor is freed afterwards.
void DrawInitialFields(SAdmSampler& S) {
    DBL_VCTR_2D work;
    DBL_VCTR_1D mean(S.N);
    for (int k = 0; k < S.K; ++k) {
        for (int i = 0; i < S.N; ++i)
            mean[i] = S.Pred[i][k];
        DrawInitialField(S.prior, mean, S.sp.sigma[k], work, S.sp.CAR[k], S.rng);
    }
    FreeInitialFieldFactor(S.prior);
}

// I4: random starting values (or, with -jy, those of the clustering).
void DrawStartingValues(SAdmSampler& S) {
    CSweepParams& sp = S.sp;
    for (int k = 0; k < S.K; ++k)
        MultivariateGauss(S.prior.Constant, S.prior.Var_beta_chol[k], sp.beta[k], S.rng);
    UpdatePred(S);
    DrawInitialFields(S);
    for (int i = 0; i < S.N; ++i) {
        for (int k = 0; k < S.K; ++k)
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
        if (!S.opt.nj)
            gsl_ran_dirichlet(S.rng, S.K, S.dpq.data(), sp.q[i].data());
    }
    if (S.opt.nj) {
        for (int i = 0; i < S.N; ++i) {
            sp.q[i][sp.z[i]] = 1.0;
            for (int a = 0; a < S.A; ++a)
                for (int l = 0; l < S.L; ++l)
                    sp.zadMix[i][a][l] = sp.z[i];
        }
        return;
    }
    for (int k = 0; k < S.K; ++k)
        for (int l = 0; l < S.L; ++l)
            gsl_ran_dirichlet(S.rng, S.setup.J[l], S.DirParams[l].data(), sp.p[k][l].data());
    for (int i = 0; i < S.N; ++i)
        for (int a = 0; a < S.A; ++a)
            for (int l = 0; l < S.L; ++l)
                sp.zadMix[i][a][l] = SelectANum(S.rng, sp.q[i]);
}

// I5: the state of a continuation file; only the field is drawn.
bool LoadStartingValues(SAdmSampler& S) {
    CSweepParams& sp = S.sp;
    if (S.opt.CF.empty() || !LoadCF(sp.sigma, sp.beta, sp.alpha, sp.q, sp.zadMix, sp.p, S.opt.CF))
        return false;
    UpdatePred(S);
    DrawInitialFields(S);
    return true;
}

// I6: the map of the most frequent label of each individual.
void PlotStartingMembership(SAdmSampler& S) {
    INT_VCTR_1D plotbidon(S.N, 0);
    DBL_VCTR_1D cpBidon(S.K);
    for (int i = 0; i < S.N; ++i) {
        std::fill(cpBidon.begin(), cpBidon.end(), 0.0);
        for (int a = 0; a < S.A; ++a)
            for (int l = 0; l < S.L; ++l)
                cpBidon[S.sp.zadMix[i][a][l]] += 1.0;
        double best = -1.0;
        for (int k = 0; k < S.K; ++k)
            if (cpBidon[k] > best) {
                best = cpBidon[k];
                plotbidon[i] = k;
            }
    }
    PlotInitialMembership(S, plotbidon);
}

// I7: histories and sums.
void SizeAccumulators(SAdmSampler& S) {
    SAdmChain& c = S.chain;
    CSweepParams& avg = c.spAverage;
    InitVctr1D(avg.psi, S.K, 0.0);
    InitVctr3D(avg.p, S.K, S.L, S.setup.J, 0.0);
    InitVctr1D(avg.sigma, S.K, 0.0);
    InitVctr2D(avg.q, S.N, S.K, 0.0);
    InitVctr2D(avg.beta, S.K, S.bl, 0.0);
    InitVctr2D(avg.alpha, S.N, S.K, 0.0);
    InitVctr1D(c.LH, S.opt.TotalSweep, 0.0);
    InitVctr3D(c.BH, S.K, S.bl, S.opt.TotalSweep, 0.0);
    InitVctr2D(c.cpAverage, S.N, S.K, 0.0);
    c.cpAverageAdmix.assign(static_cast<size_t>(S.N) * S.A * S.L * S.K, 0);
    InitVctr2D(c.nb_cluster_individual, S.N, S.K, 0.0);
    c.nClusterQualVar.clear();
    for (int v = 0; v < S.opt.nbQualVar; ++v)
        c.nClusterQualVar.push_back(
            DBL_VCTR_2D(S.setup.data.nQualLevels[v], DBL_VCTR_1D(S.K, 0.0)));
    c.varDeviance = 0.0;
    c.nPredictiveSweeps = 0;
    IdentityOrder(S.shuffledInd, S.N);
    IdentityOrder(S.shuffledClust, S.K);
    IdentityOrder(S.shuffledLoc, S.L);
    IdentityOrder(S.shuffledPloidy, S.A);
}

void Initialise(SAdmSampler& S) {
    SizeState(S);
    if (S.opt.nj)
        InitialiseFromClustering(S);
    if (!S.prior.routes)  // the whole spectrum only when psi moves
        S.prior.routes = DefaultPriorRoutes(S.N, S.opt.updatePsi);
    BuildSpatialPrior(S.prior, S.sp.psi, S.sp.sigma, S.NS, S.setup.geo, S.setup.theta,
                      S.setup.data.Xtild, S.opt.psiUser);
    if (!LoadStartingValues(S))
        DrawStartingValues(S);
    if (!S.opt.nj)
        PlotStartingMembership(S);
    std::cout << "Completed" << std::endl;
    SizeAccumulators(S);
}

// ---------------------------------------------------------------------------
// Sweep steps

// S1
void ShuffleVisitingOrders(SAdmSampler& S) {
    if (!S.opt.shuffle)
        return;
    gsl_ran_shuffle(S.rng, S.shuffledInd.data(), S.N, sizeof(int));
    gsl_ran_shuffle(S.rng, S.shuffledClust.data(), S.K, sizeof(int));
    gsl_ran_shuffle(S.rng, S.shuffledLoc.data(), S.L, sizeof(int));
    gsl_ran_shuffle(S.rng, S.shuffledPloidy.data(), S.A, sizeof(int));
}

// S2: the genotype behind each dominant phenotype, given the labels of its
// two copies. The allele index of the rewritten copies follows.
void DrawRecessiveGenotypes(SAdmSampler& S) {
    if (!S.opt.isRecAllele)
        return;
    const DBL_VCTR_3D& p = S.sp.p;
    for (int l = 0; l < S.L; ++l) {
        const int r = S.setup.data.recAllele[l];
        if (r < 0)
            return;
        const int jr = FindAlleleIndex(S.setup.alleleV[l], r);
        for (int i = 0; i < S.N; ++i) {
            const int code = S.setup.Xobs[i][0][l];
            if (code == r)
                continue;
            const int j = FindAlleleIndex(S.setup.alleleV[l], code);
            if (j < 0)  // a missing phenotype stays missing
                continue;
            const int k0 = S.sp.zadMix[i][0][l], k1 = S.sp.zadMix[i][1][l];
            // A recessive allele never observed has frequency 0 everywhere.
            const double r0 = jr >= 0 ? p[k0][l][jr] : 0.0;
            const double r1 = jr >= 0 ? p[k1][l][jr] : 0.0;
            const double het0 = p[k0][l][j] * r1, het1 = p[k1][l][j] * r0;
            const double den = het0 + het1 + p[k0][l][j] * p[k1][l][j];
            const double u = gsl_rng_uniform(S.rng);
            int copy0 = code, copy1 = code;
            if (u < het0 / den)
                copy1 = r;
            else if (u < (het0 + het1) / den)
                copy0 = r;
            S.X[i][0][l] = copy0;
            S.X[i][1][l] = copy1;
            S.Idx(i, 0, l) = copy0 == code ? j : jr;
            S.Idx(i, 1, l) = copy1 == code ? j : jr;
        }
    }
}

// S3: counts in one pass over the genotypes.
void CountAlleles(SAdmSampler& S) {
    for (INT_VCTR_2D& nk : S.n)
        for (INT_VCTR_1D& nkl : nk)
            std::fill(nkl.begin(), nkl.end(), 0);
    for (int i = 0; i < S.N; ++i)
        for (int a = 0; a < S.A; ++a) {
            const INT_VCTR_1D& z = S.sp.zadMix[i][a];
            for (int l = 0; l < S.L; ++l) {
                const int j = S.Idx(i, a, l);
                if (j >= 0)
                    ++S.n[z[l]][l][j];
            }
        }
}

// S4, S5
void UpdateAlleleFrequencies(SAdmSampler& S) {
    for (int kk = 0; kk < S.K; ++kk) {
        const int k = S.shuffledClust[kk];
        for (int l = 0; l < S.L; ++l) {
            DBL_VCTR_1D& params = S.DirParams[l];
            for (int j = 0; j < S.setup.J[l]; ++j)
                params[j] = S.n[k][l][j] + S.opt.lambda;
            gsl_ran_dirichlet(S.rng, S.setup.J[l], params.data(), S.sp.p[k][l].data());
        }
    }
    for (int k = 0; k < S.K; ++k)
        for (int l = 0; l < S.L; ++l)
            for (int j = 0; j < S.setup.J[l]; ++j) {
                const double v = S.sp.p[k][l][j];
                if (!(v > 0.0))
                    std::cout << "warning: N_LIMIT used for logp" << std::endl;
                S.logp[k][l][j] = SafeLog(v);
            }
}

// S6, S7, S8
void UpdateAdmixtureProportions(SAdmSampler& S) {
    for (INT_VCTR_1D& mi : S.m)
        std::fill(mi.begin(), mi.end(), 0);
    for (int i = 0; i < S.N; ++i)
        for (int a = 0; a < S.A; ++a)
            for (int z : S.sp.zadMix[i][a])
                ++S.m[i][z];
    for (int ii = 0; ii < S.N; ++ii) {
        const int i = S.shuffledInd[ii];
        for (int k = 0; k < S.K; ++k)
            S.dpq[k] = S.m[i][k] + S.sp.alpha[i][k];
        gsl_ran_dirichlet(S.rng, S.K, S.dpq.data(), S.sp.q[i].data());
    }
    for (int i = 0; i < S.N; ++i)
        for (int k = 0; k < S.K; ++k)
            S.logq[i][k] = SafeLog(S.sp.q[i][k]);
}

void ComputeResiduals(SAdmSampler& S) {
    for (int k = 0; k < S.K; ++k)
        for (int i = 0; i < S.N; ++i)
            S.E[k][i] = S.sp.CAR[k][i] - S.Pred[i][k];
}

// S9a: Metropolis-Hastings on CAR[k][i], proposing from the prior full
// conditional, so only the Dirichlet likelihood of q[i] enters the ratio.
void UpdateSpatialField(SAdmSampler& S) {
    CSweepParams& sp = S.sp;
    ComputeResiduals(S);
    for (int ii = 0; ii < S.N; ++ii) {
        const int i = S.shuffledInd[ii];
        double eSum = 0.0;
        for (int k = 0; k < S.K; ++k)
            eSum += std::exp(sp.CAR[k][i]);
        for (int kk = 0; kk < S.K; ++kk) {
            const int k = S.shuffledClust[kk];
            const double mean =
                S.Pred[i][k] + sp.psi[k] * NeighbourSum(S.prior, S.NS, i, S.E[k].data());
            const double CAR_n = mean + gsl_ran_gaussian(S.rng, std::sqrt(sp.sigma[k]));
            const double eOld = std::exp(sp.CAR[k][i]), eNew = std::exp(CAR_n);
            const double eSum_n = eNew + eSum - eOld;
            const double lnAPu = gsl_sf_lngamma(eOld) - gsl_sf_lngamma(eNew) +
                                 (eNew - eOld) * S.logq[i][k] + gsl_sf_lngamma(eSum_n) -
                                 gsl_sf_lngamma(eSum);
            const double u = gsl_rng_uniform(S.rng);
            if (std::exp(lnAPu) > u) {
                sp.CAR[k][i] = CAR_n;
                S.E[k][i] = CAR_n - S.Pred[i][k];
            }
        }
    }
    for (int i = 0; i < S.N; ++i)
        for (int k = 0; k < S.K; ++k)
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
}

// S9c, S9d: beta[k] ~ N(Vinv_M[k] CAR[k], sigma[k] Vinv[k]).
void UpdateCoefficients(SAdmSampler& S, int s) {
    CSweepParams& sp = S.sp;
    for (int k = 0; k < S.K; ++k)
        for (int b = 0; b < S.bl; ++b) {
            const DBL_VCTR_1D& row = S.prior.Vinv_M[k][b];
            double v = 0.0;
            for (int i = 0; i < S.N; ++i)
                v += row[i] * sp.CAR[k][i];
            S.beta_mean[k][b] = v;
        }
    for (int k = 0; k < S.K; ++k) {
        if (sp.sigma[k] > 0)
            MultivariateGauss(S.beta_mean[k], S.prior.Var_beta_chol[k], sp.beta[k], S.rng);
        else
            sp.beta[k] = S.beta_mean[k];
    }
    UpdatePred(S);
    for (int k = 0; k < S.K; ++k)
        for (int b = 0; b < S.bl; ++b)
            S.chain.BH[k][b][s] = sp.beta[k][b];
}

// sum_i e_i^2 and sum_i e_i S_i of cluster k, S_i the weighted sum of the
// residuals of the neighbours of i.
void ResidualForms(const SAdmSampler& S, int k, double& ee, double& eS) {
    ee = 0.0;
    eS = 0.0;
    const double* e = S.E[k].data();
    for (int i = 0; i < S.N; ++i) {
        ee += e[i] * e[i];
        eS += e[i] * NeighbourSum(S.prior, S.NS, i, e);
    }
}

// S9e: sigma[k] = 1/g, g ~ Gamma(N/2, 1/(dSum/2)).
void UpdateVariances(SAdmSampler& S, const DBL_VCTR_1D& ee, const DBL_VCTR_1D& eS) {
    if (!S.opt.updateSigma)
        return;
    for (int kk = 0; kk < S.K; ++kk) {
        const int k = S.shuffledClust[kk];
        const double dSum = ee[k] - S.sp.psi[k] * eS[k];
        const double g = gsl_ran_gamma(S.rng, S.N * 0.5, 1.0 / (0.5 * dSum));
        S.sp.sigma[k] = 1.0 / g;
        RefreshSigma(S.prior, k, S.sp.sigma[k]);
    }
}

// S9f: random walk on psi[k] inside [0, 1/largest eigenvalue).
void UpdateInteractionParameters(SAdmSampler& S, const DBL_VCTR_1D& eS) {
    if (!S.opt.updatePsi)
        return;
    const double upper = 1.0 / S.prior.largestEigenvalue;
    for (int k = 0; k < S.K; ++k) {
        const double psi = S.sp.psi[k];
        const double psi_n = psi + gsl_ran_gaussian(S.rng, 0.05);
        if (!(psi_n >= 0.0 && psi_n < upper))
            continue;
        // 0.5 sum_i log(1 - psi_n lambda_i) - log(1 - psi lambda_i)
        double lnAPpsi = 0.5 * S.prior.logDet.Ratio(psi_n, psi);
        lnAPpsi += (psi_n - psi) * eS[k] * (-0.5 / S.sp.sigma[k]);
        const double u = gsl_rng_uniform(S.rng);
        if (std::exp(lnAPpsi) > u) {
            S.sp.psi[k] = psi_n;
            RefreshRegressionMatrices(S.prior, k, psi_n, S.sp.sigma[k]);
        }
    }
}

// S9
void UpdateSpatialBlock(SAdmSampler& S, int s, DBL_VCTR_1D& ee, DBL_VCTR_1D& eS) {
    if (s <= S.opt.burnStruct)
        return;
    UpdateSpatialField(S);
    UpdateCoefficients(S, s);
    if (!S.opt.updateSigma && !S.opt.updatePsi)
        return;
    ComputeResiduals(S);
    for (int k = 0; k < S.K; ++k)
        ResidualForms(S, k, ee[k], eS[k]);
    UpdateVariances(S, ee, eS);
    UpdateInteractionParameters(S, eS);
}

// S10, S11
void UpdateCopyLabels(SAdmSampler& S) {
    for (int ii = 0; ii < S.N; ++ii) {
        const int i = S.shuffledInd[ii];
        for (int aa = 0; aa < S.A; ++aa) {
            const int a = S.shuffledPloidy[aa];
            for (int ll = 0; ll < S.L; ++ll) {
                const int l = S.shuffledLoc[ll];
                S.sp.zadMix[i][a][l] =
                    DrawCopyLabel(S.rng, S.sp.q[i], S.sp.p, l, S.Idx(i, a, l), S.labelWork);
            }
        }
    }
}

// S12
double LogLikelihood(SAdmSampler& S) {
    double lh = 0.0;
    for (int i = 0; i < S.N; ++i)
        for (int a = 0; a < S.A; ++a)
            for (int l = 0; l < S.L; ++l) {
                const int j = S.Idx(i, a, l);
                if (j >= 0)
                    lh += S.logp[S.sp.zadMix[i][a][l]][l][j];
            }
    return lh;
}

void AddTo(DBL_VCTR_1D& sum, const DBL_VCTR_1D& v) {
    for (size_t t = 0; t < v.size(); ++t)
        sum[t] += v[t];
}
void AddTo(DBL_VCTR_2D& sum, const DBL_VCTR_2D& v) {
    for (size_t t = 0; t < v.size(); ++t)
        AddTo(sum[t], v[t]);
}

// S13, predictive part: memberships simulated from the trend alone.
void DrawPredictiveLabels(SAdmSampler& S) {
    SAdmChain& c = S.chain;
    ++c.nPredictiveSweeps;
    for (int pass = 0; pass < 10; ++pass)
        for (int i = 0; i < S.N; ++i) {
            for (int k = 0; k < S.K; ++k)
                S.dpqPredict[k] =
                    std::exp(S.Pred[i][k] + gsl_ran_gaussian(S.rng, std::sqrt(S.sp.sigma[k])));
            gsl_ran_dirichlet(S.rng, S.K, S.dpqPredict.data(), S.QPredict.data());
            for (int a = 0; a < S.A; ++a)
                for (int l = 0; l < S.L; ++l) {
                    const int k = SelectANum(S.rng, S.QPredict);
                    c.nb_cluster_individual[i][k] += 1;
                    for (int v = 0; v < S.opt.nbQualVar; ++v)
                        c.nClusterQualVar[v][S.setup.data.XQual[i][v]][k] += 1;
                }
        }
}

// S13
void AccumulateSweep(SAdmSampler& S, int s) {
    if (s < S.opt.BurnIn)
        return;
    SAdmChain& c = S.chain;
    CSweepParams& avg = c.spAverage;
    for (int k = 0; k < S.K; ++k)
        AddTo(avg.p[k], S.sp.p[k]);
    AddTo(avg.sigma, S.sp.sigma);
    AddTo(avg.psi, S.sp.psi);
    AddTo(avg.q, S.sp.q);
    AddTo(avg.alpha, S.sp.alpha);
    int* admix = c.cpAverageAdmix.data();
    for (int i = 0; i < S.N; ++i)
        for (int l = 0; l < S.L; ++l)
            for (int a = 0; a < S.A; ++a) {
                const int k = S.sp.zadMix[i][a][l];
                c.cpAverage[i][k] += 1;
                ++admix[((static_cast<size_t>(i) * S.A + a) * S.L + l) * S.K + k];
            }
    AddTo(avg.beta, S.sp.beta);
    c.varDeviance += 4 * c.LH[s] * c.LH[s];
    if (s % 10 == 0)
        DrawPredictiveLabels(S);
}

void RunSweeps(SAdmSampler& S) {
    DBL_VCTR_1D ee(S.K), eS(S.K);
    for (int s = 0; s < S.opt.TotalSweep; ++s) {
        ShuffleVisitingOrders(S);
        DrawRecessiveGenotypes(S);
        CountAlleles(S);
        UpdateAlleleFrequencies(S);
        UpdateAdmixtureProportions(S);
        UpdateSpatialBlock(S, s, ee, eS);
        UpdateCopyLabels(S);
        S.chain.LH[s] = LogLikelihood(S);
        AccumulateSweep(S, s);
        PrintSweepProgress(s + 1, S.opt.NumOfDigits);
    }
}

}  // namespace

int CountPredictiveSweeps(int BurnIn, int TotalSweep) {
    int count = 0;
    for (int s = BurnIn; s < TotalSweep; ++s)
        count += (s % 10 == 0);
    return count;
}

int DrawCopyLabel(const gsl_rng* rng, const DBL_VCTR_1D& q_i, const DBL_VCTR_3D& p, int l, int j,
                  DBL_VCTR_1D& work) {
    if (j < 0)
        return SelectANum(rng, q_i);
    const size_t K = q_i.size();
    double sum = 0.0;
    for (size_t k = 0; k < K; ++k) {
        work[k] = q_i[k] * p[k][l][j];
        sum += work[k];
    }
    if (!(sum > 0.0) || !std::isfinite(sum))
        return SelectANum(rng, q_i);
    for (size_t k = 0; k < K; ++k)
        work[k] /= sum;
    return SelectANum(rng, work);
}

namespace {

// A share of the individuals (a quarter below 120 loci, a twentieth from 120
// on, at least one) moved to another cluster at random.
void MoveAShareOfLabels(INT_VCTR_1D& z, int L, int K, const gsl_rng* rng) {
    const int N = static_cast<int>(z.size());
    int SN = static_cast<int>(N * (L <= 119 ? 0.25 : 0.05));
    if (SN == 0)
        SN = 1;
    INT_VCTR_1D all(N), chosen(SN);
    std::iota(all.begin(), all.end(), 0);
    gsl_ran_choose(rng, chosen.data(), SN, all.data(), N, sizeof(int));
    INT_VCTR_1D labels(K);
    std::iota(labels.begin(), labels.end(), 0);
    for (int i : chosen) {
        int label = z[i];
        while (label == z[i])
            gsl_ran_choose(rng, &label, 1, labels.data(), K, sizeof(int));
        z[i] = label;
    }
}

int CountLoci(const INT_VCTR_3D& X) {
    return !X.empty() && !X[0].empty() ? static_cast<int>(X[0][0].size()) : 0;
}

}  // namespace

INT_VCTR_1D HierarchicalStartLabels(const INT_VCTR_3D& X, int K, const gsl_rng* rng) {
    INT_VCTR_1D z = HClustering(X, WAR, K, true);
    MoveAShareOfLabels(z, CountLoci(X), K, rng);
    return z;
}

INT_VCTR_1D KMeansAdmStartLabels(const INT_VCTR_3D& X, const INT_VCTR_2D& alleleV, int K,
                                 const gsl_rng* rng) {
    INT_VCTR_1D z = KMeansStartLabels(X, alleleV, K, rng);
    MoveAShareOfLabels(z, CountLoci(X), K, rng);
    return z;
}

void FrequenciesFromLabels(DBL_VCTR_3D& p, const INT_VCTR_3D& X, const INT_VCTR_1D& z,
                           const INT_VCTR_2D& alleleV, int K) {
    const size_t N = X.size();
    const size_t A = N ? X[0].size() : 0;
    const size_t L = alleleV.size();
    INT_VCTR_1D members(K, 0);
    for (size_t i = 0; i < N; ++i)
        ++members[z[i]];
    for (int k = 0; k < K; ++k)
        for (size_t l = 0; l < L; ++l)
            std::fill(p[k][l].begin(), p[k][l].end(), 0.0);
    for (size_t i = 0; i < N; ++i)
        for (size_t a = 0; a < A; ++a)
            for (size_t l = 0; l < L; ++l) {
                const int j = FindAlleleIndex(alleleV[l], X[i][a][l]);
                if (j >= 0)
                    p[z[i]][l][j] += 1.0;
            }
    for (int k = 0; k < K; ++k) {
        if (members[k] == 0)
            continue;
        const double copies = static_cast<double>(members[k]) * A;
        for (size_t l = 0; l < L; ++l)
            for (double& v : p[k][l])
                v /= copies;
    }
}

void RunAdmixtureSampler(const SAdmOptions& opt, SAdmSetup& setup, gsl_rng* rng,
                         CSpatialPrior& prior, SAdmChain& chain) {
    SAdmSampler S(opt, setup, prior, rng, chain);
    Initialise(S);
    RunSweeps(S);
    PlotLH(opt.FOFN + "LH.png", chain.LH);
    PlotBetaHist(opt.FOFN + "BH.png", chain.BH, setup.data.nQualLevels, opt.nbQuantVar,
                 opt.trendDegree);
}
