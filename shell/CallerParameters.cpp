#include "shell/CallerParameters.h"

#include <algorithm>

#include "acquisition/DriverAnswerFile.h"
#include "acquisition/IWorkflow.h"
#include "platform/Parser.h"
#include "platform/TextConvert.h"

namespace zor::shell {

namespace {

std::string WithoutQuotes(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    return text;
}

}  // namespace

bool ApplyCallerParameters(const std::string& text, acquisition::IWorkflow& workflow) {
    acquisition::CallerState& state = workflow.Caller();
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
    return acquisition::ProcessDriverResponseFile(responseFile, workflow);
}

QRect CallerPlacement(const acquisition::CallerState& caller, const QRect& primaryScreen,
                      const QRect& desktop) {
    // 64-bit arithmetic: the caller's values may be anything an int holds.
    const auto within = [](long long value, long long low, long long high) {
        return static_cast<int>(std::clamp(value, low, std::max(low, high)));
    };
    const long long width =
        caller.Width < 1 ? static_cast<long long>(primaryScreen.width() * 0.95) : caller.Width;
    const long long height =
        caller.Height < 1 ? static_cast<long long>(primaryScreen.height() * 0.9) : caller.Height;
    const int w = within(width, 1, desktop.width());
    const int h = within(height, 1, desktop.height());
    const int left = within(caller.Left, desktop.left(), desktop.left() + desktop.width() - w);
    const int top = within(caller.Top, desktop.top(), desktop.top() + desktop.height() - h);
    return QRect(left, top, w, h);
}

void HandleCopyData(uint32_t dwData, const std::string& text, acquisition::IWorkflow& workflow) {
    if (dwData != 1)
        return;
    ApplyCallerParameters(text, workflow);
    if (workflow.Caller().CallerPanoramicMode && workflow.WorkflowPhase() == 1)
        workflow.OpenCallerPanoramic();
}

}  // namespace zor::shell
