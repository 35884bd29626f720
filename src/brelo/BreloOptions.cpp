#include "brelo/BreloOptions.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "core/MiscUtilities.h"
#include "core/OptionNames.h"
#include "core/ProgramExit.h"
#include "io/DataSet.h"
#include "plot/PlotUtilities.h"

namespace {

const char* const kUsage[] = {
    "\bTo use PREDICTION UTILITIES for NEW values of covariates, please run brelo -predict",
    "Here, we explain command-line usage for classical BRELO utilities.",
    "Options can be specified in any order; each is one word, the value glued to its name",
    "(-K3, -Fdata.txt, -T-1).",
    "Typical Usages:",
    "     * No Validation and No Covariates:",
    "     brelo -F<file> -N<n> -A<ploidy> -L<loci> -K<k> -D<lambda> -S<sweeps> -B<burn-in> -T-1 "
    "-X0 -XL0",
    "",
    "     * No Validation and Covariates:",
    "     brelo -F<file> -N<n> -A<ploidy> -L<loci> -K<k> -D<lambda> -S<sweeps> -B<burn-in> "
    "-T<degree> -X<n> -XL<n>",
    "     * Split-Sample Validation:",
    "     brelo -F<file> -v<partition> -N<n> -A<ploidy> -L<loci> -K<k> -D<lambda> -S<sweeps> "
    "-B<burn-in> -T<degree> -X<n> -XL<n>",
    "     * 2-fold Cross-Validation:",
    "     brelo -F<file> -v<partition> -2fold -N<n> -A<ploidy> -L<loci> -K<k> -D<lambda> "
    "-S<sweeps> -B<burn-in> -T<degree> -X<n> -XL<n>",
    "",
    "Required Parameters:",
    "-F<file>:     File Name of Input Data File",
    "              If file name contains spaces, input it as \"-F<file>\".",
    "-N<n>:        Number of Individuals",
    "-A<ploidy>:   Ploidy (1 = Haploid, 2 = Diploid, ...)",
    "-L<loci>:     Number of Loci",
    "-K<k>:        Number of Clusters (at most N)",
    "-XL<n>:       Number of Qualitative Covariates, Default: 0",
    "-X<n>:        Number of Quantitative Covariates (other than spatial coordinates), Default: 0",
    "-T<degree>:   Degree of Trend",
    "              -1: NO Spatial Coord. in datafile F",
    "               0: Spatial Coord. NOT used",
    "              {1,2,3}: Degree 1, 2 or 3",
    "-D<lambda>:   Parameter of Dirichlet Allele Frequency Model",
    "-S<sweeps>:   Total Number of Sweeps of MCMC",
    "-B<burn-in>:  Burn In Number of Sweeps of MCMC",
    "",
    "Optional Parameters:",
    "-r<n>:        Number of Extra Rows in Data File, Default: 0",
    "-c<n>:        Number of Extra Columns in Data File, Default: 0",
    "-i<folder>:   Folder Name of Input Data File, Default: Current Folder",
    "              If folder name contains spaces, input it as \"-i<folder>\".",
    "-o<folder>:   Folder Name of Output Result Files, Default: Current Folder",
    "              If folder name contains spaces, input it as \"-o<folder>\".",
    "-orun<label>: String to Append to Output Result Files Names, e.g. a Run Number",
    "-sp<y|n>:     SPecial data format: one individual = one row",
    "              y, Yes",
    "              n, No (Default)",
    "-rc<y|n>:     Recessive allele(s): the data file starts with a line of L recessive",
    "              allele codes (diploids only); Default: n",
    "-d<n>:        Number of dummy records after the N individuals (only their coordinates",
    "              are read), Default: 0",
    "-n<n>:        Coordinates used in the trend: 2 (x and y, Default), 1 (the second), 0 none",
    "-BS<n>:       Burn-in sweeps spent on the genetic structure only, Default: 5 % of the",
    "              burn-in, at most 50",
    "-g<first> -h<last>: Launch multiple runs for file F. Outfiles will be indexed from",
    "              _RUN<first>_ to _RUN<last>_",
    "-v<partition>: Partition File Name for Split-Sample Validation (no option -2fold) or "
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
    "         (Gibbs step, instead of a Metropolis step with a uniform proposal), and",
    "         before them propose a new split of two clusters' individuals, accepted",
    "         by the Metropolis-Hastings rule (moves a chain between modes of labels)",
    "-zr<n>:  Proposals of a new split of two clusters per structure sweep",
    "         (Default: (K-1)/2 with -zg, 0 without; -zr0 turns them off)",
    "-rx<n>:  Run n replicas of the chain with replica exchange (Default: 1, a plain chain);",
    "         replica j targets the posterior with the genotype likelihood raised to a",
    "         power below 1, neighbours swap states after every sweep, and only the",
    "         replica at power 1 is reported (the result files are those of a plain run)",
    "-t<n>:   Run the replicas, and the blocks of loci of each sweep on two-bit (SNP)",
    "         genotypes, on n threads (Default: 1; 0: all cores); a seed gives the same",
    "         results whatever the number of threads",
    "-w<formats>: Files of every chart: png, pdf, png,pdf or none, Default: png,pdf",
    "         (a PNG image at 192 dpi and its PDF twin, text kept as text)",
    "--help :    this text",
    "--version : the version of the program",
};

// Every line of the usage, the input formats' included.
std::vector<std::string> UsageLines() {
    return WithInputFormatUsage({std::begin(kUsage), std::end(kUsage)});
}

// -spy/-spn, -rcy/-rcn: the fourth and last character is the answer.
bool ReadYesNo(const char* arg) {
    if (strlen(arg) != 4 || (arg[3] != 'y' && arg[3] != 'n'))
        RefuseUnknownOption(arg);
    return arg[3] == 'y';
}

// A switch is its name alone: -refine or -jkx is not -ref or -jk.
void ExpectExactly(const char* arg, const char* name) {
    if (strcmp(arg, name) != 0)
        RefuseUnknownOption(arg);
}

void ParseROption(const char* arg, SBreloOptions& opts) {
    if (arg[2] == 'e') {
        ExpectExactly(arg, "-ref");
        opts.bbase = true;
    } else if (arg[2] == 'c') {
        opts.isRecAllele = ReadYesNo(arg);
    } else if (arg[2] == 'x') {
        opts.replicas = ReadIntOption(arg, 3);
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
            ExpectExactly(arg, "-jk");
            opts.kmeansStart = true;
            break;
        case 'z':
            if (arg[2] == 'r') {
                opts.reallocations = ReadIntOption(arg, 3);
                if (opts.reallocations < 0 || opts.reallocations > kMaxReallocations)
                    RefuseInput(
                        "The number of reallocations per sweep (-zr) must be between 0 "
                        "and " +
                        std::to_string(kMaxReallocations) + ".");
                break;
            }
            ExpectExactly(arg, "-zg");
            opts.gibbsLabels = true;
            break;
        case 'w':
            SetFigureFormatsOption(value);
            break;
        case 't':
            opts.threads = ReadIntOption(arg, 2);
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
    for (const std::string& line : UsageLines())
        std::cout << line << "\n";
    std::cout << std::flush;
}

void RefuseUnknownOption(const char* arg) {
    RefuseUnknownOption(arg, UsageLines(), "brelo");
}

void ParseBreloOptions(int argc, char** argv, SBreloOptions& opts, const SGenotypeCounts* known) {
    for (int i = 1; i < argc; ++i)
        ParseOneOption(argv[i], opts);
    const std::string path = MakeInputPath(opts.FoI, opts.F);
    if (opts.bF && known && opts.input.HasFormat())
        TakeCounts(*known, path, {opts.N, opts.bN}, {opts.A, opts.bA}, {opts.L, opts.bL});
    else if (opts.bF)
        TakeCountsFromFile(opts.input, path, {opts.N, opts.bN}, {opts.A, opts.bA},
                           {opts.L, opts.bL});
    const std::string missing = MissingOptionsLine({{"-F<file>", opts.bF},
                                                    {"-N<n>", opts.bN},
                                                    {"-A<ploidy>", opts.bA},
                                                    {"-L<loci>", opts.bL},
                                                    {"-K<k>", opts.bK},
                                                    {"-D<lambda>", opts.bD},
                                                    {"-S<sweeps>", opts.bS},
                                                    {"-B<burn-in>", opts.bB},
                                                    {"-T<degree>", opts.bT}},
                                                   "brelo");
    if (!missing.empty())
        RefuseInput(missing);
    if (opts.isRecAllele && opts.A != 2)
        RefuseInput("Dominant markers allowed for diploid individuals only ...");
    if (opts.trendDegree < -1 || opts.trendDegree > 3)
        RefuseInput(
            "The trend degree must be in {-1,0,1,2,3} (-1 if the data file holds no "
            "spatial coordinates), not -T" +
            std::to_string(opts.trendDegree) + ".");
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
    CheckReplicaSettings(opts.replicas, opts.threads);
    CheckClusterCount(opts.K, MakeDataLayout(opts, opts.F), false);
    if (opts.nb_var_regr < 0 || opts.nb_var_regr > 2)
        RefuseInput("Number of variables in the regression must be in {0,1,2}");
}
