#include "breloAdm/BreloAdmOptions.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "core/CopyLabels.h"
#include "core/Messages.h"
#include "core/MiscUtilities.h"
#include "core/OptionNames.h"
#include "core/ProgramExit.h"
#include "io/DataSet.h"
#include "io/RasterFiles.h"
#include "plot/PlotUtilities.h"

namespace {

const char* const USAGE_LINES[] = {
    "Typical Usage: breloAdm -F<file> -N<n> -A<ploidy> -L<loci> -K<k> -X<n> -XL<n> -T<degree> "
    "-P<psi> -D<lambda> -S<sweeps> -B<burn-in>",
    "Options can be specified in any order; each is one word, the value glued to its name",
    "(-K3, -Fdata.txt, -P0.6).",
    "",
    "Required Options:",
    "-F<file>:     File Name of Input Data File",
    "              For file name contains spaces, input it as \"-F<file>\".",
    "-N<n>:        Number of Individuals",
    "-A<ploidy>:   Ploidy (1 = Haploid, 2 = Diploid, ...)",
    "-L<loci>:     Number of Loci",
    "-K<k>:        Number of Clusters",
    "-XL<n>:       Number of Qualitative Covariates, Default: 0",
    "-X<n>:        Number of Quantitative Covariates (other than spatial coordinates), Default: 0",
    "-T<degree>:   Degree of Trend",
    "              0: Spatial Coord. NOT used",
    "              {1,2,3}: Degree 1, 2 or 3",
    "-P<psi>:      SPatial interaction parameter (below 1)",
    "-D<lambda>:   Parameter of Dirichlet Allele Frequency Model (no F-model)",
    "-S<sweeps>:   Total Number of Sweeps of MCMC",
    "-B<burn-in>:  Burn In Number of Sweeps of MCMC",
    "",
    "Optional Options:",
    "-r<n>:        Number of Extra Rows in Data File, Default: 0",
    "-c<n>:        Number of Extra Columns in Data File, Default: 0",
    "-i<folder>:   Folder Name of Input Data File, Default: Current Folder",
    "              For folder name contains spaces, input it as \"-i<folder>\".",
    "-o<folder>:   Folder Name of Output Result Files, Default: Current Folder",
    "              For folder name contains spaces, input it as \"-o<folder>\".",
    "-orun<label>: String to Append to Output Result Files Names, e.g. a Run Number",
    "-p<file>:     Configuration File for Continue from Highest Likelihood Run, Default: NULL",
    "              For file name contains spaces, input it as \"-p<file>\".",
    "-d<n>:        Number of dummy individuals, Default: 0",
    "-u<y|n>:      Update sigma?",
    "              y, Yes (Default)",
    "              n, No",
    "-up<y|n>:     Update Psi?",
    "              y, Yes",
    "              n, No (Default)",
    "-x<variance>: Variance of CAR, Default: 10.0",
    "-m<file>:     Name of file containing map (any raster GDAL reads, e.g. GeoTIFF or ESRI "
    "ASCII grid) to predict admixture coefficients on (optional)",
    "              For file name contains spaces, input it as \"-m<file>\".",
    "-n<n>:        number of coordinates to use in regression. Default: 2.",
    "              If n = 1, the second coordinate is used. n=0 dis the same as T=0",
    "-s<y|n>:      Shuffle update order for MCMC?",
    "              y, Yes",
    "              n, No (Default)",
    "-j<y|n>:      Init the run with Neighbor Joining tree",
    "              y, Yes",
    "              n, No (Default)",
    "-jk:          Init the run with the k-means clusters of the allele counts",
    "-g<file>:     Name of file containing Geographic distances between individuals (optional)",
    "              For file name contains spaces, input it as \"-g<file>\".",
    "-v<file>:     The tessellation file (VC) an earlier run wrote for these sites, read",
    "              instead of computing the tessellation again",
    "-rc<y|n>:     Recessive Allele(s) in the data?",
    "              y, Yes",
    "              n, No (Default)",
    "-sc<scale>:   scale parameter for geographic distances. User predefined value or enter one. "
    "Ignored if no geographic distance file is given.",
    "              m, Mean distance between individuals (default)",
    "              d, meDian distance between individuals",
    "              x, maX distance between individuals",
    "              a number, the value of the scale parameter (e.g. -sc10.4)",
    "-sp<y|n>:     SPecial data format: one individual = one row",
    "              y, Yes",
    "              n, No (Default)",
    "-bs<n>:       Burn-In Structure, Default: 0",
    "-ref:         The 1st non-extra column of datafile F indicates Individuals to assigned to",
    "              the Reference Cluster (value 1 for ref. indiv., 0 for others)",
    "-qdraw:       with -m, each cell gets one random draw of the admixture proportions",
    "              (a simulated map) instead of their expected values",
    "-sg<shape,scale>: shape,scale of the inverse-gamma prior of the CAR variance, Default: 1,2",
    "-bg<tau>:     scale tau of the Gaussian prior of the regression coefficients,",
    "              N(0, tau^2 N (X'X)^-1), under which each trend term varies over the sites",
    "              by about tau; Default: 1. -bg0: the flat prior, under which the common",
    "              level of the fields is not identified (the posterior is improper)",
    "-joint1 -joint0: the route of the sampler (same posterior), Default: -joint1",
    "              -joint1: the field and the copy labels with the admixture proportions",
    "              integrated out, and moves of whole fields: each trend shifted with its",
    "              field, the level and the trend of all clusters together, each residual",
    "              field scaled with its variance (mixes far better)",
    "              -joint0: the single-site route (proportions drawn, then the field and",
    "              the labels given them)",
    "-qmove1 -qmove0: the move of each individual's admixture proportions with its",
    "              copies' labels drawn again together (same posterior; on SNP data the",
    "              labels alone hold the proportions where they start), Default: -qmove1",
    "-anc1 -anc0:  the model of the clusters' allele frequencies, Default: -anc1",
    "              -anc1: correlated, each cluster's frequencies drawn around ancestral",
    "              frequencies (Dirichlet(-D) prior) with a drift of its own (Beta(1,9) prior);",
    "              a mend: under -anc0 the proportions of weakly differentiated SNP data",
    "              are shrunk towards 1/K",
    "              -anc0: independent Dirichlet(-D) frequencies of each cluster (the",
    "              original model)",
    "-rx<n>:       Run n replicas of the chain with replica exchange (Default: 1, a plain",
    "              chain): replica j samples the posterior with the genotype likelihood",
    "              raised to a power below 1 (1 for the first, the one reported), and",
    "              neighbours swap their states after every sweep; the ladder of powers",
    "              adapts in the burn-in; swap rates in the diagnostics and run.txt",
    "-t<n>:        Run the replicas, and the draws of each sweep (in blocks of loci and",
    "              of individuals), on n threads (Default: 1; 0: all cores); a seed gives",
    "              the same results whatever the number of threads",
    "-crs<EPSG:code>: reference system of the predicted GeoTIFF (with -m), e.g.",
    "              -crsEPSG:4326 or -crs EPSG:4326; Default: the map's own, or none",
    "-auxout:      The tessellation files (VD.png, ND.png, VC) and the best-run record and",
    "              continuation file in the output folder, not beside the data file",
    "              (they go there anyway when the data folder cannot be written)",
    "-tessonly:    Stop once the tessellation and its files are written",
    "-w<formats>:  Files of every chart: png, pdf, png,pdf or none, Default: png,pdf",
    "              (a PNG image at 192 dpi and its PDF twin, text kept as text)",
    "--help:       this text",
    "--version:    the version of the program",
};

// Every line of the usage, the input formats' included.
std::vector<std::string> UsageLines() {
    return WithInputFormatUsage({std::begin(USAGE_LINES), std::end(USAGE_LINES)});
}

[[noreturn]] void ExitWithUsage() {
    ShowUsage();
    ExitProgram(1);
}

[[noreturn]] void RefuseOption(const std::string& arg) {
    RefuseUnknownOption(arg, UsageLines(), "breloAdm");
}

// A switch is its name alone: -jointly or -qdraws is not -joint or -qdraw.
void ExpectExactly(const std::string& arg, const char* name) {
    if (arg != name)
        RefuseOption(arg);
}

// Which of the required options were given.
struct SRequired {
    bool F = false, N = false, A = false, L = false, K = false;
    bool T = false, P = false, D = false, S = false, B = false;
    bool All() const { return F && N && A && L && K && T && P && D && S && B; }
};

// The character at position i of arg, '\0' past its end.
char At(const std::string& arg, size_t i) {
    return i < arg.size() ? arg[i] : '\0';
}

// The text of arg from position i on ("" past its end).
std::string From(const std::string& arg, size_t i) {
    return i < arg.size() ? arg.substr(i) : std::string();
}

int IntFrom(const std::string& arg, size_t i) {
    return ReadIntOption(arg.c_str(), i);
}

double DoubleFrom(const std::string& arg, size_t i) {
    return ReadDoubleOption(arg.c_str(), i);
}

// y / n answers of the switches, the last character of the option; anything
// else is an unknown option.
bool YesNo(const std::string& arg, size_t i) {
    if (arg.size() != i + 1)
        RefuseOption(arg);
    char c = At(arg, i);
    if (c == 'y')
        return true;
    if (c == 'n')
        return false;
    RefuseOption(arg);
}

void ParseR(const std::string& arg, SAdmOptions& opt) {
    if (At(arg, 2) == 'e') {
        ExpectExactly(arg, "-ref");
        opt.bbase = true;
    } else if (At(arg, 2) == 'c') {
        opt.isRecAllele = YesNo(arg, 3);
    } else if (At(arg, 2) == 'x') {
        opt.replicas = IntFrom(arg, 3);
    } else {
        opt.ER = IntFrom(arg, 2);
    }
}

// "-sg<shape>,<scale>": both must read as whole numbers (checked later).
void ParseSigmaPrior(const std::string& text, SAdmOptions& opt) {
    const size_t comma = text.find(',');
    const double nan = std::nan("");
    opt.sigmaShape = nan;
    opt.sigmaScale = nan;
    if (comma == std::string::npos)
        return;
    const std::string shape = text.substr(0, comma), scale = text.substr(comma + 1);
    char* end = nullptr;
    const double a = std::strtod(shape.c_str(), &end);
    if (shape.empty() || *end != '\0')
        return;
    const double b = std::strtod(scale.c_str(), &end);
    if (scale.empty() || *end != '\0')
        return;
    opt.sigmaShape = a;
    opt.sigmaScale = b;
}

// "-bg<tau>": a number (checked later); NaN otherwise.
void ParseCoefficientPrior(const std::string& text, SAdmOptions& opt) {
    char* end = nullptr;
    const double tau = std::strtod(text.c_str(), &end);
    opt.coefScale = text.empty() || *end != '\0' ? std::nan("") : tau;
}

void ParseB(const std::string& arg, SAdmOptions& opt) {
    if (At(arg, 2) == 's')
        opt.burnStruct = IntFrom(arg, 3);
    else if (At(arg, 2) == 'g')
        ParseCoefficientPrior(From(arg, 3), opt);
    else
        RefuseOption(arg);
}

void ParseS(const std::string& arg, SAdmOptions& opt) {
    if (At(arg, 2) == 'g') {
        ParseSigmaPrior(From(arg, 3), opt);
    } else if (At(arg, 2) == 'c') {
        char c = At(arg, 3);
        if (c == 'm' || c == 'd' || c == 'x') {
            opt.scOpt = std::string(1, c);
        } else {
            opt.theta = DoubleFrom(arg, 3);
            opt.scSpecified = true;
        }
    } else if (At(arg, 2) == 'p') {
        opt.specialFormat = YesNo(arg, 3);
    } else {
        opt.shuffle = YesNo(arg, 2);
    }
}

void ParseU(const std::string& arg, SAdmOptions& opt) {
    if (At(arg, 2) == 'p')
        opt.updatePsi = YesNo(arg, 3);
    else
        opt.updateSigma = YesNo(arg, 2);
}

void ParseO(const std::string& arg, SAdmOptions& opt) {
    if (IsRunLabelOption(arg))
        opt.run = From(arg, 5);
    else
        opt.FoO = From(arg, 2);
}

// Options of whole words, matched as they are before the letters.
bool ParseWord(const std::string& arg, SAdmOptions& opt) {
    if (arg == "-auxout")
        opt.auxInOutput = true;
    else if (arg == "-tessonly")
        opt.tessellationOnly = true;
    else if (arg == "-anc1" || arg == "-anc0")
        opt.ancestralFrequencies = arg.back() == '1';
    else
        return false;
    return true;
}

void ParseOne(const std::string& arg, SAdmOptions& opt, SRequired& given) {
    if (ParseInputOption(arg.c_str(), opt.input) || ParseWord(arg, opt))
        return;
    switch (At(arg, 1)) {
        case 'F':
            opt.F = From(arg, 2);
            given.F = true;
            break;
        case 'N':
            opt.N = IntFrom(arg, 2);
            given.N = true;
            break;
        case 'A':
            opt.A = IntFrom(arg, 2);
            given.A = true;
            break;
        case 'L':
            opt.L = IntFrom(arg, 2);
            given.L = true;
            break;
        case 'K':
            opt.K = IntFrom(arg, 2);
            given.K = true;
            break;
        case 'T':
            opt.trendDegree = IntFrom(arg, 2);
            given.T = true;
            break;
        case 'P':
            opt.psiUser = DoubleFrom(arg, 2);
            given.P = true;
            break;
        case 'D':
            opt.lambda = DoubleFrom(arg, 2);
            given.D = true;
            break;
        case 'S':
            opt.TotalSweep = IntFrom(arg, 2);
            given.S = true;
            break;
        case 'B':
            opt.BurnIn = IntFrom(arg, 2);
            given.B = true;
            break;
        case 'X':
            if (At(arg, 2) == 'L')
                opt.nbQualVar = IntFrom(arg, 3);
            else
                opt.nbQuantVar = IntFrom(arg, 2);
            opt.covariatesGiven = true;
            break;
        case 'r':
            ParseR(arg, opt);
            break;
        case 'c':
            // -crs is no -c count: a count is a whole number.
            if (arg.compare(0, 4, "-crs") == 0) {
                opt.crs = From(arg, 4);
                opt.crsGiven = true;
            } else {
                opt.EC = IntFrom(arg, 2);
            }
            break;
        case 'd':
            opt.nd = IntFrom(arg, 2);
            break;
        case 'g':
            opt.geoFile = From(arg, 2);
            break;
        case 'i':
            opt.FoI = From(arg, 2);
            break;
        case 'm':
            opt.mapFile = From(arg, 2);
            break;
        case 'p':
            opt.CF = From(arg, 2);
            break;
        case 'v':
            opt.Voronoi = From(arg, 2);
            break;
        case 'o':
            ParseO(arg, opt);
            break;
        case 'j':
            if (arg == "-joint" || arg == "-joint1")
                opt.jointMoves = true;
            else if (arg == "-joint0")
                opt.jointMoves = false;
            else if (arg == "-jk")
                opt.kmeansStart = true;
            else
                opt.nj = YesNo(arg, 2);
            break;
        case 'n':
            opt.nb_var_regr = IntFrom(arg, 2);
            break;
        case 's':
            ParseS(arg, opt);
            break;
        case 'u':
            ParseU(arg, opt);
            break;
        case 'x':
            opt.sigmaQ = DoubleFrom(arg, 2);
            break;
        case 'b':
            ParseB(arg, opt);
            break;
        case 'q':
            if (arg == "-qmove1" || arg == "-qmove0") {
                opt.proportionMoves = arg.back() == '1';
                break;
            }
            ExpectExactly(arg, "-qdraw");
            opt.drawMap = true;
            break;
        case 't':
            opt.threads = IntFrom(arg, 2);
            break;
        case 'w':
            SetFigureFormatsOption(From(arg, 2));
            break;
        default:
            RefuseOption(arg);
    }
}

// The checks of the model settings, in the order the program has always
// made them.
void CheckModelSettings(const SAdmOptions& opt) {
    if (opt.isRecAllele && opt.A != 2)
        RefuseInput("Dominant markers allowed for diploid individuals only ...");
    // A value that is not a finite number would poison every matrix.
    if (!std::isfinite(opt.psiUser) || opt.psiUser >= 1.0)
        RefuseInput("The spatial interaction parameter must be stricly inferior to 1.");
    if (opt.trendDegree < 0 || opt.trendDegree > 3)
        RefuseInput("The trend degree must be in {0,1,2,3}.");
}

void CheckRegressionVariables(const SAdmOptions& opt) {
    if (opt.nb_var_regr < 0 || opt.nb_var_regr > 2)
        RefuseInput("Number of variables in the regression must be in {0,1,2}");
}

// Counts that make no sense would size arrays negatively, leave no sweep to
// average or divide by zero later; they are refused before any work.
void CheckCounts(const SAdmOptions& opt) {
    CheckDataLayout(MakeDataLayout(opt, opt.F));
    // The prior needs one pair of neighbours, so two sites at least.
    if (opt.N < 2)
        RefuseInput("The spatial model needs at least 2 individuals (-N).");
    CheckChainSettings(opt.K, opt.lambda, opt.TotalSweep, opt.BurnIn, 0);
    CheckClusterCount(opt.K, MakeDataLayout(opt, opt.F), true);
    if (opt.K > CCopyLabels::kMaxClusters)
        RefuseInput(
            "breloAdm keeps the cluster of each allele copy in one byte: -K must be at most " +
            std::to_string(CCopyLabels::kMaxClusters) + ".");
    if (!(opt.sigmaQ > 0.0) || !std::isfinite(opt.sigmaQ))
        RefuseInput("The variance of the CAR field (-x) must be a positive number.");
    if (opt.nj && opt.kmeansStart)
        RefuseInput("Options -jy and -jk both choose the starting labels: give only one.");
    const bool positive = opt.sigmaShape > 0.0 && opt.sigmaScale > 0.0;
    if (!positive || !std::isfinite(opt.sigmaShape) || !std::isfinite(opt.sigmaScale))
        RefuseInput(
            "The prior of the CAR variance (-sg) needs a positive shape and scale, "
            "e.g. -sg1,2.");
    if (!(opt.coefScale >= 0.0) || !std::isfinite(opt.coefScale))
        RefuseInput(
            "The scale of the coefficients' prior (-bg) must be a number >= 0 (0: the flat "
            "prior).");
    if (opt.nj && opt.K < 2)
        RefuseInput("The hierarchical initialisation (-jy) needs at least 2 clusters (-K).");
    CheckKMeansStart(opt.kmeansStart, opt.K);
    CheckReplicaSettings(opt.replicas, opt.threads);
    if (opt.scSpecified && !opt.geoFile.empty() && !(opt.theta > 0.0 && std::isfinite(opt.theta)))
        RefuseInput("The distance scale (-sc) must be a positive number.");
}

// The map predictor projects the trend terms 1, x, y, x2, y2, xy, ...; a
// trend on the second coordinate alone would be projected onto the wrong
// terms.
void CheckMapPrediction(const SAdmOptions& opt) {
    if (opt.mapFile.empty() || opt.covariatesGiven)
        return;
    if (opt.nb_var_regr == 1 && opt.trendDegree >= 1)
        RefuseInput(
            "Map prediction (-m) needs a trend on both coordinates: "
            "it cannot be used with -n1.");
}

// The code of -crs is checked before the run, and kept as WKT.
void CheckReferenceSystem(SAdmOptions& opt) {
    if (!opt.crsGiven)
        return;
    std::string error;
    if (!ReferenceSystemFromEpsg(opt.crs, opt.crsWkt, error))
        RefuseInput("Option -crs: " + error);
}

// The folder part of a path or prefix ("." when there is none).
std::string FolderOf(const std::string& prefix) {
    const size_t slash = prefix.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : prefix.substr(0, slash);
}

bool WritableFolder(const std::string& folder) {
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           access(folder.c_str(), W_OK) == 0;
}

// The result files are written only after the whole chain: a folder that
// cannot take them is refused before the work rather than after it.
void CheckOutputFolder(const SAdmOptions& opt) {
    const std::string folder = FolderOf(opt.FOFN);
    if (!WritableFolder(folder))
        RefuseInput("Cannot write the result files in folder " + folder + " - ParseAdmOptions");
}

// The tessellation and best-run files go beside the data file, unless
// -auxout puts them in the output folder or the data folder cannot take
// them (a read-only share, another user's folder).
void PlaceTessellationAndBestRunFiles(SAdmOptions& opt) {
    opt.FAFN = opt.FIFN;
    const std::string output = MakeOutputPrefix(opt.FoO, opt.F, "");
    if (opt.auxInOutput) {
        opt.FAFN = output;
    } else if (!WritableFolder(FolderOf(opt.FIFN))) {
        opt.FAFN = output;
        std::cout << "The data folder " << FolderOf(opt.FIFN)
                  << " cannot be written: the tessellation and best-run files go to "
                  << FolderOf(output) << "." << std::endl;
    }
}

// The flat prior of the coefficients is kept on request; the user is told,
// once, what it means for the run.
void NoteImproperPrior(const SAdmOptions& opt) {
    if (opt.coefScale == 0.0)
        PrintMessage(
            "Note: -bg0 puts the flat prior on the coefficients; the common level of "
            "the fields then has no proper posterior, and the chain has none to target.");
}

void DeriveNames(SAdmOptions& opt) {
    opt.FIFN = MakeInputPath(opt.FoI, opt.F);
    opt.FOFN = MakeOutputPrefix(opt.FoO, opt.F, opt.run);
    if (!opt.run.empty())
        std::cout << "RUN= " << opt.run << std::endl;
    opt.NumOfDigits = NumOfDigits(opt.TotalSweep);
}

}  // namespace

