#include "acquisition/DriverAnswerFile.h"

#include <fstream>

#include "acquisition/IWorkflow.h"
#include "platform/Parser.h"

namespace zor::acquisition {

namespace {

/// The file's first line without its line end; false when no line can be read or the line is
/// longer than any answer the driver writes (a damaged file is not read whole).
bool ReadFirstLine(const std::string& path, std::string& line) {
    constexpr std::size_t kMaxLine = 64 * 1024;
    std::ifstream in(path, std::ios::in);
    if (!in)
        return false;
    line.clear();
    char c = 0;
    while (in.get(c) && c != '\n') {
        if (line.size() >= kMaxLine)
            return false;
        line.push_back(c);
    }
    if (line.empty() && !in && c != '\n')
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

}  // namespace

bool ProcessDriverResponseFile(const std::string& path, IWorkflow& workflow) {
    std::string line;
    if (!ReadFirstLine(path, line))
        return false;
    platform::CInputParser answer(line);
    answer.Parse();
    std::string caller;
    if (!answer.FindValue("#CALLER", caller) || caller != "3")
        return false;
    return workflow.ProcessDriverAnswer(answer);
}

}  // namespace zor::acquisition
