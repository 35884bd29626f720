#include "io/RunDiagnostics.h"

#include <cmath>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "core/Messages.h"

namespace {

std::string TraceLine(const SRunDiagnostics::STrace& t) {
    std::ostringstream os;
    os << t.name << "\t" << std::fixed << std::setprecision(1) << t.ess;
    if (t.frozen)
        os << "\t(constant over the last half)";
    else if (t.Flagged())
        os << "\t(below " << std::lround(kMinimumEffectiveSampleSize) << ")";
    return os.str();
}

std::string StepLine(const SRunDiagnostics::SStep& s) {
    std::ostringstream os;
    os << s.name << "\t" << std::fixed << std::setprecision(4) << s.counter.Rate() << "\t("
       << s.counter.accepted << " of " << s.counter.proposed << " proposals)";
    return os.str();
}

std::vector<std::string> SectionLines(const SRunDiagnostics& d) {
    std::vector<std::string> lines = {"Run Diagnostics"};
    if (!d.steps.empty()) {
        lines.push_back("Acceptance rate of the Metropolis steps:");
        for (const SRunDiagnostics::SStep& s : d.steps)
            lines.push_back(StepLine(s));
    }
    if (!d.traces.empty()) {
        std::ostringstream head;
        head << "Effective sample size over the " << d.traces.front().length
             << " kept sweeps (clusters and coefficients numbered from 1):";
        lines.push_back(head.str());
        for (const SRunDiagnostics::STrace& t : d.traces)
            lines.push_back(TraceLine(t));
    }
    return lines;
}

}  // namespace

void AddStepDiagnostic(SRunDiagnostics& d, const std::string& name, const CAcceptanceCounter& c) {
    if (c.proposed > 0)
        d.steps.push_back({name, c});
}

void AddTraceDiagnostic(SRunDiagnostics& d, const std::string& name, const double* x, size_t n) {
    if (n == 0)
        return;
    SRunDiagnostics::STrace t;
    t.name = name;
    t.length = n;
    t.ess = EffectiveSampleSize(x, n);
    t.frozen = IsConstantOverLastHalf(x, n);
    d.traces.push_back(t);
}

namespace {

std::string PowerText(double power) {
    std::ostringstream os;
    os << std::setprecision(4) << power;
    return os.str();
}

std::string PairText(int rung, const char* separator) {
    return std::to_string(rung + 1) + separator + std::to_string(rung + 2);
}

}  // namespace

void AddSwapDiagnostics(SRunDiagnostics& d, const CReplicaExchange& exchange) {
    for (int j = 0; j + 1 < exchange.Replicas(); ++j)
        AddStepDiagnostic(d,
                          "swap of rungs " + PairText(j, "-") + " (powers " +
                              PowerText(exchange.Beta(j)) + ", " + PowerText(exchange.Beta(j + 1)) +
                              ")",
                          exchange.SwapCounter(j));
}

void RecordExchange(SRunRecord& record, const CReplicaExchange& exchange, int threads) {
    record.settings.emplace_back("replicas", std::to_string(exchange.Replicas()));
    record.settings.emplace_back("threads", std::to_string(threads));
    if (exchange.Replicas() < 2)
        return;
    std::string ladder;
    for (int j = 0; j < exchange.Replicas(); ++j)
        ladder += (j > 0 ? " " : "") + PowerText(exchange.Beta(j));
    record.settings.emplace_back("ladder_powers", ladder);
    for (int j = 0; j + 1 < exchange.Replicas(); ++j) {
        const CAcceptanceCounter& c = exchange.SwapCounter(j);
        std::ostringstream rate;
        if (c.proposed > 0)
            rate << std::fixed << std::setprecision(4) << c.Rate();
        else
            rate << "NA";
        record.settings.emplace_back("swap_rate_" + PairText(j, "_"), rate.str());
    }
}

void PrintReplicaExchange(int replicas, int threads) {
    std::cout << "Replica exchange: " << replicas << " replicas on " << threads
              << (threads > 1 ? " threads" : " thread") << std::endl;
}

void ReportRunDiagnostics(std::ostream& report, const SRunDiagnostics& d) {
    for (const std::string& line : SectionLines(d)) {
        report << line << "\n";
        std::cout << line << "\n";
    }
    // The warning stays with the section in the report file; on screen it is
    // said once, on the error stream, at the end of the run.
    const std::string warning = ConvergenceWarning(d);
    if (!warning.empty())
        report << warning << "\n";
    report << "\n\n\n";
    std::cout << std::flush;
}

std::string ConvergenceWarning(const SRunDiagnostics& d) {
    std::ostringstream os;
    int flagged = 0;
    for (const SRunDiagnostics::STrace& t : d.traces) {
        if (!t.Flagged())
            continue;
        os << (flagged++ ? ", " : "") << t.name;
        if (t.frozen)
            os << " (constant over the last half)";
        else
            os << " (effective sample size " << std::lround(t.ess) << ")";
    }
    if (flagged == 0)
        return std::string();
    std::string look;
    for (size_t c = 0; c < d.charts.size(); ++c)
        look += (c == 0                     ? ", and look at "
                 : c + 1 == d.charts.size() ? " and "
                                            : ", ") +
                d.charts[c];
    return "Warning: the chain has not mixed for " + os.str() + ": run more sweeps (-S)" + look +
           ".";
}

bool WarnIfNotConverged(const SRunDiagnostics& d) {
    const std::string warning = ConvergenceWarning(d);
    if (warning.empty())
        return false;
    PrintMessage(warning);
    return true;
}
