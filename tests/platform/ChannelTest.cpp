#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "PlatformTestSupport.h"
#include "platform/CopyData.h"
#include "platform/NamedObject.h"
#include "platform/StatusChannel.h"

using namespace zor::platform;
using namespace std::chrono_literals;
using zor::platform::test::RunInChild;
using zor::platform::test::UseOwnSession;

namespace {

/// A plain client socket on a named object, for sending what a well-behaved client would not.
int RawConnect(const std::string& name) {
    const std::string full = AbstractName(name);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, full.data(), full.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + full.size());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::vector<uint8_t> Le32(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    for (uint32_t v : values) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    return out;
}

void SendRaw(int fd, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

/// What the server did with a raw connection: 4 reply bytes, closed without reply, or nothing.
enum class Outcome { Replied, Closed, Silent };
Outcome AwaitOutcome(int fd, int timeoutMs, uint32_t* reply = nullptr) {
    uint8_t buf[4];
    size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got < 4) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0)
            return Outcome::Silent;
        const ssize_t n = ::recv(fd, buf + got, 4 - got, 0);
        if (n <= 0)
            return Outcome::Closed;
        got += static_cast<size_t>(n);
    }
    if (reply)
        *reply = buf[0] | buf[1] << 8 | buf[2] << 16 | uint32_t(buf[3]) << 24;
    return Outcome::Replied;
}

/// A gate a handler waits at until the test opens it.
class Gate {
public:
    void Wait() {
        std::unique_lock lock(m_Mutex);
        m_Cv.wait(lock, [this] { return m_Open; });
    }
    void Open() {
        std::lock_guard lock(m_Mutex);
        m_Open = true;
        m_Cv.notify_all();
    }

private:
    std::mutex m_Mutex;
    std::condition_variable m_Cv;
    bool m_Open = false;
};

/// Records every copy-data record the server hands over.
struct Recorder {
    std::mutex mutex;
    std::vector<std::pair<uint32_t, std::string>> records;
    CopyDataServer::Handler Handler() {
        return [this](uint32_t dw, const std::string& text) {
            std::lock_guard lock(mutex);
            records.emplace_back(dw, text);
        };
    }
    size_t Count() {
        std::lock_guard lock(mutex);
        return records.size();
    }
};

}  // namespace

TEST(CopyData, SendIsSynchronousWithTheHandler) {
    UseOwnSession("cd-sync");
    Gate gate;
    std::atomic<bool> handled{false};
    std::pair<uint32_t, std::string> got;
    auto server = CopyDataServer::Start("ZorWindowClass", [&](uint32_t dw, const std::string& t) {
        gate.Wait();
        got = {dw, t};
        handled = true;
    });
    ASSERT_TRUE(server);
    EXPECT_FALSE(CopyDataServer::Start("ZorWindowClass", [](uint32_t, const std::string&) {}));
    auto send = std::async(std::launch::async, [] {
        return SendCopyData("ZorWindowClass", 1, "#HANDLE 0 #PATIENT_NAME Zoë");
    });
    EXPECT_EQ(send.wait_for(100ms), std::future_status::timeout)
        << "no reply before the handler ends";
    gate.Open();
    ASSERT_TRUE(send.get());
    EXPECT_TRUE(handled);
    EXPECT_EQ(got.first, 1u);
    EXPECT_EQ(got.second, "#HANDLE 0 #PATIENT_NAME Zoë");
    EXPECT_FALSE(SendCopyData("NoSuchWindow", 1, "x", 500));
}

TEST(CopyData, RecordSizeLimitAndOddRecords) {
    UseOwnSession("cd-size");
    Recorder rec;
    auto server = CopyDataServer::Start("ZorWindowClass", rec.Handler());
    ASSERT_TRUE(server);
    const std::string largest(kMaxCopyDataBytes - 1, 'a');  // plus its NUL: exactly the limit
    EXPECT_TRUE(SendCopyData("ZorWindowClass", 2, largest));
    EXPECT_FALSE(SendCopyData("ZorWindowClass", 2, largest + "a")) << "refused by the sender";

    int fd = RawConnect("ZorWindowClass");
    ASSERT_GE(fd, 0);
    SendRaw(fd, Le32({1, kMaxCopyDataBytes + 1}));
    EXPECT_EQ(AwaitOutcome(fd, 3000), Outcome::Closed) << "an oversized record gets no reply";
    ::close(fd);
    EXPECT_TRUE(SendCopyData("ZorWindowClass", 3, "after oversize"));

    // Two records on one connection, one empty and one with a NUL inside its text.
    fd = RawConnect("ZorWindowClass");
    ASSERT_GE(fd, 0);
    SendRaw(fd, Le32({4, 0}));
    uint32_t reply = 99;
    EXPECT_EQ(AwaitOutcome(fd, 3000, &reply), Outcome::Replied);
    EXPECT_EQ(reply, 0u);
    std::vector<uint8_t> record = Le32({5, 6});
    for (char c : std::string("ab\0cd", 6))
        record.push_back(static_cast<uint8_t>(c));
    SendRaw(fd, record);
    EXPECT_EQ(AwaitOutcome(fd, 3000), Outcome::Replied);
    ::close(fd);

    std::lock_guard lock(rec.mutex);
    ASSERT_EQ(rec.records.size(), 4u);
    EXPECT_EQ(rec.records[0].second.size(), largest.size());
    EXPECT_EQ(rec.records[1].second, "after oversize");
    EXPECT_EQ(rec.records[2], std::make_pair(4u, std::string()));
    EXPECT_EQ(rec.records[3], std::make_pair(5u, std::string("ab")));
}

