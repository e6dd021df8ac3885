#pragma once
// Whether a program can show windows.

namespace zor::platform {

/// True when Qt will open windows a person can see: QT_QPA_PLATFORM, when set, names a platform
/// other than "offscreen"; otherwise DISPLAY or WAYLAND_DISPLAY is set.
bool HasDisplay();

}  // namespace zor::platform
