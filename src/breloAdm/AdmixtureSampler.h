// The admixture sampler of breloAdm: initial values (random, from a
// continuation file or from a hierarchical clustering), the sweeps over
// labels, frequencies, proportions, the CAR field and its regression, and the
// post-burn-in sums the results are made of.
#ifndef BRELO_BRELOADM_ADMIXTURESAMPLER_H
#define BRELO_BRELOADM_ADMIXTURESAMPLER_H

#include <gsl/gsl_rng.h>

#include <memory>
#include <vector>

#include "breloAdm/BreloAdmOptions.h"
#include "breloAdm/BreloAdmSetup.h"
#include "breloAdm/SpatialPrior.h"
#include "core/CopyLabels.h"
#include "core/Diagnostics.h"
#include "core/ReplicaExchange.h"
#include "core/VectorUtilities.h"
#include "io/GenotypeStore.h"

// Stored in place of the logarithm of a zero frequency or proportion.
constexpr double N_LIMIT = -707.0;

struct CSweepParams {
    DBL_VCTR_2D CAR;     // K x N, log of the Dirichlet parameters
    DBL_VCTR_2D beta;    // K x beta_length
    DBL_VCTR_1D sigma;   // K, CAR variances
    DBL_VCTR_2D alpha;   // N x K, exp(CAR) transposed
    DBL_VCTR_2D q;       // N x K, admixture proportions
    INT_VCTR_1D z;       // N, individual labels of the hierarchical start
    CCopyLabels zadMix;  // N x A x L, cluster of each allele copy
    DBL_VCTR_3D p;       // K x L x J[l], allele frequencies
    DBL_VCTR_1D psi;     // K, interaction parameters
    // The correlated frequency model (-anc1): each cluster's frequencies
    // drawn around the ancestral ones, p[k][l] ~ Dirichlet(ancestral[l]
    // (1 - drift[k]) / drift[k]).
    DBL_VCTR_2D ancestral;  // L x J[l], ancestral allele frequencies
    DBL_VCTR_1D drift;      // K, drift of each cluster from them, in (0, 1)
};

// Kept sweeps in which each allele copy carried each label. The counts of
// the labels 0..K-2 are stored, two bytes each while the sweeps added fit in
// them (four beyond); that of label K-1 is the sweeps added less the others.
class CCopyLabelCounts {
  public:
    // copies labels 0..K-1, for at most maxSweeps sweeps; all counts 0.
    void Size(size_t copies, int K, int maxSweeps);
    // One sweep more: every copy's label.
    void Add(const CCopyLabels& labels);
    // The K counts of a copy (in the order of CCopyLabels).
    void Counts(size_t copy, int* out) const;
    int Sweeps() const { return m_nSweeps; }

  private:
    template <class T>
    void AddTo(std::vector<T>& counts, const CCopyLabels& labels);

    size_t m_nCopies = 0;
    int m_nK = 1;
    int m_nSweeps = 0;
    bool m_bLong = false;
    std::vector<uint16_t> m_vShort;
    std::vector<uint32_t> m_vLong;
};

// What a finished chain hands to the results: the last state, the
// post-burn-in sums and the histories.
struct SAdmChain {
    CSweepParams spSweep;
    CSweepParams spAverage;  // sums of beta, sigma, alpha, q, p, psi
    DBL_VCTR_1D LH;          // log-likelihood of the labelled data per sweep
    DBL_VCTR_3D BH;          // K x beta_length x TotalSweep
    DBL_VCTR_2D sigmaH;      // K x TotalSweep, sigma of every sweep that updates it
    DBL_VCTR_2D psiH;        // K x TotalSweep, psi likewise
    // Proposals and acceptances of the Metropolis steps, per cluster.
    std::vector<CAcceptanceCounter> fieldAcceptance;
    std::vector<CAcceptanceCounter> psiAcceptance;
    // The joint moves (-joint): trend shift and scale per cluster, level.
    std::vector<CAcceptanceCounter> trendAcceptance;
    std::vector<CAcceptanceCounter> scaleAcceptance;
    CAcceptanceCounter levelAcceptance;
    CAcceptanceCounter commonAcceptance;
    // The proportion move (-qmove1), all individuals together.
    CAcceptanceCounter proportionAcceptance;
    // The steps of the correlated frequency model (-anc1): the ancestral
    // frequencies (all loci together) and each cluster's drift.
    CAcceptanceCounter ancestralAcceptance;
    std::vector<CAcceptanceCounter> driftAcceptance;
    DBL_VCTR_2D cpAverage;  // N x K, kept copies of i labelled k
    // Kept sweeps in which each copy carried each label.
    CCopyLabelCounts cpAverageAdmix;
    double varDeviance = 0.0;           // sum of (-2 LH)^2 over the kept sweeps
    DBL_VCTR_2D nb_cluster_individual;  // N x K simulated labels
    DBL_VCTR_3D nClusterQualVar;        // nbQualVar x levels x K simulated labels
    int nPredictiveSweeps = 0;          // kept sweeps that made predictive draws
    // The exchange of the replicas (-rx): its ladder and swap counts; one
    // replica is the plain chain.
    std::unique_ptr<CReplicaExchange> exchange;
};

// Runs the whole chain: initial labelling with -jy, the spatial prior, the
// starting values, "IM.png", the TotalSweep sweeps, then "LH.png" and
// "BH.png". prior is built here and kept for the results. With -rx the
// replicas sweep on the threads of -t and swap; chain keeps the replica at
// power 1 and the exchange.
void RunAdmixtureSampler(const SAdmOptions& opt, SAdmSetup& setup, gsl_rng* rng,
                         CSpatialPrior& prior, SAdmChain& chain);

// Kept sweeps (s >= BurnIn) whose index is a multiple of ten.
int CountPredictiveSweeps(int BurnIn, int TotalSweep);

// Draws the label of one allele copy from q_i[k] p[k][l][j] (q_i alone when
// the copy is missing, j < 0). When every product is 0 or the sum is not
// finite the label is drawn from q_i alone, never past the last cluster.
// work holds K doubles.
int DrawCopyLabel(const gsl_rng* rng, const DBL_VCTR_1D& q_i, const DBL_VCTR_3D& p, int l, int j,
                  DBL_VCTR_1D& work);

// The labels of the hierarchical start: Ward's clustering of the genotypes,
// then a share of the individuals (a quarter below 120 loci, a twentieth
// from 120 on, at least one) moved to another cluster at random. K >= 2.
INT_VCTR_1D HierarchicalStartLabels(const CGenotypeStore& X, int K, const gsl_rng* rng);

// The same start with the k-means clusters of the allele counts (-jk) in
// place of Ward's clusters.
INT_VCTR_1D KMeansAdmStartLabels(const CGenotypeStore& X, int K, const gsl_rng* rng);

// p[k][l][j]: share of the copies of the individuals labelled k that carry
// allele j of X.Alleles(l) at locus l (missing copies counted in the total);
// 0 for a cluster without individual.
void FrequenciesFromLabels(DBL_VCTR_3D& p, const CGenotypeStore& X, const INT_VCTR_1D& z, int K);

#endif
