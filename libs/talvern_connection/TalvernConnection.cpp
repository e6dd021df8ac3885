#include "talvern_connection/TalvernConnection.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

#include "talvern_connection/LinkProtocol.h"

namespace {

using talvern::Clock;

/// A timed lock built on a condition variable. std::timed_mutex waits on steady_clock through
/// pthread_mutex_clocklock, which ThreadSanitizer does not follow, so every timed lock showed as
/// a false unlock fault in the TSan build. Meets TimedLockable for std::unique_lock.
class DeadlineLock {
public:
    bool try_lock_until(Clock::time_point deadline) {
        std::unique_lock lock(m_Mutex);
        if (!m_Free.wait_until(lock, deadline, [this] { return !m_Held; }))
            return false;
        m_Held = true;
        return true;
    }
    bool try_lock() { return try_lock_until(Clock::now()); }
    void lock() {
        std::unique_lock lock(m_Mutex);
        m_Free.wait(lock, [this] { return !m_Held; });
        m_Held = true;
    }
    void unlock() {
        {
            std::lock_guard lock(m_Mutex);
            m_Held = false;
        }
        m_Free.notify_one();
    }

private:
    std::mutex m_Mutex;
    std::condition_variable m_Free;
    bool m_Held = false;
};

/// The TCP client. m_Lock serialises the socket; it is taken with the call's own deadline, so
/// a caller queued behind a call to a silent peer is also back within the time limit.
class TcpTalvernConnection final : public ITalvernConnection {
public:
    ~TcpTalvernConnection() override { CloseSocket(); }

    void Connect(const char* address, int flags) override;
    void Reset() override;
    bool IsConnected() const override { return m_Connected.load(); }
    void RefreshStatus() override;
    bool MayAbort() override;
    void RequestAbort() override;
    void SetVolumeSelection(bool on) override;
    std::string LastStatus() const override;
    std::string LastError() const override;

private:
    /// Sends `request` and returns the answer line; throws (after closing) on any fault and
    /// on an answer that `valid` refuses.
    std::string Exchange(const std::string& request, bool (*valid)(const std::string& answer));
    [[noreturn]] void Fail(const std::string& why);
    void SetError(const std::string& why);
    void CloseSocket();

    DeadlineLock m_Lock;
    int m_Fd = -1;  // guarded by m_Lock
    std::atomic<bool> m_Connected{false};
    /// A Reset that could not take m_Lock in time: the next holder closes the socket first.
    std::atomic<bool> m_ClosePending{false};
    mutable std::mutex m_TextLock;  // guards the two texts below
    std::string m_Status;
    std::string m_Error;
};

void TcpTalvernConnection::CloseSocket() {
    if (m_Fd >= 0)
        ::close(m_Fd);
    m_Fd = -1;
    m_Connected = false;
    m_ClosePending = false;
}

void TcpTalvernConnection::SetError(const std::string& why) {
    std::lock_guard lock(m_TextLock);
    m_Error = why;
}

void TcpTalvernConnection::Fail(const std::string& why) {
    CloseSocket();
    SetError(why);
    throw CTalvernConnectionException(why);
}

void TcpTalvernConnection::Connect(const char* address, int flags) {
    const auto deadline = Clock::now() + talvern::kCallLimit;
    std::unique_lock lock(m_Lock, deadline);
    if (!lock.owns_lock()) {
        SetError("the link is busy");
        return;
    }
    CloseSocket();
    std::string error;
    talvern::LinkAddress target;
    if (flags != 0) {
        SetError("unsupported connect flags");
        return;
    }
    if (!talvern::ParseLinkAddress(address ? address : "", kTalvernDefaultPort, target, error)) {
        SetError(error);
        return;
    }
    m_Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_Fd < 0) {
        SetError(std::string("socket: ") + std::strerror(errno));
        return;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(target.Port);
    sa.sin_addr.s_addr = target.Ipv4;
    bool ok = ::connect(m_Fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    if (!ok && errno == EINPROGRESS) {
        pollfd p{m_Fd, POLLOUT, 0};
        const int left = static_cast<int>(
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
        int soError = ETIMEDOUT;
        socklen_t len = sizeof soError;
        if (::poll(&p, 1, left > 0 ? left : 0) == 1)
            ::getsockopt(m_Fd, SOL_SOCKET, SO_ERROR, &soError, &len);
        errno = soError;
        ok = soError == 0;
    }
    if (!ok) {
        SetError(std::string("connect to ") + address + ": " + std::strerror(errno));
        CloseSocket();
        return;
    }
    std::string greeting;
    if (!talvern::SendAll(m_Fd, "HELLO 1\n", deadline, error) ||
        !talvern::ReadLine(m_Fd, deadline, greeting, error)) {
        SetError("greeting: " + error);
        CloseSocket();
        return;
    }
    if (greeting.rfind("OK", 0) != 0) {
        SetError("the device refused the greeting: " + greeting);
        CloseSocket();
        return;
    }
    m_Connected = true;
    SetError("");
}

void TcpTalvernConnection::Reset() {
    std::unique_lock lock(m_Lock, Clock::now() + talvern::kCallLimit);
    if (lock.owns_lock()) {
        CloseSocket();
    } else {
        m_Connected = false;
        m_ClosePending = true;
    }
}

std::string TcpTalvernConnection::Exchange(const std::string& request,
                                           bool (*valid)(const std::string& answer)) {
    const auto deadline = Clock::now() + talvern::kCallLimit;
    std::unique_lock lock(m_Lock, deadline);
    if (!lock.owns_lock()) {
        SetError("the link is busy");
        throw CTalvernConnectionException("the link is busy");
    }
    if (m_ClosePending)
        CloseSocket();
    if (!m_Connected || m_Fd < 0) {
        SetError("not connected");
        throw CTalvernConnectionException("not connected");
    }
    std::string error, answer;
    if (!talvern::SendAll(m_Fd, request + "\n", deadline, error) ||
        !talvern::ReadLine(m_Fd, deadline, answer, error)) {
        Fail(request + ": " + error);
    }
    if (!valid(answer))
        Fail(request + ": unexpected answer \"" + answer + "\"");
    return answer;
}

constexpr std::string_view kStatePrefix = "OK state=";

void TcpTalvernConnection::RefreshStatus() {
    if (!m_Connected)
        return;
    const std::string answer =
        Exchange("PING", [](const std::string& a) { return a.rfind(kStatePrefix, 0) == 0; });
    std::lock_guard lock(m_TextLock);
    m_Status = answer.substr(kStatePrefix.size());
}

bool TcpTalvernConnection::MayAbort() {
    return Exchange("MAYABORT", [](const std::string& a) { return a == "YES" || a == "NO"; }) ==
           "YES";
}

bool IsOk(const std::string& answer) {
    return answer == "OK";
}

void TcpTalvernConnection::RequestAbort() {
    Exchange("ABORT", IsOk);
}

void TcpTalvernConnection::SetVolumeSelection(bool on) {
    Exchange(on ? "VOI 1" : "VOI 0", IsOk);
}

std::string TcpTalvernConnection::LastStatus() const {
    std::lock_guard lock(m_TextLock);
    return m_Status;
}

std::string TcpTalvernConnection::LastError() const {
    std::lock_guard lock(m_TextLock);
    return m_Error;
}

}  // namespace

ITalvernConnection* CreateTalvernConnection() {
    return new (std::nothrow) TcpTalvernConnection;
}

bool DestroyTalvernConnection(ITalvernConnection* connection) {
    if (!connection)
        return false;
    delete connection;
    return true;
}
