#pragma once
// The exit signals (SIGTERM, SIGINT, SIGHUP) as an event of a Qt event loop.
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace zor::platform {

/// Calls `onExitSignal` on the event loop's thread whenever an exit signal arrived, through the
/// pipe of InstallExitSignalPipe (which the program should still call first thing, so that a
/// signal during start-up is kept). Null when the pipe could not be made. The returned notifier
/// must not outlive the QCoreApplication.
std::unique_ptr<QSocketNotifier> WatchExitSignals(std::function<void()> onExitSignal);

}  // namespace zor::platform
