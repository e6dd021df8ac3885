#pragma once
// The small interfaces through which the logic reaches the operator. The main window implements
// them; tests replace them with recorders. All calls happen on the user-interface thread.
#include <string>

namespace zor {

/// Severity of a status-line message.
enum class LogLevel : int { Error = 0, Information = 1, Warning = 2, None = 3 };

/// The status line and activity log (LogMessage of the main window).
class IStatusSink {
public:
    virtual ~IStatusSink() = default;
    /// `text` is UTF-8 and may be empty (clears the line, logs nothing). `level` is 0 error,
    /// 1 information, 2 warning, anything else no icon. `autoClear` clears the line 3000 ms later.
    virtual void LogMessage(const std::string& text, bool bold, int level, bool autoClear) = 0;
};

/// The step window of the workflow: instructions and blocking errors.
class IStepPresenter {
public:
    virtual ~IStepPresenter() = default;
    /// Shows a blocking workflow error: `title` and `text` as given (tags already translated);
    /// `restart` asks the workflow to go back to step 1 afterwards.
    virtual void ShowWorkflowError(const std::string& title, const std::string& text,
                                   bool restart) = 0;
};

}  // namespace zor
