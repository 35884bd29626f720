#include "study/ChainRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>

#include "study/AtomicFile.h"
#include "study/ChainFiles.h"
#include "study/StudyLock.h"

extern char** environ;

namespace {

volatile sig_atomic_t g_nStopSignal = 0;
// Write end of the wake-up pipe of the waiting loop, -1 outside it.
volatile sig_atomic_t g_nWakeFd = -1;

// A process-directed signal may be handled by any thread that does not block
// it (libraries such as OpenBLAS start threads of their own before main), so
// the handlers wake the waiting loop through a pipe rather than by
// interrupting it.
void WakeWaitingLoop() {
    const int fd = g_nWakeFd;
    if (fd >= 0) {
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] ssize_t n = write(fd, &byte, 1);
        errno = saved;
    }
}

void OnStopSignal(int sig) {
    g_nStopSignal = sig;
    WakeWaitingLoop();
}

void OnChildEnded(int) {
    WakeWaitingLoop();
}

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Duration(double seconds) {
    long s = static_cast<long>(seconds + 0.5);
    std::ostringstream out;
    if (s >= 3600)
        out << s / 3600 << "h" << std::setw(2) << std::setfill('0') << (s % 3600) / 60 << "m";
    else if (s >= 60)
        out << s / 60 << "m" << std::setw(2) << std::setfill('0') << s % 60 << "s";
    else
        out << s << "s";
    return out.str();
}

struct SRunning {
    const SChainPlan* chain;
    Clock::time_point start;
};

// Signal handling for the time chains run: SIGCHLD, SIGINT and SIGTERM are
// blocked in this thread except while waiting, and every handler also writes
// to a pipe the wait watches, so none slips between a check and the wait,
// whichever thread handles it.
class SignalGuard {
  public:
    SignalGuard() {
        if (pipe2(m_wakePipe, O_CLOEXEC | O_NONBLOCK) == 0)
            g_nWakeFd = m_wakePipe[1];
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sigemptyset(&sa.sa_mask);
        sa.sa_handler = OnStopSignal;
        sigaction(SIGINT, &sa, &m_oldInt);
        sigaction(SIGTERM, &sa, &m_oldTerm);
        sa.sa_handler = OnChildEnded;
        sigaction(SIGCHLD, &sa, &m_oldChld);
        sigset_t block;
        sigemptyset(&block);
        sigaddset(&block, SIGCHLD);
        sigaddset(&block, SIGINT);
        sigaddset(&block, SIGTERM);
        sigprocmask(SIG_BLOCK, &block, &m_waitMask);
        sigdelset(&m_waitMask, SIGCHLD);
        sigdelset(&m_waitMask, SIGINT);
        sigdelset(&m_waitMask, SIGTERM);
    }
    ~SignalGuard() {
        sigprocmask(SIG_SETMASK, &m_waitMask, nullptr);
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
        sigaction(SIGCHLD, &m_oldChld, nullptr);
        g_nWakeFd = -1;
        for (int fd : m_wakePipe)
            if (fd >= 0)
                close(fd);
    }
    // Sleeps until a child ends or a stop signal comes; never longer than a
    // second, so that a lost wake-up costs a second, not the study.
    void wait() {
        struct pollfd pfd = {m_wakePipe[0], POLLIN, 0};
        const struct timespec timeout = {1, 0};
        if (ppoll(&pfd, m_wakePipe[0] >= 0 ? 1 : 0, &timeout, &m_waitMask) > 0) {
            char buffer[64];
            while (read(m_wakePipe[0], buffer, sizeof buffer) > 0) {
            }
        }
    }

  private:
    struct sigaction m_oldInt, m_oldTerm, m_oldChld;
    sigset_t m_waitMask;
    int m_wakePipe[2] = {-1, -1};
};

