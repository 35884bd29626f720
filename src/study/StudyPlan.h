// The chains of a study: where each runs, with which seed and command line,
// and the study's record (study.txt) from which a later -collect or a
// resumed -run knows the study.
#ifndef BRELO_STUDY_STUDYPLAN_H
#define BRELO_STUDY_STUDYPLAN_H

#include <string>
#include <vector>

#include "study/StudyOptions.h"

struct SChainPlan {
    int K = 0;
    int replicate = 0;
    unsigned long seed = 0;
    std::string folder;             // absolute
    std::vector<std::string> argv;  // the program and its options
    bool heldOut = false;           // the chain that scores held-out data (-cv)
};

// Seed of chain (K, replicate) of a study with base seed: base + kMaxReplicates
// (K - 1) + replicate - 1, the same whatever the range and the count of
// replicates, so that a study can grow and no two chains share a seed.
unsigned long ChainSeed(unsigned long base, int K, int replicate);
// True when every chain up to kMax fits in the 32 bits a generator seeds from.
bool SeedsFitIn32Bits(unsigned long base, int kMax, int replicates);
// A base seed drawn from the system's entropy.
unsigned long DrawBaseSeed();

std::string ChainFolder(const std::string& studyDir, int K, int replicate);
// The folder of the chain that scores held-out data for (K, replicate): its
// two folds are trained on the halves of HeldOutPartition(replicate).
std::string HeldOutFolder(const std::string& studyDir, int K, int replicate);
// "K<k> rep<r>", or "K<k> cv<r>" for a held-out chain.
std::string ChainName(const SChainPlan& c);

// The partition of the loci into two halves for replicate's held-out chains,
// as brelo's -v reads it: <study>/heldout<r>.txt. Each fold learns the
// clusters from one half of the loci and scores the other half given them.
std::string HeldOutPartition(const std::string& studyDir, int replicate);
// The first half (1-based, increasing) of units 1 .. n drawn at random for
// replicate from the study's seed: n / 2 of them, the same for every K.
std::vector<long> HeldOutHalf(long n, unsigned long baseSeed, int replicate);
// For breloAdm, HeldOutPartition lists the genotypes hidden from
// replicate's held-out chains, and HeldOutDataName is the data file with
// them written as missing, in the study folder; they score the genotypes
// they never saw. About this share of the genotypes is hidden:
constexpr double kHeldOutShare = 0.1;
std::string HeldOutDataName(const SStudySettings& s, int replicate);
// Writes the held-out files of every replicate of a -cv study (refuses in
// one line when the data cannot be read or a file cannot be written).
void WriteHeldOutPartitions(const SStudySettings& s);
// Files a chain leaves in its folder when it ended well / badly.
std::string DoneMarker(const std::string& folder);
std::string FailedMarker(const std::string& folder);
std::string ChainLog(const std::string& folder);
// The command a chain runs with (its seed, the program, its options), one
// word a line: written before it starts, compared when the study resumes.
std::string ChainCommandFile(const std::string& folder);
// Left by -jobs in the folder of each chain it lists, removed by the chain's
// job when it starts.
std::string QueuedMarker(const std::string& folder);
// The chain's own shell script, run by the lines of jobs.txt and by the
// tasks of study.sbatch.
std::string ChainScript(const std::string& folder);

// The words of the chain's command: "GSL_RNG_SEED=<seed>", then its argv.
std::vector<std::string> ChainCommandWords(const SChainPlan& chain);

// The first difference between a recorded command and the planned one, as
// "<what was run> where this command gives <what is planned>"; empty when
// they are the same.
std::string FirstDifference(const std::vector<std::string>& recorded,
                            const std::vector<std::string>& planned);

// The chains of K = kMin .. kMax, replicates 1 .. replicates: each gets the
// program's options, then -K and -o with its own folder. breloAdm chains
// also get -auxout (their tessellation and best-run files in their folder,
// never beside the data) and, unless the options give one, -v with the
// study's tessellation. With -cv, each chain is followed by its held-out
// chain: the same command and seed with -v<partition> -2fold, in its own
// folder.
std::vector<SChainPlan> PlanChains(const SStudySettings& s);

// Whether the chains share one tessellation of the sites, computed once per
// study: breloAdm, when its options give no -v.
bool SharesTessellation(const SStudySettings& s);
// The study's tessellation: <study>/tessellation/<data file>VC.
std::string TessellationFile(const SStudySettings& s);
// The breloAdm run that makes it (-tessonly, K = kMin, the base seed) in
// <study>/tessellation.
SChainPlan TessellationPlan(const SStudySettings& s);

// Creates the chain's folder and records the command it runs with
// (ChainCommandFile). False with a message on error.
bool PrepareChainFolder(const SChainPlan& chain, std::string& error);

// Refuses (one line, exit 1) a study folder in which a chain's place is taken
// by something else than a folder (a file named K2, say).
void CheckChainPlaces(const std::vector<SChainPlan>& plan);

// Refuses to resume chains that ran with another command, naming the first
// difference; without a study record, also chains whose command was not
// recorded. Returns how many chains of the plan had already started.
int CheckRecordedCommands(const std::vector<SChainPlan>& plan, bool studyRecordFound);

// The chains of plan queued by -jobs (not yet started) or running now.
int QueuedOrRunning(const std::vector<SChainPlan>& plan);

// -fresh: removes the study's chain folders (K<k>/rep<r>) and its own files
// from studyDir, nothing else.
void RemoveStudy(const std::string& studyDir);

// study.txt: the program, its options, the base seed, the working folder,
// the range of K and replicates run so far, and the labels file (absolute)
// that -collect uses unless given another.
void WriteStudyRecord(const SStudySettings& s, const std::string& workingDir);
// Reads the record into s (program, options, seed, range); false with a
// message when there is none or it cannot be read.
bool ReadStudyRecord(const std::string& studyDir, SStudySettings& s, std::string& workingDir,
                     std::string& error);

// Settles s against the record of an earlier command in the same folder:
// the same program and options are required, the recorded seed is kept
// (a different -seed is refused), the range grows to cover both, and a
// labels file given replaces the recorded one.
// Refuses with one line on a mismatch.
void MergeWithStudyRecord(SStudySettings& s, SStudySettings& recorded);

#endif
