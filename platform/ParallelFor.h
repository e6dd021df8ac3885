#pragma once
// A plain parallel loop for short, independent work items on the calling thread's behalf.
#include <functional>

namespace zor::platform {

/// Runs body(i) for every i in [0, count) on up to `threads` threads (0: one per core), the
/// calling thread included, and returns when all are done. Items are handed out one at a time,
/// so unequal items balance. The body must not throw; items must not depend on each other. The
/// helper threads are kept between calls (what a body keeps per thread survives); a loop started
/// while another runs, or inside one, gets threads of its own.
void ParallelFor(int count, const std::function<void(int)>& body, unsigned threads = 0);

}  // namespace zor::platform
