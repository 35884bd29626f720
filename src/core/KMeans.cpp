#include "core/KMeans.h"
#include "core/Messages.h"
#include "core/ProgramExit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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
    Refuse(message);
}
const int kMaxIterations = 1000;

// The centres of the features read some entries ahead are asked for early:
// they are scattered over a table larger than the fastest caches.
constexpr int kPrefetchAhead = 8;

// Doubles per feature in the feature-major table of the centres: K rounded
// up to 2, 4 or a multiple of 8, so that the centres of one feature sit in
// one cache line (the table is aligned on cache lines) and are read as whole
// vectors.
int CentreStride(int K) {
    return K <= 2 ? 2 : K <= 4 ? 4 : (K + 7) / 8 * 8;
}

// dot[s] = sum over the entries of a row of value x entry s of the feature's
// row of CT (S doubles per feature; the padding gives zeros). With S known at
// compile time the sums stay in registers.
template <int S>
void DotAllCentres(const int* index, const double* value, int entries, const double* CT, int,
                   double* dot) {
    double acc[S] = {};
    for (int e = 0; e < entries; ++e) {
        if (e + kPrefetchAhead < entries)
            __builtin_prefetch(CT + static_cast<size_t>(index[e + kPrefetchAhead]) * S);
        const double v = value[e];
        const double* c = CT + static_cast<size_t>(index[e]) * S;
        for (int s = 0; s < S; ++s)
            acc[s] += v * c[s];
    }
    std::copy(acc, acc + S, dot);
}

void DotAllCentresAnyStride(const int* index, const double* value, int entries, const double* CT,
                            int stride, double* dot) {
    std::fill(dot, dot + stride, 0.0);
    for (int e = 0; e < entries; ++e) {
        const double v = value[e];
        const double* c = CT + static_cast<size_t>(index[e]) * stride;
        for (int s = 0; s < stride; ++s)
            dot[s] += v * c[s];
    }
}

using DotAllCentresFn = void (*)(const int*, const double*, int, const double*, int, double*);

DotAllCentresFn ChooseDotAllCentres(int stride) {
    switch (stride) {
        case 2:
            return DotAllCentres<2>;
        case 4:
            return DotAllCentres<4>;
        case 8:
            return DotAllCentres<8>;
        case 16:
            return DotAllCentres<16>;
        default:
            return DotAllCentresAnyStride;
    }
}

// A table of doubles whose first element starts a cache line.
class CAlignedTable {
  public:
    explicit CAlignedTable(size_t size) : m_store(size + 8, 0.0) {
        const auto address = reinterpret_cast<std::uintptr_t>(m_store.data());
        m_data = m_store.data() + ((64 - address % 64) % 64) / sizeof(double);
        m_size = size;
    }
    double* data() { return m_data; }
    const double* data() const { return m_data; }
    double& operator[](size_t i) { return m_data[i]; }
    void Clear() { std::fill(m_data, m_data + m_size, 0.0); }

  private:
    DBL_VCTR_1D m_store;
    double* m_data;
    size_t m_size;
};

// The points as the runs read them: their rows, their squared norms, and
// their columns (the points that have each feature), through which the
// distances of every point to a new seed are summed over the seed's few
// entries only.
struct SPreparedPoints {
    const SSparseRows& X;
    DBL_VCTR_1D norm2;
    INT_VCTR_1D colStart, colRow;
    DBL_VCTR_1D colValue;

    explicit SPreparedPoints(const SSparseRows& rows)
        : X(rows), norm2(rows.Rows(), 0.0), colStart(rows.cols + 1, 0) {
        for (int r = 0; r < rows.Rows(); ++r)
            for (int e = rows.start[r]; e < rows.start[r + 1]; ++e) {
                norm2[r] += rows.value[e] * rows.value[e];
                ++colStart[rows.index[e] + 1];
            }
        for (int j = 0; j < rows.cols; ++j)
            colStart[j + 1] += colStart[j];
        colRow.resize(rows.index.size());
        colValue.resize(rows.index.size());
        INT_VCTR_1D next(colStart.begin(), colStart.end() - 1);
        for (int r = 0; r < rows.Rows(); ++r)
            for (int e = rows.start[r]; e < rows.start[r + 1]; ++e) {
                const int slot = next[rows.index[e]]++;
                colRow[slot] = r;
                colValue[slot] = rows.value[e];
            }
    }
};

// The state of one run. Centres are kept twice: row by row (the distance of
// a point to one centre) and feature by feature with the K centres side by
// side (its distances to all of them in one pass over its entries).
class CKMeansRun {
  public:
    CKMeansRun(const SPreparedPoints& P, int K)
        : m_P(P),
          m_X(P.X),
          m_n(P.X.Rows()),
          m_d(P.X.cols),
          m_K(K),
          m_norm2(P.norm2),
          m_C(static_cast<size_t>(K) * m_d, 0.0),
          m_stride(CentreStride(K)),
          m_CT(static_cast<size_t>(m_d) * m_stride),
          m_cnorm2(K, 0.0),
          m_sums(m_C.size(), 0.0),
          m_counts(K, 0),
          m_label(m_n, 0),
          m_upper(m_n, kInf),
          m_lower(m_n, 0.0),
          m_moved(K, 0.0),
          m_halfGap(K, 0.0),
          m_dist2(m_stride, 0.0),
          m_dotAll(ChooseDotAllCentres(m_stride)),
          m_seedDist2(static_cast<size_t>(m_n) * K, 0.0) {}

