#include "zor_r3d/Parallel.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace zor_r3d {

namespace {
std::atomic<long long> g_ItemsStarted{0};
}  // namespace

long long WorkItemsStarted() {
    return g_ItemsStarted.load();
}

bool ProgressReporter::Report(double fraction) {
    if (m_Cancelled.load()) {
        return false;
    }
    // Never backwards, also when two stages' boundaries differ in the last bit.
    m_Last = std::max(m_Last, std::clamp(fraction, 0.0, 1.0));
    if (m_Callback != nullptr && m_Callback(m_Last, m_Context) == -1) {
        m_Cancelled.store(true);
    }
    return !m_Cancelled.load();
}

bool RunParallel(int count, const std::function<void(int)>& body, ProgressReporter& progress,
                 double from, double to) {
    if (!progress.Report(from)) {
        return false;
    }
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<bool>& cancel = progress.CancelFlag();
    const int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 16);
    auto worker = [&] {
        for (;;) {
            if (cancel.load()) {
                break;
            }
            const int item = next.fetch_add(1);
            if (item >= count) {
                break;
            }
            g_ItemsStarted.fetch_add(1, std::memory_order_relaxed);
            body(item);
            if (done.fetch_add(1) + 1 == count) {
                std::lock_guard<std::mutex> lock(mutex);
                finished.notify_all();
            }
        }
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < std::min(threads, std::max(count, 1)); ++t) {
        pool.emplace_back(worker);
    }
    bool ok = true;
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (done.load() < count) {
            finished.wait_for(lock, std::chrono::milliseconds(10));
            lock.unlock();
            const double f = from + (to - from) * done.load() / std::max(count, 1);
            ok = progress.Report(f);
            lock.lock();
            if (!ok) {
                break;
            }
        }
    }
    for (auto& th : pool) {
        th.join();
    }
    return ok && !progress.Cancelled();
}

}  // namespace zor_r3d
