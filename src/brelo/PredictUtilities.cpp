#include "brelo/PredictUtilities.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>
#include <vector>

#include <gsl/gsl_randist.h>

#include "core/Messages.h"
#include "core/MiscUtilities.h"
#include "core/OptionNames.h"
#include "core/ProgramExit.h"
#include "core/RNGUtilities.h"
#include "core/TokenReader.h"
#include "io/IOUtilities.h"
#include "io/InputFormat.h"
#include "io/ManipVector.h"
#include "io/SideTable.h"
#include "plot/PlotUtilities.h"

namespace {

const char* const kUsagePrediction[] = {
    "",
    "",
    "*** Prediction Utilities ***",
    "",
    "Typical Usages:",
    "     * No Qualitative Covariates in the Data:",
    "     brelo -predict -BETA<file> -newF<file> -newN<n> -newC<n> -newR<n> -X<n> -XL<n> "
    "-T<degree> -adm<y|n> -o<name>",
    "     * Qualitative Covariates in the Data:",
    "     brelo -predict -BETA<file> -newF<file> -newN<n> -newC<n> -newR<n> -X<n> -XL<n> "
    "-T<degree> -adm<y|n> -o<name> -F<file> -N<n> -A<ploidy> -L<loci> -c<n> -r<n>",
    "     * Qualitative Covariates in the -C table of a -fvcf or -fgenepop data file:",
    "     brelo -predict -BETA<file> -newF<file> -newN<n> -X<n> -XL<n> -T<degree> -adm<y|n> "
    "-o<name> -F<file> -f<format> -C<file>",
    "Parameters:",
    "     * Parameters for Data without Qualitative Covariates:",
    "-newF<file>:  File Name of Data File containing the New Values of Covariates",
    "              If file name contains spaces, input it as \"-newF<file>\".",
    "-newN<n>:     Number of Individuals in newF",
    "-newC<n>:     Number of Extra Columns in newF, Default: 0",
    "-newR<n>:     Number of Extra Rows in newF, Default: 0",
    "-o<name>:     Name for Outputs ",
    "-plot<y|n>:   Draw the chart of the predicted memberships, Default: y",
    "-w<formats>:  Files of the chart: png, pdf, png,pdf or none, Default: png,pdf",
    "-BETA<file>:  File Name of Data File containing the Estimated Regression Coefficients "
    "from which you want to predict",
    "              If file name contains spaces, input it as \"-BETA<file>\".",
    "   !Warning: Following parameters have to correspond to the parameters of the run that "
    "estimated beta!",
    "-adm<y|n>:    Was this run with or without admixture?",
    "              y, Yes",
    "              n, No",
    "-K<k>:        Number of Clusters",
    "-XL<n>:       Number of Qualitative Covariates",
    "-X<n>:        Number of Quantitative Covariates (other than spatial coordinates)",
    "-T<degree>:   Degree of Trend",
    "              -1: NO Spatial Coord. in datafile F",
    "               0: Spatial Coord. NOT used",
    "              {1,2,3}: Degree 1, 2 or 3",
    "     * Additional Parameters for Data with Qualitative Covariates:",
    "BRELO need additional informations to load the original data (with genotypes) that were "
    "used for the estimation of beta",
    "Values for these parameters should be the same as when you launched brelo to analyse the "
    "original data",
    "-F<file>:     File Name of Input Data File",
    "              If file name contains spaces, input it as \"-F<file>\".",
    "-i<folder>:   Folder Name of Input Data File, Default: Current Folder",
    "-N<n>:        Number of Individuals",
    "-A<ploidy>:   Ploidy (1 = Haploid, 2 = Diploid, ...)",
    "-L<loci>:     Number of Loci",
    " Optional:",
    "-r<n>:        Number of Extra Rows in Data File, Default: 0",
    "-c<n>:        Number of Extra Columns in Data File, Default: 0",
    "-d<n>:        Number of dummy records after the N individuals, Default: 0",
    "-sp<y|n>:     SPecial data format: one individual = one row",
    "              y, Yes",
    "              n, No (Default)",
    "-rc<y|n>:     Recessive allele line at the top of the data file, Default: n",
    "-ref:         The 1st non-extra column of datafile F indicates Individuals to assigned to "
    "the Reference Cluster",
    "              (value 1 for ref. indiv., 0 for others)",
    "-f<format> -C<file>: the estimation data file is a -fvcf or -fgenepop file whose",
    "              covariates came from the -C table (as in the run): the levels are read",
    "              from its rows of the data file's individuals; -N, -A, -L come from the file",
    "--help:       this text",
};

struct SPredictOptions {
    std::string betaF, newF, outfile, F, FoI;
    int newN = 0, newER = 0, newEC = 0;
    int K = 0, trendDegree = -1, nbQuantVar = 0, nbQualVar = 0;
    int N = 0, A = 0, L = 0, ER = 0, EC = 0, nd = 0;
    bool admixture = false, bplot = true;
    bool specialFormat = false, isRecAllele = false, hasReferenceCol = false;
    bool bBeta = false, bNewF = false, bNewN = false, bK = false, bT = false, bX = false,
         bXL = false, bAdm = false, bF = false, bN = false, bA = false, bL = false;
    SInputOptions input;  // -f and -C of the estimation data file
};

std::vector<std::string> UsageLines() {
    return std::vector<std::string>(std::begin(kUsagePrediction), std::end(kUsagePrediction));
}

[[noreturn]] void RefuseOption(const char* arg) {
    RefuseUnknownOption(arg, UsageLines(), "brelo -predict");
}

// The answer letter of a -xxxy / -xxxn option at position pos.
bool ReadYesNoAt(const char* arg, size_t pos) {
    if (strlen(arg) != pos + 1 || (arg[pos] != 'y' && arg[pos] != 'n'))
        RefuseOption(arg);
    return arg[pos] == 'y';
}

void ParseNewOption(const char* arg, SPredictOptions& o) {
    const char* value = arg + 5;
    switch (arg[4]) {
        case 'F':
            o.newF = value;
            o.bNewF = true;
            break;
        case 'N':
            o.newN = ReadIntOption(arg, 5);
            o.bNewN = true;
            break;
        case 'R':
            o.newER = ReadIntOption(arg, 5);
            break;
        case 'C':
            o.newEC = ReadIntOption(arg, 5);
            break;
        default:
            RefuseOption(arg);
    }
}

void ParseROption(const char* arg, SPredictOptions& o) {
    if (arg[2] == 'e') {
        if (strcmp(arg, "-ref") != 0)
            RefuseOption(arg);
        o.hasReferenceCol = true;
    } else if (arg[2] == 'c') {
        o.isRecAllele = ReadYesNoAt(arg, 3);
    } else {
        o.ER = ReadIntOption(arg, 2);
    }
}

void ParsePredictOption(const char* arg, SPredictOptions& o) {
    if (arg[0] != '-')
        RefuseOption(arg);
    if (ParseInputOption(arg, o.input))
        return;
    const char* value = arg + 2;
    switch (arg[1]) {
        case 'p':
            if (strncmp(arg, "-plot", 5) == 0)
                o.bplot = ReadYesNoAt(arg, 5);
            else if (strcmp(arg, "-predict") != 0)
                RefuseOption(arg);
            break;
        case 'B':
            if (strncmp(arg, "-BETA", 5) != 0)
                RefuseOption(arg);
            o.betaF = arg + 5;
            o.bBeta = true;
            break;
        case 'n':
            if (strncmp(arg, "-new", 4) != 0)
                RefuseOption(arg);
            ParseNewOption(arg, o);
            break;
        case 'K':
            o.K = ReadIntOption(arg, 2);
            o.bK = true;
            break;
        case 'T':
            o.trendDegree = ReadIntOption(arg, 2);
            o.bT = true;
            break;
        case 'X':
            if (arg[2] == 'L') {
                o.nbQualVar = ReadIntOption(arg, 3);
                o.bXL = true;
            } else {
                o.nbQuantVar = ReadIntOption(arg, 2);
                o.bX = true;
            }
            break;
        case 'a':
            if (strncmp(arg, "-adm", 4) != 0)
                RefuseOption(arg);
            o.admixture = ReadYesNoAt(arg, 4);
            o.bAdm = true;
            break;
        case 'o':
        case 'O':
            o.outfile = value;
            break;
        case 'F':
            o.F = value;
            o.bF = true;
            break;
        case 'N':
            o.N = ReadIntOption(arg, 2);
            o.bN = true;
            break;
        case 'A':
            o.A = ReadIntOption(arg, 2);
            o.bA = true;
            break;
        case 'L':
            o.L = ReadIntOption(arg, 2);
            o.bL = true;
            break;
        case 'r':
            ParseROption(arg, o);
            break;
        case 'c':
            o.EC = ReadIntOption(arg, 2);
            break;
        case 's':
            if (arg[2] != 'p')
                RefuseOption(arg);
            o.specialFormat = ReadYesNoAt(arg, 3);
            break;
        case 'd':
            o.nd = ReadIntOption(arg, 2);  // dummy records of the estimation data file
            break;
        case 'i':
            o.FoI = value;
            break;
        case 'w':
            SetFigureFormatsOption(value);
            break;
        default:
            RefuseOption(arg);
    }
}

void CheckPredictOptions(const SPredictOptions& o) {
    const std::string missing = MissingOptionsLine({{"-BETA<file>", o.bBeta},
                                                    {"-newF<file>", o.bNewF},
                                                    {"-newN<n>", o.bNewN},
                                                    {"-K<k>", o.bK},
                                                    {"-T<degree>", o.bT},
                                                    {"-X<n>", o.bX},
                                                    {"-XL<n>", o.bXL},
                                                    {"-adm<y|n>", o.bAdm}},
                                                   "brelo -predict");
    if (!missing.empty())
        RefuseInput(missing);
    if (o.trendDegree < -1 || o.trendDegree > 3)
        RefuseInput(
            "The trend degree must be in {-1,0,1,2,3} (-1 if the data file holds no "
            "spatial coordinates), not -T" +
            std::to_string(o.trendDegree) + ".");
    if (!o.input.sideTable.empty() && !o.input.HasFormat())
        RefuseInput("The option -C gives the covariates of a -fvcf or -fgenepop data file (-f).");
    if (o.K < 1)
        RefuseInput("The number of clusters (-K) must be at least 1.");
    if (o.newN < 1)
        RefuseInput("The number of new individuals (-newN) must be at least 1.");
    if (o.newER < 0 || o.newEC < 0)
        RefuseInput(
            "The numbers of extra rows and columns of the new data file (-newR, -newC) must "
            "not be negative.");
    if (o.nbQuantVar < 0 || o.nbQualVar < 0)
        RefuseInput("The numbers of covariates (-X, -XL) must not be negative.");
}

// The levels of the qualitative covariates as a run on a -f file took them
// from its -C table: the codes of the rows of the file's individuals.
std::vector<std::set<int>> LevelsOfSideTable(const SPredictOptions& o, bool hasSpatialCoord) {
    if (!o.bF || o.input.sideTable.empty())
        RefuseInput("With qualitative covariates and " + FormatName(o.input.format) +
                    ", the estimation data file (-F<file>) and its table (-C<file>) are needed.");
    const std::string dataFile = MakeInputPath(o.FoI, o.F);
    const SGenotypeTable table = ReadGenotypeTable(o.input.format, dataFile);
    SSideColumns wanted;
    wanted.ref = o.hasReferenceCol;
    wanted.nbQualVar = o.nbQualVar;
    wanted.nbQuantVar = o.nbQuantVar;
    wanted.coordinates = hasSpatialCoord;
    SSideValues side;
    ReadSideTable(o.input.sideTable, wanted, table.ids, dataFile, side);
    std::vector<std::set<int>> levelS(o.nbQualVar);
    for (const INT_VCTR_1D& codes : side.XQual)
        for (int v = 0; v < o.nbQualVar; ++v)
            levelS[v].insert(codes[v]);
    return levelS;
}

std::vector<std::set<int>> LoadQualitativeLevels(const SPredictOptions& o, bool hasSpatialCoord) {
    std::vector<std::set<int>> levelS;
    if (o.nbQualVar < 1)
        return levelS;
    if (o.input.HasFormat())
        return LevelsOfSideTable(o, hasSpatialCoord);
    if (!(o.bF && o.bN && o.bA && o.bL))
        RefuseInput(
            "Error: With qualitative covariates, more parameters are required to compute "
            "prediction: " +
            MissingOptionsLine(
                {{"-F<file>", o.bF}, {"-N<n>", o.bN}, {"-A<ploidy>", o.bA}, {"-L<loci>", o.bL}},
                "brelo -predict"));
    if (o.N < 1 || o.A < 1 || o.L < 1 || o.ER < 0 || o.EC < 0 || o.nd < 0)
        RefuseInput(
            "The sizes of the estimation data file (-N, -A, -L, -r, -c, -d) must be positive.");
    const bool ok = LoadQualInfoFromData(o.N, o.nbQualVar, o.nbQuantVar, o.L, o.A, o.ER, o.EC,
                                         o.specialFormat, o.hasReferenceCol, o.isRecAllele,
                                         hasSpatialCoord, levelS, MakeInputPath(o.FoI, o.F), o.nd);
    if (!ok || static_cast<int>(levelS.size()) != o.nbQualVar)
        RefuseInput(
            "Error while loading info. Please verify command line options (have you changed "
            "the main datafile since the estimation?).");
    return levelS;
}

// Every white-space separated value of the file, line by line (empty lines
// dropped). A malformed number is fatal.
std::vector<DBL_VCTR_1D> ReadCoefficientLines(const std::string& File) {
    std::ifstream ifs(File);
    if (!ifs.is_open()) {
        PrintMessage(std::string("Cannot open file ") + File + " - LoadBeta");
        ExitProgram(1);
    }
    std::vector<DBL_VCTR_1D> lines;
    std::string line;
    int lineNumber = 0;
    while (std::getline(ifs, line)) {
        ++lineNumber;
        std::istringstream tokens(line);
        std::string token;
        DBL_VCTR_1D values;
        while (tokens >> token) {
            double value = 0.0;
            if (!ParseDouble(token, value))
                RefuseInput("Invalid number '" + token + "' in " + File + " (line " +
                            std::to_string(lineNumber) + ") - LoadBeta");
            values.push_back(value);
        }
        if (!values.empty())
            lines.push_back(values);
    }
    return lines;
}

bool OneLinePerCluster(const std::vector<DBL_VCTR_1D>& lines, size_t clusters) {
    if (lines.size() != clusters)
        return false;
    for (const DBL_VCTR_1D& line : lines)
        if (line.size() != lines[0].size())
            return false;
    return true;
}

size_t CountValues(const std::vector<DBL_VCTR_1D>& lines) {
    size_t values = 0;
    for (const DBL_VCTR_1D& line : lines)
        values += line.size();
    return values;
}

// The file must hold the clusters of the options, one line each or rows x
// clusters values in all.
void CheckCoefficientLayout(const std::vector<DBL_VCTR_1D>& lines, size_t rows, size_t clusters,
                            const std::string& File) {
    if (OneLinePerCluster(lines, clusters))
        return;
    const size_t values = CountValues(lines);
    if (values == rows * clusters)
        return;
    RefuseInput("The coefficient file " + File + " holds " + std::to_string(lines.size()) +
                " line(s) and " + std::to_string(values) + " value(s); expected one line of " +
                "coefficients per cluster, " + std::to_string(clusters) +
                " in all (check -K and -adm) - LoadBeta");
}

}  // namespace

