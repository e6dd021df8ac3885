#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "PlatformTestSupport.h"
#include "platform/NamedObject.h"

using namespace zor::platform;
using zor::platform::test::UseOwnSession;

namespace {

/// Reads one byte from `fd`; false on end of file.
bool ReadByte(int fd) {
    char c = 0;
    ssize_t n;
    while ((n = ::read(fd, &c, 1)) < 0 && errno == EINTR) {
    }
    return n == 1;
}

}  // namespace

TEST(NamedObject, NameFollowsTheSession) {
    ::setenv("ZOR_SESSION", "alpha", 1);
    EXPECT_EQ(AbstractName("3DTS_MUTEX"), "vordal/alpha/3DTS_MUTEX");
    ::unsetenv("ZOR_SESSION");
    EXPECT_EQ(SessionName(), std::to_string(::getuid()));
}

TEST(NamedObject, ExistsWhileHeldAndIsExclusive) {
    UseOwnSession("held");
    EXPECT_FALSE(NamedObjectExists("3DTS_MUTEX"));
    bool already = true;
    auto first = NamedObject::Create("3DTS_MUTEX", already);
    ASSERT_TRUE(first);
    EXPECT_FALSE(already);
    EXPECT_TRUE(NamedObjectExists("3DTS_MUTEX"));
    EXPECT_FALSE(NamedObjectExists("3DTS_MUTEx")) << "names are exact";

    auto second = NamedObject::Create("3DTS_MUTEX", already);
    EXPECT_FALSE(second);
    EXPECT_TRUE(already);

    const std::string mine = AbstractName("3DTS_MUTEX");
    ::setenv("ZOR_SESSION", (mine + "-other").c_str(), 1);
    EXPECT_FALSE(NamedObjectExists("3DTS_MUTEX")) << "another session sees its own names only";
    UseOwnSession("held");

    // Many probes in a row: the holder keeps accepting, its backlog never fills.
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(NamedObjectExists("3DTS_MUTEX"));
    first.reset();
    EXPECT_FALSE(NamedObjectExists("3DTS_MUTEX"));
    EXPECT_TRUE(NamedObject::Create("3DTS_MUTEX", already));
}

TEST(NamedObject, VanishesWhenTheHolderIsKilled) {
    UseOwnSession("kill");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool already = false;
        auto held = NamedObject::Create("Capture Station", already);
        const char c = held ? 1 : 0;
        (void)!::write(ready[1], &c, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(c, 1);
    EXPECT_TRUE(NamedObjectExists("Capture Station"));
    bool already = false;
    EXPECT_FALSE(NamedObject::Create("Capture Station", already));
    EXPECT_TRUE(already);

    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_FALSE(NamedObjectExists("Capture Station"));
    EXPECT_TRUE(NamedObject::Create("Capture Station", already));
}

TEST(NamedObject, AChildProgramDoesNotInheritTheName) {
    UseOwnSession("exec");
    bool already = false;
    auto held = NamedObject::Create("3DTS_MUTEX", already);
    ASSERT_TRUE(held);
    // The pipe closes on exec, so end-of-file tells that the child runs the new program.
    int execed[2];
    ASSERT_EQ(::pipe2(execed, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(execed[1]);
    EXPECT_FALSE(ReadByte(execed[0]));
    ::close(execed[0]);
    held.reset();
    EXPECT_FALSE(NamedObjectExists("3DTS_MUTEX")) << "the child must not keep the name alive";
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST(NamedObject, OverlongNameFailsCleanly) {
    UseOwnSession("long");
    bool already = true;
    EXPECT_FALSE(NamedObject::Create(std::string(200, 'x'), already));
    EXPECT_FALSE(already);
    EXPECT_FALSE(NamedObjectExists(std::string(200, 'x')));
}
