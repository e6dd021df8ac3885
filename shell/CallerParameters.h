#pragma once
// The caller-parameter channel: what a parameter text changes in the workflow.
#include <QRect>
#include <cstdint>
#include <string>

namespace zor::acquisition {
class IWorkflow;
struct CallerState;
}  // namespace zor::acquisition

namespace zor::shell {

/// Applies a parameter text (a command line, or one forwarded by a second instance) to the
/// workflow's caller state. In phase 0 it stores the placement; "#PANORAMIC_FILEPATH" sets the
/// caller-panoramic mode only in phases 0 and 1; in phase 3 a "#FILEPARAM" response file goes to
/// the workflow's driver-answer processing, whose result is returned. Returns false when the
/// response file cannot be read or is not the driver's.
bool ApplyCallerParameters(const std::string& text, acquisition::IWorkflow& workflow);

/// The outer frame for the caller's placement: a size below 1 takes 95 % of the primary screen's
/// width or 90 % of its height; the size is then limited to the desktop (the union of all
/// screens) and the frame moved inside it, so absurd values cannot make a window of gigabytes or
/// overflow Qt's coordinates.
QRect CallerPlacement(const acquisition::CallerState& caller, const QRect& primaryScreen,
                      const QRect& desktop);

/// A copy-data record from a second instance: `dwData` 1 carries caller parameters, which are
/// applied; in phase 1 a caller's panoramic given that way is then opened. Others are ignored.
void HandleCopyData(uint32_t dwData, const std::string& text, acquisition::IWorkflow& workflow);

}  // namespace zor::shell
