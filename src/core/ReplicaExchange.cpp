#include "core/ReplicaExchange.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <gsl/gsl_rng.h>

namespace {

// Robbins-Monro step of the ladder at adapting round t (from 0).
double AdaptationStep(long t) {
    return 1.0 / std::pow(static_cast<double>(t + 1), 0.6);
}

// Bound of the log spacing of neighbouring temperatures: where the tempered
// laws stop changing (a likelihood of bounded range), every swap is accepted
// whatever the spacing and the adaptation would widen it for ever.
constexpr double kMaxLogSpacing = 13.8;  // a spacing of about 1e6

}  // namespace

CReplicaExchange::CReplicaExchange(int n, unsigned long runSeed, double hottest)
    : m_beta(std::max(n, 1), 1.0),
      m_logSpacing(std::max(n - 1, 0), 0.0),
      m_replicaOnRung(std::max(n, 1)),
      m_rungOfReplica(std::max(n, 1)),
      m_swaps(std::max(n - 1, 0)),
      m_sweepOk(std::max(n, 1), 1),
      m_logLik(std::max(n, 1), 0.0),
      m_stream(runSeed, kExchangeStreamId) {
    for (int j = 0; j < Replicas(); ++j) {
        m_replicaOnRung[j] = j;
        m_rungOfReplica[j] = j;
        if (n > 1)
            m_beta[j] = std::pow(hottest, static_cast<double>(j) / (n - 1));
    }
    for (int j = 0; j + 1 < Replicas(); ++j)
        m_logSpacing[j] = std::log(1.0 / m_beta[j + 1] - 1.0 / m_beta[j]);
}

void CReplicaExchange::SetBetasFromSpacings() {
    double temperature = 1.0;
    for (int j = 0; j + 1 < Replicas(); ++j) {
        temperature += std::exp(m_logSpacing[j]);
        m_beta[j + 1] = 1.0 / temperature;
    }
}

void CReplicaExchange::ProposeSwap(int rung, bool adapt) {
    const int a = m_replicaOnRung[rung], b = m_replicaOnRung[rung + 1];
    const double logRatio = (m_beta[rung] - m_beta[rung + 1]) * (m_logLik[b] - m_logLik[a]);
    const double u = gsl_rng_uniform_pos(m_stream.get());
    const bool accepted = std::log(u) < logRatio;
    if (accepted) {
        std::swap(m_replicaOnRung[rung], m_replicaOnRung[rung + 1]);
        m_rungOfReplica[a] = rung + 1;
        m_rungOfReplica[b] = rung;
    }
    if (adapt) {
        const double rate = logRatio >= 0.0 ? 1.0 : std::exp(logRatio);
        double& spacing = m_logSpacing[rung];
        spacing += AdaptationStep(m_adaptingRounds) * (rate - kTargetSwapRate);
        spacing = std::min(spacing, kMaxLogSpacing);
    } else {
        m_swaps[rung].Count(accepted);
    }
}

bool CReplicaExchange::Round(CThreadPool& pool, const SweepFunction& sweep,
                             const LogLikelihoodFunction& logLikelihood, bool adapt) {
    const int n = Replicas();
    // The sweeps start in the order of the rungs: the replica at power 1,
    // often the costliest (a program may give it moves the tempered ones
    // skip), is taken first, and the others fill the remaining threads.
    pool.ParallelFor(n, [&](int rung) {
        const int r = m_replicaOnRung[rung];
        m_sweepOk[r] = sweep(r, m_beta[rung]);
    });
    for (int r = 0; r < n; ++r)
        if (!m_sweepOk[r])
            return false;
    if (n == 1)
        return true;
    for (int r = 0; r < n; ++r)
        m_logLik[r] = logLikelihood(r);
    for (int first = 0; first < 2; ++first)
        for (int rung = first; rung + 1 < n; rung += 2)
            ProposeSwap(rung, adapt);
    if (adapt) {
        SetBetasFromSpacings();
        ++m_adaptingRounds;
    }
    return true;
}
