#include "platform/NamedObject.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/SocketServer.h"
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
    std::unique_ptr<sock::SocketServer> server;
};

NamedObject::NamedObject(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}

NamedObject::~NamedObject() = default;

std::unique_ptr<NamedObject> NamedObject::Create(const std::string& name, bool& alreadyExists) {
    // A connection only proves the name is held: the handler-less server closes it at once.
    auto impl = std::make_unique<Impl>();
    impl->server = sock::SocketServer::Start(name, sock::SocketServer::Mode::OnListeningThread,
                                             nullptr, alreadyExists);
    if (!impl->server)
        return nullptr;
    return std::unique_ptr<NamedObject>(new NamedObject(std::move(impl)));
}

}  // namespace zor::platform
