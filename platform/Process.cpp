#include "platform/Process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace zor::platform {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDeletedSuffix = " (deleted)";

/// Base name of /proc/<pid>/exe; empty when it cannot be read (another user's process, a
/// kernel thread, a process that just ended).
std::string ExeBaseName(const char* pid) {
    char link[64];
    char target[4096];
    std::snprintf(link, sizeof link, "/proc/%s/exe", pid);
    const ssize_t n = ::readlink(link, target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target)
        return {};
    std::string_view path(target, static_cast<size_t>(n));
    if (path.ends_with(kDeletedSuffix))
        path.remove_suffix(kDeletedSuffix.size());
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

int SpawnErrorCode(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return kShellFileNotFound;
        case EACCES:
        case EPERM:
        case ENOEXEC:
            return kShellAccessDenied;
        default:
            return kShellOtherError;
    }
}

/// Finds a program on $PATH as execvp would; empty when absent.
fs::path FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!dirs.empty()) {
        const size_t colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        const fs::path candidate = fs::path(dir.empty() ? "." : dir) / program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos)
            break;
        dirs.remove_prefix(colon + 1);
    }
    return {};
}

}  // namespace

bool IsProcessRunning(const std::string& baseName) {
    if (baseName.empty())
        return false;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(proc)) {
        const char* name = entry->d_name;
        if (name[0] < '0' || name[0] > '9')
            continue;
        if (ExeBaseName(name) == baseName) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

fs::path ExecutablePath() {
    std::error_code ec;
    fs::path path = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : path;
}

std::vector<std::string> SplitParameters(const std::string& params) {
    std::vector<std::string> args;
    size_t pos = 0;
    while (pos < params.size()) {
        const size_t start = params.find_first_not_of(" \t", pos);
        if (start == std::string::npos)
            break;
        const size_t stop = params.find_first_of(" \t", start);
        args.push_back(params.substr(start, stop == std::string::npos ? stop : stop - start));
        pos = stop == std::string::npos ? params.size() : stop;
    }
    return args;
}

int SpawnDetached(const fs::path& file, const std::vector<std::string>& args, const fs::path& dir,
                  pid_t* pidOut) {
    std::error_code ec;
    if (!dir.empty() && !fs::is_directory(dir, ec))
        return kShellPathNotFound;
    // The working folder is entered before exec, so a relative program path is fixed first.
    const fs::path program = fs::absolute(file, ec);
    if (ec || file.empty())
        return kShellFileNotFound;

    std::vector<std::string> argvText;
    argvText.reserve(args.size() + 1);
    argvText.push_back(file.string());
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!dir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (error != 0)
        return SpawnErrorCode(error);

    if (pidOut)
        *pidOut = pid;
    try {
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // Without a thread the child stays a zombie until we end; it still runs.
    }
    return kShellSuccess;
}

int ShellExecuteOpen(const fs::path& file, const std::string& params, const fs::path& dir) {
    return SpawnDetached(file, SplitParameters(params), dir);
}

int OpenDocument(const fs::path& document, const fs::path& dir) {
    std::error_code ec;
    if (!fs::exists(document, ec))
        return kShellFileNotFound;
    const fs::path opener = FindOnPath("xdg-open");
    if (opener.empty())
        return kShellOtherError;
    return SpawnDetached(opener, {fs::absolute(document, ec).string()}, dir);
}

}  // namespace zor::platform
