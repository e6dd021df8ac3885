#include "acquisition/DriverAnswerFile.h"

#include <cstdio>

#include "acquisition/IWorkflow.h"
#include "platform/Parser.h"
#include "zor_io/RegularFile.h"

namespace zor::acquisition {

namespace {

/// The file's first line without its line end; false when no line can be read or the line is
/// longer than any answer the driver writes (a damaged file is not read whole).
bool ReadFirstLine(const std::string& path, std::string& line) {
    constexpr std::size_t kMaxLine = 64 * 1024;
    std::FILE* in = zor::io::OpenRegularFile(path, "r");
    if (in == nullptr)
        return false;
    line.clear();
    int c = 0;
    bool tooLong = false;
    while ((c = std::getc(in)) != EOF && c != '\n') {
        if (line.size() >= kMaxLine) {
            tooLong = true;
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    std::fclose(in);
    if (tooLong || (line.empty() && c == EOF))
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
