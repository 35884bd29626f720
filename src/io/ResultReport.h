// The sections of the text report "TR.txt" that both programs write in the
// same layout, and the hard-assignment rule both use for their most probable
// clusters.
#ifndef BRELO_IO_RESULTREPORT_H
#define BRELO_IO_RESULTREPORT_H

#include <ostream>
#include <string>

#include "core/VectorUtilities.h"

// Index of the largest of probs[0..K-1]: the first maximum (a later value
// replaces the running maximum, which starts at -1, only when strictly
// larger). 0 for an empty or all-negative row.
int HardAssignment(const double* probs, int K);
int HardAssignment(const DBL_VCTR_1D& probs);
// hc[i] = HardAssignment(probs[i]) for every row; hc is resized to the rows.
void HardAssignment(const DBL_VCTR_2D& probs, INT_VCTR_1D& hc);

// "Estimated Allele Frequencies", then for each cluster "Cluster 01", for
// each locus "Locus 001", for each allele "Allele " + its code (width 3,
// fill '0') + "\t" + p[k][l][j] (fixed, 15 decimals, width 17); an empty line
// after each locus and each cluster, and one more at the end.
void WriteAlleleFrequencies(std::ostream& os, const DBL_VCTR_3D& p, const INT_VCTR_2D& alleleV);

// "Estimated Mixing Proportions", then pi[k] one per line (fixed, 15
// decimals, width 17), then three line ends.
void WriteMixingProportions(std::ostream& os, const DBL_VCTR_1D& pi);

// "Estimated Beta and Significance Level:", then for each coefficient row r
// (betaHat: R rows x B coefficients; R = K-1 in brelo, K in breloAdm) the
// line "r+1:\t" followed, per coefficient, by betaHat (fixed, 15 decimals,
// width 17), " ", the significance mark of its kept trace and "\t"; then an
// empty line, the legend line and three line ends.
// BH[r][b] is the trace of coefficient b of row r over the sweeps; the kept
// part is the KeptSweep values from firstKept on (clipped to the trace).
void WriteBetaSignificance(std::ostream& os, const DBL_VCTR_2D& betaHat, const DBL_VCTR_3D& BH,
                           int firstKept, int KeptSweep);

// "95 % Bayesian Confidence Interval for Estimated Beta:", then for each row
// "r+1:\t" followed by the 2.5 %..97.5 % interval of each kept trace and
// "\t" (breloAdm pads each interval to width 17); then three line ends.
void WriteBetaIntervals(std::ostream& os, const DBL_VCTR_3D& BH, int firstKept, int KeptSweep);

// A criterion in the default stream format, or "NA" when it is undefined
// (not finite), as a user and R read it.
std::string CriterionText(double value);

// Prints "Correlation between estimated and predicted membership coeff = "
// with the value and writes the value alone, without line end, to file.
// The correlation with a constant matrix is undefined and reads "NA" in both
// places. Without covariates (meaningful false: the memberships predicted
// from an intercept alone are the same for everyone) nothing is printed and
// the file reads "NA".
void ReportMembershipCorrelation(double cor, const std::string& file, bool meaningful = true);

#endif
