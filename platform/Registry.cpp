#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "platform/RegistryText.h"

namespace zor::platform {

namespace {

namespace fs = std::filesystem;

constexpr off_t kMaxFileBytes = 256 * 1024 * 1024;

/// A descriptor closed on scope exit.
class Fd {
public:
    explicit Fd(int fd = -1) : m_Fd(fd) {}
    ~Fd() {
        if (m_Fd >= 0)
            ::close(m_Fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_Fd; }
    int Release() {
        const int fd = m_Fd;
        m_Fd = -1;
        return fd;
    }

private:
    int m_Fd;
};

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadWholeFile(const fs::path& file, std::string& text, struct stat* info = nullptr) {
    text.clear();
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));  // a FIFO must not block
    if (fd.Get() < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes)
        return ReadResult::Failed;
    if (info)
        *info = st;
    text.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    for (;;) {
        if (got == text.size())
            text.resize(got + 4096);  // the file may have grown
        const ssize_t n = ::read(fd.Get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ReadResult::Failed;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
        if (got > static_cast<size_t>(kMaxFileBytes))
            return ReadResult::Failed;
    }
    text.resize(got);
    return ReadResult::Ok;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

/// The file a write replaces: the target of a symbolic link, so the link itself stays.
fs::path ReplaceTarget(const fs::path& file) {
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {
        fs::path target = fs::canonical(file, ec);
        if (!ec)
            return target;
    }
    return file;
}

/// Writes `text` to a temporary file beside `target`, flushes it and renames it over `target`,
/// keeping the old file's permissions and owner.
bool ReplaceFile(const fs::path& target, const std::string& text, const struct stat* old) {
    // The temporary file is ".<name>.XXXXXX" in the target's folder.
    std::string name(".");
    name += target.filename().native();
    name += ".XXXXXX";
    std::string tmpl = target.parent_path().empty() ? name : (target.parent_path() / name).native();
    Fd fd(::mkostemp(tmpl.data(), O_CLOEXEC));
    if (fd.Get() < 0)
        return false;
    bool ok = true;
    if (old) {
        ok = ::fchmod(fd.Get(), old->st_mode & 07777) == 0;
        if (old->st_uid != ::geteuid() || old->st_gid != ::getegid())
            (void)!::fchown(fd.Get(), old->st_uid,
                            old->st_gid);  // only root can; others keep theirs
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::fchmod(fd.Get(), 0666 & ~mask) == 0;
    }
    ok = ok && WriteAll(fd.Get(), text) && ::fsync(fd.Get()) == 0;
    ok = (::close(fd.Release()) == 0) && ok;
    ok = ok && ::rename(tmpl.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(tmpl.c_str());
    // The folder is not flushed: after a power loss the rename may be lost, which leaves the
    // previous complete file; flushing it would double the cost of every write.
    return ok;
}

/// The read-modify-replace cycle of every write, serialised across processes by flock on the
/// stable lock file "<file>.lock" (the registry file itself is replaced, so it cannot carry the
/// lock). `edit` returns false to abandon the write; an unchanged text is not rewritten.
bool ModifyLocked(const fs::path& file, bool createIfMissing,
                  const std::function<bool(std::string&)>& edit) {
    // Read-only is enough for flock, and works on a lock file another user created.
    Fd lock(::open((file.string() + ".lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666));
    if (lock.Get() < 0)
        return false;
    while (::flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return false;
    }
    std::string text;
    struct stat info {};
    const ReadResult read = ReadWholeFile(file, text, &info);
    if (read == ReadResult::Failed || (read == ReadResult::Missing && !createIfMissing))
        return false;
    const std::string before = text;
    if (!edit(text))
        return false;
    if (read == ReadResult::Ok && text == before)
        return true;
    return ReplaceFile(ReplaceTarget(file), text, read == ReadResult::Ok ? &info : nullptr);
}

bool CanWrite(const fs::path& file) {
    const fs::path dir = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    return ::access(file.c_str(), W_OK) == 0 && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

bool SectionExists(const std::string& keyPath, const fs::path& file) {
    std::string text;
    return ReadWholeFile(file, text) == ReadResult::Ok && regtext::ScanKey(text, keyPath).found;
}

/// Replaces, appends or (value == nullptr) removes one value line of `keyPath` in `text`.
bool EditValue(std::string& text, const std::string& keyPath, const std::string& name,
               const RegValue* value) {
    const regtext::KeyScan scan = regtext::ScanKey(text, keyPath);
    if (!scan.found)
        return false;
    const std::string_view eol = regtext::DetectEol(text);
    const regtext::ValueEntry* old = scan.Find(name);
    std::string line;
    if (value) {
        // A replaced value keeps the spelling of its name as the file has it.
        line = regtext::FormatValue(old ? old->name : name, *value, eol);
        if (line.empty())
            return false;
    }
    if (old) {
        // Keep the old line's own terminator, so a last line without one stays without one.
        const bool hadEol = old->end > old->begin && text[old->end - 1] == '\n';
        if (value && !hadEol)
            line.resize(line.size() - eol.size());
        text.replace(old->begin, old->end - old->begin, line);
        return true;
    }
    if (!value)
        return true;
    if (scan.insertAt > 0 && text[scan.insertAt - 1] != '\n')
        line.insert(0, eol);
    text.insert(scan.insertAt, line);
    return true;
}

}  // namespace

fs::path RegistryFilePath() {
    if (const char* env = std::getenv("ZOR_REGISTRY"); env && *env)
        return fs::path(env);
    fs::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home && *home ? home : "/") / ".config";
    }
    return base / "vordal" / "registry.reg";
}

RegistryKey::RegistryKey(std::string keyPath, fs::path file, bool writable)
    : m_KeyPath(std::move(keyPath)), m_File(std::move(file)), m_Writable(writable) {}

std::optional<RegistryKey> RegistryKey::Open(const std::string& keyPath, bool writable,
                                             const fs::path& file) {
    if (!SectionExists(keyPath, file))
        return std::nullopt;
    if (writable && !CanWrite(file))
        return std::nullopt;
    return RegistryKey(keyPath, file, writable);
}

std::optional<RegistryKey> RegistryKey::Create(const std::string& keyPath, const fs::path& file) {
    if (!regtext::IsValidKeyPath(keyPath))
        return std::nullopt;
    std::error_code ec;
    if (!file.parent_path().empty())
        fs::create_directories(file.parent_path(), ec);
    const bool ok = ModifyLocked(file, true, [&keyPath](std::string& text) {
        if (regtext::ScanKey(text, keyPath).found)
            return true;
        const std::string_view eol = regtext::DetectEol(text);
        if (text.empty())
            text.append("REGEDIT4").append(eol);
        if (text.back() != '\n')
            text.append(eol);
        text.append(eol).append("[").append(keyPath).append("]").append(eol);
        return true;
    });
    if (!ok)
        return std::nullopt;
    return RegistryKey(keyPath, file, true);
}

std::optional<RegValue> RegistryKey::Query(const std::string& name) const {
    std::string text;
    if (ReadWholeFile(m_File, text) != ReadResult::Ok)
        return std::nullopt;
    const regtext::KeyScan scan = regtext::ScanKey(text, m_KeyPath);
    if (const regtext::ValueEntry* entry = scan.Find(name))
        return entry->value;
    return std::nullopt;
}

bool RegistryKey::SetValues(const std::vector<std::pair<std::string, RegValue>>& values) {
    if (!m_Writable)
        return false;
    return ModifyLocked(m_File, false, [this, &values](std::string& text) {
        for (const auto& [name, value] : values) {
            if (!EditValue(text, m_KeyPath, name, &value))
                return false;
        }
        return true;
    });
}

bool RegistryKey::SetDword(const std::string& name, uint32_t value) {
    RegValue v;
    v.type = static_cast<uint32_t>(RegType::Dword);
    v.dword = value;
    return SetValues({{name, v}});
}

bool RegistryKey::SetString(const std::string& name, const std::string& utf8, RegType type) {
    if (type != RegType::Sz && type != RegType::ExpandSz)
        return false;
    RegValue v;
    v.type = static_cast<uint32_t>(type);
    v.text = utf8;
    return SetValues({{name, v}});
}

bool RegistryKey::SetBytes(const std::string& name, uint32_t type,
                           const std::vector<uint8_t>& bytes) {
    RegValue v;
    v.type = type;
    v.bytes = bytes;
    if (type == static_cast<uint32_t>(RegType::Dword) && bytes.size() == 4) {
        v.dword = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                  uint32_t(bytes[3]) << 24;
        v.bytes.clear();  // an ordinary DWORD is written as dword:
    }
    return SetValues({{name, v}});
}

bool RegistryKey::Delete(const std::string& name) {
    if (!m_Writable)
        return false;
    return ModifyLocked(m_File, false, [this, &name](std::string& text) {
        return EditValue(text, m_KeyPath, name, nullptr);
    });
}

}  // namespace zor::platform
