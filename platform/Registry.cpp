#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/RegistryText.h"
#include "zor_io/RegularFile.h"

namespace zor::platform {

namespace {

namespace fs = std::filesystem;

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

std::string AboutFile(const fs::path& file, const std::string& what) {
    return "The registry file " + file.string() + " " + what;
}

void SetError(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
}

enum class ReadResult { Ok, Missing, Failed };

/// Reads the whole file without taking the lock: writers replace it atomically, so a reader sees
/// either the old or the new complete file. A FIFO, device or folder is refused without
/// blocking, and a file above kMaxRegistryFileBytes by its size, before anything is read.
ReadResult ReadWholeFile(const fs::path& file, std::string& text, std::string* error = nullptr) {
    std::string reason;
    switch (io::ReadWholeFile(file.string(), text, kMaxRegistryFileBytes, &reason)) {
        case io::ReadStatus::Ok:
            return ReadResult::Ok;
        case io::ReadStatus::Missing:
            SetError(error, AboutFile(file, "does not exist"));
            return ReadResult::Missing;
        case io::ReadStatus::NotRegular:
            SetError(error, AboutFile(file, "is not a regular file"));
            break;
        case io::ReadStatus::TooLarge:
            SetError(error, AboutFile(file, "is larger than " +
                                                std::to_string(kMaxRegistryFileBytes) + " bytes"));
            break;
        case io::ReadStatus::Error:
            SetError(error, "The registry file cannot be read: " + reason);
            break;
    }
    return ReadResult::Failed;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

/// The real file behind `file`, with every symbolic link resolved, so that all writers lock and
/// replace the same file whichever name they were given (a link at the registry path stays a
/// link: its target is replaced). A file that does not exist yet resolves through its folder.
fs::path RealFile(const fs::path& file) {
    auto resolve = [](const fs::path& p) -> std::optional<fs::path> {
        char* real = ::realpath(p.c_str(), nullptr);
        if (!real)
            return std::nullopt;
        fs::path result(real);
        std::free(real);
        return result;
    };
    if (auto real = resolve(file))
        return *real;
    if (auto folder = resolve(file.parent_path().empty() ? fs::path(".") : file.parent_path()))
        return *folder / file.filename();
    return file;
}

/// Takes the writers' lock: flock on "<real file>.lock". That file is never renamed or removed,
/// so all writers serialise on one inode (the registry file itself is replaced by every write
/// and cannot carry the lock). It is opened without following a symbolic link and must be a
/// regular file, so a link or FIFO planted there can neither make the program create or
/// truncate another file nor block it. The wait is bounded and polled: a stuck holder costs at
/// most `wait`, and nothing sleeps in the kernel where an exit signal could not end it.
/// Returns the locked descriptor, or -1 with `error` set.
int LockWriters(const fs::path& real, std::chrono::milliseconds wait, std::string& error) {
    const std::string path = real.string() + ".lock";
    // Read-only is enough for flock, and works on a lock file another user created.
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY;
    int fd = ::open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT)
        fd = ::open(path.c_str(), kFlags | O_CREAT, 0666);  // O_NOFOLLOW holds for the creation
    if (fd < 0 && errno != ELOOP) {
        error = "The registry lock file " + path + " cannot be opened: " + std::strerror(errno);
        return -1;
    }
    Fd opened(fd);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "The registry lock file " + path + " is not a regular file";
        return -1;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + wait;
    std::chrono::microseconds pause(200);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = "The registry lock file " + path + " cannot be locked: " + std::strerror(errno);
            return -1;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            error = AboutFile(real, "is locked by another process");
            return -1;
        }
        // Short pauses: a write holds the lock for about a millisecond, and a long pause would
        // let the waiters that poll more often starve this one.
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::microseconds(2000));
    }
    return opened.Release();
}

/// Writes `text` to a temporary file beside `target`, flushes it and renames it over `target`,
/// keeping the old file's permissions and owner. On any failure (disk full, file size limit) the
/// temporary file is removed and `target` is left as it was.
bool ReplaceFile(const fs::path& target, const std::string& text, const struct stat* old,
                 std::string& error) {
    // The temporary file is ".<name>.XXXXXX" in the target's folder.
    std::string tmpl =
        (target.parent_path() / ("." + target.filename().native() + ".XXXXXX")).string();
    Fd fd(::mkostemp(tmpl.data(), O_CLOEXEC));
    if (fd.Get() < 0) {
        error = AboutFile(target, "cannot be replaced: ") + std::strerror(errno);
        return false;
    }
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
    int failure = ok ? 0 : errno;
    if (::close(fd.Release()) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (ok && ::rename(tmpl.c_str(), target.c_str()) != 0) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        ::unlink(tmpl.c_str());
        error = AboutFile(target, "cannot be replaced: ") + std::strerror(failure);
    }
    // The folder is not flushed: after a power loss the rename may be lost, which leaves the
    // previous complete file; flushing it would double the cost of every write.
    return ok;
}

