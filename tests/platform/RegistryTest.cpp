#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <random>

#include "platform/Registry.h"
#include "platform/RegistryText.h"
#include "support/TempDir.h"

using namespace zor::platform;
using namespace std::string_literals;
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

/// Runs `body` in a forked child, whose exit status is `body`'s value.
pid_t Spawn(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    return pid;
}

/// Waits for a child; its exit status, or -1 when it did not exit normally.
int ExitCode(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Registry : public ::testing::Test {
protected:
    /// Writes `text` as the registry file and opens the key for writing.
    std::optional<RegistryKey> Open(const std::string& text) {
        WriteFile(m_File, text);
        return RegistryKey::Open(kKey, true, m_File);
    }
    std::string Text() const { return ReadFile(m_File); }

    zor::test::TempDir m_Dir;
    const std::filesystem::path m_File = m_Dir / "registry.reg";
};

}  // namespace

TEST(RegistryGrammar, ValueLines) {
    struct Good {
        const char* line;
        const char* name;
        RegValue value;
    };
    const Good good[] = {
        {R"("Dir"="C:\\dir\\")", "Dir", {1, "C:\\dir\\"}},
        {R"("Say"="a \"q\" b")", "Say", {1, "a \"q\" b"}},
        {R"("Na\"me"="v")", "Na\"me", {1, "v"}},
        {R"("Odd"="a\nb")", "Odd", {1, "a\\nb"}},
        {R"(  "A" = "spaced"  )", "A", {1, "spaced"}},
        {R"(@="default")", "", {1, "default"}},
        {R"("N"=dword:0000003c)", "N", {4, "", 60}},
        {R"("N"=DWORD:FFFFFFFF)", "N", {4, "", 0xFFFFFFFFu}},
        {R"("N"=dword:1)", "N", {4, "", 1}},
        {R"("B"=hex:)", "B", {3, "", 0, {}}},
        {R"("B"=hex: 1, a ,ff,)", "B", {3, "", 0, {1, 10, 255}}},
        {R"("E"=hex(2):43,00,3a,00,5c,00,00,00)", "E", {2, "C:\\", 0, {67, 0, 58, 0, 92, 0, 0, 0}}},
        {R"("E"=str(2):"%HOME%\\x")", "E", {2, "%HOME%\\x"}},
        {R"("S"=hex(1):41,00,00,00)", "S", {1, "A", 0, {0x41, 0, 0, 0}}},
        {R"("D"=hex(4):3c,00,00,00)", "D", {4, "", 60, {0x3c, 0, 0, 0}}},
        {R"("M"=hex(7):61,00,00,00,00,00)", "M", {7, "", 0, {0x61, 0, 0, 0, 0, 0}}},
        {R"("Q"=hex(b):01)", "Q", {11, "", 0, {1}}}};
    for (const auto& [line, expectedName, expected] : good) {
        SCOPED_TRACE(line);
        std::string name;
        RegValue value;
        ASSERT_TRUE(regtext::ParseValueLine(line, name, value));
        EXPECT_EQ(name, expectedName);
        EXPECT_EQ(value.type, expected.type);
        EXPECT_EQ(value.text, expected.text);
        EXPECT_EQ(value.dword, expected.dword);
        EXPECT_EQ(value.bytes, expected.bytes);
    }
    for (const char* line :
         {R"("N"=dword:123456789)", R"("N"=dword:)", R"("N"=dword:zz)", R"("N"=dword:-1)",
          R"("A"="unterminated)", R"("A"="x" trailing)", R"("A"=-)", R"("B"=hex:1,2,3zz)",
          R"("B"=hex:100)", R"("B"=hex(zz):01)", R"("A"text)", R"(A="text")", "garbage", ""}) {
        std::string name;
        RegValue value;
        EXPECT_FALSE(regtext::ParseValueLine(line, name, value)) << line;
    }
}

