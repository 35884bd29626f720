// Both programs on simulated SNPs given as VCF, BCF and GENEPOP files (with
// a -C table for coordinates and covariates) give the results of the same
// data in the ordinary layout, seed for seed; bad files are refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/BreloCli.h"
#include "io/PlinkWriter.h"
#include "io/VcfWriter.h"

namespace {

// Two populations of 20 diploid individuals at 40 loci, every tenth locus
// with three alleles, about 2 % of the copies missing. Allele indices from 0
// (the VCF's GT index), -1 for a missing copy.
struct SSimulated {
    static constexpr int N = 40, L = 40;
    std::vector<std::string> ids, x, y, elevation;
    std::vector<int> pop;
    std::vector<int> geno;  // (i * 2 + a) * L + l
    int& At(int i, int a, int l) { return geno[(i * 2 + a) * L + l]; }
};

SSimulated Simulate() {
    std::mt19937 rng(7);
    auto uniform = [&rng]() { return rng() / 4294967296.0; };
    SSimulated s;
    s.geno.assign(SSimulated::N * 2 * SSimulated::L, 0);
    char text[32];
    for (int i = 0; i < SSimulated::N; ++i) {
        const int pop = i < SSimulated::N / 2 ? 0 : 1;
        std::snprintf(text, sizeof text, "ind%02d", i + 1);
        s.ids.push_back(text);
        s.pop.push_back(pop + 1);
        std::snprintf(text, sizeof text, "%.4f", 3.0 * pop + uniform());
        s.x.push_back(text);
        std::snprintf(text, sizeof text, "%.4f", 10.0 + uniform());
        s.y.push_back(text);
        std::snprintf(text, sizeof text, "%.1f", 500.0 + 300.0 * pop + 100.0 * uniform());
        s.elevation.push_back(text);
        for (int l = 0; l < SSimulated::L; ++l) {
            const double p = (l + pop) % 2 == 0 ? 0.15 : 0.85;
            for (int a = 0; a < 2; ++a) {
                int allele = uniform() < p ? 1 : 0;
                if (l % 10 == 0 && allele == 1 && uniform() < 0.4)
                    allele = 2;
                s.At(i, a, l) = uniform() < 0.02 ? -1 : allele;
            }
        }
    }
    return s;
}

// Ordinary layout: two rows per individual, the id (and, with covariates,
// elevation, x, y) repeated, missing copies -9.
void WriteOrdinary(SSimulated& s, const std::string& path, bool covariates) {
    std::ofstream os(path);
    for (int i = 0; i < SSimulated::N; ++i)
        for (int a = 0; a < 2; ++a) {
            os << s.ids[i];
            if (covariates)
                os << " " << s.elevation[i] << " " << s.x[i] << " " << s.y[i];
            for (int l = 0; l < SSimulated::L; ++l)
                os << " " << (s.At(i, a, l) < 0 ? -9 : s.At(i, a, l));
            os << "\n";
        }
}

std::string GtField(SSimulated& s, int i, int l) {
    auto copy = [&](int a) {
        return s.At(i, a, l) < 0 ? std::string(".") : std::to_string(s.At(i, a, l));
    };
    return copy(0) + (i % 3 == 0 ? "|" : "/") + copy(1);
}

void WriteVcf(SSimulated& s, const std::string& path, const char* mode) {
    std::vector<std::string> lines;
    for (int l = 0; l < SSimulated::L; ++l) {
        std::vector<std::string> gts;
        for (int i = 0; i < SSimulated::N; ++i)
            gts.push_back(GtField(s, i, l));
        lines.push_back(VariantLine(100 * (l + 1), l % 10 == 0 ? "G,T" : "G", gts));
    }
    ASSERT_TRUE(WriteVariants(path, mode, s.ids, lines)) << path;
}

// GENEPOP: allele index + 1 in two digits, 00 missing.
void WriteGenepop(SSimulated& s, const std::string& path) {
    std::ofstream os(path);
    os << "Simulated SNPs\n";
    for (int l = 0; l < SSimulated::L; ++l)
        os << (l ? ", " : "") << "snp" << l + 1;
    os << "\n";
    char code[32];
    for (int i = 0; i < SSimulated::N; ++i) {
        if (i == 0 || s.pop[i] != s.pop[i - 1])
            os << "Pop\n";
        os << s.ids[i] << " ,";
        for (int l = 0; l < SSimulated::L; ++l) {
            std::snprintf(code, sizeof code, "%02d%02d", s.At(i, 0, l) + 1, s.At(i, 1, l) + 1);
            os << " " << code;
        }
        os << "\n";
    }
}

// The -C table: tab-separated, columns and rows in another order than the
// ordinary layout, one row for an individual of no data file.
void WriteSideTable(SSimulated& s, const std::string& path) {
    std::ofstream os(path);
    os << "y\tID\televation\tx\n";
    for (int i = SSimulated::N - 1; i >= 0; --i)
        os << s.y[i] << "\t" << s.ids[i] << "\t" << s.elevation[i] << "\t" << s.x[i] << "\n";
    os << "1\tnobody\t1\t1\n";
}

// A scratch folder with the data in every form.
std::string DataFolder(const std::string& name) {
    const std::string dir = FreshFolder("formats_" + name);
    SSimulated s = Simulate();
    WriteOrdinary(s, dir + "/plain.txt", false);
    WriteOrdinary(s, dir + "/full.txt", true);
    WriteVcf(s, dir + "/sim.vcf.gz", "wz");
    WriteVcf(s, dir + "/sim.bcf", "wb");
    WriteGenepop(s, dir + "/sim.gen");
    WriteSideTable(s, dir + "/side.txt");
    return dir;
}

std::string Read(const std::string& path) {
    std::ifstream is(path);
    std::stringstream text;
    text << is.rdbuf();
    return text.str();
}

// The frequency column of P.txt (the allele codes differ between formats).
std::vector<std::string> Frequencies(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream is(Read(path));
    std::string line;
    while (std::getline(is, line))
        out.push_back(line.substr(line.rfind('\t') + 1));
    return out;
}

SCliResult RunOk(const std::string& program, const std::string& dir, const std::string& args) {
    SCliResult r = RunProgramIn(program, dir, args);
    EXPECT_EQ(r.status, 0) << program << " " << args << "\n" << r.output;
    return r;
}

const std::string kBrelo = " -K2 -D1 -S200 -B100";
const std::string kAdm = " -K2 -D1 -S60 -B20 -P0.6 -X1 -T1";

}  // namespace

