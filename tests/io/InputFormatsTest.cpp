// The readers of VCF/BCF and GENEPOP files and of the -C side table, and the
// data set they make, compared with the ordinary layout of the same data.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <thread>
#include <utility>

#include "core/TestSupport.h"
#include "io/DataSet.h"
#include "io/GenepopReader.h"
#include "io/InputFormat.h"
#include "io/SideTable.h"
#include "io/VcfReader.h"
#include "io/VcfWriter.h"

namespace {

const int kMiss = SGenotypeTable::kMissing;

// The copies of individual i at locus l.
std::vector<int> Copies(const SGenotypeTable& t, int i, int l) {
    std::vector<int> out;
    for (int a = 0; a < t.A; ++a)
        out.push_back(t.Code(i, a, l));
    return out;
}

std::string WriteVcf(const std::string& name, const char* mode,
                     const std::vector<std::string>& samples,
                     const std::vector<std::string>& lines) {
    const std::string path = TempPath(name);
    EXPECT_TRUE(WriteVariants(path, mode, samples, lines)) << path;
    return path;
}

// The VCF header and sample line written by hand, for records htslib would
// not write.
std::string HandWrittenVcf(const std::string& name, const std::string& records) {
    return WriteTempFile(name,
                         "##fileformat=VCFv4.2\n##contig=<ID=1>\n"
                         "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"GT\">\n"
                         "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\tb\n" +
                             records);
}

SDataLayout FormatLayout(EInputFormat format, const std::string& file, int N, int A, int L) {
    SDataLayout layout;
    layout.format = format;
    layout.File = file;
    layout.N = N;
    layout.A = A;
    layout.L = L;
    return layout;
}

}  // namespace

TEST(VcfReader, PlainCompressedAndBcfGiveTheSameGenotypes) {
    const std::vector<std::string> lines = {
        VariantLine(10, "G", {"0/1", "1|1", "./."}),
        VariantLine(20, "G,T", {"0/2", ".", "2|0"}),  // multi-allelic, a wholly missing call
        VariantLine(30, "G", {"0/0", "0/1", "1/."}),  // one copy missing
    };
    for (const char* mode : {"w", "wz", "wb"}) {
        SCOPED_TRACE(mode);
        const SGenotypeTable t = ReadVcf(WriteVcf("v.vcf", mode, {"s1", "s2", "s3"}, lines));
        ASSERT_EQ(t.N, 3);
        ASSERT_EQ(t.A, 2);
        ASSERT_EQ(t.L, 3);
        EXPECT_EQ(t.ids, (std::vector<std::string>{"s1", "s2", "s3"}));
        EXPECT_TRUE(t.popIndex.empty());
        EXPECT_EQ(Copies(t, 0, 0), (std::vector<int>{0, 1}));
        EXPECT_EQ(Copies(t, 1, 0), (std::vector<int>{1, 1}));
        EXPECT_EQ(Copies(t, 2, 0), (std::vector<int>{kMiss, kMiss}));
        EXPECT_EQ(Copies(t, 0, 1), (std::vector<int>{0, 2}));
        EXPECT_EQ(Copies(t, 1, 1), (std::vector<int>{kMiss, kMiss}));
        EXPECT_EQ(Copies(t, 2, 1), (std::vector<int>{2, 0}));  // copy order of GT kept
        EXPECT_EQ(Copies(t, 2, 2), (std::vector<int>{1, kMiss}));
    }
}

TEST(VcfReader, PloidyComesFromTheFirstCalledGenotype) {
    // Haploid calls, after a record where every call is missing.
    const SGenotypeTable haploid =
        ReadVcf(WriteVcf("h.vcf", "w", {"a", "b"},
                         {VariantLine(5, "C", {".", "."}), VariantLine(6, "C", {"1", "0"})}));
    EXPECT_EQ(haploid.A, 1);
    EXPECT_EQ(haploid.L, 2);
    EXPECT_EQ(haploid.genotypes.ToCodes(), (INT_VCTR_3D{{{kMiss, 1}}, {{kMiss, 0}}}));
    // Diploid calls after an all-missing record written "./.": that record
    // is missing at both copies of everyone.
    const SGenotypeTable diploid =
        ReadVcf(WriteVcf("d.vcf", "wb", {"a", "b"},
                         {VariantLine(5, "C", {"./.", "."}), VariantLine(6, "C", {".", "0|1"})}));
    EXPECT_EQ(diploid.A, 2);
    EXPECT_EQ(diploid.genotypes.ToCodes(),
              (INT_VCTR_3D{{{kMiss, kMiss}, {kMiss, kMiss}}, {{kMiss, 0}, {kMiss, 1}}}));
}

