#include "platform/CopyData.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/SocketServer.h"
#include "platform/UnixSocket.h"

namespace zor::platform {

namespace {

constexpr int kStallLimitMs = 1000;  // a record that makes no progress this long is dropped
constexpr size_t kHeaderBytes = 8;
constexpr int kDefaultConnectMs = 5000;

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

struct CopyDataServer::Impl {
    Handler handler;
    std::mutex handling;  // records are handled one at a time
    std::unique_ptr<sock::SocketServer> server;

    /// Records of one connection in turn; the connection closes when one is refused, stalls,
    /// or is not answered.
    void Serve(sock::UniqueFd fd, int stopFd);
};

void CopyDataServer::Impl::Serve(sock::UniqueFd fd, int stopFd) {
    std::vector<uint8_t> text;
    for (;;) {
        uint8_t header[kHeaderBytes];
        if (sock::ReadExact(fd.Get(), header, sizeof header, kStallLimitMs, stopFd, true) !=
            sock::IoResult::Ok) {
            return;
        }
        const uint32_t cbData = ReadLe32(header + 4);
        if (cbData > kMaxCopyDataBytes)
            return;
        text.resize(cbData);
        if (sock::ReadExact(fd.Get(), text.data(), text.size(), kStallLimitMs, stopFd, true) !=
            sock::IoResult::Ok) {
            return;
        }
        const char* chars = reinterpret_cast<const char*>(text.data());
        // The record carries its own NUL; an empty record has no text at all.
        const size_t length = text.empty() ? 0 : ::strnlen(chars, text.size());
        {
            std::lock_guard<std::mutex> lock(handling);
            handler(ReadLe32(header), std::string(chars, length));  // throws: no reply
        }
        uint8_t reply[4];
        WriteLe32(reply, 0);
        if (sock::WriteExact(fd.Get(), reply, sizeof reply, 1000) != sock::IoResult::Ok)
            return;
    }
}

CopyDataServer::CopyDataServer(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}

CopyDataServer::~CopyDataServer() = default;

std::unique_ptr<CopyDataServer> CopyDataServer::Start(const std::string& name, Handler handler) {
    if (!handler)
        return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->handler = std::move(handler);
    bool inUse = false;
    impl->server = sock::SocketServer::Start(
        name, sock::SocketServer::Mode::ThreadPerConnection,
        [self = impl.get()](sock::UniqueFd fd, int stopFd) { self->Serve(std::move(fd), stopFd); },
        inUse);
    if (!impl->server)
        return nullptr;
    return std::unique_ptr<CopyDataServer>(new CopyDataServer(std::move(impl)));
}

bool SendCopyData(const std::string& name, uint32_t dwData, const std::string& text,
                  int timeoutMs) {
    if (text.size() + 1 > kMaxCopyDataBytes)
        return false;
    sock::UniqueFd fd;
    if (sock::Connect(name, timeoutMs > 0 ? timeoutMs : kDefaultConnectMs, fd) !=
        sock::ConnectResult::Connected) {
        return false;
    }
    std::vector<uint8_t> record(kHeaderBytes + text.size() + 1, 0);
    WriteLe32(record.data(), dwData);
    WriteLe32(record.data() + 4, static_cast<uint32_t>(text.size() + 1));
    std::memcpy(record.data() + kHeaderBytes, text.data(), text.size());
    const int limit = timeoutMs > 0 ? timeoutMs : -1;
    if (sock::WriteExact(fd.Get(), record.data(), record.size(), limit) != sock::IoResult::Ok)
        return false;
    uint8_t reply[4];
    return sock::ReadExact(fd.Get(), reply, sizeof reply, limit) == sock::IoResult::Ok &&
           ReadLe32(reply) == 0;
}

}  // namespace zor::platform
