#include "brelo/BreloResults.h"

#include <cmath>
#include <iomanip>
#include <iostream>
#include <limits>

#include "brelo/BreloOptions.h"
#include "brelo/BreloSampler.h"
#include "core/MatrixUtilities.h"
#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "core/StatUtilities.h"
#include "io/IOUtilities.h"
#include "io/ManipVector.h"
#include "io/ResultReport.h"
#include "io/ResultTables.h"
#include "plot/PlotUtilities.h"

namespace {

// Regression criteria of each non-reference cluster (the last entries of
// the vectors hold the totals over clusters).
struct SRegressionCriteria {
    DBL_VCTR_1D DICregr, DICregr2;
    DBL_VCTR_1D RSSestimatedParam, penalty, penalty2;  // per cluster
    bool negativePenalty = false;
};

// Everything Part of the summary that goes into the criteria row and files.
struct SRunSummary {
    INT_VCTR_1D hc;
    DBL_VCTR_1D pi;
    int KEst = 0;
    double cor = 0;
    SLikelihoodCriteria lh;
    DBL_VCTR_1D dAIC, dRSS, varRSS;
    double DIC = 0, DIC2 = 0, DIC2_tot = 0;
    SRegressionCriteria regr;
};

bool HasCovariates(const SBreloChain& c) {
    return c.beta_length > 0;
}

std::ostream& Fixed17(std::ostream& os, double value) {
    return os << std::fixed << std::setprecision(15) << std::setw(17) << value;
}

void DivideAll(DBL_VCTR_2D& M, double divisor) {
    for (DBL_VCTR_1D& row : M)
        for (double& x : row)
            x /= divisor;
}

// ---------------------------------------------------------------- estimates

void NormaliseSums(SBreloChain& c) {
    const double kept = c.KeptSweep;
    for (DBL_VCTR_2D& cluster : c.spAverage.p)
        DivideAll(cluster, kept);
    DivideAll(c.cpAverage, kept);
    DivideAll(c.spAverage.beta, kept);
    DivideAll(c.varBeta, kept);
    DivideAll(c.spAverage.w, kept);
}

// Predicted memberships are shares of the probit draws actually made, so each
// row sums to 1 whatever the alignment of the kept sweeps on multiples of 10.
void NormalisePredictedMemberships(SBreloChain& c) {
    const double draws = c.nPredictiveDraws > 0 ? c.nPredictiveDraws : 1;
    DivideAll(c.nClusterIndiv, draws);
    DivideAll(c.nClusterIndiv_valid, c.KeptSweep);
    for (size_t v = 0; v < c.nClusterQualVar.size(); ++v)
        for (size_t level = 0; level < c.nClusterQualVar[v].size(); ++level) {
            const int n = c.data.LevelCount[v][level];
            const int nValid =
                c.data.LevelCount_valid.empty() ? 0 : c.data.LevelCount_valid[v][level];
            for (double& x : c.nClusterQualVar[v][level])
                x = n > 0 ? x / (draws * n) : 0.0;
            for (double& x : c.nClusterQualVar_valid[v][level])
                x = nValid > 0 ? x / (static_cast<double>(c.KeptSweep) * nValid) : 0.0;
        }
}

DBL_VCTR_1D MixingProportions(const SBreloChain& c) {
    DBL_VCTR_1D pi(c.K, 0.0);
    for (const DBL_VCTR_1D& row : c.cpAverage)
        for (int k = 0; k < c.K; ++k)
            pi[k] += row[k];
    for (double& x : pi)
        x /= c.N;
    return pi;
}

int EstimatedNumberOfClusters(const DBL_VCTR_1D& pi) {
    const int K = static_cast<int>(pi.size());
    int KEst = K;
    for (double x : pi)
        if (x < 1.0 / (8.0 * K))
            --KEst;
    return KEst;
}

// ---------------------------------------------------------------- criteria

// Sum over observed copies of ln p-hat of the individual's most probable
// cluster (plain log: a zero frequency gives -infinity). Each logarithm is
// taken once, not once a copy.
double HardClusteringLogLikelihood(const SBreloChain& c, const INT_VCTR_1D& hc) {
    DBL_VCTR_3D logp = c.spAverage.p;
    for (DBL_VCTR_2D& cluster : logp)
        for (DBL_VCTR_1D& locus : cluster)
            for (double& v : locus)
                v = std::log(v);
    double sum = 0.0;
    for (int i = 0; i < c.N; ++i)
        for (int a = 0; a < c.A; ++a)
            for (int l = 0; l < c.L; ++l) {
                const int j = c.data.X.Index(i, a, l);
                if (j != CGenotypeStore::kMissing)
                    sum += logp[hc[i]][l][j];
            }
    return sum;
}

SRegressionCriteria ComputeRegressionCriteria(const SBreloChain& c, const DBL_VCTR_1D& dRSS,
                                              const DBL_VCTR_1D& varRSS) {
    SRegressionCriteria r;
    r.DICregr.assign(c.K, 0.0);
    r.DICregr2.assign(c.K, 0.0);
    r.RSSestimatedParam.assign(c.K, 0.0);
    r.penalty.assign(c.K, 0.0);
    r.penalty2.assign(c.K, 0.0);
    if (!c.hasRegression)
        return r;
    DBL_VCTR_2D Pred;
    Mult_t(Pred, c.data.Xtild, c.spAverage.beta);
    for (int k = 0; k < c.R; ++k) {
        double rss = 0.0;
        for (int i = 0; i < c.N; ++i) {
            const double e = c.spAverage.w[i][k] - Pred[i][k];
            rss += e * e;
        }
        r.RSSestimatedParam[k] = rss;
        r.penalty[k] = dRSS[k] - rss;
        r.penalty2[k] = 0.5 * varRSS[k];
        r.DICregr[k] = dRSS[k] + r.penalty[k];
        r.DICregr2[k] = dRSS[k] + r.penalty2[k];
        r.DICregr[c.K - 1] += r.DICregr[k];
        r.DICregr2[c.K - 1] += r.DICregr2[k];
        if (r.penalty[k] < 0 || r.penalty2[k] < 0)
            r.negativePenalty = true;
    }
    return r;
}

void ComputeCriteria(const SBreloChain& c, SRunSummary& sum) {
    sum.lh = ComputeLikelihoodCriteria(c.LH, c.LH_valid, c.TotalSweep, c.KeptSweep);
    DBL_VCTR_1D varAIC;
    KeptColumnMeans(c.AIC, c.TotalSweep, c.KeptSweep, sum.dAIC, varAIC);
    KeptColumnMeans(c.RSS, c.TotalSweep, c.KeptSweep, sum.dRSS, sum.varRSS);
    const double tmpDIC = HardClusteringLogLikelihood(c, sum.hc);
    sum.DIC = 2 * tmpDIC - 4 * sum.lh.dAL;
    sum.DIC2 = -2 * sum.lh.dAL + 2 * sum.lh.varLH;
    sum.DIC2_tot = -2 * sum.lh.dAL_tot + 2 * sum.lh.varLH_tot;
    sum.regr = ComputeRegressionCriteria(c, sum.dRSS, sum.varRSS);
}

// ---------------------------------------------------------------- files

void WritePredictedMemberships(SBreloChain& c, const SBreloOptions& opts, const std::string& FOFN,
                               SRunSummary& sum) {
    const char* title = "Predicted Clustering Probabilities for Samples";
    SaveToMyFileClumppFormat(c.nClusterIndiv, FOFN + "PPM.txt", true, title);
    // The individuals in the order of the estimated memberships' bar plot.
    const SBarLabels labels = PopulationBarLabels(c.data.ids, c.data.popIndex);
    PlotAP(FOFN + "PPM.png", c.nClusterIndiv, "Predicted Assignment Probabilities", labels,
           MembershipOrder(c.cpAverage, labels));
    sum.cor = Correlation(c.cpAverage, c.nClusterIndiv);
    const bool validIndiv = c.data.bValOnIndiv;
    if (validIndiv) {
        SaveToMyFileClumppFormat(c.nClusterIndiv_valid, FOFN + "PPM_valid.txt", true, title);
        PlotAP(FOFN + "PPM_valid.png", c.nClusterIndiv_valid, "Predicted Assignment Probabilities",
               SBarLabels(), MembershipOrder(c.nClusterIndiv_valid, SBarLabels()));
    }
    for (int v = 0; v < opts.nbQualVar; ++v) {
        const std::string number = std::to_string(v + 1);
        SaveToMyFileClumppFormat(c.nClusterQualVar[v], FOFN + "PPMvar" + number + ".txt", false,
                                 "");
        if (validIndiv)
            SaveToMyFileClumppFormat(c.nClusterQualVar_valid[v],
                                     FOFN + "PPM" + number + "_valid.txt", false, "");
    }
    if (opts.nbQualVar > 0) {
        PlotPPMqual(FOFN + "PPMqual.png", c.nClusterQualVar);
        if (validIndiv)
            PlotPPMqual(FOFN + "PPMqual_valid.png", c.nClusterQualVar_valid);
    }
}

void WriteLatentUtilities(std::ostream& os, const DBL_VCTR_2D& w) {
    os << "Estimated Latent Variable W:\n";
    for (size_t i = 0; i < w.size(); ++i) {
        os << i << ":"
           << "\t";
        for (double x : w[i])
            Fixed17(os, x) << "\t";
        os << "\n";
    }
}

void WriteReport(const SBreloChain& c, const SBreloOptions& opts, const std::string& FOFN,
                 const DBL_VCTR_1D& pi, const SRunDiagnostics& diagnostics) {
    const std::string file = FOFN + "TR.txt";
    std::ofstream os = OpenResultFile(file, "brelo");
    os << "Estimated Clustering Probabilities for Samples\n";
    WriteInOfstreamClummpFormat(c.cpAverage, os);
    if (HasCovariates(c)) {
        os << "Predicted Clustering Probabilities for Samples\n";
        WriteInOfstreamClummpFormat(c.nClusterIndiv, os);
        for (int v = 0; v < opts.nbQualVar; ++v) {
            os << "Predicted Clustering Probabilities Averaged over Individuals from the Same "
                  "Class of the Qualitative Variable n°"
               << v + 1 << "\n";
            WriteInOfstreamClummpFormat(c.nClusterQualVar[v], os);
        }
    }
    WriteAlleleFrequencies(os, c.spAverage.p, c.alleleV);
    WriteMixingProportions(os, pi);
    if (c.hasRegression) {
        SaveBetaToMyFile(c.BH, FOFN + "BetaStock.txt");
        const int firstKept = c.BurnIn + c.BurnInStructure;
        WriteBetaSignificance(os, c.spAverage.beta, c.BH, firstKept, c.KeptSweep);
        WriteBetaIntervals(os, c.BH, firstKept, c.KeptSweep);
        WriteLatentUtilities(os, c.spAverage.w);
        os << "\n\n\n";
    }
    ReportRunDiagnostics(os, diagnostics);
    CloseResultFile(os, file, "brelo");
}

// The plain tables of memberships (training individuals) and allele
// frequencies (training loci; alleleV also lists the held-out ones).
// A table that cannot be written ends the run, as every result file.
void WriteResultTables(const SBreloChain& c, const std::string& FOFN) {
    const INT_VCTR_2D trainingAlleles(c.alleleV.begin(), c.alleleV.begin() + c.L);
    if (!SaveQTable(c.cpAverage, c.data.ids, FOFN + kQTableSuffix) ||
        (!c.data.popIndex.empty() && !SaveLabelTable(c.data.popIndex, FOFN + kLabelsSuffix)) ||
        !SavePTable(c.spAverage.p, trainingAlleles, c.data.locusNumber, FOFN + kPTableSuffix))
        ExitProgram(1);
}

void WriteLikelihoodFiles(const SBreloChain& c, const std::string& FOFN) {
    PlotLH(FOFN + "LH.png", c.LH, c.TotalSweep - c.KeptSweep);
    SaveToMyFile(c.LH, FOFN + "LHstock.txt");
    if (c.data.bFIT) {
        PlotLH(FOFN + "LH_valid.png", c.LH_valid);
        SaveToMyFile(c.LH_valid, FOFN + "LHstock_valid.txt");
    }
    if (HasCovariates(c))
        SaveToMyFile(c.AIC, FOFN + "AICStock.txt");
}

void WriteCriteriaFiles(const SBreloChain& c, const std::string& FOFN, const SRunSummary& sum) {
    std::ofstream al = OpenResultFile(FOFN + "AL.txt", "brelo");
    al << sum.lh.dAL;
    CloseResultFile(al, FOFN + "AL.txt", "brelo");
    if (c.K > 1) {
        std::ofstream aic = OpenResultFile(FOFN + "AIC.txt", "brelo");
        aic << "Cluster \t AIC \n";
        for (int k = 1; k < c.K; ++k)
            Fixed17(aic << k << "\t", sum.dAIC[k - 1]) << "\n";
        Fixed17(aic << "ALL"
                    << "\t",
                sum.dAIC[c.K - 1])
            << "\n";
        CloseResultFile(aic, FOFN + "AIC.txt", "brelo");
    }
    std::ofstream bf = OpenResultFile(FOFN + "BF.txt", "brelo");
    bf << "(Likelihood Max)/P(Data)\t" << sum.lh.BF << "\n"
       << "Log-Likelihood Max"
       << "\t" << sum.lh.LHmax << "\n";
    CloseResultFile(bf, FOFN + "BF.txt", "brelo");
    std::ofstream dic = OpenResultFile(FOFN + "DIC.txt", "brelo");
    dic << sum.DIC;
    CloseResultFile(dic, FOFN + "DIC.txt", "brelo");
    if (!c.hasRegression)
        return;
    const SRegressionCriteria& r = sum.regr;
    std::ofstream regr = OpenResultFile(FOFN + "DICregr.txt", "brelo");
    regr << "Cluster \t DIC regression \t DIC2 regression \t dRSS \t RSSestimatedParam \t "
            "penalty \t penalty2\n";
    for (int k = 1; k < c.K; ++k) {
        regr << k;
        for (double x : {r.DICregr[k - 1], r.DICregr2[k - 1], sum.dRSS[k - 1],
                         r.RSSestimatedParam[k - 1], r.penalty[k - 1], r.penalty2[k - 1]})
            Fixed17(regr << "\t", x);
        regr << "\n";
    }
    regr << "ALL \t";
    Fixed17(regr, r.DICregr[c.K - 1]) << "\t";
    Fixed17(regr, r.DICregr2[c.K - 1]) << "\t";
    Fixed17(regr, sum.dRSS[c.K - 1]) << "\n";
    CloseResultFile(regr, FOFN + "DICregr.txt", "brelo");
    if (r.negativePenalty) {
        std::ofstream err = OpenResultFile(FOFN + "DICregrError.txt", "brelo");
        err << "Error, negative penalty ! penalty1= " << r.penalty[c.K - 2]
            << "penalty2=" << r.penalty2[c.K - 2] << "\n";
        CloseResultFile(err, FOFN + "DICregrError.txt", "brelo");
    }
}

void FillRunCriteria(const SBreloChain& c, const SRunSummary& sum, CRunCriteria& rc) {
    rc.KEst = sum.KEst;
    rc.dAL = sum.lh.dAL;
    rc.dAL_valid = sum.lh.dAL_valid;
    rc.DIC = sum.DIC;
    rc.DIC2 = sum.DIC2;
    rc.dAIC = sum.dAIC;
    rc.DICregr = sum.regr.DICregr;
    rc.DICregr2 = sum.regr.DICregr2;
    rc.DIC2_tot = sum.DIC2_tot;
    rc.BF = sum.lh.BF;
    rc.LHmax = sum.lh.LHmax;
    rc.cor = sum.cor;
    (void)c;
}

void WriteCriteriaRow(std::ofstream& os, int K, const CRunCriteria& rc,
                      const std::string& configName, bool bFIT) {
    os << rc.KEst << "\t" << rc.dAL << "\t" << rc.dAL_valid << "\t" << rc.DIC << "\t" << rc.DIC2
       << "\t" << CriterionText(rc.cor) << "\t";
    if (K >= 2)
        os << rc.dAIC[K - 1] << "\t" << rc.DICregr[K - 1] << "\t" << rc.DICregr2[K - 1];
    else
        os << "NA"
           << "\t"
           << "NA"
           << "\t"
           << "NA";
    os << "\t" << rc.DIC2_tot << "\t" << rc.BF << "\t" << rc.LHmax;
    if (K >= 2) {
        for (int k = 0; k < K - 1; ++k)
            os << "\t" << rc.DICregr[k];
        for (int k = 0; k < K - 1; ++k)
            os << "\t" << rc.dAIC[k];
    }
    if (bFIT)
        os << "\t" << configName;
    else
        os << "\t AllData";
    os << std::endl;
}

}  // namespace

