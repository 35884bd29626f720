// Random generator set-up and the few random draws shared by both samplers.
#ifndef BRELO_CORE_RNGUTILITIES_H
#define BRELO_CORE_RNGUTILITIES_H

#include <gsl/gsl_rng.h>

#include "core/VectorUtilities.h"

// Allocates rng of type T and seeds it. The first generator of the process
// takes GSL_RNG_SEED when that variable is set, otherwise the clock mixed with
// the process id (so runs started within one second differ); every further
// generator of the process takes the previous seed plus one, so the runs of a
// series never repeat one another and a whole invocation is reproducible from
// one number. Prints "Random seed: <seed>" on standard output and returns the
// seed. A failed allocation is fatal.
unsigned long AllocRNG(gsl_rng*& rng, const gsl_rng_type* T);
// Frees rng when not null and sets it to null.
void FreeRNG(gsl_rng*& rng);
// Forgets the seed sequence of the process: the next AllocRNG seeds as the
// first one does. For tests.
void ResetRNGSeedSequence();

// Draws an index from the discrete distribution of weights dW (which should
// sum to 1): the first i whose running sum reaches a uniform draw on (0,1).
// When rounding leaves the total below the draw, the last index of positive
// weight is returned, never one past the end. dW must not be empty.
int SelectANum(const gsl_rng* rng, const DBL_VCTR_1D& dW);

// Y = mu + v_chol.z with z a vector of n independent standard normal draws
// (n = rows of v_chol), drawn in order: Y ~ N(mu, L.L') when v_chol is the
// Cholesky factor L from choldc. An empty Y is given n entries, otherwise its
// first n entries are overwritten. mu and Y may be the same vector.
void MultivariateGauss(const DBL_VCTR_1D& mu, const DBL_VCTR_2D& v_chol, DBL_VCTR_1D& Y,
                       const gsl_rng* rng);

// log theta for theta ~ Dirichlet(alpha[0..K-1]), alpha[k] > 0, computed
// from the logarithms of the gamma variables, so that no component
// underflows to 0 however small its parameter: below 1, log G(a) is drawn as
// log G(a + 1) + log(U) / a, which takes the same draws, in the same order,
// as gsl_ran_gamma (and so as gsl_ran_dirichlet when nothing underflows).
void DirichletLogDraw(const gsl_rng* rng, size_t K, const double* alpha, double* logTheta);

#endif