// The chain runs in a process group of its own (a Ctrl-C at the terminal
// reaches breloStudy alone, which stops the chains itself), dies with
// breloStudy however that ends (a parent-death signal), and holds the
// chain's lock (when lockFd is one), handed down as descriptor 3, for as
// long as it runs.
pid_t SpawnChain(const SChainPlan& chain, int lockFd, std::string& error) {
    std::vector<std::string> env = ChainEnvironment(chain.seed);
    std::vector<char*> argv, envp;
    for (const std::string& a : chain.argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const std::string log = ChainLog(chain.folder);
    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int nullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (logFd < 0 || nullFd < 0) {
        error = "cannot open " + log + ": " + std::strerror(errno);
        if (logFd >= 0)
            close(logFd);
        if (nullFd >= 0)
            close(nullFd);
        return -1;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);  // breloStudy ended before the signal was armed
        struct sigaction dfl;
        std::memset(&dfl, 0, sizeof dfl);
        dfl.sa_handler = SIG_DFL;
        for (int sig : {SIGINT, SIGTERM, SIGCHLD, SIGPIPE})
            sigaction(sig, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (dup2(nullFd, 0) < 0 || dup2(logFd, 1) < 0 || dup2(logFd, 2) < 0 ||
            (lockFd >= 0 && dup2(lockFd, 3) < 0))
            _exit(127);
        execve(argv[0], argv.data(), envp.data());
        const char message[] = "breloStudy: cannot start the program\n";
        [[maybe_unused]] ssize_t n = write(2, message, sizeof message - 1);
        _exit(127);
    }
    const int forkErrno = errno;
    close(logFd);
    close(nullFd);
    if (pid < 0) {
        error = std::string("cannot start a process: ") + std::strerror(forkErrno);
        return -1;
    }
    setpgid(pid, pid);  // also from this side: a stop right after the fork reaches the group
    return pid;
}

void WriteMarker(const std::string& file, const std::string& text) {
    std::string error;
    if (!WriteFileAtomically(
            file, [&](std::ostream& out) { return static_cast<bool>(out << text); }, error))
        std::cout << error << std::endl;
}

class Progress {
  public:
    Progress(int total, int alreadyDone)
        : m_nTotal(total), m_nDone(alreadyDone), m_bTty(isatty(STDOUT_FILENO)) {}
    void chainEnded(bool ok) {
        ++m_nEnded;
        if (ok)
            ++m_nDone;
        else
            ++m_nFailed;
    }
    void show(int running) {
        const double elapsed = SecondsSince(m_start);
        const int left = m_nTotal - m_nDone - m_nFailed;
        std::ostringstream line;
        line << "chains " << m_nDone << "/" << m_nTotal << " done, " << running << " running, "
             << m_nFailed << " failed, elapsed " << Duration(elapsed);
        if (m_nEnded > 0 && left > 0)
            line << ", about " << Duration(elapsed / m_nEnded * left) << " left";
        if (m_bTty)
            std::cout << "\r" << line.str() << "\033[K" << std::flush;
        else
            std::cout << line.str() << std::endl;
    }
    // Ends the progress line before other output.
    void breakLine() {
        if (m_bTty)
            std::cout << "\r\033[K" << std::flush;
    }
    void finish() {
        if (m_bTty)
            std::cout << std::endl;
    }

  private:
    int m_nTotal, m_nDone, m_nFailed = 0, m_nEnded = 0;
    bool m_bTty;
    Clock::time_point m_start = Clock::now();
};

}  // namespace

std::vector<std::string> ChainEnvironment(unsigned long seed) {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "GSL_RNG_SEED=", 13) != 0)
            env.push_back(*e);
    env.push_back("GSL_RNG_SEED=" + std::to_string(seed));
    return env;
}

namespace {

// The chains of one -run: those still to start, those running, and what
// became of those that ended.
class ChainScheduler {
  public:
    ChainScheduler(const std::vector<SChainPlan>& plan, int jobs)
        : m_nJobs(jobs),
          m_pending(Pending(plan)),
          m_progress(static_cast<int>(plan.size()),
                     static_cast<int>(plan.size() - m_pending.size())) {}

    SRunOutcome run() {
        const Clock::time_point start = Clock::now();
        g_nStopSignal = 0;
        SignalGuard guard;
        while (true) {
            bool changed = reapEnded();
            if (g_nStopSignal != 0) {
                for (auto& [pid, r] : m_running)
                    kill(-pid, SIGTERM);
            } else {
                changed = startUpToTheLimit() || changed;
            }
            if (changed && g_nStopSignal == 0)
                m_progress.show(static_cast<int>(m_running.size()));
            if (m_running.empty())
                break;
            guard.wait();
        }
        m_progress.finish();
        m_outcome.signal = g_nStopSignal;
        m_outcome.wallSeconds = SecondsSince(start);
        return m_outcome;
    }

  private:
    static std::vector<const SChainPlan*> Pending(const std::vector<SChainPlan>& plan) {
        std::vector<const SChainPlan*> pending;
        for (const SChainPlan& c : plan) {
            std::error_code ec;
            if (!std::filesystem::exists(DoneMarker(c.folder), ec))
                pending.push_back(&c);
        }
        return pending;
    }

