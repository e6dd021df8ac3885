// zor_manager: blocks the exit signals, then becomes the operator program installed beside it.
// Loading the program's libraries (Qt and the image libraries) takes over ten milliseconds, in
// which a SIGTERM would kill it outright. A blocked signal stays blocked across exec and pending:
// the program delivers it to its own handler as soon as it has one, and ends normally.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

int main(int, char** argv) {
    sigset_t exitSignals;
    sigemptyset(&exitSignals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&exitSignals, signal);
    sigprocmask(SIG_BLOCK, &exitSignals, nullptr);

    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        std::fprintf(stderr, "zor_manager: cannot find its own folder: %s\n", std::strerror(errno));
        return 127;
    }
    std::string program(self, static_cast<size_t>(length));
    program.resize(program.rfind('/') + 1);
    program += "zor_manager-bin";
    execv(program.c_str(), argv);
    std::fprintf(stderr, "zor_manager: cannot start %s: %s\n", program.c_str(),
                 std::strerror(errno));
    return 127;
}
