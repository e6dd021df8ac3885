// The device link worker against the library's LinkServer and a recording connection object.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <tuple>

#include "acquisition/DeviceLink.h"
#include "libs/talvern_connection/LinkTestPeers.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using zor::acquisition::DeviceLink;
using zor::acquisition::DeviceLinkParts;
using zor::test::RecordingDevice;

template <typename F>
bool WaitUntil(F done, std::chrono::milliseconds limit = 5000ms) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

/// Records the first address and flags; with `FaultOnRefresh` every keep-alive breaks the link.
struct RecordingConnection : ITalvernConnection {
    std::string FirstAddress = "(none)";
    int FirstFlags = -1;
    std::atomic<int> Connects{0}, Resets{0};
    std::atomic<bool> Connected{false}, FaultOnRefresh{false};

    void Connect(const char* address, int flags) override {
        if (Connects++ == 0)
            std::tie(FirstAddress, FirstFlags) = std::pair(address, flags);
        Connected = true;
    }
    void Reset() override {
        Connected = false;
        Resets++;
    }
    bool IsConnected() const override { return Connected; }
    void RefreshStatus() override {
        if (Connected && FaultOnRefresh) {
            Connected = false;
            throw CTalvernConnectionException("link broken");
        }
    }
    bool MayAbort() override { return true; }
    void RequestAbort() override {}
    void SetVolumeSelection(bool) override {}
    std::string LastStatus() const override { return ""; }
    std::string LastError() const override { return ""; }
};

DeviceLinkParts RecordingParts(RecordingConnection& connection, std::atomic<int>& destroyed,
                               std::function<std::string()> address) {
    DeviceLinkParts parts;
    parts.Create = [&connection] { return &connection; };
    parts.Destroy = [&destroyed](ITalvernConnection*) { return ++destroyed > 0; };
    parts.ReadAddress = std::move(address);
    return parts;
}

auto EntriesIn(const char* folder) {
    return std::distance(std::filesystem::directory_iterator(folder), {});
}

TEST(DeviceLinkAddress, RegistryValueOrTheLoopbackDefault) {
    const zor::test::TempDir dir;
    const auto file = dir / "registry.reg";
    const std::string head = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern]\n";
    const struct {
        const char* Value;  // the IPAddress line, or "" for none
        std::string Expected;
    } cases[] = {
        {"\"IPAddress\"=\"127.0.0.5:5000\"", "127.0.0.5:5000"},
        {"\"ipaddress\"=str(2):\"127.0.0.9\"", "127.0.0.9"},
        {"\"IPAddress\"=\"\"", ""},
        {"\"IPAddress\"=hex:31,32", "127.0.0.1"},
        {"", "127.0.0.1"},
        {"\"IPAddress\"=\"127.000.000.001:47310-and-more-beyond-it\"",
         "127.000.000.001:47310-and-more-"},
    };
    for (const auto& c : cases) {
        zor::test::WriteFile(file, head + c.Value + "\n");
        EXPECT_EQ(zor::acquisition::ReadDeviceAddress(file), c.Expected) << c.Value;
    }
    EXPECT_EQ(zor::acquisition::ReadDeviceAddress(dir / "missing.reg"), "127.0.0.1");
}

TEST(DeviceLink, ABrokenLinkIsResetAndRetriedButNeverInATightLoop) {
    RecordingConnection connection;
    connection.FaultOnRefresh = true;
    std::atomic<int> destroyed{0};
    auto parts = RecordingParts(connection, destroyed, [] { return ""; });
    parts.Cycle = 100ms;
    DeviceLink link(parts);
    ASSERT_TRUE(link.Start());
    std::this_thread::sleep_for(1000ms);
    EXPECT_TRUE(link.Stop());
    // Every fault is followed by a reset; each further try waits a cycle.
    EXPECT_EQ(connection.Resets, connection.Connects);
    EXPECT_GE(connection.Connects, 3);
    EXPECT_LE(connection.Connects, 2 * 1000 / 100 + 2);
    EXPECT_EQ(connection.FirstAddress, "") << "an empty address is passed as it is";
    EXPECT_EQ(connection.FirstFlags, 0);
    EXPECT_EQ(destroyed, 1) << "one object for all the tries, destroyed at the end";
}

TEST(DeviceLink, CreationFailureLeavesNoLinkAndTheWorkflowCarriesOn) {
    RecordingConnection unused;
    std::atomic<int> destroyed{0};
    auto parts = RecordingParts(unused, destroyed, [] { return "127.0.0.1"; });
    parts.Create = [] { return nullptr; };
    DeviceLink link(parts);
    ASSERT_TRUE(link.Start());
    EXPECT_TRUE(link.Stop(2000ms));
    EXPECT_EQ(destroyed, 0);
    EXPECT_TRUE(link.AbortAllowed());
    EXPECT_FALSE(link.SetVolumeSelection(true));
}