TEST(VcfReaderDeath, RefusesWhatCannotBeRepresented) {
    FlavourScope brelo(ProgramFlavour::Brelo);
    const std::string mixed =
        WriteVcf("m.vcf", "w", {"a", "b"},
                 {VariantLine(5, "C", {"0/1", "1/1"}), VariantLine(9, "C", {"0/1", "1"})});
    EXPECT_EXIT_STDOUT(ReadVcf(mixed),
                       "m.vcf: record 2 \\(1:9\\): sample b has 1 allele copies "
                       "where the genotypes before have 2 \\(mixed ploidy");
    const std::string noGt = HandWrittenVcf("nogt.vcf", "1\t5\t.\tA\tC\t.\t.\t.\tDP\t3\t4\n");
    EXPECT_EXIT_STDOUT(ReadVcf(noGt), "record 1 \\(1:5\\): no GT field");
    const std::string noSample = WriteVcf("ns.vcf", "w", {}, {"1\t5\t.\tA\tC\t.\t.\t."});
    EXPECT_EXIT_STDOUT(ReadVcf(noSample), "holds no sample");
    const std::string noRecord = WriteVcf("nr.vcf", "wz", {"a"}, {});
    EXPECT_EXIT_STDOUT(ReadVcf(noRecord), "holds no variant record");
    const std::string allMissing = WriteVcf("am.vcf", "w", {"a"}, {VariantLine(5, "C", {"./."})});
    EXPECT_EXIT_STDOUT(ReadVcf(allMissing), "holds no called genotype");
    EXPECT_EXIT_STDOUT(ReadVcf(TempPath("absent.vcf")), "Cannot open file .*absent.vcf - LoadVcf");
    const std::string text = WriteTempFile("t.txt", "1 2 3\n4 5 6\n");
    EXPECT_EXIT_STDOUT(ReadVcf(text), "t.txt: .*VCF");
    const std::string shortLine = HandWrittenVcf("short.vcf", "1\t5\t.\tA\tC\t.\t.\t.\tGT\t0/1\n");
    EXPECT_EXIT_STDOUT(ReadVcf(shortLine),
                       "short.vcf: record 1 is malformed or cut short - LoadVcf");
    const std::string beyond = HandWrittenVcf("ba.vcf", "1\t5\t.\tA\tC\t.\t.\t.\tGT\t0/1\t0/2\n");
    EXPECT_EXIT_STDOUT(ReadVcf(beyond),
                       "ba.vcf: record 1 \\(1:5\\): allele index 2 is out of range \\(the record "
                       "lists 2 alleles\\)");
}

// What a VCF holds beyond what it announces, or less than its compression
// promises: a download cut at a block boundary (the end-of-file block
// missing, every record before it whole) and a record with more genotype
// columns than the header has samples.
TEST(VcfReaderDeath, RefusesTruncatedFilesAndRecordsWiderThanTheHeader) {
    std::vector<std::string> lines;
    for (int pos = 1; pos <= 40; ++pos)
        lines.push_back(VariantLine(pos, "G", {"0/1", "1/1"}));
    for (const char* mode : {"wz", "wb"}) {
        const std::string whole = WriteVcf("cut.vcf.gz", mode, {"a", "b"}, lines);
        std::string bytes = ReadWholeFile(whole);
        ASSERT_GT(bytes.size(), 28u);
        bytes.resize(bytes.size() - 28);  // the empty block that ends a BGZF file
        const std::string cut = WriteTempFile("cut.vcf.gz", bytes);
        EXPECT_EXIT(ReadVcf(cut), ::testing::ExitedWithCode(1),
                    "^.*cut.vcf.gz: the file is truncated \\(its compressed data lack the "
                    "end-of-file block\\).* - LoadVcf\n$")
            << mode;
    }
    const std::string wide = HandWrittenVcf("wide.vcf",
                                            "1\t5\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1/1\n"
                                            "2\t7\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1/1\t0/0\n");
    EXPECT_EXIT(ReadVcf(wide), ::testing::ExitedWithCode(1),
                "wide.vcf: record 2 \\(2:7\\): it holds 3 genotype columns where the header "
                "names 2 samples - LoadVcf");
    // Blanks or a carriage return after the last column are no column.
    const SGenotypeTable trailing =
        ReadVcf(HandWrittenVcf("trail.vcf", "1\t5\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1/1\t\r\n"));
    EXPECT_EQ(trailing.L, 1);
}

