#include "acquisition/WorkFolderWatcher.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <system_error>

#include "acquisition/AcquisitionConstants.h"
#include "platform/FolderWatcher.h"

namespace zor::acquisition {

namespace {

constexpr std::chrono::milliseconds kRetryFirst(100);
constexpr std::chrono::milliseconds kRetryMax(5000);

}  // namespace

/// What the comparison looks at: presence and last modification of the panoramic in `folder`;
/// all zero when it is missing or cannot be examined.
struct WorkFolderWatcher::Status {
    bool Present = false;
    // The full-resolution time: the driver may rewrite the file several times within one second,
    // and a whole-second time would hide every rewrite after the first.
    timespec Modified{};

    explicit Status(const std::filesystem::path& folder) {
        struct stat st {};
        if (::stat((folder / kCurrentPanoramicFile).c_str(), &st) == 0) {
            Present = true;
            Modified = st.st_mtim;
        }
    }
    bool operator==(const Status& other) const {
        return Present == other.Present && Modified.tv_sec == other.Modified.tv_sec &&
               Modified.tv_nsec == other.Modified.tv_nsec;
    }
};

WorkFolderWatcher::WorkFolderWatcher(std::filesystem::path workFolder, Post post,
                                     std::chrono::milliseconds settle)
    : m_WorkFolder(std::move(workFolder)), m_Post(std::move(post)), m_Settle(settle) {}

WorkFolderWatcher::~WorkFolderWatcher() {
    Stop();
}

bool WorkFolderWatcher::Start() {
    Stop();
    std::unique_ptr<platform::FolderWatcher> watch = platform::FolderWatcher::Create(m_WorkFolder);
    const bool watched = watch != nullptr;
    // Taken once the watch exists, so that a change right after Start is never lost between the
    // two: either the status already holds it or a notification follows.
    const Status initial(m_WorkFolder);
    {
        std::lock_guard lock(m_Mutex);
        m_StopRequested = false;
        m_Watch = std::move(watch);
    }
    try {
        m_Thread = std::thread(&WorkFolderWatcher::Run, this, initial);
    } catch (const std::system_error&) {
        std::lock_guard lock(m_Mutex);
        m_Watch.reset();
        return false;
    }
    return watched;
}

void WorkFolderWatcher::Stop() {
    if (!m_Thread.joinable())
        return;
    {
        std::lock_guard lock(m_Mutex);
        m_StopRequested = true;
        if (m_Watch)
            m_Watch->Stop();
    }
    m_Wake.notify_all();
    m_Thread.join();
    std::lock_guard lock(m_Mutex);
    m_Watch.reset();
}

bool WorkFolderWatcher::Running() const {
    return m_Thread.joinable();
}

WorkFolderWatcher::Activity WorkFolderWatcher::Counts() const {
    Activity activity;
    activity.Wakeups = m_Wakeups.load();
    activity.Checks = m_Checks.load();
    return activity;
}

// Only this thread replaces m_Watch (under the mutex, for Stop), so it reads it without the lock.
void WorkFolderWatcher::Run(Status previous) {
    std::chrono::milliseconds retry = kRetryFirst;
    for (;;) {
        bool changed = false;
        if (m_Watch) {
            switch (m_Watch->Wait()) {
                case platform::FolderWatcher::WaitResult::Stopped:
                    return;
                case platform::FolderWatcher::WaitResult::Changed:
                    changed = true;
                    retry = kRetryFirst;
                    break;
                case platform::FolderWatcher::WaitResult::TimedOut:
                    break;
                case platform::FolderWatcher::WaitResult::Error:
                    // The folder was deleted (or the watch broke): the panoramic may have gone
                    // with it, and the watch has to be made anew.
                    Uninstall();
                    Compare(previous);
                    break;
            }
        } else {
            if (PauseOrStop(retry) || !Install(platform::FolderWatcher::Create(m_WorkFolder)))
                return;
            if (m_Watch) {
                changed = true;  // whatever happened while unwatched is looked at like a change
            } else {
                retry = std::min(retry * 2, kRetryMax);
                Compare(previous);
            }
        }
        if (changed) {
            ++m_Wakeups;
            if (PauseOrStop(m_Settle))
                return;
            Compare(previous);
        }
    }
}

bool WorkFolderWatcher::PauseOrStop(std::chrono::milliseconds duration) {
    std::unique_lock lock(m_Mutex);
    return m_Wake.wait_for(lock, duration, [this] { return m_StopRequested; });
}

bool WorkFolderWatcher::Install(std::unique_ptr<platform::FolderWatcher> watch) {
    std::lock_guard lock(m_Mutex);
    if (m_StopRequested)
        return false;
    m_Watch = std::move(watch);
    return true;
}

void WorkFolderWatcher::Uninstall() {
    std::unique_ptr<platform::FolderWatcher> gone;
    std::lock_guard lock(m_Mutex);
    gone = std::move(m_Watch);
}

void WorkFolderWatcher::Compare(Status& previous) {
    const Status current(m_WorkFolder);
    if (!(current == previous) && m_Post)
        m_Post(current.Present);
    previous = current;
    ++m_Checks;
}

}  // namespace zor::acquisition
