#include "platform/CopyData.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/UnixSocket.h"

namespace zor::platform {

namespace {

constexpr long long kStallLimitMs = 1000;  // a record that makes no progress this long is dropped
constexpr size_t kMaxClients = 32;
constexpr size_t kHeaderBytes = 8;
constexpr int kDefaultConnectMs = 5000;

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

/// One client connection of the server's poll loop, reading a record without blocking.
struct Connection {
    sock::UniqueFd fd;
    std::vector<uint8_t> buffer;
    size_t need = kHeaderBytes;
    long long deadline = 0;
};

}  // namespace

struct CopyDataServer::Impl {
    sock::UniqueFd listenFd;
    sock::UniqueFd stopFd;
    Handler handler;
    std::thread thread;
    std::vector<Connection> clients;

    void Run();
    void AcceptAll();
    /// Reads what is there; false when the connection is to be dropped.
    bool Serve(Connection& c);
    bool Dispatch(Connection& c);
};

void CopyDataServer::Impl::Run() {
    std::vector<pollfd> fds;
    for (;;) {
        const long long now = sock::NowMs();
        long long next = -1;
        fds.assign({{stopFd.Get(), POLLIN, 0}, {listenFd.Get(), POLLIN, 0}});
        for (const Connection& c : clients) {
            fds.push_back({c.fd.Get(), POLLIN, 0});
            next = next < 0 ? c.deadline : std::min(next, c.deadline);
        }
        const int timeout = next < 0 ? -1 : static_cast<int>(std::max(0LL, next - now));
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents & POLLIN)
            return;
        // Serve the existing clients first: `clients` and `fds` line up from index 2. A client
        // is judged stalled only when it has nothing to read, so time spent in the handler for
        // one client never drops another.
        std::vector<Connection> kept;
        kept.reserve(clients.size());
        for (size_t i = 0; i < clients.size(); ++i) {
            const bool ready = fds[i + 2].revents != 0;
            const bool keep = ready ? Serve(clients[i]) : clients[i].deadline > sock::NowMs();
            if (keep)
                kept.push_back(std::move(clients[i]));
        }
        clients = std::move(kept);
        if (fds[1].revents & POLLIN)
            AcceptAll();
    }
}

void CopyDataServer::Impl::AcceptAll() {
    for (;;) {
        sock::UniqueFd fd = sock::Accept(listenFd.Get());
        if (!fd.Valid())
            return;
        // Another user's process, or more clients than we serve: closed without a word.
        if (!sock::PeerIsSameUser(fd.Get()) || clients.size() >= kMaxClients)
            continue;
        Connection c;
        c.fd = std::move(fd);
        c.deadline = sock::NowMs() + kStallLimitMs;
        clients.push_back(std::move(c));
    }
}

bool CopyDataServer::Impl::Serve(Connection& c) {
    for (;;) {
        const size_t have = c.buffer.size();
        c.buffer.resize(c.need);
        const ssize_t n = ::recv(c.fd.Get(), c.buffer.data() + have, c.need - have, MSG_DONTWAIT);
        if (n <= 0) {
            c.buffer.resize(have);
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
        }
        c.buffer.resize(have + static_cast<size_t>(n));
        c.deadline = sock::NowMs() + kStallLimitMs;
        if (c.buffer.size() < c.need)
            continue;
        if (c.need == kHeaderBytes) {
            const uint32_t cbData = ReadLe32(c.buffer.data() + 4);
            if (cbData > kMaxCopyDataBytes)
                return false;
            c.need = kHeaderBytes + cbData;
            if (cbData > 0)
                continue;
        }
        if (!Dispatch(c))
            return false;
    }
}

bool CopyDataServer::Impl::Dispatch(Connection& c) {
    const uint32_t dwData = ReadLe32(c.buffer.data());
    const char* text = reinterpret_cast<const char*>(c.buffer.data() + kHeaderBytes);
    const size_t size = c.buffer.size() - kHeaderBytes;
    const size_t length = ::strnlen(text, size);  // the record carries its own NUL
    try {
        handler(dwData, std::string(text, length));
    } catch (...) {
        return false;  // no reply: the sender sees a failed send
    }
    uint8_t reply[4];
    WriteLe32(reply, 0);
    if (sock::WriteExact(c.fd.Get(), reply, sizeof reply, 1000) != sock::IoResult::Ok)
        return false;
    c.buffer.clear();
    c.need = kHeaderBytes;
    c.deadline = sock::NowMs() + kStallLimitMs;
    return true;
}

CopyDataServer::CopyDataServer(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}

CopyDataServer::~CopyDataServer() {
    sock::Signal(m_Impl->stopFd.Get());
    if (m_Impl->thread.joinable())
        m_Impl->thread.join();
}

std::unique_ptr<CopyDataServer> CopyDataServer::Start(const std::string& name, Handler handler) {
    if (!handler)
        return nullptr;
    auto impl = std::make_unique<Impl>();
    bool inUse = false;
    impl->listenFd = sock::Listen(name, inUse);
    impl->stopFd = sock::MakeStopEvent();
    impl->handler = std::move(handler);
    if (!impl->listenFd.Valid() || !impl->stopFd.Valid())
        return nullptr;
    try {
        impl->thread = std::thread(&Impl::Run, impl.get());
    } catch (...) {
        return nullptr;
    }
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
