#pragma once
// SIGTERM, SIGINT and SIGHUP turned into an event the user-interface thread can watch.

namespace zor::platform {

/// Installs handlers for SIGTERM, SIGINT and SIGHUP that write the signal number (one byte)
/// to a pipe, and ignores SIGXFSZ (a write over the file-size limit then fails with EFBIG).
/// The program calls it first thing, so a signal during start-up is not lost. Returns the read end
/// (non-blocking, close-on-exec), or -1 on failure. Calling it again returns the same descriptor.
int InstallExitSignalPipe();

}  // namespace zor::platform
