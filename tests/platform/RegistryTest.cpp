#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "PlatformTestSupport.h"
#include "platform/Registry.h"
#include "platform/RegistryText.h"

using namespace zor::platform;
using zor::platform::test::ReadFile;
using zor::platform::test::RunInChild;
using zor::platform::test::TempDir;
using zor::platform::test::WriteFile;
using namespace std::string_literals;

namespace {

const std::string kKey = "HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern";
const std::string kUserKey = "HKEY_CURRENT_USER\\SOFTWARE\\VORDAL\\Dextrum\\settings";

// Absent values read as "<absent>" / -1, so a failing check never dereferences nothing.
std::string TextOf(const RegistryKey& key, const std::string& name) {
    const auto v = key.Query(name);
    return v ? v->text : "<absent>";
}

int64_t DwordOf(const RegistryKey& key, const std::string& name) {
    const auto v = key.Query(name);
    return v ? int64_t{v->dword} : -1;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> out;
    for (int b : list)
        out.push_back(static_cast<uint8_t>(b));
    return out;
}

struct LineCase {
    const char* line;
    bool ok;
    const char* name;
    uint32_t type;
    std::string text;
    uint32_t dword;
    std::vector<uint8_t> bytes;
};

}  // namespace

TEST(RegistryGrammar, ValueLines) {
    const LineCase cases[] = {
        {R"("A"="text")", true, "A", 1, "text", 0, {}},
        {R"("Dir"="C:\\dir\\")", true, "Dir", 1, "C:\\dir\\", 0, {}},
        {R"("Say"="a \"q\" b")", true, "Say", 1, "a \"q\" b", 0, {}},
        {R"("Na\"me"="v")", true, "Na\"me", 1, "v", 0, {}},
        {R"("Odd"="a\nb")", true, "Odd", 1, "a\\nb", 0, {}},
        {R"(  "A" = "spaced"  )", true, "A", 1, "spaced", 0, {}},
        {R"(@="default")", true, "", 1, "default", 0, {}},
        {R"("N"=dword:0000003c)", true, "N", 4, "", 60, {}},
        {R"("N"=DWORD:FFFFFFFF)", true, "N", 4, "", 0xFFFFFFFFu, {}},
        {R"("N"=dword:1)", true, "N", 4, "", 1, {}},
        {R"("B"=hex:01,02,ff)", true, "B", 3, "", 0, Bytes({1, 2, 255})},
        {R"("B"=hex:)", true, "B", 3, "", 0, {}},
        {R"("B"=hex: 1, a ,ff,)", true, "B", 3, "", 0, Bytes({1, 10, 255})},
        {R"("E"=hex(2):43,00,3a,00,5c,00,00,00)", true, "E", 2, "C:\\", 0,
         Bytes({0x43, 0, 0x3a, 0, 0x5c, 0, 0, 0})},
        {R"("E"=str(2):"%HOME%\\x")", true, "E", 2, "%HOME%\\x", 0, {}},
        {R"("S"=hex(1):41,00,00,00)", true, "S", 1, "A", 0, Bytes({0x41, 0, 0, 0})},
        {R"("D"=hex(4):3c,00,00,00)", true, "D", 4, "", 60, Bytes({0x3c, 0, 0, 0})},
        {R"("M"=hex(7):61,00,00,00,00,00)", true, "M", 7, "", 0, Bytes({0x61, 0, 0, 0, 0, 0})},
        {R"("Q"=hex(b):01)", true, "Q", 11, "", 0, Bytes({1})},
        {R"("N"=dword:123456789)", false, "", 0, "", 0, {}},
        {R"("N"=dword:)", false, "", 0, "", 0, {}},
        {R"("N"=dword:zz)", false, "", 0, "", 0, {}},
        {R"("N"=dword:-1)", false, "", 0, "", 0, {}},
        {R"("A"="unterminated)", false, "", 0, "", 0, {}},
        {R"("A"="x" trailing)", false, "", 0, "", 0, {}},
        {R"("A"=-)", false, "", 0, "", 0, {}},
        {R"("B"=hex:1,2,3zz)", false, "", 0, "", 0, {}},
        {R"("B"=hex:100)", false, "", 0, "", 0, {}},
        {R"("B"=hex(zz):01)", false, "", 0, "", 0, {}},
        {R"("A"text)", false, "", 0, "", 0, {}},
        {R"(A="text")", false, "", 0, "", 0, {}},
        {"garbage", false, "", 0, "", 0, {}},
        {"", false, "", 0, "", 0, {}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.line);
        std::string name;
        RegValue value;
        ASSERT_EQ(regtext::ParseValueLine(c.line, name, value), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(value.type, c.type);
        EXPECT_EQ(value.text, c.text);
        EXPECT_EQ(value.dword, c.dword);
        EXPECT_EQ(value.bytes, c.bytes);
    }
}

