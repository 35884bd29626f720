// Helpers of the breloAdm tests: scratch folders, simulated spatial data
// with known admixture, and a reader of whole files.
#ifndef BRELO_TESTS_BRELOADM_ADMTESTUTILS_H
#define BRELO_TESTS_BRELOADM_ADMTESTUTILS_H

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace admtest {

// Scratch folders are removed when the process that made them ends (not
// when a death-test child exits).
struct SScratchDirs {
    pid_t owner = getpid();
    std::vector<std::string> dirs;
    ~SScratchDirs() {
        if (getpid() != owner)
            return;
        for (const std::string& d : dirs)
            if (std::system(("rm -rf '" + d + "'").c_str()) != 0)
                continue;
    }
};

// Where scratch folders go: the test runner's TEST_TMPDIR (inside the build
// tree under ctest), else /tmp. No GoogleTest here: benchmarks use it too.
inline std::string ScratchRoot() {
    const char* dir = std::getenv("TEST_TMPDIR");
    return dir && *dir ? std::string(dir) + "/" : std::string("/tmp/");
}

// Dominant markers (code 1 present, 0 the recessive allele; its line of
// zeros first), 40 diploid individuals at 6 loci, two structured halves; one
// missing phenotype (individual 4, locus 3).
inline void WriteDominantData(const std::string& path) {
    std::ofstream os(path);
    os << "0 0 0 0 0 0\n";
    for (int i = 0; i < 40; ++i) {
        const double x = (i * 37) % 11 + 0.1 * i, y = (i * 13) % 7 + 0.05 * i;
        for (int a = 0; a < 2; ++a) {
            os << x << " " << y;
            for (int l = 0; l < 6; ++l) {
                const bool present = (i < 20) == (l % 2 == 0) || (i + l) % 3 == 0;
                os << " " << ((i == 3 && l == 2) ? -9 : present ? 1 : 0);
            }
            os << "\n";
        }
    }
}

inline std::string MakeScratchDir(const std::string& tag) {
    static SScratchDirs scratch;
    std::string pattern = ScratchRoot() + "breloadm_" + tag + "_XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const char* dir = mkdtemp(buf.data());
    if (!dir)
        return std::string();
    scratch.dirs.push_back(dir);
    return dir;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream is(path);
    std::stringstream ss;
    ss << is.rdbuf();
    return ss.str();
}

inline bool FileExists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

inline void CopyFile(const std::string& from, const std::string& to) {
    std::ofstream(to) << ReadFile(from);
}

// Truth of a simulated data set.
struct SSimTruth {
    std::vector<std::vector<double>> q;       // N x K admixture proportions
    std::vector<std::vector<double>> coords;  // N x 2
};

// Two or three clusters whose admixture proportions follow a gradient in x
// over the square [0, 10]^2: the log-weight of cluster k is slope * k * (x - 5).
// Each of L loci has J alleles with cluster frequencies far apart. The file
// holds, per individual, A rows "id x y code...": read it with -c1.
inline SSimTruth WriteSimulatedSpatialData(const std::string& path, int N, int L, int K,
                                           unsigned seed, double slope = 0.8, int A = 2,
                                           int J = 6) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> unif(0.0, 10.0);
    std::gamma_distribution<double> gam(0.3, 1.0);
    // p[k][l][j]
    std::vector<std::vector<std::vector<double>>> p(K, std::vector<std::vector<double>>(L));
    for (int k = 0; k < K; ++k)
        for (int l = 0; l < L; ++l) {
            double sum = 0;
            p[k][l].resize(J);
            for (int j = 0; j < J; ++j)
                sum += (p[k][l][j] = gam(gen) + 1e-3);
            for (double& v : p[k][l])
                v /= sum;
        }
    SSimTruth truth;
    std::ofstream os(path);
    for (int i = 0; i < N; ++i) {
        const double x = unif(gen), y = unif(gen);
        std::vector<double> w(K);
        double sum = 0;
        for (int k = 0; k < K; ++k)
            sum += (w[k] = std::exp(slope * k * (x - 5.0)));
        for (double& v : w)
            v /= sum;
        truth.q.push_back(w);
        truth.coords.push_back({x, y});
        std::discrete_distribution<int> label(w.begin(), w.end());
        for (int a = 0; a < A; ++a) {
            os << "i" << i + 1 << " " << x << " " << y;
            for (int l = 0; l < L; ++l) {
                const int k = label(gen);
                std::discrete_distribution<int> allele(p[k][l].begin(), p[k][l].end());
                os << " " << 100 + allele(gen);
            }
            os << "\n";
        }
    }
    return truth;
}

