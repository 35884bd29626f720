// The VCF reader at the size of a SNP study (N = 1000 individuals x 5000
// diploid SNPs): reading the genotypes, and loading them into the data set
// both programs use. With --write <folder> [N L] it only writes the data
// (sim.vcf.gz through htslib, the same data in the ordinary layout as
// sim.txt with id, x and y in front, and coords.txt, the -C table of the
// same coordinates), for
// scripts/vcf-memory.sh, which measures the programs' peak memory on them.
#include <benchmark/benchmark.h>
#include <htslib/hts.h>
#include <htslib/vcf.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "io/DataSet.h"
#include "io/VcfReader.h"

namespace {

// Two populations, SNP frequencies 0.2 / 0.8 alternating between them, 1 %
// of the copies missing; records built through htslib's own API.
bool WriteSimulatedData(const std::string& folder, int N, int L) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    bcf_hdr_t* header = bcf_hdr_init("w");
    bcf_hdr_append(header, "##contig=<ID=1>");
    bcf_hdr_append(header, "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">");
    std::ofstream coords(folder + "/coords.txt");
    coords << "id\tx\ty\n";
    std::vector<std::string> xy(N);
    for (int i = 0; i < N; ++i) {
        const std::string id = "i" + std::to_string(i + 1);
        bcf_hdr_add_sample(header, id.c_str());
        xy[i] = std::to_string((i < N / 2 ? 0.0 : 3.0) + u(rng)) + "\t" + std::to_string(u(rng));
        coords << id << "\t" << xy[i] << "\n";
    }
    if (bcf_hdr_sync(header) != 0)
        return false;
    htsFile* out = hts_open((folder + "/sim.vcf.gz").c_str(), "wz");
    if (!out || bcf_hdr_write(out, header) != 0)
        return false;
    std::vector<int> codes(static_cast<size_t>(N) * 2 * L);  // (i * 2 + a) * L + l
    std::vector<int32_t> gt(2 * N);
    bcf1_t* record = bcf_init();
    for (int l = 0; l < L; ++l) {
        bcf_clear(record);
        record->rid = 0;
        record->pos = 100 * l;
        bcf_update_alleles_str(header, record, "A,G");
        for (int i = 0; i < N; ++i)
            for (int a = 0; a < 2; ++a) {
                const double p = (l + (i < N / 2)) % 2 ? 0.2 : 0.8;
                const int allele = u(rng) < 0.01 ? -1 : (u(rng) < p ? 1 : 0);
                codes[(static_cast<size_t>(i) * 2 + a) * L + l] = allele;
                gt[2 * i + a] = allele < 0 ? bcf_gt_missing : bcf_gt_unphased(allele);
            }
        bcf_update_genotypes(header, record, gt.data(), 2 * N);
        if (bcf_write(out, header, record) != 0)
            return false;
    }
    bcf_destroy(record);
    hts_close(out);
    bcf_hdr_destroy(header);
    std::ofstream ordinary(folder + "/sim.txt");
    for (int i = 0; i < N; ++i)
        for (int a = 0; a < 2; ++a) {
            ordinary << "i" << i + 1 << "\t" << xy[i];
            for (int l = 0; l < L; ++l)
                ordinary << ' ' << codes[(static_cast<size_t>(i) * 2 + a) * L + l];
            ordinary << '\n';
        }
    return true;
}

std::string BenchFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/brelo_formats_bench_XXXXXX";
        const char* dir = mkdtemp(pattern);
        const std::string f = dir ? dir : ".";
        WriteSimulatedData(f, 1000, 5000);
        return f;
    }();
    return folder;
}

void BM_ReadVcf(benchmark::State& state) {
    const std::string file = BenchFolder() + "/sim.vcf.gz";
    for (auto _ : state) {
        SGenotypeTable table = ReadVcf(file);
        benchmark::DoNotOptimize(table.genotypes.Index(0, 0, 0));
    }
    state.SetItemsProcessed(state.iterations() * 1000L * 5000L);
}
BENCHMARK(BM_ReadVcf)->Unit(benchmark::kMillisecond);

void BM_LoadVcfDataSet(benchmark::State& state) {
    SDataLayout layout;
    layout.format = EInputFormat::Vcf;
    layout.File = BenchFolder() + "/sim.vcf.gz";
    layout.N = 1000;
    layout.A = 2;
    layout.L = 5000;
    for (auto _ : state) {
        CDataSet data;
        LoadDataSet(layout, data);
        benchmark::DoNotOptimize(data.X.Index(0, 0, 0));
    }
}
BENCHMARK(BM_LoadVcfDataSet)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--write") == 0) {
        const int N = argc >= 4 ? std::atoi(argv[3]) : 1000;
        const int L = argc >= 5 ? std::atoi(argv[4]) : 5000;
        return WriteSimulatedData(argv[2], N, L) ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(BenchFolder());
    return 0;
}
