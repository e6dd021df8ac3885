#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>
#include <tuple>

#include "platform/Registry.h"
#include "platform/RegistryText.h"
#include "support/TempDir.h"

using namespace zor::platform;
using namespace std::string_literals;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using zor::test::ReadFile;
using zor::test::WriteFile;
using Bytes = std::vector<uint8_t>;

namespace {

const std::string kKey = "HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern";
const std::string kHead = "REGEDIT4\n\n[" + kKey + "]\n";

// A value as "<type>:<text or decimal DWORD>", "<absent>" when there is none.
std::string Read(const RegistryKey& key, const std::string& name) {
    const auto v = key.Query(name);
    return !v ? "<absent>"
              : std::to_string(v->type) + ":" + (v->type == 4 ? std::to_string(v->dword) : v->text);
}

pid_t Spawn(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    return pid;
}

int ExitCode(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Registry : public ::testing::Test {
protected:
    std::optional<RegistryKey> Open(const std::string& text) {
        WriteFile(m_File, text);
        return RegistryKey::Open(kKey, true, m_File);
    }
    std::string Text() const { return ReadFile(m_File); }

    zor::test::TempDir m_Dir;
    const std::filesystem::path m_File = std::filesystem::canonical(m_Dir.Path()) / "registry.reg";
};

}  // namespace

TEST(RegistryGrammar, ValueLinesReadAndFormatted) {
    const std::tuple<const char*, const char*, RegValue> good[] = {
        {R"("Dir"="C:\\dir\\")", "Dir", {1, "C:\\dir\\"}},
        {R"("Odd"="a\nb")", "Odd", {1, "a\\nb"}},
        {R"(  "A" = "spaced"  )", "A", {1, "spaced"}},
        {R"(@="default")", "", {1, "default"}},
        {R"("N"=dword:0000003c)", "N", {4, "", 60}},
        {R"("N"=DWORD:FFFFFFFF)", "N", {4, "", 0xFFFFFFFFu}},
        {R"("B"=hex: 1, a ,ff,)", "B", {3, "", 0, {1, 10, 255}}},
        {R"("E"=hex(2):43,00,3a,00,5c,00,00,00)", "E", {2, "C:\\", 0, {67, 0, 58, 0, 92, 0, 0, 0}}},
        {R"("E"=str(2):"%HOME%\\x")", "E", {2, "%HOME%\\x"}},
        {R"("D"=hex(4):3c,00,00,00)", "D", {4, "", 60, {0x3c, 0, 0, 0}}},
        {R"("Q"=hex(b):01)", "Q", {11, "", 0, {1}}}};
    for (const auto& [line, expectedName, expected] : good) {
        SCOPED_TRACE(line);
        std::string name;
        RegValue value;
        ASSERT_TRUE(regtext::ParseValueLine(line, name, value));
        EXPECT_EQ(
            std::tie(name, value.type, value.text, value.dword, value.bytes),
            std::tie(expectedName, expected.type, expected.text, expected.dword, expected.bytes));
    }
    for (const char* line :
         {R"("N"=dword:123456789)", R"("N"=dword:zz)", R"("A"="unterminated)",
          R"("A"="x" trailing)", R"("B"=hex:100)", R"("B"=hex(zz):01)", R"(A="text")", ""}) {
        std::string name;
        RegValue value;
        EXPECT_FALSE(regtext::ParseValueLine(line, name, value)) << line;
    }
    // Written as regedit writes them; a name that cannot be written gives nothing.
    EXPECT_EQ(regtext::FormatValue("", {1, "C:\\a \"b\""}, "\r\n"), "@=\"C:\\\\a \\\"b\\\"\"\r\n");
    EXPECT_TRUE(regtext::FormatValue("bad\nname", {4, "", 60}, "\n").empty());
}

TEST_F(Registry, CreateOpenAndRoundTripOfEveryType) {
    const auto file = m_Dir / "sub" / "registry.reg";
    EXPECT_FALSE(RegistryKey::Open(kKey, false, file));
    auto key = RegistryKey::Create(kKey, file);
    auto user = RegistryKey::Create("HKEY_CURRENT_USER\\SOFTWARE\\VORDAL\\Dextrum\\settings", file);
    ASSERT_TRUE(key && user);
    EXPECT_EQ(ReadFile(file).rfind("REGEDIT4\n", 0), 0u);
    Bytes longBinary(300, 0xab);  // wrapped over several lines
    ASSERT_TRUE(user->SetString("SZ", "user"));
    ASSERT_TRUE(key->SetDword("Dword", 0xDEADBEEF));
    ASSERT_TRUE(key->SetString("Expand", "%HOME%/断层 \xF0\x9F\xA6\xB7", RegType::ExpandSz));
    ASSERT_TRUE(key->SetBytes("Binary", 3, longBinary));
    EXPECT_FALSE(key->SetString("Bad", "x", RegType::Dword));
    EXPECT_EQ(Read(*key, "dword"), "4:3735928559");
    EXPECT_EQ(Read(*key, "Expand"), "2:%HOME%/断层 \xF0\x9F\xA6\xB7");
    EXPECT_EQ(key->Query("Binary").value_or(RegValue{}).bytes, longBinary);
    EXPECT_FALSE(key->Query("Bad"));
    // Both hives live in the one file; key paths compare case-insensitively too.
    auto lower =
        RegistryKey::Open("hkey_current_user\\software\\vordal\\dextrum\\SETTINGS", false, file);
    ASSERT_TRUE(lower);
    EXPECT_EQ(Read(*lower, "sz"), "1:user");
    EXPECT_FALSE(lower->SetDword("x", 1)) << "a key opened read-only refuses writes";
}