    // Records every child that ended; true when one did.
    bool reapEnded() {
        bool any = false;
        int status;
        pid_t pid;
        while ((pid = waitpid(-1, &status, WNOHANG)) > 0) {
            auto it = m_running.find(pid);
            if (it == m_running.end())
                continue;
            const SRunning ended = it->second;
            m_running.erase(it);
            any = true;
            chainEnded(*ended.chain, status, SecondsSince(ended.start));
        }
        return any;
    }

    // A chain cut short by a stop signal leaves no marker: it runs again
    // when the study is resumed.
    void chainEnded(const SChainPlan& c, int status, double seconds) {
        const bool stopped =
            WIFSIGNALED(status) && (WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGTERM);
        if (stopped || (g_nStopSignal != 0 && !WIFEXITED(status))) {
            ++m_outcome.stopped;
            return;
        }
        m_outcome.chainSeconds += seconds;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            std::ostringstream text;
            text << "seconds\t" << seconds << "\nseed\t" << c.seed << "\n";
            WriteMarker(DoneMarker(c.folder), text.str());
            ++m_outcome.finished;
            m_progress.chainEnded(true);
            return;
        }
        const std::string why = WIFEXITED(status)
                                    ? "exit status " + std::to_string(WEXITSTATUS(status))
                                    : "signal " + std::to_string(WTERMSIG(status));
        failed(c, why, LastMessageOfLog(ChainLog(c.folder)) + "  [" + ChainLog(c.folder) + "]");
    }

    void leftToAnother(const SChainPlan& c) {
        ++m_outcome.busy;
        m_progress.breakLine();
        std::cout << ChainName(c)
                  << " is running in another process: left to it (collect once it has ended)"
                  << std::endl;
    }

    void failed(const SChainPlan& c, const std::string& why, const std::string& message) {
        WriteMarker(FailedMarker(c.folder), why + "\n");
        ++m_outcome.failed;
        m_progress.chainEnded(false);
        m_progress.breakLine();
        std::cout << ChainName(c) << " failed (" << why << "): " << message << std::endl;
    }

    // Starts chains while fewer than the limit run; true when one started
    // or failed to.
    bool startUpToTheLimit() {
        bool any = false;
        while (static_cast<int>(m_running.size()) < m_nJobs && m_next < m_pending.size()) {
            const SChainPlan& c = *m_pending[m_next++];
            any = true;
            std::string error;
            if (!PrepareChainFolder(c, error)) {
                failed(c, "not started", error);
                continue;
            }
            // Another process may run this chain now (a study killed outright
            // whose chain has not ended yet, a job of -jobs): it is left to it.
            bool busy = false;
            const int lockFd = TryLockChain(c.folder, busy, error);
            if (lockFd < 0) {
                if (busy)
                    leftToAnother(c);
                else
                    failed(c, "not started", error);
                continue;
            }
            std::error_code ec;
            std::filesystem::remove(FailedMarker(c.folder), ec);
            std::filesystem::remove(QueuedMarker(c.folder), ec);
            const pid_t pid = SpawnChain(c, lockFd, error);
            close(lockFd);
            if (pid < 0) {
                failed(c, "not started", error);
                continue;
            }
            ++m_outcome.ran;
            m_running[pid] = SRunning{&c, Clock::now()};
        }
        return any;
    }

    int m_nJobs;
    std::vector<const SChainPlan*> m_pending;
    size_t m_next = 0;
    std::map<pid_t, SRunning> m_running;
    Progress m_progress;
    SRunOutcome m_outcome;
};

}  // namespace

SRunOutcome RunChains(const std::vector<SChainPlan>& plan, int jobs) {
    return ChainScheduler(plan, jobs).run();
}

int RunToEnd(const SChainPlan& run, std::string& error) {
    if (!PrepareChainFolder(run, error))
        return -1;
    const pid_t pid = SpawnChain(run, -1, error);
    if (pid < 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) {
            error = std::strerror(errno);
            return -1;
        }
    if (!WIFEXITED(status)) {
        error = "signal " + std::to_string(WTERMSIG(status));
        return -1;
    }
    if (WEXITSTATUS(status) != 0)
        error = "exit status " + std::to_string(WEXITSTATUS(status));
    return WEXITSTATUS(status);
}
