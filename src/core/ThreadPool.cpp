#include "core/ThreadPool.h"

#include <algorithm>

CThreadPool::CThreadPool(int threads) {
    for (int t = 1; t < threads; ++t)
        m_workers.emplace_back([this] { WorkerLoop(); });
}

CThreadPool::~CThreadPool() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

void CThreadPool::RunIndices(SLoop& loop) {
    for (int i = loop.next.fetch_add(1); i < loop.n; i = loop.next.fetch_add(1)) {
        (*loop.body)(i);
        loop.done.fetch_add(1);
    }
}

CThreadPool::SLoop* CThreadPool::FindWork() {
    // The newest loop first: the innermost of nested loops, whose caller is
    // waiting for it.
    for (auto it = m_loops.rbegin(); it != m_loops.rend(); ++it)
        if ((*it)->next.load() < (*it)->n)
            return *it;
    return nullptr;
}

void CThreadPool::Help(SLoop& loop, std::unique_lock<std::mutex>& lock) {
    ++loop.helpers;
    lock.unlock();
    RunIndices(loop);
    lock.lock();
    --loop.helpers;
    m_changed.notify_all();
}

void CThreadPool::WorkerLoop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        SLoop* loop = nullptr;
        m_changed.wait(lock, [&] { return m_stop || (loop = FindWork()) != nullptr; });
        if (m_stop)
            return;
        Help(*loop, lock);
    }
}

void CThreadPool::ParallelFor(int n, const std::function<void(int)>& body) {
    if (n <= 0)
        return;
    if (m_workers.empty() || n == 1) {
        for (int i = 0; i < n; ++i)
            body(i);
        return;
    }
    SLoop loop;
    loop.body = &body;
    loop.n = n;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_loops.push_back(&loop);
    }
    m_changed.notify_all();
    RunIndices(loop);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_loops.erase(std::find(m_loops.begin(), m_loops.end(), &loop));
    // Until every index has run and no helper still holds the loop: help
    // other loops meanwhile, or sleep.
    while (loop.done.load() < n || loop.helpers > 0) {
        if (SLoop* other = FindWork())
            Help(*other, lock);
        else
            m_changed.wait(lock);
    }
}

int ThreadsFromOption(int n) {
    if (n >= 1)
        return n;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}
