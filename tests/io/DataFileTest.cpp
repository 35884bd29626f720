#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "core/TestSupport.h"
#include "io/DataSet.h"
#include "io/IOUtilities.h"

namespace {
struct SLoadOptions {
    int N = 1, A = 2, L = 1, nd = 0;
    int nbQualVar = 0, nbQuantVar = 0, ER = 0, EC = 0, trendDegree = -1, nb_var_regr = 2;
    bool bbase = false, specialFormat = false, isRecAllele = false;
};

// The arrays as both programs size them before LoadData.
struct SLoaded {
    INT_VCTR_1D isBase, nQualLevels, recAllele;
    DBL_VCTR_2D C, Xtild;
    INT_VCTR_2D XQual, LevelCount;
    CGenotypeStore X;
};

SLoaded Load(const std::string& file, const SLoadOptions& o) {
    SLoaded d;
    InitVctr1D(d.isBase, o.N, 0);
    InitVctr1D(d.nQualLevels, o.nbQualVar, 0);
    InitVctr1D(d.recAllele, o.L, 0);
    InitVctr2D(d.C, o.N + o.nd, 2, 0.0);
    InitVctr2D(d.XQual, o.N, o.nbQualVar, 0);
    d.X = CGenotypeStore(o.N, o.A, o.L);
    LoadData(o.bbase, d.isBase, d.C, d.Xtild, d.XQual, d.LevelCount, d.nQualLevels, d.X,
             d.recAllele, o.ER, o.EC, file, o.specialFormat, o.nbQuantVar, o.nb_var_regr,
             o.isRecAllele, o.trendDegree);
    return d;
}
}  // namespace

TEST(LoadData, HeaderRowsExtraColumnsAndNoCovariates) {
    std::string file = WriteTempFile("d.txt",
                                     "a header line\nanother one with 1 2 3\n"
                                     "id1 1 2 3\nid1 4 -9 6\n"
                                     "id2 7 8 9\nid2 10 11 12\n");
    SLoadOptions o;
    o.N = 2;
    o.L = 3;
    o.ER = 2;
    o.EC = 1;
    SLoaded d = Load(file, o);
    EXPECT_TRUE(d.Xtild.empty());
    o.ER = 0;  // a byte-order mark before the first value is not part of it
    o.EC = 0;
    const std::string bom = WriteTempFile("bom.txt",
                                          "\xEF\xBB\xBF"
                                          "1 2 3\n4 -9 6\n7 8 9\n10 11 12\n");
    EXPECT_EQ(Load(bom, o).X.ToCodes(), d.X.ToCodes());
    EXPECT_EQ(d.X.Codes(0), (INT_VCTR_2D{{1, 2, 3}, {4, -9, 6}}));
    EXPECT_EQ(d.X.Codes(1), (INT_VCTR_2D{{7, 8, 9}, {10, 11, 12}}));
}

TEST(LoadData, OrdinaryRowsOverwriteLeadingFieldsSpecialRowsGroupCopiesByLocus) {
    SLoadOptions o;
    o.L = 2;
    o.nbQuantVar = 1;
    SLoaded d = Load(WriteTempFile("o.txt", "1.5 11 21\n2.5 12 22\n"), o);
    EXPECT_EQ(d.Xtild, (DBL_VCTR_2D{{1.0, 2.5}}));  // the second row is kept
    EXPECT_EQ(d.X.Codes(0), (INT_VCTR_2D{{11, 21}, {12, 22}}));

    o.specialFormat = true;
    SLoaded s = Load(WriteTempFile("s.txt", "2.5 11 12 21 22\n"), o);
    EXPECT_EQ(s.X.Codes(0), (INT_VCTR_2D{{11, 21}, {12, 22}}));
    EXPECT_EQ(s.Xtild, d.Xtild);
}