    void Reset();
    void Seed(const gsl_rng* rng);
    void Iterate();
    SKMeansResult Result() const;

  private:
    double Dist2(int r, int k) const;
    void AllDist2(int r);
    void SetCentre(int k, const double* centre);
    void SetCentreToPoint(int k, int r);
    void SeedDistances(int k, int s, DBL_VCTR_1D& dot);
    void AddPoint(int r, int k, double sign);
    bool AssignFully(int r);
    bool AssignNearest(int r, const double* dist2);
    void MoveCentres();
    bool RefillEmptyClusters();
    void UpdateBounds();
    void ComputeHalfGaps();
    int AssignPass(bool full);

    const SPreparedPoints& m_P;
    const SSparseRows& m_X;
    int m_n, m_d, m_K;
    const DBL_VCTR_1D& m_norm2;  // squared norm of each point
    DBL_VCTR_1D m_C;             // K x d
    int m_stride;                // doubles per feature in CT
    CAlignedTable m_CT;          // d x stride
    DBL_VCTR_1D m_cnorm2;        // squared norm of each centre
    DBL_VCTR_1D m_sums;          // K x d sums of the points of each cluster
    INT_VCTR_1D m_counts;        // points of each cluster
    INT_VCTR_1D m_label;         // cluster of each point
    DBL_VCTR_1D m_upper;         // bound above the distance to its centre
    DBL_VCTR_1D m_lower;         // bound below the distance to any other
    DBL_VCTR_1D m_moved;         // how far each centre moved
    DBL_VCTR_1D m_halfGap;       // half the distance to the nearest other centre
    DBL_VCTR_1D m_dist2;         // K squared distances of one point
    DotAllCentresFn m_dotAll;
    DBL_VCTR_1D m_seedDist2;  // n x K distances to the seeds
    bool m_tighten = true;    // whether the bounds prune enough to be tightened
    bool m_counted = false;   // whether the sums hold every point
};

// Four sums side by side, so that the additions do not wait on each other.
double CKMeansRun::Dist2(int r, int k) const {
    const double* c = &m_C[static_cast<size_t>(k) * m_d];
    const int first = m_X.start[r], entries = m_X.start[r + 1] - first;
    const int* index = &m_X.index[first];
    const double* value = &m_X.value[first];
    double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
    int e = 0;
    for (; e + 4 <= entries; e += 4) {
        a0 += value[e] * c[index[e]];
        a1 += value[e + 1] * c[index[e + 1]];
        a2 += value[e + 2] * c[index[e + 2]];
        a3 += value[e + 3] * c[index[e + 3]];
    }
    for (; e < entries; ++e)
        a0 += value[e] * c[index[e]];
    const double dot = (a0 + a1) + (a2 + a3);
    return std::max(0.0, m_norm2[r] + m_cnorm2[k] - 2.0 * dot);
}

void CKMeansRun::AllDist2(int r) {
    const int first = m_X.start[r];
    double* dot = m_dist2.data();
    m_dotAll(&m_X.index[first], &m_X.value[first], m_X.start[r + 1] - first, m_CT.data(), m_stride,
             dot);
    for (int k = 0; k < m_K; ++k)
        dot[k] = std::max(0.0, m_norm2[r] + m_cnorm2[k] - 2.0 * dot[k]);
}