void ShowUsagePrediction() {
    for (const std::string& line : UsageLines())
        std::cout << line << "\n";
    std::cout << std::flush;
}

int NumberOfCoefficients(int nbXtildCol, int trendDegree) {
    if (trendDegree == -1)
        return nbXtildCol;
    const int T = trendDegree;
    return nbXtildCol - 10 + (T + 1) * (T + 2) / 2;
}

void LoadBeta(DBL_VCTR_2D& beta, const std::string& File) {
    if (beta.empty() || beta[0].empty()) {
        PrintMessage("Uninitialized beta - LoadBeta");
        ExitProgram(1);
    }
    const size_t rows = beta.size(), clusters = beta[0].size();
    const std::vector<DBL_VCTR_1D> lines = ReadCoefficientLines(File);
    CheckCoefficientLayout(lines, rows, clusters, File);
    if (OneLinePerCluster(lines, clusters)) {
        beta.assign(lines[0].size(), DBL_VCTR_1D(clusters, 0.0));
        for (size_t r = 0; r < clusters; ++r)
            for (size_t b = 0; b < lines[r].size(); ++b)
                beta[b][r] = lines[r][b];
        return;
    }
    DBL_VCTR_1D values;
    for (const DBL_VCTR_1D& line : lines)
        values.insert(values.end(), line.begin(), line.end());
    size_t next = 0;
    for (size_t r = 0; r < clusters; ++r)
        for (size_t b = 0; b < rows; ++b)
            beta[b][r] = values[next++];
}