TEST(RegistryGrammar, FormatsAsRegeditWrites) {
    RegValue dword;
    dword.type = 4;
    dword.dword = 60;
    EXPECT_EQ(regtext::FormatValue("CrossAngleLimit", dword, "\n"),
              "\"CrossAngleLimit\"=dword:0000003c\n");
    RegValue text;
    text.type = 1;
    text.text = "C:\\a \"b\"";
    EXPECT_EQ(regtext::FormatValue("", text, "\r\n"), "@=\"C:\\\\a \\\"b\\\"\"\r\n");
    RegValue expand;
    expand.type = 2;
    expand.text = "é";
    EXPECT_EQ(regtext::FormatValue("E", expand, "\n"), "\"E\"=hex(2):e9,00,00,00\n");
    RegValue binary;
    binary.type = 3;
    binary.bytes.assign(60, 0xab);
    const std::string wrapped = regtext::FormatValue("B", binary, "\n");
    size_t lineStart = 0;
    int lines = 0;
    for (size_t nl = wrapped.find('\n'); nl != std::string::npos;
         nl = wrapped.find('\n', lineStart)) {
        EXPECT_LE(nl - lineStart, 80u);
        if (nl + 1 < wrapped.size()) {
            EXPECT_EQ(wrapped[nl - 1], '\\');
        }
        lineStart = nl + 1;
        ++lines;
    }
    EXPECT_GE(lines, 3);
    EXPECT_TRUE(regtext::FormatValue("bad\nname", dword, "\n").empty());
}

TEST(Registry, CreateWritesHeaderAndBothHivesLiveInOneFile) {
    TempDir dir;
    const auto file = dir / "sub" / "registry.reg";
    auto machine = RegistryKey::Create(kKey, file);
    auto user = RegistryKey::Create(kUserKey, file);
    ASSERT_TRUE(machine && user);
    EXPECT_EQ(ReadFile(file).rfind("REGEDIT4\n", 0), 0u);
    ASSERT_TRUE(machine->SetString("apppath", "machine"));
    ASSERT_TRUE(user->SetString("APPPATH", "user"));
    EXPECT_EQ(TextOf(*machine, "APPPATH"), "machine");
    EXPECT_EQ(TextOf(*user, "apppath"), "user");
    // Opening is case-insensitive in the key path too.
    auto lower =
        RegistryKey::Open("hkey_current_user\\software\\vordal\\dextrum\\SETTINGS", false, file);
    ASSERT_TRUE(lower);
    EXPECT_EQ(TextOf(*lower, "AppPath"), "user");
    EXPECT_FALSE(lower->SetDword("x", 1)) << "a key opened read-only refuses writes";
}

TEST(Registry, OpenFailsWithoutFileOrSection) {
    TempDir dir;
    const auto file = dir / "registry.reg";
    EXPECT_FALSE(RegistryKey::Open(kKey, false, file));
    WriteFile(file, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\software\\vordal]\n\"a\"=dword:1\n");
    EXPECT_FALSE(RegistryKey::Open(kKey, false, file));
    EXPECT_FALSE(RegistryKey::Open(kKey, true, file));
    EXPECT_TRUE(RegistryKey::Open("HKEY_LOCAL_MACHINE\\SOFTWARE\\VORDAL", true, file));
}

TEST(Registry, RoundTripOfEveryType) {
    TempDir dir;
    const auto file = dir / "registry.reg";
    auto key = RegistryKey::Create(kKey, file);
    ASSERT_TRUE(key);
    std::vector<uint8_t> longBinary(300);
    for (size_t i = 0; i < longBinary.size(); ++i)
        longBinary[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(key->SetDword("Dword", 0xDEADBEEF));
    ASSERT_TRUE(key->SetString("Sz", "C:\\Program Files\\\"x\"\\"));
    ASSERT_TRUE(key->SetString("Expand", "%HOME%/断层 \xF0\x9F\xA6\xB7", RegType::ExpandSz));
    ASSERT_TRUE(key->SetString("Lines", "one\ntwo"));
    ASSERT_TRUE(key->SetBytes("Binary", 3, longBinary));
    ASSERT_TRUE(key->SetBytes("Multi", 7, Bytes({0x61, 0, 0, 0, 0, 0})));
    EXPECT_FALSE(key->SetString("Bad", "x", RegType::Dword));

    EXPECT_EQ(DwordOf(*key, "dword"), 0xDEADBEEFu);
    EXPECT_EQ(TextOf(*key, "SZ"), "C:\\Program Files\\\"x\"\\");
    const auto expand = key->Query("Expand");
    ASSERT_TRUE(expand);
    EXPECT_EQ(expand->type, 2u);
    EXPECT_EQ(expand->text, "%HOME%/断层 \xF0\x9F\xA6\xB7");
    const auto lines = key->Query("Lines");
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->type, 1u);
    EXPECT_EQ(lines->text, "one\ntwo");
    ASSERT_TRUE(key->Query("Binary") && key->Query("Multi"));
    EXPECT_EQ(key->Query("Binary")->bytes, longBinary);
    EXPECT_EQ(key->Query("Multi")->type, 7u);
    EXPECT_FALSE(key->Query("Bad"));
    EXPECT_NE(ReadFile(file).find("\"Dword\"=dword:deadbeef\n"), std::string::npos);
}

