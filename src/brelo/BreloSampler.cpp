#include "brelo/BreloSampler.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <limits>
#include <sstream>
#include <type_traits>

#include <gsl/gsl_errno.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_sf_gamma.h>

#include "brelo/BreloSweepSteps.h"
#include "brelo/TruncatedGaussian.h"
#include "core/MatrixUtilities.h"
#include "core/Messages.h"
#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "core/RNGUtilities.h"
#include "core/RandomStreams.h"
#include "core/SweepBlocks.h"
#include "core/ThreadPool.h"
#include "io/AlleleCountFeatures.h"
#include "io/PackedGenotypeSums.h"
#include "io/ResultTables.h"
#include "io/RunDiagnostics.h"

namespace {

// Stored in place of the log of a zero frequency or of an empty cluster.
constexpr double kLogZero = -707.0;

// Loci a block of the two-cluster reallocation's passes takes. The blocks
// are the same whatever the number of threads, and the sums of the blocks
// are added in block order, so the move draws the same with one thread or
// many.
constexpr int kReallocationLoci = 1024;
// Loci a block of the frequency draws takes, with its own generator stream
// when there is more than one block.
constexpr int kFrequencyLoci = 1024;

double GuardedLog(double x) {
    return x > 0 ? std::log(x) : kLogZero;
}

// ---------------------------------------------------------------- set-up

// Offsets of the allele lists first .. first+count-1 in one flat table.
int MakeOffsets(const INT_VCTR_1D& J, int first, int count, INT_VCTR_1D& offset) {
    offset.assign(count, 0);
    int total = 0;
    for (int l = 0; l < count; ++l) {
        offset[l] = total;
        total += J[first + l];
    }
    return total + 1;  // one more slot for missing copies
}

void AppendAlleleLists(const CGenotypeStore& X, SBreloChain& c) {
    for (int l = 0; l < X.L(); ++l) {
        c.alleleV.push_back(X.Alleles(l));
        c.J.push_back(X.J(l));
    }
}

void BuildAlleleCoding(SBreloChain& c) {
    const SBreloData& d = c.data;
    c.alleleV.clear();
    c.J.clear();
    AppendAlleleLists(d.X, c);
    if (c.LV > 0)
        AppendAlleleLists(d.XnewLoci, c);
    c.stride = MakeOffsets(c.J, 0, c.L, c.offset);
    c.strideValid = MakeOffsets(c.J, c.L, c.LV, c.offsetValid);
}

// Constant part of the Dirichlet-multinomial likelihood of the held-out loci.
double HeldOutLociConstant(const SBreloChain& c) {
    double sumLnGamma = 0.0;
    double sumJ = 0.0;
    for (int l = 0; l < c.LV; ++l) {
        sumLnGamma += gsl_sf_lngamma(c.lambda * c.J[c.L + l]);
        sumJ += c.J[c.L + l];
    }
    return c.K * (sumLnGamma - gsl_sf_lngamma(c.lambda) * sumJ);
}

// Burn-in split: with covariates, the structure burn-in (unless given) is
// 5 % of the burn-in, at most 50 sweeps, taken out of it; without, every
// sweep is a structure sweep.
void SplitBurnIn(SBreloChain& c, const SBreloOptions& opts) {
    c.TotalSweep = opts.TotalSweep;
    c.BurnIn = opts.BurnIn;
    c.BurnInStructure = opts.BurnInStructure;
    if (c.beta_length > 0) {
        if (!opts.bBurnInStructure) {
            c.BurnInStructure = std::min(static_cast<int>(std::floor(0.05 * c.BurnIn)), 50);
            c.BurnIn -= c.BurnInStructure;
        }
        c.KeptSweep = c.TotalSweep - c.BurnIn - c.BurnInStructure;
    } else {
        std::cout << "No covariates" << std::endl;
        c.KeptSweep = c.TotalSweep - c.BurnIn - c.BurnInStructure;
        c.BurnIn = 0;
        c.BurnInStructure = c.TotalSweep;
    }
}

// Reallocations per structure sweep: as many as asked (-zr), else with -zg
// enough for every pair of clusters to be drawn about once in K sweeps. None
// with one cluster.
int ReallocationsPerSweep(const SBreloOptions& opts) {
    if (opts.K < 2)
        return 0;
    if (opts.reallocations >= 0)
        return opts.reallocations;
    return opts.gibbsLabels ? std::max(1, (opts.K - 1) / 2) : 0;
}

void AllocatePackedWork(int K, int loci, int individuals, SPackedWork& w) {
    w.observedCounts.assign(static_cast<size_t>(K) * loci, 0);
    w.allele1Counts.assign(static_cast<size_t>(K) * loci, 0);
    w.logprFlat.assign(static_cast<size_t>(individuals) * K, 0.0);
}

void AllocateReplica(const SBreloChain& c, SBreloReplica& r) {
    const int N = c.N, K = c.K, R = c.R, B = c.beta_length;
    InitVctr1D(r.spSweep.z, N, 0);
    InitVctr3D(r.spSweep.p, K, c.L, c.J, 0.0);
    InitVctr2D(r.spSweep.w, N, R, 0.0);
    InitVctr2D(r.spSweep.beta, R, B, 0.0);
    r.n.assign(static_cast<size_t>(K) * c.stride, 0);
    r.logp.assign(static_cast<size_t>(K) * c.stride, 0.0);
    int maxJ = 0;
    for (int j : c.J)
        maxJ = std::max(maxJ, j);
    r.DirParams.assign(maxJ, c.lambda);
    InitVctr2D(r.logpr, N, K, 0.0);
    r.maxlogPr.assign(N, -std::numeric_limits<double>::infinity());
    r.sumlogPr.assign(N, 0.0);
    InitVctr2D(r.Pred, N, R, 0.0);
    r.classProbs.assign(K, 0.0);
    r.betaPrev.assign(B, 0.0);
    InitVctr2D(r.Mat_tmp, c.hasRegression ? B : 0, R, 0.0);
    InitVctr2D(r.beta_mean, c.hasRegression ? R : 0, B, 0.0);
    r.rss.assign(K, 0.0);
    r.pairCounts.assign(2 * static_cast<size_t>(c.stride), 0);
    r.pairTotals.assign(2 * static_cast<size_t>(c.L), 0);
    r.pairMembers.reserve(N);
    r.pairLabels.assign(N, 0);
    r.pairPartials.assign(
        2 * static_cast<size_t>((c.L + kReallocationLoci - 1) / kReallocationLoci), 0.0);
    if (c.data.X.IsPacked()) {
        r.genotypeLog.assign(static_cast<size_t>(c.L) * 4 * K, 0.0);
        AllocatePackedWork(K, c.L, N, r.packed);
    }
}

void AllocateChainArrays(SBreloChain& c, int replicas) {
    const int N = c.N, K = c.K, R = c.R, B = c.beta_length;
    c.replicas.assign(std::max(replicas, 1), SBreloReplica());
    for (SBreloReplica& r : c.replicas)
        AllocateReplica(c, r);
    c.spAverage = c.replicas[0].spSweep;

    InitVctr2D(c.Pred_valid, c.data.bValOnIndiv ? c.NV : 0, R, 0.0);
    c.validClass.assign(c.NV, 0);
    c.nValid.assign(static_cast<size_t>(K) * c.strideValid, 0);
    if (c.data.XsameLoci.IsPacked() || c.data.XnewLoci.IsPacked())
        AllocatePackedWork(K, std::max(c.LV, c.L), c.NV, c.packedValid);

    InitVctr3D(c.BH, R, B, c.TotalSweep, 0.0);
    c.LH.assign(c.TotalSweep, 0.0);
    c.LH_valid.assign(c.KeptSweep, 0.0);
    InitVctr2D(c.AIC, c.TotalSweep, K, 0.0);
    InitVctr2D(c.RSS, c.TotalSweep, K, 0.0);
    InitVctr2D(c.varBeta, R, B, 0.0);
    InitVctr2D(c.cpAverage, N, K, 0.0);
    InitVctr2D(c.nClusterIndiv, N, K, 0.0);
    InitVctr2D(c.nClusterIndiv_valid, c.data.bValOnIndiv ? c.NV : 0, K, 0.0);
    const INT_VCTR_1D& levels = c.data.nQualLevels;
    InitVctr3D(c.nClusterQualVar, static_cast<int>(levels.size()), levels, K, 0.0);
    InitVctr3D(c.nClusterQualVar_valid, static_cast<int>(levels.size()), levels, K, 0.0);
}

}  // namespace