// Admixed biallelic data: N diploid individuals at random sites of
// [0, 10]^2, L loci. Each cluster's frequency of the first allele is drawn
// from Beta(a (1 - F) / F, (1 - a) (1 - F) / F) around an ancestral a
// uniform on [0.05, 0.95] (F: the differentiation F_ST), each individual's
// proportions from Dirichlet(alpha, ..., alpha), each copy's label from
// them. The file holds, per individual, two rows "id x y code..." (codes 1
// and 2): read it with -c1. The true proportions are returned.
inline SSimTruth WriteAdmixedSnpData(const std::string& path, int N, int L, int K, double F,
                                     double alpha, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> unif(0.0, 1.0);
    auto beta = [&](double a, double b) {
        const double u = std::gamma_distribution<double>(a, 1.0)(gen);
        return u / (u + std::gamma_distribution<double>(b, 1.0)(gen));
    };
    std::vector<std::vector<double>> p(K, std::vector<double>(L));
    for (int l = 0; l < L; ++l) {
        const double a = 0.05 + 0.9 * unif(gen);
        for (int k = 0; k < K; ++k)
            p[k][l] = beta(a * (1 - F) / F, (1 - a) * (1 - F) / F);
    }
    SSimTruth truth;
    std::ofstream os(path);
    std::gamma_distribution<double> gam(alpha, 1.0);
    for (int i = 0; i < N; ++i) {
        std::vector<double> q(K);
        double sum = 0;
        for (double& v : q)
            sum += (v = gam(gen));
        for (double& v : q)
            v /= sum;
        const double x = 10 * unif(gen), y = 10 * unif(gen);
        truth.q.push_back(q);
        truth.coords.push_back({x, y});
        std::discrete_distribution<int> label(q.begin(), q.end());
        for (int c = 0; c < 2; ++c) {
            os << "i" << i + 1 << " " << x << " " << y;
            for (int l = 0; l < L; ++l)
                os << (unif(gen) < p[label(gen)][l] ? " 1" : " 2");
            os << "\n";
        }
    }
    return truth;
}

// Root mean squared error of estimated proportions (N x K) against the
// truth under the best permutation of the estimated clusters.
inline double ProportionRmse(const std::vector<std::vector<double>>& est,
                             const std::vector<std::vector<double>>& truth) {
    const size_t K = truth.empty() ? 0 : truth[0].size();
    std::vector<size_t> perm(K);
    for (size_t k = 0; k < K; ++k)
        perm[k] = k;
    double best = HUGE_VAL;
    do {
        double sum = 0;
        for (size_t i = 0; i < est.size(); ++i)
            for (size_t k = 0; k < K; ++k)
                sum += std::pow(est[i][perm[k]] - truth[i][k], 2);
        best = std::min(best, std::sqrt(sum / (est.size() * K)));
    } while (std::next_permutation(perm.begin(), perm.end()));
    return best;
}

// Pearson correlation of two equally long samples.
inline double Pearson(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = a.size();
    double ma = 0, mb = 0;
    for (size_t t = 0; t < n; ++t) {
        ma += a[t] / n;
        mb += b[t] / n;
    }
    double sab = 0, saa = 0, sbb = 0;
    for (size_t t = 0; t < n; ++t) {
        sab += (a[t] - ma) * (b[t] - mb);
        saa += (a[t] - ma) * (a[t] - ma);
        sbb += (b[t] - mb) * (b[t] - mb);
    }
    return sab / std::sqrt(saa * sbb);
}

}  // namespace admtest

#endif
