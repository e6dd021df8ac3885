#include "shell/CallerParameters.h"

#include <algorithm>
#include <fstream>

#include "acquisition/Workflow.h"
#include "platform/Parser.h"
#include "platform/TextConvert.h"

namespace zor::shell {

namespace {

std::string WithoutQuotes(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    return text;
}

/// The response file's first line, without its line end; false when no line can be read or the
/// line is longer than any answer the driver writes (a damaged file is not read whole).
bool ReadFirstLine(const std::string& path, std::string& line) {
    constexpr std::streamsize kMaxLine = 64 * 1024;
    std::ifstream in(path, std::ios::in);
    if (!in)
        return false;
    line.clear();
    char c = 0;
    while (in.get(c) && c != '\n') {
        if (static_cast<std::streamsize>(line.size()) >= kMaxLine)
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

bool ApplyCallerParameters(const std::string& text, CallerState& state,
                           acquisition::IWorkflow& workflow) {
    std::string left, top, width, height, responseFile;
    const int32_t phase = workflow.WorkflowPhase();

    platform::CInputParser parser(text);
    parser.Parse();
    for (const auto& [key, value] : parser.Pairs()) {
        if (key == "#LEFT") {
            left = value;
        } else if (key == "#TOP") {
            top = value;
        } else if (key == "#WIDTH") {
            width = value;
        } else if (key == "#HEIGHT") {
            height = value;
        } else if (key == "#PATIENT_NAME") {
            state.PatientName = WithoutQuotes(value);
        } else if (key == "#PANORAMIC_FILEPATH") {
            state.PanoramicPath = WithoutQuotes(value);
            if (phase == 0 || phase == 1)
                state.CallerPanoramicMode = true;
        } else if (key == "#FILEPARAM") {
            responseFile = value;
        }
    }

    if (phase == 0) {
        state.Left = platform::Atoi(left);
        state.Top = platform::Atoi(top);
        state.Width = platform::Atoi(width);
        state.Height = platform::Atoi(height);
        return true;
    }
    if (responseFile.empty() || phase != 3)
        return true;

    std::string line;
    if (!ReadFirstLine(responseFile, line))
        return false;
    platform::CInputParser answer(line);
    answer.Parse();
    std::string caller;
    if (!answer.FindValue("#CALLER", caller) || caller != "3")
        return false;
    return workflow.ProcessDriverAnswer(answer);
}

}  // namespace zor::shell