TEST(LoadData, TrendColumnsForEveryDegreeAndBothFormats) {
    // x = 2, y = 3 for the single individual.
    const std::string ordinary = WriteTempFile("o.txt", "2 3 1\n2 3 1\n");
    const std::string special = WriteTempFile("s.txt", "2 3 1 1\n");
    const DBL_VCTR_1D both = {2, 3, 4, 9, 6, 8, 27, 12, 18};
    const DBL_VCTR_1D yOnly = {3, 9, 27};
    for (int nb_var_regr = 1; nb_var_regr <= 2; ++nb_var_regr)
        for (int degree = 1; degree <= 3; ++degree) {
            SCOPED_TRACE("nb_var_regr " + std::to_string(nb_var_regr) + ", degree " +
                         std::to_string(degree));
            SLoadOptions o;
            o.trendDegree = degree;
            o.nb_var_regr = nb_var_regr;
            const DBL_VCTR_1D& terms = nb_var_regr == 1 ? yOnly : both;
            size_t size = nb_var_regr == 1 ? degree : (degree + 1) * (degree + 2) / 2 - 1;
            DBL_VCTR_1D expected = {1.0};
            expected.insert(expected.end(), terms.begin(), terms.begin() + size);
            SLoaded d = Load(ordinary, o);
            ASSERT_EQ(d.Xtild.size(), 1u);
            EXPECT_EQ(d.Xtild[0], expected);
            o.specialFormat = true;
            EXPECT_EQ(Load(special, o).Xtild, d.Xtild);
        }
}

TEST(LoadData, TrendDegreeZeroKeepsCoordinatesOutOfTheRegression) {
    SLoadOptions o;
    o.trendDegree = 0;
    const std::string file = WriteTempFile("z.txt", "5 2 3 1\n5 2 3 1\n");
    SLoaded noCov = Load(WriteTempFile("n.txt", "2 3 1\n2 3 1\n"), o);
    EXPECT_TRUE(noCov.Xtild.empty());
    EXPECT_EQ(noCov.C[0], (DBL_VCTR_1D{2, 3}));
    o.nbQuantVar = 1;
    SLoaded d = Load(file, o);
    EXPECT_EQ(d.Xtild, (DBL_VCTR_2D{{1, 5}}));
    EXPECT_EQ(d.C[0], (DBL_VCTR_1D{2, 3}));
    o.nb_var_regr = 0;
    o.trendDegree = 2;
    EXPECT_EQ(Load(file, o).Xtild, (DBL_VCTR_2D{{1, 5}}));
}

TEST(LoadData, QualitativeCodesBecomeSumToZeroColumns) {
    // Two qualitative covariates (codes {3,7,9} and a single level 4), then a
    // quantitative one; special format, haploid, one locus.
    const std::string file = WriteTempFile("q.txt",
                                           "9 4 0.5 1\n"
                                           "3 4 1.5 1\n"
                                           "7 4 2.5 1\n"
                                           "3 4 3.5 1\n");
    SLoadOptions o;
    o.N = 4;
    o.A = 1;
    o.nbQualVar = 2;
    o.nbQuantVar = 1;
    o.specialFormat = true;
    SLoaded d = Load(file, o);
    EXPECT_EQ(d.Xtild,
              (DBL_VCTR_2D{{1, 0, 1, 0.5}, {1, -1, -1, 1.5}, {1, 1, 0, 2.5}, {1, -1, -1, 3.5}}));
    EXPECT_EQ(d.XQual, (INT_VCTR_2D{{2, 0}, {0, 0}, {1, 0}, {0, 0}}));
    EXPECT_EQ(d.nQualLevels, (INT_VCTR_1D{3, 1}));
    EXPECT_EQ(d.LevelCount, (INT_VCTR_2D{{2, 1, 1}, {4}}));
}