void SetUpRegression(SBreloChain& c) {
    const DBL_VCTR_2D& Xtild = c.data.Xtild;
    DBL_VCTR_2D V_tmp, V;
    Mult_t_left(V_tmp, Xtild, Xtild);
    InverseWithChol(V, V_tmp);
    c.V_chol.clear();
    choldc(c.V_chol, V);
    c.V_tXtild.clear();
    Mult_t(c.V_tXtild, V, Xtild);
}

// ---------------------------------------------------------------- sweep steps

namespace {

// The slot of a copy at a locus of the given offset: its allele's, or the
// missing slot.
template <class T>
inline int CopySlot(T index, int offset, int missingSlot) {
    return index == CGenotypeStore::MissingMarker<T>() ? missingSlot : offset + index;
}

// counts[slot] += 1 for each copy of one individual (A rows of nLoci allele
// indices) at loci of the given offsets.
template <class T>
void CountCopies(const T* index, int A, int nLoci, const int* offset, int missingSlot,
                 int* counts) {
    for (int a = 0; a < A; ++a, index += nLoci)
        for (int l = 0; l < nLoci; ++l)
            ++counts[CopySlot(index[l], offset[l], missingSlot)];
}

}  // namespace

namespace {

// counts[k * stride + offset[l] + j]: copies of allele j at locus l of the
// individuals labelled z[i] = k, from the packed genotypes of X (loci of
// offset).
void CountPackedCopies(const CGenotypeStore& X, const int* z, int K, const int* offset, int stride,
                       SPackedWork& work, int* counts, CThreadPool* pool) {
    const int L = X.L();
    CountPackedAlleles(X, z, K, work.observedCounts.data(), work.allele1Counts.data(),
                       work.countWork, pool);
    for (int k = 0; k < K; ++k)
        for (int l = 0; l < L; ++l) {
            const size_t kl = static_cast<size_t>(k) * L + l;
            int* n = counts + static_cast<size_t>(k) * stride + offset[l];
            const int alleles = X.J(l);
            if (alleles > 0)
                n[0] = 2 * work.observedCounts[kl] - work.allele1Counts[kl];
            if (alleles > 1)
                n[1] = work.allele1Counts[kl];
        }
}

}  // namespace

// Counts of each allele per cluster in one pass over the genotypes.
void CountAlleles(const SBreloChain& c, SBreloReplica& r) {
    std::fill(r.n.begin(), r.n.end(), 0);
    const size_t AL = static_cast<size_t>(c.A) * c.L;
    if (c.data.X.IsPacked()) {
        CountPackedCopies(c.data.X, r.spSweep.z.data(), c.K, c.offset.data(), c.stride, r.packed,
                          r.n.data(), c.pool);
        return;
    }
    c.data.X.VisitIndices([&](const auto* index) {
        for (int i = 0; i < c.N; ++i)
            CountCopies(index + i * AL, c.A, c.L, c.offset.data(), c.stride - 1,
                        &r.n[static_cast<size_t>(r.spSweep.z[i]) * c.stride]);
    });
}

namespace {

// p[k][l] ~ Dirichlet(lambda + power * counts) at loci first..last-1, for
// every k in turn, drawn from rng: the counts of the copies weigh as much as
// the likelihood's power says. params holds the largest J.
void DrawFrequenciesOfLoci(const SBreloChain& c, SBreloReplica& r, int first, int last,
                           double* params, gsl_rng* rng) {
    for (int k = 0; k < c.K; ++k)
        for (int l = first; l < last; ++l) {
            if (c.J[l] <= 0)
                continue;
            const int* counts = &r.n[static_cast<size_t>(k) * c.stride + c.offset[l]];
            for (int j = 0; j < c.J[l]; ++j)
                params[j] = c.lambda + r.power * counts[j];
            gsl_ran_dirichlet(rng, c.J[l], params, r.spSweep.p[k][l].data());
        }
}

}  // namespace

// With block streams (many loci), each block of kFrequencyLoci loci draws
// from its own stream, the blocks side by side on the run's threads;
// otherwise every locus from rng, in order.
void DrawAlleleFrequencies(const SBreloChain& c, SBreloReplica& r, gsl_rng*& rng) {
    if (r.blockStreams.streams.empty()) {
        DrawFrequenciesOfLoci(c, r, 0, c.L, r.DirParams.data(), rng);
        return;
    }
    ForEachBlock(c.pool, CBlockRanges(c.L, kFrequencyLoci), [&](int b, SBlockRange loci) {
        DBL_VCTR_1D params(r.DirParams.size());
        DrawFrequenciesOfLoci(c, r, loci.first, loci.last, params.data(),
                              r.blockStreams.streams[b].get());
    });
}

void SetUpBlockStreams(SBreloChain& c, unsigned long seed) {
    const int blocks = CBlockRanges(c.L, kFrequencyLoci).Count();
    for (size_t r = 0; r < c.replicas.size(); ++r)
        c.replicas[r].blockStreams.streams =
            blocks > 1 ? BlockStreams(seed, static_cast<int>(r), EBlockItems::Loci, blocks)
                       : std::vector<CRandomStream>();
}

void UpdateAlleleFrequencies(const SBreloChain& c, SBreloReplica& r, gsl_rng*& rng) {
    CountAlleles(c, r);
    DrawAlleleFrequencies(c, r, rng);
}

// Stored slot by slot, the K clusters side by side, so that the likelihoods
// of one copy in every cluster are read together. The missing slot stays 0.
namespace {

// Loci a task of the per-locus steps takes.
constexpr int kLociPerTask = 4096;

// body(first, last) over the loci 0..L-1 in blocks of kLociPerTask, on the
// run's threads: each locus is written by one block alone.
template <class Body>
void ForLocusBlocks(const SBreloChain& c, int L, const Body& body) {
    const int blocks = (L + kLociPerTask - 1) / kLociPerTask;
    if (c.pool == nullptr || blocks <= 1) {
        body(0, L);
        return;
    }
    c.pool->ParallelFor(
        blocks, [&](int b) { body(b * kLociPerTask, std::min(L, (b + 1) * kLociPerTask)); });
}

// Packed genotypes: the log-likelihood of genotype value g (copies of
// allele 1) at loci first..last-1, 0 for a missing one.
void UpdateGenotypeLogs(const SBreloChain& c, SBreloReplica& r, int first, int last) {
    const int K = c.K;
    for (int l = first; l < last; ++l) {
        double* t = &r.genotypeLog[static_cast<size_t>(l) * 4 * K];
        std::fill(t, t + 4 * K, 0.0);
        if (c.J[l] == 0)
            continue;
        const double* lp0 = &r.logp[static_cast<size_t>(c.offset[l]) * K];
        for (int k = 0; k < K; ++k) {
            t[k] = 2.0 * lp0[k];
            if (c.J[l] > 1) {
                const double lp1 = lp0[K + k];
                t[K + k] = lp0[k] + lp1;
                t[2 * K + k] = 2.0 * lp1;
            }
        }
    }
}

}  // namespace

