#pragma once
// Conversions that keep the system's C-runtime semantics, locale-independent.
#include <string>
#include <string_view>

namespace zor::platform {

/// _wtoi/atol: optional blanks and sign, then decimal digits up to the first non-digit;
/// no digits gives 0; out-of-range values saturate at the 32-bit limits.
int Atoi(std::string_view text);
/// _wtof/atof in the "C" locale: optional blanks, then the longest real number prefix; else 0.
double Atof(std::string_view text);

/// UTF-8 <-> wide text (UTF-32 on this platform); invalid UTF-8 bytes become U+FFFD.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

}  // namespace zor::platform
