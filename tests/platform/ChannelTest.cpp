// Named objects and the two message channels built on them (copy-data and status queries).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/CopyData.h"
#include "platform/NamedObject.h"
#include "platform/StatusChannel.h"
#include "support/TempDir.h"

using namespace zor::platform;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

/// A runtime folder and session of the test's own, removed with the object.
struct OwnRuntime {
    zor::test::TempDir base{"zor-run"};
    explicit OwnRuntime(const std::string& session) {
        ::setenv("XDG_RUNTIME_DIR", base.Path().c_str(), 1);
        ::setenv("ZOR_SESSION", session.c_str(), 1);
    }
};

constexpr int64_t kClosed = -1, kSilent = -2;  // what the server did instead of replying

int ConnectPath(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval limit{5, 0};  // a safety net: the tests expect a reply or a close
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ? fd
                                                                               : (::close(fd), -1);
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

int64_t AwaitReply(int fd) {
    uint8_t b[4];
    const ssize_t n = ::recv(fd, b, 4, MSG_WAITALL);
    return n == 4 ? b[0] | b[1] << 8 | b[2] << 16 | int64_t{b[3]} << 24
                  : (n < 0 && errno == EAGAIN ? kSilent : kClosed);
}

int ReadByte(int fd) {
    char c = 0;
    return ::read(fd, &c, 1) == 1 ? c : -1;
}

struct stat StatOf(const fs::path& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

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

TEST(NamedObject, ExclusiveWhileHeldAndFreeWithItsSocketReplacedOnceItsHolderIsGone) {
    OwnRuntime runtime("held");
    bool already = true;
    auto first = NamedObject::Create("3DTS_MUTEX", already);
    ASSERT_TRUE(first);
    EXPECT_FALSE(already);
    EXPECT_TRUE(NamedObjectExists("3DTS_MUTEX"));
    ::setenv("ZOR_SESSION", "other", 1);
    EXPECT_FALSE(NamedObjectExists("3DTS_MUTEX")) << "another session sees its own names only";
    ::setenv("ZOR_SESSION", "held", 1);
    // A child takes a name, then execs (end of file on `up` tells when) and is killed: neither its
    // name nor the inherited one outlives it, and its stale socket is replaced by the next owner.
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
    const std::string path = NamedObjectPath("Capture Station");
    const ino_t before = StatOf(path).st_ino;
    std::string why;
    EXPECT_FALSE(NamedObject::Create("Capture Station", already, &why));
    EXPECT_TRUE(already);
    EXPECT_NE(why.find("held by another process"), std::string::npos) << why;
    EXPECT_TRUE(before && StatOf(path).st_ino == before)
        << "a live owner's socket is never removed";
    ::close(down[1]);
    EXPECT_EQ(ReadByte(up[0]), -1);
    ::close(up[0]);
    EXPECT_FALSE(NamedObjectExists("Capture Station"));
    first.reset();
    EXPECT_FALSE(NamedObjectExists("3DTS_MUTEX")) << "the child must not keep the name alive";
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(S_ISSOCK(StatOf(path).st_mode)) << "the dead owner left its socket behind";
    auto next = NamedObject::Create("Capture Station", already);
    ASSERT_TRUE(next);
    const int fresh = ConnectPath(path);
    EXPECT_GE(fresh, 0) << "the next owner listens on that path";
    ::close(fresh);
}

TEST(RuntimeFolder, PrivateFoldersEncodedNamesAndAReasonForEachRefusal) {
    bool already = false;
    {
        OwnRuntime runtime("../up");  // a session that would climb out of its folder
        auto held = NamedObject::Create("ZorWindowClass", already);
        ASSERT_TRUE(held);
        const fs::path vordal = runtime.base / "vordal";
        EXPECT_EQ(fs::path(RuntimeFolder()).parent_path(), vordal);
        EXPECT_EQ(StatOf(RuntimeFolder()).st_mode, S_IFDIR | 0700);
        // Long sessions and names are hashed, never cut short.
        for (size_t length : {87, 97}) {
            const std::string session(length - 1, 's');
            ::setenv("ZOR_SESSION", (session + "a").c_str(), 1);
            auto mutex = NamedObject::Create("3DTS_MUTEX", already);
            auto longName = NamedObject::Create(std::string(200, 'x'), already);
            EXPECT_TRUE(mutex && longName) << length;
            EXPECT_FALSE(NamedObjectExists(std::string(199, 'x')));
            ::setenv("ZOR_SESSION", (session + "b").c_str(), 1);
            EXPECT_FALSE(NamedObjectExists("3DTS_MUTEX"));
        }
    }
    // Each case spoils the private folder of a fresh runtime folder: nothing may be bound there.
    const std::pair<const char*, std::function<void(const fs::path&)>> cases[] = {
        {"is open to other users (mode 0755)",
         [](const fs::path& base) {
             fs::create_directory(base / "vordal");
             fs::permissions(base / "vordal", fs::perms(0755));
         }},
        {"is a symbolic link",
         [](const fs::path& base) {
             fs::create_directory(base / "elsewhere");
             fs::create_directory_symlink(base / "elsewhere", base / "vordal");
         }},
        {"belongs to user id 65534",
         [](const fs::path& base) {
             fs::create_directory(base / "vordal");
             fs::permissions(base / "vordal", fs::perms::owner_all);
             ASSERT_EQ(::chown((base / "vordal").c_str(), 65534, 65534), 0);
         }},
    };
    for (const auto& [reason, spoil] : cases) {
        if (::geteuid() != 0 && std::strstr(reason, "65534"))
            continue;  // only root can give a folder away
        OwnRuntime runtime("s");
        spoil(runtime.base.Path());
        std::string why;
        EXPECT_FALSE(NamedObject::Create("ZorWindowClass", already, &why));
        EXPECT_FALSE(already);
        EXPECT_NE(why.find(reason), std::string::npos) << why;
        for (const auto& entry : fs::recursive_directory_iterator(runtime.base.Path()))
            EXPECT_FALSE(entry.is_socket()) << entry.path();
    }
}

TEST(OtherUsers, CannotTakeFakeOrReachTheNamesOfThisUser) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a process under another user id";
    OwnRuntime runtime("users");
    Recorder rec;
    auto server = rec.Start();
    ASSERT_TRUE(server);
    // The other user's runtime folder, and a hard link to the real socket: only the peer check
    // keeps it shut.
    zor::test::TempDir theirs("zor-nobody");
    ASSERT_EQ(::chown(theirs.Path().c_str(), 65534, 65534), 0);
    const std::string door = theirs.File("door");
    ASSERT_EQ(::link(NamedObjectPath("ZorWindowClass").c_str(), door.c_str()), 0);
    ASSERT_EQ(::chmod(door.c_str(), 0777), 0);
    int up[2], down[2];
    ASSERT_EQ(::pipe2(up, O_CLOEXEC) + ::pipe2(down, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        char r[4] = {};
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(10);
        std::string why;
        bool already = false;
        r[0] = !NamedObject::Create("ZorWindowClass", already, &why) && !why.empty();
        r[1] = SendCopyData("ZorWindowClass", 1, "intruder", 2000).result == CopyDataResult::Failed;
        const int fd = ConnectPath(door);
        r[2] = fd >= 0 && (SendRaw(fd, Le32({1, 9}) + "intruder"), AwaitReply(fd) == kClosed);
        ::setenv("XDG_RUNTIME_DIR", theirs.Path().c_str(), 1);
        auto squat = CopyDataServer::Start("ZorWindowClass", [](uint32_t, const std::string&) {});
        auto fake =
            StatusQueryServer::Start("CDeviceDriverHostApp", [](int32_t, int32_t) { return 42; });
        r[3] = squat && fake;
        (void)!::write(up[1], r, sizeof r);
        ::close(down[1]);
        ReadByte(down[0]);
        ::_exit(0);
    }
    ::close(up[1]);
    ::close(down[0]);
    char r[4] = {};
    ASSERT_EQ(::read(up[0], r, sizeof r), 4);
    // In turn: took no name here, reached nothing here, got no answer, has a folder of its own.
    EXPECT_EQ(std::string(r, 4), std::string(4, 1));
    // With the squatter's names alive, this user's server still takes this user's records.
    EXPECT_TRUE(SendCopyData("ZorWindowClass", 2, "owner"));
    EXPECT_EQ(rec.Count(), 1u);
    // A fake driver whose socket appears in this user's folder is not taken for the driver.
    ASSERT_EQ(::rename(theirs.File("vordal/users/CDeviceDriverHostApp").c_str(),
                       NamedObjectPath("CDeviceDriverHostApp").c_str()),
              0);
    StatusQueryClient client("CDeviceDriverHostApp", 500);
    int32_t result = 0;
    EXPECT_FALSE(client.Find() || client.Query(0, 1, result));
    EXPECT_NE(client.LastError().find("user id 65534"), std::string::npos) << client.LastError();
    ::close(down[1]);
    ::close(up[0]);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
}

TEST(CopyData, SendIsSynchronousWithTheHandler) {
    OwnRuntime runtime("cd-sync");
    std::promise<void> entered, open;
    std::atomic<bool> sent{false};
    std::pair<uint32_t, std::string> got;
    auto server = CopyDataServer::Start(
        "ZorWindowClass", [&, gate = open.get_future().share()](uint32_t dw, const std::string& t) {
            entered.set_value();
            gate.wait();
            got = {dw, t};
        });
    ASSERT_TRUE(server);
    auto send = std::async(std::launch::async, [&] {
        const bool ok(SendCopyData("ZorWindowClass", 1, "#HANDLE 0 #PATIENT_NAME Zoë"));
        sent = true;
        return ok;
    });
    ASSERT_EQ(entered.get_future().wait_for(60s), std::future_status::ready);
    EXPECT_FALSE(sent) << "no reply while the handler runs";
    open.set_value();
    ASSERT_TRUE(send.get());
    EXPECT_EQ(got, std::make_pair(1u, std::string("#HANDLE 0 #PATIENT_NAME Zoë")));
    EXPECT_EQ(SendCopyData("NoSuchWindow", 1, "x", 500).result, CopyDataResult::Absent);
}

TEST(CopyData, RecordSizeLimitAndOddRecords) {
    OwnRuntime runtime("cd-size");
    Recorder rec;
    auto server = rec.Start();
    ASSERT_TRUE(server);
    const std::string largest(kMaxCopyDataBytes - 1, 'a');  // plus its NUL: exactly the limit
    EXPECT_TRUE(SendCopyData("ZorWindowClass", 2, largest));
    const CopyDataSent over = SendCopyData("ZorWindowClass", 2, largest + "a");
    EXPECT_EQ(over.result, CopyDataResult::TooLarge) << "refused by the sender";
    int fd = ConnectPath(NamedObjectPath("ZorWindowClass"));
    ASSERT_TRUE(SendRaw(fd, Le32({1, kMaxCopyDataBytes + 1})));
    EXPECT_EQ(AwaitReply(fd), kClosed) << "an oversized record gets no reply";
    ::close(fd);
    // An empty record and one with a NUL inside, on one connection.
    fd = ConnectPath(NamedObjectPath("ZorWindowClass"));
    ASSERT_TRUE(SendRaw(fd, Le32({4, 0}) + Le32({5, 6}) + std::string("ab\0cd", 6)));
    EXPECT_EQ(AwaitReply(fd), 0);
    EXPECT_EQ(AwaitReply(fd), 0);
    ::close(fd);
    std::lock_guard lock(rec.mutex);
    ASSERT_EQ(rec.records.size(), 3u);
    EXPECT_EQ(rec.records[0].second.size(), largest.size());
    EXPECT_EQ(rec.records[2], std::make_pair(5u, std::string("ab")));
}

TEST(CopyData, ClientsTricklingRecordsIntoEverySlotDoNotStarveARealOne) {
    OwnRuntime runtime("cd-slow");
    Recorder rec;
    auto server = rec.Start();
    ASSERT_TRUE(server);
    // More slow clients than slots, each sending a byte every 100 ms: none would finish in time.
    std::vector<int> slow;
    for (int i = 0; i < 40; ++i) {
        slow.push_back(ConnectPath(NamedObjectPath("ZorWindowClass")));
        ASSERT_GE(slow.back(), 0);
    }
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        const std::string record = Le32({1, 100}) + std::string(100, 'x');
        for (size_t i = 0; i < record.size() && !stop; ++i, std::this_thread::sleep_for(100ms))
            for (int fd : slow)
                SendRaw(fd, record.substr(i, 1));
    });
    EXPECT_TRUE(SendCopyData("ZorWindowClass", 7, "real", 8000));
    stop = true;
    trickle.join();
    for (int fd : slow) {
        EXPECT_EQ(AwaitReply(fd), kClosed);
        ::close(fd);
    }
    EXPECT_EQ(rec.Count(), 1u);
}