// The files are read once, from their start to their end: a named pipe,
// which can be read only once, gives the same genotypes as the file.
TEST(GenotypeFormats, ANamedPipeIsReadInOnePass) {
    const std::string vcf =
        WriteVcf("c.vcf", "w", {"a", "b"},
                 {VariantLine(5, "C", {"0/1", "1/1"}), VariantLine(9, "C", {"0/0", "./."})});
    const std::string gen = WriteTempFile("c.gen", "t\nL1, L2\nPop\na, 0101 0102\nb, 0202 0\n");
    for (const auto& [file, format] : {std::pair<std::string, EInputFormat>{vcf, EInputFormat::Vcf},
                                       {gen, EInputFormat::Genepop}}) {
        const SGenotypeTable direct = ReadGenotypeTable(format, file);
        const std::string fifo = TempPath("pipe");
        std::remove(fifo.c_str());
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] {
            std::ofstream out(fifo, std::ios::binary);
            out << ReadWholeFile(file);
        });
        const SGenotypeTable piped = ReadGenotypeTable(format, fifo);
        writer.join();
        EXPECT_EQ(piped.N, 2);
        EXPECT_EQ(piped.L, 2);
        EXPECT_EQ(piped.A, direct.A);
        EXPECT_EQ(piped.ids, direct.ids);
        EXPECT_EQ(piped.genotypes.ToCodes(), direct.genotypes.ToCodes());
    }
}

TEST(GenepopReader, ReadsBothLocusListsWidthsAndMissingCodes) {
    // Loci one a line, 3-digit diploid genotypes, Pop in other cases, CRLF.
    const std::string threeDigit =
        WriteTempFile("a.gen",
                      "Title, with a comma\r\nLoc1\r\nLoc2\r\nPOP\r\nind1 , 105110 000000\r\n"
                      "ind2, 0 110105\r\n\r\npop Lyon\r\nind 3,  105000 110110\r\n");
    const SGenotypeTable t = ReadGenepop(threeDigit);
    ASSERT_EQ(t.N, 3);
    ASSERT_EQ(t.A, 2);
    ASSERT_EQ(t.L, 2);
    EXPECT_EQ(t.ids, (std::vector<std::string>{"ind1", "ind2", "ind 3"}));
    EXPECT_EQ(t.popIndex, (INT_VCTR_1D{1, 1, 2}));
    EXPECT_EQ(Copies(t, 0, 0), (std::vector<int>{105, 110}));
    EXPECT_EQ(Copies(t, 0, 1), (std::vector<int>{kMiss, kMiss}));
    EXPECT_EQ(Copies(t, 1, 0), (std::vector<int>{kMiss, kMiss}));  // a lone 0
    EXPECT_EQ(Copies(t, 1, 1), (std::vector<int>{110, 105}));
    EXPECT_EQ(Copies(t, 2, 0), (std::vector<int>{105, kMiss}));

    // Comma-separated loci over two lines, 2-digit haploid codes; a wholly
    // missing genotype before any other tells nothing of the width.
    const std::string haploid =
        WriteTempFile("h.gen", "t\nA, B,\nC\nPop\nx, 0 01 02\ny, 03 00 12\nPop\nz, 01 01 01\n");
    const SGenotypeTable h = ReadGenepop(haploid);
    EXPECT_EQ(h.A, 1);
    EXPECT_EQ(h.L, 3);
    EXPECT_EQ(h.popIndex, (INT_VCTR_1D{1, 1, 2}));
    EXPECT_EQ(h.genotypes.ToCodes(), (INT_VCTR_3D{{{kMiss, 1, 2}}, {{3, kMiss, 12}}, {{1, 1, 1}}}));
}

// An individual whose name begins with "pop" is an individual: the comma
// tells it from a Pop line, and the populations after it keep their numbers.
TEST(GenepopReader, ANameBeginningWithPopIsAnIndividual) {
    const SGenotypeTable t =
        ReadGenepop(WriteTempFile("p.gen",
                                  "t\nL1\nL2\nPop\npop x , 0101 0202\nPOP\nb, 0102 0101\n"
                                  "Popular,0202 0202\npop 3\nc, 0101 0101\n"));
    EXPECT_EQ(t.ids, (std::vector<std::string>{"pop x", "b", "Popular", "c"}));
    EXPECT_EQ(t.popIndex, (INT_VCTR_1D{1, 2, 2, 3}));
    EXPECT_EQ(Copies(t, 0, 1), (std::vector<int>{2, 2}));
}

