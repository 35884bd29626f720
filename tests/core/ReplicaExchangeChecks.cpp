// Exact checks of the replica exchange on targets small enough to enumerate:
// a state on 0..M-1 with log-likelihood l(x) and a uniform prior, so rung j
// targets pi_j(x) proportional to exp(beta_j l(x)). Fixed seeds.
#include <gtest/gtest.h>

#include <gsl/gsl_randist.h>

#include <cmath>
#include <vector>

#include "core/ExactCheckSupport.h"
#include "core/ReplicaExchange.h"

namespace {

// Log-likelihoods of a rugged target: two modes far apart.
const std::vector<double> kLogLik = {0.0, -2.0, -6.0, -9.0, -5.0, -1.0, -0.5, -7.0};

std::vector<double> TemperedLaw(const std::vector<double>& logLik, double beta) {
    std::vector<double> p(logLik.size());
    double sum = 0.0;
    for (size_t x = 0; x < p.size(); ++x)
        sum += p[x] = std::exp(beta * logLik[x]);
    for (double& v : p)
        v /= sum;
    return p;
}

// The swap rate of rungs a, b when each holds an independent draw of its law.
double ExpectedSwapRate(const std::vector<double>& logLik, double betaA, double betaB) {
    const std::vector<double> pa = TemperedLaw(logLik, betaA), pb = TemperedLaw(logLik, betaB);
    double rate = 0.0;
    for (size_t x = 0; x < logLik.size(); ++x)
        for (size_t y = 0; y < logLik.size(); ++y)
            rate +=
                pa[x] * pb[y] * std::min(1.0, std::exp((betaA - betaB) * (logLik[y] - logLik[x])));
    return rate;
}

int DrawFrom(const std::vector<double>& p, gsl_rng* rng) {
    double u = gsl_rng_uniform(rng);
    for (size_t x = 0; x + 1 < p.size(); ++x)
        if ((u -= p[x]) < 0)
            return static_cast<int>(x);
    return static_cast<int>(p.size()) - 1;
}

// Replicas whose sweep is an exact draw of their tempered law (so every
// round's states are independent of the last round's) or a few steps of a
// nearest-neighbour Metropolis walk (which alone does not cross between the
// modes).
class CToyReplicas {
  public:
    CToyReplicas(int n, unsigned long seed, const std::vector<double>& logLik, bool exact)
        : m_logLik(logLik), m_exact(exact), m_x(n, 0) {
        for (int r = 0; r < n; ++r)
            m_streams.emplace_back(seed, ReplicaStreamId(r));
    }
    bool Sweep(int r, double beta) {
        gsl_rng* rng = m_streams[r].get();
        if (m_exact) {
            m_x[r] = DrawFrom(TemperedLaw(m_logLik, beta), rng);
            return true;
        }
        const int M = static_cast<int>(m_logLik.size());
        for (int t = 0; t < 3; ++t) {
            const int y = m_x[r] + (gsl_rng_uniform(rng) < 0.5 ? -1 : 1);
            if (y >= 0 && y < M &&
                std::log(gsl_rng_uniform_pos(rng)) < beta * (m_logLik[y] - m_logLik[m_x[r]]))
                m_x[r] = y;
        }
        return true;
    }
    bool Round(CReplicaExchange& exchange, CThreadPool& pool, bool adapt) {
        return exchange.Round(
            pool, [this](int r, double beta) { return Sweep(r, beta); },
            [this](int r) { return m_logLik[m_x[r]]; }, adapt);
    }
    int State(int replica) const { return m_x[replica]; }

  private:
    std::vector<double> m_logLik;
    bool m_exact;
    std::vector<int> m_x;
    std::vector<CRandomStream> m_streams;
};

}  // namespace

