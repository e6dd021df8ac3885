#pragma once
// Processes: enumeration by executable name and detached start.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace zor::platform {

/// ShellExecute-style results: more than 32 is success.
inline constexpr int kShellSuccess = 42;
inline constexpr int kShellFileNotFound = 2;  ///< the program (or document) does not exist
inline constexpr int kShellPathNotFound = 3;  ///< the working folder does not exist
inline constexpr int kShellAccessDenied = 5;  ///< not executable, or not allowed
inline constexpr int kShellOtherError = 31;   ///< anything else (also: no xdg-open)

/// True when a process whose /proc/<pid>/exe has this base name runs (a " (deleted)" suffix is
/// ignored; processes whose exe cannot be read are skipped).
bool IsProcessRunning(const std::string& baseName);

/// Full path of the running executable (/proc/self/exe).
std::filesystem::path ExecutablePath();

/// ShellExecute stand-in: starts `file` detached (new session, standard streams on /dev/null,
/// no inherited descriptors) with `params` split at blanks into arguments, in `dir` (empty:
/// the current folder). The program runs as a grandchild whose parent ends at once, so it is
/// re-parented and no thread of ours waits for it. Returns 42 on success and a
/// value of at most 32 on failure (the kShell* codes above), as ShellExecute.
int ShellExecuteOpen(const std::filesystem::path& file, const std::string& params,
                     const std::filesystem::path& dir);

/// Parameter string split at blanks (spaces and tabs) into arguments; runs of blanks count once.
std::vector<std::string> SplitParameters(const std::string& params);

/// The spawn behind ShellExecuteOpen with ready-made arguments (argv[0] is `file` as given);
/// `pid`, when given, receives the child's process id on success. Same return convention.
int SpawnDetached(const std::filesystem::path& file, const std::vector<std::string>& args,
                  const std::filesystem::path& dir, pid_t* pid = nullptr);

/// Opens a document with xdg-open in `dir`; same return convention.
int OpenDocument(const std::filesystem::path& document, const std::filesystem::path& dir);

}  // namespace zor::platform
