#include "core/KMeans.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <map>
#include <utility>

void SSparseRows::AddDenseRow(const DBL_VCTR_1D& row) {
    for (size_t j = 0; j < row.size(); ++j)
        if (row[j] != 0.0) {
            index.push_back(static_cast<int>(j));
            value.push_back(row[j]);
        }
    start.push_back(static_cast<int>(index.size()));
}

namespace {

const double kInf = std::numeric_limits<double>::infinity();

[[noreturn]] void FailStderr(const char* message) {
    std::cerr << message << std::endl;
    std::exit(1);
}
const int kMaxIterations = 1000;

// The state of one run. Centres are kept twice: row by row (the distance of
// a point to one centre) and feature by feature with the K centres side by
// side (its distances to all of them in one pass over its entries).
class CKMeansRun {
  public:
    CKMeansRun(const SSparseRows& X, int K)
        : m_X(X),
          m_n(X.Rows()),
          m_d(X.cols),
          m_K(K),
          m_norm2(m_n, 0.0),
          m_C(static_cast<size_t>(K) * m_d, 0.0),
          m_CT(m_C.size(), 0.0),
          m_cnorm2(K, 0.0),
          m_sums(m_C.size(), 0.0),
          m_counts(K, 0),
          m_label(m_n, 0),
          m_upper(m_n, kInf),
          m_lower(m_n, 0.0),
          m_moved(K, 0.0),
          m_halfGap(K, 0.0),
          m_dist2(K, 0.0) {
        for (int r = 0; r < m_n; ++r)
            for (int e = X.start[r]; e < X.start[r + 1]; ++e)
                m_norm2[r] += X.value[e] * X.value[e];
    }

    void Seed(const gsl_rng* rng);
    void Iterate();
    SKMeansResult Result() const;

  private:
    double Dist2(int r, int k) const;
    void AllDist2(int r);
    void SetCentre(int k, const double* centre);
    void SetCentreToPoint(int k, int r);
    void AddPoint(int r, int k, double sign);
    bool AssignFully(int r);
    void MoveCentres();
    bool RefillEmptyClusters();
    void UpdateBounds();
    void ComputeHalfGaps();
    int AssignPass(bool full);