void UpdateLogFrequencies(const SBreloChain& c, SBreloReplica& r) {
    const bool packed = c.data.X.IsPacked();
    ForLocusBlocks(c, c.L, [&](int first, int last) {
        for (int k = 0; k < c.K; ++k)
            for (int l = first; l < last; ++l)
                for (int j = 0; j < c.J[l]; ++j)
                    r.logp[static_cast<size_t>(c.offset[l] + j) * c.K + k] =
                        GuardedLog(r.spSweep.p[k][l][j]);
        if (packed)
            UpdateGenotypeLogs(c, r, first, last);
    });
}

void UpdateGenotypeLogs(const SBreloChain& c, SBreloReplica& r) {
    UpdateGenotypeLogs(c, r, 0, c.L);
}

namespace {

// The copies of one individual: A rows of L allele indices, with the slots
// of their loci (offset) and the slot of a missing copy.
template <class T>
struct SCopies {
    const T* index;
    int A, L;
    const int* offset;
    int missingSlot;
};

// out[k] = sum over the copies of the log-frequency of their allele in
// cluster k (a missing copy adds the 0 of the missing slot). With the number
// of clusters known at compile time the K sums stay in registers; the order
// of the additions is the same either way.
template <int KK, class T>
void SumCopyLogs(const SCopies<T>& copies, const double* table, int, double* out) {
    double acc[KK] = {};
    const T* index = copies.index;
    for (int a = 0; a < copies.A; ++a, index += copies.L)
        for (int l = 0; l < copies.L; ++l) {
            const int slot = CopySlot(index[l], copies.offset[l], copies.missingSlot);
            const double* row = table + static_cast<size_t>(slot) * KK;
            for (int k = 0; k < KK; ++k)
                acc[k] += row[k];
        }
    std::copy(acc, acc + KK, out);
}

template <class T>
void SumCopyLogsAnyK(const SCopies<T>& copies, const double* table, int K, double* out) {
    std::fill(out, out + K, 0.0);
    const T* index = copies.index;
    for (int a = 0; a < copies.A; ++a, index += copies.L)
        for (int l = 0; l < copies.L; ++l) {
            const int slot = CopySlot(index[l], copies.offset[l], copies.missingSlot);
            const double* row = table + static_cast<size_t>(slot) * K;
            for (int k = 0; k < K; ++k)
                out[k] += row[k];
        }
}

template <class T>
using SumCopyLogsFn = void (*)(const SCopies<T>&, const double*, int, double*);

template <class T>
SumCopyLogsFn<T> ChooseSumCopyLogs(int K) {
    switch (K) {
        case 1:
            return SumCopyLogs<1, T>;
        case 2:
            return SumCopyLogs<2, T>;
        case 3:
            return SumCopyLogs<3, T>;
        case 4:
            return SumCopyLogs<4, T>;
        case 5:
            return SumCopyLogs<5, T>;
        case 6:
            return SumCopyLogs<6, T>;
        case 7:
            return SumCopyLogs<7, T>;
        case 8:
            return SumCopyLogs<8, T>;
        default:
            return SumCopyLogsAnyK<T>;
    }
}

// The individuals first..last-1.
template <class T>
void SumGenotypeLogs(const SBreloChain& c, SBreloReplica& r, const T* index, int first, int last) {
    const size_t AL = static_cast<size_t>(c.A) * c.L;
    const SumCopyLogsFn<T> sumCopyLogs = ChooseSumCopyLogs<T>(c.K);
    SCopies<T> copies{index + first * AL, c.A, c.L, c.offset.data(), c.stride - 1};
    for (int i = first; i < last; ++i, copies.index += AL)
        sumCopyLogs(copies, r.logp.data(), c.K, r.logpr[i].data());
}

// Individuals a task of the per-individual sums takes: each writes its own
// rows, so any split gives the same sums.
constexpr int kIndividualsPerTask = 32;

}  // namespace

void UpdateGenotypeLikelihoods(const SBreloChain& c, SBreloReplica& r) {
    if (c.data.X.IsPacked()) {
        SPackedWork& w = r.packed;
        SumPackedGenotypeValues(c.data.X, r.genotypeLog.data(), c.K, 0, c.N, w.logprFlat.data(),
                                w.sumWork, c.pool);
        for (int i = 0; i < c.N; ++i)
            std::copy_n(&w.logprFlat[static_cast<size_t>(i) * c.K], c.K, r.logpr[i].data());
    } else {
        // Split among the run's threads: with replicas the threads that
        // have no replica left to sweep help with the others' sums.
        c.data.X.VisitIndices([&](const auto* index) {
            ForEachBlock(c.pool, CBlockRanges(c.N, kIndividualsPerTask),
                         [&](int, SBlockRange rows) {
                             SumGenotypeLogs(c, r, index, rows.first, rows.last);
                         });
        });
    }
    for (int i = 0; i < c.N; ++i) {
        double* logpr = r.logpr[i].data();
        double maxLog = -std::numeric_limits<double>::infinity();
        double sumLog = 0.0;
        for (int k = 0; k < c.K; ++k) {
            maxLog = std::max(maxLog, logpr[k]);
            sumLog += logpr[k];
        }
        r.maxlogPr[i] = maxLog;
        r.sumlogPr[i] = sumLog;
    }
}

namespace {

bool IsFixedInReference(const SBreloChain& c, int i) {
    return c.bbase && c.data.isBase[i] == 1;
}

}  // namespace

// Metropolis step on the label of individual i: a uniform proposal accepted
// on the genotype likelihood ratio (raised to the replica's power).
void UpdateLabelByMetropolis(const SBreloChain& c, SBreloReplica& r, int i, gsl_rng*& rng) {
    const int kOld = r.spSweep.z[i];
    const int kNew = static_cast<int>(gsl_rng_uniform_int(rng, c.K));
    if (kNew == kOld)
        return;
    const double dLogRatio = r.logpr[i][kNew] - r.logpr[i][kOld];
    const bool accepted = std::exp(r.power * dLogRatio) > gsl_rng_uniform(rng);
    r.labelAcceptance.Count(accepted);
    if (accepted)
        r.spSweep.z[i] = kNew;
}

// Gibbs draw of the label of individual i from its full conditional under
// the same uniform prior: cluster k with probability proportional to the
// genotype likelihood in k (raised to the replica's power).
void UpdateLabelByGibbs(const SBreloChain& c, SBreloReplica& r, int i, gsl_rng*& rng) {
    double total = 0.0;
    for (int k = 0; k < c.K; ++k) {
        r.classProbs[k] = std::exp(r.power * (r.logpr[i][k] - r.maxlogPr[i]));
        total += r.classProbs[k];
    }
    for (int k = 0; k < c.K; ++k)
        r.classProbs[k] /= total;
    r.spSweep.z[i] = SelectANum(rng, r.classProbs);
}

namespace {

// An individual's copies as the two-cluster reallocation reads them: for
// each locus of a range in turn, visit(l, j, same, present) for each of its
// copies that is not missing, in copy order, j being the copy's allele,
// same the individual's earlier copies of allele j at l and present its
// earlier copies not missing. Rows come from the one- or two-byte store
// read in place...
template <class T>
class CStoredCopies {
  public:
    using Row = const T*;
    CStoredCopies(const CGenotypeStore& X, const T* index)
        : m_index(index), m_A(X.A()), m_L(X.L()) {}
    Row RowOf(int i) const { return m_index + static_cast<size_t>(i) * m_A * m_L; }