SLikelihoodCriteria ComputeLikelihoodCriteria(const DBL_VCTR_1D& LH, const DBL_VCTR_1D& LH_valid,
                                              int TotalSweep, int KeptSweep) {
    SLikelihoodCriteria r;
    const int NoS = KeptSweep > 0 ? KeptSweep : 1;
    const int first = TotalSweep - NoS;
    const int firstKept = TotalSweep - KeptSweep;
    r.LHmax = -std::numeric_limits<double>::infinity();
    double sum = 0, sumValid = 0, sumSq = 0, sumSqTot = 0;
    for (int s = first; s < TotalSweep; ++s) {
        const int t = s - firstKept;
        const double valid = t >= 0 && t < static_cast<int>(LH_valid.size()) ? LH_valid[t] : 0.0;
        r.LHmax = std::max(r.LHmax, LH[s]);
        sum += LH[s];
        sumValid += valid;
        sumSq += LH[s] * LH[s];
        sumSqTot += (LH[s] + valid) * (LH[s] + valid);
    }
    r.dAL = sum / NoS;
    r.dAL_valid = sumValid / NoS;
    r.dAL_tot = r.dAL + r.dAL_valid;
    r.varLH = sumSq / NoS - r.dAL * r.dAL;
    r.varLH_tot = sumSqTot / NoS - r.dAL_tot * r.dAL_tot;
    double sumBF = 0;
    for (int s = first; s < TotalSweep; ++s)
        sumBF += 1.0 / std::exp(LH[s] - r.LHmax);
    r.BF = sumBF / NoS;
    return r;
}