TEST(LoadData, DummyRecordsGiveOnlyCoordinates) {
    const std::string file = WriteTempFile("m.txt",
                                           "g1 1 1 10\ng1 1 1 11\n"
                                           "d1 7 8 99\nd1 7 8 99\n"
                                           "d2 9 9 98\nd2 9 9 98\n");
    SLoadOptions o;
    o.nd = 2;
    o.EC = 1;
    o.trendDegree = 1;
    SLoaded d = Load(file, o);
    EXPECT_EQ(d.C, (DBL_VCTR_2D{{1, 1}, {7, 8}, {9, 9}}));
    EXPECT_EQ(d.X.N(), 1);
    EXPECT_EQ(d.X.Codes(0), (INT_VCTR_2D{{10}, {11}}));
    EXPECT_EQ(d.Xtild, (DBL_VCTR_2D{{1, 1, 1}}));

    const std::string missingDummy = WriteTempFile("md.txt", "g1 1 1 10\ng1 1 1 11\n");
    EXPECT_EXIT_STDOUT(Load(missingDummy, o),
                       "^Unexpected end of file in .*md.txt, record 2: expected a row of 4 values "
                       "- LoadData\n$");
}

TEST(LoadData, RecessiveAlleleLineAndReferenceFlag) {
    const std::string file = WriteTempFile("r.txt",
                                           "header\n"
                                           "0 -1\n"
                                           "1 5 6\n1 7 8\n"
                                           "0 5 5\n0 6 6\n");
    SLoadOptions o;
    o.N = 2;
    o.L = 2;
    o.ER = 1;
    o.bbase = true;
    o.isRecAllele = true;
    SLoaded d = Load(file, o);
    EXPECT_EQ(d.recAllele, (INT_VCTR_1D{0, -1}));
    EXPECT_EQ(d.isBase, (INT_VCTR_1D{1, 0}));
    EXPECT_EQ(d.X.Codes(1), (INT_VCTR_2D{{5, 5}, {6, 6}}));
}

TEST(LoadData, TruncatedOrMalformedFilesAreReportedOnTheProgramsStream) {
    SLoadOptions o;
    o.N = 2;
    o.L = 3;
    o.nbQuantVar = 1;
    const std::string truncated = WriteTempFile("t.txt", "0.5 1 2 3\n0.5 1 2 3\n0.5 1 2\n");
    const std::string malformed = WriteTempFile("m.txt", "0.5 1 2 3\n0.5 1 2 3\n0.5 1 NA 3\n");
    const std::string badCov = WriteTempFile("c.txt", "0,5 1 2 3\n");
    {
        FlavourScope f(ProgramFlavour::Brelo);
        EXPECT_EXIT_STDOUT(Load(truncated, o),
                           "^Line 3 of .*t.txt \\(record 2\\) holds 3 values, where -X1 -L3 "
                           "expect 4 values a row - LoadData\n$");
        EXPECT_EXIT_STDOUT(Load(malformed, o),
                           "^Invalid number 'NA' in .*m.txt, record 2 \\(line 3\\): expected the "
                           "allele code of copy 1 at locus 2 - LoadData\n$");
        EXPECT_EXIT_STDOUT(Load("/no/such/file", o), "^Cannot open file /no/such/file - LoadData");

        // A diploid file read as haploid would be read out of step: refused.
        const std::string whole =
            WriteTempFile("w.txt", "0.5 1 2 3\n0.5 1 2 3\n0.5 1 2 3\n0.5 1 2 3\n");
        testing::internal::CaptureStdout();
        Load(whole, o);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        SLoadOptions haploid = o;
        haploid.A = 1;
        EXPECT_EXIT_STDOUT(Load(whole, haploid),
                           "^.*w.txt holds 4 records of 1 row \\(-A1\\), where -N2 announces 2 "
                           "- LoadData\n$");
    }
    FlavourScope f(ProgramFlavour::BreloAdm);
    EXPECT_EXIT(Load(truncated, o), ::testing::ExitedWithCode(1), "^Line 3 of .*t.txt");
    EXPECT_EXIT(Load(badCov, o), ::testing::ExitedWithCode(1),
                "Invalid number '0,5' in .*c.txt, record 1 \\(line 1\\): expected quantitative "
                "covariate 1 - LoadData");
    EXPECT_EXIT(Load("/no/such/file", o), ::testing::ExitedWithCode(1),
                "^Cannot open file /no/such/file - LoadData\n$");
    INT_VCTR_1D v;
    DBL_VCTR_2D C, Xt;
    INT_VCTR_2D Q, LC;
    CGenotypeStore X;
    EXPECT_EXIT(LoadData(false, v, C, Xt, Q, LC, v, X, v, 0, 0, truncated, false, 0, 2, false, -1),
                ::testing::ExitedWithCode(1), "^Uninitialized C - LoadData\n$");
    C.assign(1, DBL_VCTR_1D(2, 0.0));
    EXPECT_EXIT(LoadData(false, v, C, Xt, Q, LC, v, X, v, 0, 0, truncated, false, 0, 2, false, -1),
                ::testing::ExitedWithCode(1), "^Uninitialized X - LoadData\n$");
}

