// Command line of breloAdm: the run settings, their parser, the usage text
// and the refusals that end the program before any work is done.
#ifndef BRELO_BRELOADM_BRELOADMOPTIONS_H
#define BRELO_BRELOADM_BRELOADMOPTIONS_H

#include <string>

#include "io/InputFormat.h"

struct SAdmOptions {
    std::string F;  // input data file name
    int N = 0;
    int A = 0;
    int L = 0;
    int K = 0;
    int trendDegree = 1;
    double psiUser = 0.6;
    double lambda = 0.0;
    int TotalSweep = 0;
    int BurnIn = 0;
    int nbQuantVar = 0;
    int nbQualVar = 0;
    bool covariatesGiven = false;  // -X or -XL appeared, whatever its value
    int ER = 0;
    int EC = 0;
    int nd = 0;
    std::string FoI;
    std::string FoO;
    std::string run;
    std::string CF;
    double sigmaQ = 10.0;
    // Inverse-gamma prior of every CAR variance (-sg<shape>,<scale>); NaN
    // when -sg was not two positive numbers.
    double sigmaShape = 1.0;
    double sigmaScale = 2.0;
    // Scale tau of the Gaussian prior of the coefficients (-bg<tau>, default
    // 1); 0 (-bg0) for the flat prior, under which the posterior is
    // improper; NaN when -bg was not a number.
    double coefScale = 1.0;
    // The joint route (default; -joint0 for the single-site route): the field
    // and the labels with the proportions integrated out, and the moves of
    // whole fields (trend shifts, level and common trend shifts, scale).
    bool jointMoves = true;
    // -qmove1 (default): the move of each individual's proportions with its
    // copies' labels redrawn together; -qmove0 leaves it out.
    bool proportionMoves = true;
    // -anc1 (default): the clusters' allele frequencies correlated through
    // ancestral frequencies, each cluster drifted from them by its own
    // amount; -anc0: independent Dirichlet(lambda) frequencies.
    bool ancestralFrequencies = true;
    // -rx<n>: replicas of the chain, replica exchange when above 1; -t<n>:
    // threads they run on (0: all cores).
    int replicas = 1;
    int threads = 1;
    std::string mapFile;
    bool drawMap = false;  // -qdraw: the map cells get a Dirichlet draw, not the expected values
    std::string crs;       // -crsEPSG:<code>: reference system of the predicted GeoTIFF
    bool crsGiven = false;
    std::string crsWkt;  // the same as WKT, derived by ParseAdmOptions
    int nb_var_regr = 2;
    bool shuffle = false;
    bool nj = false;           // start from clustered labels: -jy, or -jk (below)
    bool kmeansStart = false;  // -jk: the clusters are those of k-means
    std::string geoFile;
    bool isRecAllele = false;
    bool bbase = false;
    std::string scOpt = "m";
    double theta = 1.0;
    bool scSpecified = false;
    bool specialFormat = false;
    int burnStruct = 0;
    bool updateSigma = true;
    bool updatePsi = false;
    std::string Voronoi;
    SInputOptions input;  // -f -C
    // -auxout: the tessellation files and the best-run pair in the output
    // folder rather than beside the data file.
    bool auxInOutput = false;
    // -tessonly: stop once the tessellation and its files are made.
    bool tessellationOnly = false;

    // Derived by ParseAdmOptions.
    std::string FIFN;  // input path
    std::string FOFN;  // prefix of the result files
    // Prefix of the tessellation files ("VD.png", "ND.png", "VC") and of the
    // best-run pair: FIFN, or the output folder + "/" + F (no run label)
    // with -auxout or when the data folder cannot be written.
    std::string FAFN;
    int NumOfDigits = 1;
};

void ShowUsage();

// Parses argv into opt and applies every refusal: usage text, messages and
// exit status 1 as the command line of breloAdm defines them, then the count
// checks and a check that the output folder can take the result files.
// Prints "RUN= " + run when a run label is set, and a one-line notice when
// the data folder cannot be written (the tessellation and best-run files
// then go to the output folder). Returns only for a command line that can
// be run.
void ParseAdmOptions(int argc, const char* const* argv, SAdmOptions& opt);

#endif
