#pragma once
#include <QPoint>
#include <cstdint>

class QWindow;

namespace zor::shell {

/// The caller's native window for an id given by "#HANDLE" (an X11 window id on xcb), wrapped
/// for use as a parent; nullptr for 0, for an id the display does not know, and on platforms
/// without foreign windows (offscreen). The returned window is owned by the caller.
QWindow* FindForeignWindow(uint64_t id);

/// Converts a screen position into the client coordinates of the foreign window `parent`
/// (the position unchanged when the display cannot tell).
QPoint MapFromScreen(const QWindow& parent, const QPoint& screenPosition);

}  // namespace zor::shell
