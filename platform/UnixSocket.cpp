#include "platform/UnixSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/NamedObject.h"

namespace zor::platform::sock {

namespace {

constexpr int kBacklog = 16;
// A prober holds a free name's lock for a moment only; an owner holds it for good.
constexpr int kLockRetryMs = 20;

std::string ErrorText(int error) {
    return std::strerror(error);
}

/// Opens the private folder `name` in `parent`, creating it with mode 0700; `path` names it in
/// the reason of a refusal.
UniqueFd OpenPrivateFolder(int parent, const std::string& name, const std::string& path,
                           std::string& why) {
    const bool created = ::mkdirat(parent, name.c_str(), 0700) == 0;
    if (!created && errno != EEXIST) {
        why = "cannot create the runtime folder " + path + ": " + ErrorText(errno);
        return UniqueFd();
    }
    UniqueFd fd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd.Valid()) {
        const int error = errno;
        if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
            why = "the runtime folder " + path + " is a symbolic link";
        else if (error == ENOTDIR)
            why = "the runtime folder " + path + " is not a folder";
        else
            why = "cannot open the runtime folder " + path + ": " + ErrorText(error);
        return UniqueFd();
    }
    if (::fstat(fd.Get(), &st) != 0) {
        why = "cannot examine the runtime folder " + path + ": " + ErrorText(errno);
        return UniqueFd();
    }
    // A restrictive umask must not leave a new folder unusable; a folder found is taken as is.
    if (created && st.st_uid == ::geteuid() && ::fchmod(fd.Get(), 0700) == 0)
        st.st_mode = S_IFDIR | 0700;
    if (st.st_uid != ::geteuid()) {
        why = "the runtime folder " + path + " belongs to user id " + std::to_string(st.st_uid) +
              ", not to user id " + std::to_string(::geteuid());
        return UniqueFd();
    }
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        why = "the runtime folder " + path + " is open to other users (mode " + mode +
              "); it must be 0700";
        return UniqueFd();
    }
    return fd;
}

/// Opens "<file>.lock" in `folder` (creating it when `create`); never follows a symbolic link or
/// keeps anything but a regular file. Invalid with an empty `why` when it is absent and not
/// created.
UniqueFd OpenLock(int folder, const std::string& file, bool create, std::string& why) {
    const std::string name = file + ".lock";
    const int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (create ? O_CREAT : 0);
    UniqueFd fd(::openat(folder, name.c_str(), flags, 0600));
    const std::string path = RuntimeFolder() + "/" + name;
    if (!fd.Valid()) {
        if (errno == ELOOP)
            why = "the lock file " + path + " is a symbolic link";
        else if (create || errno != ENOENT)
            why = "cannot open the lock file " + path + ": " + ErrorText(errno);
        return UniqueFd();
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "the lock file " + path + " is not a regular file";
        return UniqueFd();
    }
    return fd;
}

/// Takes the exclusive lock without blocking for long; 0 or the errno of the last attempt.
int TryLock(int fd) {
    const long long until = NowMs() + kLockRetryMs;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error != EWOULDBLOCK || NowMs() >= until)
            return error;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

/// The address of `file` in the open `folder`, reached through the folder's descriptor: the
/// kernel resolves /proc/self/fd/<fd> to the folder already checked, and the address stays short
/// whatever the folder's path.
socklen_t MakeAddress(int folder, const std::string& file, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "/proc/self/fd/%d/%s", folder, file.c_str());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + std::strlen(addr.sun_path) + 1);
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

