#include "breloAdm/AdmixtureSampler.h"

#include <gsl/gsl_randist.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <memory>
#include <numeric>
#include <utility>

#include "breloAdm/AdmixtureSteps.h"
#include "breloAdm/HierarchicalClustering.h"
#include "core/MatrixUtilities.h"
#include "core/MiscUtilities.h"
#include "core/RNGUtilities.h"
#include "core/RandomStreams.h"
#include "core/ReplicaExchange.h"
#include "core/ThreadPool.h"
#include "io/AlleleCountFeatures.h"
#include "io/IOUtilities.h"
#include "io/RunDiagnostics.h"
#include "plot/PlotUtilities.h"

namespace {

// ---------------------------------------------------------------------------
// Initialisation

void PlotInitialMembership(const SAdmSampler& S, const INT_VCTR_1D& labels) {
    const STessellation& t = S.setup.tess;
    PlotHC(S.opt.FOFN + "IM.png", t.vptC, t.vbKeep, t.vdDataMinMax, t.veVoronoi, labels, S.opt.K);
}

// I2: labels and frequencies of the hierarchical (or k-means) start, drawn
// on the map for the first replica.
void InitialiseFromClustering(SAdmSampler& S, bool plot) {
    S.sp.z = S.opt.kmeansStart ? KMeansAdmStartLabels(S.X, S.K, S.rng)
                               : HierarchicalStartLabels(S.X, S.K, S.rng);
    FrequenciesFromLabels(S.sp.p, S.X, S.sp.z, S.K);
    if (plot)
        PlotInitialMembership(S, S.sp.z);
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
    if (S.opt.CF.empty() ||
        !LoadCF(sp.sigma, sp.beta, sp.alpha, sp.q, sp.zadMix, sp.p, S.opt.CF, &S.setup.data.Xtild))
        return false;
    // The coefficient draws were set up with the variances of -x.
    for (int k = 0; k < S.K; ++k)
        RefreshSigma(S.prior, k, sp.sigma[k]);
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

// I7: the histories of every replica.
void SizeTraces(SAdmSampler& S) {
    SAdmChain& c = S.chain;
    InitVctr1D(c.LH, S.opt.TotalSweep, 0.0);
    InitVctr3D(c.BH, S.K, S.bl, S.opt.TotalSweep, 0.0);
    InitVctr2D(c.sigmaH, S.K, S.opt.TotalSweep, 0.0);
    InitVctr2D(c.psiH, S.K, S.opt.TotalSweep, 0.0);
}

// I7: histories and sums of the reported chain.
void SizeAccumulators(SAdmSampler& S) {
    SizeTraces(S);
    SAdmChain& c = S.chain;
    CSweepParams& avg = c.spAverage;
    InitVctr1D(avg.psi, S.K, 0.0);
    InitVctr3D(avg.p, S.K, S.L, S.setup.J, 0.0);
    InitVctr1D(avg.sigma, S.K, 0.0);
    InitVctr1D(avg.drift, S.K, 0.0);
    InitVctr2D(avg.q, S.N, S.K, 0.0);
    InitVctr2D(avg.beta, S.K, S.bl, 0.0);
    InitVctr2D(avg.alpha, S.N, S.K, 0.0);
    InitVctr2D(c.cpAverage, S.N, S.K, 0.0);
    c.cpAverageAdmix.Size(S.sp.zadMix.N() * static_cast<size_t>(S.A) * S.L, S.K,
                          std::max(S.opt.TotalSweep - S.opt.BurnIn, 0));
    InitVctr2D(c.nb_cluster_individual, S.N, S.K, 0.0);
    c.nClusterQualVar.clear();
    for (int v = 0; v < S.opt.nbQualVar; ++v)
        c.nClusterQualVar.push_back(
            DBL_VCTR_2D(S.setup.data.nQualLevels[v], DBL_VCTR_1D(S.K, 0.0)));
    c.varDeviance = 0.0;
    c.nPredictiveSweeps = 0;
}

// A replica of the chain beside the first (replica exchange): its state and
// step counters in a chain of its own, whose traces hold its sweeps and
// whose sums stay empty; the prior matrices, which follow its sigma and psi;
// with recessive alleles, the genotypes its sweeps draw.
struct SAdmReplica {
    SAdmChain chain;
    CSpatialPrior prior;
    CGenotypeStore X;
    std::unique_ptr<SAdmSampler> sampler;
};

// The sampler of replica r, the first chain's for r = 0.
SAdmSampler& ReplicaSampler(SAdmSampler& first, std::vector<SAdmReplica>& others, int r) {
    return r == 0 ? first : *others[r - 1].sampler;
}

// The starting state of a replica, drawn as the first one's (the same
// clustering start or continuation file) from its own generator, with a
// copy of the first one's prior made before its initial-field factor is
// freed. On the sparse route the log-determinant gets a factor of its own,
// so that the replicas' psi steps never share one.
void StartReplica(SAdmSampler& first, SAdmReplica& r, int replica, gsl_rng* rng) {
    const SAdmOptions& opt = first.opt;
    r.prior = first.prior;
    if (!r.prior.logDet.HoldsSpectrum())
        r.prior.logDet.Build(r.prior.W, false);
    if (opt.isRecAllele)
        r.X = first.setup.data.X;
    r.sampler = std::make_unique<SAdmSampler>(opt, first.setup, r.prior, rng, r.chain,
                                              opt.isRecAllele ? r.X : first.setup.data.X);
    SAdmSampler& R = *r.sampler;
    R.pool = first.pool;
    R.replica = replica;
    SizeSamplerState(R);
    if (opt.nj)
        InitialiseFromClustering(R, false);
    R.sp.psi = first.sp.psi;
    if (!LoadStartingValues(R))
        DrawStartingValues(R);
    StartFrequencyPrior(R);
    SizeTraces(R);
}

void Initialise(SAdmSampler& S, std::vector<SAdmReplica>& others, CReplicaGenerators& rngs) {
    SizeSamplerState(S);
    if (S.opt.nj)
        InitialiseFromClustering(S, true);
    S.prior.coefficientScale = S.opt.coefScale;
    if (!S.prior.routes)  // the whole spectrum only when psi moves
        S.prior.routes = DefaultPriorRoutes(S.N, S.opt.updatePsi);
    BuildSpatialPrior(S.prior, S.sp.psi, S.sp.sigma, S.NS, S.setup.geo, S.setup.theta,
                      S.setup.data.Xtild, S.opt.psiUser);
    for (size_t r = 0; r < others.size(); ++r)
        StartReplica(S, others[r], static_cast<int>(r) + 1, rngs[static_cast<int>(r) + 1]);
    if (!LoadStartingValues(S))
        DrawStartingValues(S);
    StartFrequencyPrior(S);
    if (!S.opt.nj)
        PlotStartingMembership(S);
    std::cout << "Completed" << std::endl;
    SizeAccumulators(S);
}

// ---------------------------------------------------------------------------
// Accumulation

void AddTo(DBL_VCTR_1D& sum, const DBL_VCTR_1D& v) {
    for (size_t t = 0; t < v.size(); ++t)
        sum[t] += v[t];
}
void AddTo(DBL_VCTR_2D& sum, const DBL_VCTR_2D& v) {
    for (size_t t = 0; t < v.size(); ++t)
        AddTo(sum[t], v[t]);
}

// S13, predictive part: memberships simulated from the trend alone of the
// state of S, counted in c. Only the counts of the labels of each
// individual's A x L copies are kept, so they are drawn at once, from the
// multinomial law of A x L draws of its simulated proportions.
void DrawPredictiveLabels(SAdmChain& c, SAdmSampler& S) {
    ++c.nPredictiveSweeps;
    const unsigned copies = static_cast<unsigned>(S.A) * static_cast<unsigned>(S.L);
    std::vector<unsigned> counts(S.K);
    for (int pass = 0; pass < 10; ++pass)
        for (int i = 0; i < S.N; ++i) {
            for (int k = 0; k < S.K; ++k)
                S.dpqPredict[k] =
                    std::exp(S.Pred[i][k] + gsl_ran_gaussian(S.rng, std::sqrt(S.sp.sigma[k])));
            gsl_ran_dirichlet(S.rng, S.K, S.dpqPredict.data(), S.QPredict.data());
            gsl_ran_multinomial(S.rng, S.K, copies, S.QPredict.data(), counts.data());
            for (int k = 0; k < S.K; ++k) {
                c.nb_cluster_individual[i][k] += counts[k];
                for (int v = 0; v < S.opt.nbQualVar; ++v)
                    c.nClusterQualVar[v][S.setup.data.XQual[i][v]][k] += counts[k];
            }
        }
}

// S13: the state of S (the replica at power 1) in the sums of c.
void AccumulateSweep(SAdmChain& c, SAdmSampler& S, int s) {
    if (s < S.opt.BurnIn)
        return;
    CSweepParams& avg = c.spAverage;
    for (int k = 0; k < S.K; ++k)
        AddTo(avg.p[k], S.sp.p[k]);
    AddTo(avg.sigma, S.sp.sigma);
    AddTo(avg.drift, S.sp.drift);
    AddTo(avg.psi, S.sp.psi);
    AddTo(avg.q, S.sp.q);
    AddTo(avg.alpha, S.sp.alpha);
    ForIndividualBlocks(S, [&](SAdmBlock&, SBlockRange ind) {
        for (int i = ind.first; i < ind.last; ++i)
            for (int a = 0; a < S.A; ++a) {
                const CCopyLabels::CConstRow z = S.sp.zadMix[i][a];
                for (int l = 0; l < S.L; ++l)
                    c.cpAverage[i][z[l]] += 1;
            }
    });
    c.cpAverageAdmix.Add(S.sp.zadMix);
    AddTo(avg.beta, S.sp.beta);
    c.varDeviance += 4 * c.LH[s] * c.LH[s];
    if (s % 10 == 0)
        DrawPredictiveLabels(c, S);
}

// ---------------------------------------------------------------------------
// Replica exchange

// Every acceptance counter of a chain, in one order.
std::vector<CAcceptanceCounter*> AcceptanceCounters(SAdmChain& c) {
    std::vector<CAcceptanceCounter*> all;
    for (auto* perCluster :
         {&c.fieldAcceptance, &c.psiAcceptance, &c.trendAcceptance, &c.scaleAcceptance})
        for (CAcceptanceCounter& counter : *perCluster)
            all.push_back(&counter);
    for (CAcceptanceCounter& counter : c.driftAcceptance)
        all.push_back(&counter);
    for (CAcceptanceCounter* counter :
         {&c.levelAcceptance, &c.commonAcceptance, &c.proportionAcceptance, &c.ancestralAcceptance})
        all.push_back(counter);
    return all;
}

std::vector<CAcceptanceCounter> CounterValues(SAdmChain& c) {
    std::vector<CAcceptanceCounter> values;
    for (const CAcceptanceCounter* counter : AcceptanceCounters(c))
        values.push_back(*counter);
    return values;
}

// What the counters of c gained since they held before, added to tally.
void AddCounterGains(std::vector<CAcceptanceCounter>& tally, SAdmChain& c,
                     const std::vector<CAcceptanceCounter>& before) {
    const std::vector<CAcceptanceCounter*> now = AcceptanceCounters(c);
    for (size_t t = 0; t < now.size(); ++t) {
        tally[t].proposed += now[t]->proposed - before[t].proposed;
        tally[t].accepted += now[t]->accepted - before[t].accepted;
    }
}

// The traces of sweep s of one replica into those of the chain.
void CopySweepTraces(SAdmChain& to, const SAdmChain& from, int s) {
    to.LH[s] = from.LH[s];
    for (size_t k = 0; k < to.BH.size(); ++k) {
        for (size_t b = 0; b < to.BH[k].size(); ++b)
            to.BH[k][b][s] = from.BH[k][b][s];
        to.sigmaH[k][s] = from.sigmaH[k][s];
        to.psiH[k][s] = from.psiH[k][s];
    }
}

// The replicas of a run and their exchange. The first replica is the chain
// of S (its state, sums and traces); the chain keeps what the replica at
// power 1 holds after each round's swaps, and the step counts of the sweeps
// made at power 1.
class CAdmExchange {
  public:
    CAdmExchange(SAdmSampler& first, std::vector<SAdmReplica>& others, CReplicaExchange& exchange,
                 CThreadPool& pool)
        : m_first(first),
          m_others(others),
          m_exchange(exchange),
          m_pool(pool),
          m_tally(CounterValues(first.chain).size()) {}

    // Round s: every replica's sweep at the power of its rung, the swaps
    // (the ladder adapting in the burn-in), then the chain's traces and sums
    // from the replica at power 1.
    void Round(int s) {
        const int swept = m_exchange.ReplicaAt(0);
        const std::vector<CAcceptanceCounter> before = CounterValues(Sampler(swept).chain);
        auto sweep = [&](int r, double power) {
            SAdmSampler& R = Sampler(r);
            R.power = power;
            RunSweep(R, s);
            return true;
        };
        auto logLikelihood = [&](int r) { return Sampler(r).chain.LH[s]; };
        m_exchange.Round(m_pool, sweep, logLikelihood, s < m_first.opt.BurnIn);
        AddCounterGains(m_tally, Sampler(swept).chain, before);
        SAdmSampler& reported = Sampler(m_exchange.ReplicaAt(0));
        if (&reported != &m_first)
            CopySweepTraces(m_first.chain, reported.chain, s);
        AccumulateSweep(m_first.chain, reported, s);
    }

    // The chain ends with the state of the replica at power 1 (and its
    // genotypes, with recessive alleles) and the step counts at power 1.
    void Finish() {
        const std::vector<CAcceptanceCounter*> counters = AcceptanceCounters(m_first.chain);
        for (size_t t = 0; t < counters.size(); ++t)
            *counters[t] = m_tally[t];
        SAdmSampler& reported = Sampler(m_exchange.ReplicaAt(0));
        if (&reported == &m_first)
            return;
        std::swap(m_first.sp, reported.sp);
        if (m_first.opt.isRecAllele)
            std::swap(m_first.X, reported.X);
    }

  private:
    SAdmSampler& Sampler(int r) { return ReplicaSampler(m_first, m_others, r); }

    SAdmSampler& m_first;
    std::vector<SAdmReplica>& m_others;
    CReplicaExchange& m_exchange;
    CThreadPool& m_pool;
    std::vector<CAcceptanceCounter> m_tally;
};

void RunSweeps(SAdmSampler& S, std::vector<SAdmReplica>& others, CThreadPool& pool) {
    if (others.empty()) {
        for (int s = 0; s < S.opt.TotalSweep; ++s) {
            RunSweep(S, s);
            AccumulateSweep(S.chain, S, s);
            PrintSweepProgress(s + 1, S.opt.NumOfDigits);
        }
        return;
    }
    CAdmExchange exchange(S, others, *S.chain.exchange, pool);
    for (int s = 0; s < S.opt.TotalSweep; ++s) {
        exchange.Round(s);
        PrintSweepProgress(s + 1, S.opt.NumOfDigits);
    }
    exchange.Finish();
}

}  // namespace

void CCopyLabelCounts::Size(size_t copies, int K, int maxSweeps) {
    m_nCopies = copies;
    m_nK = K;
    m_nSweeps = 0;
    m_bLong = maxSweeps > std::numeric_limits<uint16_t>::max();
    const size_t cells = copies * static_cast<size_t>(K > 1 ? K - 1 : 0);
    m_vShort.assign(m_bLong ? 0 : cells, 0);
    m_vLong.assign(m_bLong ? cells : 0, 0);
}

template <class T>
void CCopyLabelCounts::AddTo(std::vector<T>& counts, const CCopyLabels& labels) {
    const int last = m_nK - 1;
    T* row = counts.data();
    for (int i = 0; i < labels.N(); ++i)
        for (int a = 0; a < labels.A(); ++a) {
            const CCopyLabels::CConstRow z = labels[i][a];
            for (int l = 0; l < labels.L(); ++l, row += last) {
                const int k = z[l];
                if (k < last)
                    ++row[k];
            }
        }
}

void CCopyLabelCounts::Add(const CCopyLabels& labels) {
    if (!m_bLong && m_nSweeps == std::numeric_limits<uint16_t>::max()) {
        m_vLong.assign(m_vShort.begin(), m_vShort.end());
        std::vector<uint16_t>().swap(m_vShort);
        m_bLong = true;
    }
    if (m_bLong)
        AddTo(m_vLong, labels);
    else
        AddTo(m_vShort, labels);
    ++m_nSweeps;
}

void CCopyLabelCounts::Counts(size_t copy, int* out) const {
    const int last = m_nK - 1;
    const size_t first = copy * last;
    int others = 0;
    for (int k = 0; k < last; ++k) {
        out[k] = m_bLong ? static_cast<int>(m_vLong[first + k]) : m_vShort[first + k];
        others += out[k];
    }
    out[last] = m_nSweeps - others;
}

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

}  // namespace