// Codes of up to three digits are kept whole, also once some exceed what one
// byte holds while the file is read.
TEST(GenepopReader, ThreeDigitCodesKeepTheirValues) {
    const SGenotypeTable t =
        ReadGenepop(WriteTempFile("w.gen", "t\nL1, L2\nPop\na, 001254 0\nb, 999255 000998\n"));
    EXPECT_EQ(t.genotypes.ToCodes(),
              (INT_VCTR_3D{{{1, kMiss}, {254, kMiss}}, {{999, kMiss}, {255, 998}}}));
}

TEST(GenepopReaderDeath, RefusalsNameTheLineAndTheFault) {
    FlavourScope adm(ProgramFlavour::BreloAdm);
    auto refuse = [](const std::string& content, const std::string& message) {
        const std::string file = WriteTempFile("bad.gen", content);
        EXPECT_EXIT(ReadGenepop(file), ::testing::ExitedWithCode(1), message) << content;
    };
    const std::string head = "title\nL1, L2\nPop\n";
    refuse(head + "a, 0101 0202\nb, 0101 202\n",
           "bad.gen, line 5: genotype '202' at locus L2 .*has 3 digits where the file's genotypes "
           "have 4");
    refuse(head + "a, 0101\n", "line 4: individual a has 1 genotypes where the locus list names 2");
    refuse(head + "a 0101 0202\n", "line 4: expected 'name, genotypes' or a Pop line");
    refuse(head + "a, 01011 0202\n", "has 5 digits: expected 4 or 6");
    refuse(head + "Pop\na, 0101 0202\n", "line 4: Pop block 1 holds no individual");
    refuse(head + "a, 0101 0202\nPop\n", "the last Pop block \\(2\\) holds no individual");
    refuse("title\nPop\na, 01\n", "no locus name before the first Pop line");
    refuse(head + "a, 0 0\n", "holds no genotype other than missing ones");
}

TEST(InputFormat, OptionsAndCountsFromTheFile) {
    SInputOptions input;
    EXPECT_FALSE(ParseInputOption("-F-fvcf", input));
    EXPECT_TRUE(ParseInputOption("-fVCF", input));
    EXPECT_EQ(input.format, EInputFormat::Vcf);
    EXPECT_TRUE(ParseInputOption("-fgenepop", input));
    EXPECT_EQ(input.format, EInputFormat::Genepop);
    EXPECT_TRUE(ParseInputOption("-Cside.txt", input));
    EXPECT_EQ(input.sideTable, "side.txt");

    const std::string gen = WriteTempFile("c.gen", "t\nL1\nL2\nL3\nPop\na, 0101 0202 0303\n");
    int N = 0, A = 2, L = 0;
    bool bN = false, bA = true, bL = false;
    TakeCountsFromFile(input, gen, {N, bN}, {A, bA}, {L, bL});
    EXPECT_EQ(N, 1);
    EXPECT_EQ(L, 3);
    EXPECT_TRUE(bN && bA && bL);

    FlavourScope brelo(ProgramFlavour::Brelo);
    int A3 = 3;
    EXPECT_EXIT_STDOUT(TakeCountsFromFile(input, gen, {N, bN}, {A3, bA}, {L, bL}),
                       "The file .*c.gen holds 2 allele copies per individual, but -A3 was given");
    // A format it does not know is no input option: the program names it.
    EXPECT_FALSE(ParseInputOption("-fstructure", input));
    EXPECT_EQ(input.format, EInputFormat::Genepop);
}

