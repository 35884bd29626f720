// Column coding shared by the data loader and the new-covariate loader of
// prediction mode, so that both build the design matrix the same way.
#ifndef BRELO_IO_COVARIATECODING_H
#define BRELO_IO_COVARIATECODING_H

// Number of trend columns: 0 without coordinates in the trend, trendDegree
// with the second coordinate only, (d+1)(d+2)/2 - 1 with both.
int TrendSize(int trendDegree, int nb_var_regr);

// Writes the TrendSize(trendDegree, nb_var_regr) trend columns of a record
// with coordinates (x, y) from out[0]: nb_var_regr 1 gives y, y2, y3;
// nb_var_regr 2 gives x, y, x2, y2, xy, x3, y3, x2y, xy2; truncated to the
// degree (at most 3).
void FillTrendColumns(double x, double y, int trendDegree, int nb_var_regr, double* out);

// Sum-to-zero coding of level k (0 = base level) of a covariate with
// nLevels levels into its block of nLevels - 1 columns: the base level gives
// -1 in every column, level k > 0 gives 1 in column k - 1 and 0 elsewhere.
void EffectCode(double* block, int nLevels, int k);

#endif
