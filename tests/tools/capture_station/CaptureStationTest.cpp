// CaptureStation's name "Capture Station": held by one instance, given back when it ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/NamedObject.h"

namespace {

pid_t StartHeadless() {
    const pid_t pid = fork();
    if (pid == 0) {
        execl(ZOR_CAPTURE_STATION_PATH, ZOR_CAPTURE_STATION_PATH, "--headless",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

bool NameExistsWithin(bool wanted, int limitMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (zor::platform::NamedObjectExists("Capture Station") != wanted) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

int ExitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(CaptureStation, HoldsItsNameWhileRunningAndOnlyOnce) {
    setenv("ZOR_SESSION", ("capture-test-" + std::to_string(getpid())).c_str(), 1);
    ASSERT_FALSE(zor::platform::NamedObjectExists("Capture Station"));
    const pid_t first = StartHeadless();
    ASSERT_TRUE(NameExistsWithin(true, 10000));
    EXPECT_EQ(ExitCode(StartHeadless()), 0);  // the second start ends at once
    EXPECT_TRUE(zor::platform::NamedObjectExists("Capture Station"));
    kill(first, SIGTERM);
    EXPECT_EQ(ExitCode(first), 0);
    EXPECT_FALSE(zor::platform::NamedObjectExists("Capture Station"));

    // Killed outright, the program still gives the name back.
    const pid_t killed = StartHeadless();
    ASSERT_TRUE(NameExistsWithin(true, 10000));
    kill(killed, SIGKILL);
    ExitCode(killed);
    EXPECT_TRUE(NameExistsWithin(false, 2000));
}
