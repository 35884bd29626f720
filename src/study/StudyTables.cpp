#include "study/StudyTables.h"

#include "io/ResultTables.h"

#include <cmath>
#include <fstream>
#include <iomanip>

namespace {

struct Value {
    double v;
};

std::ostream& operator<<(std::ostream& os, Value x) {
    if (std::isnan(x.v))
        return os << "NA";
    if (std::isinf(x.v))
        return os << (x.v > 0 ? "Inf" : "-Inf");
    return os << x.v;
}

const char* StatusName(ChainStatus s) {
    switch (s) {
        case ChainStatus::Done:
            return "done";
        case ChainStatus::Failed:
            return "failed";
        default:
            return "unfinished";
    }
}

// A text field, NA when empty.
std::string Text(const std::string& text) {
    return text.empty() ? "NA" : TableField(text);
}

const char* Logical(bool b) {
    return b ? "TRUE" : "FALSE";
}

}  // namespace

bool WriteSummaryTable(std::ostream& out, const std::vector<SKSummary>& summaries) {
    out << std::setprecision(10);
    out << "K\tchains\tfailed\tmeanLogLik\tsdLogLik\tmeanDIC\tbestDIC\tdeltaK\tmodes\tmajorMode"
           "\tmajorModeSimilarity\tbestChain\tchosen\tRhat\tessLogLik\tmajorModeShare"
           "\twarnedChains\tworstParameter\tworstEss\tmark\theldOutLogLik\tsdHeldOutLogLik"
           "\theldOutChains\tbestHeldOut\n";
    for (const SKSummary& s : summaries) {
        out << s.K << "\t" << s.chains << "\t" << s.failed << "\t" << Value{s.meanLogL} << "\t"
            << Value{s.sdLogL} << "\t" << Value{s.meanDIC} << "\t" << Value{s.bestDIC} << "\t"
            << Value{s.deltaK} << "\t" << s.modes << "\t" << s.majorModeChains << "\t"
            << Value{s.majorModeSimilarity} << "\t";
        if (s.bestReplicate > 0)
            out << s.bestReplicate;
        else
            out << "NA";
        out << "\t" << Logical(s.chosen) << "\t" << Value{s.rhat} << "\t" << Value{s.ess} << "\t"
            << Value{s.majorModeShare} << "\t" << s.warnedChains << "\t" << Text(s.worstParameter)
            << "\t" << Value{s.worstEss} << "\t" << Text(MarkText(s)) << "\t"
            << Value{s.meanHeldOut} << "\t" << Value{s.sdHeldOut} << "\t" << s.heldOutChains << "\t"
            << Logical(s.bestHeldOut) << "\n";
    }
    return static_cast<bool>(out);
}

bool WriteMembershipTable(std::ostream& out, const DBL_VCTR_2D& Q,
                          const std::vector<std::string>& ids,
                          const std::vector<std::string>& groups) {
    if (ids.size() != Q.size())
        return false;
    const size_t K = Q.empty() ? 0 : Q[0].size();
    const bool grouped = groups.size() == Q.size() && !Q.empty();
    out << "id";
    if (grouped)
        out << "\tgroup";
    for (size_t k = 1; k <= K; ++k)
        out << "\tcluster" << k;
    out << "\n" << std::fixed << std::setprecision(6);
    for (size_t i = 0; i < Q.size(); ++i) {
        out << TableField(ids[i]);
        if (grouped)
            out << "\t" << TableField(groups[i]);
        for (double q : Q[i])
            out << "\t" << q;
        out << "\n";
    }
    return static_cast<bool>(out);
}

bool WriteChainTable(std::ostream& out, const std::vector<SChainResult>& chains) {
    out << std::setprecision(10);
    out << "replicate\tseed\tstatus\tDIC\tmeanLogLik\tmode\tsimilarity\tseconds\twarned"
           "\tworstParameter\tworstEss\theldOutLogLik\n";
    for (const SChainResult& c : chains) {
        out << c.replicate << "\t" << c.seed << "\t" << StatusName(c.status) << "\t" << Value{c.DIC}
            << "\t" << Value{c.meanLogL} << "\t";
        if (c.mode >= 0)
            out << c.mode + 1;
        else
            out << "NA";
        out << "\t" << Value{c.similarityToMode} << "\t" << Value{c.seconds} << "\t";
        if (c.status == ChainStatus::Done)
            out << Logical(c.warned);
        else
            out << "NA";
        out << "\t" << Text(c.worstParameter) << "\t" << Value{c.worstEss} << "\t"
            << Value{c.heldOut} << "\n";
    }
    return static_cast<bool>(out);
}