TEST(InputFormatsCli, BreloGivesTheSameMembershipsFromVcfGenepopAndTheOrdinaryLayout) {
    const std::string dir = DataFolder("brelo");
    RunOk("brelo", dir, "-Fplain.txt -N40 -A2 -L40 -c1 -T-1" + kBrelo);
    RunOk("brelo", dir, "-Fsim.vcf.gz -fvcf -T-1" + kBrelo);
    RunOk("brelo", dir, "-Fsim.gen -fgenepop -T-1 -N40" + kBrelo);
    const std::string q = Read(dir + "/plain.txtQ.txt");
    ASSERT_NE(q.find("ind40\t"), std::string::npos) << q;
    EXPECT_EQ(Read(dir + "/sim.vcf.gzQ.txt"), q);
    EXPECT_EQ(Read(dir + "/sim.vcf.gzP.txt"), Read(dir + "/plain.txtP.txt"));
    EXPECT_EQ(Read(dir + "/sim.genQ.txt"), q);
    EXPECT_EQ(Frequencies(dir + "/sim.genP.txt"), Frequencies(dir + "/plain.txtP.txt"));
    // The Pop blocks, one label a line in the order of Q.txt.
    std::string labels;
    for (int i = 0; i < SSimulated::N; ++i)
        labels += i < SSimulated::N / 2 ? "1\n" : "2\n";
    EXPECT_EQ(Read(dir + "/sim.genlabels.txt"), labels);
    EXPECT_FALSE(FileExists(dir + "/plain.txtlabels.txt"));
}

// The data file is read once: a named pipe, which can be read only once,
// gives the run of the file itself, in every format.
TEST(InputFormatsCli, BreloReadsItsDataFromAPipeInOnePass) {
    const std::string dir = DataFolder("pipe");
    const std::vector<std::pair<std::string, std::string>> runs = {
        {"plain.txt", " -N40 -A2 -L40 -c1 -T-1"},
        {"sim.vcf.gz", " -fvcf -T-1"},
        {"sim.gen", " -fgenepop -T-1"}};
    for (const auto& [file, options] : runs) {
        SCOPED_TRACE(file);
        const std::string pipe = "pipe_" + file;
        RunOk("brelo", dir, "-F" + file + options + kBrelo);
        ASSERT_EQ(RunShellIn(dir, "mkfifo " + pipe).status, 0);
        // A program that opened the pipe a second time would wait for a
        // writer that has gone: the timeout turns that into a failure.
        const SCliResult r = RunShellIn(
            dir, "(cat " + file + " > " + pipe + " &) && GSL_RNG_SEED=12345 timeout 30 '" +
                     BRELO_BIN_DIR + "/brelo' -F" + pipe + options + kBrelo);
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(Read(dir + "/" + pipe + "Q.txt"), Read(dir + "/" + file + "Q.txt"));
    }
}

