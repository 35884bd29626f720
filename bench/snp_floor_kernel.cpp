// The floor of a sweep on SNP data: the draws and arithmetic no sampler of
// these models can avoid, on flat arrays, on one thread, for N diploid
// individuals, L biallelic loci and K clusters (a genotype a byte, 0, 1 or 2
// copies of allele 1).
//   clusters (brelo): each individual's log-likelihood in every cluster
//     (a table lookup and an add per locus and cluster), its label drawn,
//     the allele counts of the clusters, every frequency drawn (beta);
//   admixture (breloAdm): the label of every copy drawn from q[i][k] p[k][l]
//     (K products and a uniform a copy), the allele counts of the clusters
//     and label counts of the individuals, every frequency and every
//     individual's proportions drawn.
// Prints the seconds a sweep of each, the mean of SWEEPS sweeps after one
// unmeasured sweep.
// Usage: snp_floor_kernel N L K [SWEEPS=5]
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct SData {
    int N = 0, L = 0, K = 0;
    std::vector<uint8_t> g;  // N x L
    std::vector<double> p;   // K x L, frequency of allele 1
    std::vector<double> q;   // N x K
};

// A label from the K weights w (their sum given) and one uniform.
int DrawFrom(const double* w, int K, double sum, gsl_rng* rng) {
    double u = gsl_rng_uniform(rng) * sum;
    for (int k = 0; k < K - 1; ++k) {
        if (u < w[k])
            return k;
        u -= w[k];
    }
    return K - 1;
}

void DrawFrequencies(SData& d, const std::vector<int>& ones, const std::vector<int>& copies,
                     gsl_rng* rng) {
    for (size_t kl = 0; kl < d.p.size(); ++kl)
        d.p[kl] = gsl_ran_beta(rng, 1.0 + ones[kl], 1.0 + copies[kl] - ones[kl]);
}

void ClusterSweep(SData& d, std::vector<int>& z, gsl_rng* rng) {
    const int N = d.N, L = d.L, K = d.K;
    std::vector<double> table(static_cast<size_t>(L) * 3 * K);  // log-likelihood of g in k
    for (int l = 0; l < L; ++l)
        for (int k = 0; k < K; ++k) {
            const double f = d.p[static_cast<size_t>(k) * L + l];
            double* t = &table[(static_cast<size_t>(l) * 3) * K + k];
            t[0] = 2 * std::log1p(-f);
            t[K] = std::log(f) + std::log1p(-f);
            t[2 * K] = 2 * std::log(f);
        }
    std::vector<double> sum(K), w(K);
    for (int i = 0; i < N; ++i) {
        std::fill(sum.begin(), sum.end(), 0.0);
        const uint8_t* gi = &d.g[static_cast<size_t>(i) * L];
        for (int l = 0; l < L; ++l) {
            const double* t = &table[(static_cast<size_t>(l) * 3 + gi[l]) * K];
            for (int k = 0; k < K; ++k)
                sum[k] += t[k];
        }
        double top = sum[0], total = 0.0;
        for (int k = 1; k < K; ++k)
            top = std::max(top, sum[k]);
        for (int k = 0; k < K; ++k)
            total += w[k] = std::exp(sum[k] - top);
        z[i] = DrawFrom(w.data(), K, total, rng);
    }
    std::vector<int> ones(static_cast<size_t>(K) * L, 0), copies(ones.size(), 0);
    for (int i = 0; i < N; ++i) {
        const uint8_t* gi = &d.g[static_cast<size_t>(i) * L];
        int* o = &ones[static_cast<size_t>(z[i]) * L];
        int* c = &copies[static_cast<size_t>(z[i]) * L];
        for (int l = 0; l < L; ++l) {
            o[l] += gi[l];
            c[l] += 2;
        }
    }
    DrawFrequencies(d, ones, copies, rng);
}

void AdmixtureSweep(SData& d, gsl_rng* rng) {
    const int N = d.N, L = d.L, K = d.K;
    std::vector<int> ones(static_cast<size_t>(K) * L, 0), copies(ones.size(), 0);
    std::vector<double> w(K), alpha(K), m(K);
    for (int i = 0; i < N; ++i) {
        const double* qi = &d.q[static_cast<size_t>(i) * K];
        std::fill(m.begin(), m.end(), 0.0);
        const uint8_t* gi = &d.g[static_cast<size_t>(i) * L];
        for (int l = 0; l < L; ++l)
            for (int a = 0; a < 2; ++a) {
                const bool one = gi[l] > a;
                double total = 0.0;
                for (int k = 0; k < K; ++k) {
                    const double f = d.p[static_cast<size_t>(k) * L + l];
                    total += w[k] = qi[k] * (one ? f : 1.0 - f);
                }
                const int k = DrawFrom(w.data(), K, total, rng);
                ones[static_cast<size_t>(k) * L + l] += one;
                copies[static_cast<size_t>(k) * L + l] += 1;
                m[k] += 1.0;
            }
        for (int k = 0; k < K; ++k)
            alpha[k] = 1.0 + m[k];
        gsl_ran_dirichlet(rng, K, alpha.data(), &d.q[static_cast<size_t>(i) * K]);
    }
    DrawFrequencies(d, ones, copies, rng);
}

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: snp_floor_kernel N L K [SWEEPS=5]\n");
        return 1;
    }
    SData d;
    d.N = std::atoi(argv[1]);
    d.L = std::atoi(argv[2]);
    d.K = std::atoi(argv[3]);
    const int sweeps = argc > 4 ? std::atoi(argv[4]) : 5;
    if (d.N < 1 || d.L < 1 || d.K < 1 || sweeps < 1) {
        std::fprintf(stderr, "usage: snp_floor_kernel N L K [SWEEPS=5]\n");
        return 1;
    }
    gsl_rng* rng = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(rng, 1);
    d.g.resize(static_cast<size_t>(d.N) * d.L);
    for (uint8_t& v : d.g)
        v = static_cast<uint8_t>(gsl_rng_uniform_int(rng, 3));
    d.p.assign(static_cast<size_t>(d.K) * d.L, 0.5);
    d.q.assign(static_cast<size_t>(d.N) * d.K, 1.0 / d.K);
    std::vector<int> z(d.N, 0);
    ClusterSweep(d, z, rng);
    auto start = std::chrono::steady_clock::now();
    for (int s = 0; s < sweeps; ++s)
        ClusterSweep(d, z, rng);
    const double cluster = Seconds(start) / sweeps;
    AdmixtureSweep(d, rng);
    start = std::chrono::steady_clock::now();
    for (int s = 0; s < sweeps; ++s)
        AdmixtureSweep(d, rng);
    const double admixture = Seconds(start) / sweeps;
    std::printf("%.4f %.4f\n", cluster, admixture);
    gsl_rng_free(rng);
    return 0;
}
