#include "io/BestRunRecord.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>

#include "core/Messages.h"
#include "io/IOUtilities.h"

namespace {

const char kRecord[] = "MDIC_admCAR";
const char kCF[] = "CFadmCAR";
const char kTemporary[] = ".tmp";

bool Exists(const std::string& file) {
    return access(file.c_str(), F_OK) == 0;
}

// Pushes a written file (or a folder's entries) to the disk.
bool Sync(const std::string& path, int flags) {
    const int fd = open(path.c_str(), flags);
    if (fd < 0)
        return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

std::string FolderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
}

bool Rename(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    PrintMessage(std::string("Cannot rename ") + from + " to " + to + " - WriteBestRun");
    return false;
}

// The first value of a continuation file: its number of clusters.
int ClustersOfCF(const std::string& file) {
    std::ifstream is(file);
    int K = 0;
    return is >> K ? K : 0;
}

// A run killed after renaming the continuation file but before renaming the
// record left the complete new record under its temporary name: rename it.
// Temporary files of a run killed earlier are left-overs: the old pair
// stands, they go.
void CompleteInterruptedWrite(const std::string& record, const std::string& cf) {
    const std::string recordTmp = record + kTemporary, cfTmp = cf + kTemporary;
    if (Exists(recordTmp) && !Exists(cfTmp)) {
        std::rename(recordTmp.c_str(), record.c_str());
        return;
    }
    std::remove(recordTmp.c_str());
    std::remove(cfTmp.c_str());
}

bool ReadPair(const std::string& record, const std::string& cf, SBestRun& best) {
    if (!Exists(record))
        return false;
    if (!LoadML(best.trendDegree, best.DIC, record, true))
        return false;
    best.recordFile = record;
    best.cfFile = cf;
    return true;
}

}  // namespace

std::string BestRunRecordName(const std::string& FIFN, int K) {
    return FIFN + kRecord + "_K" + std::to_string(K);
}

std::string BestRunCFName(const std::string& FIFN, int K) {
    return FIFN + kCF + "_K" + std::to_string(K);
}

bool ReadBestRun(const std::string& FIFN, int K, SBestRun& best) {
    const std::string record = BestRunRecordName(FIFN, K), cf = BestRunCFName(FIFN, K);
    CompleteInterruptedWrite(record, cf);
    if (Exists(record))
        return ReadPair(record, cf, best);
    // An older pair, named without K, is the record of the K its
    // continuation file holds.
    const std::string oldRecord = FIFN + kRecord, oldCF = FIFN + kCF;
    if (!Exists(oldRecord) || ClustersOfCF(oldCF) != K)
        return false;
    return ReadPair(oldRecord, oldCF, best);
}

bool WriteBestRun(const std::string& FIFN, int K, int trendDegree, double DIC,
                  const DBL_VCTR_1D& sigma, const DBL_VCTR_2D& beta, const DBL_VCTR_2D& alpha,
                  const DBL_VCTR_2D& q, const CCopyLabels& zadmix, const DBL_VCTR_3D& p) {
    const std::string record = BestRunRecordName(FIFN, K), cf = BestRunCFName(FIFN, K);
    const std::string recordTmp = record + kTemporary, cfTmp = cf + kTemporary;
    // SaveCF and SaveML report their own failures; a failed sync is reported
    // here.
    bool written =
        SaveCF(sigma, beta, alpha, q, zadmix, p, cfTmp) && SaveML(trendDegree, DIC, recordTmp);
    if (written && !(Sync(cfTmp, O_RDONLY) && Sync(recordTmp, O_RDONLY))) {
        PrintMessage(std::string("Cannot write the best-run files ") + record + " and " + cf +
                     " to the disk - WriteBestRun");
        written = false;
    }
    if (!written) {
        std::remove(cfTmp.c_str());
        std::remove(recordTmp.c_str());
        return false;
    }
    if (!Rename(cfTmp, cf) || !Rename(recordTmp, record))
        return false;
    Sync(FolderOf(record), O_RDONLY | O_DIRECTORY);
    return true;
}
