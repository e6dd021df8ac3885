#pragma once
// The caller-parameter channel: what the main window keeps from a parameter text.
#include <cstdint>
#include <string>

namespace zor::acquisition {
class IWorkflow;
}

namespace zor::shell {

/// Values the main window keeps from the caller's parameters; lives as long as the window.
struct CallerState {
    int32_t Left = 0;  ///< requested placement, screen pixels
    int32_t Top = 0;
    int32_t Width = 0;   ///< 0 or less: 95% of the screen width
    int32_t Height = 0;  ///< 0 or less: 90% of the screen height
    std::string PatientName;
    std::string PanoramicPath;
    bool CallerPanoramicMode = false;
};

/// Applies a parameter text (a command line, or one forwarded by a second instance).
/// In phase 0 it stores the placement; in phase 3 a "#FILEPARAM" response file whose first line
/// names "#CALLER" 3 goes to the workflow's driver-answer processing, whose result is returned.
/// Returns false when the response file cannot be read or is not the driver's.
bool ApplyCallerParameters(const std::string& text, CallerState& state,
                           acquisition::IWorkflow& workflow);

}  // namespace zor::shell
