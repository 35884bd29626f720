// The numeric core and the data loader at the sizes the programs meet: the
// N x N matrices of the spatial prior (inverse, Cholesky factor, Gaussian
// field draw), the products of the regression set-up, and a large data file.
#include <benchmark/benchmark.h>
#include <gsl/gsl_rng.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "core/MatrixUtilities.h"
#include "core/RNGUtilities.h"
#include "io/IOUtilities.h"

namespace {

// A symmetric positive definite N x N matrix, diagonally dominant.
DBL_VCTR_2D SpdMatrix(int n) {
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    DBL_VCTR_2D A(n, DBL_VCTR_1D(n, 0.0));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j)
            A[i][j] = A[j][i] = (i == j) ? n : u(gen);
    return A;
}

DBL_VCTR_2D RandomMatrix(int rows, int cols) {
    std::mt19937 gen(5);
    std::normal_distribution<double> z;
    DBL_VCTR_2D A(rows, DBL_VCTR_1D(cols));
    for (auto& row : A)
        for (double& v : row)
            v = z(gen);
    return A;
}

void BM_Mult(benchmark::State& state) {
    const int n = int(state.range(0));
    DBL_VCTR_2D A = RandomMatrix(n, n), B = RandomMatrix(n, n), Res;
    for (auto _ : state) {
        Mult(Res, A, B);
        benchmark::DoNotOptimize(Res[0].data());
    }
}

void BM_Mult_t_left(benchmark::State& state) {
    // Xtild'Xtild of the regression set-up: N rows, a few columns.
    DBL_VCTR_2D X = RandomMatrix(int(state.range(0)), 10), Res;
    for (auto _ : state) {
        Mult_t_left(Res, X, X);
        benchmark::DoNotOptimize(Res[0].data());
    }
}

void BM_Inverse(benchmark::State& state) {
    DBL_VCTR_2D A = SpdMatrix(int(state.range(0)));
    for (auto _ : state) {
        DBL_VCTR_2D res;
        Inverse(res, A);
        benchmark::DoNotOptimize(res[0].data());
    }
}

void BM_InverseWithChol(benchmark::State& state) {
    DBL_VCTR_2D A = SpdMatrix(int(state.range(0)));
    for (auto _ : state) {
        DBL_VCTR_2D res;
        InverseWithChol(res, A);
        benchmark::DoNotOptimize(res[0].data());
    }
}

void BM_choldc(benchmark::State& state) {
    DBL_VCTR_2D A = SpdMatrix(int(state.range(0)));
    for (auto _ : state) {
        DBL_VCTR_2D L;
        choldc(L, A);
        benchmark::DoNotOptimize(L[0].data());
    }
}

void BM_MultivariateGauss(benchmark::State& state) {
    const int n = int(state.range(0));
    DBL_VCTR_2D L;
    choldc(L, SpdMatrix(n));
    DBL_VCTR_1D mu(n, 0.0), Y(n, 0.0);
    gsl_rng* rng = gsl_rng_alloc(gsl_rng_mt19937);
    for (auto _ : state) {
        MultivariateGauss(mu, L, Y, rng);
        benchmark::DoNotOptimize(Y.data());
    }
    gsl_rng_free(rng);
}

// N diploid individuals, L loci, id + one covariate + coordinates.
std::string WriteDataFile(int N, int L) {
    std::string path = "/tmp/brelo_core_bench_" + std::to_string(N) + "x" + std::to_string(L);
    std::ofstream ofs(path);
    std::mt19937 gen(7);
    for (int i = 0; i < N; ++i)
        for (int a = 0; a < 2; ++a) {
            ofs << "ind" << i << " " << 0.5 * i << " " << i % 97 << " " << i % 89;
            for (int l = 0; l < L; ++l)
                ofs << " " << 100 + int(gen() % 12);
            ofs << "\n";
        }
    return path;
}

void BM_LoadData(benchmark::State& state) {
    const int N = int(state.range(0)), L = int(state.range(1));
    const std::string file = WriteDataFile(N, L);
    for (auto _ : state) {
        INT_VCTR_1D isBase, nQualLevels, recAllele;
        DBL_VCTR_2D C(N, DBL_VCTR_1D(2, 0.0)), Xtild;
        INT_VCTR_2D XQual(N, INT_VCTR_1D()), LevelCount;
        CGenotypeStore X(N, 2, L);
        LoadData(false, isBase, C, Xtild, XQual, LevelCount, nQualLevels, X, recAllele, 0, 1, file,
                 false, 1, 2, false, 2);
        benchmark::DoNotOptimize(X.Index(0, 0, 0));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(N) * 2 * (L + 4));
    std::remove(file.c_str());
}

}  // namespace

BENCHMARK(BM_Mult)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mult_t_left)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Inverse)->Arg(100)->Arg(335)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InverseWithChol)->Arg(100)->Arg(335)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_choldc)->Arg(100)->Arg(335)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MultivariateGauss)->Arg(335)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadData)->Args({335, 9})->Args({2000, 500})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
