#pragma once
// The activity log: one time-stamped line per status message, appended under the install folder.
#include <ctime>
#include <filesystem>
#include <string>

namespace zor::shell {

/// Removes every carriage return and line feed, wherever it stands.
std::string RemoveLineBreaks(std::string text);

/// "YYYY/MM/DD - hh:mm:ss - text" (year at least four digits, the rest two).
std::string FormatLogLine(const std::tm& localTime, const std::string& text);

/// The log file: InstallDir/config_zor/log.txt.
std::filesystem::path ActivityLogPath(const std::string& installDir);

/// Appends one line for `text` (already without line breaks; nothing for an empty text).
/// Failures are silent by design: the message is still shown, only the log misses it.
void AppendToActivityLog(const std::string& installDir, const std::string& text);

}  // namespace zor::shell