TEST(LoadData, RealDataSets) {
    // sim2pop: id, true population (qualitative), x, y, 20 loci, diploid.
    SLoadOptions o;
    o.N = 130;
    o.L = 20;
    o.EC = 1;
    o.nbQualVar = 1;
    o.trendDegree = 1;
    SLoaded sim = Load(TestDataPath("sim2pop.txt"), o);
    EXPECT_EQ(sim.LevelCount, (INT_VCTR_2D{{100, 30}}));
    ASSERT_EQ(sim.Xtild.size(), 130u);
    EXPECT_EQ(sim.Xtild[0], (DBL_VCTR_1D{1, -1, 35.1129, 99.5960}));
    std::ifstream truth(TestDataPath("sim2pop_truth.txt"));
    for (int i = 0; i < 130; ++i) {
        int pop = 0;
        truth >> pop;
        EXPECT_EQ(sim.XQual[i][0], pop - 1) << "individual " << i + 1;
    }

    // rupica: id, elevation, x, y, 9 loci; quadratic trend on both coordinates.
    o = SLoadOptions();
    o.N = 335;
    o.L = 9;
    o.EC = 1;
    o.nbQuantVar = 1;
    o.trendDegree = 2;
    SLoaded rup = Load(TestDataPath("rupica.txt"), o);
    ASSERT_EQ(rup.Xtild.size(), 335u);
    ASSERT_EQ(rup.Xtild[0].size(), 7u);
    EXPECT_DOUBLE_EQ(rup.Xtild[0][1], 701.3);
    EXPECT_DOUBLE_EQ(rup.Xtild[0][4], 904155.0 * 904155.0);
    EXPECT_EQ(rup.X.Code(0, 1, 8), 233);
}

// The ids of the result tables: the first extra column of each genotyped
// record (the last row of an individual in the ordinary layout, as for every
// leading field), or the positions when the file has no extra column.
TEST(LoadDataSet, IdsComeFromTheFirstExtraColumnOrThePositions) {
    SDataLayout layout;
    layout.N = 2;
    layout.A = 2;
    layout.L = 2;
    layout.nd = 1;
    layout.EC = 2;
    layout.trendDegree = 0;
    layout.File = WriteTempFile("ids.txt",
                                "ind01 pop1 0 0 1 2\nind01 pop1 0 0 3 4\n"
                                "ind02 pop2 1 1 5 6\nind02 pop2 1 1 7 8\n"
                                "dummy x 2 2 0 0\ndummy x 2 2 0 0\n");
    CDataSet data;
    LoadDataSet(layout, data);
    EXPECT_EQ(data.ids, (std::vector<std::string>{"ind01", "ind02"}));
    EXPECT_EQ(data.X.Codes(1)[1], (INT_VCTR_1D{7, 8}));

    layout.File = WriteTempFile("rows.txt",
                                "a 0 0 1 2\nb 0 0 3 4\nc 1 1 5 6\nd 1 1 7 8\n"
                                "e 2 2 0 0\nf 2 2 0 0\n");
    layout.EC = 1;
    LoadDataSet(layout, data);
    EXPECT_EQ(data.ids, (std::vector<std::string>{"b", "d"}));
    layout.specialFormat = true;
    layout.File = WriteTempFile("special.txt", "a 0 0 1 2 3 4\nc 1 1 5 6 7 8\ne 2 2 0 0 0 0\n");
    LoadDataSet(layout, data);
    EXPECT_EQ(data.ids, (std::vector<std::string>{"a", "c"}));

    layout.EC = 0;
    layout.File = WriteTempFile("none.txt", "0 0 1 2 3 4\n1 1 5 6 7 8\n2 2 0 0 0 0\n");
    LoadDataSet(layout, data);
    EXPECT_EQ(data.ids, (std::vector<std::string>{"1", "2"}));
}

