// The device link client against the library's LinkServer and misbehaving loopback peers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "LinkTestPeers.h"
#include "talvern_connection/TalvernConnection.h"

namespace {

using Clock = std::chrono::steady_clock;
using zor::test::RawPeer;
using zor::test::Replies;
using Connection = std::unique_ptr<ITalvernConnection, bool (*)(ITalvernConnection*)>;

Connection Create() {
    return {CreateTalvernConnection(), DestroyTalvernConnection};
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Served : ::testing::Test {
    zor::test::RecordingDevice device;
    talvern::LinkServer server{device};
    void SetUp() override { ASSERT_TRUE(server.Start(0)); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(server.Port()); }
};

TEST_F(Served, EveryRoleReachesTheDeviceAndItsAnswersComeBack) {
    auto link = Create();
    link->Connect(Address().c_str(), 0);
    ASSERT_TRUE(link->IsConnected()) << link->LastError();
    link->RefreshStatus();
    EXPECT_EQ(link->LastStatus(), "ready");
    {
        std::lock_guard lock(device.Lock);
        device.State = "exposing now\r";
    }
    link->RefreshStatus();
    EXPECT_EQ(link->LastStatus(), "exposing_now_") << "one word, whatever the device says";

    link->SetVolumeSelection(true);
    EXPECT_TRUE(device.LastVolumeSelection);
    link->SetVolumeSelection(false);
    EXPECT_FALSE(device.LastVolumeSelection);
    link->RequestAbort();
    EXPECT_EQ(device.AbortRequests, 1);
    device.AbortPermitted = false;
    EXPECT_FALSE(link->MayAbort());
    device.AbortPermitted = true;
    EXPECT_TRUE(link->MayAbort());

    link->Reset();
    EXPECT_FALSE(link->IsConnected());
    link->RefreshStatus();  // not connected: nothing to refresh, no fault
    EXPECT_THROW(link->MayAbort(), CTalvernConnectionException);
    EXPECT_THROW(link->SetVolumeSelection(true), CTalvernConnectionException);
    EXPECT_EQ(device.VolumeSelectionOn, 1);
}

TEST_F(Served, AddressesThatCannotBeUsedLeaveTheObjectNotConnectedWithoutThrowing) {
    auto link = Create();
    const std::string port = std::to_string(server.Port());
    for (const std::string& bad : std::vector<std::string>{
             "", "device.example:" + port, "127.0.0.1:0", "127.0.0.1:70000", "127.0.0.1:12ab",
             "127.0.0.1:" + std::to_string(zor::test::UnusedPort())}) {
        link->Connect(Address().c_str(), 0);
        ASSERT_TRUE(link->IsConnected());
        EXPECT_NO_THROW(link->Connect(bad.c_str(), 0)) << bad;
        EXPECT_FALSE(link->IsConnected()) << bad;
        EXPECT_FALSE(link->LastError().empty()) << bad;
    }
    link->Connect(nullptr, 0);
    EXPECT_FALSE(link->IsConnected());
    for (const std::string& good : {" 127.0.0.1:" + port + " ", "localhost:" + port}) {
        link->Connect(good.c_str(), 0);
        EXPECT_TRUE(link->IsConnected()) << good << ": " << link->LastError();
    }
}

TEST(TalvernConnection, SilentPeerNeverHoldsACallerLongerThanTheLimit) {
    RawPeer mute;  // the handshake completes, the greeting is never answered
    auto link = Create();
    auto start = Clock::now();
    link->Connect(mute.Address().c_str(), 0);
    const double connectSeconds = SecondsSince(start);
    EXPECT_FALSE(link->IsConnected());
    EXPECT_LT(connectSeconds, 1.5);

    // Greets, then never answers again; a second thread queues behind the first call.
    RawPeer greetsOnly(Replies({"OK talvern 1\n"}, true));
    link->Connect(greetsOnly.Address().c_str(), 0);
    ASSERT_TRUE(link->IsConnected()) << link->LastError();
    start = Clock::now();
    double queuedSeconds = 0;
    std::thread second([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto queued = Clock::now();
        try {
            link->RequestAbort();
        } catch (const CTalvernConnectionException&) {
        }
        queuedSeconds = SecondsSince(queued);
    });
    EXPECT_THROW(link->RefreshStatus(), CTalvernConnectionException);
    const double callSeconds = SecondsSince(start);
    second.join();
    EXPECT_FALSE(link->IsConnected());
    EXPECT_LT(callSeconds, 1.5);
    EXPECT_LT(queuedSeconds, 1.5);
    std::printf("silent peer: connect %.3f s, call %.3f s, queued call %.3f s\n", connectSeconds,
                callSeconds, queuedSeconds);
}

TEST_F(Served, PeerClosingOrAnsweringWronglyMidCallThrowsAndTheNextConnectWorks) {
    const RawPeer closes(Replies({"OK talvern 1\n", ""}));
    const RawPeer nonsense(Replies({"OK talvern 1\n", "MAYBE\n", ""}));
    const RawPeer twice(Replies({"OK talvern 1\n", "YES\nYES\n", ""}));
    auto link = Create();
    for (const RawPeer* peer : {&closes, &nonsense, &twice}) {
        link->Connect(peer->Address().c_str(), 0);
        ASSERT_TRUE(link->IsConnected());
        EXPECT_THROW(link->MayAbort(), CTalvernConnectionException);
        EXPECT_FALSE(link->IsConnected());
        EXPECT_FALSE(link->LastError().empty());
    }
    link->Connect(Address().c_str(), 0);
    ASSERT_TRUE(link->IsConnected());
    EXPECT_TRUE(link->MayAbort());
}

TEST_F(Served, TwoThreadsShareOneConnectionWithoutMixingAnswers) {
    auto link = Create();
    link->Connect(Address().c_str(), 0);
    ASSERT_TRUE(link->IsConnected());
    constexpr int kCalls = 400;
    std::atomic<int> faults{0};
    auto calls = [&](auto call) {
        for (int i = 0; i < kCalls; ++i) {
            try {
                faults += call() ? 0 : 1;
            } catch (const CTalvernConnectionException&) {
                faults++;
            }
        }
    };
    std::thread worker(calls, [&] {
        link->RefreshStatus();
        return link->LastStatus() == "ready";
    });
    calls([&] {
        link->RequestAbort();
        return link->MayAbort();
    });
    worker.join();
    EXPECT_EQ(faults, 0);
    EXPECT_EQ(device.AbortRequests, kCalls);
    EXPECT_TRUE(link->IsConnected());
}

TEST_F(Served, ServerDropsClientsThatBreakTheProtocol) {
    auto rawClient = [&](const std::string& send) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(server.Port());
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
        zor::test::WriteRaw(fd, send);
        std::string all, line;
        while (!(line = zor::test::ReadRawLine(fd)).empty())
            all += line + "|";
        ::close(fd);
        return all;
    };
    // Without a greeting nothing is served; a greeting of another version is refused.
    EXPECT_EQ(rawClient("ABORT\n"), "ERR greeting expected: HELLO 1|");
    EXPECT_EQ(rawClient("HELLO 2\n"), "ERR greeting expected: HELLO 1|");
    EXPECT_EQ(device.AbortRequests, 0);
    // An over-long line ends the connection after the answers to the lines before it.
    EXPECT_EQ(rawClient("HELLO 1\r\nFROB\nVOI 1\n" + std::string(300, 'x')),
              "OK talvern 1|ERR unknown request|OK|");
    EXPECT_EQ(device.VolumeSelectionOn, 1);
    for (int i = 0; i < 100 && server.ClientCount() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(server.ClientCount(), 0);
}

}  // namespace