long long DeadlineIn(int timeoutMs) {
    return timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
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

std::string FileComponent(const std::string& text) {
    if (!text.empty() && text.size() <= kMaxComponentBytes && text[0] != '.' && text[0] != '#' &&
        text.find('/') == std::string::npos) {
        return text;
    }
    uint64_t hash = 14695981039346656037ull;  // FNV-1a, 64 bits
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char out[18];
    std::snprintf(out, sizeof out, "#%016llx", static_cast<unsigned long long>(hash));
    return out;
}

std::string FolderPath(const RuntimeLocation& location, size_t depth) {
    std::string path = location.base;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    for (size_t i = 0; i < depth && i < location.folders.size(); ++i)
        path += (path == "/" ? "" : "/") + location.folders[i];
    return path;
}

RuntimeLocation Location() {
    const std::string session = FileComponent(SessionName());
    // A relative XDG_RUNTIME_DIR is invalid and ignored, as the base directory rules say.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
        return {runtime, {"vordal", session}};
    return {"/tmp", {"vordal-" + std::to_string(::geteuid()), session}};
}

UniqueFd OpenSessionFolder(std::string& why) {
    const RuntimeLocation location = Location();
    UniqueFd folder(::open(location.base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.Valid()) {
        why = "cannot open the runtime base folder " + location.base + ": " + ErrorText(errno);
        return UniqueFd();
    }
    for (size_t i = 0; i < location.folders.size(); ++i) {
        folder =
            OpenPrivateFolder(folder.Get(), location.folders[i], FolderPath(location, i + 1), why);
        if (!folder.Valid())
            return UniqueFd();
    }
    return folder;
}

Listener& Listener::operator=(Listener&& other) noexcept {
    if (this != &other) {
        Close();
        m_Lock = std::move(other.m_Lock);
        m_Folder = std::move(other.m_Folder);
        m_Socket = std::move(other.m_Socket);
        m_File = std::move(other.m_File);
    }
    return *this;
}

void Listener::Close() {
    if (m_Socket.Valid() && m_Folder.Valid())
        ::unlinkat(m_Folder.Get(), m_File.c_str(), 0);
    m_Socket.Reset();
    m_Folder.Reset();
    m_Lock.Reset();  // last: until here nobody else can take the name
}

ListenResult Listen(const std::string& name, Listener& listener, std::string& why) {
    why.clear();
    Listener l;
    l.m_Folder = OpenSessionFolder(why);
    if (!l.m_Folder.Valid())
        return ListenResult::Failed;
    l.m_File = FileComponent(name);
    const std::string path = RuntimeFolder() + "/" + l.m_File;
    l.m_Lock = OpenLock(l.m_Folder.Get(), l.m_File, true, why);
    if (!l.m_Lock.Valid())
        return ListenResult::Failed;
    if (const int error = TryLock(l.m_Lock.Get()); error != 0) {
        if (error == EWOULDBLOCK) {
            why = "the name " + name + " is held by another process";
            return ListenResult::InUse;
        }
        why = "cannot lock " + path + ".lock: " + ErrorText(error);
        return ListenResult::Failed;
    }
    // Holding the lock, this process is the only owner: a socket file found is a dead owner's.
    if (::unlinkat(l.m_Folder.Get(), l.m_File.c_str(), 0) != 0 && errno != ENOENT) {
        why = "cannot remove the old socket " + path + ": " + ErrorText(errno);
        return ListenResult::Failed;
    }
    UniqueFd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_un addr{};
    const socklen_t length = MakeAddress(l.m_Folder.Get(), l.m_File, addr);
    if (!s.Valid() || ::bind(s.Get(), reinterpret_cast<sockaddr*>(&addr), length) != 0) {
        why = "cannot bind " + path + ": " + ErrorText(errno);
        return ListenResult::Failed;
    }
    l.m_Socket = std::move(s);  // from here on the destructor removes the socket file
    if (::listen(l.m_Socket.Get(), kBacklog) != 0) {
        why = "cannot listen on " + path + ": " + ErrorText(errno);
        return ListenResult::Failed;
    }
    listener = std::move(l);
    return ListenResult::Listening;
}

bool IsHeld(const std::string& name, std::string& why) {
    why.clear();
    const UniqueFd folder = OpenSessionFolder(why);
    if (!folder.Valid())
        return false;
    const std::string file = FileComponent(name);
    const UniqueFd lock = OpenLock(folder.Get(), file, false, why);
    if (!lock.Valid())
        return false;
    const int error = ::flock(lock.Get(), LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    if (error == EWOULDBLOCK)
        return true;
    if (error != 0)
        why = "cannot probe the lock of " + name + ": " + ErrorText(error);
    return false;  // a lock taken here ends with the descriptor
}

ConnectResult Connect(const std::string& name, int timeoutMs, UniqueFd& fd, std::string& why) {
    fd.Reset();
    why.clear();
    const UniqueFd folder = OpenSessionFolder(why);
    if (!folder.Valid())
        return ConnectResult::Failed;
    const std::string file = FileComponent(name);
    const std::string path = RuntimeFolder() + "/" + file;
    UniqueFd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.Valid()) {
        why = "cannot create a socket: " + ErrorText(errno);
        return ConnectResult::Failed;
    }
    // A Unix stream connect waits for room in the listener's backlog up to the send time-out.
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(s.Get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    sockaddr_un addr{};
    const socklen_t length = MakeAddress(folder.Get(), file, addr);
    const long long deadline = NowMs() + timeoutMs;
    while (::connect(s.Get(), reinterpret_cast<sockaddr*>(&addr), length) != 0) {
        if (errno == ECONNREFUSED || errno == ENOENT) {
            why = "nothing serves " + name + " (" + path + ")";
            return ConnectResult::Absent;
        }
        if (errno == EINTR && NowMs() < deadline)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            why = "the program serving " + name + " did not take the connection within " +
                  std::to_string(timeoutMs) + " ms";
            return ConnectResult::Busy;
        }
        why = "cannot connect to " + path + ": " + ErrorText(errno);
        return ConnectResult::Failed;
    }
    if (!PeerIsSameUser(s.Get())) {
        why = path + " is served by user id " + std::to_string(PeerUid(s.Get())) +
              ", not by user id " + std::to_string(::geteuid());
        return ConnectResult::OtherUser;
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

long long PeerUid(int fd) {
    ucred cred{};
    socklen_t size = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 ? cred.uid : -1;
}

bool PeerIsSameUser(int fd) {
    return PeerUid(fd) == static_cast<long long>(::geteuid());
}

UniqueFd MakeStopEvent() {
    return UniqueFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
}

void Signal(int eventFd) {
    const uint64_t one = 1;
    while (::write(eventFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Drain(int eventFd) {
    uint64_t count = 0;
    while (::read(eventFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

IoResult ReadUntil(int fd, void* data, size_t size, long long deadlineMs, int stopFd) {
    auto* out = static_cast<uint8_t*>(data);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::recv(fd, out + got, size - got, MSG_DONTWAIT);
        if (n > 0) {
            got += static_cast<size_t>(n);
            continue;
        }
        if (n == 0)
            return IoResult::Closed;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return errno == ECONNRESET ? IoResult::Closed : IoResult::Failed;
        const IoResult w = Wait(fd, POLLIN, deadlineMs, stopFd);
        if (w != IoResult::Ok)
            return w;
    }
    return IoResult::Ok;
}

IoResult ReadExact(int fd, void* data, size_t size, int timeoutMs, int stopFd) {
    return ReadUntil(fd, data, size, DeadlineIn(timeoutMs), stopFd);
}

IoResult WriteUntil(int fd, const void* data, size_t size, long long deadlineMs) {
    const auto* in = static_cast<const uint8_t*>(data);
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
        const IoResult w = Wait(fd, POLLOUT, deadlineMs, -1);
        if (w != IoResult::Ok)
            return w;
    }
    return IoResult::Ok;
}

IoResult WriteExact(int fd, const void* data, size_t size, int timeoutMs) {
    return WriteUntil(fd, data, size, DeadlineIn(timeoutMs));
}

}  // namespace zor::platform::sock
