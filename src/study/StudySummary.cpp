#include "study/StudySummary.h"

#include <gsl/gsl_statistics_double.h>

#include <cmath>
#include <limits>

#include "core/MultiChainDiagnostics.h"
#include "study/Alignment.h"
#include "study/Modes.h"

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Mean and standard deviation of the known values (sd needs two of them).
void MeanAndSd(const std::vector<double>& values, double& mean, double& sd) {
    std::vector<double> known;
    for (double v : values)
        if (!std::isnan(v))
            known.push_back(v);
    mean = known.empty() ? kNaN : gsl_stats_mean(known.data(), 1, known.size());
    sd = known.size() < 2 ? kNaN : gsl_stats_sd_m(known.data(), 1, known.size(), mean);
}
}  // namespace

SChainResult::SChainResult()
    : DIC(kNaN),
      meanLogL(kNaN),
      seconds(kNaN),
      similarityToMode(kNaN),
      worstEss(kNaN),
      heldOut(kNaN) {}

SKSummary::SKSummary()
    : meanLogL(kNaN),
      sdLogL(kNaN),
      meanDIC(kNaN),
      bestDIC(kNaN),
      deltaK(kNaN),
      majorModeSimilarity(kNaN),
      rhat(kNaN),
      ess(kNaN),
      majorModeShare(kNaN),
      worstEss(kNaN),
      meanHeldOut(kNaN),
      sdHeldOut(kNaN) {}

SKSummary SummariseK(int K, std::vector<SChainResult>& chains, double threshold) {
    SKSummary s;
    s.K = K;
    std::vector<int> finished;
    std::vector<DBL_VCTR_2D> Q;
    std::vector<double> logL, DIC;
    for (size_t c = 0; c < chains.size(); ++c) {
        if (chains[c].status == ChainStatus::Failed)
            ++s.failed;
        if (chains[c].status != ChainStatus::Done)
            continue;
        finished.push_back(static_cast<int>(c));
        Q.push_back(chains[c].Q);
        logL.push_back(chains[c].meanLogL);
        DIC.push_back(chains[c].DIC);
        const double dic = chains[c].DIC;
        if (!std::isnan(dic) && (std::isnan(s.bestDIC) || dic < s.bestDIC)) {
            s.bestDIC = dic;
            s.bestReplicate = chains[c].replicate;
        }
    }
    s.chains = static_cast<int>(finished.size());
    double sdDIC;
    MeanAndSd(logL, s.meanLogL, s.sdLogL);
    MeanAndSd(DIC, s.meanDIC, sdDIC);
    std::vector<SMode> modes = FindModes(Q, DIC, threshold);
    s.modes = static_cast<int>(modes.size());
    for (size_t m = 0; m < modes.size(); ++m)
        for (size_t j = 0; j < modes[m].chains.size(); ++j) {
            SChainResult& chain = chains[finished[modes[m].chains[j]]];
            chain.mode = static_cast<int>(m);
            chain.similarityToMode = modes[m].similarityToMean[j];
        }
    std::vector<double> heldOut;
    for (const SChainResult& c : chains)
        if (std::isfinite(c.heldOut))
            heldOut.push_back(c.heldOut);
    s.heldOutChains = static_cast<int>(heldOut.size());
    MeanAndSd(heldOut, s.meanHeldOut, s.sdHeldOut);
    if (!modes.empty()) {
        s.majorModeChains = static_cast<int>(modes[0].chains.size());
        s.majorModeShare = static_cast<double>(s.majorModeChains) / s.chains;
        s.majorModeSimilarity = modes[0].meanPairSimilarity;
        s.majorQ = modes[0].meanQ;
    }
    for (size_t m = 1; m < modes.size(); ++m) {
        const DBL_VCTR_2D& q = modes[m].meanQ;
        s.minorQ.push_back(PermuteClusters(q, AlignClusters(q, s.majorQ)));
        s.minorModeChains.push_back(static_cast<int>(modes[m].chains.size()));
    }
    return s;
}

