#pragma once
// Work items on worker threads while the calling thread reports progress and watches cancel.
#include <atomic>
#include <functional>

#include "zor_r3d/R3D.h"

namespace zor_r3d {

/// Progress towards the caller's callback; only the calling thread invokes the callback.
class ProgressReporter {
public:
    ProgressReporter(R3DProgressCallback cb, void* ctx) : m_Callback(cb), m_Context(ctx) {}
    /// Reports `fraction`; returns false (and stays cancelled) once the callback returned -1.
    bool Report(double fraction);
    bool Cancelled() const { return m_Cancelled.load(); }
    std::atomic<bool>& CancelFlag() { return m_Cancelled; }

private:
    R3DProgressCallback m_Callback;
    void* m_Context;
    double m_Last = 0.0;  ///< highest fraction reported so far (only the calling thread reports)
    std::atomic<bool> m_Cancelled{false};
};

/// Runs body(item) for every item in [0, count) on all cores. The calling thread reports
/// from..to every few milliseconds; a cancel stops the workers before their next item.
/// Returns false when cancelled.
bool RunParallel(int count, const std::function<void(int)>& body, ProgressReporter& progress,
                 double from, double to);

/// Work items RunParallel has begun in this process so far (all calls and threads together),
/// for tests of cancel: after the callback returns -1 at most one more item per worker thread
/// may begin (a worker that checked the flag just before it was set); more means a stage runs on.
long long WorkItemsStarted();

}  // namespace zor_r3d