TEST(DeviceLink, StopGivesUpOnAStuckWorkerWhichLaterEndsOnItsOwn) {
    std::atomic<bool> release{false}, entered{false}, destroyed{false};
    RecordingConnection connection;
    std::atomic<int> destroyCount{0};
    {
        auto parts = RecordingParts(connection, destroyCount, [&] {
            entered = true;
            while (!release)  // a library call that hangs
                std::this_thread::sleep_for(1ms);
            return std::string("127.0.0.1");
        });
        parts.Destroy = [&](ITalvernConnection*) { return destroyed = true; };
        DeviceLink link(parts);
        ASSERT_TRUE(link.Start());
        ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
        EXPECT_FALSE(link.Stop(50ms));
        EXPECT_FALSE(destroyed);
    }  // the owner is gone; the detached worker keeps its own state
    release = true;
    EXPECT_TRUE(WaitUntil([&] { return destroyed.load(); }));
    EXPECT_EQ(connection.Connects, 1) << "the stop flag ends the loop after the hung call";
}

struct DeviceLinkServed : ::testing::Test {
    RecordingDevice device;
    talvern::LinkServer server{device};
    std::string address;
    void SetUp() override {
        ASSERT_TRUE(server.Start(0));
        address = "127.0.0.1:" + std::to_string(server.Port());
    }
    DeviceLinkParts Parts(std::chrono::milliseconds cycle) {
        DeviceLinkParts parts;
        parts.ReadAddress = [this] { return address; };
        parts.Cycle = cycle;
        return parts;
    }
};

TEST_F(DeviceLinkServed, AbortSequenceAndVolumeSelectionReachTheDevice) {
    DeviceLink link(Parts(std::chrono::hours(1)));
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(WaitUntil([&] { return link.IsConnected(); }));
    EXPECT_TRUE(link.SetVolumeSelection(true));
    EXPECT_TRUE(device.LastVolumeSelection);
    device.AbortPermitted = false;
    EXPECT_FALSE(link.AbortAllowed());
    device.AbortPermitted = true;
    EXPECT_TRUE(link.AbortAllowed());
    EXPECT_EQ(device.AbortRequests, 2);

    EXPECT_TRUE(link.Stop()) << "wakes the worker out of its hour-long sleep";
    EXPECT_TRUE(WaitUntil([&] { return server.ClientCount() == 0; }));
    EXPECT_FALSE(link.SetVolumeSelection(true));
}

TEST_F(DeviceLinkServed, WorkerReconnectsAfterTheDeviceRestarts) {
    DeviceLink link(Parts(300ms));
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(WaitUntil([&] { return server.ClientCount() == 1 && link.IsConnected(); }));
    const uint16_t port = server.Port();
    server.Stop();
    ASSERT_TRUE(server.Start(port));
    ASSERT_TRUE(WaitUntil([&] { return server.ClientCount() == 1 && link.IsConnected(); }));
    EXPECT_TRUE(link.SetVolumeSelection(true));
    EXPECT_EQ(device.VolumeSelectionOn, 1);
}

TEST(DeviceLink, RefusedAddressIsRetriedEachCycleWithoutGrowingDescriptorsOrThreads) {
    const std::string refused = "127.0.0.1:" + std::to_string(zor::test::UnusedPort());
    std::atomic<int> reads{0};
    DeviceLinkParts parts;
    parts.ReadAddress = [&] {
        reads++;
        return refused;
    };
    parts.Cycle = 1ms;
    const auto fdsBefore = EntriesIn("/proc/self/fd");
    DeviceLink link(parts);
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(WaitUntil([&] { return reads >= 10; }));
    const auto threads = EntriesIn("/proc/self/task");
    ASSERT_TRUE(WaitUntil([&] { return reads >= 1010; }, 30000ms));
    // At any moment the worker may hold the one socket of the attempt in flight, no more.
    EXPECT_LE(EntriesIn("/proc/self/fd"), fdsBefore + 1);
    EXPECT_EQ(EntriesIn("/proc/self/task"), threads);
    EXPECT_FALSE(link.IsConnected());
    EXPECT_TRUE(link.Stop());
    // Once stopped, every descriptor of the thousand attempts is closed.
    EXPECT_TRUE(WaitUntil([&] { return EntriesIn("/proc/self/fd") == fdsBefore; }));
}

}  // namespace
