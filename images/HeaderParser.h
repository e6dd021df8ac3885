#pragma once
// Parser of the comma-form description string ("key=value,key=value,...").
#include <string>

#include "platform/Parser.h"

namespace zor::images {

namespace detail {
/// Owns the parsed text before the CParser base (which keeps a reference to it) is built.
struct OwnedText {
    std::string m_OwnedText;
};
}  // namespace detail

/// Comma-form description parser: entries split at ",", empty entries skipped, each entry split
/// at its first "=". An entry without "=" or starting with "=" makes the whole text invalid.
/// Keys and values longer than 255 characters are cut to 255. One object per parse, one thread.
class CHeaderParser : private detail::OwnedText, public platform::CParser {
public:
    static constexpr int32_t kStateInvalid = -1;  ///< the text broke the grammar; no pairs
    static constexpr size_t kMaxField = 255;      ///< characters kept of a key or a value

    static constexpr int kFound = 1;
    static constexpr int kNotParsed = -2;
    static constexpr int kNotFound = -3;

    explicit CHeaderParser(std::string text)
        : detail::OwnedText{std::move(text)}, platform::CParser(m_OwnedText) {}

    void Parse() override;
    /// Looks up `key` (without "="): kFound with the first value, kNotParsed unless the parse
    /// succeeded, kNotFound when absent.
    int GetValue(const std::string& key, std::string& value) const;
};

}  // namespace zor::images
