#include "platform/SocketServer.h"

#include <poll.h>

#include <atomic>
#include <cerrno>
#include <list>
#include <thread>

namespace zor::platform::sock {

namespace {

/// A connection served on its own thread; `done` is set as the thread's last step.
struct Worker {
    std::thread thread;
    std::atomic<bool> done{false};
};

}  // namespace

struct SocketServer::Impl {
    UniqueFd listenFd;
    UniqueFd stopFd;
    Mode mode = Mode::OnListeningThread;
    Handler handler;
    std::thread thread;
    std::list<Worker> workers;  // touched by the listening thread, then by the destructor

    void Run();
    void Serve(UniqueFd fd);
    void Call(UniqueFd fd) {
        try {
            if (handler)
                handler(std::move(fd), stopFd.Get());
        } catch (...) {
            // The connection closes; the server keeps serving.
        }
    }
    void JoinFinished();
};

void SocketServer::Impl::Run() {
    for (;;) {
        pollfd fds[2] = {{stopFd.Get(), POLLIN, 0}, {listenFd.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents & POLLIN)
            return;
        JoinFinished();
        for (UniqueFd fd = Accept(listenFd.Get()); fd.Valid(); fd = Accept(listenFd.Get())) {
            if (PeerIsSameUser(fd.Get()))
                Serve(std::move(fd));
        }
    }
}

void SocketServer::Impl::Serve(UniqueFd fd) {
    if (mode == Mode::OnListeningThread) {
        Call(std::move(fd));
        return;
    }
    if (workers.size() >= kMaxConnections)
        return;  // closed without a word
    Worker& w = workers.emplace_back();
    try {
        w.thread = std::thread([this, &w, connection = std::move(fd)]() mutable {
            Call(std::move(connection));
            w.done = true;
        });
    } catch (...) {
        workers.pop_back();
    }
}

void SocketServer::Impl::JoinFinished() {
    for (auto it = workers.begin(); it != workers.end();) {
        if (it->done) {
            it->thread.join();
            it = workers.erase(it);
        } else {
            ++it;
        }
    }
}

SocketServer::SocketServer(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}

SocketServer::~SocketServer() {
    Signal(m_Impl->stopFd.Get());  // wakes the listening thread and every handler
    if (m_Impl->thread.joinable())
        m_Impl->thread.join();
    for (Worker& w : m_Impl->workers) {
        if (w.thread.joinable())
            w.thread.join();
    }
}

std::unique_ptr<SocketServer> SocketServer::Start(const std::string& name, Mode mode,
                                                  Handler handler, bool& inUse) {
    auto impl = std::make_unique<Impl>();
    impl->listenFd = Listen(name, inUse);
    impl->stopFd = MakeStopEvent();
    impl->mode = mode;
    impl->handler = std::move(handler);
    if (!impl->listenFd.Valid() || !impl->stopFd.Valid())
        return nullptr;
    try {
        impl->thread = std::thread(&Impl::Run, impl.get());
    } catch (...) {
        return nullptr;
    }
    return std::unique_ptr<SocketServer>(new SocketServer(std::move(impl)));
}

}  // namespace zor::platform::sock
