#pragma once
// Named ids of the main window's commands, timers and posted messages. The numbers are the ones
// other programs and the window's resources use; code refers to the names only.

namespace zor {

/// Command ids: the tool buttons (1000-1015, 1020) and the context menu (2000-2002).
enum class CommandId : int {
    Brightness = 1000,
    Contrast = 1001,
    Gamma = 1002,
    Unsharp = 1003,
    FiltersReset = 1004,
    ExportSelected = 1005,
    ExportAll = 1006,
    BackOrExit = 1007,
    Zoom = 1008,
    Scrolling = 1009,
    StartTomosynthesis = 1010,
    LoadLastPanoramic = 1011,
    LoadLastTomosynthesis = 1012,
    Previous = 1013,
    Following = 1014,
    LoadPhantomPanoramic = 1015,
    Hidden = 1020,
    MenuBackOrExit = 2000,
    MenuAbout = 2001,
    MenuQuickStart = 2002,
};

/// Timer ids of the main window.
enum class TimerId : int {
    InfoHide = 1,        ///< hides the info window
    StepHide = 2,        ///< hides the step window after a logged display
    DevicePoll = 3,      ///< polls the device until it is ready
    StatusClear = 4,     ///< clears the status line
    ExposureWatch = 5,   ///< watches for the start of an exposure
    SelectionSteps = 6,  ///< refreshes the volume-selection instructions
};

/// Posted window messages, WM_USER + n.
enum class MessageId : int {
    NewPanoramic = 1,         ///< wParam 1 when the work folder's current panoramic exists
    ReconstructionEnded = 2,  ///< wParam non-zero on success
};

/// Cursor resources of the main window; `Arrow` is the standard arrow.
enum class CursorId : int {
    Arrow = 0,
    Zoom = 150,
    Band = 151,
    Level = 167,
    Gamma = 168,
    Edge = 181
};

inline constexpr int ToInt(CommandId id) {
    return static_cast<int>(id);
}
inline constexpr int ToInt(TimerId id) {
    return static_cast<int>(id);
}
inline constexpr int ToInt(MessageId id) {
    return static_cast<int>(id);
}

}  // namespace zor