void TroncateAndMult(DBL_VCTR_2D& Res, const DBL_VCTR_2D& A, const DBL_VCTR_2D& B) {
    if (A.empty() || A[0].empty() || B.empty() || B[0].empty()) {
        PrintMessage(" Uninitialized Matrix - TroncateAndMult");
        ExitProgram(1);
    }
    const size_t rowsA = A.size(), colsA = A[0].size(), rowsB = B.size(), colsB = B[0].size();
    if (colsA < rowsB) {
        PrintMessage(std::to_string(colsA) + " vs " + std::to_string(rowsB));
        PrintMessage(std::string(
            "TroncateAndMult: Matrices have inadequate dimensions to be multiplied, and A "
            "cannot be troncated to avoid the problem. Exiting..."));
        ExitProgram(1);
    }
    if (Res.empty()) {
        Res.assign(rowsA, DBL_VCTR_1D(colsB, 0.0));
    } else if (Res.size() != rowsA || Res[0].size() != colsB) {
        PrintMessage(std::string(
            "TroncateAndMult: Res matrix has inadequate dimensions to contain the result "
            "of the matrices multiplication. Exiting..."));
        ExitProgram(1);
    }
    for (size_t i = 0; i < rowsA; ++i)
        for (size_t k = 0; k < colsB; ++k) {
            double sum = 0.0;
            for (size_t t = 0; t < rowsB; ++t)
                sum += A[i][t] * B[t][k];
            Res[i][k] = sum;
        }
}

