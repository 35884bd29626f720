// Data generator and result checker of bench/breloAdm_large_run.sh.
//   breloAdm_simulate write FILE N L K SLOPE SEED
//       N diploid individuals on [0, 10]^2, L loci with 6 alleles, K clusters
//       whose admixture proportions follow exp(SLOPE k (x - 5)) (with K = 2
//       and a steep slope: two spatial clusters, west and east); the true
//       proportions go to FILE.truth.
//   breloAdm_simulate check TRFILE TRUTHFILE K [THRESHOLD]
//       reads the estimated memberships of a breloAdm report ("TR.txt") and
//       prints, for each true cluster, the best correlation with an
//       estimated one; exit status 1 when their mean is below THRESHOLD
//       (default 0.9).
//   breloAdm_simulate admixed FILE N L K FST ALPHA SEED
//       N diploid individuals at random sites of [0, 10]^2, L biallelic loci;
//       each cluster's frequency of the first allele drawn from
//       Beta(p (1 - F) / F, (1 - p) (1 - F) / F) around an ancestral p
//       uniform on [0.05, 0.95] (F = FST), each individual's proportions from
//       Dirichlet(ALPHA, ..., ALPHA); the true proportions go to FILE.truth.
//   breloAdm_simulate rmse TRFILE TRUTHFILE K
//       root mean squared error of the estimated memberships of a breloAdm
//       report against the truth, under the best permutation of the labels;
//       with the median of the estimated and true proportions.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/breloAdm/AdmTestUtils.h"

namespace {

int Write(int argc, char** argv) {
    if (argc != 8) {
        std::cerr << "usage: breloAdm_simulate write FILE N L K SLOPE SEED\n";
        return 1;
    }
    const std::string file = argv[2];
    const admtest::SSimTruth truth = admtest::WriteSimulatedSpatialData(
        file, std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[7]),
        std::atof(argv[6]));
    std::ofstream os(file + ".truth");
    for (const auto& row : truth.q) {
        for (double v : row)
            os << v << " ";
        os << "\n";
    }
    return 0;
}

std::vector<std::vector<double>> ReadRows(const std::string& file, int K, bool report) {
    std::ifstream is(file);
    std::vector<std::vector<double>> rows;
    std::string line;
    while (std::getline(is, line)) {
        std::istringstream ss(line);
        std::string first;
        if (report) {
            // "000001:\t v \t v ..." rows of the estimated memberships.
            if (line.size() < 7 || line[6] != ':' || !std::isdigit(line[0]))
                continue;
            ss >> first;
        }
        std::vector<double> row(K);
        for (double& v : row)
            ss >> v;
        if (ss)
            rows.push_back(row);
    }
    return rows;
}

// The estimated memberships (argv[2], a report) and the truth (argv[3]),
// as many rows each; false, with a message, otherwise.
bool ReadEstimatesAndTruth(char** argv, int K, std::vector<std::vector<double>>& est,
                           std::vector<std::vector<double>>& truth) {
    est = ReadRows(argv[2], K, true);
    truth = ReadRows(argv[3], K, false);
    if (est.empty() || est.size() != truth.size()) {
        std::cerr << "read " << est.size() << " estimated and " << truth.size() << " true rows\n";
        return false;
    }
    return true;
}

int Check(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::cerr << "usage: breloAdm_simulate check TRFILE TRUTHFILE K [THRESHOLD]\n";
        return 1;
    }
    const int K = std::atoi(argv[4]);
    std::vector<std::vector<double>> est, truth;
    if (!ReadEstimatesAndTruth(argv, K, est, truth))
        return 1;
    double mean = 0;
    for (int t = 0; t < K; ++t) {
        double best = -1;
        for (int e = 0; e < K; ++e) {
            std::vector<double> a, b;
            for (size_t i = 0; i < est.size(); ++i) {
                a.push_back(est[i][e]);
                b.push_back(truth[i][t]);
            }
            best = std::max(best, admtest::Pearson(a, b));
        }
        std::cout << "true cluster " << t + 1 << ": best correlation " << best << "\n";
        mean += best / K;
    }
    std::cout << "mean best correlation " << mean << "\n";
    const double threshold = argc == 6 ? std::atof(argv[5]) : 0.9;
    return mean >= threshold ? 0 : 1;
}

int WriteAdmixed(int argc, char** argv) {
    if (argc != 9) {
        std::cerr << "usage: breloAdm_simulate admixed FILE N L K FST ALPHA SEED\n";
        return 1;
    }
    const std::string file = argv[2];
    const admtest::SSimTruth truth = admtest::WriteAdmixedSnpData(
        file, std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atof(argv[6]),
        std::atof(argv[7]), std::atoi(argv[8]));
    std::ofstream os(file + ".truth");
    for (const auto& row : truth.q) {
        for (double v : row)
            os << v << " ";
        os << "\n";
    }
    return os ? 0 : 1;
}

double Median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

int Rmse(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: breloAdm_simulate rmse TRFILE TRUTHFILE K\n";
        return 1;
    }
    const int K = std::atoi(argv[4]);
    std::vector<std::vector<double>> est, truth;
    if (!ReadEstimatesAndTruth(argv, K, est, truth))
        return 1;
    std::vector<double> e, t;
    for (size_t i = 0; i < est.size(); ++i)
        for (int k = 0; k < K; ++k) {
            e.push_back(est[i][k]);
            t.push_back(truth[i][k]);
        }
    std::cout << "rmse " << admtest::ProportionRmse(est, truth) << " median estimated " << Median(e)
              << " true " << Median(t) << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write")
        return Write(argc, argv);
    if (mode == "check")
        return Check(argc, argv);
    if (mode == "admixed")
        return WriteAdmixed(argc, argv);
    if (mode == "rmse")
        return Rmse(argc, argv);
    std::cerr << "usage: breloAdm_simulate write|check|admixed|rmse ...\n";
    return 1;
}