TEST(Registry, ReadsRegeditContinuationLinesAndCrLf) {
    TempDir dir;
    const auto file = dir / "registry.reg";
    const std::string text =
        "REGEDIT4\r\n\r\n[" + kKey +
        "]\r\n"
        "\"InstallDir\"=hex(2):2f,00,6f,00,70,00,74,00,2f,00,7a,00,6f,00,72,00,2f,00,\\\r\n"
        "  61,00,62,00,\\\r\n"
        "  00,00\r\n"
        "\"SliceVisualNumber\"=dword:00000007\r\n";
    WriteFile(file, text);
    auto key = RegistryKey::Open(kKey, true, file);
    ASSERT_TRUE(key);
    EXPECT_EQ(TextOf(*key, "InstallDir"), "/opt/zor/ab");
    EXPECT_EQ(DwordOf(*key, "SliceVisualNumber"), 7u);
    ASSERT_TRUE(key->SetDword("IsCrossCropped", 1));
    ASSERT_TRUE(key->SetDword("SliceVisualNumber", 5));
    std::string expected = text;
    expected.replace(expected.find("dword:00000007"), 14, "dword:00000005");
    expected += "\"IsCrossCropped\"=dword:00000001\r\n";
    EXPECT_EQ(ReadFile(file), expected);
}

TEST(Registry, UnknownLinesAreKeptByteForByte) {
    TempDir dir;
    const auto file = dir / "registry.reg";
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
    WriteFile(file, head + tail);
    auto key = RegistryKey::Open(kKey, true, file);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->Query("CrossAngleLimit")) << "a malformed line is skipped on read";
    EXPECT_EQ(DwordOf(*key, "IsCrossCropped"), 1u) << "the last line of a name wins";

    ASSERT_TRUE(key->SetDword("CrossAngleLimit", 45));
    ASSERT_TRUE(key->SetDword("IsCrossCropped", 0));
    std::string expected = head;
    expected.replace(expected.rfind("dword:00000001"), 14, "dword:00000000");
    expected += "\"CrossAngleLimit\"=dword:0000002d\n";
    EXPECT_EQ(ReadFile(file), expected + tail);
    EXPECT_EQ(DwordOf(*key, "CrossAngleLimit"), 45u);

    ASSERT_TRUE(key->Delete("crossanglelimit"));
    EXPECT_EQ(ReadFile(file), head.substr(0, head.rfind("dword:00000001")) + "dword:00000000\n" +
                                  "half a line \"=\n" + tail);
}

TEST(Registry, ReplacingContinuedHexDataReplacesAllItsLines) {
    TempDir dir;
    const auto file = dir / "registry.reg";
    const std::string head = "REGEDIT4\n\n[" + kKey + "]\n\"Before\"=dword:00000001\n";
    const std::string tail = "\"After\"=\"x\"\n";
    WriteFile(
        file,
        head +
            "\"IsCrossCropped\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,\\\n"
            "  13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,\\\n"
            "  2c\n" +
            tail);
    auto key = RegistryKey::Open(kKey, true, file);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->Query("iscrosscropped"));
    EXPECT_EQ(key->Query("iscrosscropped")->bytes.size(), 44u);
    ASSERT_TRUE(key->SetDword("ISCROSSCROPPED", 1));
    EXPECT_EQ(ReadFile(file), head + "\"IsCrossCropped\"=dword:00000001\n" + tail)
        << "one value replaced, its name spelled as before";
}

TEST(Registry, LastLineWithoutNewline) {
    TempDir dir;
    const auto file = dir / "registry.reg";
    WriteFile(file, "REGEDIT4\n[" + kKey + "]\n\"A\"=dword:00000001");
    auto key = RegistryKey::Open(kKey, true, file);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetDword("A", 2));
    EXPECT_EQ(ReadFile(file), "REGEDIT4\n[" + kKey + "]\n\"A\"=dword:00000002");
    ASSERT_TRUE(key->SetDword("B", 3));
    EXPECT_EQ(ReadFile(file),
              "REGEDIT4\n[" + kKey + "]\n\"A\"=dword:00000002\n\"B\"=dword:00000003\n");
}

