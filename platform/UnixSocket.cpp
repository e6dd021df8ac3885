#include "platform/UnixSocket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/NamedObject.h"

namespace zor::platform::sock {

namespace {

constexpr int kBacklog = 16;

/// The abstract address: a NUL byte, then the name; the length covers exactly that, since any
/// padding would become part of the name.
bool MakeAddress(const std::string& name, sockaddr_un& addr, socklen_t& length) {
    const std::string full = AbstractName(name);
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (full.size() + 1 > sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path + 1, full.data(), full.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + full.size());
    return true;
}

/// Polls `fd` for `events` (and `stopFd` for input) until the deadline (< 0: none).
IoResult Wait(int fd, short events, long long deadline, int stopFd) {
    for (;;) {
        int timeout = -1;
        if (deadline >= 0) {
            const long long left = deadline - NowMs();
            if (left <= 0)
                return IoResult::TimedOut;
            timeout = static_cast<int>(left);
        }
        pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        const int n = ::poll(fds, stopFd >= 0 ? 2 : 1, timeout);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return IoResult::Failed;
        if (n == 0)
            continue;  // the deadline check above ends the wait
        if (stopFd >= 0 && (fds[1].revents & POLLIN))
            return IoResult::Stopped;
        return IoResult::Ok;  // readiness, hang-up or error: the next call tells which
    }
}

}  // namespace

void UniqueFd::Reset(int fd) {
    if (m_Fd >= 0)
        ::close(m_Fd);
    m_Fd = fd;
}

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

UniqueFd Listen(const std::string& name, bool& inUse) {
    inUse = false;
    sockaddr_un addr{};
    socklen_t length = 0;
    if (!MakeAddress(name, addr, length))
        return UniqueFd();
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid())
        return UniqueFd();
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&addr), length) != 0) {
        inUse = errno == EADDRINUSE;
        return UniqueFd();
    }
    if (::listen(fd.Get(), kBacklog) != 0)
        return UniqueFd();
    return fd;
}

ConnectResult Connect(const std::string& name, int timeoutMs, UniqueFd& fd) {
    fd.Reset();
    sockaddr_un addr{};
    socklen_t length = 0;
    if (!MakeAddress(name, addr, length))
        return ConnectResult::Failed;
    UniqueFd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.Valid())
        return ConnectResult::Failed;
    // A Unix stream connect waits for room in the listener's backlog up to the send time-out.
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(s.Get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    const long long deadline = NowMs() + timeoutMs;
    while (::connect(s.Get(), reinterpret_cast<sockaddr*>(&addr), length) != 0) {
        if (errno == ECONNREFUSED || errno == ENOENT)
            return ConnectResult::Absent;
        if (errno == EINTR && NowMs() < deadline)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return ConnectResult::Busy;
        return ConnectResult::Failed;
    }
    fd = std::move(s);
    return ConnectResult::Connected;
}

UniqueFd Accept(int listenFd) {
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0)
            return UniqueFd(fd);
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        return UniqueFd();
    }
}

bool PeerIsSameUser(int fd) {
    ucred cred{};
    socklen_t size = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 && cred.uid == ::geteuid();
}

UniqueFd MakeStopEvent() {
    return UniqueFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
}

void Signal(int eventFd) {
    const uint64_t one = 1;
    while (::write(eventFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

IoResult ReadExact(int fd, void* data, size_t size, int timeoutMs, int stopFd, bool idleLimit) {
    auto* out = static_cast<uint8_t*>(data);
    long long deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::recv(fd, out + got, size - got, MSG_DONTWAIT);
        if (n > 0) {
            got += static_cast<size_t>(n);
            if (idleLimit && timeoutMs >= 0)
                deadline = NowMs() + timeoutMs;
            continue;
        }
        if (n == 0)
            return IoResult::Closed;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return errno == ECONNRESET ? IoResult::Closed : IoResult::Failed;
        }
        const IoResult w = Wait(fd, POLLIN, deadline, stopFd);
        if (w != IoResult::Ok)
            return w;
    }
    return IoResult::Ok;
}

IoResult WriteExact(int fd, const void* data, size_t size, int timeoutMs) {
    const auto* in = static_cast<const uint8_t*>(data);
    const long long deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
    size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, in + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EPIPE || errno == ECONNRESET)
            return IoResult::Closed;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return IoResult::Failed;
        const IoResult w = Wait(fd, POLLOUT, deadline, -1);
        if (w != IoResult::Ok)
            return w;
    }
    return IoResult::Ok;
}

}  // namespace zor::platform::sock
