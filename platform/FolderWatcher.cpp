#include "platform/FolderWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>

#include "platform/UnixSocket.h"

namespace zor::platform {

namespace {
constexpr uint32_t kMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB;
}

struct FolderWatcher::Impl {
    sock::UniqueFd inotifyFd;
    sock::UniqueFd stopFd;
    std::atomic<bool> stopped{false};
    bool watchGone = false;  // the folder was deleted or unmounted

    enum class Drain { Nothing, Changed, Gone, Failed };
    /// Reads every queued event.
    Drain DrainEvents() {
        alignas(inotify_event) char buffer[16 * 1024];
        Drain result = Drain::Nothing;
        for (;;) {
            const ssize_t n = ::read(inotifyFd.Get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return (errno == EAGAIN || errno == EWOULDBLOCK) ? result : Drain::Failed;
            if (n == 0)
                return result;
            for (ssize_t off = 0; off < n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buffer + off);
                off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                if (ev->mask & IN_IGNORED) {
                    result = Drain::Gone;
                } else if (result != Drain::Gone) {
                    result = Drain::Changed;  // IN_Q_OVERFLOW too: something changed, unknown what
                }
            }
        }
    }
};

FolderWatcher::FolderWatcher(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}

FolderWatcher::~FolderWatcher() = default;

std::unique_ptr<FolderWatcher> FolderWatcher::Create(const std::filesystem::path& folder) {
    auto impl = std::make_unique<Impl>();
    impl->inotifyFd = sock::UniqueFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    impl->stopFd = sock::MakeStopEvent();
    if (!impl->inotifyFd.Valid() || !impl->stopFd.Valid())
        return nullptr;
    if (::inotify_add_watch(impl->inotifyFd.Get(), folder.c_str(), kMask | IN_ONLYDIR) < 0)
        return nullptr;
    return std::unique_ptr<FolderWatcher>(new FolderWatcher(std::move(impl)));
}

FolderWatcher::WaitResult FolderWatcher::Wait(int timeoutMs) {
    Impl& d = *m_Impl;
    if (d.stopped)
        return WaitResult::Stopped;
    if (d.watchGone)
        return WaitResult::Error;
    const long long deadline = timeoutMs < 0 ? -1 : sock::NowMs() + timeoutMs;
    for (;;) {
        int timeout = -1;
        if (deadline >= 0)
            timeout = static_cast<int>(std::max(0LL, deadline - sock::NowMs()));
        pollfd fds[2] = {{d.stopFd.Get(), POLLIN, 0}, {d.inotifyFd.Get(), POLLIN, 0}};
        const int n = ::poll(fds, 2, timeout);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return WaitResult::Error;
        if (d.stopped || (fds[0].revents & POLLIN))
            return WaitResult::Stopped;
        if (n == 0) {
            if (deadline >= 0 && sock::NowMs() >= deadline)
                return WaitResult::TimedOut;
            continue;
        }
        switch (d.DrainEvents()) {
            case Impl::Drain::Changed:
                return WaitResult::Changed;
            case Impl::Drain::Gone:
                d.watchGone = true;
                return WaitResult::Error;
            case Impl::Drain::Failed:
                return WaitResult::Error;
            case Impl::Drain::Nothing:
                break;
        }
    }
}

void FolderWatcher::Stop() {
    m_Impl->stopped = true;
    sock::Signal(m_Impl->stopFd.Get());
}

}  // namespace zor::platform