/// The read-modify-replace cycle of every write, serialised across processes by the writers'
/// lock of the real file. `edit` returns false (having set `error`) to abandon the write; an
/// unchanged text is not rewritten. `error` is empty after success.
bool ModifyLocked(const fs::path& file, bool createIfMissing, std::chrono::milliseconds wait,
                  std::string& error, const std::function<bool(std::string&)>& edit) {
    error.clear();
    const fs::path real = RealFile(file);
    const Fd lock(LockWriters(real, wait, error));
    if (lock.Get() < 0)
        return false;
    std::string text;
    const ReadResult read = ReadWholeFile(real, text, &error);
    if (read == ReadResult::Failed || (read == ReadResult::Missing && !createIfMissing))
        return false;
    error.clear();
    struct stat info {};
    if (read == ReadResult::Ok && ::stat(real.c_str(), &info) != 0) {
        error = AboutFile(real, "cannot be read: ") + std::strerror(errno);
        return false;
    }
    const std::string before = text;
    if (!edit(text))
        return false;
    if (read == ReadResult::Ok && text == before)
        return true;
    return ReplaceFile(real, text, read == ReadResult::Ok ? &info : nullptr, error);
}

/// The registry file and its folder (where the lock and temporary files live) are writable.
bool CanWrite(const fs::path& file, std::string* error) {
    const fs::path real = RealFile(file);
    const fs::path dir = real.parent_path().empty() ? fs::path(".") : real.parent_path();
    if (::access(real.c_str(), W_OK) == 0 && ::access(dir.c_str(), W_OK | X_OK) == 0)
        return true;
    SetError(error, AboutFile(real, "cannot be written: ") + std::strerror(errno));
    return false;
}

bool SectionExists(const std::string& keyPath, const fs::path& file, std::string* error) {
    std::string text;
    if (ReadWholeFile(file, text, error) != ReadResult::Ok)
        return false;
    if (regtext::ScanKey(text, keyPath).found)
        return true;
    SetError(error, AboutFile(file, "has no key " + keyPath));
    return false;
}

/// Replaces, appends or (value == nullptr) removes one value line of `keyPath` in `text`.
bool EditValue(std::string& text, const std::string& keyPath, const std::string& name,
               const RegValue* value, std::string& error) {
    const regtext::KeyScan scan = regtext::ScanKey(text, keyPath);
    if (!scan.found) {
        error = "The registry key " + keyPath + " is gone";
        return false;
    }
    const std::string_view eol = regtext::DetectEol(text);
    const regtext::ValueEntry* old = scan.Find(name);
    std::string line;
    if (value) {
        // A replaced value keeps the spelling of its name as the file has it.
        line = regtext::FormatValue(old ? old->name : name, *value, eol);
        if (line.empty()) {
            error = "The registry value name \"" + name + "\" cannot be written";
            return false;
        }
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
    // Hex data whose last line still ends with a backslash would take the new line as its
    // continuation: a blank line ends that data first.
    if (scan.openContinuation)
        line.insert(0, eol);
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
                                             const fs::path& file, std::string* error) {
    if (!SectionExists(keyPath, file, error))
        return std::nullopt;
    if (writable && !CanWrite(file, error))
        return std::nullopt;
    return RegistryKey(keyPath, file, writable);
}

std::optional<RegistryKey> RegistryKey::Create(const std::string& keyPath, const fs::path& file,
                                               std::string* error) {
    if (!regtext::IsValidKeyPath(keyPath)) {
        SetError(error, "The registry key " + keyPath + " cannot be written");
        return std::nullopt;
    }
    std::error_code ec;
    if (!file.parent_path().empty())
        fs::create_directories(file.parent_path(), ec);
    std::string reason;
    const bool ok =
        ModifyLocked(file, true, kRegistryLockWait, reason, [&keyPath](std::string& text) {
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
    if (!ok) {
        SetError(error, reason);
        return std::nullopt;
    }
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
    if (!m_Writable) {
        m_LastError = "The registry key " + m_KeyPath + " is open for reading only";
        return false;
    }
    return ModifyLocked(m_File, false, m_LockWait, m_LastError, [this, &values](std::string& text) {
        for (const auto& [name, value] : values) {
            if (!EditValue(text, m_KeyPath, name, &value, m_LastError))
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
    if (type != RegType::Sz && type != RegType::ExpandSz) {
        m_LastError = "A registry text value must be REG_SZ or REG_EXPAND_SZ";
        return false;
    }
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
    if (!m_Writable) {
        m_LastError = "The registry key " + m_KeyPath + " is open for reading only";
        return false;
    }
    return ModifyLocked(m_File, false, m_LockWait, m_LastError, [this, &name](std::string& text) {
        return EditValue(text, m_KeyPath, name, nullptr, m_LastError);
    });
}

}  // namespace zor::platform
