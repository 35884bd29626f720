// Locks that keep two processes from working on one study, or one chain, at
// once. Both are advisory locks (flock) on a file that the kernel releases
// when its holder dies, so a lock is never left behind by a process killed
// outright; the file also names its holder for the messages.
#ifndef BRELO_STUDY_STUDYLOCK_H
#define BRELO_STUDY_STUDYLOCK_H

#include <string>

// <study>/lock, held by the breloStudy process that runs, collects or
// writes the jobs of the study, and holding its PID, host, command and start.
class CStudyLock {
  public:
    // Takes the lock, or refuses (one line, exit status 1) when a live
    // process holds it. A lock file left by a process that ended without
    // releasing it is taken over with a notice on standard error.
    CStudyLock(const std::string& studyDir, const std::string& command);
    ~CStudyLock();
    CStudyLock(const CStudyLock&) = delete;
    CStudyLock& operator=(const CStudyLock&) = delete;

  private:
    int m_fd = -1;
};

std::string StudyLockFile(const std::string& studyDir);

// The lock of one chain, <chain folder>/lock: held by the process that runs
// the chain for as long as it runs (-run hands it to the chain's process,
// a job line takes it with flock(1)).
std::string ChainLockFile(const std::string& folder);

// Opens and takes the chain's lock without waiting: the descriptor (close on
// exec), or -1 when another process holds it (busy true) or the file cannot
// be opened (busy false, error set).
int TryLockChain(const std::string& folder, bool& busy, std::string& error);

// True when a process holds the chain's lock now: the chain is running.
bool ChainIsRunning(const std::string& folder);

#endif