void AssessAgreement(SKSummary& s, const std::vector<SChainResult>& chains) {
    std::vector<std::vector<double>> kept;
    for (const SChainResult& c : chains) {
        if (c.status != ChainStatus::Done)
            continue;
        if (c.burnIn >= 0 && c.trace.size() > static_cast<size_t>(c.burnIn) + 3)
            kept.emplace_back(c.trace.begin() + c.burnIn, c.trace.end());
        if (!c.warned)
            continue;
        ++s.warnedChains;
        // A frozen trace (NaN) is worse than any effective sample size.
        auto score = [](double ess) { return std::isnan(ess) ? -1.0 : ess; };
        if (s.worstParameter.empty() || score(c.worstEss) < score(s.worstEss)) {
            s.worstParameter = c.worstParameter;
            s.worstEss = c.worstEss;
        }
    }
    if (!kept.empty()) {
        s.rhat = SplitRhat(kept);
        s.ess = BulkEffectiveSampleSize(kept);
    }
    s.notMixed = s.warnedChains > 0;
    s.disagree = s.rhat > kRhatLimit || (s.chains > 0 && 2 * s.majorModeChains < s.chains);
}

std::string MarkText(const SKSummary& s) {
    if (s.disagree && s.notMixed)
        return "chains disagree; not mixed";
    if (s.disagree)
        return "chains disagree";
    return s.notMixed ? "not mixed" : "";
}

std::vector<double> EvannoDeltaK(const std::vector<int>& K, const std::vector<double>& meanLogL,
                                 const std::vector<double>& sdLogL) {
    std::vector<double> delta(K.size(), kNaN);
    for (size_t i = 1; i + 1 < K.size(); ++i) {
        if (K[i - 1] != K[i] - 1 || K[i + 1] != K[i] + 1)
            continue;
        const double second = meanLogL[i + 1] - 2 * meanLogL[i] + meanLogL[i - 1];
        if (std::isnan(second) || !(sdLogL[i] > 0))
            continue;
        delta[i] = std::fabs(second) / sdLogL[i];
    }
    return delta;
}

void AlignAcrossK(std::vector<SKSummary>& summaries) {
    const DBL_VCTR_2D* previous = nullptr;
    for (SKSummary& s : summaries) {
        if (s.majorQ.empty())
            continue;
        if (previous != nullptr && previous->size() == s.majorQ.size()) {
            const std::vector<int> permutation = AlignClusters(s.majorQ, *previous);
            s.majorQ = PermuteClusters(s.majorQ, permutation);
            for (DBL_VCTR_2D& q : s.minorQ)
                q = PermuteClusters(q, permutation);
        }
        previous = &s.majorQ;
    }
}

int ChooseK(std::vector<SKSummary>& summaries) {
    SKSummary* best = nullptr;
    for (SKSummary& s : summaries) {
        s.chosen = false;
        if (!std::isnan(s.deltaK) && (best == nullptr || s.deltaK > best->deltaK))
            best = &s;
    }
    if (best == nullptr)
        return 0;
    best->chosen = true;
    return best->K;
}

int ChooseKByHeldOut(std::vector<SKSummary>& summaries) {
    const SKSummary* best = nullptr;
    for (SKSummary& s : summaries) {
        s.bestHeldOut = false;
        if (std::isfinite(s.meanHeldOut) && (best == nullptr || s.meanHeldOut > best->meanHeldOut))
            best = &s;
    }
    if (best == nullptr)
        return 0;
    // Past the K where the clusters stop predicting the held-out loci, the
    // scores level off and differ by chance: the smallest K within reach of
    // the best is the answer.
    const double error = std::isfinite(best->sdHeldOut) && best->heldOutChains > 0
                             ? best->sdHeldOut / std::sqrt(best->heldOutChains)
                             : 0;
    SKSummary* chosen = nullptr;
    for (SKSummary& s : summaries)
        if (std::isfinite(s.meanHeldOut) && s.meanHeldOut >= best->meanHeldOut - error &&
            (chosen == nullptr || s.K < chosen->K))
            chosen = &s;
    chosen->bestHeldOut = true;
    return chosen->K;
}
