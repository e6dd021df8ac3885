#include "platform/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace zor::platform {

void ParallelFor(int count, const std::function<void(int)>& body, unsigned threads) {
    if (count <= 0)
        return;
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    threads = std::min(threads, static_cast<unsigned>(count));
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int i = next.fetch_add(1); i < count; i = next.fetch_add(1))
            body(i);
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (unsigned t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
}

}  // namespace zor::platform
