#include "platform/StatusChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <list>
#include <mutex>
#include <thread>

#include "platform/UnixSocket.h"

namespace zor::platform {

namespace {

constexpr size_t kMaxClients = 32;

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t GetLe32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                uint32_t(p[3]) << 24);
}

/// One connection served on its own thread.
struct Worker {
    sock::UniqueFd fd;
    std::thread thread;
    std::atomic<bool> done{false};
};

}  // namespace

struct StatusQueryServer::Impl {
    sock::UniqueFd listenFd;
    sock::UniqueFd stopFd;
    Handler handler;
    std::thread acceptThread;
    std::list<Worker> workers;  // touched by the accept thread, then by the destructor

    void Run();
    void Serve(Worker& w);
    void ReapFinished();
};

void StatusQueryServer::Impl::Run() {
    for (;;) {
        pollfd fds[2] = {{stopFd.Get(), POLLIN, 0}, {listenFd.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents & POLLIN)
            return;
        ReapFinished();
        for (;;) {
            sock::UniqueFd fd = sock::Accept(listenFd.Get());
            if (!fd.Valid())
                break;
            if (!sock::PeerIsSameUser(fd.Get()) || workers.size() >= kMaxClients)
                continue;
            Worker& w = workers.emplace_back();
            w.fd = std::move(fd);
            try {
                w.thread = std::thread(&Impl::Serve, this, std::ref(w));
            } catch (...) {
                workers.pop_back();
            }
        }
    }
}

void StatusQueryServer::Impl::Serve(Worker& w) {
    for (;;) {
        uint8_t request[8];
        if (sock::ReadExact(w.fd.Get(), request, sizeof request, -1, stopFd.Get()) !=
            sock::IoResult::Ok) {
            break;
        }
        int32_t result = 0;
        try {
            result = handler(GetLe32(request), GetLe32(request + 4));
        } catch (...) {
            break;  // no reply: the client counts the server as absent
        }
        uint8_t reply[4];
        PutLe32(reply, static_cast<uint32_t>(result));
        if (sock::WriteExact(w.fd.Get(), reply, sizeof reply, kStatusReplyLimitMs) !=
            sock::IoResult::Ok) {
            break;
        }
    }
    ::shutdown(w.fd.Get(), SHUT_RDWR);
    w.done = true;
}

void StatusQueryServer::Impl::ReapFinished() {
    for (auto it = workers.begin(); it != workers.end();) {
        if (it->done) {
            it->thread.join();
            it = workers.erase(it);
        } else {
            ++it;
        }
    }
}

StatusQueryServer::StatusQueryServer(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}

StatusQueryServer::~StatusQueryServer() {
    sock::Signal(m_Impl->stopFd.Get());  // wakes the accept loop and every worker
    if (m_Impl->acceptThread.joinable())
        m_Impl->acceptThread.join();
    for (Worker& w : m_Impl->workers) {
        if (w.thread.joinable())
            w.thread.join();
    }
}

std::unique_ptr<StatusQueryServer> StatusQueryServer::Start(const std::string& name,
                                                            Handler handler) {
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
        impl->acceptThread = std::thread(&Impl::Run, impl.get());
    } catch (...) {
        return nullptr;
    }
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
        if (::poll(&p, 1, 0) == 0)
            return true;
        ::close(m_Fd);
        m_Fd = -1;
    }
    sock::UniqueFd fd;
    if (sock::Connect(m_Name, m_ReplyLimitMs, fd) != sock::ConnectResult::Connected)
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
        return false;
    }
    result = GetLe32(reply);
    return true;
}

}  // namespace zor::platform