TEST(Registry, TenMegabytesOfJunkSurviveAWrite) {
    TempDir dir;
    const auto file = dir / "registry.reg";
    std::mt19937 rng(7);
    std::string junk(10 * 1024 * 1024, '\0');
    for (char& c : junk)
        c = static_cast<char>(rng());
    const std::string before = "REGEDIT4\n" + junk + "\n[" + kKey + "]\n" +
                               "\0\x01 binary \xFF\n"s + "\"InstallDir\"=\"/opt/zor/\"\n";
    const std::string after = "\n[HKEY_LOCAL_MACHINE\\other]\n" + junk.substr(0, 1 << 20) + "\n";
    WriteFile(file, before + after);
    auto key = RegistryKey::Open(kKey, true, file);
    ASSERT_TRUE(key);
    EXPECT_EQ(TextOf(*key, "InstallDir"), "/opt/zor/");
    ASSERT_TRUE(key->SetDword("SliceVisualNumber", 5));
    EXPECT_TRUE(ReadFile(file) == before + "\"SliceVisualNumber\"=dword:00000005\n" + after);
    EXPECT_EQ(DwordOf(*key, "SliceVisualNumber"), 5u);
}

TEST(Registry, LongContinuedHexValueReadsInLinearTime) {
    TempDir dir;
    const auto file = dir / "registry.reg";
    std::string text = "REGEDIT4\n\n[" + kKey + "]\n\"Blob\"=hex:00";
    constexpr size_t kLines = 200000;  // about 5 MB of regedit-wrapped data
    for (size_t i = 0; i < kLines; ++i)
        text += ",\\\n  01,02,03,04,05,06,07,08";
    text += "\n\"After\"=dword:00000002\n";
    WriteFile(file, text);
    auto key = RegistryKey::Open(kKey, false, file);
    ASSERT_TRUE(key);
    const auto blob = key->Query("Blob");
    ASSERT_TRUE(blob);
    EXPECT_EQ(blob->bytes.size(), 1 + 8 * kLines);
    EXPECT_EQ(DwordOf(*key, "After"), 2);
}

TEST(Registry, WritesKeepModeAndSymbolicLink) {
    TempDir dir;
    const auto real = dir / "real.reg";
    const auto link = dir / "registry.reg";
    WriteFile(real, "REGEDIT4\n\n[" + kKey + "]\n");
    ::chmod(real.c_str(), 0640);
    std::filesystem::create_symlink(real, link);
    auto key = RegistryKey::Open(kKey, true, link);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetDword("A", 1));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(ReadFile(real).find("\"A\"=dword:00000001"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(Registry, OpenForWriteFailsOnAReadOnlyFile) {
    TempDir dir;
    const auto file = dir / "registry.reg";
    WriteFile(file, "REGEDIT4\n\n[" + kKey + "]\n\"A\"=dword:00000001\n");
    ::chmod(dir.Path().c_str(), 0755);
    ::chmod(file.c_str(), 0644);
    const int code = RunInChild([&] {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            return 10;
        if (::geteuid() != 0)
            ::chmod(file.c_str(), 0444);
        if (RegistryKey::Open(kKey, true, file))
            return 1;
        auto readOnly = RegistryKey::Open(kKey, false, file);
        if (!readOnly || DwordOf(*readOnly, "A") != 1)
            return 2;
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_NE(ReadFile(file).find("\"A\"=dword:00000001"), std::string::npos);
}

TEST(Registry, TwoProcessesWritingAtOnceLoseNothing) {
    TempDir dir;
    const auto file = dir / "registry.reg";
    const std::string extra = "; keep me\n\x01\x02 junk line\n";
    WriteFile(file, "REGEDIT4\n" + extra + "\n[" + kKey + "]\n");
    constexpr int kPerWriter = 500;
    pid_t pids[2];
    for (int w = 0; w < 2; ++w) {
        pids[w] = ::fork();
        ASSERT_GE(pids[w], 0);
        if (pids[w] == 0) {
            auto key = RegistryKey::Open(kKey, true, file);
            int failures = key ? 0 : 1;
            for (int i = 0; key && i < kPerWriter; ++i) {
                const std::string name = "W" + std::to_string(w) + "_" + std::to_string(i);
                failures += key->SetDword(name, static_cast<uint32_t>(w * 10000 + i)) ? 0 : 1;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto key = RegistryKey::Open(kKey, false, file);
    ASSERT_TRUE(key);
    for (int w = 0; w < 2; ++w) {
        for (int i = 0; i < kPerWriter; ++i) {
            const auto v = key->Query("w" + std::to_string(w) + "_" + std::to_string(i));
            ASSERT_TRUE(v) << w << " " << i;
            EXPECT_EQ(v->dword, static_cast<uint32_t>(w * 10000 + i));
        }
    }
    EXPECT_NE(ReadFile(file).find(extra), std::string::npos);
    // Only the registry file and its stable lock file remain: no temporary files left over.
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2u);
}
