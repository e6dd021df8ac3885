#include "platform/Process.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

constexpr int32_t kMessagePid = 0;
constexpr int32_t kMessageError = 1;

/// One message of a spawn to its caller; a single write below PIPE_BUF, so never interleaved.
void Send(int fd, int32_t kind, int32_t value) {
    const int32_t message[2] = {kind, value};
    while (::write(fd, message, sizeof message) < 0 && errno == EINTR) {
    }
}

/// Opens /dev/null on `target` (async-signal-safe).
void NullStream(int target, int flags) {
    const int fd = ::open("/dev/null", flags);
    if (fd >= 0 && fd != target) {
        ::dup2(fd, target);
        ::close(fd);
    }
}

/// The spawned program's side of the fork: a new session, standard streams on /dev/null, no
/// other descriptor across exec, default signal handling with nothing blocked, then exec. Only
/// async-signal-safe calls: the parent may have other threads. Reports errno on failure.
[[noreturn]] void ExecProgram(const char* program, char* const argv[], const char* dir,
                              int channel) {
    ::setsid();
    NullStream(0, O_RDONLY);
    NullStream(1, O_WRONLY);
    NullStream(2, O_WRONLY);
    // The channel already closes on exec, so marking every descriptor that way keeps it usable.
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd < 65536; ++fd)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    if (dir != nullptr && ::chdir(dir) != 0) {
        Send(channel, kMessageError, errno);
        ::_exit(127);
    }
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP)
            ::sigaction(sig, &standard, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(program, argv, environ);
    Send(channel, kMessageError, errno);
    ::_exit(127);
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

    // A pipe closed on exec carries the messages of the two children: the intermediate sends the
    // program's pid, the program sends errno if its exec fails. End of file means both are done.
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return kShellOtherError;
    // No handler may run in a child before it has reset the dispositions.
    sigset_t all;
    sigset_t saved;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &saved);
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::close(channel[0]);
        const pid_t pid = ::fork();
        if (pid == 0)
            ExecProgram(program.c_str(), argv.data(), dir.empty() ? nullptr : dir.c_str(),
                        channel[1]);
        Send(channel[1], pid > 0 ? kMessagePid : kMessageError, pid > 0 ? pid : errno);
        ::_exit(0);
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    ::close(channel[1]);
    if (middle < 0) {
        ::close(channel[0]);
        return SpawnErrorCode(forkError);
    }
    // The intermediate ends at once, so the program is re-parented and nobody here waits for it.
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_t pid = -1;
    int error = 0;
    int32_t message[2];
    for (;;) {
        const ssize_t n = ::read(channel[0], message, sizeof message);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != static_cast<ssize_t>(sizeof message))
            break;
        if (message[0] == kMessagePid)
            pid = message[1];
        else
            error = message[1];
    }
    ::close(channel[0]);
    if (error != 0 || pid <= 0)
        return SpawnErrorCode(error);
    if (pidOut)
        *pidOut = pid;
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