    template <class Visit>
    void ForEachCopy(Row row, int first, int last, Visit&& visit) const {
        for (int l = first; l < last; ++l)
            for (int a = 0; a < m_A; ++a) {
                const T index = row[static_cast<size_t>(a) * m_L + l];
                if (index == CGenotypeStore::MissingMarker<T>())
                    continue;
                int same = 0, present = 0;
                for (int b = 0; b < a; ++b) {
                    const T earlier = row[static_cast<size_t>(b) * m_L + l];
                    if (earlier == CGenotypeStore::MissingMarker<T>())
                        continue;
                    ++present;
                    same += earlier == index;
                }
                visit(l, static_cast<int>(index), same, present);
            }
    }

  private:
    const T* m_index;
    int m_A, m_L;
};

// ... or the packed store, read in place: a genotype value g gives copy 0
// allele g / 2 and copy 1 allele (g + 1) / 2 (both missing when g is the
// missing value).
class CPackedCopies {
  public:
    using Row = const uint64_t*;
    explicit CPackedCopies(const CGenotypeStore& X) : m_X(X) {}
    Row RowOf(int i) const { return m_X.Row(i); }

    template <class Visit>
    void ForEachCopy(Row row, int first, int last, Visit&& visit) const {
        for (int l = first; l < last; ++l) {
            const int g = static_cast<int>(row[l / CGenotypeStore::kLociPerWord] >>
                                           (2 * (l % CGenotypeStore::kLociPerWord))) &
                          3;
            if (g == CGenotypeStore::kMissingGenotype)
                continue;
            const int allele0 = g >> 1, allele1 = (g + 1) >> 1;
            visit(l, allele0, 0, 0);
            visit(l, allele1, allele1 == allele0 ? 1 : 0, 1);
        }
    }

  private:
    const CGenotypeStore& m_X;
};

// The sequential allocation of the two-cluster reallocation. Each cluster
// holds the counts of the copies placed in it so far; an individual's
// predictive probability in a cluster is that of its copies given these
// counts, the frequencies integrated out of their Dirichlet(lambda) prior
// with the likelihood raised to the replica's power:
//   prod over copies of  f(lambda + power * n_j) / f(J lambda + power * n)
// where n_j counts the copies of the allele already there (the individual's
// own earlier copies at the locus included), n every copy of the locus, and
// f(x) = Gamma(x + power) / Gamma(x), which is x at power 1.
// Every step works on a range of loci, so that a pass over an individual's
// copies can be split into blocks of loci run side by side.
template <class Copies>
class CPairAllocation {
  public:
    using Row = typename Copies::Row;

    CPairAllocation(const SBreloChain& c, SBreloReplica& r, const Copies& copies)
        : m_c(c), m_r(r), m_copies(copies) {}

    Row RowOf(int i) const { return m_copies.RowOf(i); }

    void Clear() {
        std::fill(m_r.pairCounts.begin(), m_r.pairCounts.end(), 0);
        std::fill(m_r.pairTotals.begin(), m_r.pairTotals.end(), 0);
    }

    // The counts as they stand, kept (Save) to be put back (Restore).
    void Save() {
        m_r.pairSavedCounts = m_r.pairCounts;
        m_r.pairSavedTotals = m_r.pairTotals;
    }
    void Restore() {
        std::copy(m_r.pairSavedCounts.begin(), m_r.pairSavedCounts.end(), m_r.pairCounts.begin());
        std::copy(m_r.pairSavedTotals.begin(), m_r.pairSavedTotals.end(), m_r.pairTotals.begin());
    }

    // The copies of an individual (its row) at loci first..last-1 into
    // (sign 1) or out of (sign -1) side.
    void Move(Row row, int side, int sign, int first, int last) {
        int* counts = &m_r.pairCounts[static_cast<size_t>(side) * m_c.stride];
        int* totals = &m_r.pairTotals[static_cast<size_t>(side) * m_c.L];
        m_copies.ForEachCopy(row, first, last, [&](int l, int j, int, int) {
            counts[m_c.offset[l] + j] += sign;
            totals[l] += sign;
        });
    }

    // Log predictive probabilities of an individual's copies at loci
    // first..last-1 on either side.
    void LogPredictives(Row row, int first, int last, double out[2]) const {
        if (m_r.power == 1.0)
            LogPredictivesUntempered(row, first, last, out);
        else
            LogPredictivesTempered(row, first, last, out);
    }

  private:
    // term(side, x of the allele, x of the locus) for each copy and each
    // side, x being lambda + power * count (J lambda for the locus).
    template <class Term>
    void VisitCopyTerms(Row row, int first, int last, Term&& term) const {
        const int* counts[2] = {m_r.pairCounts.data(), m_r.pairCounts.data() + m_c.stride};
        const int* totals[2] = {m_r.pairTotals.data(), m_r.pairTotals.data() + m_c.L};
        const double power = m_r.power;
        m_copies.ForEachCopy(row, first, last, [&](int l, int j, int same, int present) {
            const double lambdaJ = m_c.lambda * m_c.J[l];
            const int slot = m_c.offset[l] + j;
            for (int side = 0; side < 2; ++side)
                term(side, m_c.lambda + power * (counts[side][slot] + same),
                     lambdaJ + power * (totals[side][l] + present));
        });
    }

    // At power 1, f(x) = x: the numerators and denominators are multiplied
    // apart and logged every few copies, long before they could overflow.
    void LogPredictivesUntempered(Row row, int first, int last, double out[2]) const {
        double numerator[2] = {1.0, 1.0}, denominator[2] = {1.0, 1.0};
        out[0] = out[1] = 0.0;
        int pending = 0;
        VisitCopyTerms(row, first, last, [&](int side, double x, double xLocus) {
            numerator[side] *= x;
            denominator[side] *= xLocus;
            if (side == 1 && ++pending == 16) {
                for (int t = 0; t < 2; ++t) {
                    out[t] += std::log(numerator[t] / denominator[t]);
                    numerator[t] = denominator[t] = 1.0;
                }
                pending = 0;
            }
        });
        for (int t = 0; t < 2; ++t)
            out[t] += std::log(numerator[t] / denominator[t]);
    }

    void LogPredictivesTempered(Row row, int first, int last, double out[2]) const {
        const double power = m_r.power;
        out[0] = out[1] = 0.0;
        VisitCopyTerms(row, first, last, [&](int side, double x, double xLocus) {
            out[side] += std::lgamma(x + power) - std::lgamma(x) - std::lgamma(xLocus + power) +
                         std::lgamma(xLocus);
        });
    }

