#pragma once
// The WM_COPYDATA stand-in: a synchronous record send to a named window.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zor::platform {

/// Largest accepted record payload.
inline constexpr uint32_t kMaxCopyDataBytes = 64 * 1024;

/// Serves copy-data on a name (e.g. "ZorWindowClass"). Each record (uint32 dwData, uint32
/// cbData, cbData bytes of UTF-8 text with its NUL) from a peer of the same user id is handed
/// to `handler`, which the server calls on its own thread: the handler must itself run the
/// work on the user-interface thread and return when it is done (the shell uses a blocking
/// queued call). The server then replies uint32 0. Records over kMaxCopyDataBytes, half-sent
/// records (1000 ms without progress) and peers of other users are dropped without a reply.
/// Records are handled one at a time. The destructor waits for a running handler, so a handler
/// blocked on the user-interface thread must not be running when that thread destroys the server.
class CopyDataServer {
public:
    using Handler = std::function<void(uint32_t dwData, const std::string& text)>;
    /// nullptr when the name cannot be taken (another process holds it, or a socket error).
    static std::unique_ptr<CopyDataServer> Start(const std::string& name, Handler handler);
    ~CopyDataServer();  ///< stops the thread and releases the name
    CopyDataServer(const CopyDataServer&) = delete;
    CopyDataServer& operator=(const CopyDataServer&) = delete;

private:
    struct Impl;
    explicit CopyDataServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_Impl;
};

/// Sends one record and waits for the reply (no time limit by default, like SendMessage;
/// timeoutMs > 0 bounds the wait). False when the name is absent or the exchange fails.
bool SendCopyData(const std::string& name, uint32_t dwData, const std::string& text,
                  int timeoutMs = 0);

}  // namespace zor::platform
