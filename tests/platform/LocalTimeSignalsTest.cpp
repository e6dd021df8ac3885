#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>

#include "platform/LocalTime.h"
#include "platform/Signals.h"
#include "support/TempDir.h"

using namespace zor::platform;

TEST(LocalTime, TimeStampsOfFileNamesAndArchiveFolders) {
    ::setenv("TZ", "UTC", 1);  // for good: no other test of this program depends on the zone
    ::tzset();
    const std::time_t t = 1700000000;  // 2023-11-14 22:13:20 UTC, a Tuesday
    EXPECT_EQ(FormatLocalTime("%Y-%m-%d_%H-%M-%S", t), "2023-11-14_22-13-20");
    const std::string savedLocale = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");  // may be absent; the result must not depend on it
    EXPECT_EQ(FormatLocalTime("%a %b %p", t), "Tue Nov PM");
    std::setlocale(LC_ALL, savedLocale.c_str());
    EXPECT_EQ(FormatLocalTime(std::string(1000, 'x').c_str(), t).size(), 1000u);
}

TEST(Signals, ExitSignalsArriveThroughThePipe) {
    const int fd = InstallExitSignalPipe();
    ASSERT_GE(fd, 0);
    unsigned char byte = 0;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        ASSERT_EQ(::raise(sig), 0);
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1);
        ASSERT_EQ(::read(fd, &byte, 1), 1);
        EXPECT_EQ(byte, sig);
    }
    // A burst that fills the pipe neither blocks nor kills the process.
    for (int i = 0; i < 70000; ++i)
        ::raise(SIGTERM);
    while (::read(fd, &byte, 1) == 1) {
    }
}

TEST(Signals, AWriteOverTheFileSizeLimitFailsInsteadOfKillingTheProgram) {
    zor::test::TempDir dir("zor-fsize");
    const std::string file = (dir / "big").string();
    const pid_t child = ::fork();
    if (child == 0) {
        InstallExitSignalPipe();
        const rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string block(4096, 'x');
        const ssize_t first = ::write(fd, block.data(), block.size());  // cut at the limit
        const ssize_t second = ::write(fd, block.data(), block.size());
        ::_exit(first == 1024 && second < 0 && errno == EFBIG ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