    const SSparseRows& m_X;
    int m_n, m_d, m_K;
    DBL_VCTR_1D m_norm2;    // squared norm of each point
    DBL_VCTR_1D m_C, m_CT;  // K x d and d x K
    DBL_VCTR_1D m_cnorm2;   // squared norm of each centre
    DBL_VCTR_1D m_sums;     // K x d sums of the points of each cluster
    INT_VCTR_1D m_counts;   // points of each cluster
    INT_VCTR_1D m_label;    // cluster of each point
    DBL_VCTR_1D m_upper;    // bound above the distance to its centre
    DBL_VCTR_1D m_lower;    // bound below the distance to any other
    DBL_VCTR_1D m_moved;    // how far each centre moved
    DBL_VCTR_1D m_halfGap;  // half the distance to the nearest other centre
    DBL_VCTR_1D m_dist2;    // K squared distances of one point
};

double CKMeansRun::Dist2(int r, int k) const {
    const double* c = &m_C[static_cast<size_t>(k) * m_d];
    double dot = 0.0;
    for (int e = m_X.start[r]; e < m_X.start[r + 1]; ++e)
        dot += m_X.value[e] * c[m_X.index[e]];
    return std::max(0.0, m_norm2[r] + m_cnorm2[k] - 2.0 * dot);
}

void CKMeansRun::AllDist2(int r) {
    std::fill(m_dist2.begin(), m_dist2.end(), 0.0);
    double* dot = m_dist2.data();
    for (int e = m_X.start[r]; e < m_X.start[r + 1]; ++e) {
        const double v = m_X.value[e];
        const double* c = &m_CT[static_cast<size_t>(m_X.index[e]) * m_K];
        for (int k = 0; k < m_K; ++k)
            dot[k] += v * c[k];
    }
    for (int k = 0; k < m_K; ++k)
        dot[k] = std::max(0.0, m_norm2[r] + m_cnorm2[k] - 2.0 * dot[k]);
}

void CKMeansRun::SetCentre(int k, const double* centre) {
    double* row = &m_C[static_cast<size_t>(k) * m_d];
    double norm2 = 0.0;
    for (int j = 0; j < m_d; ++j) {
        row[j] = centre[j];
        m_CT[static_cast<size_t>(j) * m_K + k] = centre[j];
        norm2 += centre[j] * centre[j];
    }
    m_cnorm2[k] = norm2;
}

void CKMeansRun::SetCentreToPoint(int k, int r) {
    DBL_VCTR_1D dense(m_d, 0.0);
    for (int e = m_X.start[r]; e < m_X.start[r + 1]; ++e)
        dense[m_X.index[e]] = m_X.value[e];
    SetCentre(k, dense.data());
}

void CKMeansRun::AddPoint(int r, int k, double sign) {
    double* sum = &m_sums[static_cast<size_t>(k) * m_d];
    for (int e = m_X.start[r]; e < m_X.start[r + 1]; ++e)
        sum[m_X.index[e]] += sign * m_X.value[e];
    m_counts[k] += sign > 0 ? 1 : -1;
}

// k-means++: a uniform first centre, then each next one drawn with
// probability proportional to the squared distance to the nearest centre.
void CKMeansRun::Seed(const gsl_rng* rng) {
    DBL_VCTR_1D nearest(m_n, kInf);
    int chosen = static_cast<int>(gsl_rng_uniform_int(rng, m_n));
    for (int k = 0; k < m_K; ++k) {
        if (k > 0) {
            double total = 0.0;
            for (double v : nearest)
                total += v;
            if (total > 0.0) {
                double u = gsl_rng_uniform(rng) * total;
                chosen = -1;
                for (int r = 0; r < m_n && chosen < 0; ++r) {
                    u -= nearest[r];
                    if (u < 0.0)
                        chosen = r;
                }
                for (int r = m_n - 1; chosen < 0; --r)  // rounding: the last possible point
                    if (nearest[r] > 0.0)
                        chosen = r;
            } else {
                chosen = static_cast<int>(gsl_rng_uniform_int(rng, m_n));
            }
        }
        SetCentreToPoint(k, chosen);
        for (int r = 0; r < m_n; ++r)
            nearest[r] = std::min(nearest[r], Dist2(r, k));
    }
}

// The nearest centre of point r from all K distances (the lowest index on
// ties) and fresh bounds. True when its cluster changed.
bool CKMeansRun::AssignFully(int r) {
    AllDist2(r);
    int best = 0;
    double first = m_dist2[0], second = kInf;
    for (int k = 1; k < m_K; ++k) {
        if (m_dist2[k] < first) {
            second = first;
            first = m_dist2[k];
            best = k;
        } else if (m_dist2[k] < second) {
            second = m_dist2[k];
        }
    }
    m_upper[r] = std::sqrt(first);
    m_lower[r] = std::sqrt(second);
    const int old = m_label[r];
    if (best == old)
        return false;
    AddPoint(r, old, -1.0);
    AddPoint(r, best, 1.0);
    m_label[r] = best;
    return true;
}

// Every centre to the mean of its points; an empty cluster keeps its centre.
void CKMeansRun::MoveCentres() {
    DBL_VCTR_1D mean(m_d);
    for (int k = 0; k < m_K; ++k) {
        m_moved[k] = 0.0;
        if (m_counts[k] == 0)
            continue;
        const double* sum = &m_sums[static_cast<size_t>(k) * m_d];
        const double* old = &m_C[static_cast<size_t>(k) * m_d];
        double shift2 = 0.0;
        for (int j = 0; j < m_d; ++j) {
            mean[j] = sum[j] / m_counts[k];
            shift2 += (mean[j] - old[j]) * (mean[j] - old[j]);
        }
        SetCentre(k, mean.data());
        m_moved[k] = std::sqrt(shift2);
    }
}

// An empty cluster takes the point farthest from its own centre (among
// clusters of two points or more). True when a point moved: the bounds no
// longer hold and the next pass computes every distance.
bool CKMeansRun::RefillEmptyClusters() {
    bool refilled = false;
    for (int k = 0; k < m_K; ++k) {
        if (m_counts[k] > 0)
            continue;
        int farthest = -1;
        double largest = 0.0;
        for (int r = 0; r < m_n; ++r) {
            if (m_counts[m_label[r]] < 2)
                continue;
            const double d2 = Dist2(r, m_label[r]);
            if (d2 > largest) {
                largest = d2;
                farthest = r;
            }
        }
        if (farthest < 0)
            return refilled;  // every point sits on a centre
        AddPoint(farthest, m_label[farthest], -1.0);
        AddPoint(farthest, k, 1.0);
        m_label[farthest] = k;
        refilled = true;
        MoveCentres();
    }
    return refilled;
}

void CKMeansRun::UpdateBounds() {
    int fastest = 0;
    for (int k = 1; k < m_K; ++k)
        if (m_moved[k] > m_moved[fastest])
            fastest = k;
    double secondFastest = 0.0;
    for (int k = 0; k < m_K; ++k)
        if (k != fastest)
            secondFastest = std::max(secondFastest, m_moved[k]);
    for (int r = 0; r < m_n; ++r) {
        const int k = m_label[r];
        m_upper[r] += m_moved[k];
        m_lower[r] -= k == fastest ? secondFastest : m_moved[fastest];
    }
}

void CKMeansRun::ComputeHalfGaps() {
    std::fill(m_halfGap.begin(), m_halfGap.end(), kInf);
    for (int a = 0; a < m_K; ++a)
        for (int b = a + 1; b < m_K; ++b) {
            const double* ca = &m_C[static_cast<size_t>(a) * m_d];
            const double* cb = &m_C[static_cast<size_t>(b) * m_d];
            double d2 = 0.0;
            for (int j = 0; j < m_d; ++j)
                d2 += (ca[j] - cb[j]) * (ca[j] - cb[j]);
            const double half = 0.5 * std::sqrt(d2);
            m_halfGap[a] = std::min(m_halfGap[a], half);
            m_halfGap[b] = std::min(m_halfGap[b], half);
        }
}

// One assignment pass; a point whose bounds show that no other centre can be
// nearer keeps its cluster without its distances being computed.
int CKMeansRun::AssignPass(bool full) {
    int changed = 0;
    for (int r = 0; r < m_n; ++r) {
        if (!full) {
            const double bound = std::max(m_halfGap[m_label[r]], m_lower[r]);
            if (m_upper[r] <= bound)
                continue;
            m_upper[r] = std::sqrt(Dist2(r, m_label[r]));
            if (m_upper[r] <= bound)
                continue;
        }
        changed += AssignFully(r);
    }
    return changed;
}

void CKMeansRun::Iterate() {
    // The first assignment: every point starts in cluster 0 and its counts
    // are added there before it finds its centre.
    for (int r = 0; r < m_n; ++r)
        AddPoint(r, 0, 1.0);
    AssignPass(true);
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        MoveCentres();
        const bool full = RefillEmptyClusters();
        UpdateBounds();
        ComputeHalfGaps();
        if (AssignPass(full) == 0 && !full)
            break;
    }
}

