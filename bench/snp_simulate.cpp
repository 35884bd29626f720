// Simulated SNP data of K populations (Balding-Nichols: an ancestral
// frequency per SNP, uniform on [0.05, 0.95], and each population's frequency
// a beta draw around it with divergence F), written as PLINK files
// (<prefix>.bed/.bim/.fam, SNP-major), with the table of coordinates of -C
// (<prefix>_side.txt: id, x, y; each population in a band of x) and the true
// population of every individual (<prefix>_truth.txt). With --vcf it also
// writes the same genotypes as <prefix>.vcf (REF = the .bim's second allele,
// ALT = its first, so the two files hold the same data for the readers).
// Usage: snp_simulate PREFIX N L K [F=0.05] [MISSING=0] [SEED=1] [--vcf]
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct SOptions {
    std::string prefix;
    int N = 0, L = 0, K = 0;
    double F = 0.05, missing = 0.0;
    unsigned long seed = 1;
    bool vcf = false;
};

bool Parse(int argc, char** argv, SOptions& o) {
    std::vector<std::string> pos;
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--vcf") == 0)
            o.vcf = true;
        else
            pos.push_back(argv[a]);
    }
    if (pos.size() < 4 || pos.size() > 7)
        return false;
    o.prefix = pos[0];
    o.N = std::atoi(pos[1].c_str());
    o.L = std::atoi(pos[2].c_str());
    o.K = std::atoi(pos[3].c_str());
    if (pos.size() > 4)
        o.F = std::atof(pos[4].c_str());
    if (pos.size() > 5)
        o.missing = std::atof(pos[5].c_str());
    if (pos.size() > 6)
        o.seed = std::strtoul(pos[6].c_str(), nullptr, 10);
    return o.N > 0 && o.L > 0 && o.K > 0 && o.F > 0 && o.F < 1 && o.missing >= 0 && o.missing < 1;
}

std::string Id(int i) {
    return "ind" + std::to_string(i + 1);
}

}  // namespace

int main(int argc, char** argv) {
    SOptions o;
    if (!Parse(argc, argv, o)) {
        std::cerr << "usage: snp_simulate PREFIX N L K [F=0.05] [MISSING=0] [SEED=1] [--vcf]\n";
        return 1;
    }
    gsl_rng* rng = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(rng, o.seed);
    std::vector<int> pop(o.N);
    for (int i = 0; i < o.N; ++i)
        pop[i] = static_cast<int>(static_cast<long long>(i) * o.K / o.N);
    {
        std::ofstream fam(o.prefix + ".fam"), side(o.prefix + "_side.txt"),
            truth(o.prefix + "_truth.txt");
        side << "id\tx\ty\n";
        truth << "id\tpopulation\n";
        for (int i = 0; i < o.N; ++i) {
            fam << "pop" << pop[i] + 1 << " " << Id(i) << " 0 0 0 -9\n";
            side << Id(i) << "\t" << 100.0 * pop[i] + 80.0 * gsl_rng_uniform(rng) << "\t"
                 << 100.0 * gsl_rng_uniform(rng) << "\n";
            truth << Id(i) << "\t" << pop[i] + 1 << "\n";
        }
    }
    std::ofstream bim(o.prefix + ".bim");
    std::FILE* bed = std::fopen((o.prefix + ".bed").c_str(), "wb");
    std::FILE* vcf = o.vcf ? std::fopen((o.prefix + ".vcf").c_str(), "w") : nullptr;
    if (!bim || !bed || (o.vcf && !vcf)) {
        std::cerr << "cannot write the files of " << o.prefix << "\n";
        return 1;
    }
    const unsigned char magic[3] = {0x6c, 0x1b, 0x01};
    std::fwrite(magic, 1, 3, bed);
    if (vcf) {
        std::fprintf(vcf, "##fileformat=VCFv4.2\n##contig=<ID=1>\n");
        std::fprintf(vcf, "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n");
        std::fprintf(vcf, "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT");
        for (int i = 0; i < o.N; ++i)
            std::fprintf(vcf, "\t%s", Id(i).c_str());
        std::fprintf(vcf, "\n");
    }
    const size_t rowBytes = (static_cast<size_t>(o.N) + 3) / 4;
    std::vector<unsigned char> row(rowBytes);
    std::vector<double> freq(o.K);
    std::string line;
    // .bed codes of an individual carrying 0, 1 or 2 copies of the first
    // (.bim column 5) allele, and of a missing call.
    const unsigned char kCode[3] = {3, 2, 0};
    const unsigned char kMissingCode = 1;
    const char* kGT[4] = {"0/0", "0/1", "1/1", "./."};
    for (int l = 0; l < o.L; ++l) {
        const double p = 0.05 + 0.9 * gsl_rng_uniform(rng);
        const double scale = (1.0 - o.F) / o.F;
        for (int k = 0; k < o.K; ++k)
            freq[k] = gsl_ran_beta(rng, p * scale, (1.0 - p) * scale);
        bim << "1\tsnp" << l + 1 << "\t0\t" << l + 1 << "\tA\tG\n";
        std::fill(row.begin(), row.end(), 0);
        if (vcf)
            line = "1\t" + std::to_string(l + 1) + "\tsnp" + std::to_string(l + 1) +
                   "\tG\tA\t.\t.\t.\tGT";
        for (int i = 0; i < o.N; ++i) {
            int g = static_cast<int>(gsl_ran_binomial(rng, freq[pop[i]], 2));
            const bool missing = o.missing > 0 && gsl_rng_uniform(rng) < o.missing;
            const unsigned char code = missing ? kMissingCode : kCode[g];
            row[i / 4] |= static_cast<unsigned char>(code << (2 * (i % 4)));
            if (vcf) {
                line += '\t';
                line += kGT[missing ? 3 : g];
            }
        }
        std::fwrite(row.data(), 1, rowBytes, bed);
        if (vcf)
            std::fprintf(vcf, "%s\n", line.c_str());
    }
    std::fclose(bed);
    if (vcf)
        std::fclose(vcf);
    gsl_rng_free(rng);
    return 0;
}
