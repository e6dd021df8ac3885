#include <gtest/gtest.h>

#include "PlatformTestSupport.h"
#include "platform/IniFile.h"

using namespace zor::platform;
using zor::platform::test::TempDir;
using zor::platform::test::WriteFile;

namespace {

const char kIni[] =
    "\xEF\xBB\xBF; comment line\r\n"
    "[PCDRIVER_OPTIONS]\r\n"
    "language = 8 \r\n"
    "  ; language=3\r\n"
    "[filters_automatic_3d]\n"
    "MAX_ENTRIES=2\n"
    "FILTER_01 =  gamma 1.2  \n"
    "FILTER_02=\"  quoted  \"\n"
    "Empty=\n"
    "Sign= -17x\n"
    "Plus=+5\n"
    "Words=abc\n"
    "Huge=99999999999\n"
    "no equals sign here\n"
    "FILTER_01=second occurrence\n"
    "[ OTHER ]\n"
    "MAX_ENTRIES=9\n"
    "[FILTERS_AUTOMATIC_3D]\n"
    "Later=yes\n";

struct Case {
    const char* section;
    const char* key;
    const char* expectedText;  // with default "dflt"
    int expectedInt;           // with default -99
};

}  // namespace

TEST(IniFile, ProfileLookups) {
    TempDir dir;
    const auto file = dir / "config.ini";
    WriteFile(file, kIni);
    const Case cases[] = {
        {"PCDRIVER_OPTIONS", "language", "8", 8},
        {"pcdriver_options", "LANGUAGE", "8", 8},
        {"FILTERS_AUTOMATIC_3D", "MAX_ENTRIES", "2", 2},
        {"FILTERS_AUTOMATIC_3D", "filter_01", "gamma 1.2", 0},
        {"FILTERS_AUTOMATIC_3D", "FILTER_02", "  quoted  ", 0},
        {"FILTERS_AUTOMATIC_3D", "Empty", "", -99},
        {"FILTERS_AUTOMATIC_3D", "Sign", "-17x", -17},
        {"FILTERS_AUTOMATIC_3D", "Plus", "+5", 5},
        {"FILTERS_AUTOMATIC_3D", "Words", "abc", 0},
        {"FILTERS_AUTOMATIC_3D", "Huge", "99999999999", 2147483647},
        {"FILTERS_AUTOMATIC_3D", "Later", "yes", 0},
        {"FILTERS_AUTOMATIC_3D", "FILTER_03", "dflt", -99},
        {"FILTERS_AUTOMATIC_3D", "no equals sign here", "dflt", -99},
        {"OTHER", "MAX_ENTRIES", "9", 9},
        {"MISSING", "language", "dflt", -99},
        {"PCDRIVER_OPTIONS", "; language", "dflt", -99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(GetPrivateProfileString(c.section, c.key, "dflt", file), c.expectedText);
        EXPECT_EQ(GetPrivateProfileInt(c.section, c.key, -99, file), c.expectedInt);
    }
}

TEST(IniFile, MissingOrUnreadableFileGivesTheDefault) {
    TempDir dir;
    EXPECT_EQ(GetPrivateProfileInt("PCDRIVER_OPTIONS", "language", 0, dir / "none.ini"), 0);
    EXPECT_EQ(GetPrivateProfileString("A", "B", "x", dir / "none.ini"), "x");
    EXPECT_EQ(GetPrivateProfileString("A", "B", "x", dir.Path()), "x") << "a folder is no file";
    WriteFile(dir / "binary.ini", std::string("\0\0\xFF[A]\0\nB=1\n", 12));
    EXPECT_EQ(GetPrivateProfileInt("A", "B", 7, dir / "binary.ini"), 7);
}
