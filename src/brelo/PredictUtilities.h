// Prediction mode of program brelo (brelo -predict): memberships of new
// individuals from their covariates alone, with the coefficients
// ("betaHat.txt") of an earlier run of brelo or breloAdm.
#ifndef BRELO_BRELO_PREDICTUTILITIES_H
#define BRELO_BRELO_PREDICTUTILITIES_H

#include <string>

#include <gsl/gsl_rng.h>

#include "core/VectorUtilities.h"

// The mode's entry (all arguments from argv[1] are scanned). Returns after
// writing the prediction table (and chart); every failure prints its
// message, the usage where it helps, and exits with status 1.
void predictionFromCommandLine(int argc, char** argv);

// Prints the usage of the prediction mode on standard output.
void ShowUsagePrediction();

// Number of design columns a run with this trend degree used: every column
// without coordinates (trendDegree -1), else the intercept, covariate and
// (T+1)(T+2)/2 - 1 trend columns of the 10 + covariate columns built.
int NumberOfCoefficients(int nbXtildCol, int trendDegree);

// Predicts the memberships of the rows of Xtild and writes outFile + ".txt"
// (and outFile + ".png" when plotPredBarplot). False when the prediction
// could not be computed. A coefficient file with fewer or more coefficients
// per cluster than B, the columns the options give, is fatal (exit 1).
bool predict(bool adm, const std::string& betaFile, DBL_VCTR_2D& Xtild, int K, int trendDegree,
             const std::string& outFile, bool plotPredBarplot, gsl_rng*& rng);

// Without admixture: ten draws of each individual's class from the
// multinomial probit (cluster K-1 the reference), each adding 0.1.
bool predictNoAdm(const std::string& betaFile, DBL_VCTR_2D& Xtild, int K, int B,
                  DBL_VCTR_2D& nClusterIndiv, gsl_rng*& rng);
// With admixture: one Dirichlet draw of the admixture proportions with
// parameters exp(linear predictor).
bool predictAdm(const std::string& betaFile, DBL_VCTR_2D& Xtild, int K, int B,
                DBL_VCTR_2D& nClusterIndiv, gsl_rng*& rng);

// Reads a coefficient table into beta (pre-sized coefficients x clusters;
// an empty beta is fatal: "Uninitialized beta - LoadBeta"). A file with one
// line per cluster (the layout of "betaHat.txt") gives column r of beta from
// line r, and beta takes as many rows as the lines hold coefficients; a file
// of exactly rows x columns values in another line layout is read column by
// column. Fatal (exit 1, one line): file not readable, a malformed number,
// or a number of values that fits neither layout.
void LoadBeta(DBL_VCTR_2D& beta, const std::string& File);

// Res = (first rows(B) columns of A).B. Fatal: an empty matrix, A with fewer
// columns than B has rows (" vs " message), Res of another shape.
void TroncateAndMult(DBL_VCTR_2D& Res, const DBL_VCTR_2D& A, const DBL_VCTR_2D& B);

#endif
