#include "brelo/BreloOptions.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "io/DataSet.h"
#include "plot/PlotUtilities.h"

namespace {

const char* const kUsage[] = {
    "\bTo use PREDICTION UTILITIES for NEW values of covariates, please run brelo -predict",
    "Here, we explain command-line usage for classical BRELO utilities.",
    "Options can be specified in any order.",
    "Typical Usages:",
    "     * No Validation and No Covariates:",
    "     brelo -FF -NN -AA -LL -KK -DD -SS -BB -T-1 -X0 -XL0",
    "",
    "     * No Validation and Covariates:",
    "     brelo -FF -NN -AA -LL -KK -DD -SS -BB -TT -XX -XLXL",
    "     * Split-Sample Validation:",
    "     brelo -FF -vv -NN -AA -LL -KK -DD -SS -BB -TT -XX -XLXL",
    "     * 2-fold Cross-Validation:",
    "     brelo -FF -vv -2fold -NN -AA -LL -KK -DD -SS -BB -TT -XX -XLXL",
    "",
    "Required Parameters:",
    "-FF: F = File Name of Input Data File",
    "         If file name contains spaces, input it as \"F\".",
    "-NN: N = Number of Individuals",
    "-AA: A = Ploidy (1 = Haploid, 2 = Diploid, ...)",
    "-LL: L = Number of Loci",
    "-KK: K = Number of Clusters",
    "-XLXL: XL = Number of Qualitative Covariates",
    "-XX: X = Number of Quantitative Covariates (other than spatial coordinates)",
    "-TT :    T = Degree of Trend",
    "             -1: NO Spatial Coord. in datafile F",
    "              0: Spatial Coord. NOT used",
    "             {1,2,3}: Degree 1, 2 or 3",
    "-DD: D = Parameter of Dirichlet Allele Frequency Model",
    "-SS: S = Total Number of Sweeps of MCMC",
    "-BB: B = Burn In Number of Sweeps of MCMC",
    "",
    "Optional Parameters:",
    "-rr:     r = Number of Extra Rows in Data File, Default: 0",
    "-cc:     c = Number of Extra Columns in Data File, Default: 0",
    "-ii:     i = Folder Name of Input Data File, Default: Current Folder",
    "             If folder name contains spaces, input it as \"i\".",
    "-oo:     o = Folder Name of Output Result Files, Default: Current Folder",
    "             If folder name contains spaces, input it as \"o\".",
    "-orunorun: orun = String to Append to Output Result Files Names, e.g. a Run Number",
    "-spsp: sp = SPecial data format: one individual = one row",
    "       sp = y, Yes",
    "       sp = n, No (Default)",
    "-gg -hh: Launch multiple runs for file F. Outfiles will be indexed from _RUNg to _RUNh",
    "-vv:     v = Partition File Name for Split-Sample Validation (no option -2fold) or "
    "Cross-Validation (option -2fold).",
    "             Should contained the Loci Index (or the Individuals Index) for the Training "
    "Data",
    "             Not compatible with sp format.",
    "Options:",
    "-2fold : Run with 2-fold cross-validation. A Partition File must be specified with the "
    "option -v.",
    "         Not compatible with sp format.",
    "-ref :   The 1st non-extra column of datafile F indicates Individuals to assigned to the "
    "Reference Cluster",
    "         (value 1 for ref. indiv., 0 for others)",
    "-jk :    Start from the k-means clusters of the individuals' allele counts",
    "         (best of 10 runs; with -ref, reference individuals start in cluster K)",
    "-zg :    Draw each label from its full conditional over the K clusters in structure sweeps",
    "         (Gibbs step, instead of a Metropolis step with a uniform proposal)",
    "-ww :    w = Files of every chart: png, pdf, png,pdf or none, Default: png,pdf",
    "         (a PNG image at 192 dpi and its PDF twin, text kept as text)",
};

[[noreturn]] void UsageAndExit() {
    ShowUsage();
    ExitProgram(1);
}

// -spy/-spn, -rcy/-rcn: the fourth character is the answer.
bool ReadYesNo(const char* arg) {
    if (strlen(arg) < 4 || (arg[3] != 'y' && arg[3] != 'n'))
        RefuseUnknownOption(arg);
    return arg[3] == 'y';
}

void ParseROption(const char* arg, SBreloOptions& opts) {
    if (arg[2] == 'e') {
        if (arg[3] != 'f')
            RefuseUnknownOption(arg);
        opts.bbase = true;
    } else if (arg[2] == 'c') {
        opts.isRecAllele = ReadYesNo(arg);
    } else {
        opts.ER = ReadIntOption(arg, 2);
    }
}

void ParseOneOption(const char* arg, SBreloOptions& opts) {
    if (arg[0] != '-')
        RefuseUnknownOption(arg);
    if (ParseInputOption(arg, opts.input))
        return;
    const char* value = arg + 2;
    switch (arg[1]) {
        case 'F':
            opts.F = value;
            opts.bF = true;
            break;
        case 'N':
            opts.N = ReadIntOption(arg, 2);
            opts.bN = true;
            break;
        case 'A':
            opts.A = ReadIntOption(arg, 2);
            opts.bA = true;
            break;
        case 'L':
            opts.L = ReadIntOption(arg, 2);
            opts.bL = true;
            break;
        case 'K':
            opts.K = ReadIntOption(arg, 2);
            opts.bK = true;
            break;
        case 'D':
            opts.lambda = ReadDoubleOption(arg, 2);
            opts.bD = true;
            break;
        case 'S':
            opts.TotalSweep = ReadIntOption(arg, 2);
            opts.bS = true;
            break;
        case 'B':
            if (arg[2] == 'S') {
                opts.BurnInStructure = ReadIntOption(arg, 3);
                opts.bBurnInStructure = true;
            } else {
                opts.BurnIn = ReadIntOption(arg, 2);
                opts.bB = true;
            }
            break;
        case 'T':
            opts.trendDegree = ReadIntOption(arg, 2);
            opts.bT = true;
            break;
        case 'X':
            if (arg[2] == 'L')
                opts.nbQualVar = ReadIntOption(arg, 3);
            else
                opts.nbQuantVar = ReadIntOption(arg, 2);
            break;
        case 'r':
            ParseROption(arg, opts);
            break;
        case 'c':
            opts.EC = ReadIntOption(arg, 2);
            break;
        case 'i':
            opts.FoI = value;
            break;
        case 'o':
            if (IsRunLabelOption(arg)) {
                opts.run = arg + 5;
                opts.bRun = true;
            } else {
                opts.FoO = value;
            }
            break;
        case 's':
            if (arg[2] != 'p')
                RefuseUnknownOption(arg);
            opts.specialFormat = ReadYesNo(arg);
            break;
        case 'n':
            opts.nb_var_regr = ReadIntOption(arg, 2);
            break;
        case 'd':
            opts.nd = ReadIntOption(arg, 2);
            break;
        case 'j':
            if (arg[2] != 'k')
                RefuseUnknownOption(arg);
            opts.kmeansStart = true;
            break;
        case 'z':
            if (arg[2] != 'g')
                RefuseUnknownOption(arg);
            opts.gibbsLabels = true;
            break;
        case 'w':
            SetFigureFormatsOption(value);
            break;
        case '2':
        case 'g':
        case 'h':
        case 'v':
            break;  // options of the run driver
        default:
            RefuseUnknownOption(arg);
    }
}

}  // namespace