SKMeansResult CKMeansRun::Result() const {
    SKMeansResult res;
    res.labels = m_label;
    res.sizes.assign(m_K, 0);
    InitVctr2D(res.centres, m_K, m_d, 0.0);
    for (int r = 0; r < m_n; ++r) {
        const int k = m_label[r];
        ++res.sizes[k];
        for (int e = m_X.start[r]; e < m_X.start[r + 1]; ++e)
            res.centres[k][m_X.index[e]] += m_X.value[e];
    }
    for (int k = 0; k < m_K; ++k)
        if (res.sizes[k] > 0)
            for (double& v : res.centres[k])
                v /= res.sizes[k];
        else
            res.centres[k].assign(m_C.begin() + static_cast<size_t>(k) * m_d,
                                  m_C.begin() + static_cast<size_t>(k + 1) * m_d);
    for (int r = 0; r < m_n; ++r) {
        const DBL_VCTR_1D& c = res.centres[m_label[r]];
        double dot = 0.0, cnorm2 = 0.0;
        for (int e = m_X.start[r]; e < m_X.start[r + 1]; ++e)
            dot += m_X.value[e] * c[m_X.index[e]];
        for (double v : c)
            cnorm2 += v * v;
        res.withinSS += std::max(0.0, m_norm2[r] + cnorm2 - 2.0 * dot);
    }
    return res;
}