TEST_F(Registry, ContinuationLinesAndCrLfAreReadAndReplacedWhole) {
    const std::string head = "REGEDIT4\r\n\r\n[" + kKey + "]\r\n";
    auto key =
        Open(head +
             "\"InstallDir\"=hex(2):2f,00,6f,00,70,00,74,00,2f,00,7a,00,6f,00,72,00,2f,00,\\\r\n"
             "  61,00,62,00,\\\r\n"
             "  00,00\r\n"
             "\"SliceVisualNumber\"=dword:00000007\r\n");
    ASSERT_TRUE(key);
    EXPECT_EQ(Read(*key, "InstallDir"), "2:/opt/zor/ab");
    ASSERT_TRUE(key->SetDword("IsCrossCropped", 1));
    ASSERT_TRUE(key->SetDword("SliceVisualNumber", 5));
    ASSERT_TRUE(key->SetDword("INSTALLDIR", 2));  // all its lines replaced, its name kept as it was
    EXPECT_EQ(Text(),
              head + "\"InstallDir\"=dword:00000002\r\n\"SliceVisualNumber\"=dword:00000005\r\n" +
                  "\"IsCrossCropped\"=dword:00000001\r\n");
}

// Hex data continued on the last line of its key or of the file ends there.
TEST_F(Registry, HexDataCutShortTakesNoAppendedValue) {
    for (const std::string after : {"\n[HKEY_CURRENT_USER\\x]\n\"x\"=dword:00000003\n", ""}) {
        auto key = Open(kHead + "\"Blob\"=hex:01,02,\\" + after);
        ASSERT_TRUE(key && key->SetDword("New", 7));
        EXPECT_EQ(key->Query("Blob").value_or(RegValue{}).bytes, (Bytes{1, 2}));
        EXPECT_EQ(Read(*key, "New"), "4:7");
        EXPECT_EQ(Text().substr(Text().size() - after.size()), after);
    }
}

TEST_F(Registry, UnknownLinesAreKeptByteForByte) {
    const std::string head =
        "REGEDIT4\n; a comment\n\xFF\xFE garbage \0 with NUL\n[HKEY_CLASSES_ROOT\\x]\n"
        "\"CrossAngleLimit\"=dword:00000001\n\n["s +
        kKey +
        "]\n"
        "# not a comment regedit knows\n"
        "\"CrossAngleLimit\"=dword:zz\n"
        "\"IsCrossCropped\"=dword:00000000\n"
        "\"IsCrossCropped\"=dword:00000001\n"
        "half a line \"=\n"s;
    const std::string tail = "\n[-HKEY_LOCAL_MACHINE\\gone]\n\"x\"=\"y\"";  // no final newline
    auto key = Open(head + tail);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->Query("CrossAngleLimit")) << "a malformed line is skipped on read";
    EXPECT_EQ(Read(*key, "IsCrossCropped"), "4:1") << "the last line of a name wins";

    ASSERT_TRUE(key->SetDword("CrossAngleLimit", 45));
    ASSERT_TRUE(key->SetDword("IsCrossCropped", 0));
    std::string expected = head;
    expected.replace(expected.rfind("dword:00000001"), 14, "dword:00000000");
    EXPECT_EQ(Text(), expected + "\"CrossAngleLimit\"=dword:0000002d\n" + tail);

    ASSERT_TRUE(key->Delete("crossanglelimit"));
    EXPECT_EQ(Text(), head.substr(0, head.rfind("dword:00000001")) + "dword:00000000\n" +
                          "half a line \"=\n" + tail);
}

// Up to exactly the limit junk and hex data are read and kept; above it reads and writes fail.
TEST_F(Registry, HugeFilesUpToTheLimitAreReadAndAboveItNotAtAll) {
    const std::string junk(8 * 1024 * 1024, '\xFF');
    std::string before =
        "REGEDIT4\n" + junk + "\n[" + kKey + "]\n" + "\0\x01 binary \xFF\n\"Blob\"=hex:00"s;
    constexpr size_t kLines = 200000;
    for (size_t i = 0; i < kLines; ++i)
        before += ",\\\n  01,02,03,04,05,06,07,08";
    before += "\n\"InstallDir\"=\"/opt/zor/\"\n";
    const std::string line = "\"SliceVisualNumber\"=dword:00000005\n";
    std::string after = "\n[HKEY_LOCAL_MACHINE\\other]\n";
    after += junk.substr(0, kMaxRegistryFileBytes - before.size() - after.size() - line.size());
    auto key = Open(before + after);
    ASSERT_TRUE(key && key->Query("Blob"));
    EXPECT_EQ(key->Query("Blob")->bytes.size(), 1 + 8 * kLines);
    EXPECT_EQ(Read(*key, "InstallDir"), "1:/opt/zor/");
    ASSERT_TRUE(key->SetDword("SliceVisualNumber", 5));
    EXPECT_TRUE(Text() == before + line + after);

    std::filesystem::resize_file(m_File, 250'000'000);  // sparse: takes no disk
    std::string error;
    EXPECT_FALSE(RegistryKey::Open(kKey, false, m_File, &error));
    EXPECT_EQ(Read(*key, "InstallDir"), "<absent>");
    EXPECT_FALSE(key->SetDword("SliceVisualNumber", 6));
    EXPECT_NE(error.find("is larger than 16777216 bytes"), std::string::npos) << error;
}

