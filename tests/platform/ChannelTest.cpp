// Named objects and the two message channels built on them (copy-data and status queries).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/CopyData.h"
#include "platform/NamedObject.h"
#include "platform/StatusChannel.h"

using namespace zor::platform;
using namespace std::chrono_literals;

namespace {

/// Gives the test its own named-object session, so parallel test processes never meet.
void UseOwnSession(const std::string& tag) {
    ::setenv("ZOR_SESSION", ("test-" + tag + "-" + std::to_string(::getpid())).c_str(), 1);
}

constexpr int64_t kClosed = -1;  // what the server did instead of replying
constexpr int64_t kSilent = -2;

/// A plain client socket on a named object, for sending what a well-behaved client would not.
int RawConnect(const std::string& name) {
    const std::string full = AbstractName(name);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, full.data(), full.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + full.size());
    const timeval limit{5, 0};  // a safety net: the tests expect a reply or a close
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 ? fd : (::close(fd), -1);
}

std::string Le32(std::initializer_list<uint32_t> values) {
    std::string out;
    for (uint32_t v : values)
        out += {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return out;
}

bool SendRaw(int fd, const std::string& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

/// The server's 4-byte reply on a raw connection, kClosed or kSilent.
int64_t AwaitReply(int fd) {
    uint8_t b[4];
    const ssize_t n = ::recv(fd, b, 4, MSG_WAITALL);
    return n == 4 ? b[0] | b[1] << 8 | b[2] << 16 | int64_t{b[3]} << 24
                  : (n < 0 && errno == EAGAIN ? kSilent : kClosed);
}

/// The next byte of `fd`, or -1 at end of file.
int ReadByte(int fd) {
    char c = 0;
    return ::read(fd, &c, 1) == 1 ? c : -1;
}

/// Records every copy-data record the server hands over.
struct Recorder {
    std::mutex mutex;
    std::vector<std::pair<uint32_t, std::string>> records;
    std::unique_ptr<CopyDataServer> Start() {
        return CopyDataServer::Start("ZorWindowClass", [this](uint32_t dw, const std::string& t) {
            std::lock_guard lock(mutex);
            records.emplace_back(dw, t);
        });
    }
    size_t Count() {
        std::lock_guard lock(mutex);
        return records.size();
    }
};

}  // namespace

TEST(NamedObject, ExistsWhileHeldInItsSessionIsExclusiveAndEndsWithItsHolder) {
    ::setenv("ZOR_SESSION", "alpha", 1);
    EXPECT_EQ(AbstractName("3DTS_MUTEX"), "vordal/alpha/3DTS_MUTEX");
    ::unsetenv("ZOR_SESSION");
    EXPECT_EQ(SessionName(), std::to_string(::getuid()));
    UseOwnSession("held");
    EXPECT_FALSE(NamedObjectExists("3DTS_MUTEX"));
    bool already = true;
    auto first = NamedObject::Create("3DTS_MUTEX", already);
    ASSERT_TRUE(first);
    EXPECT_FALSE(already);
    EXPECT_TRUE(NamedObjectExists("3DTS_MUTEX"));
    EXPECT_FALSE(NamedObjectExists("3DTS_MUTEx")) << "names are exact";
    EXPECT_FALSE(NamedObject::Create("3DTS_MUTEX", already));
    EXPECT_TRUE(already);

    const std::string mine = AbstractName("3DTS_MUTEX");
    ::setenv("ZOR_SESSION", (mine + "-other").c_str(), 1);
    EXPECT_FALSE(NamedObjectExists("3DTS_MUTEX")) << "another session sees its own names only";
    UseOwnSession("held");
    // Many probes in a row: the holder keeps accepting, its backlog never fills.
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(NamedObjectExists("3DTS_MUTEX"));
    // A child takes a name of its own, waits for the test and then runs another program (end of
    // file on `up`, which closes on exec, tells when): no destructor runs, yet neither its name nor
    // the one it inherited from this process outlives the program that held it.
    int up[2], down[2];
    ASSERT_EQ(::pipe2(up, O_CLOEXEC) + ::pipe2(down, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        auto own = NamedObject::Create("Capture Station", already);
        const char c = own ? 1 : 0;
        (void)!::write(up[1], &c, 1);
        ::close(down[1]);
        ReadByte(down[0]);
        ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(up[1]);
    ::close(down[0]);
    ASSERT_EQ(ReadByte(up[0]), 1);
    EXPECT_TRUE(NamedObjectExists("Capture Station"));
    EXPECT_FALSE(NamedObject::Create("Capture Station", already)) << "exclusive across processes";
    ::close(down[1]);
    EXPECT_EQ(ReadByte(up[0]), -1);
    ::close(up[0]);
    for (int i = 0; i < 500 && NamedObjectExists("Capture Station"); ++i)  // exec closes it soon
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(NamedObjectExists("Capture Station"));
    first.reset();
    EXPECT_FALSE(NamedObjectExists("3DTS_MUTEX")) << "the child must not keep the name alive";
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(NamedObject::Create("3DTS_MUTEX", already));
    // An overlong name fails cleanly.
    EXPECT_FALSE(NamedObject::Create(std::string(200, 'x'), already));
    EXPECT_FALSE(already);
    EXPECT_FALSE(NamedObjectExists(std::string(200, 'x')));
}

TEST(CopyData, SendIsSynchronousWithTheHandler) {
    UseOwnSession("cd-sync");
    std::promise<void> entered, open;
    std::atomic<bool> sent{false}, sentBeforeTheHandlerEnded{false};
    std::pair<uint32_t, std::string> got;
    auto server = CopyDataServer::Start(
        "ZorWindowClass", [&, gate = open.get_future().share()](uint32_t dw, const std::string& t) {
            entered.set_value();
            gate.wait();
            got = {dw, t};
            sentBeforeTheHandlerEnded = sent.load();
        });
    ASSERT_TRUE(server);
    EXPECT_FALSE(CopyDataServer::Start("ZorWindowClass", [](uint32_t, const std::string&) {}));
    auto send = std::async(std::launch::async, [&] {
        const bool ok = SendCopyData("ZorWindowClass", 1, "#HANDLE 0 #PATIENT_NAME Zoë");
        sent = true;
        return ok;
    });
    // The time-out is a safety net only: the handler is entered and waits for the test.
    ASSERT_EQ(entered.get_future().wait_for(60s), std::future_status::ready);
    EXPECT_FALSE(sent) << "no reply while the handler runs";
    open.set_value();
    ASSERT_TRUE(send.get());
    EXPECT_FALSE(sentBeforeTheHandlerEnded);
    EXPECT_EQ(got, std::make_pair(1u, std::string("#HANDLE 0 #PATIENT_NAME Zoë")));
    EXPECT_FALSE(SendCopyData("NoSuchWindow", 1, "x", 500));
}

TEST(CopyData, RecordSizeLimitOddRecordsAndStalledClients) {
    UseOwnSession("cd-size");
    Recorder rec;
    auto server = rec.Start();
    ASSERT_TRUE(server);
    const std::string largest(kMaxCopyDataBytes - 1, 'a');  // plus its NUL: exactly the limit
    EXPECT_TRUE(SendCopyData("ZorWindowClass", 2, largest));
    EXPECT_FALSE(SendCopyData("ZorWindowClass", 2, largest + "a")) << "refused by the sender";

    int fd = RawConnect("ZorWindowClass");
    ASSERT_TRUE(SendRaw(fd, Le32({1, kMaxCopyDataBytes + 1})));
    EXPECT_EQ(AwaitReply(fd), kClosed) << "an oversized record gets no reply";
    ::close(fd);
    EXPECT_TRUE(SendCopyData("ZorWindowClass", 3, "after oversize"));

    // Two records on one connection, one empty and one with a NUL inside its text.
    fd = RawConnect("ZorWindowClass");
    ASSERT_TRUE(SendRaw(fd, Le32({4, 0})));
    EXPECT_EQ(AwaitReply(fd), 0);
    ASSERT_TRUE(SendRaw(fd, Le32({5, 6}) + std::string("ab\0cd", 6)));
    EXPECT_EQ(AwaitReply(fd), 0);
    ::close(fd);

    // A half-sent record and a silent client are dropped without holding up the others.
    const int stalled = RawConnect("ZorWindowClass");
    ASSERT_TRUE(SendRaw(stalled, Le32({1, 10}).substr(0, 6)));  // six of the eight header bytes
    const int silent = RawConnect("ZorWindowClass");            // connects and never sends
    ASSERT_GE(silent, 0);
    EXPECT_TRUE(SendCopyData("ZorWindowClass", 6, "meanwhile", 800));
    EXPECT_EQ(AwaitReply(stalled), kClosed);
    EXPECT_EQ(AwaitReply(silent), kClosed);
    ::close(stalled);
    ::close(silent);

    std::lock_guard lock(rec.mutex);
    ASSERT_EQ(rec.records.size(), 5u);
    EXPECT_EQ(rec.records[0].second.size(), largest.size());
    EXPECT_EQ(rec.records[1].second, "after oversize");
    EXPECT_EQ(rec.records[2], std::make_pair(4u, std::string()));
    EXPECT_EQ(rec.records[3], std::make_pair(5u, std::string("ab")));
    EXPECT_EQ(rec.records[4].second, "meanwhile");
}

// The same-user check is shared by every socket server; the copy-data one stands for all.
TEST(CopyData, APeerOfAnotherUserIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client under another user id";
    UseOwnSession("cd-uid");
    Recorder rec;
    auto server = rec.Start();
    ASSERT_TRUE(server);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setuid(65534) != 0 ? 10 : SendCopyData("ZorWindowClass", 1, "intruder", 2000));
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "the child could not drop root (10) or its record was taken (1)";
    EXPECT_EQ(rec.Count(), 0u);
    EXPECT_TRUE(SendCopyData("ZorWindowClass", 1, "owner"));
    EXPECT_EQ(rec.Count(), 1u);
}

TEST(StatusChannel, SeveralQueriesOnOneConnectionAndManyClients) {
    UseOwnSession("st-many");
    auto server = StatusQueryServer::Start("CDeviceDriverHostApp",
                                           [](int32_t w, int32_t l) { return w * 1000 + l; });
    ASSERT_TRUE(server);
    // Three requests in one write, answered in order on the same connection.
    const int fd = RawConnect("CDeviceDriverHostApp");
    ASSERT_TRUE(SendRaw(fd, Le32({0, 1, 0, 2, 1, static_cast<uint32_t>(-3)})));
    for (int64_t expected : {1, 2, 997})
        EXPECT_EQ(AwaitReply(fd), expected);
    // A client holding half a request does not hold up the others.
    ASSERT_TRUE(SendRaw(fd, "\1\2\3"));
    std::vector<std::thread> clients;
    std::atomic<int> wrong{0};
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([c, &wrong] {
            StatusQueryClient client("CDeviceDriverHostApp", 2000);
            for (int i = 0; i < 50; ++i) {
                int32_t result = 0;
                wrong += !client.Query(c, i, result) || result != c * 1000 + i;
            }
        });
    }
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(wrong, 0);
    ::close(fd);
}

TEST(StatusChannel, FindFollowsTheServerAndALateReplyCountsAsAbsent) {
    UseOwnSession("st-find");
    StatusQueryClient client("CDeviceDriverHostApp", 200);
    int32_t result = 0;
    EXPECT_FALSE(client.Find() || client.Query(0, 1, result));
    for (int32_t answer : {5, 6}) {
        auto server = StatusQueryServer::Start("CDeviceDriverHostApp",
                                               [answer](int32_t, int32_t) { return answer; });
        ASSERT_TRUE(server);
        if (answer == 5) {
            EXPECT_TRUE(client.Find()) << "finds a server that started";
        }
        EXPECT_TRUE(client.Query(0, 1, result)) << "a query finds it by itself";
        EXPECT_EQ(result, answer);
        server.reset();
        EXPECT_FALSE(client.Find()) << "a connection to a server that ended is not a find";
        EXPECT_FALSE(client.Query(0, 1, result));
    }
    // A reply later than the client's limit counts as absent and does not leak into the next.
    std::promise<void> open;
    auto server = StatusQueryServer::Start(
        "CDeviceDriverHostApp", [&, gate = open.get_future().share()](int32_t, int32_t l) {
            if (l == 7)
                gate.wait();
            return l;
        });
    ASSERT_TRUE(server);
    result = -1;
    EXPECT_FALSE(client.Query(0, 7, result));
    EXPECT_EQ(result, -1) << "untouched on failure";
    open.set_value();
    ASSERT_TRUE(client.Query(0, 8, result));
    EXPECT_EQ(result, 8);
}