    const SBreloChain& m_c;
    SBreloReplica& m_r;
    const Copies& m_copies;
};

double LogSumOfTwo(double x, double y) {
    const double top = std::max(x, y);
    return top + std::log(std::exp(x - top) + std::exp(y - top));
}

// One pass of the allocation over blocks of loci, on the run's threads:
// each block first places the copies of the member placed last (row placed,
// on side placedSide; none when placed is null), then sums the log
// predictives of the next member's copies (row next; none when null) over
// its loci into partial[2 b], partial[2 b + 1]. Every block writes its own
// loci's counts and its own partial sums. Each thread takes a run of
// consecutive blocks, the same at every pass as far as the threads keep
// pace, so that the counts of its loci stay in its cache.
template <class Copies>
void AllocationPass(const SBreloChain& c, SBreloReplica& r, CPairAllocation<Copies>& allocation,
                    typename Copies::Row placed, int placedSide, typename Copies::Row next) {
    const int blocks = static_cast<int>(r.pairPartials.size() / 2);
    const auto runOfBlocks = [&](int firstBlock, int lastBlock) {
        for (int b = firstBlock; b < lastBlock; ++b) {
            const int first = b * kReallocationLoci;
            const int last = std::min(c.L, first + kReallocationLoci);
            if (placed != nullptr)
                allocation.Move(placed, placedSide, 1, first, last);
            if (next != nullptr)
                allocation.LogPredictives(next, first, last, &r.pairPartials[2 * b]);
        }
    };
    const int shares = c.pool == nullptr ? 1 : std::min(c.pool->Threads(), blocks);
    if (shares <= 1) {
        runOfBlocks(0, blocks);
        return;
    }
    c.pool->ParallelFor(
        shares, [&](int t) { runOfBlocks(blocks * t / shares, blocks * (t + 1) / shares); });
}

// Places the members one by one in the pair's clusters: on the sides of
// labels when given, else on sides drawn from the allocation probabilities
// (written into the replica's proposed labels). Returns the sum over the
// members of the log of their predictive probabilities summed over both
// sides: the log of the posterior of the allocation over its probability
// of being proposed, up to a constant shared by every allocation.
template <class Copies>
double Allocate(const SBreloChain& c, CPairAllocation<Copies>& allocation, SBreloReplica& r,
                const int* labels, const int pair[2], gsl_rng*& rng) {
    using Row = typename Copies::Row;
    double logWeight = 0.0;
    Row placed = nullptr;
    int placedSide = 0;
    const int blocks = static_cast<int>(r.pairPartials.size() / 2);
    for (size_t m = 0; m < r.pairMembers.size(); ++m) {
        const int i = r.pairMembers[m];
        if (m > 0)
            placed = allocation.RowOf(r.pairMembers[m - 1]);
        const Row next = allocation.RowOf(i);
        AllocationPass(c, r, allocation, placed, placedSide, next);
        double logPredictive[2] = {0.0, 0.0};
        for (int b = 0; b < blocks; ++b)
            for (int t = 0; t < 2; ++t)
                logPredictive[t] += r.pairPartials[2 * b + t];
        const double first = logPredictive[0];
        const double both = LogSumOfTwo(first, logPredictive[1]);
        logWeight += both;
        int side;
        if (labels)
            side = labels[i] == pair[0] ? 0 : 1;
        else
            side = gsl_rng_uniform(rng) < std::exp(first - both) ? 0 : 1;
        r.pairLabels[m] = pair[side];
        placedSide = side;
    }
    if (!r.pairMembers.empty())
        AllocationPass<Copies>(c, r, allocation, allocation.RowOf(r.pairMembers.back()), placedSide,
                               nullptr);
    return logWeight;
}

// Both labellings of a split are equally likely, under the law of the
// labels as under the proposal, when neither cluster holds an individual in
// place: the proposal is then one of a split, and its labelling a free
// choice. Taking the one that moves fewer individuals keeps a cluster's
// label on its individuals (no label switching in the sums over the kept
// sweeps) and leaves the law of the labels as it is, since the choice
// commutes with the exchange of the two labels.
void KeepLabelsInPlace(SBreloReplica& r, const INT_VCTR_1D& z, const int pair[2]) {
    size_t kept = 0;
    for (size_t m = 0; m < r.pairMembers.size(); ++m)
        kept += r.pairLabels[m] == z[r.pairMembers[m]];
    if (2 * kept >= r.pairMembers.size())
        return;
    for (size_t m = 0; m < r.pairMembers.size(); ++m)
        r.pairLabels[m] = r.pairLabels[m] == pair[0] ? pair[1] : pair[0];
}

template <class Copies>
bool ReallocatePair(const SBreloChain& c, SBreloReplica& r, const Copies& copies, const int pair[2],
                    gsl_rng*& rng) {
    INT_VCTR_1D& z = r.spSweep.z;
    CPairAllocation<Copies> allocation(c, r, copies);
    allocation.Clear();
    r.pairMembers.clear();
    bool symmetric = true;  // no individual held in either cluster
    for (int i = 0; i < c.N; ++i) {
        if (z[i] != pair[0] && z[i] != pair[1])
            continue;
        if (IsFixedInReference(c, i)) {
            allocation.Move(allocation.RowOf(i), z[i] == pair[0] ? 0 : 1, 1, 0, c.L);
            symmetric = false;
        } else {
            r.pairMembers.push_back(i);
        }
    }
    if (r.pairMembers.empty())
        return false;
    gsl_ran_shuffle(rng, r.pairMembers.data(), r.pairMembers.size(), sizeof(int));
    // The current allocation replayed in the proposal's order, the counts
    // put back as they were before it, then the proposal.
    allocation.Save();
    const double current = Allocate(c, allocation, r, z.data(), pair, rng);
    allocation.Restore();
    const double proposed = Allocate(c, allocation, r, nullptr, pair, rng);
    if (symmetric)
        KeepLabelsInPlace(r, z, pair);
    const bool accepted = std::log(gsl_rng_uniform_pos(rng)) < proposed - current;
    r.reallocationAcceptance.Count(accepted);
    if (accepted)
        for (size_t m = 0; m < r.pairMembers.size(); ++m)
            z[r.pairMembers[m]] = r.pairLabels[m];
    return accepted;
}

}  // namespace

bool ReallocateTwoClusters(const SBreloChain& c, SBreloReplica& r, gsl_rng*& rng) {
    if (c.K < 2)
        return false;
    int pair[2];
    pair[0] = static_cast<int>(gsl_rng_uniform_int(rng, c.K));
    pair[1] = static_cast<int>(gsl_rng_uniform_int(rng, c.K - 1));
    if (pair[1] >= pair[0])
        ++pair[1];
    if (c.data.X.IsPacked())
        return ReallocatePair(c, r, CPackedCopies(c.data.X), pair, rng);
    return c.data.X.VisitIndices([&](const auto* index) {
        using T = std::remove_const_t<std::remove_pointer_t<decltype(index)>>;
        return ReallocatePair(c, r, CStoredCopies<T>(c.data.X, index), pair, rng);
    });
}

// A number as the stream writes it.
std::string Number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

// A sweep that reaches a numeric dead end abandons the run: said in one
// line, with the sweep and the run.
bool AbandonSweep(const SBreloChain& c, int s, const std::string& what) {
    PrintMessage("sweep " + std::to_string(s) + ": " + what + " - exit " + c.run);
    return false;
}

// Gibbs update of the utilities of individual i given its label: the
// utility of its own cluster above every other (and above 0), the others
// below it.
bool UpdateUtilities(const SBreloChain& c, SBreloReplica& r, int i, int s, gsl_rng*& rng) {
    DBL_VCTR_1D& w = r.spSweep.w[i];
    for (int k = 0; k < c.R; ++k) {
        const double mean = r.Pred[i][k];
        const double bound = FindBound(w, k);
        if (k == r.spSweep.z[i]) {
            w[k] = TruncGauss_Left(mean, 1, bound, rng);
            if (!std::isfinite(w[k]))
                return AbandonSweep(c, s,
                                    "Error in simulating rtrun( " + Number(mean) + " ,1, " +
                                        Number(bound) + " ,Inf ) with cdf inversion method");
            if (w[k] < bound)
                return AbandonSweep(c, s, "spSweep.w[i][k]<lower");
        } else {
            w[k] = TruncGauss_Right(mean, 1, bound, rng);
            if (!std::isfinite(w[k]))
                return AbandonSweep(c, s,
                                    "Error in simulating rtrun( " + Number(mean) + " ,1,-Inf, " +
                                        Number(bound) + " ) with cdf inversion method");
            if (w[k] > bound)
                return AbandonSweep(c, s, "spSweep.w[i][k]>upper");
        }
    }
    return true;
}

