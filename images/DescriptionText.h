#pragma once
// Bounded description text and the "C"-locale number formatting used to compose it.
#include <cstddef>
#include <string>
#include <string_view>

namespace zor::images {

/// An 8-bit description text that never grows past 999 characters (1000 bytes with its NUL).
/// Entries are appended whole: the first entry that does not fit, and every entry after it,
/// is dropped and the text is marked truncated, so the kept text stays a valid description.
class DescriptionText {
public:
    static constexpr size_t kCapacity = 1000;  ///< bytes including the terminating NUL

    void Clear() {
        m_Text.clear();
        m_Truncated = false;
    }
    /// Appends `piece` when it fits completely and nothing was dropped before; else drops it.
    void Append(std::string_view piece);
    /// Replaces the text with `text`, cut after its last whole entry that fits when too long.
    void AssignClipped(std::string_view text);

    const std::string& Str() const { return m_Text; }
    const char* CStr() const { return m_Text.c_str(); }
    size_t Size() const { return m_Text.size(); }
    bool Empty() const { return m_Text.empty(); }
    bool Truncated() const { return m_Truncated; }

private:
    std::string m_Text;
    bool m_Truncated = false;
};

/// printf "%d" in the "C" locale.
std::string FormatInt(long long value);
/// printf "%.<decimals>f" in the "C" locale ("nan"/"inf" as printf writes them).
std::string FormatFixed(double value, int decimals = 6);
/// Truncates toward zero into an int; NaN gives 0, out-of-range values saturate.
int TruncToInt(double value);

}  // namespace zor::images
