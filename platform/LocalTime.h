#pragma once
#include <ctime>
#include <string>

namespace zor::platform {

/// strftime of the local time `t` (default: now) in the "C" locale, e.g. "%Y-%m-%d_%H-%M-%S".
std::string FormatLocalTime(const char* format, std::time_t t = std::time(nullptr));
/// Broken-down local time of `t`.
std::tm LocalTime(std::time_t t = std::time(nullptr));

}  // namespace zor::platform