TEST(InputFormatsCli, BreloTakesCovariatesAndCoordinatesFromTheSideTable) {
    const std::string dir = DataFolder("brelo_covariates");
    RunOk("brelo", dir, "-Ffull.txt -N40 -A2 -L40 -c1 -X1 -T1" + kBrelo);
    RunOk("brelo", dir, "-Fsim.bcf -fvcf -Cside.txt -X1 -T1" + kBrelo);
    EXPECT_EQ(Read(dir + "/sim.bcfQ.txt"), Read(dir + "/full.txtQ.txt"));
    EXPECT_EQ(Read(dir + "/sim.bcfbetaHat.txt"), Read(dir + "/full.txtbetaHat.txt"));
}

TEST(InputFormatsCli, BreloAdmGivesTheSameProportionsFromEveryFormat) {
    const std::string dir = DataFolder("adm");
    RunOk("breloAdm", dir, "-Ffull.txt -N40 -A2 -L40 -c1" + kAdm);
    const SCliResult vcf = RunOk("breloAdm", dir, "-Fsim.vcf.gz -fvcf -Cside.txt" + kAdm);
    EXPECT_NE(vcf.output.find("Note: 1 row(s) of side.txt name no individual"), std::string::npos)
        << vcf.output;
    RunOk("breloAdm", dir, "-Fsim.gen -fgenepop -Cside.txt -A2" + kAdm);
    const std::string q = Read(dir + "/full.txtQ.txt");
    ASSERT_FALSE(q.empty());
    EXPECT_EQ(Read(dir + "/sim.vcf.gzQ.txt"), q);
    EXPECT_EQ(Read(dir + "/sim.genQ.txt"), q);
    EXPECT_EQ(Read(dir + "/sim.vcf.gzbetaHat.txt"), Read(dir + "/full.txtbetaHat.txt"));
    EXPECT_TRUE(FileExists(dir + "/sim.genlabels.txt"));
}

namespace {

// The biallelic loci of the simulation as a PLINK fileset and as a VCF of
// the same calls (REF the .bim's second allele, some heterozygotes written
// 1|0), with the side table.
std::string SnpFolder(const std::string& name) {
    const std::string dir = FreshFolder("formats_" + name);
    SSimulated s = Simulate();
    std::vector<std::vector<int>> dosage;
    std::vector<std::string> lines;
    for (int l = 0; l < SSimulated::L; ++l) {
        if (l % 10 == 0)
            continue;
        std::vector<int> row;
        std::vector<std::string> gts;
        for (int i = 0; i < SSimulated::N; ++i) {
            const bool missing = s.At(i, 0, l) < 0 || s.At(i, 1, l) < 0;
            const int d = missing ? -1 : s.At(i, 0, l) + s.At(i, 1, l);
            row.push_back(d);
            gts.push_back(d < 0 ? "./." : d == 0 ? "0/0" : d == 2 ? "1/1" : i % 2 ? "1|0" : "0/1");
        }
        dosage.push_back(row);
        lines.push_back(VariantLine(100 * (l + 1), "G", gts));
    }
    WritePlink(dir + "/snps", std::vector<std::string>(s.ids.size(), "0"), s.ids, dosage);
    EXPECT_TRUE(WriteVariants(dir + "/snps.vcf", "w", s.ids, lines));
    WriteSideTable(s, dir + "/side.txt");
    return dir;
}

}  // namespace

