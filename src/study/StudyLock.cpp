#include "study/StudyLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>

#include "study/StudyOptions.h"

namespace {

std::string ReadAll(int fd) {
    std::string text;
    char buffer[512];
    ssize_t n;
    lseek(fd, 0, SEEK_SET);
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

// The value of key in "key\tvalue" lines, empty when absent.
std::string Field(const std::string& text, const std::string& key) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.compare(0, key.size() + 1, key + "\t") == 0)
            return line.substr(key.size() + 1);
        at = end + 1;
    }
    return std::string();
}

std::string Holder(const std::string& text) {
    const std::string pid = Field(text, "pid"), host = Field(text, "host");
    std::string who = "breloStudy " + Field(text, "command") + ", process " +
                      (pid.empty() ? std::string("?") : pid);
    if (!host.empty())
        who += " on " + host;
    const std::string started = Field(text, "started");
    if (!started.empty())
        who += ", started " + started;
    return who;
}

std::string Now() {
    char text[32];
    const std::time_t t = std::time(nullptr);
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", std::localtime(&t));
    return text;
}

std::string HostName() {
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    return host;
}

}  // namespace

std::string StudyLockFile(const std::string& studyDir) {
    return studyDir + "/lock";
}

CStudyLock::CStudyLock(const std::string& studyDir, const std::string& command) {
    const std::string file = StudyLockFile(studyDir);
    m_fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0)
        RefuseStudy("cannot open the lock " + file + ": " + std::strerror(errno));
    if (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const std::string holder = Holder(ReadAll(m_fd));
        close(m_fd);
        m_fd = -1;
        RefuseStudy(studyDir + " is in use (" + holder + "): wait for it to end, or stop it first");
    }
    const std::string previous = ReadAll(m_fd);
    if (!previous.empty())
        std::cerr << "breloStudy: taking over the lock of " << Holder(previous)
                  << ", which ended without releasing it" << std::endl;
    const std::string text = "pid\t" + std::to_string(getpid()) + "\nhost\t" + HostName() +
                             "\ncommand\t" + command + "\nstarted\t" + Now() + "\n";
    if (ftruncate(m_fd, 0) != 0 ||
        pwrite(m_fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
        RefuseStudy("cannot write the lock " + file + ": " + std::strerror(errno));
}

CStudyLock::~CStudyLock() {
    if (m_fd < 0)
        return;
    // An empty file is a lock released in order.
    [[maybe_unused]] int rc = ftruncate(m_fd, 0);
    close(m_fd);
}

std::string ChainLockFile(const std::string& folder) {
    return folder + "/lock";
}

int TryLockChain(const std::string& folder, bool& busy, std::string& error) {
    busy = false;
    const std::string file = ChainLockFile(folder);
    const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open " + file + ": " + std::strerror(errno);
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        busy = errno == EWOULDBLOCK;
        if (!busy)
            error = "cannot lock " + file + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

bool ChainIsRunning(const std::string& folder) {
    const int fd = open(ChainLockFile(folder).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}
