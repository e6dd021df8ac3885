#pragma once
// Abstract-namespace Unix stream sockets shared by the named objects and the two channels.
// Internal to the platform layer.
#include <cstddef>
#include <string>

namespace zor::platform::sock {

/// A descriptor closed on destruction.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_Fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_Fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return m_Fd; }
    bool Valid() const { return m_Fd >= 0; }
    int Release() {
        const int fd = m_Fd;
        m_Fd = -1;
        return fd;
    }
    void Reset(int fd = -1);

private:
    int m_Fd;
};

/// Binds and listens on the name (SOCK_CLOEXEC, non-blocking). Invalid on failure, with
/// inUse=true when another socket holds the name.
UniqueFd Listen(const std::string& name, bool& inUse);

enum class ConnectResult { Connected, Absent, Busy, Failed };
/// Connects to the name within `timeoutMs` (> 0). Absent: nobody holds the name; Busy: the
/// holder did not accept in time.
ConnectResult Connect(const std::string& name, int timeoutMs, UniqueFd& fd);

/// Accepts one pending connection (non-blocking, close-on-exec); invalid when none is pending.
UniqueFd Accept(int listenFd);

/// True when the peer of a connected socket runs under this process's effective user id.
bool PeerIsSameUser(int fd);

/// An eventfd (non-blocking, close-on-exec) used to wake poll loops; Signal makes it readable
/// for good.
UniqueFd MakeStopEvent();
void Signal(int eventFd);

enum class IoResult { Ok, Closed, TimedOut, Stopped, Failed };
/// Reads exactly `size` bytes within `timeoutMs` (< 0: no limit), which with `idleLimit`
/// counts from the last bytes received instead; Stopped when `stopFd` (if >= 0) becomes readable
/// first.
IoResult ReadExact(int fd, void* data, size_t size, int timeoutMs, int stopFd = -1,
                   bool idleLimit = false);
/// Writes all bytes within `timeoutMs` (< 0: no limit); never raises SIGPIPE.
IoResult WriteExact(int fd, const void* data, size_t size, int timeoutMs);

/// Milliseconds on the monotonic clock.
long long NowMs();

}  // namespace zor::platform::sock