void ShowUsage() {
    for (const std::string& line : UsageLines())
        std::cout << line << "\n";
    std::cout << std::flush;
}

void ParseAdmOptions(int argc, const char* const* argv, SAdmOptions& opt) {
    if (argc == 1)
        ExitWithUsage();
    SRequired given;
    for (int i = 1; i < argc; ++i) {
        // -crs also takes its code as the next word: -crs EPSG:4326.
        if (std::string(argv[i]) == "-crs" && i + 1 < argc &&
            std::string(argv[i + 1]).rfind("EPSG:", 0) == 0) {
            ParseOne(std::string("-crs") + argv[++i], opt, given);
            continue;
        }
        ParseOne(argv[i], opt, given);
    }
    if (given.F)
        TakeCountsFromFile(opt.input, MakeInputPath(opt.FoI, opt.F), {opt.N, given.N},
                           {opt.A, given.A}, {opt.L, given.L});
    const std::string missing = MissingOptionsLine({{"-F<file>", given.F},
                                                    {"-N<n>", given.N},
                                                    {"-A<ploidy>", given.A},
                                                    {"-L<loci>", given.L},
                                                    {"-K<k>", given.K},
                                                    {"-T<degree>", given.T},
                                                    {"-P<psi>", given.P},
                                                    {"-D<lambda>", given.D},
                                                    {"-S<sweeps>", given.S},
                                                    {"-B<burn-in>", given.B}},
                                                   "breloAdm");
    if (!missing.empty())
        RefuseInput(missing);
    CheckModelSettings(opt);
    DeriveNames(opt);
    CheckRegressionVariables(opt);
    CheckCounts(opt);
    CheckMapPrediction(opt);
    CheckReferenceSystem(opt);
    CheckOutputFolder(opt);
    PlaceTessellationAndBestRunFiles(opt);
    NoteImproperPrior(opt);
    // The k-means start is the clustering start with other clusters.
    opt.nj = opt.nj || opt.kmeansStart;
}