namespace {

bool StructureStep(const SBreloChain& c, SBreloReplica& r, int s, gsl_rng*& rng) {
    for (int i = 0; i < c.N; ++i) {
        if (IsFixedInReference(c, i))
            continue;
        if (c.gibbsLabels)
            UpdateLabelByGibbs(c, r, i, rng);
        else
            UpdateLabelByMetropolis(c, r, i, rng);
        if (c.hasRegression && !UpdateUtilities(c, r, i, s, rng))
            return false;
    }
    return true;
}

}  // namespace

void UpdatePredictors(const SBreloChain& c, SBreloReplica& r) {
    Mult_t(r.Pred, c.data.Xtild, r.spSweep.beta);
}

namespace {

// Residual sums of squares of the utilities of each cluster, with the total
// in the last entry.
void UpdateResiduals(const SBreloChain& c, SBreloReplica& r) {
    double totalRSS = 0.0;
    for (int k = 0; k < c.R; ++k) {
        double rss = 0.0;
        for (int i = 0; i < c.N; ++i) {
            const double e = r.spSweep.w[i][k] - r.Pred[i][k];
            rss += e * e;
        }
        r.rss[k] = rss;
        totalRSS += rss;
    }
    r.rss[c.K - 1] = totalRSS;
    r.rssDrawn = true;
}

// The residual sums of squares of a sweep and the AIC of each cluster, with
// the totals in the last column.
void StoreResiduals(SBreloChain& c, const SBreloReplica& r, int s) {
    double totalAIC = 0.0;
    for (int k = 0; k < c.R; ++k) {
        c.AIC[s][k] = 2.0 * c.beta_length + r.rss[k];
        c.RSS[s][k] = r.rss[k];
        totalAIC += c.AIC[s][k];
    }
    c.AIC[s][c.K - 1] = totalAIC;
    c.RSS[s][c.K - 1] = r.rss[c.K - 1];
}

}  // namespace

// One draw of the probit: utilities Pred + N(0,1) written into w (when
// given), the reference cluster K-1 at 0, the strictly largest wins.
int DrawProbitClass(const double* pred, double* w, int R, gsl_rng*& rng) {
    int cls = R;
    double max = 0.0;
    for (int k = 0; k < R; ++k) {
        const double u = pred[k] + gsl_ran_ugaussian(rng);
        if (w != nullptr)
            w[k] = u;
        if (u > max) {
            max = u;
            cls = k;
        }
    }
    return cls;
}

namespace {

// The label of i drawn from its genotype likelihoods, when the accept-reject
// step has used up its proposals.
bool FallbackLabel(const SBreloChain& c, SBreloReplica& r, int i, gsl_rng*& rng) {
    if (++r.loop_sup_PROPOSAL_MAX >= LOOP_SUP_PROPOSAL_MAX) {
        PrintMessage("Too much reject loops (" + std::to_string(LOOP_SUP_PROPOSAL_MAX) +
                     ") are replaced by the alternative method so we leave " + c.run);
        return false;
    }
    for (int k = 0; k < c.K; ++k)
        r.classProbs[k] = std::exp(r.power * (r.logpr[i][k] - r.maxlogPr[i]));
    gsl_ran_discrete_t* table = gsl_ran_discrete_preproc(c.K, r.classProbs.data());
    const int zi = static_cast<int>(gsl_ran_discrete(rng, table));
    gsl_ran_discrete_free(table);
    PrintMessage("cluster choosen for individual " + std::to_string(i) +
                 " with a sample function : " + std::to_string(zi));
    r.spSweep.z[i] = zi;
    return true;
}

}  // namespace

// Label of i by accept-reject: a cluster proposed from the probit prior,
// accepted with probability exp(power (logpr - max logpr)).
bool UpdateLabelByProbit(const SBreloChain& c, SBreloReplica& r, int i, gsl_rng*& rng) {
    double* w = c.R > 0 ? r.spSweep.w[i].data() : nullptr;
    const double* pred = c.R > 0 ? r.Pred[i].data() : nullptr;
    for (int proposal = 1;; ++proposal) {
        const int zi = DrawProbitClass(pred, w, c.R, rng);
        const double u = gsl_rng_uniform(rng);
        if (proposal == PROPOSAL_MAX)
            return FallbackLabel(c, r, i, rng);
        if (std::exp(r.power * (r.logpr[i][zi] - r.maxlogPr[i])) > u) {
            r.spSweep.z[i] = zi;
            return true;
        }
    }
}

namespace {

bool RegressionStep(const SBreloChain& c, SBreloReplica& r, gsl_rng*& rng) {
    if (c.hasRegression) {
        UpdatePredictors(c, r);
        UpdateResiduals(c, r);
    }
    for (int i = 0; i < c.N; ++i)
        if (!IsFixedInReference(c, i) && !UpdateLabelByProbit(c, r, i, rng))
            return false;
    return true;
}

}  // namespace

// beta_k ~ N((Xtild'Xtild)^-1 Xtild' w_k, (Xtild'Xtild)^-1). A draw whose
// first coefficient is not finite is replaced by the previous coefficients
// (the initial draw at the first sweep).
void UpdateCoefficients(const SBreloChain& c, SBreloReplica& r, gsl_rng*& rng) {
    Mult(r.Mat_tmp, c.V_tXtild, r.spSweep.w);
    Transpose(r.beta_mean, r.Mat_tmp);
    for (int k = 0; k < c.R; ++k) {
        DBL_VCTR_1D& beta = r.spSweep.beta[k];
        std::copy(beta.begin(), beta.end(), r.betaPrev.begin());
        MultivariateGauss(r.beta_mean[k], c.V_chol, beta, rng);
        if (!std::isfinite(beta[0])) {
            const std::string value = Number(beta[0]);
            std::copy(r.betaPrev.begin(), r.betaPrev.end(), beta.begin());
            PrintMessage("Warning beta[" + std::to_string(k) + "][0]=" + value +
                         ": spSweep.beta replaced by previous beta, for k=" + std::to_string(k));
        }
    }
}

