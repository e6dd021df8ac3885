#include "platform/NamedObject.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/UnixSocket.h"

namespace zor::platform {

namespace {
constexpr int kExistsProbeMs = 200;
}

std::string SessionName() {
    if (const char* session = std::getenv("ZOR_SESSION"); session && *session)
        return session;
    return std::to_string(::getuid());
}

std::string AbstractName(const std::string& name) {
    return "vordal/" + SessionName() + "/" + name;
}

bool NamedObjectExists(const std::string& name) {
    sock::UniqueFd fd;
    const sock::ConnectResult r = sock::Connect(name, kExistsProbeMs, fd);
    // A holder whose backlog is full still holds the name.
    return r == sock::ConnectResult::Connected || r == sock::ConnectResult::Busy;
}

struct NamedObject::Impl {
    sock::UniqueFd listenFd;
    sock::UniqueFd stopFd;
    std::thread thread;

    void Run() {
        for (;;) {
            pollfd fds[2] = {{stopFd.Get(), POLLIN, 0}, {listenFd.Get(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[0].revents & POLLIN)
                return;
            while (sock::Accept(listenFd.Get()).Valid()) {
                // Closed at once: a connection only proves the name is held.
            }
        }
    }
};

NamedObject::NamedObject(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}

NamedObject::~NamedObject() {
    sock::Signal(m_Impl->stopFd.Get());
    if (m_Impl->thread.joinable())
        m_Impl->thread.join();
}

std::unique_ptr<NamedObject> NamedObject::Create(const std::string& name, bool& alreadyExists) {
    alreadyExists = false;
    auto impl = std::make_unique<Impl>();
    impl->listenFd = sock::Listen(name, alreadyExists);
    impl->stopFd = sock::MakeStopEvent();
    if (!impl->listenFd.Valid() || !impl->stopFd.Valid())
        return nullptr;
    try {
        impl->thread = std::thread(&Impl::Run, impl.get());
    } catch (...) {
        return nullptr;
    }
    return std::unique_ptr<NamedObject>(new NamedObject(std::move(impl)));
}

}  // namespace zor::platform