TEST(InputFormatsCli, BothProgramsGiveTheSameResultsFromPlinkAndVcf) {
    const std::string dir = SnpFolder("plink");
    RunOk("brelo", dir, "-Fsnps.vcf -fvcf -T-1" + kBrelo);
    RunOk("brelo", dir, "-Fsnps.bed -fplink -T-1 -orunb" + kBrelo);
    const std::string q = Read(dir + "/snps.vcfQ.txt");
    ASSERT_NE(q.find("ind40\t"), std::string::npos) << q;
    EXPECT_EQ(Read(dir + "/snps.bed_RUNb_Q.txt"), q);
    RunOk("breloAdm", dir, "-Fsnps.vcf -fvcf -Cside.txt" + kAdm);
    RunOk("breloAdm", dir, "-Fsnps -fplink -Cside.txt -orunb" + kAdm);
    const std::string qa = Read(dir + "/snps.vcfQ.txt");
    ASSERT_FALSE(qa.empty());
    EXPECT_EQ(Read(dir + "/snps_RUNb_Q.txt"), qa);
    EXPECT_EQ(Read(dir + "/snps_RUNb_betaHat.txt"), Read(dir + "/snps.vcfbetaHat.txt"));
    // The .fam's family ids are all 0: no group labels.
    EXPECT_FALSE(FileExists(dir + "/snps_RUNb_labels.txt"));
    const SCliResult major = RunProgramIn("brelo", dir, "-Fnone -fplink -T-1" + kBrelo);
    EXPECT_EQ(major.status, 1);
    EXPECT_NE(major.output.find("Cannot open file none.fam"), std::string::npos) << major.output;
}

TEST(InputFormatsCli, BadFilesAndOptionsAreRefusedInOneLine) {
    const std::string dir = DataFolder("refusals");
    std::ofstream(dir + "/bad.gen") << "t\nsnp1, snp2\nPop\na, 0101 0102\nb, 0101\n";
    std::ofstream(dir + "/missing.gen") << "t\nsnp1, snp2\nPop\na, 0000 0000\nb, 0000 0\n";
    // A download cut at a block boundary: the end-of-file block is missing.
    const std::string whole = Read(dir + "/sim.vcf.gz");
    std::ofstream(dir + "/cut.vcf.gz", std::ios::binary) << whole.substr(0, whole.size() - 28);
    std::ofstream(dir + "/wide.vcf")
        << "##fileformat=VCFv4.2\n##contig=<ID=7>\n"
           "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"GT\">\n"
           "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\tb\n"
           "7\t5\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1/1\n7\t9\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1/1\t0/0\n";
    std::istringstream side(Read(dir + "/side.txt"));
    std::ofstream twoX(dir + "/twox.txt");
    bool header = true;
    for (std::string line; std::getline(side, line); header = false)
        twoX << line << (header ? "\tlongitude\n" : "\t45.2\n");
    twoX.close();
    struct SCase {
        std::string program, args, message;
    };
    const std::vector<SCase> cases = {
        {"brelo", "-Fsim.vcf.gz -fvcf -T-1 -N39" + kBrelo,
         "The file sim.vcf.gz holds 40 individuals, but -N39 was given"},
        {"brelo", "-Fsim.vcf.gz -fvcf -T-1 -L41" + kBrelo, "holds 40 loci, but -L41 was given"},
        {"brelo", "-Fbad.gen -fgenepop -T-1" + kBrelo,
         "bad.gen, line 5: individual b has 1 genotypes where the locus list names 2"},
        {"brelo", "-Fplain.txt -fstructure -T-1" + kBrelo,
         "Unknown Option - -fstructure: the nearest known options are -fvcf, -fgenepop and "
         "-fplink"},
        {"breloAdm", "-Fsim.bcf -fvcf" + kAdm, "A -fvcf file holds no coordinates (-T1)"},
        {"breloAdm", "-Fsim.bcf -fvcf -Cside.txt -c1" + kAdm,
         "The option -c describes the ordinary layout"},
        {"breloAdm", "-Fplain.txt -N40 -A2 -L40 -c1 -Cside.txt" + kAdm,
         "the ordinary layout holds its own"},
        {"brelo", "-Fcut.vcf.gz -fvcf -T-1" + kBrelo,
         "cut.vcf.gz: the file is truncated (its compressed data lack the end-of-file block)"},
        {"brelo", "-Fwide.vcf -fvcf -T-1" + kBrelo,
         "wide.vcf: record 2 (7:9): it holds 3 genotype columns where the header names 2 "
         "samples"},
        {"brelo", "-Fmissing.gen -fgenepop -T-1" + kBrelo,
         "missing.gen holds no observed allele (every genotype is missing)"},
        {"breloAdm", "-Fsim.vcf.gz -fvcf -Ctwox.txt" + kAdm,
         "twox.txt, line 1: columns 'x' and 'longitude' both stand for 'x': keep one of them"},
    };
    for (const SCase& c : cases) {
        const SCliResult r = RunProgramIn(c.program, dir, c.args);
        EXPECT_EQ(r.status, 1) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << "\n" << r.output;
        EXPECT_EQ(r.output.find("Q.txt"), std::string::npos);
    }
}

