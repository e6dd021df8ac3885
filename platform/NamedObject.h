#pragma once
// Named objects: abstract-namespace Unix stream sockets "vordal/<session>/<name>".
#include <memory>
#include <string>

namespace zor::platform {

/// "<session>" is $ZOR_SESSION or, when unset, the numeric user id.
std::string SessionName();
/// The full abstract name without the leading NUL: "vordal/<session>/<name>".
std::string AbstractName(const std::string& name);

/// True when a process holds the name: a connection is accepted within 200 ms, or waits that
/// long because the holder's backlog is full. A refused connection means the name is free.
bool NamedObjectExists(const std::string& name);

/// Holds a name for as long as the object lives (the mutex stand-in). Connections to a held
/// name are accepted and closed at once on a background thread.
class NamedObject {
public:
    /// Takes the name. nullptr with alreadyExists=true when another process holds it;
    /// nullptr with alreadyExists=false on any other failure.
    static std::unique_ptr<NamedObject> Create(const std::string& name, bool& alreadyExists);
    ~NamedObject();
    NamedObject(const NamedObject&) = delete;
    NamedObject& operator=(const NamedObject&) = delete;

private:
    struct Impl;
    explicit NamedObject(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_Impl;
};

}  // namespace zor::platform
