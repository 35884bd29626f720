// Replica exchange (Metropolis-coupled chains), knowing nothing of the model.
//
// A replica is one sampler state: its parameters, its work arrays and its
// generator stream, owned by the caller and named here by its index
// 0 .. n-1. The ladder has n rungs; rung j targets the posterior with the
// likelihood raised to the power beta_j, beta_0 = 1 > beta_1 > ... The
// exchange keeps which replica stands on which rung. One round:
//   1. every replica runs one sweep at the power of its rung, through the
//      function it is given, on the thread pool (any replica on any thread,
//      started in the order of the rungs);
//   2. neighbouring rungs propose to swap their replicas, the pairs (0,1),
//      (2,3), ... first, then (1,2), (3,4), ...: the swap of rungs a, b is
//      accepted with probability min(1, exp((beta_a - beta_b) (l_b - l_a))),
//      l the log-likelihood of each replica's state (the Metropolis rule on
//      the tempered posteriors; their priors cancel). A swap exchanges the
//      indices on the two rungs: no state is copied.
// The uniform draws of the swaps come from a stream of their own, so a run
// gives the same states whatever the number of threads.
//
// The ladder starts geometric, beta_j = hottest^(j / (n-1)). In rounds marked
// as adapting (the burn-in, never later, so that the kept rounds have a
// fixed target), the log of each spacing of the temperatures 1/beta is moved
// by a decreasing step towards the swap rate kTargetSwapRate, so that all
// neighbours end with the same rate. Proposals and acceptances are counted
// per pair over the rounds that do not adapt.
//
// How the programs use it:
//  - Each program keeps a vector of replica states and one CReplicaExchange.
//    Its sweep function runs one sweep of replica r with every genotype
//    likelihood raised to beta (beta = 1 is the plain sweep) and stores the
//    untempered log-likelihood of the state it ends in; the log-likelihood
//    function returns that value. Traces, sums and result files read the
//    replica on rung 0 after each round (ReplicaAt(0)); nothing else of the
//    hotter replicas is reported.
//  - Replica r draws from CRandomStream(seed, ReplicaStreamId(r)); replica 0
//    uses the run's own generator, so -rx1 is the plain chain.
//  - Inside a sweep, draws split into blocks of loci or individuals run
//    through the same CThreadPool (ParallelFor from inside the sweep
//    function is safe), block b of replica r drawing from
//    CRandomStream(seed, BlockStreamId(r, b)).
//  - SwapCounter(j) gives the rates for the run diagnostics and run.txt.
#ifndef BRELO_CORE_REPLICAEXCHANGE_H
#define BRELO_CORE_REPLICAEXCHANGE_H

#include <functional>
#include <vector>

#include "core/Diagnostics.h"
#include "core/RandomStreams.h"
#include "core/ThreadPool.h"

// Power of the hottest rung of the starting ladder.
constexpr double kDefaultHottestPower = 0.5;
// Swap rate the adapting rounds aim every pair of neighbours at.
constexpr double kTargetSwapRate = 0.25;

class CReplicaExchange {
  public:
    // Sweep of replica r with the likelihood raised to beta; false abandons
    // the run.
    using SweepFunction = std::function<bool(int replica, double beta)>;
    // Untempered log-likelihood of replica r's current state.
    using LogLikelihoodFunction = std::function<double(int replica)>;

    // n >= 1 replicas, replica j on rung j at first; swaps drawn from the
    // exchange stream of runSeed.
    CReplicaExchange(int n, unsigned long runSeed, double hottest = kDefaultHottestPower);

    int Replicas() const { return static_cast<int>(m_replicaOnRung.size()); }
    double Beta(int rung) const { return m_beta[rung]; }
    const std::vector<double>& Betas() const { return m_beta; }
    int ReplicaAt(int rung) const { return m_replicaOnRung[rung]; }
    int RungOf(int replica) const { return m_rungOfReplica[replica]; }

    // One round (sweeps, then swaps). False, with no swap made, when a sweep
    // returned false.
    bool Round(CThreadPool& pool, const SweepFunction& sweep,
               const LogLikelihoodFunction& logLikelihood, bool adapt);

    // Swaps of rungs j and j+1 over the rounds that did not adapt.
    const CAcceptanceCounter& SwapCounter(int pair) const { return m_swaps[pair]; }

  private:
    void ProposeSwap(int rung, bool adapt);
    void SetBetasFromSpacings();

    std::vector<double> m_beta;               // by rung
    std::vector<double> m_logSpacing;         // log(1/beta_{j+1} - 1/beta_j)
    std::vector<int> m_replicaOnRung;         // by rung
    std::vector<int> m_rungOfReplica;         // by replica
    std::vector<CAcceptanceCounter> m_swaps;  // by pair
    std::vector<char> m_sweepOk;              // by replica, one round
    std::vector<double> m_logLik;             // by replica, one round
    CRandomStream m_stream;
    long m_adaptingRounds = 0;
};

#endif
