#include "shell/ActivityLog.h"

#include <algorithm>
#include <cstdio>

#include "platform/LocalTime.h"
#include "platform/Paths.h"
#include "zor_io/RegularFile.h"

namespace zor::shell {

std::string RemoveLineBreaks(std::string text) {
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }),
        text.end());
    return text;
}

std::string FormatLogLine(const std::tm& t, const std::string& text) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d - %02d:%02d:%02d - ", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return stamp + text;
}

std::filesystem::path ActivityLogPath(const std::string& installDir) {
    return platform::InstallPath(installDir, {"config_zor", "log.txt"});
}

void AppendToActivityLog(const std::string& installDir, const std::string& text) {
    if (text.empty())
        return;
    // A FIFO or device put in its place is refused rather than waited on: the log never blocks.
    std::FILE* file = zor::io::OpenRegularFile(ActivityLogPath(installDir).string(), "a");
    if (!file)
        return;
    const std::string line = FormatLogLine(platform::LocalTime(), text) + "\n";
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
}

}  // namespace zor::shell