namespace {
// The example data: 130 diploids, 2 rows each of id, population, x, y and
// 20 allele codes.
SDataLayout Sim2pop() {
    SDataLayout layout;
    layout.File = TestDataPath("sim2pop.txt");
    layout.N = 130;
    layout.A = 2;
    layout.L = 20;
    layout.EC = 2;
    layout.trendDegree = 1;
    return layout;
}

void ExpectRefused(const SDataLayout& layout, const std::string& regex) {
    FlavourScope f(ProgramFlavour::Brelo);
    CDataSet data;
    EXPECT_EXIT_STDOUT(LoadDataSet(layout, data), regex);
}
}  // namespace

TEST(LoadDataSet, CountsThatMisreadTheFileAreRefusedWithTheLineAndTheOptions) {
    CDataSet data;
    LoadDataSet(Sim2pop(), data);
    EXPECT_EQ(data.X.Code(129, 1, 19), 9);

    SDataLayout fewerLoci = Sim2pop();
    fewerLoci.L = 19;
    ExpectRefused(fewerLoci,
                  "^Line 1 of .*sim2pop.txt \\(record 1\\) holds 24 values, where -c2 -T1 -L19 "
                  "expect 23 values a row - LoadData\n$");
    SDataLayout oneColumn = Sim2pop();
    oneColumn.EC = 1;
    ExpectRefused(oneColumn, "holds 24 values, where -c1 -T1 -L20 expect 23 values a row");
    SDataLayout moreLoci = Sim2pop();
    moreLoci.L = 21;
    moreLoci.N = 120;
    ExpectRefused(moreLoci, "holds 24 values, where -c2 -T1 -L21 expect 25 values a row");
    SDataLayout special = Sim2pop();
    special.specialFormat = true;
    ExpectRefused(special, "holds 24 values, where -c2 -T1 -L20 -A2 -spy expect 44 values a row");
    // The recessive allele line is a row of L codes too.
    SDataLayout recessive = Sim2pop();
    recessive.isRecAllele = true;
    ExpectRefused(recessive,
                  "^Line 1 of .*sim2pop.txt \\(recessive allele line\\) holds 24 values, where "
                  "-rcy -L20 expect 20 values a row - LoadData\n$");
}

TEST(LoadDataSet, MoreRecordsThanAnnouncedAreRefusedWithTheCountHeld) {
    SDataLayout haploid = Sim2pop();
    haploid.A = 1;
    ExpectRefused(haploid,
                  "^.*sim2pop.txt holds 260 records of 1 row \\(-A1\\), where -N130 announces 130 "
                  "- LoadData\n$");
    SDataLayout subset = Sim2pop();
    subset.N = 100;
    ExpectRefused(subset,
                  "sim2pop.txt holds 130 records of 2 rows \\(-A2\\), where -N100 announces 100");
    subset.nd = 20;
    ExpectRefused(subset, "holds 130 records of 2 rows \\(-A2\\), where -N100 -d20 announce 120");
    subset.nd = 30;  // the last 30 records are dummies
    CDataSet data;
    LoadDataSet(subset, data);
    EXPECT_EQ(data.C.size(), 130u);
    EXPECT_EQ(data.X.N(), 100);
}