TEST(RegistryGrammar, FormatsAsRegeditWrites) {
    const RegValue dword{4, "", 60};
    EXPECT_EQ(regtext::FormatValue("CrossAngleLimit", dword, "\n"),
              "\"CrossAngleLimit\"=dword:0000003c\n");
    EXPECT_EQ(regtext::FormatValue("", {1, "C:\\a \"b\""}, "\r\n"), "@=\"C:\\\\a \\\"b\\\"\"\r\n");
    EXPECT_EQ(regtext::FormatValue("E", {2, "é"}, "\n"), "\"E\"=hex(2):e9,00,00,00\n");
    EXPECT_TRUE(regtext::FormatValue("bad\nname", dword, "\n").empty());
    // Long data wraps as regedit does: lines of at most 80 characters continued by a backslash.
    const std::string wrapped = regtext::FormatValue("B", {3, "", 0, Bytes(60, 0xab)}, "\n");
    int lines = 0;
    for (size_t start = 0, nl; (nl = wrapped.find('\n', start)) != std::string::npos; ++lines) {
        EXPECT_LE(nl - start, 80u);
        EXPECT_EQ(wrapped[nl - 1] == '\\', nl + 1 < wrapped.size());
        start = nl + 1;
    }
    EXPECT_GE(lines, 3);
}

