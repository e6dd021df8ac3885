#pragma once
// One listening thread for the named objects and the two channels. Internal to the platform
// layer.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/UnixSocket.h"

namespace zor::platform::sock {

/// Listens on a name and hands each connection from a peer of this user id to a handler;
/// connections of other users are closed unserved. While every connection slot is taken, new
/// connections wait in the listen backlog (and a connecting client waits for room there) until
/// a handler returns. The destructor makes the stop event readable (handlers waiting on it
/// return), then joins every thread before the name is released.
class SocketServer {
public:
    /// `fd` is the accepted connection (non-blocking); closing it ends the connection.
    /// `stopFd` becomes readable for good when the server stops.
    using Handler = std::function<void(UniqueFd fd, int stopFd)>;
    enum class Mode {
        OnListeningThread,    ///< one connection at a time, on the listening thread
        ThreadPerConnection,  ///< each on a thread of its own, at most `maxConnections` at once
    };
    static constexpr size_t kMaxConnections = 32;

    /// nullptr when the name cannot be taken (inUse=true: another process holds it); `why`
    /// tells the reason.
    static std::unique_ptr<SocketServer> Start(const std::string& name, Mode mode, Handler handler,
                                               bool& inUse, std::string& why);
    ~SocketServer();
    SocketServer(const SocketServer&) = delete;
    SocketServer& operator=(const SocketServer&) = delete;

private:
    struct Impl;
    explicit SocketServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_Impl;
};

}  // namespace zor::platform::sock
