#pragma once
// The driver status-message stand-in: int32 query/reply on a named socket.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zor::platform {

inline constexpr int kStatusReplyLimitMs = 5000;

/// Serves status queries on a name (the driver program uses "CDeviceDriverHostApp"). Each
/// request is int32 wParam, int32 lParam; the handler's result is sent back as int32. A
/// connection may carry several queries in turn; each connection is served on its own thread.
/// Peers of another user id are refused.
class StatusQueryServer {
public:
    using Handler = std::function<int32_t(int32_t wParam, int32_t lParam)>;
    /// nullptr when the name cannot be taken; `why` (if given) tells the reason.
    static std::unique_ptr<StatusQueryServer> Start(const std::string& name, Handler handler,
                                                    std::string* why = nullptr);
    ~StatusQueryServer();
    StatusQueryServer(const StatusQueryServer&) = delete;
    StatusQueryServer& operator=(const StatusQueryServer&) = delete;

private:
    struct Impl;
    explicit StatusQueryServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_Impl;
};

/// A client connection to the status server; reconnects on the next query after a failure.
/// A server running under another user id is never found.
class StatusQueryClient {
public:
    explicit StatusQueryClient(std::string name, int replyLimitMs = kStatusReplyLimitMs);
    ~StatusQueryClient();
    StatusQueryClient(const StatusQueryClient&) = delete;  // owns a descriptor
    StatusQueryClient& operator=(const StatusQueryClient&) = delete;
    /// True when the name accepts a connection ("the driver window is found").
    bool Find();
    /// Sends one query; false when the server is absent or gives no reply within the limit
    /// (which counts as an absent driver window). `result` is set only on success.
    bool Query(int32_t wParam, int32_t lParam, int32_t& result);
    /// Why the last Find or Query failed, for the user; empty after a success.
    const std::string& LastError() const { return m_LastError; }

private:
    std::string m_Name;
    std::string m_LastError;
    int m_ReplyLimitMs;
    int m_Fd = -1;
};

}  // namespace zor::platform
