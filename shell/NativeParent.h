#pragma once
#include <cstdint>

class QWindow;

namespace zor::shell {

/// The caller's native window for an id given by "#HANDLE" (an X11 window id on xcb), wrapped
/// for use as a parent; nullptr for 0, for an id the display does not know, and on platforms
/// without foreign windows (offscreen). The returned window is owned by the caller.
QWindow* FindForeignWindow(uint64_t id);

}  // namespace zor::shell
