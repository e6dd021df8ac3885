#pragma once
// The REGEDIT4 text grammar of the registry file: scanning one key and formatting value lines.
// Internal to the platform layer; RegistryKey is the public face.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace zor::platform::regtext {

/// ASCII case-insensitive equality, as key paths and value names compare.
bool EqualsNoCase(std::string_view a, std::string_view b);

/// One understood value line of the scanned key; [begin, end) covers its raw lines with their
/// terminators (several lines for hex data continued with a trailing backslash).
struct ValueEntry {
    std::string name;
    RegValue value;
    size_t begin = 0;
    size_t end = 0;
};

/// What a scan found for one key path. Several sections with the same path count as one key
/// (in file order); for a value named more than once the last understood line wins.
struct KeyScan {
    bool found = false;
    std::vector<ValueEntry> values;
    /// Where a new value line goes: after the last non-blank line of the last matching section.
    size_t insertAt = 0;
    /// The line before insertAt is hex data ending with a continuation backslash that the end of
    /// the key cut short; a line inserted there would be read as its continuation.
    bool openContinuation = false;
    const ValueEntry* Find(std::string_view name) const;
};

/// Scans `text` for the sections named `keyPath`. Lines that are not understood are ignored.
/// Hex data whose continuation backslash is followed by a section line or the end of the file
/// ends there.
KeyScan ScanKey(std::string_view text, std::string_view keyPath);

/// Parses one logical value line ("Name"=data, continuation lines already joined). False for a
/// line that is not an understood value line.
bool ParseValueLine(std::string_view line, std::string& name, RegValue& value);

/// Formats a value as regedit writes it, ending with `eol` (long hex data wrapped with
/// ",\" + eol + "  "). Empty when the value cannot be represented (e.g. a name with a line break).
std::string FormatValue(std::string_view name, const RegValue& value, std::string_view eol);

/// The line terminator the file uses ("\r\n" when its first line ends so, else "\n").
std::string_view DetectEol(std::string_view text);

/// True when `keyPath` can be a section name (no line break, no ']', not empty).
bool IsValidKeyPath(std::string_view keyPath);

/// UTF-16LE bytes (stopping at the first NUL code unit) to UTF-8, and UTF-8 to UTF-16LE bytes
/// with a terminating NUL.
std::string Utf16LeToUtf8(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> Utf8ToUtf16Le(std::string_view utf8);

}  // namespace zor::platform::regtext
