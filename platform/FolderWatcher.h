#pragma once
// Change notification on one folder (the FindFirstChangeNotification stand-in).
#include <filesystem>
#include <memory>

namespace zor::platform {

/// inotify on a folder with IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
/// IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB; stoppable through an eventfd from any thread.
/// One thread waits; Stop may be called from another.
class FolderWatcher {
public:
    enum class WaitResult { Changed, Stopped, TimedOut, Error };
    /// nullptr when the folder cannot be watched.
    static std::unique_ptr<FolderWatcher> Create(const std::filesystem::path& folder);
    ~FolderWatcher();
    /// Blocks until a change (queue overflow counts as a change), Stop, or the time-out
    /// (timeoutMs < 0: none). Events already queued are drained, so one call reports a burst.
    /// Error when the folder itself was deleted (the watch is gone for good).
    WaitResult Wait(int timeoutMs = -1);
    /// Wakes the waiting thread with Stopped; later waits return Stopped at once. Destroy the
    /// watcher only after the waiting thread has returned.
    void Stop();

private:
    struct Impl;
    explicit FolderWatcher(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_Impl;
};

}  // namespace zor::platform
