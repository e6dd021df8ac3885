#include "platform/StatusChannel.h"

#include <poll.h>
#include <unistd.h>

#include "platform/SocketServer.h"
#include "platform/UnixSocket.h"

namespace zor::platform {

namespace {

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t GetLe32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                uint32_t(p[3]) << 24);
}

}  // namespace

struct StatusQueryServer::Impl {
    std::unique_ptr<sock::SocketServer> server;
};

StatusQueryServer::StatusQueryServer(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}

StatusQueryServer::~StatusQueryServer() = default;

std::unique_ptr<StatusQueryServer> StatusQueryServer::Start(const std::string& name,
                                                            Handler handler, std::string* why) {
    if (!handler)
        return nullptr;
    // Queries of one connection in turn until the peer leaves or the server stops.
    auto serve = [handler = std::move(handler)](sock::UniqueFd fd, int stopFd) {
        for (;;) {
            uint8_t request[8];
            if (sock::ReadExact(fd.Get(), request, sizeof request, -1, stopFd) !=
                sock::IoResult::Ok) {
                return;
            }
            // A throwing handler ends the connection without a reply: the client counts the
            // server as absent.
            const int32_t result = handler(GetLe32(request), GetLe32(request + 4));
            uint8_t reply[4];
            PutLe32(reply, static_cast<uint32_t>(result));
            if (sock::WriteExact(fd.Get(), reply, sizeof reply, kStatusReplyLimitMs) !=
                sock::IoResult::Ok) {
                return;
            }
        }
    };
    auto impl = std::make_unique<Impl>();
    bool inUse = false;
    std::string reason;
    impl->server = sock::SocketServer::Start(name, sock::SocketServer::Mode::ThreadPerConnection,
                                             std::move(serve), inUse, reason);
    if (why)
        *why = reason;
    if (!impl->server)
        return nullptr;
    return std::unique_ptr<StatusQueryServer>(new StatusQueryServer(std::move(impl)));
}

StatusQueryClient::StatusQueryClient(std::string name, int replyLimitMs)
    : m_Name(std::move(name)),
      m_ReplyLimitMs(replyLimitMs > 0 ? replyLimitMs : kStatusReplyLimitMs) {}

StatusQueryClient::~StatusQueryClient() {
    if (m_Fd >= 0)
        ::close(m_Fd);
}

bool StatusQueryClient::Find() {
    if (m_Fd >= 0) {
        // The server never speaks first: anything readable is its hang-up.
        pollfd p{m_Fd, POLLIN, 0};
        if (::poll(&p, 1, 0) == 0) {
            m_LastError.clear();
            return true;
        }
        ::close(m_Fd);
        m_Fd = -1;
    }
    sock::UniqueFd fd;
    if (sock::Connect(m_Name, m_ReplyLimitMs, fd, m_LastError) != sock::ConnectResult::Connected)
        return false;
    m_Fd = fd.Release();
    return true;
}

bool StatusQueryClient::Query(int32_t wParam, int32_t lParam, int32_t& result) {
    if (!Find())
        return false;
    uint8_t request[8];
    PutLe32(request, static_cast<uint32_t>(wParam));
    PutLe32(request + 4, static_cast<uint32_t>(lParam));
    uint8_t reply[4];
    const bool ok =
        sock::WriteExact(m_Fd, request, sizeof request, m_ReplyLimitMs) == sock::IoResult::Ok &&
        sock::ReadExact(m_Fd, reply, sizeof reply, m_ReplyLimitMs) == sock::IoResult::Ok;
    if (!ok) {
        // A late reply would answer the next query: start that one on a fresh connection.
        ::close(m_Fd);
        m_Fd = -1;
        m_LastError = m_Name + " gave no answer within " + std::to_string(m_ReplyLimitMs) + " ms";
        return false;
    }
    result = GetLe32(reply);
    return true;
}

}  // namespace zor::platform