// Clusters renumbered in the order of their first members (empty ones last).
void NumberByFirstMember(SKMeansResult& res) {
    const int K = static_cast<int>(res.sizes.size());
    INT_VCTR_1D newLabel(K, -1);
    int next = 0;
    for (int& label : res.labels) {
        if (newLabel[label] < 0)
            newLabel[label] = next++;
        label = newLabel[label];
    }
    for (int k = 0; k < K; ++k)
        if (newLabel[k] < 0)
            newLabel[k] = next++;
    DBL_VCTR_2D centres(K);
    INT_VCTR_1D sizes(K);
    for (int k = 0; k < K; ++k) {
        centres[newLabel[k]] = std::move(res.centres[k]);
        sizes[newLabel[k]] = res.sizes[k];
    }
    res.centres = std::move(centres);
    res.sizes = std::move(sizes);
}

}  // namespace

SKMeansResult KMeansOnce(const SSparseRows& points, int K, const gsl_rng* rng) {
    const int n = points.Rows();
    if (K >= n) {  // each point alone
        SKMeansResult res;
        for (int r = 0; r < n; ++r) {
            res.labels.push_back(r);
            res.sizes.push_back(1);
            DBL_VCTR_1D centre(points.cols, 0.0);
            for (int e = points.start[r]; e < points.start[r + 1]; ++e)
                centre[points.index[e]] = points.value[e];
            res.centres.push_back(centre);
        }
        return res;
    }
    CKMeansRun run(points, K);
    run.Seed(rng);
    run.Iterate();
    SKMeansResult res = run.Result();
    NumberByFirstMember(res);
    return res;
}

SKMeansResult KMeans(const SSparseRows& points, int K, int restarts, const gsl_rng* rng) {
    if (K < 1 || restarts < 1 || points.Rows() < 1)
        FailStderr("k-means needs at least one point, one cluster and one run - KMeans");
    SKMeansResult best = KMeansOnce(points, K, rng);
    for (int run = 1; run < restarts; ++run) {
        SKMeansResult res = KMeansOnce(points, K, rng);
        if (res.withinSS < best.withinSS)
            best = std::move(res);
    }
    return best;
}

SKMeansResult KMeans(const DBL_VCTR_2D& points, int K, int restarts, const gsl_rng* rng) {
    SSparseRows rows;
    rows.cols = points.empty() ? 0 : static_cast<int>(points[0].size());
    for (const DBL_VCTR_1D& row : points) {
        if (static_cast<int>(row.size()) != rows.cols)
            FailStderr("Rows of different lengths - KMeans");
        rows.AddDenseRow(row);
    }
    return KMeans(rows, K, restarts, rng);
}

double AdjustedRandIndex(const INT_VCTR_1D& a, const INT_VCTR_1D& b) {
    if (a.size() != b.size())
        FailStderr("Partitions of different sizes - AdjustedRandIndex");
    std::map<std::pair<int, int>, double> joint;
    std::map<int, double> rows, cols;
    for (size_t i = 0; i < a.size(); ++i) {
        joint[{a[i], b[i]}] += 1.0;
        rows[a[i]] += 1.0;
        cols[b[i]] += 1.0;
    }
    auto pairs = [](double m) { return 0.5 * m * (m - 1.0); };
    double index = 0.0, sumRows = 0.0, sumCols = 0.0;
    for (const auto& cell : joint)
        index += pairs(cell.second);
    for (const auto& row : rows)
        sumRows += pairs(row.second);
    for (const auto& col : cols)
        sumCols += pairs(col.second);
    const double expected = sumRows * sumCols / pairs(static_cast<double>(a.size()));
    const double maximum = 0.5 * (sumRows + sumCols);
    if (maximum == expected)
        return 1.0;
    return (index - expected) / (maximum - expected);
}
