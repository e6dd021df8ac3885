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
    Listener listener;
    UniqueFd stopFd;
    UniqueFd freedFd;  // readable when a connection thread has finished
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
        JoinFinished();
        // With every slot taken, connections are left in the backlog until a slot frees.
        const bool room = mode == Mode::OnListeningThread || workers.size() < kMaxConnections;
        pollfd fds[3] = {{stopFd.Get(), POLLIN, 0},
                         {freedFd.Get(), POLLIN, 0},
                         {room ? listener.Fd() : -1, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents & POLLIN)
            return;
        if (fds[1].revents & POLLIN)
            Drain(freedFd.Get());
        if (!(fds[2].revents & POLLIN))
            continue;
        while (mode == Mode::OnListeningThread || workers.size() < kMaxConnections) {
            UniqueFd fd = Accept(listener.Fd());
            if (!fd.Valid())
                break;
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
    Worker& w = workers.emplace_back();
    try {
        w.thread = std::thread([this, &w, connection = std::move(fd)]() mutable {
            Call(std::move(connection));
            w.done = true;
            Signal(freedFd.Get());
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
                                                  Handler handler, bool& inUse, std::string& why) {
    auto impl = std::make_unique<Impl>();
    const ListenResult listening = Listen(name, impl->listener, why);
    inUse = listening == ListenResult::InUse;
    if (listening != ListenResult::Listening)
        return nullptr;
    impl->stopFd = MakeStopEvent();
    impl->freedFd = MakeStopEvent();
    impl->mode = mode;
    impl->handler = std::move(handler);
    if (!impl->stopFd.Valid() || !impl->freedFd.Valid()) {
        why = "cannot create an event descriptor for " + name;
        return nullptr;
    }
    try {
        impl->thread = std::thread(&Impl::Run, impl.get());
    } catch (...) {
        why = "cannot start the thread serving " + name;
        return nullptr;
    }
    return std::unique_ptr<SocketServer>(new SocketServer(std::move(impl)));
}

}  // namespace zor::platform::sock
