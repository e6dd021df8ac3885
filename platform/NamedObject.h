#pragma once
// Named objects: Unix stream sockets in a private runtime folder, each owned through a lock file.
#include <memory>
#include <string>

namespace zor::platform {

/// "<session>" is $ZOR_SESSION or, when unset or empty, "default".
std::string SessionName();
/// The folder of this session's named objects: "$XDG_RUNTIME_DIR/vordal/<session>", or without
/// an absolute XDG_RUNTIME_DIR "/tmp/vordal-<effective uid>/<session>". A session that is not a
/// plain file name of at most 80 bytes (it has a '/', begins with '.' or '#', or is longer)
/// appears as '#' and the 16 hex digits of its 64-bit FNV-1a hash.
std::string RuntimeFolder();
/// The socket of a name: "<RuntimeFolder()>/<name>", the name encoded like the session.
/// Its owner holds an exclusive flock on the same path with ".lock" appended.
std::string NamedObjectPath(const std::string& name);

/// True while a process holds the name (its lock file is locked). False when it is free, or when
/// the runtime folder cannot be used: then `why` (if given) tells the reason; it is cleared
/// otherwise.
bool NamedObjectExists(const std::string& name, std::string* why = nullptr);

/// Holds a name for as long as the object lives (the mutex stand-in). Connections to a held
/// name are accepted and closed at once on a background thread.
class NamedObject {
public:
    /// Takes the name. nullptr with alreadyExists=true when another process holds it;
    /// nullptr with alreadyExists=false on any other failure (e.g. a refused runtime folder).
    /// `why` (if given) tells the reason of a failure.
    static std::unique_ptr<NamedObject> Create(const std::string& name, bool& alreadyExists,
                                               std::string* why = nullptr);
    ~NamedObject();
    NamedObject(const NamedObject&) = delete;
    NamedObject& operator=(const NamedObject&) = delete;

private:
    struct Impl;
    explicit NamedObject(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_Impl;
};

}  // namespace zor::platform
