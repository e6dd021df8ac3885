#pragma once
// The registry stand-in: one REGEDIT4 text file holding both hives.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zor::platform {

/// Value types as regedit names them; "other" keeps hex(n) types as typed bytes.
enum class RegType : uint32_t {
    None = 0,      // REG_NONE
    Sz = 1,        // REG_SZ            "Name"="text"
    ExpandSz = 2,  // REG_EXPAND_SZ     "Name"=hex(2):.. or "Name"=str(2):"text"
    Binary = 3,    // REG_BINARY        "Name"=hex:..
    Dword = 4,     // REG_DWORD         "Name"=dword:0000003c
};

/// One value as read: its type number (any hex(n) n is kept) and its payload.
struct RegValue {
    uint32_t type = 0;           ///< a RegType value, or the n of hex(n)
    std::string text;            ///< REG_SZ / REG_EXPAND_SZ as UTF-8 (no terminator)
    uint32_t dword = 0;          ///< REG_DWORD
    std::vector<uint8_t> bytes;  ///< REG_BINARY and other typed bytes (raw payload)
};

/// A registry file larger than this is refused unread: reads find nothing (callers take their
/// defaults) and writes fail. An installation's file holds a few kilobytes; the limit keeps a
/// damaged or hostile file from costing seconds and hundreds of megabytes at every read.
inline constexpr uintmax_t kMaxRegistryFileBytes = 16 * 1024 * 1024;

/// How long a write waits by default for another writer's lock before giving up. A write holds
/// the lock for milliseconds; a longer hold means a stuck or hostile process.
inline constexpr std::chrono::milliseconds kRegistryLockWait{3000};

/// Path of the registry file: $ZOR_REGISTRY, else
/// ${XDG_CONFIG_HOME:-$HOME/.config}/vordal/registry.reg.
std::filesystem::path RegistryFilePath();

/// An open key of the registry file, e.g. "HKEY_LOCAL_MACHINE\software\vordal\orvix\talvern".
/// Key paths and value names compare case-insensitively. Every read re-reads the file without
/// locking; every write resolves symbolic links to the real file, locks the stable file
/// "<real file>.lock" (flock, waiting at most the key's lock wait), re-reads the file, changes
/// only that value, and replaces the file atomically (temporary file, fsync, rename); unknown and
/// malformed lines are kept byte for byte. docs/platform.md gives the grammar.
/// Not thread-safe per object; any number of objects and processes may use the same file.
class RegistryKey {
public:
    /// Opens an existing key. Fails (nullopt) when the file or the section is absent, and for
    /// writable=true also when the file cannot be written; `error` (when given) then says why.
    static std::optional<RegistryKey> Open(const std::string& keyPath, bool writable,
                                           const std::filesystem::path& file = RegistryFilePath(),
                                           std::string* error = nullptr);
    /// Creates the section if needed (used by set-up tools and tests; the program never creates
    /// keys).
    static std::optional<RegistryKey> Create(const std::string& keyPath,
                                             const std::filesystem::path& file = RegistryFilePath(),
                                             std::string* error = nullptr);

    /// Reads a value; nullopt when it is absent or its line cannot be understood.
    std::optional<RegValue> Query(const std::string& name) const;
    /// Writers return false when the key is read-only, its section has gone, the name holds a
    /// line break, another process holds the lock longer than the lock wait, or the file cannot
    /// be replaced (disk full, file size limit); the file is then unchanged and LastError() says
    /// why, naming the file.
    bool SetDword(const std::string& name, uint32_t value);
    bool SetString(const std::string& name, const std::string& utf8, RegType type = RegType::Sz);
    bool SetBytes(const std::string& name, uint32_t type, const std::vector<uint8_t>& bytes);
    bool Delete(const std::string& name);
    /// Writes several values in one locked rewrite (settings start-up creates up to eleven).
    /// A value with `bytes` is written as hex(n) data exactly; REG_SZ/REG_EXPAND_SZ without bytes
    /// from `text` (REG_SZ text with a line break or NUL goes to hex(1)); REG_DWORD without bytes
    /// as dword:. All or nothing: false leaves the file unchanged.
    bool SetValues(const std::vector<std::pair<std::string, RegValue>>& values);

    const std::string& Path() const { return m_KeyPath; }
    /// Why the last write failed; empty after a successful one.
    const std::string& LastError() const { return m_LastError; }
    /// How long later writes wait for another writer's lock (kRegistryLockWait by default).
    void SetLockWait(std::chrono::milliseconds wait) { m_LockWait = wait; }

private:
    RegistryKey(std::string keyPath, std::filesystem::path file, bool writable);
    std::string m_KeyPath;
    std::filesystem::path m_File;
    bool m_Writable = false;
    std::chrono::milliseconds m_LockWait = kRegistryLockWait;
    std::string m_LastError;
};

}  // namespace zor::platform