TEST(CopyData, AHalfSentRecordIsDroppedWithoutBlockingOthers) {
    UseOwnSession("cd-half");
    Recorder rec;
    auto server = CopyDataServer::Start("ZorWindowClass", rec.Handler());
    ASSERT_TRUE(server);
    const int stalled = RawConnect("ZorWindowClass");
    ASSERT_GE(stalled, 0);
    SendRaw(stalled, {1, 0, 0, 0, 10, 0});            // six of the eight header bytes
    const int silent = RawConnect("ZorWindowClass");  // connects and never sends
    ASSERT_GE(silent, 0);
    // Served well within the stall limit while both others hang.
    EXPECT_TRUE(SendCopyData("ZorWindowClass", 1, "meanwhile", 800));
    EXPECT_EQ(AwaitOutcome(stalled, 5000), Outcome::Closed);
    EXPECT_EQ(AwaitOutcome(silent, 5000), Outcome::Closed);
    ::close(stalled);
    ::close(silent);
    EXPECT_TRUE(SendCopyData("ZorWindowClass", 1, "after"));
    EXPECT_EQ(rec.Count(), 2u);
}

// The same-user check is shared by every socket server; the copy-data one stands for all.
TEST(CopyData, APeerOfAnotherUserIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client under another user id";
    UseOwnSession("cd-uid");
    Recorder rec;
    auto server = CopyDataServer::Start("ZorWindowClass", rec.Handler());
    ASSERT_TRUE(server);
    const int code = RunInChild([] {
        if (::setuid(65534) != 0)
            return 10;
        return SendCopyData("ZorWindowClass", 1, "intruder", 2000) ? 1 : 0;
    });
    EXPECT_EQ(code, 0);
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
    ASSERT_GE(fd, 0);
    SendRaw(fd, Le32({0, 1, 0, 2, 1, static_cast<uint32_t>(-3)}));
    uint32_t reply = 0;
    for (uint32_t expected : {1u, 2u, 997u}) {
        ASSERT_EQ(AwaitOutcome(fd, 3000, &reply), Outcome::Replied);
        EXPECT_EQ(reply, expected);
    }
    // A client holding half a request does not hold up the others.
    SendRaw(fd, {1, 2, 3});
    std::vector<std::thread> clients;
    std::atomic<int> wrong{0};
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([c, &wrong] {
            StatusQueryClient client("CDeviceDriverHostApp", 2000);
            for (int i = 0; i < 50; ++i) {
                int32_t result = 0;
                if (!client.Query(c, i, result) || result != c * 1000 + i)
                    ++wrong;
            }
        });
    }
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(wrong, 0);
    ::close(fd);
}

TEST(StatusChannel, ALateReplyCountsAsAbsentAndDoesNotLeakIntoTheNextQuery) {
    UseOwnSession("st-late");
    Gate gate;
    std::atomic<int> calls{0};
    auto server = StatusQueryServer::Start("CDeviceDriverHostApp", [&](int32_t, int32_t l) {
        if (calls++ == 0)
            gate.Wait();
        return l;
    });
    ASSERT_TRUE(server);
    StatusQueryClient client("CDeviceDriverHostApp", 200);
    int32_t result = -1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Query(0, 7, result));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 190ms);
    EXPECT_LT(waited, 3s);
    EXPECT_EQ(result, -1) << "untouched on failure";
    gate.Open();
    ASSERT_TRUE(client.Query(0, 8, result));
    EXPECT_EQ(result, 8);
}

TEST(StatusChannel, FindFollowsTheServer) {
    UseOwnSession("st-find");
    StatusQueryClient client("CDeviceDriverHostApp", 200);
    int32_t result = 0;
    EXPECT_FALSE(client.Find());
    EXPECT_FALSE(client.Query(0, 1, result));
    auto server =
        StatusQueryServer::Start("CDeviceDriverHostApp", [](int32_t, int32_t) { return 5; });
    ASSERT_TRUE(server);
    EXPECT_TRUE(client.Find());
    EXPECT_TRUE(client.Query(0, 1, result));
    EXPECT_EQ(result, 5);
    server.reset();
    EXPECT_FALSE(client.Find()) << "a connection to a server that ended is not a find";
    EXPECT_FALSE(client.Query(0, 1, result));
    server = StatusQueryServer::Start("CDeviceDriverHostApp", [](int32_t, int32_t) { return 6; });
    ASSERT_TRUE(server);
    EXPECT_TRUE(client.Query(0, 1, result));
    EXPECT_EQ(result, 6);
}
