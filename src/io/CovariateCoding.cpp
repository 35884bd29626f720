#include "io/CovariateCoding.h"

int TrendSize(int trendDegree, int nb_var_regr) {
    if (trendDegree <= 0 || nb_var_regr <= 0)
        return 0;
    if (nb_var_regr == 1)
        return trendDegree;
    return (trendDegree + 1) * (trendDegree + 2) / 2 - 1;
}

void FillTrendColumns(double x, double y, int trendDegree, int nb_var_regr, double* out) {
    const int size = TrendSize(trendDegree, nb_var_regr);
    if (nb_var_regr == 1) {
        const double terms[3] = {y, y * y, y * y * y};
        for (int c = 0; c < size && c < 3; ++c)
            out[c] = terms[c];
        return;
    }
    const double terms[9] = {x, y, x * x, y * y, x * y, x * x * x, y * y * y, x * x * y, x * y * y};
    for (int c = 0; c < size && c < 9; ++c)
        out[c] = terms[c];
}

void EffectCode(double* block, int nLevels, int k) {
    for (int c = 0; c < nLevels - 1; ++c)
        block[c] = (k == 0) ? -1.0 : (c == k - 1 ? 1.0 : 0.0);
}