INT_VCTR_1D HierarchicalStartLabels(const CGenotypeStore& X, int K, const gsl_rng* rng) {
    INT_VCTR_1D z = HClustering(X, WAR, K, true);
    MoveAShareOfLabels(z, X.L(), K, rng);
    return z;
}

INT_VCTR_1D KMeansAdmStartLabels(const CGenotypeStore& X, int K, const gsl_rng* rng) {
    INT_VCTR_1D z = KMeansStartLabels(X, K, rng);
    MoveAShareOfLabels(z, X.L(), K, rng);
    return z;
}

void FrequenciesFromLabels(DBL_VCTR_3D& p, const CGenotypeStore& X, const INT_VCTR_1D& z, int K) {
    const int N = X.N(), A = X.A(), L = X.L();
    INT_VCTR_1D members(K, 0);
    for (int i = 0; i < N; ++i)
        ++members[z[i]];
    for (int k = 0; k < K; ++k)
        for (int l = 0; l < L; ++l)
            std::fill(p[k][l].begin(), p[k][l].end(), 0.0);
    for (int i = 0; i < N; ++i)
        for (int a = 0; a < A; ++a)
            for (int l = 0; l < L; ++l) {
                const int j = X.Index(i, a, l);
                if (j != CGenotypeStore::kMissing)
                    p[z[i]][l][j] += 1.0;
            }
    for (int k = 0; k < K; ++k) {
        if (members[k] == 0)
            continue;
        const double copies = static_cast<double>(members[k]) * A;
        for (int l = 0; l < L; ++l)
            for (double& v : p[k][l])
                v /= copies;
    }
}

void RunAdmixtureSampler(const SAdmOptions& opt, SAdmSetup& setup, gsl_rng* rng,
                         CSpatialPrior& prior, SAdmChain& chain) {
    SAdmSampler S(opt, setup, prior, rng, chain);
    const int threads = ThreadsFromOption(opt.threads);
    chain.exchange = std::make_unique<CReplicaExchange>(opt.replicas, setup.seed);
    if (opt.replicas > 1)
        PrintReplicaExchange(opt.replicas, threads);
    CReplicaGenerators rngs(rng, setup.seed, opt.replicas);
    std::vector<SAdmReplica> others(opt.replicas - 1);
    CThreadPool pool(threads);
    S.pool = &pool;
    Initialise(S, others, rngs);
    RunSweeps(S, others, pool);
    PlotLH(opt.FOFN + "LH.png", chain.LH, opt.BurnIn);
    PlotBetaHist(opt.FOFN + "BH.png", chain.BH, setup.data.nQualLevels, opt.nbQuantVar,
                 opt.trendDegree, opt.BurnIn);
}