TEST(ReplicaExchangeChecks, EveryRungKeepsItsTemperedLawAndSwapsAtTheComputedRates) {
    const int n = 4, rounds = 100000;
    CThreadPool pool(2);
    CReplicaExchange exchange(n, 31, 0.2);
    CToyReplicas replicas(n, 31, kLogLik, true);
    const int M = static_cast<int>(kLogLik.size());
    std::vector<std::vector<long>> visits(n, std::vector<long>(M, 0));
    for (int t = 0; t < rounds; ++t) {
        ASSERT_TRUE(replicas.Round(exchange, pool, false));
        for (int j = 0; j < n; ++j)
            ++visits[j][replicas.State(exchange.ReplicaAt(j))];
    }
    EXPECT_DOUBLE_EQ(exchange.Beta(0), 1.0);
    for (int j = 0; j < n; ++j)
        EXPECT_GT(ChiSquarePValue(visits[j], TemperedLaw(kLogLik, exchange.Beta(j))), kPValueLimit)
            << "rung " << j;
    // Each pair is proposed once a round, its acceptances independent
    // Bernoulli draws of the expected rate.
    for (int j = 0; j + 1 < n; ++j) {
        const CAcceptanceCounter& c = exchange.SwapCounter(j);
        ASSERT_EQ(c.proposed, rounds);
        const double p = ExpectedSwapRate(kLogLik, exchange.Beta(j), exchange.Beta(j + 1));
        const double z = (c.Rate() - p) / std::sqrt(p * (1 - p) / rounds);
        EXPECT_LT(std::fabs(z), kZLimit) << "pair " << j << ": rate " << c.Rate() << ", law " << p;
    }
}

TEST(ReplicaExchangeChecks, SwapsCarryTheColdRungAcrossModesItsOwnWalkCannotCross) {
    // The walk alone, from state 0, would need to cross state 3 (20 units
    // below the modes) to reach the other mode; the cold rung's visits must
    // match its law all the same. Visits are correlated: z-scores of each
    // state's frequency with batch-mean errors.
    const std::vector<double> logLik = {0.0, -3.0, -8.0, -20.0, -8.0, -1.0, -0.5, -7.0};
    const int n = 4, rounds = 200000;
    CThreadPool pool(1);
    CReplicaExchange exchange(n, 32, 0.1);
    CToyReplicas replicas(n, 32, logLik, false);
    const int M = static_cast<int>(logLik.size());
    std::vector<std::vector<double>> indicator(M);
    for (int t = 0; t < rounds; ++t) {
        ASSERT_TRUE(replicas.Round(exchange, pool, false));
        const int x = replicas.State(exchange.ReplicaAt(0));
        for (int v = 0; v < M; ++v)
            indicator[v].push_back(x == v ? 1.0 : 0.0);
    }
    const std::vector<double> law = TemperedLaw(logLik, 1.0);
    for (int v = 0; v < M; ++v) {
        const double se = BatchMeansStdErr(indicator[v], 100);
        if (law[v] < 1e-3)
            EXPECT_LT(Mean(indicator[v]), 2e-3) << "state " << v;
        else
            EXPECT_LT(std::fabs(Mean(indicator[v]) - law[v]) / se, kZLimit) << "state " << v;
    }
}

TEST(ReplicaExchangeChecks, TheAdaptedLadderGivesEveryPairTheTargetRate) {
    // A standard normal target in 40 dimensions, l(x) = -|x|^2 / 2, each
    // sweep an exact draw N(0, I / beta): from a ladder far too wide (every
    // swap refused) the adapting rounds bring each pair to the target rate;
    // the rounds that follow keep the ladder as it is.
    const int n = 5, d = 40;
    CThreadPool pool(2);
    CReplicaExchange exchange(n, 33, 1e-3);
    std::vector<CRandomStream> streams;
    for (int r = 0; r < n; ++r)
        streams.emplace_back(33, ReplicaStreamId(r));
    std::vector<double> logLik(n, 0.0);
    auto sweep = [&](int r, double beta) {
        double sq = 0.0;
        for (int k = 0; k < d; ++k) {
            const double x = gsl_ran_gaussian(streams[r].get(), 1.0 / std::sqrt(beta));
            sq += x * x;
        }
        logLik[r] = -0.5 * sq;
        return true;
    };
    auto logLikelihood = [&](int r) { return logLik[r]; };
    for (int t = 0; t < 30000; ++t)
        ASSERT_TRUE(exchange.Round(pool, sweep, logLikelihood, true));
    const std::vector<double> adapted = exchange.Betas();
    for (int t = 0; t < 20000; ++t)
        ASSERT_TRUE(exchange.Round(pool, sweep, logLikelihood, false));
    EXPECT_EQ(exchange.Betas(), adapted);
    for (int j = 0; j + 1 < n; ++j) {
        EXPECT_LT(exchange.Beta(j + 1), exchange.Beta(j));
        EXPECT_NEAR(exchange.SwapCounter(j).Rate(), kTargetSwapRate, 0.03) << "pair " << j;
        EXPECT_EQ(exchange.SwapCounter(j).proposed, 20000);
    }
}