void KeptColumnMeans(const DBL_VCTR_2D& perSweep, int TotalSweep, int KeptSweep, DBL_VCTR_1D& mean,
                     DBL_VCTR_1D& var) {
    const int NoS = KeptSweep > 0 ? KeptSweep : 1;
    const size_t K = perSweep.empty() ? 0 : perSweep[0].size();
    mean.assign(K, 0.0);
    var.assign(K, 0.0);
    for (int s = TotalSweep - NoS; s < TotalSweep; ++s)
        for (size_t k = 0; k < K; ++k) {
            mean[k] += perSweep[s][k];
            var[k] += perSweep[s][k] * perSweep[s][k];
        }
    for (size_t k = 0; k < K; ++k) {
        mean[k] /= NoS;
        var[k] = var[k] / NoS - mean[k] * mean[k];
    }
}

SRunDiagnostics DiagnoseChain(const SBreloChain& c) {
    SRunDiagnostics d;
    AddStepDiagnostic(d, "label", c.labelAcceptance);
    if (c.exchange)
        AddSwapDiagnostics(d, *c.exchange);
    const int firstKept = c.TotalSweep - c.KeptSweep;
    if (c.KeptSweep <= 0)
        return d;
    AddTraceDiagnostic(d, "log-likelihood", c.LH.data() + firstKept, c.KeptSweep);
    for (int k = 0; c.hasRegression && k < c.R; ++k)
        for (int b = 0; b < c.beta_length; ++b)
            AddTraceDiagnostic(d,
                               "beta[" + std::to_string(k + 1) + "][" + std::to_string(b + 1) + "]",
                               c.BH[k][b].data() + firstKept, c.KeptSweep);
    return d;
}

