#pragma once
// The small interfaces through which the logic reaches the operator. The main window implements
// them; tests replace them with recorders. All calls happen on the user-interface thread.
#include <array>
#include <optional>
#include <string>

#include "platform/WindowIds.h"

namespace zor {

/// The status line and activity log (LogMessage of the main window).
class IStatusSink {
public:
    virtual ~IStatusSink() = default;
    /// `text` is UTF-8 and may be empty (clears the line, logs nothing). `level` is 0 error,
    /// 1 information, 2 warning, anything else no icon. `autoClear` clears the line 3000 ms later.
    virtual void LogMessage(const std::string& text, bool bold, int level, bool autoClear) = 0;
    /// Shows `text` in the status line without an icon and without logging it (a value that
    /// follows the mouse). By default nothing is shown.
    virtual void ShowStatusText(const std::string& /*text*/) {}
};

/// The workflow's blocking error display (implemented by the workflow, used by the layers below).
class IWorkflowErrors {
public:
    virtual ~IWorkflowErrors() = default;
    /// Shows a blocking workflow error: `title` and `text` as given (tags already translated);
    /// `restart` asks the workflow to go back to step 1 first.
    virtual void ShowWorkflowError(const std::string& title, const std::string& text,
                                   bool restart) = 0;
};

/// What the step window shows: a title and four lines, each with a picture (full paths; an
/// empty path shows no picture and hides its line). Texts are already translated.
struct StepContent {
    std::string Title;
    std::array<std::string, 4> Lines;
    std::array<std::string, 4> Bitmaps;
};

/// The step window: instructions and errors of the workflow.
class IStepWindow {
public:
    virtual ~IStepWindow() = default;
    /// Hides the info and step windows, fills the step window and shows it centred on top.
    virtual void ShowStep(const StepContent& content) = 0;
    virtual void HideStep() = 0;
    /// Shows `title` and `firstLine` alone, repaints the main window at once, then blocks user
    /// input for `waitMs` milliseconds (the window keeps painting).
    virtual void ShowStepWindowAndWait(const std::string& title, const std::string& firstLine,
                                       int waitMs) = 0;
};

/// The info window: one framed message over the main window.
class IInfoWindow {
public:
    virtual ~IInfoWindow() = default;
    virtual void ShowInfo(const std::string& text) = 0;
    virtual void HideInfo() = 0;
};

/// The progress window of the volume computation.
class IProgressWindow {
public:
    virtual ~IProgressWindow() = default;
    /// Shows the window centred with its bar at 0.
    virtual void ShowProgress() = 0;
    virtual void HideProgress() = 0;
};

/// The main window's timers by id; setting a running timer restarts it with the new period.
class ITimers {
public:
    virtual ~ITimers() = default;
    virtual void SetTimer(TimerId id, int periodMs) = 0;
    virtual void KillTimer(TimerId id) = 0;
};

/// The main window itself as the logic drives it: its button column, cursor, title and life.
class IMainWindow {
public:
    virtual ~IMainWindow() = default;
    /// Places and shows the button column for `phase` (the start button follows the workflow's
    /// own phase), with the back/exit picture and tooltip and the export tooltip of that phase.
    virtual void ShowButtonsForPhase(int phase, bool lastPanoramic, bool lastTomosynthesis) = 0;
    virtual void SetButtonVisible(CommandId button, bool visible) = 0;
    /// Marks `button` as the active tool (flat) and clears the other tool buttons; nullopt
    /// clears them all.
    virtual void MarkToolButton(std::optional<CommandId> button) = 0;
    /// Gives `button` the picture of bitmap resource `bitmap`. By default nothing changes.
    virtual void SetButtonBitmap(CommandId /*button*/, int /*bitmap*/) {}
    virtual void SetCursor(CursorId cursor) = 0;
    /// The wait cursor over the whole program while `busy`.
    virtual void SetWaitCursor(bool busy) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    /// Repaints the whole window.
    virtual void Invalidate() = 0;
    /// Ends the program: destroys the main window; the event loop then ends.
    virtual void Close() = 0;
};

}  // namespace zor
