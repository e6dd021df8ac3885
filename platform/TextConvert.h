#pragma once
// Conversions that keep the system's C-runtime semantics, locale-independent.
#include <string>
#include <string_view>

#include "zor_text/Utf.h"

namespace zor::platform {

/// _wtoi/atol: optional blanks and sign, then decimal digits up to the first non-digit;
/// no digits gives 0; out-of-range values saturate at the 32-bit limits.
int Atoi(std::string_view text);
/// _wtof/atof in the "C" locale: optional blanks, then the longest real number prefix; else 0.
double Atof(std::string_view text);

/// UTF-8 <-> wide text; invalid sequences become U+FFFD.
using text::Utf8ToWide;
using text::WideToUtf8;

}  // namespace zor::platform