namespace {

// The design columns a run of this trend degree used: the linear predictor
// of each new individual for each coefficient column of the file.
DBL_VCTR_2D LinearPredictor(const std::string& betaFile, const DBL_VCTR_2D& Xtild, int B,
                            int clusters) {
    // -K sizes the coefficient matrix: checked against the file first.
    if (B > 0 && clusters > 0)
        CheckCoefficientLayout(ReadCoefficientLines(betaFile), B, clusters, betaFile);
    DBL_VCTR_2D beta(B > 0 ? B : 0, DBL_VCTR_1D(clusters > 0 ? clusters : 0, 0.0));
    LoadBeta(beta, betaFile);
    // Fewer coefficients than the options describe means the options are not
    // those of the estimating run; used anyway, a coefficient could meet the
    // wrong column (one more -X shifts the trend coefficients onto it).
    if (static_cast<int>(beta.size()) < B)
        RefuseInput("The coefficient file " + betaFile + " holds " + std::to_string(beta.size()) +
                    " coefficient(s) per cluster where -X, -XL and -T give " + std::to_string(B) +
                    " (use the options of the estimating run) - predict");
    DBL_VCTR_2D used(Xtild.size());
    for (size_t i = 0; i < Xtild.size(); ++i)
        used[i].assign(Xtild[i].begin(), Xtild[i].begin() + B);
    DBL_VCTR_2D Res;
    TroncateAndMult(Res, used, beta);
    return Res;
}

}  // namespace