void ShowUsage() {
    for (const char* line : kUsage)
        std::cout << line << "\n";
    std::cout << std::flush;
    ShowInputFormatUsage();
}

void RefuseUnknownOption(const char* arg) {
    std::cout << "Unknown Option - " << arg << std::endl;
    UsageAndExit();
}

void ParseBreloOptions(int argc, char** argv, SBreloOptions& opts, const SGenotypeCounts* known) {
    if (argc < 9 && !NamesInputFormat(argc, argv))
        UsageAndExit();
    for (int i = 1; i < argc; ++i)
        ParseOneOption(argv[i], opts);
    const std::string path = MakeInputPath(opts.FoI, opts.F);
    if (opts.bF && known && opts.input.HasFormat())
        TakeCounts(*known, path, {opts.N, opts.bN}, {opts.A, opts.bA}, {opts.L, opts.bL});
    else if (opts.bF)
        TakeCountsFromFile(opts.input, path, {opts.N, opts.bN}, {opts.A, opts.bA},
                           {opts.L, opts.bL});
    if (!(opts.bF && opts.bN && opts.bA && opts.bL && opts.bK && opts.bD && opts.bS && opts.bB &&
          opts.bT))
        UsageAndExit();
    if (opts.isRecAllele && opts.A != 2)
        RefuseInput("Dominant markers allowed for diploid individuals only ...");
    if (opts.trendDegree < -1 || opts.trendDegree > 3) {
        std::cout << "The trend degree must be in {-1,0,1,2,3}." << std::endl;
        std::cout << "(value -1 if the datafile do NOT contained spatial coordinates)" << std::endl;
        UsageAndExit();
    }
    CheckBreloCounts(opts);
}

void CheckBreloCounts(const SBreloOptions& opts) {
    if (opts.F.empty())
        RefuseInput("The data file name (-F) is empty.");
    CheckDataLayout(MakeDataLayout(opts, opts.F));
    if (opts.BurnInStructure < 0)
        RefuseInput("The structure burn-in (-BS) must not be negative.");
    CheckChainSettings(opts.K, opts.lambda, opts.TotalSweep, opts.BurnIn, opts.BurnInStructure);
    CheckKMeansStart(opts.kmeansStart, opts.K);
    CheckClusterCount(opts.K, MakeDataLayout(opts, opts.F), false);
    if (opts.nb_var_regr < 0 || opts.nb_var_regr > 2)
        RefuseInput("Number of variables in the regression must be in {0,1,2}");
}
