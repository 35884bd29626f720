// The sampler of program brelo (clustering without admixture, membership
// following a multinomial probit on the covariates): the run entry, the
// chain state, its set-up and one sweep as a sequence of named steps.
#ifndef BRELO_BRELO_BRELOSAMPLER_H
#define BRELO_BRELO_BRELOSAMPLER_H

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gsl/gsl_rng.h>

#include "brelo/BreloData.h"
#include "brelo/BreloOptions.h"
#include "brelo/BreloResults.h"
#include "core/Diagnostics.h"
#include "core/RandomStreams.h"
#include "core/ReplicaExchange.h"
#include "core/ThreadPool.h"
#include "core/VectorUtilities.h"
#include "io/ManipVector.h"

// Proposals of the accept-reject label step before the fallback draw, and
// fallbacks in one run before the run is abandoned.
constexpr int PROPOSAL_MAX = 15000;
constexpr long LOOP_SUP_PROPOSAL_MAX = 200000;

// State of the chain (current sweep, or sums over the kept sweeps).
class CSweepParams {
  public:
    INT_VCTR_1D z;     // N cluster labels, 0..K-1
    DBL_VCTR_3D p;     // K x L x J[l] allele frequencies
    DBL_VCTR_2D w;     // N x (K-1) latent utilities
    DBL_VCTR_2D beta;  // (K-1) x beta_length coefficients
};

// Work arrays of the sums over packed genotypes: per-cluster counts of
// observed genotypes and of allele-1 copies (K x loci), per-individual sums
// (individuals x K), and the scratch of the sums.
struct SPackedWork {
    INT_VCTR_1D observedCounts, allele1Counts;
    DBL_VCTR_1D logprFlat;
    std::vector<uint32_t> countWork;
    DBL_VCTR_1D sumWork;
};

// Generator streams owned by one replica. A copy of a replica starts
// without any (it draws from its own generator until it is given streams
// of its own): two replicas never share a stream.
struct SBlockStreamSet {
    std::vector<CRandomStream> streams;
    SBlockStreamSet() = default;
    SBlockStreamSet(const SBlockStreamSet&) {}
    SBlockStreamSet& operator=(const SBlockStreamSet&) {
        streams.clear();
        return *this;
    }
    SBlockStreamSet(SBlockStreamSet&&) noexcept = default;
    SBlockStreamSet& operator=(SBlockStreamSet&&) noexcept = default;
};

// One replica of the chain: a state, the work arrays its sweeps write and
// its counters. A plain run has one; with replica exchange (-rx) each
// replica targets the posterior with every genotype likelihood raised to
// `power` (1 for the posterior itself), and replicas trade places on the
// ladder of powers, never their contents.
struct SBreloReplica {
    CSweepParams spSweep;
    double power = 1.0;

    // Work arrays of a sweep.
    INT_VCTR_1D n;          // K * stride allele counts
    DBL_VCTR_1D logp;       // stride * K log frequencies, slot-major
    DBL_VCTR_1D DirParams;  // largest J
    DBL_VCTR_2D logpr;      // N x K genotype log-likelihoods
    DBL_VCTR_1D maxlogPr, sumlogPr;
    DBL_VCTR_2D Pred;        // N x R linear predictors
    DBL_VCTR_1D classProbs;  // K, fallback draw
    DBL_VCTR_2D Mat_tmp;     // beta_length x R
    DBL_VCTR_2D beta_mean;   // R x beta_length
    DBL_VCTR_1D betaPrev;    // beta_length
    DBL_VCTR_1D rss;         // K: residual sums of squares at the start of the sweep, total last
    bool rssDrawn = false;   // rss was computed by the last sweep (a regression sweep)

    // Packed genotypes (two bits a genotype), read in place: the log
    // likelihood of each genotype value at each locus in each cluster,
    // genotypeLog[(l * 4 + g) * K + k] (0 for a missing genotype).
    DBL_VCTR_1D genotypeLog;
    SPackedWork packed;

    // The generator streams of the blocks of loci of the frequency draws
    // (SetUpBlockStreams); none: they draw from the replica's generator.
    SBlockStreamSet blockStreams;

    // The genotype log-likelihood of the state the last sweep ended in.
    double logLikelihood = 0.0;
    long loop_sup_PROPOSAL_MAX = 0;
    // Proposals of another label by the Metropolis step, and acceptances,
    // since the counter was last read.
    CAcceptanceCounter labelAcceptance;

    // Work arrays of the two-cluster reallocation: the copies' counts of
    // the two clusters (2 x stride slots, 2 x L loci) and the same before
    // the free members are placed, the free members of their union in the
    // order of the proposal, the labels proposed, and the log predictives
    // of a member on either side summed over each block of loci.
    INT_VCTR_1D pairCounts, pairTotals, pairSavedCounts, pairSavedTotals, pairMembers, pairLabels;
    DBL_VCTR_1D pairPartials;
    // Reallocations proposed and accepted, over the whole run.
    CAcceptanceCounter reallocationAcceptance;
};

