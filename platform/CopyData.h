#pragma once
// The WM_COPYDATA stand-in: a synchronous record send to a named window.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zor::platform {

/// Largest accepted record payload (the text and its NUL).
inline constexpr uint32_t kMaxCopyDataBytes = 64 * 1024;
/// Time a connection has to deliver one whole record to the server, from its connection or from
/// the server's previous reply; a slower client is dropped and its slot freed.
inline constexpr int kCopyDataRecordLimitMs = 2000;
/// How long SendCopyData waits by default for the connection, the send and the reply.
inline constexpr int kCopyDataSendLimitMs = 30000;

/// Serves copy-data on a name (e.g. "ZorWindowClass"). Each record (uint32 dwData, uint32
/// cbData, cbData bytes of UTF-8 text with its NUL) from a peer of the same user id is handed
/// to `handler`, which the server calls on its own thread: the handler must itself run the
/// work on the user-interface thread and return when it is done (the shell uses a blocking
/// queued call). The server then replies uint32 0. Records over kMaxCopyDataBytes, records not
/// complete within kCopyDataRecordLimitMs and peers of other users are dropped without a reply.
/// Records are handled one at a time. The destructor waits for a running handler, so a handler
/// blocked on the user-interface thread must not be running when that thread destroys the server.
class CopyDataServer {
public:
    using Handler = std::function<void(uint32_t dwData, const std::string& text)>;
    /// nullptr when the name cannot be taken (another process holds it, the runtime folder is
    /// refused, or a socket error); `why` (if given) tells the reason.
    static std::unique_ptr<CopyDataServer> Start(const std::string& name, Handler handler,
                                                 std::string* why = nullptr);
    ~CopyDataServer();  ///< stops the thread and releases the name
    CopyDataServer(const CopyDataServer&) = delete;
    CopyDataServer& operator=(const CopyDataServer&) = delete;

private:
    struct Impl;
    explicit CopyDataServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_Impl;
};

enum class CopyDataResult {
    Delivered,  ///< the handler has run and the server replied
    Absent,     ///< nothing serves the name
    TooLarge,   ///< the text and its NUL exceed kMaxCopyDataBytes; nothing was sent
    Closed,     ///< the server closed the connection without a reply
    TimedOut,   ///< no connection, or no reply, within the time limit
    OtherUser,  ///< the name is served by another user id; nothing was sent
    Failed,     ///< the runtime folder is refused, or another socket error
};

/// The outcome of a send: true when delivered; `reason` says why not, for the user.
struct CopyDataSent {
    CopyDataResult result = CopyDataResult::Failed;
    std::string reason;
    explicit operator bool() const { return result == CopyDataResult::Delivered; }
};

/// Sends one record and waits for the reply, like SendMessage, but no longer than `timeoutMs`
/// (> 0) in all. A connection refused or closed before the record went out is retried for up
/// to a second, since a server may be starting or freeing a slot.
CopyDataSent SendCopyData(const std::string& name, uint32_t dwData, const std::string& text,
                          int timeoutMs = kCopyDataSendLimitMs);

}  // namespace zor::platform
