#pragma once
// Helpers shared by the platform tests: temporary folders, files and child processes.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "support/TempDir.h"

namespace zor::platform::test {

// The shared temporary folder and whole-file helpers, under the names these tests use.
using zor::test::ReadFile;
using zor::test::TempDir;
using zor::test::WriteFile;

/// Runs `body` in a forked child and returns its exit status (its return value), or -1 when
/// it did not exit normally. Other threads of the test do not exist in the child, so the body
/// must not wait for anything they hold.
inline int RunInChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// Gives the test its own named-object session, so parallel test processes never meet.
inline void UseOwnSession(const std::string& tag) {
    ::setenv("ZOR_SESSION", ("test-" + tag + "-" + std::to_string(::getpid())).c_str(), 1);
}

}  // namespace zor::platform::test