namespace {

// Two populations of 40 at 1100 SNPs (2 % of the calls missing) as the
// PLINK fileset snps, and a side table of coordinates, snps_side.txt: the
// counts, draws and likelihood sums of a sweep run in several blocks of loci
// and of individuals.
std::string TwoPopulationSnps(const std::string& name) {
    const std::string dir = FreshFolder(name);
    const int N = 80, L = 1100;
    unsigned state = 5;
    auto uniform = [&] {
        state = state * 1103515245u + 12345u;
        return static_cast<double>((state >> 8) % 100000) / 100000.0;
    };
    std::vector<std::string> ids;
    for (int i = 0; i < N; ++i)
        ids.push_back("ind" + std::to_string(i + 1));
    std::vector<std::vector<int>> dosage(L, std::vector<int>(N));
    for (std::vector<int>& snp : dosage) {
        const double f[2] = {0.05 + 0.9 * uniform(), 0.05 + 0.9 * uniform()};
        for (int i = 0; i < N; ++i) {
            const double p = f[i % 2];
            const int d = (uniform() < p) + (uniform() < p);
            snp[i] = uniform() < 0.02 ? -1 : d;
        }
    }
    WritePlink(dir + "/snps", std::vector<std::string>(N, "0"), ids, dosage);
    std::ofstream side(dir + "/snps_side.txt");
    side << "id\tx\ty\n";
    for (int i = 0; i < N; ++i)
        side << ids[i] << "\t" << (i % 2) * 5 + uniform() << "\t" << uniform() * 10 << "\n";
    return dir;
}

// The result files of runs <run>1 and <run>2 are the same.
void ExpectSameRunFiles(const std::string& dir, const std::string& run,
                        const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        const std::string one = Read(dir + "/snps_RUN" + run + "1_" + file);
        ASSERT_FALSE(one.empty()) << run << file;
        EXPECT_EQ(Read(dir + "/snps_RUN" + run + "2_" + file), one) << run << file;
    }
}

}  // namespace

TEST(InputFormatsCli, SnpSweepsOnTwoThreadsGiveTheResultsOfOne) {
    const std::string dir = TwoPopulationSnps("formats_threads");
    for (const std::string t : {"1", "2"}) {
        RunOk("brelo", dir, "-Fsnps -fplink -T-1 -jk -t" + t + " -orunt" + t + kBrelo);
        RunOk("brelo", dir, "-Fsnps -fplink -T-1 -rx2 -t" + t + " -orunr" + t + kBrelo);
        // Frequency draws in blocks with streams of their own, and the
        // reallocations' passes split over blocks of loci.
        RunOk("brelo", dir, "-Fsnps -fplink -T-1 -jk -zg -zr2 -t" + t + " -orung" + t + kBrelo);
    }
    for (const std::string run : {"t", "r", "g"})
        ExpectSameRunFiles(dir, run, {"Q.txt", "P.txt", "TR.txt", "AL.txt"});
}

// breloAdm's frequency draws in blocks of loci, its label and proportion
// draws in blocks of individuals, alone and inside the replicas of -rx.
TEST(InputFormatsCli, AdmixtureSnpSweepsOnTwoThreadsGiveTheResultsOfOne) {
    const std::string dir = TwoPopulationSnps("formats_adm_threads");
    const std::string adm =
        "-Fsnps -fplink -Csnps_side.txt -X0 -K2 -D1 -S12 -B6 -P0.6 -T1 -jk -wnone";
    for (const std::string t : {"1", "2"}) {
        RunOk("breloAdm", dir, adm + " -t" + t + " -orunt" + t);
        RunOk("breloAdm", dir, adm + " -rx2 -t" + t + " -orunr" + t);
    }
    for (const std::string run : {"t", "r"})
        ExpectSameRunFiles(dir, run,
                           {"Q.txt", "P.txt", "TR.txt", "AL.txt", "LHstock.txt", "PD.txt"});
}
