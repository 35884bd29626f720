// The result charts built but not written: PlotUtilities checks the inputs
// and writes them (PNG and PDF); tests read their layout and where their
// texts went. Inputs are taken as checked.
#ifndef BRELO_PLOT_RESULTCHARTS_H
#define BRELO_PLOT_RESULTCHARTS_H

#include <memory>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "core/VectorUtilities.h"
#include "plot/PlotUtilities.h"

// "Log-Likelihood History": the history with named axes, the end of the
// burn-in marked.
std::unique_ptr<XYChart> LogLikelihoodChart(const DBL_VCTR_1D& history, int firstKept);

// "Regression Coefficients": one small history per cluster and
// coefficient, with named axes.
std::unique_ptr<MultiChart> CoefficientHistoryChart(const DBL_VCTR_3D& betaHist,
                                                    const INT_VCTR_1D& nQualLevels, int nbQuantVar,
                                                    int trendDegree, int firstKept);

// The membership bar plot of PlotAP.
std::unique_ptr<XYChart> MembershipBarChart(const DBL_VCTR_2D& ap, const std::string& title,
                                            const SBarLabels& labels, const INT_VCTR_1D& order);

// "Predicted Assignement Probabilities": the bars of each qualitative
// covariate's levels side by side, with a legend of the clusters.
std::unique_ptr<MultiChart> LevelBarChart(const DBL_VCTR_3D& ap);

#endif