bool predictNoAdm(const std::string& betaFile, DBL_VCTR_2D& Xtild, int K, int B,
                  DBL_VCTR_2D& nClusterIndiv, gsl_rng*& rng) {
    const DBL_VCTR_2D Res = LinearPredictor(betaFile, Xtild, B, K - 1);
    for (int pass = 0; pass < 10; ++pass)
        for (size_t i = 0; i < Res.size(); ++i) {
            int cls = K - 1;
            double max = 0.0;
            for (int k = 0; k < K - 1; ++k) {
                const double u = Res[i][k] + gsl_ran_ugaussian(rng);
                if (u > max) {
                    max = u;
                    cls = k;
                }
            }
            nClusterIndiv[i][cls] += 0.1;
        }
    return true;
}

bool predictAdm(const std::string& betaFile, DBL_VCTR_2D& Xtild, int K, int B,
                DBL_VCTR_2D& nClusterIndiv, gsl_rng*& rng) {
    const DBL_VCTR_2D Res = LinearPredictor(betaFile, Xtild, B, K);
    DBL_VCTR_1D alpha(K);
    for (size_t i = 0; i < Res.size(); ++i) {
        for (int k = 0; k < K; ++k)
            alpha[k] = std::exp(Res[i][k]);
        gsl_ran_dirichlet(rng, K, alpha.data(), nClusterIndiv[i].data());
    }
    return true;
}