namespace {

double ComputeLikelihood(const SBreloChain& c, const SBreloReplica& r) {
    double L = 0.0;
    for (int i = 0; i < c.N; ++i)
        L += r.logpr[i][r.spSweep.z[i]];
    return L;
}

void StoreCoefficients(SBreloChain& c, const SBreloReplica& r, int s) {
    for (int k = 0; k < c.R; ++k)
        for (int b = 0; b < c.beta_length; ++b)
            c.BH[k][b][s] = r.spSweep.beta[k][b];
}

void AccumulateState(SBreloChain& c, const SBreloReplica& r) {
    for (int k = 0; k < c.K; ++k)
        for (int l = 0; l < c.L; ++l)
            for (int j = 0; j < c.J[l]; ++j)
                c.spAverage.p[k][l][j] += r.spSweep.p[k][l][j];
    for (int i = 0; i < c.N; ++i)
        c.cpAverage[i][r.spSweep.z[i]] += 1.0;
    for (int k = 0; k < c.R; ++k)
        for (int b = 0; b < c.beta_length; ++b) {
            const double beta = r.spSweep.beta[k][b];
            c.spAverage.beta[k][b] += beta;
            c.varBeta[k][b] += beta * beta;
        }
    for (int i = 0; i < c.N; ++i)
        for (int k = 0; k < c.R; ++k)
            c.spAverage.w[i][k] += r.spSweep.w[i][k];
}

void CountPredictedClass(DBL_VCTR_2D& perIndividual, DBL_VCTR_3D& perLevel,
                         const INT_VCTR_2D& XQual, int i, int cls) {
    perIndividual[i][cls] += 1.0;
    for (size_t v = 0; v < perLevel.size(); ++v)
        perLevel[v][XQual[i][v]][cls] += 1.0;
}

// Every tenth sweep, ten draws of each individual's class from the probit.
void AccumulatePredictedMemberships(SBreloChain& c, const SBreloReplica& r, int s, gsl_rng*& rng) {
    if (c.beta_length == 0 || s % 10 != 0)
        return;
    for (int rep = 0; rep < 10; ++rep)
        for (int i = 0; i < c.N; ++i) {
            const double* pred = c.R > 0 ? r.Pred[i].data() : nullptr;
            CountPredictedClass(c.nClusterIndiv, c.nClusterQualVar, c.data.XQual, i,
                                DrawProbitClass(pred, nullptr, c.R, rng));
        }
    c.nPredictiveDraws += 10;
}

// Held-out individuals: a class from the probit (uniform without covariates)
// and their genotypes at the training loci under it.
double ValidateOnIndividuals(SBreloChain& c, const SBreloReplica& r, gsl_rng*& rng) {
    if (c.hasRegression)
        Mult_t(c.Pred_valid, c.data.Xtild_valid, r.spSweep.beta);
    for (int i = 0; i < c.NV; ++i) {
        int cls;
        if (c.beta_length > 0) {
            const double* pred = c.R > 0 ? c.Pred_valid[i].data() : nullptr;
            cls = DrawProbitClass(pred, nullptr, c.R, rng);
            CountPredictedClass(c.nClusterIndiv_valid, c.nClusterQualVar_valid, c.data.XQual_valid,
                                i, cls);
        } else {
            cls = static_cast<int>(gsl_rng_uniform_int(rng, c.K));
        }
        c.validClass[i] = cls;
    }
    double L = 0.0;
    if (c.data.XsameLoci.IsPacked()) {
        SPackedWork& w = c.packedValid;
        SumPackedGenotypeValues(c.data.XsameLoci, r.genotypeLog.data(), c.K, 0, c.NV,
                                w.logprFlat.data(), w.sumWork, c.pool);
        for (int i = 0; i < c.NV; ++i)
            L += w.logprFlat[static_cast<size_t>(i) * c.K + c.validClass[i]];
        return L;
    }
    c.data.XsameLoci.VisitIndices([&](const auto* index) {
        for (int i = 0; i < c.NV; ++i) {
            const int cls = c.validClass[i];
            for (int a = 0; a < c.A; ++a, index += c.L)
                for (int l = 0; l < c.L; ++l) {
                    const int slot = CopySlot(index[l], c.offset[l], c.stride - 1);
                    L += r.logp[static_cast<size_t>(slot) * c.K + cls];
                }
        }
    });
    return L;
}

// Held-out loci: their Dirichlet-multinomial likelihood given the labels,
// the frequencies integrated out.
double ValidateOnLoci(SBreloChain& c, const SBreloReplica& r) {
    std::fill(c.nValid.begin(), c.nValid.end(), 0);
    const size_t ALV = static_cast<size_t>(c.A) * c.LV;
    if (c.data.XnewLoci.IsPacked())
        CountPackedCopies(c.data.XnewLoci, r.spSweep.z.data(), c.K, c.offsetValid.data(),
                          c.strideValid, c.packedValid, c.nValid.data(), c.pool);
    else
        c.data.XnewLoci.VisitIndices([&](const auto* index) {
            for (int i = 0; i < c.N; ++i)
                CountCopies(index + i * ALV, c.A, c.LV, c.offsetValid.data(), c.strideValid - 1,
                            &c.nValid[static_cast<size_t>(r.spSweep.z[i]) * c.strideValid]);
        });
    double L = c.LHConstPart;
    for (int k = 0; k < c.K; ++k)
        for (int l = 0; l < c.LV; ++l) {
            const int Jl = c.J[c.L + l];
            const int* counts =
                &c.nValid[static_cast<size_t>(k) * c.strideValid + c.offsetValid[l]];
            int sum = 0;
            double term = 0.0;
            for (int j = 0; j < Jl; ++j) {
                sum += counts[j];
                term += gsl_sf_lngamma(counts[j] + c.lambda);
            }
            L += term - gsl_sf_lngamma(c.lambda * Jl + sum);
        }
    return L;
}

void AccumulateKeptSweep(SBreloChain& c, const SBreloReplica& r, int s, gsl_rng*& rng) {
    const int firstKept = c.TotalSweep - c.KeptSweep;
    if (s < firstKept)
        return;
    if (s == firstKept)
        std::cout << "End of Burn-in" << std::endl;
    AccumulateState(c, r);
    AccumulatePredictedMemberships(c, r, s, rng);
    if (!c.data.bFIT)
        return;
    c.LH_valid[s - firstKept] =
        c.data.bValOnIndiv ? ValidateOnIndividuals(c, r, rng) : ValidateOnLoci(c, r);
}

// Every free label is one uniform draw, a single cluster included (the
// order of the draws does not change with K). With -ref and K = 1 there is no
// non-reference cluster to draw from.
void DrawUniformLabels(const SBreloChain& c, SBreloReplica& r, gsl_rng*& rng) {
    for (int i = 0; i < c.N; ++i) {
        if (!c.bbase)
            r.spSweep.z[i] = static_cast<int>(gsl_rng_uniform_int(rng, c.K));
        else if (c.data.isBase[i] == 1 || c.K == 1)
            r.spSweep.z[i] = c.K - 1;
        else
            r.spSweep.z[i] = static_cast<int>(gsl_rng_uniform_int(rng, c.K - 1));
    }
}

// -jk: the k-means clusters of the free individuals. With -ref the
// reference individuals keep cluster K-1 and the others, as in the uniform
// start, are split among the K-1 other clusters.
void DrawKMeansLabels(const SBreloChain& c, SBreloReplica& r, gsl_rng*& rng) {
    INT_VCTR_1D free;
    for (int i = 0; i < c.N; ++i) {
        if (IsFixedInReference(c, i))
            r.spSweep.z[i] = c.K - 1;
        else
            free.push_back(i);
    }
    if (free.empty())
        return;
    const INT_VCTR_1D labels = KMeansStartLabels(c.data.X, free, c.bbase ? c.K - 1 : c.K, rng);
    for (size_t f = 0; f < free.size(); ++f)
        r.spSweep.z[free[f]] = labels[f];
}

}  // namespace

// ---------------------------------------------------------------- public

void SetUpChain(SBreloChain& c, const SBreloOptions& opts, SBreloData&& data,
                const std::string& run) {
    c.data = std::move(data);
    c.run = run;
    c.N = c.data.N;
    c.A = c.data.A;
    c.L = c.data.L;
    c.NV = c.data.bValOnIndiv ? c.data.NV : 0;
    c.LV = c.data.LV;
    c.K = opts.K;
    c.R = opts.K - 1;
    c.lambda = opts.lambda;
    c.bbase = opts.bbase;
    c.kmeansStart = opts.kmeansStart;
    c.gibbsLabels = opts.gibbsLabels;
    c.reallocations = ReallocationsPerSweep(opts);
    c.beta_length = c.data.Xtild.empty() ? 0 : static_cast<int>(c.data.Xtild[0].size());
    c.hasRegression = c.beta_length > 0 && c.R > 0;
    BuildAlleleCoding(c);
    if (c.LV > 0) {
        c.LHConstPart = HeldOutLociConstant(c);
        std::cout << std::endl;
    }
    SplitBurnIn(c, opts);
    CheckTraceMemory(c.TotalSweep, TraceValuesPerSweep(c.K, c.beta_length));
    AllocateChainArrays(c, opts.replicas);
    if (c.hasRegression)
        SetUpRegression(c);
}

