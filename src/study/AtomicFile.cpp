#include "study/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string Reason(int err, const std::string& fallback) {
    return err != 0 ? std::string(std::strerror(err)) : fallback;
}

// The temporary file's data on disk before it takes the file's name, so
// that a crash leaves the old file or the new one, never an empty one.
bool SyncFile(const std::string& file) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

bool Commit(const std::string& temp, const std::string& file, std::string& error) {
    errno = 0;
    std::error_code ec;
    if (!fs::is_regular_file(temp, ec) || fs::file_size(temp, ec) == 0 || ec) {
        error = "cannot write " + file + ": " + Reason(errno, "nothing was written");
        fs::remove(temp, ec);
        return false;
    }
    if (!SyncFile(temp) || std::rename(temp.c_str(), file.c_str()) != 0) {
        error = "cannot write " + file + ": " + Reason(errno, "the file could not be renamed");
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace

std::string TemporaryName(const std::string& file) {
    const fs::path path(file);
    return (path.parent_path() / ("." + path.stem().string() + "." + std::to_string(getpid()) +
                                  ".tmp" + path.extension().string()))
        .string();
}

bool WriteFileAtomically(const std::string& file, const std::function<bool(std::ostream&)>& write,
                         std::string& error) {
    const std::string temp = TemporaryName(file);
    errno = 0;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot write " + file + ": " + Reason(errno, "cannot create a file there");
        return false;
    }
    const bool written = write(out);
    out.close();
    if (!written || !out) {
        error = "cannot write " + file + ": " + Reason(errno, "the write failed");
        std::error_code ec;
        fs::remove(temp, ec);
        return false;
    }
    return Commit(temp, file, error);
}

bool MakeFileAtomically(const std::string& file,
                        const std::function<bool(const std::string&)>& make, std::string& error) {
    const std::string temp = TemporaryName(file);
    errno = 0;
    if (!make(temp)) {
        error = "cannot write " + file + ": " + Reason(errno, "the chart could not be drawn");
        std::error_code ec;
        fs::remove(temp, ec);
        return false;
    }
    return Commit(temp, file, error);
}