bool predict(bool adm, const std::string& betaFile, DBL_VCTR_2D& Xtild, int K, int trendDegree,
             const std::string& outFile, bool plotPredBarplot, gsl_rng*& rng) {
    DBL_VCTR_2D nClusterIndiv(Xtild.size(), DBL_VCTR_1D(K, 0.0));
    const int nbXtildCol = Xtild.empty() ? 0 : static_cast<int>(Xtild[0].size());
    const int B = NumberOfCoefficients(nbXtildCol, trendDegree);
    const bool ok = adm ? predictAdm(betaFile, Xtild, K, B, nClusterIndiv, rng)
                        : predictNoAdm(betaFile, Xtild, K, B, nClusterIndiv, rng);
    if (!ok)
        return false;
    SaveToMyFileClumppFormat(nClusterIndiv, outFile + ".txt", true,
                             "Predicted Clustering Probabilities for Samples");
    if (plotPredBarplot)
        PlotAP(outFile + ".png", nClusterIndiv, "Predicted Assignement Probilities");
    return true;
}

void predictionFromCommandLine(int argc, char** argv) {
    SPredictOptions o;
    for (int i = 1; i < argc; ++i)
        ParsePredictOption(argv[i], o);
    CheckPredictOptions(o);
    const bool hasSpatialCoord = o.trendDegree != -1;

    gsl_rng_env_setup();
    gsl_rng* rng = nullptr;
    AllocRNG(rng, gsl_rng_default);

    const std::vector<std::set<int>> levelS = LoadQualitativeLevels(o, hasSpatialCoord);
    // One pass: -newN and the covariate counts are checked against the file
    // before they size the design matrix.
    DBL_VCTR_2D newDataXtild, newDataC;
    if (!LoadNewDataFile(o.newN, o.newER, o.newEC, o.nbQuantVar, hasSpatialCoord, levelS, o.newF,
                         newDataC, newDataXtild)) {
        FreeRNG(rng);  // the reader said what is wrong, in one line
        ExitProgram(1);
    }
    const int nbXtildCol =
        static_cast<int>(NewDesignColumns(levelS, o.nbQuantVar, hasSpatialCoord));
    // -K sizes the memberships and the coefficients: checked against the
    // coefficient file before either is given room.
    const int clusters = o.admixture ? o.K : o.K - 1;
    if (clusters > 0)
        CheckCoefficientLayout(ReadCoefficientLines(o.betaF),
                               NumberOfCoefficients(nbXtildCol, o.trendDegree), clusters, o.betaF);
    if (!predict(o.admixture, o.betaF, newDataXtild, o.K, o.trendDegree, o.outfile, o.bplot, rng)) {
        FreeRNG(rng);
        Refuse("Problem while prediction computation. Please verify command line options");
    }
    FreeRNG(rng);
}
