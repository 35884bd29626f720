#include "breloAdm/AdmixtureResults.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <iostream>

#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "core/StatUtilities.h"
#include "io/BestRunRecord.h"
#include "io/IOUtilities.h"
#include "io/ManipVector.h"
#include "io/ResultReport.h"
#include "io/ResultTables.h"
#include "plot/PlotUtilities.h"

namespace {

void Scale(DBL_VCTR_1D& v, double divisor) {
    for (double& x : v)
        x /= divisor;
}
void Scale(DBL_VCTR_2D& v, double divisor) {
    for (DBL_VCTR_1D& row : v)
        Scale(row, divisor);
}

// Predictive shares: each predictive sweep draws 10 x A x L labels per
// individual, so dividing by the sweeps actually made gives rows summing to 1.
void NormalisePredictive(const SAdmOptions& opt, const SAdmSetup& setup, const SAdmChain& chain,
                         SAdmEstimates& est) {
    const double draws = std::max(chain.nPredictiveSweeps, 1) * (opt.A * opt.L * 10.0);
    est.nClusterQualVar = chain.nClusterQualVar;
    for (size_t v = 0; v < est.nClusterQualVar.size(); ++v)
        for (size_t lev = 0; lev < est.nClusterQualVar[v].size(); ++lev) {
            const int members = setup.data.LevelCount[v][lev];
            Scale(est.nClusterQualVar[v][lev], draws * std::max(members, 1));
        }
    est.nb_cluster_individual = chain.nb_cluster_individual;
    Scale(est.nb_cluster_individual, draws);
}

// Most frequent label of each copy over the kept sweeps (first maximum).
void CopyHardAssignments(const SAdmOptions& opt, const SAdmChain& chain, SAdmEstimates& est) {
    est.hcAdmix.Assign(opt.N, opt.A, opt.L, opt.K);
    INT_VCTR_1D counts(opt.K);
    size_t copy = 0;
    for (int i = 0; i < opt.N; ++i)
        for (int a = 0; a < opt.A; ++a)
            for (int l = 0; l < opt.L; ++l, ++copy) {
                chain.cpAverageAdmix.Counts(copy, counts.data());
                int best = -1;
                for (int k = 0; k < opt.K; ++k)
                    if (counts[k] > best) {
                        best = counts[k];
                        est.hcAdmix[i][a][l] = k;
                    }
            }
}

void ComputeMeans(const SAdmOptions& opt, const SAdmChain& chain, SAdmEstimates& est) {
    const double kept = opt.TotalSweep - opt.BurnIn;
    const CSweepParams& sum = chain.spAverage;
    est.mean.p = sum.p;
    for (DBL_VCTR_2D& pk : est.mean.p)
        Scale(pk, kept);
    est.mean.q = sum.q;
    Scale(est.mean.q, kept);
    est.mean.sigma = sum.sigma;
    Scale(est.mean.sigma, kept);
    est.mean.psi = sum.psi;
    Scale(est.mean.psi, kept);
    est.mean.drift = sum.drift;
    Scale(est.mean.drift, kept);
    est.mean.alpha = sum.alpha;
    Scale(est.mean.alpha, kept);
    est.cpAverage = chain.cpAverage;
    Scale(est.cpAverage, opt.L * opt.A * kept);
    est.mean.beta = sum.beta;
    Scale(est.mean.beta, kept);
}

double MeanOf(const DBL_VCTR_1D& v, int from, int to) {
    double sum = 0.0;
    for (int s = from; s < to; ++s)
        sum += v[s];
    return sum / (to - from);
}

// tmpDIC (mixture of the mean frequencies over the copy's label shares) and
// tmpDIC2 (mean frequency of the copy's most frequent label), over the final
// genotypes.
void PlugInLogLikelihoods(const SAdmOptions& opt, const SAdmSetup& setup, const SAdmChain& chain,
                          const SAdmEstimates& est, double& tmpDIC, double& tmpDIC2) {
    const double kept = opt.TotalSweep - opt.BurnIn;
    const DBL_VCTR_3D& p = est.mean.p;
    tmpDIC = 0.0;
    tmpDIC2 = 0.0;
    INT_VCTR_1D counts(opt.K);
    size_t copy = 0;
    for (int i = 0; i < opt.N; ++i)
        for (int a = 0; a < opt.A; ++a)
            for (int l = 0; l < opt.L; ++l, ++copy) {
                const int j = setup.data.X.Index(i, a, l);
                if (j == CGenotypeStore::kMissing)
                    continue;
                chain.cpAverageAdmix.Counts(copy, counts.data());
                double mix = 0.0;
                for (int k = 0; k < opt.K; ++k)
                    mix += p[k][l][j] * (counts[k] / kept);
                tmpDIC += std::log(mix);
                tmpDIC2 += std::log(p[est.hcAdmix[i][a][l]][l][j]);
            }
}

void ComputeCriteria(const SAdmOptions& opt, const SAdmSetup& setup, const SAdmChain& chain,
                     SAdmEstimates& est) {
    const int kept = opt.TotalSweep - opt.BurnIn;
    const int NoS = std::max(static_cast<int>(kept * 0.1), 1);
    est.dAL = MeanOf(chain.LH, opt.TotalSweep - NoS, opt.TotalSweep);
    const double dALdic = MeanOf(chain.LH, opt.BurnIn, opt.TotalSweep);
    double tmpDIC = 0.0, tmpDIC2 = 0.0;
    PlugInLogLikelihoods(opt, setup, chain, est, tmpDIC, tmpDIC2);
    const double Dbar = -2 * dALdic;
    est.pd = -2 * dALdic + 2 * tmpDIC;
    est.pd2 = -2 * dALdic + 2 * tmpDIC2;
    const double varDeviance = chain.varDeviance / kept;
    est.pd3 = 0.5 * (varDeviance - 4 * dALdic * dALdic);
    est.DIC = Dbar + est.pd;
    est.DIC2 = Dbar + est.pd2;
    est.DIC3 = Dbar + est.pd3;
}

// The Metropolis steps of every cluster; the log-likelihood over the kept
// sweeps; the coefficients, and the variances and interaction parameters
// when they are updated, over the kept sweeps that update them.
void DiagnoseChain(const SAdmOptions& opt, const SAdmChain& chain, SRunDiagnostics& d) {
    d = SRunDiagnostics();
    const auto cluster = [](size_t k) { return "[" + std::to_string(k + 1) + "]"; };
    for (size_t k = 0; k < chain.fieldAcceptance.size(); ++k)
        AddStepDiagnostic(d, "CAR field" + cluster(k), chain.fieldAcceptance[k]);
    if (opt.updatePsi)
        for (size_t k = 0; k < chain.psiAcceptance.size(); ++k)
            AddStepDiagnostic(d, "psi" + cluster(k), chain.psiAcceptance[k]);
    if (opt.jointMoves) {
        for (size_t k = 0; k < chain.trendAcceptance.size(); ++k)
            AddStepDiagnostic(d, "trend shift" + cluster(k), chain.trendAcceptance[k]);
        if (chain.levelAcceptance.proposed > 0)
            AddStepDiagnostic(d, "level shift", chain.levelAcceptance);
        AddStepDiagnostic(d, "common trend shift", chain.commonAcceptance);
        if (opt.updateSigma)
            for (size_t k = 0; k < chain.scaleAcceptance.size(); ++k)
                AddStepDiagnostic(d, "field scale" + cluster(k), chain.scaleAcceptance[k]);
    }
    if (opt.proportionMoves && chain.proportionAcceptance.proposed > 0)
        AddStepDiagnostic(d, "proportion move", chain.proportionAcceptance);
    if (opt.ancestralFrequencies) {
        AddStepDiagnostic(d, "ancestral frequencies", chain.ancestralAcceptance);
        for (size_t k = 0; k < chain.driftAcceptance.size(); ++k)
            AddStepDiagnostic(d, "drift" + cluster(k), chain.driftAcceptance[k]);
    }
    if (chain.exchange)
        AddSwapDiagnostics(d, *chain.exchange);
    const int kept = opt.TotalSweep - opt.BurnIn;
    AddTraceDiagnostic(d, "log-likelihood", chain.LH.data() + opt.BurnIn, kept);
    const int from = std::max(opt.BurnIn, opt.burnStruct + 1);
    const size_t n = from < opt.TotalSweep ? opt.TotalSweep - from : 0;
    for (size_t k = 0; k < chain.BH.size(); ++k)
        for (size_t b = 0; b < chain.BH[k].size(); ++b)
            AddTraceDiagnostic(d, "beta" + cluster(k) + cluster(b), chain.BH[k][b].data() + from,
                               n);
    for (size_t k = 0; opt.updateSigma && k < chain.sigmaH.size(); ++k)
        AddTraceDiagnostic(d, "sigma" + cluster(k), chain.sigmaH[k].data() + from, n);
    for (size_t k = 0; opt.updatePsi && k < chain.psiH.size(); ++k)
        AddTraceDiagnostic(d, "psi" + cluster(k), chain.psiH[k].data() + from, n);
}

// ---------------------------------------------------------------------------
// Text report

void WriteEstimatedMemberships(std::ostream& os, const DBL_VCTR_2D& cpAverage, int K) {
    os << "Estimated Clustering Probabilities for Samples\n";
    os << "Sample\t";
    for (int k = 0; k < K; ++k)
        os << "***Cluster  " << std::setw(2) << std::setfill('0') << k + 1 << "***\t";
    os << "\n";
    os << std::fixed << std::setprecision(15);
    for (size_t i = 0; i < cpAverage.size(); ++i) {
        os << std::setw(6) << std::setfill('0') << i + 1 << ":"
           << "\t";
        for (int k = 0; k < K; ++k)
            os << std::setw(17) << cpAverage[i][k] << "\t";
        os << "\t"
           << "1"
           << "\n";
    }
}

void WriteVarianceAndPsi(std::ostream& os, const SAdmEstimates& est, double largestEigenvalue) {
    os << "Estimated sigma: \n";
    for (size_t k = 0; k < est.mean.sigma.size(); ++k)
        os << "k: " << k << "\t" << est.mean.sigma[k] << "\n";
    os << "\n\n\n";
    os << "Estimated psi: \n";
    for (size_t k = 0; k < est.mean.psi.size(); ++k)
        os << "k: " << k << "\t" << est.mean.psi[k] * largestEigenvalue << "\n";
    os << "\n\n\n";
}

// With -anc1, each cluster's drift from the ancestral frequencies.
void WriteDrifts(std::ostream& os, const SAdmOptions& opt, const SAdmEstimates& est) {
    if (!opt.ancestralFrequencies)
        return;
    os << "Estimated drift from the ancestral frequencies: \n";
    for (size_t k = 0; k < est.mean.drift.size(); ++k)
        os << "k: " << k << "\t" << est.mean.drift[k] << "\n";
    os << "\n\n\n";
}

void WriteReport(const SAdmOptions& opt, const SAdmSetup& setup, const CSpatialPrior& prior,
                 const SAdmChain& chain, const SAdmEstimates& est) {
    const std::string file = opt.FOFN + "TR.txt";
    std::ofstream os = OpenResultFile(file, "WriteReport");
    const int kept = opt.TotalSweep - opt.BurnIn;
    WriteEstimatedMemberships(os, est.cpAverage, opt.K);
    os << "\n\n\n";
    WriteAlleleFrequencies(os, est.mean.p, setup.alleleV);
    WriteMixingProportions(os, est.pi);
    WriteBetaSignificance(os, est.mean.beta, chain.BH, opt.BurnIn, kept);
    WriteBetaIntervals(os, chain.BH, opt.BurnIn, kept);
    os << std::fixed << std::setprecision(15) << std::setfill(' ');
    WriteVarianceAndPsi(os, est, prior.largestEigenvalue);
    WriteDrifts(os, opt, est);
    ReportRunDiagnostics(os, est.diagnostics);
    CloseResultFile(os, file, "WriteReport");
}

void WriteValue(const std::string& File, double value) {
    std::ofstream os = OpenResultFile(File, "WriteValue");
    os << value << "\n";
    CloseResultFile(os, File, "WriteValue");
}

void WritePredictiveMemberships(const SAdmOptions& opt, const SAdmSetup& setup,
                                const SAdmEstimates& est) {
    SaveToMyFileClumppFormat(est.nb_cluster_individual, opt.FOFN + "PPM.txt", true,
                             "Predicted Clustering Probabilities for Samples");
    // The individuals in the order of the admixture proportions' bar plot.
    const SBarLabels labels = PopulationBarLabels(setup.data.ids, setup.data.popIndex);
    PlotAP(opt.FOFN + "PPM.png", est.nb_cluster_individual, "Predicted Assignment Probabilities",
           labels, MembershipOrder(est.cpAverage, labels));
    const double cor = Correlation(est.cpAverage, est.nb_cluster_individual);
    // Predicted from the intercept alone, the memberships are the same for
    // every individual: there is nothing to correlate.
    const bool covariates = !est.nb_cluster_individual.empty() && setup.beta_length > 1;
    ReportMembershipCorrelation(cor, opt.FOFN + "COR.txt", covariates);
    for (size_t v = 0; v < est.nClusterQualVar.size(); ++v)
        SaveToMyFileClumppFormat(est.nClusterQualVar[v],
                                 opt.FOFN + "PPMvar" + std::to_string(v + 1) + ".txt", false, "");
    if (opt.nbQualVar >= 1)
        PlotPPMqual(opt.FOFN + "PPMqual.png", est.nClusterQualVar);
}

// The plain tables: the admixture proportions of the report (share of each
// individual's copies labelled k) and the mean allele frequencies.
// A table that cannot be written ends the run, as every result file.
void WriteResultTables(const SAdmOptions& opt, const SAdmSetup& setup, const SAdmEstimates& est) {
    if (!SaveQTable(est.cpAverage, setup.data.ids, opt.FOFN + kQTableSuffix) ||
        (!setup.data.popIndex.empty() &&
         !SaveLabelTable(setup.data.popIndex, opt.FOFN + kLabelsSuffix)) ||
        !SavePTable(est.mean.p, setup.alleleV, PositionLocusNumbers(opt.L),
                    opt.FOFN + kPTableSuffix))
        ExitProgram(1);
}

}  // namespace

