#include "platform/ParallelFor.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace zor::platform {

namespace {

// Items handed out one at a time until none are left.
void Drain(std::atomic<int>& next, int count, const std::function<void(int)>& body) {
    for (int i = next.fetch_add(1); i < count; i = next.fetch_add(1))
        body(i);
}

// Threads started for one loop and joined at its end: the way when the pool is busy (a nested
// or concurrent loop) or belongs to another process (a forked child has none of its threads).
void RunOnNewThreads(int count, const std::function<void(int)>& body, unsigned threads) {
    std::atomic<int> next{0};
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (unsigned t = 1; t < threads; ++t)
        helpers.emplace_back([&] { Drain(next, count, body); });
    Drain(next, count, body);
    for (std::thread& helper : helpers)
        helper.join();
}

// Helpers kept for the program's life, so that a loop run many times a second (the crosses of
// a drag) neither starts threads each time nor loses what the helpers keep per thread (filter
// tables, scratch images). One loop at a time uses them.
class Pool {
public:
    explicit Pool(unsigned helpers) : m_Process(getpid()) {
        for (unsigned i = 0; i < helpers; ++i)
            m_Threads.emplace_back([this, i] { Work(i); });
    }
    unsigned Helpers() const { return static_cast<unsigned>(m_Threads.size()); }
    bool Mine() const { return getpid() == m_Process; }
    std::mutex& Use() { return m_Use; }

    /// Runs the loop with `helpers` of the pool's threads and the caller; m_Use must be held.
    void Run(int count, const std::function<void(int)>& body, unsigned helpers) {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Body = &body;
            m_Count = count;
            m_Next = 0;
            m_Wanted = helpers;
            m_Running = helpers;
            ++m_Round;
        }
        m_Wake.notify_all();
        Drain(m_Next, count, body);
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Done.wait(lock, [this] { return m_Running == 0; });
    }

private:
    void Work(unsigned index) {
        std::uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(m_Mutex);
        for (;;) {
            m_Wake.wait(lock, [&] { return m_Round != seen; });
            seen = m_Round;
            if (index >= m_Wanted)
                continue;
            const std::function<void(int)>& body = *m_Body;
            const int count = m_Count;
            lock.unlock();
            Drain(m_Next, count, body);
            lock.lock();
            if (--m_Running == 0)
                m_Done.notify_one();
        }
    }

    const pid_t m_Process;
    std::mutex m_Use;
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::condition_variable m_Done;
    std::vector<std::thread> m_Threads;
    const std::function<void(int)>* m_Body = nullptr;
    std::atomic<int> m_Next{0};
    int m_Count = 0;
    unsigned m_Wanted = 0;
    unsigned m_Running = 0;
    std::uint64_t m_Round = 0;
};

Pool& ThePool() {
    // Never destroyed: its threads wait for work until the process ends.
    static Pool* pool = new Pool(std::max(1u, std::thread::hardware_concurrency()) - 1);  // NOLINT
    return *pool;
}

}  // namespace

void ParallelFor(int count, const std::function<void(int)>& body, unsigned threads) {
    if (count <= 0)
        return;
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    threads = std::min(threads, static_cast<unsigned>(count));
    if (threads == 1) {
        for (int i = 0; i < count; ++i)
            body(i);
        return;
    }
    Pool& pool = ThePool();
    std::unique_lock<std::mutex> use(pool.Use(), std::try_to_lock);
    if (use.owns_lock() && pool.Mine() && threads - 1 <= pool.Helpers()) {
        pool.Run(count, body, threads - 1);
        return;
    }
    RunOnNewThreads(count, body, threads);
}

}  // namespace zor::platform