void DrawInitialState(const SBreloChain& c, SBreloReplica& r, gsl_rng*& rng) {
    if (c.hasRegression) {
        const DBL_VCTR_1D Constant(c.beta_length, 0.0);
        for (int k = 0; k < c.R; ++k)
            MultivariateGauss(Constant, c.V_chol, r.spSweep.beta[k], rng);
    }
    if (c.kmeansStart)
        DrawKMeansLabels(c, r, rng);
    else
        DrawUniformLabels(c, r, rng);
    for (int k = 0; k < c.K; ++k)
        for (int l = 0; l < c.L; ++l) {
            if (c.J[l] <= 0)
                continue;
            std::fill(r.DirParams.begin(), r.DirParams.begin() + c.J[l], c.lambda);
            gsl_ran_dirichlet(rng, c.J[l], r.DirParams.data(), r.spSweep.p[k][l].data());
        }
}

void DrawInitialState(SBreloChain& c, gsl_rng*& rng) {
    DrawInitialState(c, c.replicas[0], rng);
}

bool SweepReplica(const SBreloChain& c, SBreloReplica& r, int s, gsl_rng*& rng) {
    r.labelAcceptance = CAcceptanceCounter();
    r.rssDrawn = false;
    // Reallocations on the rung at power 1 only: in a tempered replica their
    // predictive terms need log-gamma functions and cost many sweeps, and the
    // flatter law mixes well enough without them.
    if (s < c.BurnInStructure && r.power == 1.0)
        for (int m = 0; m < c.reallocations; ++m)
            ReallocateTwoClusters(c, r, rng);
    UpdateAlleleFrequencies(c, r, rng);
    UpdateLogFrequencies(c, r);
    UpdateGenotypeLikelihoods(c, r);
    const bool ok = s < c.BurnInStructure ? StructureStep(c, r, s, rng) : RegressionStep(c, r, rng);
    if (!ok)
        return false;
    if (c.hasRegression)
        UpdateCoefficients(c, r, rng);
    r.logLikelihood = ComputeLikelihood(c, r);
    return true;
}

void RecordSweep(SBreloChain& c, SBreloReplica& swept, const SBreloReplica& reported, int s,
                 gsl_rng*& rng) {
    if (swept.rssDrawn)
        StoreResiduals(c, swept, s);
    c.labelAcceptance.proposed += swept.labelAcceptance.proposed;
    c.labelAcceptance.accepted += swept.labelAcceptance.accepted;
    c.LH[s] = reported.logLikelihood;
    StoreCoefficients(c, reported, s);
    AccumulateKeptSweep(c, reported, s, rng);
}

bool RunSweep(SBreloChain& c, int s, gsl_rng*& rng) {
    SBreloReplica& r = c.replicas[0];
    if (!SweepReplica(c, r, s, rng))
        return false;
    RecordSweep(c, r, r, s, rng);
    return true;
}

namespace {

// Round s of the exchange: every replica's sweep, the swaps, then what the
// run keeps of the replica at power 1. Adapting the ladder stops with the
// burn-in. False when the run must be abandoned.
bool RunRound(SBreloChain& c, CThreadPool& pool, CReplicaGenerators& rngs, int s) {
    CReplicaExchange& exchange = *c.exchange;
    const int swept = exchange.ReplicaAt(0);
    const bool adapt = s < c.TotalSweep - c.KeptSweep;
    auto sweep = [&](int r, double power) {
        c.replicas[r].power = power;
        return SweepReplica(c, c.replicas[r], s, rngs[r]);
    };
    auto logLikelihood = [&](int r) { return c.replicas[r].logLikelihood; };
    if (!exchange.Round(pool, sweep, logLikelihood, adapt))
        return false;
    const int reported = exchange.ReplicaAt(0);
    RecordSweep(c, c.replicas[swept], c.replicas[reported], s, rngs[reported]);
    return true;
}

// The whole chain from its initial states. False when it was abandoned.
bool RunChain(SBreloChain& c, CThreadPool& pool, CReplicaGenerators& rngs) {
    const int numOfDigits = NumOfDigits(c.TotalSweep);
    const int replicas = static_cast<int>(c.replicas.size());
    pool.ParallelFor(replicas, [&](int r) { DrawInitialState(c, c.replicas[r], rngs[r]); });
    for (int s = 0; s < c.TotalSweep; ++s) {
        if (!RunRound(c, pool, rngs, s))
            return false;
        PrintSweepProgress(s + 1, numOfDigits);
    }
    return true;
}

// The acceptance rate of the two-cluster reallocations, over every replica,
// on screen and in run.txt.
void RecordReallocations(const SBreloChain& c, SRunRecord& record) {
    if (c.reallocations == 0)
        return;
    CAcceptanceCounter total;
    for (const SBreloReplica& r : c.replicas) {
        total.proposed += r.reallocationAcceptance.proposed;
        total.accepted += r.reallocationAcceptance.accepted;
    }
    std::ostringstream rate;
    rate << std::fixed << std::setprecision(4) << total.Rate();
    std::cout << "Two-cluster reallocations: " << total.accepted << " of " << total.proposed
              << " accepted" << std::endl;
    record.settings.emplace_back("reallocation_rate", total.proposed > 0 ? rate.str() : "NA");
}

}  // namespace

bool brelo(int argc, char** argv, std::string run, std::ofstream& ofsCriteria,
           CRunCriteria& runCriteria, bool bFIT, bool bValOnIndiv, CTrainingConfig& trainingConfig,
           SLoadedData* loaded) {
    SBreloOptions opts;
    const SGenotypeCounts counts = loaded ? loaded->Counts() : SGenotypeCounts();
    ParseBreloOptions(argc, argv, opts, loaded ? &counts : nullptr);
    SRunRecord record = StartRunRecord(argc, argv, MakeInputPath(opts.FoI, opts.F));
    // The data were read before this run began: the first run that uses
    // them counts the reading in its time.
    if (loaded && !loaded->readingCounted) {
        record.start = loaded->readStart;
        loaded->readingCounted = true;
    }
    if (opts.bbase)
        std::cout << "Individuals chosen by user will be assigned to the reference cluster"
                  << std::endl;
    gsl_set_error_handler_off();
    if (opts.bRun)
        run = opts.run;
    const std::string FOFN = MakeOutputPrefix(opts.FoO, opts.F, run);
    if (!run.empty())
        std::cout << "RUN= " << run << std::endl;

    SBreloData data;
    LoadBreloData(opts, bFIT, bValOnIndiv, trainingConfig, data, loaded);
    SBreloChain chain;
    SetUpChain(chain, opts, std::move(data), run);

    gsl_rng_env_setup();
    gsl_rng* rng = nullptr;
    record.seed = AllocRNG(rng, gsl_rng_default);
    const int threads = ThreadsFromOption(opts.threads);
    chain.exchange = std::make_unique<CReplicaExchange>(opts.replicas, record.seed);
    if (opts.replicas > 1)
        PrintReplicaExchange(opts.replicas, threads);
    CThreadPool pool(threads);
    chain.pool = &pool;
    SetUpBlockStreams(chain, record.seed);
    CReplicaGenerators rngs(rng, record.seed, opts.replicas);
    if (!RunChain(chain, pool, rngs)) {
        FreeRNG(rng);
        return false;
    }
    std::cout << run << " completed" << std::endl;
    RecordExchange(record, *chain.exchange, threads);
    RecordReallocations(chain, record);
    const SRunDiagnostics diagnostics = WriteRunResults(chain, opts, FOFN, ofsCriteria, runCriteria,
                                                        bFIT ? trainingConfig.name : std::string());
    FreeRNG(rng);
    // The whole run, the reading of the data included.
    PrintRunTime(record.start);
    if (!SaveRunTable(record, FOFN + kRunTableSuffix))
        ExitProgram(1);
    WarnIfNotConverged(diagnostics);
    return true;
}
