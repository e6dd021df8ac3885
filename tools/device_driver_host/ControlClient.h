#pragma once
// The client side of the running driver program: control actions for scripts and tests, and a
// one-line status summary read through the status channel.
#include <string>

namespace zor::device {

struct ControlReply {
    int ExitCode = 1;  ///< 0 accepted, 1 refused or the driver program is not reachable
    std::string Text;  ///< "ok <action> | <status>" / "refused <action> | <status>" / the reason
};

/// Hands one action to the running driver program and reads whether it was accepted.
ControlReply SendControl(const std::string& action);

/// "state=4 error=0 lock=1 size=6 acquiring=0 ..." from the status channel; empty when the
/// driver program does not answer.
std::string StatusSummary();

}  // namespace zor::device
