#pragma once
// Unix stream sockets in the private runtime folder, shared by the named objects and the two
// channels: the folder checks, the name locks, listening and connecting. Internal to the
// platform layer.
#include <cstddef>
#include <string>
#include <vector>

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

/// Longest name or session kept as it is in a file name; with "/proc/self/fd/<fd>/" in front it
/// still fits a socket address (107 bytes).
inline constexpr size_t kMaxComponentBytes = 80;

/// The file name standing for a name or a session: the text itself when it has 1 to
/// kMaxComponentBytes bytes, no '/' and does not begin with '.' or '#'; any other text becomes
/// '#' and the 16 lowercase hex digits of its 64-bit FNV-1a hash, so it is never cut short and
/// never leaves its folder.
std::string FileComponent(const std::string& text);

/// Where this session's sockets live: `base` ($XDG_RUNTIME_DIR, else /tmp) is used as it is;
/// `folders` are the private folders below it, outermost first ("vordal", <session> or
/// "vordal-<uid>", <session>).
struct RuntimeLocation {
    std::string base;
    std::vector<std::string> folders;
};
RuntimeLocation Location();
/// The path of the first `depth` private folders of `location` under its base.
std::string FolderPath(const RuntimeLocation& location, size_t depth);

/// Opens the session folder, creating each private folder with mode 0700. Each one is opened
/// relative to its parent without following a symbolic link and refused, with the reason in
/// `why`, unless it is a folder of this effective user id that its group and others cannot use.
UniqueFd OpenSessionFolder(std::string& why);

enum class ListenResult { Listening, InUse, Failed };

/// A listening socket (non-blocking, close-on-exec) that owns its name: it holds the exclusive
/// lock on "<file>.lock" beside the socket. The destructor removes the socket file while the lock
/// is still held, then closes the socket and releases the lock.
class Listener {
public:
    Listener() = default;
    ~Listener() { Close(); }
    Listener(Listener&&) = default;
    Listener& operator=(Listener&& other) noexcept;
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    int Fd() const { return m_Socket.Get(); }
    /// Gives up the name now (the destructor's work).
    void Close();

private:
    friend ListenResult Listen(const std::string&, Listener&, std::string&);
    UniqueFd m_Lock;
    UniqueFd m_Folder;
    UniqueFd m_Socket;
    std::string m_File;
};

/// Takes the name: locks it (InUse when another descriptor holds the lock), removes a socket
/// left by a previous owner, binds and listens. `why` tells the reason of any failure.
ListenResult Listen(const std::string& name, Listener& listener, std::string& why);

/// True while some descriptor holds the name's lock. False with an empty `why` when the name is
/// free, with the reason when the runtime folder or the lock file cannot be used.
bool IsHeld(const std::string& name, std::string& why);

enum class ConnectResult { Connected, Absent, Busy, OtherUser, Failed };
/// Connects to the name within `timeoutMs` (> 0). Absent: nothing listens on the name; Busy: the
/// listener did not take the connection in time; OtherUser: the listener runs under another user
/// id (the connection is closed). `why` tells the reason of anything but Connected.
ConnectResult Connect(const std::string& name, int timeoutMs, UniqueFd& fd, std::string& why);

/// Accepts one pending connection (non-blocking, close-on-exec); invalid when none is pending.
UniqueFd Accept(int listenFd);

/// The user id of the peer of a connected socket (for a client: of the listener), or -1.
long long PeerUid(int fd);
/// True when the peer of a connected socket runs under this process's effective user id.
bool PeerIsSameUser(int fd);

/// An eventfd (non-blocking, close-on-exec) used to wake poll loops; Signal makes it readable
/// until Drain.
UniqueFd MakeStopEvent();
void Signal(int eventFd);
void Drain(int eventFd);

enum class IoResult { Ok, Closed, TimedOut, Stopped, Failed };
/// Reads exactly `size` bytes before `deadlineMs` on the NowMs clock (< 0: no limit); Stopped
/// when `stopFd` (if >= 0) becomes readable first.
IoResult ReadUntil(int fd, void* data, size_t size, long long deadlineMs, int stopFd = -1);
/// The same within `timeoutMs` from now (< 0: no limit).
IoResult ReadExact(int fd, void* data, size_t size, int timeoutMs, int stopFd = -1);
/// Writes all bytes before `deadlineMs` (< 0: no limit); never raises SIGPIPE.
IoResult WriteUntil(int fd, const void* data, size_t size, long long deadlineMs);
/// The same within `timeoutMs` from now (< 0: no limit).
IoResult WriteExact(int fd, const void* data, size_t size, int timeoutMs);

/// Milliseconds on the monotonic clock.
long long NowMs();

}  // namespace zor::platform::sock