TEST_F(Registry, CreateOpenAndRoundTripOfEveryType) {
    const auto file = m_Dir / "sub" / "registry.reg";
    EXPECT_FALSE(RegistryKey::Open(kKey, false, file));
    auto key = RegistryKey::Create(kKey, file);
    auto user = RegistryKey::Create("HKEY_CURRENT_USER\\SOFTWARE\\VORDAL\\Dextrum\\settings", file);
    ASSERT_TRUE(key && user);
    EXPECT_EQ(ReadFile(file).rfind("REGEDIT4\n", 0), 0u);
    Bytes longBinary(300);
    for (size_t i = 0; i < longBinary.size(); ++i)
        longBinary[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(user->SetString("SZ", "user"));
    ASSERT_TRUE(key->SetDword("Dword", 0xDEADBEEF));
    ASSERT_TRUE(key->SetString("Sz", "C:\\Program Files\\\"x\"\\"));
    ASSERT_TRUE(key->SetString("Expand", "%HOME%/断层 \xF0\x9F\xA6\xB7", RegType::ExpandSz));
    ASSERT_TRUE(key->SetString("Lines", "one\ntwo"));
    ASSERT_TRUE(key->SetBytes("Binary", 3, longBinary));
    ASSERT_TRUE(key->SetBytes("Multi", 7, {0x61, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(key->SetString("Bad", "x", RegType::Dword));
    EXPECT_EQ(Read(*key, "dword"), "4:3735928559");
    EXPECT_EQ(Read(*key, "SZ"), "1:C:\\Program Files\\\"x\"\\");
    EXPECT_EQ(Read(*key, "Expand"), "2:%HOME%/断层 \xF0\x9F\xA6\xB7");
    EXPECT_EQ(Read(*key, "Lines"), "1:one\ntwo");
    EXPECT_EQ(Read(*key, "Multi"), "7:");
    EXPECT_EQ(key->Query("Binary").value_or(RegValue{}).bytes, longBinary);
    EXPECT_FALSE(key->Query("Bad"));
    // Both hives live in the one file; key paths compare case-insensitively too.
    auto lower =
        RegistryKey::Open("hkey_current_user\\software\\vordal\\dextrum\\SETTINGS", false, file);
    ASSERT_TRUE(lower);
    EXPECT_EQ(Read(*lower, "sz"), "1:user");
    EXPECT_FALSE(lower->SetDword("x", 1)) << "a key opened read-only refuses writes";
    // No section, no key.
    WriteFile(m_File, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\software\\vordal]\n\"a\"=dword:1\n");
    EXPECT_FALSE(RegistryKey::Open(kKey, true, m_File));
    EXPECT_TRUE(RegistryKey::Open("HKEY_LOCAL_MACHINE\\SOFTWARE\\VORDAL", true, m_File));
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
    EXPECT_EQ(Read(*key, "CrossAngleLimit"), "4:45");

    ASSERT_TRUE(key->Delete("crossanglelimit"));
    EXPECT_EQ(Text(), head.substr(0, head.rfind("dword:00000001")) + "dword:00000000\n" +
                          "half a line \"=\n" + tail);
}

TEST_F(Registry, LastLineWithoutNewline) {
    auto key = Open(kHead + "\"A\"=dword:00000001");
    ASSERT_TRUE(key && key->SetDword("A", 2));
    EXPECT_EQ(Text(), kHead + "\"A\"=dword:00000002");
    ASSERT_TRUE(key->SetDword("B", 3));
    EXPECT_EQ(Text(), kHead + "\"A\"=dword:00000002\n\"B\"=dword:00000003\n");
}

// Ten megabytes of junk around the key and five of continued hex data: read in linear time,
// and kept byte for byte by a write.
TEST_F(Registry, HugeFilesReadInLinearTimeAndSurviveAWrite) {
    std::mt19937 rng(7);
    std::string junk(10 * 1024 * 1024, '\0');
    for (char& c : junk)
        c = static_cast<char>(rng());
    std::string before =
        "REGEDIT4\n" + junk + "\n[" + kKey + "]\n" + "\0\x01 binary \xFF\n\"Blob\"=hex:00"s;
    constexpr size_t kLines = 200000;
    for (size_t i = 0; i < kLines; ++i)
        before += ",\\\n  01,02,03,04,05,06,07,08";
    before += "\n\"InstallDir\"=\"/opt/zor/\"\n";
    const std::string after = "\n[HKEY_LOCAL_MACHINE\\other]\n" + junk.substr(0, 1 << 20) + "\n";
    auto key = Open(before + after);
    ASSERT_TRUE(key && key->Query("Blob"));
    EXPECT_EQ(key->Query("Blob")->bytes.size(), 1 + 8 * kLines);
    EXPECT_EQ(Read(*key, "InstallDir"), "1:/opt/zor/");
    ASSERT_TRUE(key->SetDword("SliceVisualNumber", 5));
    EXPECT_TRUE(Text() == before + "\"SliceVisualNumber\"=dword:00000005\n" + after);
}

TEST_F(Registry, WritesKeepModeAndSymbolicLink) {
    const auto real = m_Dir / "real.reg";
    WriteFile(real, kHead);
    ::chmod(real.c_str(), 0640);
    std::filesystem::create_symlink(real, m_File);
    auto key = RegistryKey::Open(kKey, true, m_File);
    ASSERT_TRUE(key && key->SetDword("A", 1));
    EXPECT_TRUE(std::filesystem::is_symlink(m_File));
    EXPECT_EQ(ReadFile(real), kHead + "\"A\"=dword:00000001\n");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
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

TEST_F(Registry, TwoProcessesWritingAtOnceLoseNothing) {
    const std::string extra = "; keep me\n\x01\x02 junk line\n";
    WriteFile(m_File, "REGEDIT4\n" + extra + "\n[" + kKey + "]\n");
    constexpr int kPerWriter = 500;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = Spawn([&, w] {
            auto key = RegistryKey::Open(kKey, true, m_File);
            for (int i = 0; key && i < kPerWriter; ++i) {
                if (!key->SetDword("W" + std::to_string(w) + "_" + std::to_string(i),
                                   w * 10000 + i))
                    return 1;
            }
            return key ? 0 : 2;
        });
    }
    for (pid_t writer : writers)
        EXPECT_EQ(ExitCode(writer), 0);
    auto key = RegistryKey::Open(kKey, false, m_File);
    ASSERT_TRUE(key);
    for (int w = 0; w < 2; ++w)
        for (int i = 0; i < kPerWriter; ++i)
            ASSERT_EQ(Read(*key, "w" + std::to_string(w) + "_" + std::to_string(i)),
                      "4:" + std::to_string(w * 10000 + i));
    EXPECT_NE(Text().find(extra), std::string::npos);
    EXPECT_EQ(m_Dir.Count(), 2) << "only the file and its stable lock file: no temporary left";
}
