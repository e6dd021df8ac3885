// The device link client against the library's own LinkServer and against misbehaving peers on
// loopback: every role, address forms, time limits, faults and two threads on one object.
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
using zor::test::RecordingDevice;

struct ConnectionDeleter {
    void operator()(ITalvernConnection* c) const { DestroyTalvernConnection(c); }
};
using Connection = std::unique_ptr<ITalvernConnection, ConnectionDeleter>;

Connection Create() {
    Connection c(CreateTalvernConnection());
    if (!c)
        std::abort();
    return c;
}

std::string Local(uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Served : ::testing::Test {
    RecordingDevice device;
    talvern::LinkServer server{device};
    void SetUp() override { ASSERT_TRUE(server.Start(0)); }
};

TEST_F(Served, EveryRoleReachesTheDeviceAndItsAnswersComeBack) {
    auto link = Create();
    link->Connect(Local(server.Port()).c_str(), 0);
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
    EXPECT_EQ(device.VolumeSelectionOn, 1);
    EXPECT_EQ(device.VolumeSelectionOff, 1);

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
    link->Connect(("localhost:" + std::to_string(server.Port())).c_str(), 0);
    EXPECT_TRUE(link->IsConnected()) << link->LastError();
}

TEST_F(Served, AddressesThatCannotBeUsedLeaveTheObjectNotConnectedWithoutThrowing) {
    auto link = Create();
    const std::string port = std::to_string(server.Port());
    const std::vector<std::string> badAddresses = {
        "",
        "   ",
        "device.example:" + port,
        "127.0.0.1:0",
        "127.0.0.1:70000",
        "127.0.0.1:",
        "127.0.0.1:12ab",
        "127.0.0.1:" + std::to_string(zor::test::UnusedPort())};
    for (const std::string& bad : badAddresses) {
        link->Connect(Local(server.Port()).c_str(), 0);
        ASSERT_TRUE(link->IsConnected());
        EXPECT_NO_THROW(link->Connect(bad.c_str(), 0)) << bad;
        EXPECT_FALSE(link->IsConnected()) << bad;
        EXPECT_FALSE(link->LastError().empty()) << bad;
    }
    link->Connect(nullptr, 0);
    EXPECT_FALSE(link->IsConnected());
    link->Connect((" 127.0.0.1:" + port + " ").c_str(), 0);
    EXPECT_TRUE(link->IsConnected()) << "blanks around the address are ignored";
}

TEST(TalvernConnection, SilentPeerNeverHoldsACallerLongerThanTheLimit) {
    // Listening but never accepting: the TCP handshake completes, the greeting is never
    // answered.
    RawPeer mute;
    auto link = Create();
    auto start = Clock::now();
    link->Connect(mute.Address().c_str(), 0);
    const double connectSeconds = SecondsSince(start);
    EXPECT_FALSE(link->IsConnected());
    EXPECT_LT(connectSeconds, 1.5);

    // Greets, then never answers again; a second thread queued behind the first call.
    RawPeer greetsOnly([](int fd) {
        if (zor::test::ReadRawLine(fd) == "HELLO 1")
            zor::test::WriteRaw(fd, "OK talvern 1\n");
        while (!zor::test::ReadRawLine(fd).empty()) {
        }
    });
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

TEST(TalvernConnection, PeerClosingMidCallThrowsAndTheNextConnectWorks) {
    RawPeer closesOnRequest([](int fd) {
        if (zor::test::ReadRawLine(fd) == "HELLO 1")
            zor::test::WriteRaw(fd, "OK talvern 1\n");
        zor::test::ReadRawLine(fd);  // the request, left unanswered
    });
    RawPeer answersNonsense([](int fd) {
        zor::test::ReadRawLine(fd);
        zor::test::WriteRaw(fd, "OK talvern 1\n");
        zor::test::ReadRawLine(fd);
        zor::test::WriteRaw(fd, "MAYBE\n");
        zor::test::ReadRawLine(fd);
    });
    RawPeer answersTwice([](int fd) {
        zor::test::ReadRawLine(fd);
        zor::test::WriteRaw(fd, "OK talvern 1\n");
        zor::test::ReadRawLine(fd);
        zor::test::WriteRaw(fd, "YES\nYES\n");
        zor::test::ReadRawLine(fd);
    });
    auto link = Create();
    for (const RawPeer* peer : {&closesOnRequest, &answersNonsense, &answersTwice}) {
        link->Connect(peer->Address().c_str(), 0);
        ASSERT_TRUE(link->IsConnected());
        EXPECT_THROW(link->MayAbort(), CTalvernConnectionException);
        EXPECT_FALSE(link->IsConnected());
        EXPECT_FALSE(link->LastError().empty());
    }
    RecordingDevice device;
    talvern::LinkServer server(device);
    ASSERT_TRUE(server.Start(0));
    link->Connect(Local(server.Port()).c_str(), 0);
    ASSERT_TRUE(link->IsConnected());
    EXPECT_TRUE(link->MayAbort());
}

TEST_F(Served, TwoThreadsShareOneConnectionWithoutMixingAnswers) {
    auto link = Create();
    link->Connect(Local(server.Port()).c_str(), 0);
    ASSERT_TRUE(link->IsConnected());
    constexpr int kCalls = 400;
    std::atomic<int> faults{0};
    std::thread worker([&] {
        for (int i = 0; i < kCalls; ++i) {
            try {
                link->RefreshStatus();
                if (link->LastStatus() != "ready")
                    faults++;
            } catch (const CTalvernConnectionException&) {
                faults++;
            }
        }
    });
    for (int i = 0; i < kCalls; ++i) {
        try {
            link->RequestAbort();
            if (!link->MayAbort())
                faults++;
        } catch (const CTalvernConnectionException&) {
            faults++;
        }
    }
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
