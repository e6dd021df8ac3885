#include "platform/Signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace zor::platform {

namespace {

int g_WriteFd = -1;

void OnExitSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    (void)!::write(g_WriteFd, &byte, 1);  // a full pipe already holds a pending exit request
    errno = saved;
}

int Install() {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        return -1;
    g_WriteFd = fds[1];
    struct sigaction action {};
    action.sa_handler = OnExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        if (::sigaction(sig, &action, nullptr) != 0)
            return -1;
    }
    // Past the file-size limit a write fails with EFBIG, which every writer reports, instead of
    // the signal ending the program with a temporary file left behind.
    ::signal(SIGXFSZ, SIG_IGN);
    // A program may block the exit signals until the handlers exist; pending ones arrive now.
    sigset_t exitSignals;
    sigemptyset(&exitSignals);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&exitSignals, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &exitSignals, nullptr);
    return fds[0];
}

}  // namespace

int InstallExitSignalPipe() {
    static std::once_flag once;
    static int readFd = -1;
    std::call_once(once, [] { readFd = Install(); });
    return readFd;
}

}  // namespace zor::platform