TEST(StatusChannel, FindFollowsTheServerLateRepliesCountAsAbsentAndClientsShareIt) {
    OwnRuntime runtime("st-find");
    StatusQueryClient client("CDeviceDriverHostApp", 200);
    int32_t result = 0;
    EXPECT_FALSE(client.Find() || client.Query(0, 1, result));
    {
        auto server =
            StatusQueryServer::Start("CDeviceDriverHostApp", [](int32_t, int32_t) { return 5; });
        ASSERT_TRUE(server);
        EXPECT_TRUE(client.Query(0, 1, result)) << "a query finds a server that started";
        EXPECT_EQ(result, 5);
    }
    EXPECT_FALSE(client.Find()) << "a connection to a server that ended is not a find";
    // A reply later than the client's limit counts as absent and does not leak into the next.
    std::promise<void> open;
    auto server = StatusQueryServer::Start(
        "CDeviceDriverHostApp", [&, gate = open.get_future().share()](int32_t, int32_t l) {
            if (l == 7)
                gate.wait();
            return l;
        });
    ASSERT_TRUE(server);
    EXPECT_FALSE(client.Query(0, 7, result));
    open.set_value();
    ASSERT_TRUE(client.Query(0, 8, result));
    EXPECT_EQ(result, 8);
    // Several queries in one write, answered in order; half a request holds up no one else.
    const int fd = ConnectPath(NamedObjectPath("CDeviceDriverHostApp"));
    ASSERT_TRUE(SendRaw(fd, Le32({0, 1, 0, 2, 0, 3}) + "\1\2\3"));
    for (int64_t expected : {1, 2, 3})
        EXPECT_EQ(AwaitReply(fd), expected);
    std::vector<std::thread> clients;
    std::atomic<int> wrong{0};
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([c, &wrong] {
            StatusQueryClient other("CDeviceDriverHostApp", 2000);
            for (int i = 0; i < 50; ++i) {
                int32_t got = 0;
                wrong += !other.Query(c, i, got) || got != i;
            }
        });
    }
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(wrong, 0);
    ::close(fd);
}