// The same individuals in the ordinary layout (id, qualitative and
// quantitative covariates, coordinates, two rows of genotypes) and as a
// GENEPOP file with a -C table in another order and column order.
TEST(DataSetFromFormats, GivesTheArraysOfTheOrdinaryLayout) {
    const std::string ordinary = WriteTempFile("o.txt",
                                               "u 3 0.5 10.25 20.5 1 2\nu 3 0.5 10.25 20.5 2 -9\n"
                                               "v 7 1.5 11.5 21.75 2 2\nv 7 1.5 11.5 21.75 1 1\n"
                                               "w 9 -2 12 22 -9 -9\nw 9 -2 12 22 -9 2\n");
    const std::string gen =
        WriteTempFile("g.gen", "t\nL1, L2\npop\nu, 0102 0200\nv, 0201 0201\npop\nw, 0 0002\n");
    const std::string side = WriteTempFile("s.txt",
                                           "Y\tgroup\televation\tid\tX\tnotes\n"
                                           "22\t9\t-2\tw\t12\tn\n"
                                           "21.75\t7\t1.5\tv\t11.5\tn\n"
                                           "99\t1\t0\tnot in data\t0\tn\n"
                                           "20.5\t3\t0.5\tu\t10.25\tn\n");
    SDataLayout layout;
    layout.File = ordinary;
    layout.N = 3;
    layout.A = 2;
    layout.L = 2;
    layout.EC = 1;
    layout.nbQualVar = 1;
    layout.nbQuantVar = 1;
    layout.trendDegree = 2;
    CDataSet expected;
    LoadDataSet(layout, expected);

    // Blank-separated, columns in the order of the ordinary layout.
    const std::string sideOrdered = WriteTempFile("s2.txt",
                                                  "id group elevation x y\n"
                                                  "w 9 -2 12 22\nv 7 1.5 11.5 21.75\n"
                                                  "u 3 0.5 10.25 20.5\n");
    for (const std::string& table : {side, sideOrdered}) {
        SDataLayout formatLayout = FormatLayout(EInputFormat::Genepop, gen, 3, 2, 2);
        formatLayout.nbQualVar = 1;
        formatLayout.nbQuantVar = 1;
        formatLayout.trendDegree = 2;
        formatLayout.sideTable = table;
        CDataSet got;
        LoadDataSet(formatLayout, got);
        EXPECT_EQ(got.ids, expected.ids);
        EXPECT_EQ(got.C, expected.C);
        EXPECT_EQ(got.Xtild, expected.Xtild);
        EXPECT_EQ(got.XQual, expected.XQual);
        EXPECT_EQ(got.LevelCount, expected.LevelCount);
        EXPECT_EQ(got.nQualLevels, expected.nQualLevels);
        EXPECT_EQ(got.popIndex, (INT_VCTR_1D{1, 1, 2}));
        // Genotypes: GENEPOP codes 01/02 are the ordinary codes 1/2, missing
        // copies negative in both.
        ASSERT_EQ(got.X.N(), 3);
        for (int i = 0; i < 3; ++i)
            for (int a = 0; a < 2; ++a)
                for (int l = 0; l < 2; ++l)
                    EXPECT_EQ(got.X.Index(i, a, l), expected.X.Index(i, a, l));
    }
}

TEST(SideTableDeath, RefusesMissingDuplicatedAndMalformedRows) {
    FlavourScope brelo(ProgramFlavour::Brelo);
    const std::vector<std::string> ids = {"a", "b"};
    SSideColumns wanted;
    wanted.coordinates = true;
    wanted.nbQuantVar = 1;
    SSideValues values;
    auto refuse = [&](const std::string& content, const std::string& message,
                      const std::vector<std::string>& dataIds) {
        const std::string file = WriteTempFile("side.txt", content);
        EXPECT_EXIT_STDOUT(ReadSideTable(file, wanted, dataIds, "d.vcf", values), message)
            << content;
    };
    refuse("id x y e\na 1 2 3\n", "Individual b of d.vcf has no row in .*side.txt", ids);
    refuse("id x y e\na 1 2 3\nb 1 2 3\na 4 5 6\n",
           "side.txt, line 4: individual a already has a row \\(line 2\\)", ids);
    refuse("id x y e\na 1 2 3\nb 1 2 3\n", "Individual a appears twice in d.vcf", {"a", "b", "a"});
    refuse("id lat e\na 1 2\nb 1 2\n", "no column named 'x'", ids);
    refuse("id x y\na 1 2\nb 1 2\n",
           "line 1: the header names 0 covariate column\\(s\\) where -XL0 -X1 ask for 1", ids);
    refuse("id x y e\na 1 2 3\nb 1 2\n", "line 3: 3 fields where the header names 4 columns", ids);
    refuse("id x y e\na 1 2 3\nb 1 NA 3\n", "line 3: column y: 'NA' is not a finite number", ids);
    // Covariate columns are taken in table order: with -XL1 -X1, "e" comes
    // first and is read as the qualitative one, where 1.5 is no class code.
    wanted.nbQualVar = 1;
    refuse("id x y e g\na 1 2 1.5 3\nb 1 2 3 4\n", "line 2: column e: '1.5' is not an integer",
           ids);
}
