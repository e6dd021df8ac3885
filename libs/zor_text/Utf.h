#pragma once
// UTF-8 <-> wide text: the one conversion used by the libraries and the application.
#include <string>
#include <string_view>

namespace zor::text {

/// UTF-8 to wide text (UTF-32, or UTF-16 where wchar_t has 16 bits). Each byte that does not
/// start a well-formed sequence (overlong forms, surrogates, values above U+10FFFF and
/// truncated sequences included) becomes U+FFFD; decoding resumes at the next byte.
std::wstring Utf8ToWide(std::string_view utf8);

/// Wide text to UTF-8; unpaired surrogates and values above U+10FFFF become U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

}  // namespace zor::text
