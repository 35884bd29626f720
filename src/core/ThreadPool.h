// The one place where the programs run threads: a small pool of std::thread
// workers that runs the indices of a loop, fork-join.
//
// ParallelFor(n, body) runs body(0) .. body(n-1), each exactly once, on the
// pool's workers and on the calling thread, and returns when all have run.
// It may be called from inside a body (a replica's sweep splitting its own
// draws into blocks): the calling thread always works on the indices of its
// own loop and, while it waits for the indices other threads took, helps
// with any loop that still has work. A thread only ever waits for bodies
// that are running, so nested loops cannot deadlock, whatever the number of
// threads.
//
// Bodies must not depend on which thread runs them: each index writes its
// own outputs and draws from its own generator stream (RandomStreams.h);
// sums over indices are made by the caller, in index order, after the loop.
#ifndef BRELO_CORE_THREADPOOL_H
#define BRELO_CORE_THREADPOOL_H

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CThreadPool {
  public:
    // threads counts the calling thread: 1 runs every loop on the caller
    // (no worker is started); below 1 is taken as 1.
    explicit CThreadPool(int threads = 1);
    ~CThreadPool();
    CThreadPool(const CThreadPool&) = delete;
    CThreadPool& operator=(const CThreadPool&) = delete;

    int Threads() const { return static_cast<int>(m_workers.size()) + 1; }

    void ParallelFor(int n, const std::function<void(int)>& body);

  private:
    struct SLoop {
        const std::function<void(int)>* body = nullptr;
        int n = 0;
        std::atomic<int> next{0};  // next index to claim
        std::atomic<int> done{0};  // indices finished
        int helpers = 0;           // other threads inside RunIndices (under m_mutex)
    };

    void WorkerLoop();
    // Claims and runs indices of loop until none is left.
    static void RunIndices(SLoop& loop);
    // A loop with an index left to claim, or null (m_mutex held).
    SLoop* FindWork();
    // Runs indices of loop as a helper (lock held on entry and on return).
    void Help(SLoop& loop, std::unique_lock<std::mutex>& lock);

    std::vector<std::thread> m_workers;
    std::vector<SLoop*> m_loops;  // loops in progress
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
};

// The number of threads asked by an option value: n itself when n >= 1, all
// the cores of the machine for 0 (at least 1).
int ThreadsFromOption(int n);

#endif
