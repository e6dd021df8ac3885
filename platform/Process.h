#pragma once
// Processes: enumeration by executable name and detached start.
#include <filesystem>
#include <string>

namespace zor::platform {

/// True when a process whose /proc/<pid>/exe has this base name runs (a " (deleted)" suffix is
/// ignored; processes whose exe cannot be read are skipped).
bool IsProcessRunning(const std::string& baseName);

/// Full path of the running executable (/proc/self/exe).
std::filesystem::path ExecutablePath();

/// ShellExecute stand-in: starts `file` detached (new session, standard streams on /dev/null,
/// no inherited descriptors) with `params` split at blanks into arguments, in `dir` (empty:
/// the current folder). The child is reaped in the background. Returns 42 on success and a
/// value of at most 32 on failure (2 file not found, 5 access denied, 31 other), as ShellExecute.
int ShellExecuteOpen(const std::filesystem::path& file, const std::string& params,
                     const std::filesystem::path& dir);

/// Opens a document with xdg-open in `dir`; same return convention.
int OpenDocument(const std::filesystem::path& document, const std::filesystem::path& dir);

}  // namespace zor::platform