void SummariseChain(const SAdmOptions& opt, const SAdmSetup& setup, const SAdmChain& chain,
                    SAdmEstimates& est) {
    NormalisePredictive(opt, setup, chain, est);
    ComputeMeans(opt, chain, est);
    CopyHardAssignments(opt, chain, est);
    HardAssignment(est.cpAverage, est.hc);
    est.pi.assign(opt.K, 0.0);
    for (const DBL_VCTR_1D& row : est.cpAverage)
        for (int k = 0; k < opt.K; ++k)
            est.pi[k] += row[k] / opt.N;
    ComputeCriteria(opt, setup, chain, est);
    DiagnoseChain(opt, chain, est.diagnostics);
    for (const std::string& chart : {FigureFile("LH.png"), FigureFile("BH.png")})
        if (!chart.empty())
            est.diagnostics.charts.push_back(chart);
}

void WriteAdmResults(const SAdmOptions& opt, const SAdmSetup& setup, const CSpatialPrior& prior,
                     const SAdmChain& chain, const SAdmEstimates& est) {
    SaveVector2D(est.mean.beta, opt.FOFN + "betaHat.txt");
    const STessellation& t = setup.tess;
    PlotHC(opt.FOFN + "HC.png", t.vptC, t.vbKeep, t.vdDataMinMax, t.veVoronoi, est.hc, opt.K);
    PlotAdmixtureMap(opt.FOFN + "MAP.png", t.vptC, t.vbKeep, t.vdDataMinMax, t.veVoronoi,
                     est.cpAverage, setup.siteOf, setup.shift.m_dX, setup.shift.m_dY);
    WriteReport(opt, setup, prior, chain, est);
    const SBarLabels labels = PopulationBarLabels(setup.data.ids, setup.data.popIndex);
    PlotAP(opt.FOFN + "AP.png", est.cpAverage, "Assignment Probabilities", labels,
           MembershipOrder(est.cpAverage, labels));
    WriteResultTables(opt, setup, est);
    WritePredictiveMemberships(opt, setup, est);
    WriteValue(opt.FOFN + "AL.txt", est.dAL);
    // The log-likelihood of every sweep, as brelo writes it.
    SaveToMyFile(chain.LH, opt.FOFN + "LHstock.txt");
    WriteValue(opt.FOFN + "PD.txt", est.pd);
    WriteValue(opt.FOFN + "PD2.txt", est.pd2);
    WriteValue(opt.FOFN + "DIC.txt", est.DIC);
    WriteValue(opt.FOFN + "DIC2.txt", est.DIC2);
    WriteValue(opt.FOFN + "DIC3.txt", est.DIC3);
    UpdateBestRunRecord(opt, est);
}

bool UpdateBestRunRecord(const SAdmOptions& opt, const SAdmEstimates& est) {
    SBestRun best;
    if (ReadBestRun(opt.FAFN, opt.K, best) && !(best.DIC > est.DIC))
        return false;
    if (!WriteBestRun(opt.FAFN, opt.K, opt.trendDegree, est.DIC, est.mean.sigma, est.mean.beta,
                      est.mean.alpha, est.mean.q, est.hcAdmix, est.mean.p))
        ExitProgram(1);
    return true;
}