TEST_F(Registry, OpenForWriteFailsOnAReadOnlyFile) {
    WriteFile(m_File, kHead + "\"A\"=dword:00000001\n");
    ::chmod(m_Dir.Path().c_str(), 0755);
    ::chmod(m_File.c_str(), 0644);
    // In a child, so that dropping root does not outlive the test.
    EXPECT_EQ(ExitCode(Spawn([&] {
                  if (::geteuid() == 0 && ::setuid(65534) != 0)
                      return 10;
                  if (::geteuid() != 0)
                      ::chmod(m_File.c_str(), 0444);
                  const auto readOnly = RegistryKey::Open(kKey, false, m_File);
                  return RegistryKey::Open(kKey, true, m_File)        ? 1
                         : !readOnly || Read(*readOnly, "A") != "4:1" ? 2
                                                                      : 0;
              })),
              0);
    EXPECT_EQ(Text(), kHead + "\"A\"=dword:00000001\n");
}

// 10 processes of 10 threads, half through a symbolic link: all 1,000 values arrive.
TEST_F(Registry, WritersThroughALinkAndTheRealPathLoseNothing) {
    WriteFile(m_File, kHead);
    const auto link = m_Dir / "link.reg";
    std::filesystem::create_symlink(m_File.filename(), link);
    std::vector<pid_t> writers;
    for (int p = 0; p < 10; ++p) {
        writers.push_back(Spawn([&, p] {
            std::atomic<int> failures{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < 10; ++t) {
                threads.emplace_back([&, t] {
                    auto key = RegistryKey::Open(kKey, true, p % 2 ? link : m_File);
                    if (key)
                        key->SetLockWait(120s);
                    for (int i = 0, n = p * 100 + t * 10; i < 10; ++i, ++n)
                        failures += !key || !key->SetDword("v" + std::to_string(n), n);
                });
            }
            for (auto& thread : threads)
                thread.join();
            return failures.load();
        }));
    }
    for (pid_t writer : writers)
        EXPECT_EQ(ExitCode(writer), 0);
    auto key = RegistryKey::Open(kKey, false, m_File);
    ASSERT_TRUE(key);
    for (int n = 0; n < 1000; ++n)
        ASSERT_EQ(Read(*key, "V" + std::to_string(n)), "4:" + std::to_string(n));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(m_Dir.Count(), 3) << "the file, the link and one lock file: no temporary left";
}

// A held lock ends the write after the wait; a link or FIFO lock file at once, target untouched.
TEST_F(Registry, LockThatCannotBeTakenEndsTheWrite) {
    auto key = Open(kHead + "\"A\"=dword:00000001\n");
    ASSERT_TRUE(key);
    const auto lock = m_File.string() + ".lock";
    const int held = ::open(lock.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    key->SetLockWait(200ms);
    const auto start = Clock::now();
    EXPECT_FALSE(key->SetDword("A", 2));
    EXPECT_GE(Clock::now() - start, 200ms);
    EXPECT_NE(key->LastError().find("locked by another process"), std::string::npos);
    EXPECT_EQ(Read(*key, "A"), "4:1");
    ::close(held);

    const auto victim = m_Dir / "victim";
    std::filesystem::remove(lock);
    std::filesystem::create_symlink(victim, lock);
    WriteFile(victim, "precious");
    EXPECT_FALSE(key->SetDword("A", 2));
    EXPECT_EQ(ReadFile(victim), "precious");
    std::filesystem::remove(lock);
    ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0);
    EXPECT_FALSE(key->SetDword("A", 2));
    EXPECT_NE(key->LastError().find("not a regular file"), std::string::npos);
    EXPECT_EQ(Read(*key, "A"), "4:1");
}

// A replacement that cannot be written whole changes nothing and leaves no temporary file.
TEST_F(Registry, FailedReplacementChangesNothing) {
    auto key = Open(kHead);
    ASSERT_TRUE(key);
    EXPECT_EQ(ExitCode(Spawn([&] {
                  std::signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit{4096, 4096};
                  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                         !key->SetString("Big", std::string(8192, 'x')) &&
                         key->LastError().find("File too large") != std::string::npos;
              })),
              1);
    EXPECT_EQ(Text(), kHead);
    EXPECT_EQ(m_Dir.Count(), 2) << "the file and its lock file: no temporary left";
}