// Everything one run holds: sizes, data, allele coding, regression set-up,
// the replicas, traces and accumulators. Sized once by SetUpChain; the sweeps
// allocate nothing. A sweep reads the run's part and writes only its
// replica, so replicas may sweep side by side.
struct SBreloChain {
    // Sizes and settings.
    int N = 0, A = 0, L = 0, K = 1, R = 0;  // R = K-1 non-reference clusters
    int NV = 0, LV = 0;
    int beta_length = 0;
    bool hasRegression = false;  // beta_length > 0 and K > 1
    double lambda = 1.0;
    int TotalSweep = 0, BurnIn = 0, BurnInStructure = 0, KeptSweep = 0;
    bool bbase = false;
    bool kmeansStart = false;  // starting labels from k-means (-jk)
    bool gibbsLabels = false;  // Gibbs label draws in structure sweeps (-zg)
    // Two-cluster reallocations at the start of each structure sweep (with -zg).
    int reallocations = 0;
    std::string run;
    SBreloData data;

    // Allele coding: alleleV/J of the training loci then the held-out loci
    // (those of the genotype stores of data). Allele j of locus l has the slot
    // offset[l] + j in a flat per-cluster table; a missing copy has the slot
    // `stride - 1` (a zero log-frequency, an ignored count). The slots of the
    // held-out loci are numbered alike in a table of their own.
    INT_VCTR_2D alleleV;
    INT_VCTR_1D J;
    INT_VCTR_1D offset, offsetValid;  // L and LV entries
    int stride = 1, strideValid = 1;  // total alleles + 1

    // Regression set-up.
    DBL_VCTR_2D V_chol;    // Cholesky factor of (Xtild'Xtild)^-1
    DBL_VCTR_2D V_tXtild;  // (Xtild'Xtild)^-1 Xtild'

    // The replicas (one without -rx) and, with more than one, the exchange
    // that keeps which one stands on the rung of power 1.
    std::vector<SBreloReplica> replicas;
    std::unique_ptr<CReplicaExchange> exchange;
    // The run's threads (-t), shared by the replicas and the blocks of loci
    // inside a sweep; null: the caller alone.
    CThreadPool* pool = nullptr;

    // Sums over the kept sweeps of the reported state.
    CSweepParams spAverage;
    // Work arrays of the held-out data.
    DBL_VCTR_2D Pred_valid;
    INT_VCTR_1D validClass;   // NV
    INT_VCTR_1D nValid;       // K * strideValid
    SPackedWork packedValid;  // held-out data held packed

    // Traces and accumulators of the reported state.
    DBL_VCTR_3D BH;  // R x beta_length x TotalSweep
    DBL_VCTR_1D LH, LH_valid;
    DBL_VCTR_2D AIC, RSS;  // TotalSweep x K
    DBL_VCTR_2D varBeta;
    DBL_VCTR_2D cpAverage;  // N x K
    DBL_VCTR_2D nClusterIndiv, nClusterIndiv_valid;
    DBL_VCTR_3D nClusterQualVar, nClusterQualVar_valid;
    int nPredictiveDraws = 0;  // draws counted per individual in nClusterIndiv
    double LHConstPart = 0.0;
    // Label proposals of the sweeps at power 1.
    CAcceptanceCounter labelAcceptance;
};

// Sampler entry: parses the model options, takes the data from loaded (or
// loads the data file when it is null; split by trainingConfig when bFIT),
// runs the chain and writes the results and the criteria row. The value of
// -orun, when given, replaces run. False when the run was abandoned (nothing
// of it is written).
bool brelo(int argc, char** argv, std::string run, std::ofstream& ofsCriteria,
           CRunCriteria& runCriteria, bool bFIT, bool bValOnIndiv, CTrainingConfig& trainingConfig,
           SLoadedData* loaded = nullptr);

// Set-up of a run from its options and loaded data: allele coding, the
// held-out-loci constant, the burn-in split ("No covariates" is printed when
// the design matrix is empty), the regression set-up and every array of the
// chain, with opts.replicas replicas (at least one).
void SetUpChain(SBreloChain& chain, const SBreloOptions& opts, SBreloData&& data,
                const std::string& run);
// The generator streams of the frequency draws of every replica, derived
// from the run's seed, the replica and the block of loci: with more loci
// than one block takes, the blocks draw side by side on the run's threads
// and the draws do not depend on the number of threads. With fewer, the
// frequencies are drawn from the replica's generator, as without streams.
void SetUpBlockStreams(SBreloChain& chain, unsigned long seed);
// Initial draws of a replica, in the order of the design: the coefficients
// from N(0, (Xtild'Xtild)^-1), the labels (uniform, or the k-means clusters
// with -jk), the frequencies.
void DrawInitialState(const SBreloChain& chain, SBreloReplica& replica, gsl_rng*& rng);
// The same for the first replica.
void DrawInitialState(SBreloChain& chain, gsl_rng*& rng);

// Sweep s (0-based) of one replica at its power: its state, counters,
// residuals and log-likelihood. False when the run must be abandoned
// (message printed).
bool SweepReplica(const SBreloChain& chain, SBreloReplica& replica, int s, gsl_rng*& rng);
// What the run keeps of sweep s: swept is the replica that swept at power 1
// (its residuals and step counts), reported the one at power 1 after the
// swaps (its log-likelihood, coefficients and, in kept sweeps, its state in
// the sums, with the draws of predicted memberships and held-out data made
// from rng).
void RecordSweep(SBreloChain& chain, SBreloReplica& swept, const SBreloReplica& reported, int s,
                 gsl_rng*& rng);
// Sweep s of a chain of one replica, recorded. False when the run must be
// abandoned.
bool RunSweep(SBreloChain& chain, int s, gsl_rng*& rng);

#endif
