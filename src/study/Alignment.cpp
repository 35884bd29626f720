#include "study/Alignment.h"

#include <cmath>
#include <limits>

std::vector<int> MinimumCostAssignment(const DBL_VCTR_2D& cost) {
    const int n = static_cast<int>(cost.size());
    const double inf = std::numeric_limits<double>::infinity();
    // Rows and columns are numbered from 1; column 0 is the virtual start.
    std::vector<double> u(n + 1, 0), v(n + 1, 0);
    std::vector<int> rowOfColumn(n + 1, 0), way(n + 1, 0);
    for (int row = 1; row <= n; ++row) {
        rowOfColumn[0] = row;
        int column = 0;
        std::vector<double> minSlack(n + 1, inf);
        std::vector<bool> used(n + 1, false);
        // Grow an alternating tree from the free row until it reaches a free
        // column, moving the potentials by the smallest slack each step.
        do {
            used[column] = true;
            const int r = rowOfColumn[column];
            double delta = inf;
            int next = 0;
            for (int c = 1; c <= n; ++c) {
                if (used[c])
                    continue;
                const double slack = cost[r - 1][c - 1] - u[r] - v[c];
                if (slack < minSlack[c]) {
                    minSlack[c] = slack;
                    way[c] = column;
                }
                if (minSlack[c] < delta) {
                    delta = minSlack[c];
                    next = c;
                }
            }
            for (int c = 0; c <= n; ++c) {
                if (used[c]) {
                    u[rowOfColumn[c]] += delta;
                    v[c] -= delta;
                } else {
                    minSlack[c] -= delta;
                }
            }
            column = next;
        } while (rowOfColumn[column] != 0);
        // Flip the path back to the start.
        do {
            const int previous = way[column];
            rowOfColumn[column] = rowOfColumn[previous];
            column = previous;
        } while (column != 0);
    }
    std::vector<int> result(n, -1);
    for (int c = 1; c <= n; ++c)
        result[rowOfColumn[c] - 1] = c - 1;
    return result;
}

std::vector<int> AlignClusters(const DBL_VCTR_2D& Q, const DBL_VCTR_2D& reference) {
    const size_t K = Q.empty() ? 0 : Q[0].size();
    const size_t Kref = reference.empty() ? 0 : reference[0].size();
    DBL_VCTR_2D cost(K, DBL_VCTR_1D(K, 0.0));
    for (size_t i = 0; i < Q.size(); ++i)
        for (size_t a = 0; a < K; ++a)
            for (size_t b = 0; b < K; ++b) {
                const double r = b < Kref ? reference[i][b] : 0.0;
                cost[a][b] += (Q[i][a] - r) * (Q[i][a] - r);
            }
    return MinimumCostAssignment(cost);
}

DBL_VCTR_2D PermuteClusters(const DBL_VCTR_2D& Q, const std::vector<int>& permutation) {
    DBL_VCTR_2D out(Q.size(), DBL_VCTR_1D(permutation.size(), 0.0));
    for (size_t i = 0; i < Q.size(); ++i)
        for (size_t a = 0; a < permutation.size(); ++a)
            out[i][permutation[a]] = Q[i][a];
    return out;
}

double Similarity(const DBL_VCTR_2D& Q1, const DBL_VCTR_2D& Q2) {
    double squares = 0;
    for (size_t i = 0; i < Q1.size(); ++i)
        for (size_t k = 0; k < Q1[i].size(); ++k)
            squares += (Q1[i][k] - Q2[i][k]) * (Q1[i][k] - Q2[i][k]);
    if (Q1.empty())
        return 1;
    return 1 - std::sqrt(squares) / std::sqrt(2.0 * Q1.size());
}

double AlignedSimilarity(const DBL_VCTR_2D& Q1, const DBL_VCTR_2D& Q2) {
    return Similarity(Q1, PermuteClusters(Q2, AlignClusters(Q2, Q1)));
}
