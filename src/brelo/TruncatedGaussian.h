// Draws from a normal law restricted to a half-line or an interval, for the
// latent utilities of the multinomial probit, and the simulation of probit
// data sets from known coefficients.
#ifndef BRELO_BRELO_TRUNCATEDGAUSSIAN_H
#define BRELO_BRELO_TRUNCATEDGAUSSIAN_H

#include <gsl/gsl_rng.h>

#include "core/VectorUtilities.h"

// Each draw inverts the distribution function at one uniform u =
// gsl_rng_uniform(rng), without rejection. The inversion is evaluated in the
// tail where the bound lies, so a bound far from the mean still gives a
// finite value on the right side of it; u = 0 is read as 2^-64 so that the
// open end of a half-line is never returned. NaN arguments give NaN.

// N(mu, sigma^2) restricted to (-inf, upper): the result is below upper.
double TruncGauss_Right(double mu, double sigma, double upper, gsl_rng*& rng);
// N(mu, sigma^2) restricted to (lower, +inf): the result is above lower.
double TruncGauss_Left(double mu, double sigma, double lower, gsl_rng*& rng);
// N(mu, sigma^2) restricted to (lower, upper); lower = upper gives that
// bound; lower > upper is fatal (exit status 1).
double TruncGauss(double mu, double sigma, double lower, double upper, gsl_rng*& rng);

// The same draws at a given uniform u in [0, 1): larger u, larger result.
double TruncGaussRightAt(double mu, double sigma, double upper, double u);
double TruncGaussLeftAt(double mu, double sigma, double lower, double u);
double TruncGaussAt(double mu, double sigma, double lower, double upper, double u);

// Fills an empty Xtild with N rows of beta_length columns: column 0 is the
// intercept 1.0, the others uniform on [-1, 1), drawn row by row. A non-empty
// Xtild is left as it is, with a message.
void SimulateXtild(DBL_VCTR_2D& Xtild, int N, int beta_length, gsl_rng*& rng);

// Appends to the empty Z the classes of M individuals drawn from the
// multinomial probit with coefficients Beta_vrai (one row per non-reference
// class): utilities Xtild.Beta_vrai' plus standard normal noise, class base
// with utility 0, the largest utility wins (classes 0 ... rows of Beta_vrai).
// An empty Xtild is first simulated with M rows.
void MultiProbitModel(INT_VCTR_1D& Z, DBL_VCTR_2D& Xtild, DBL_VCTR_2D& Beta_vrai, int M, int base,
                      gsl_rng*& rng);

#endif