SRunDiagnostics WriteRunResults(SBreloChain& c, const SBreloOptions& opts, const std::string& FOFN,
                                std::ofstream& ofsCriteria, CRunCriteria& runCriteria,
                                const std::string& configName) {
    SRunDiagnostics diagnostics = DiagnoseChain(c);
    // The trace charts the run writes (named by their suffix, as the report
    // of every run reads alike): BH only with coefficients.
    for (const std::string& chart :
         {FigureFile("LH.png"), c.hasRegression ? FigureFile("BH.png") : ""})
        if (!chart.empty())
            diagnostics.charts.push_back(chart);
    SRunSummary sum;
    NormaliseSums(c);
    if (c.hasRegression) {
        SaveToMyFile(c.spAverage.beta, FOFN + "betaHat.txt");
        PlotBetaHist(FOFN + "BH.png", c.BH, c.data.nQualLevels, opts.nbQuantVar, opts.trendDegree,
                     c.TotalSweep - c.KeptSweep);
    }
    HardAssignment(c.cpAverage, sum.hc);
    sum.pi = MixingProportions(c);
    if (HasCovariates(c)) {
        NormalisePredictedMemberships(c);
        WritePredictedMemberships(c, opts, FOFN, sum);
    } else {
        const DBL_VCTR_2D uniform(c.N, DBL_VCTR_1D(c.K, 1.0 / c.K));
        sum.cor = Correlation(c.cpAverage, uniform);
    }
    ReportMembershipCorrelation(sum.cor, FOFN + "COR.txt", HasCovariates(c));
    WriteReport(c, opts, FOFN, sum.pi, diagnostics);
    SaveToMyFileClumppFormat(c.cpAverage, FOFN + "AP.txt", false, "");
    const SBarLabels labels = PopulationBarLabels(c.data.ids, c.data.popIndex);
    PlotAP(FOFN + "AP.png", c.cpAverage, "Assignment Probabilities", labels,
           MembershipOrder(c.cpAverage, labels));
    WriteResultTables(c, FOFN);
    sum.KEst = EstimatedNumberOfClusters(sum.pi);
    std::ofstream en = OpenResultFile(FOFN + "EN.txt", "brelo");
    en << sum.KEst << "\n";
    CloseResultFile(en, FOFN + "EN.txt", "brelo");
    WriteLikelihoodFiles(c, FOFN);
    ComputeCriteria(c, sum);
    WriteCriteriaFiles(c, FOFN, sum);
    FillRunCriteria(c, sum, runCriteria);
    WriteCriteriaRow(ofsCriteria, c.K, runCriteria, configName, c.data.bFIT);
    return diagnostics;
}
