#include "io/ResultReport.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "core/MiscUtilities.h"
#include "core/ProgramFlavour.h"
#include "core/StatUtilities.h"

namespace {

const char* const kSignificanceLegend = "100% '****' 99.9 % '***' 99% '**' 95% '*' 90% '-' 0% ";

void WriteFixed17(std::ostream& os, double value) {
    os << std::fixed << std::setprecision(15) << std::setw(17) << value;
}

// Start and length of the kept part of one coefficient trace.
int KeptLength(const DBL_VCTR_1D& trace, int firstKept, int KeptSweep) {
    if (firstKept < 0 || firstKept >= static_cast<int>(trace.size()) || KeptSweep <= 0)
        return 0;
    return std::min(KeptSweep, static_cast<int>(trace.size()) - firstKept);
}

}  // namespace

int HardAssignment(const double* probs, int K) {
    int best = 0;
    double max = -1.0;
    for (int k = 0; k < K; ++k)
        if (probs[k] > max) {
            max = probs[k];
            best = k;
        }
    return best;
}

int HardAssignment(const DBL_VCTR_1D& probs) {
    return HardAssignment(probs.data(), static_cast<int>(probs.size()));
}

void HardAssignment(const DBL_VCTR_2D& probs, INT_VCTR_1D& hc) {
    hc.resize(probs.size());
    for (size_t i = 0; i < probs.size(); ++i)
        hc[i] = HardAssignment(probs[i]);
}

void WriteAlleleFrequencies(std::ostream& os, const DBL_VCTR_3D& p, const INT_VCTR_2D& alleleV) {
    os << "Estimated Allele Frequencies\n";
    for (size_t k = 0; k < p.size(); ++k) {
        os << "Cluster " << std::setw(2) << std::setfill('0') << k + 1 << "\n";
        for (size_t l = 0; l < p[k].size(); ++l) {
            os << "Locus " << std::setw(3) << std::setfill('0') << l + 1 << "\n";
            for (size_t j = 0; j < p[k][l].size(); ++j) {
                os << "Allele " << std::setw(3) << std::setfill('0') << alleleV[l][j] << "\t";
                WriteFixed17(os, p[k][l][j]);
                os << "\n";
            }
            os << "\n";
        }
        os << "\n";
    }
    os << "\n";
}

void WriteMixingProportions(std::ostream& os, const DBL_VCTR_1D& pi) {
    os << "Estimated Mixing Proportions\n";
    for (double value : pi) {
        WriteFixed17(os, value);
        os << "\n";
    }
    os << "\n\n\n";
}

void WriteBetaSignificance(std::ostream& os, const DBL_VCTR_2D& betaHat, const DBL_VCTR_3D& BH,
                           int firstKept, int KeptSweep) {
    os << "Estimated Beta and Significance Level:\n";
    for (size_t r = 0; r < betaHat.size(); ++r) {
        os << r + 1 << ":"
           << "\t";
        for (size_t b = 0; b < betaHat[r].size(); ++b) {
            const DBL_VCTR_1D& trace = BH[r][b];
            int n = KeptLength(trace, firstKept, KeptSweep);
            WriteFixed17(os, betaHat[r][b]);
            os << " " << Significance(n > 0 ? &trace[firstKept] : nullptr, n) << "\t";
        }
        os << "\n";
    }
    os << "\n" << kSignificanceLegend << "\n\n\n\n";
}

void WriteBetaIntervals(std::ostream& os, const DBL_VCTR_3D& BH, int firstKept, int KeptSweep) {
    const bool padded = IsBreloAdm();
    os << "95 % Bayesian Confidence Interval for Estimated Beta:\n";
    for (size_t r = 0; r < BH.size(); ++r) {
        os << r + 1 << ":"
           << "\t";
        for (const DBL_VCTR_1D& trace : BH[r]) {
            int n = KeptLength(trace, firstKept, KeptSweep);
            std::string interval = CI(n > 0 ? &trace[firstKept] : nullptr, n, 0.025, 0.975);
            if (padded)
                os << std::setw(17) << std::setfill(' ');
            os << interval << "\t";
        }
        os << "\n";
    }
    os << "\n\n\n";
}

std::string CriterionText(double value) {
    if (!std::isfinite(value))
        return "NA";
    std::ostringstream text;
    text << value;
    return text.str();
}

void ReportMembershipCorrelation(double cor, const std::string& file, bool meaningful) {
    const std::string text = meaningful ? CriterionText(cor) : std::string("NA");
    if (meaningful)
        std::cout << "Correlation between estimated and predicted membership coeff = " << text
                  << std::endl;
    std::ofstream ofs = OpenResultFile(file, "ReportMembershipCorrelation");
    ofs << text;
    CloseResultFile(ofs, file, "ReportMembershipCorrelation");
}