TEST(LoadDataSet, ImpossibleCountsEndOnTheFileNotInAnAllocation) {
    // Each would size gigabytes (or overflow an int) if taken before the
    // file is read.
    SDataLayout manyIndividuals = Sim2pop();
    manyIndividuals.N = 2147483647;
    ExpectRefused(manyIndividuals,
                  "^Unexpected end of file in .*sim2pop.txt, record 131: expected a row of 24 "
                  "values - LoadData\n$");
    SDataLayout manyDummies = Sim2pop();
    manyDummies.nd = 2147483647;
    ExpectRefused(manyDummies, "record 131: expected a row of 24 values");
    SDataLayout manyLoci = Sim2pop();
    manyLoci.L = 2147483647;
    ExpectRefused(manyLoci, "where -c2 -T1 -L2147483647 expect 2147483651 values a row");
    SDataLayout manyCopies = Sim2pop();
    manyCopies.A = 50000000;
    manyCopies.specialFormat = true;
    ExpectRefused(manyCopies, "expect 1000000004 values a row");
    SDataLayout manyCovariates = Sim2pop();
    manyCovariates.nbQuantVar = 2147483647;
    manyCovariates.nbQualVar = 2147483647;
    ExpectRefused(manyCovariates,
                  "where -c2 -XL2147483647 -X2147483647 -T1 -L20 expect "
                  "4294967318 values a row");
    SDataLayout manyHeaderRows = Sim2pop();
    manyHeaderRows.ER = 2147483647;
    ExpectRefused(manyHeaderRows, "Unexpected end of file in .*sim2pop.txt, header");
}

// Data with no observed allele at all give nothing to estimate: refused in
// every format. Loci and individuals without one are named in a warning.
TEST(LoadDataSet, DataWithoutObservedAllelesAreRefusedAndEmptyLociNamed) {
    SDataLayout ordinary;
    ordinary.N = 2;
    ordinary.A = 2;
    ordinary.L = 2;
    ordinary.EC = 1;
    ordinary.File = WriteTempFile("missing.txt", "a -9 -9\na -9 -9\nb -1 -9\nb -9 -9\n");
    ExpectRefused(ordinary,
                  "^.*missing.txt holds no observed allele \\(every genotype is "
                  "missing\\) - LoadData\n$");
    SDataLayout genepop;
    genepop.format = EInputFormat::Genepop;
    genepop.N = 2;
    genepop.A = 2;
    genepop.L = 2;
    genepop.File = WriteTempFile("missing.gen", "t\nL1, L2\nPop\na, 0000 0000\nb, 0000 0\n");
    ExpectRefused(genepop, "missing.gen holds no observed allele");

    ordinary.File = WriteTempFile("some.txt", "a -9 3\na -9 4\nb -9 -9\nb -9 -9\n");
    CDataSet data;
    testing::internal::CaptureStderr();
    LoadDataSet(ordinary, data);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: locus 1 of " + ordinary.File +
                  " has no observed allele and tells nothing of the clusters.\n"
                  "Warning: individual b of " +
                  ordinary.File +
                  " has no observed allele: its cluster comes from the prior alone.\n");

    // Two-bit rows of whole words: a's only genotype is its last one.
    for (const int L : {33, 64}) {
        std::string text;
        for (const char* id : {"a", "b"})
            for (int a = 0; a < 2; ++a) {
                text += id;
                for (int l = 0; l < L; ++l)
                    text += l + 1 == L && id[0] == 'a' ? (a ? " 4" : " 3") : " -9";
                text += "\n";
            }
        ordinary.L = L;
        ordinary.File = WriteTempFile("last.txt", text);
        testing::internal::CaptureStderr();
        LoadDataSet(ordinary, data);
        const std::string warnings = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(data.X.IsPacked());
        EXPECT_NE(warnings.find("individual b of"), std::string::npos) << warnings;
        EXPECT_EQ(warnings.find("individual a"), std::string::npos) << warnings;
    }
}
