#pragma once
// The worker that notices a new current panoramic in the work folder.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zor::platform {
class FolderWatcher;
}

namespace zor::acquisition {

/// Watches the work folder for a new current panoramic ("cur_pano.tif") on its own thread.
/// Start, Stop and Running belong to the owner's thread (the user-interface thread); only the
/// `Post` callback runs on the watcher thread. The destructor stops the thread.
class WorkFolderWatcher {
public:
    /// Called on the watcher thread with whether "cur_pano.tif" exists; the main window turns it
    /// into a posted WM_USER+1. It must return quickly and must not call Start or Stop.
    using Post = std::function<void(bool present)>;

    /// What the thread has done since construction, for the log and for tests; readable from
    /// any thread.
    struct Activity {
        std::uint64_t Wakeups = 0;  ///< change notifications and re-created watches
        std::uint64_t Checks = 0;  ///< status comparisons (after a settle, a lost watch or a retry)
    };

    /// `settle`: pause after a change notification before the panoramic's status is compared,
    /// so the writer can finish the file; interrupted by Stop.
    WorkFolderWatcher(std::filesystem::path workFolder, Post post,
                      std::chrono::milliseconds settle = std::chrono::milliseconds(2000));
    ~WorkFolderWatcher();
    WorkFolderWatcher(const WorkFolderWatcher&) = delete;
    WorkFolderWatcher& operator=(const WorkFolderWatcher&) = delete;

    /// Stops a running watcher first, takes the panoramic's status and starts the thread.
    /// True when the folder is watched from now on. False when it cannot be watched yet (missing
    /// folder, no inotify instance left) or the thread cannot be created; in the first case the
    /// thread runs all the same and re-tries the watch with a back-off of 0.1 s doubling up to
    /// 5 s (Running() is then true), posting whenever the panoramic's status changes meanwhile.
    bool Start();
    /// Synchronous: wakes the thread (also out of its settle or retry pause) and joins it.
    /// Does nothing when no thread runs.
    void Stop();
    bool Running() const;
    Activity Counts() const;

private:
    struct Status;
    void Run(Status previous);
    /// Waits `duration` unless stopped; true when Stop was requested.
    bool PauseOrStop(std::chrono::milliseconds duration);
    /// Makes `watch` the one Stop wakes; false (and `watch` dropped) when Stop came first.
    bool Install(std::unique_ptr<platform::FolderWatcher> watch);
    /// Drops the current watch so that Stop no longer reaches it.
    void Uninstall();
    void Compare(Status& previous);

    const std::filesystem::path m_WorkFolder;
    const Post m_Post;
    const std::chrono::milliseconds m_Settle;

    mutable std::mutex m_Mutex;
    std::condition_variable m_Wake;
    bool m_StopRequested = false;                      // guarded by m_Mutex
    std::unique_ptr<platform::FolderWatcher> m_Watch;  // written under m_Mutex by the thread
    std::thread m_Thread;
    std::atomic<std::uint64_t> m_Wakeups{0};
    std::atomic<std::uint64_t> m_Checks{0};
};

}  // namespace zor::acquisition
