// Nothing written beside the user's data unless asked: breloAdm on a data
// folder it cannot write, its -auxout and -tessonly, and breloStudy, whose
// chains leave the data folder as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/BreloCli.h"

namespace fs = std::filesystem;

namespace {

const char* const kSim2pop = "-Fsim2pop.txt -N130 -A2 -L20 -K2 -T1 -P0.6 -D1 -c2";

// Every file of a folder tree with its contents.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        files[entry.path().string()] =
            entry.is_regular_file() ? ReadWholeFile(entry.path().string()) : "(folder)";
    return files;
}

// A data folder holding sim2pop.txt and an output folder anyone may write.
struct SFolders {
    std::string data, out;
};
SFolders MakeFolders(const std::string& name) {
    SFolders f{FreshFolder(name + "_data"), FreshFolder(name + "_out")};
    CopyFixture("sim2pop.txt", f.data);
    fs::permissions(f.out, fs::perms::all);
    return f;
}

const char* const kSideFiles[] = {"VD.png", "ND.png", "VC", "MDIC_admCAR_K2", "CFadmCAR_K2"};

}  // namespace

// A run whose data folder cannot be written puts its tessellation and
// best-run files in the output folder, says so in one line, and a later run
// finds them there (-p, -v).
TEST(BreloAdmSideFiles, ReadOnlyDataFolder) {
    const SFolders f = MakeFolders("adm_readonly");
    fs::permissions(f.data, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    // The superuser writes anywhere: the programs then run as nobody.
    std::string as;
    if (geteuid() == 0) {
        if (std::system("command -v setpriv > /dev/null 2>&1") != 0)
            GTEST_SKIP() << "running as root without setpriv: no folder is read-only to us";
        as = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    const auto before = Snapshot(f.data);
    const std::string program = as + "env GSL_RNG_SEED=12345 '" BRELO_BIN_DIR "/breloAdm' ";
    const std::string options = std::string(kSim2pop) + " -i" + f.data + " -o" + f.out;
    SCliResult r = RunShellIn(f.out, program + options + " -S30 -B10");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string notice = "The data folder " + f.data +
                               " cannot be written: the tessellation and best-run files go to " +
                               f.out + ".\n";
    EXPECT_NE(r.output.find(notice), std::string::npos) << r.output;
    for (const char* suffix : kSideFiles)
        EXPECT_TRUE(FileExists(f.out + "/sim2pop.txt" + suffix)) << suffix;
    EXPECT_TRUE(FileExists(f.out + "/sim2pop.txtDIC.txt"));
    EXPECT_EQ(Snapshot(f.data), before);

    r = RunShellIn(f.out, program + options + " -S3 -B1 -orun2 -p" + f.out +
                              "/sim2pop.txtCFadmCAR_K2 -v" + f.out + "/sim2pop.txtVC");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("Generating Voronoi"), std::string::npos) << r.output;
    EXPECT_EQ(Snapshot(f.data), before);
    fs::permissions(f.data, fs::perms::owner_all);
}

// -auxout keeps the side files in the output folder of a writable data
// folder too; -tessonly stops after the tessellation.
TEST(BreloAdmSideFiles, AuxOutAndTessellationOnly) {
    const SFolders f = MakeFolders("adm_auxout");
    const auto before = Snapshot(f.data);
    const std::string options = std::string(kSim2pop) + " -i" + f.data + " -o" + f.out;
    SCliResult r = RunProgramIn("breloAdm", f.out, options + " -S30 -B10 -auxout -tessonly");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Tessellation of the sites in " + f.out + "/sim2pop.txtVC"),
              std::string::npos)
        << r.output;
    for (const char* suffix : {"VD.png", "ND.png", "VC"})
        EXPECT_TRUE(FileExists(f.out + "/sim2pop.txt" + suffix)) << suffix;
    EXPECT_FALSE(FileExists(f.out + "/sim2pop.txtDIC.txt"));
    EXPECT_FALSE(FileExists(f.out + "/sim2pop.txtMDIC_admCAR_K2"));

    r = RunProgramIn("breloAdm", f.out, options + " -S30 -B10 -auxout -orun1");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("cannot be written"), std::string::npos) << r.output;
    for (const char* suffix : kSideFiles)
        EXPECT_TRUE(FileExists(f.out + "/sim2pop.txt" + suffix)) << suffix;
    EXPECT_EQ(Snapshot(f.data), before);
}

// A study of breloAdm leaves the data folder byte for byte as it was: the
// tessellation is computed once, in the study folder, and every chain
// reuses it and keeps its best-run pair in its own folder.
TEST(BreloStudySideFiles, DataFolderUnchanged) {
    const SFolders f = MakeFolders("study_sidefiles");
    const auto before = Snapshot(f.data);
    const std::string study = f.out + "/study";
    const SCliResult r = RunShellIn(
        f.out, "'" BRELO_BIN_DIR "/breloStudy' -run -PbreloAdm -K2:2 -R2 -j2 -seed7 -o" + study +
                   " -- -Fsim2pop.txt -i" + f.data + " -N130 -A2 -L20 -T1 -P0.6 -D1 -c2 -S20 -B5");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Snapshot(f.data), before);
    EXPECT_TRUE(FileExists(study + "/tessellation/sim2pop.txtVC"));
    for (int rep = 1; rep <= 2; ++rep) {
        const std::string chain = study + "/K2/rep" + std::to_string(rep);
        EXPECT_TRUE(FileExists(chain + "/sim2pop.txtMDIC_admCAR_K2")) << chain;
        EXPECT_FALSE(FileExists(chain + "/sim2pop.txtVC")) << chain;
        EXPECT_EQ(ReadWholeFile(chain + "/run.log").find("Generating Voronoi"), std::string::npos)
            << chain;
    }
}
