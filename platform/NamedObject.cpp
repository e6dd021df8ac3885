#include "platform/NamedObject.h"

#include <cstdlib>

#include "platform/SocketServer.h"
#include "platform/UnixSocket.h"

namespace zor::platform {

std::string SessionName() {
    if (const char* session = std::getenv("ZOR_SESSION"); session && *session)
        return session;
    return "default";
}

std::string RuntimeFolder() {
    const sock::RuntimeLocation location = sock::Location();
    return sock::FolderPath(location, location.folders.size());
}

std::string NamedObjectPath(const std::string& name) {
    return RuntimeFolder() + "/" + sock::FileComponent(name);
}

bool NamedObjectExists(const std::string& name, std::string* why) {
    std::string reason;
    const bool held = sock::IsHeld(name, reason);
    if (why)
        *why = reason;
    return held;
}

struct NamedObject::Impl {
    std::unique_ptr<sock::SocketServer> server;
};

NamedObject::NamedObject(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}

NamedObject::~NamedObject() = default;

std::unique_ptr<NamedObject> NamedObject::Create(const std::string& name, bool& alreadyExists,
                                                 std::string* why) {
    // A connection only proves the name is held: the handler-less server closes it at once.
    auto impl = std::make_unique<Impl>();
    std::string reason;
    impl->server = sock::SocketServer::Start(name, sock::SocketServer::Mode::OnListeningThread,
                                             nullptr, alreadyExists, reason);
    if (why)
        *why = reason;
    if (!impl->server)
        return nullptr;
    return std::unique_ptr<NamedObject>(new NamedObject(std::move(impl)));
}

}  // namespace zor::platform