void CKMeansRun::SetCentre(int k, const double* centre) {
    double* row = &m_C[static_cast<size_t>(k) * m_d];
    double norm2 = 0.0;
    for (int j = 0; j < m_d; ++j) {
        row[j] = centre[j];
        m_CT[static_cast<size_t>(j) * m_stride + k] = centre[j];
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

void CKMeansRun::Reset() {
    std::fill(m_C.begin(), m_C.end(), 0.0);
    m_CT.Clear();
    std::fill(m_cnorm2.begin(), m_cnorm2.end(), 0.0);
    std::fill(m_sums.begin(), m_sums.end(), 0.0);
    std::fill(m_counts.begin(), m_counts.end(), 0);
    std::fill(m_label.begin(), m_label.end(), 0);
    std::fill(m_upper.begin(), m_upper.end(), kInf);
    std::fill(m_lower.begin(), m_lower.end(), 0.0);
    m_tighten = true;
    m_counted = false;
}

// k-means++: a uniform first centre, then each next one drawn with
// probability proportional to the squared distance to the nearest centre.
void CKMeansRun::Seed(const gsl_rng* rng) {
    DBL_VCTR_1D nearest(m_n, kInf), dot(m_n);
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
        SeedDistances(k, chosen, dot);
        for (int r = 0; r < m_n; ++r)
            nearest[r] = std::min(nearest[r], m_seedDist2[static_cast<size_t>(r) * m_K + k]);
    }
}

// Squared distances of every point to seed k, point s: the dot products
// summed column by column over the entries of s.
void CKMeansRun::SeedDistances(int k, int s, DBL_VCTR_1D& dot) {
    std::fill(dot.begin(), dot.end(), 0.0);
    for (int e = m_X.start[s]; e < m_X.start[s + 1]; ++e) {
        const double v = m_X.value[e];
        const int column = m_X.index[e];
        for (int c = m_P.colStart[column]; c < m_P.colStart[column + 1]; ++c)
            dot[m_P.colRow[c]] += v * m_P.colValue[c];
    }
    for (int r = 0; r < m_n; ++r)
        m_seedDist2[static_cast<size_t>(r) * m_K + k] =
            std::max(0.0, m_norm2[r] + m_norm2[s] - 2.0 * dot[r]);
}

// The nearest centre of point r from all K distances (the lowest index on
// ties) and fresh bounds. True when its cluster changed.
bool CKMeansRun::AssignFully(int r) {
    AllDist2(r);
    return AssignNearest(r, m_dist2.data());
}

bool CKMeansRun::AssignNearest(int r, const double* dist2) {
    int best = 0;
    double first = dist2[0], second = kInf;
    for (int k = 1; k < m_K; ++k) {
        if (dist2[k] < first) {
            second = first;
            first = dist2[k];
            best = k;
        } else if (dist2[k] < second) {
            second = dist2[k];
        }
    }
    m_upper[r] = std::sqrt(first);
    m_lower[r] = std::sqrt(second);
    const int old = m_label[r];
    if (best == old)
        return false;
    if (m_counted) {
        AddPoint(r, old, -1.0);
        AddPoint(r, best, 1.0);
    }
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
// In high dimensions with close clusters the tightened bound seldom spares
// the K distances; the pass then goes straight to them when the previous one
// spared fewer than a quarter of the points it tightened.
int CKMeansRun::AssignPass(bool full) {
    int changed = 0, tightened = 0, spared = 0;
    for (int r = 0; r < m_n; ++r) {
        if (!full) {
            const double bound = std::max(m_halfGap[m_label[r]], m_lower[r]);
            if (m_upper[r] <= bound)
                continue;
            if (m_tighten) {
                ++tightened;
                m_upper[r] = std::sqrt(Dist2(r, m_label[r]));
                if (m_upper[r] <= bound) {
                    ++spared;
                    continue;
                }
            }
        }
        changed += AssignFully(r);
    }
    if (tightened > 0)
        m_tighten = 4 * spared >= tightened;
    return changed;
}

void CKMeansRun::Iterate() {
    // The first assignment, from the distances to the seeds.
    for (int r = 0; r < m_n; ++r) {
        AssignNearest(r, &m_seedDist2[static_cast<size_t>(r) * m_K]);
        AddPoint(r, m_label[r], 1.0);
    }
    m_counted = true;
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
    res.centres.resize(m_K);
    for (int k = 0; k < m_K; ++k) {
        res.sizes[k] = m_counts[k];
        const double* sum = &m_sums[static_cast<size_t>(k) * m_d];
        res.centres[k].assign(sum, sum + m_d);
        if (m_counts[k] > 0)
            for (double& v : res.centres[k])
                v /= m_counts[k];
        else
            res.centres[k].assign(m_C.begin() + static_cast<size_t>(k) * m_d,
                                  m_C.begin() + static_cast<size_t>(k + 1) * m_d);
    }
    // Within a cluster, the sum of |x - c|^2 is the sum of |x|^2 less n |c|^2.
    for (int r = 0; r < m_n; ++r)
        res.withinSS += m_norm2[r];
    for (int k = 0; k < m_K; ++k)
        for (double v : res.centres[k])
            res.withinSS -= res.sizes[k] * v * v;
    res.withinSS = std::max(0.0, res.withinSS);
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

namespace {

// Each point alone, when K >= number of points.
SKMeansResult EachPointAlone(const SSparseRows& points) {
    SKMeansResult res;
    for (int r = 0; r < points.Rows(); ++r) {
        res.labels.push_back(r);
        res.sizes.push_back(1);
        DBL_VCTR_1D centre(points.cols, 0.0);
        for (int e = points.start[r]; e < points.start[r + 1]; ++e)
            centre[points.index[e]] = points.value[e];
        res.centres.push_back(centre);
    }
    return res;
}

}  // namespace

SKMeansResult KMeans(const SSparseRows& points, int K, int restarts, const gsl_rng* rng) {
    if (K < 1 || restarts < 1 || points.Rows() < 1)
        FailStderr("k-means needs at least one point, one cluster and one run - KMeans");
    if (K >= points.Rows())
        return EachPointAlone(points);
    const SPreparedPoints P(points);
    CKMeansRun run(P, K);  // one work space for every run
    SKMeansResult best;
    for (int r = 0; r < restarts; ++r) {
        run.Reset();
        run.Seed(rng);
        run.Iterate();
        SKMeansResult res = run.Result();
        NumberByFirstMember(res);
        if (r == 0 || res.withinSS < best.withinSS)
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
