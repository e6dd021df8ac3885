// The text parsers: command-line pairs, numbers and INI files.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>

#include "platform/IniFile.h"
#include "platform/Parser.h"
#include "platform/TextConvert.h"
#include "support/TempDir.h"

using namespace zor::platform;
using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(CInputParser, Grammar) {
    const std::pair<const char*, Pairs> cases[] = {
        {"", {}},
        {"     ", {}},
        {"no keys at all", {}},
        {"word #LEFT 10 #TOP 20", {{"#LEFT", "10"}, {"#TOP", "20"}}},
        {"#WIDTH", {{"#WIDTH", ""}}},
        {"#PATIENT_NAME \"Anna    Maria  Rossi\"  ", {{"#PATIENT_NAME", "\"Anna Maria Rossi\""}}},
        {"#LEFT\t10 #TOP 5", {{"#LEFT\t10", ""}, {"#TOP", "5"}}},
        {"  #A   #B x", {{"#A", ""}, {"#B", "x"}}},
        {"#A x#B y", {{"#A", "x#B y"}}},
        {"# lone", {{"#", "lone"}}}};
    for (const auto& [text, expected] : cases) {
        const std::string kept = text;  // the parser keeps a reference to its text
        CInputParser p(kept);
        p.Parse();
        EXPECT_EQ(p.Pairs(), expected) << "text: [" << text << "]";
        EXPECT_EQ(p.Count(), static_cast<int>(expected.size()));
    }
}

TEST(CInputParser, LookupsFollowCountAndFirstMatch) {
    const std::string text = "#LEFT 10 #LEFT 30 #left 7";
    CInputParser p(text);
    std::string key, value;
    EXPECT_EQ(p.GetPair(0, key, value), 0) << "nothing before Parse";
    p.Parse();
    ASSERT_EQ(p.GetPair(1, key, value), 1);
    EXPECT_EQ(key + "=" + value, "#LEFT=30");
    EXPECT_EQ(p.GetPair(3, key, value) + p.GetPair(-1, key, value), 0);
    auto find = [&](const char* k) { return p.FindValue(k, value) == 1 ? value : "<none>"; };
    EXPECT_EQ(find("#LEFT"), "10");
    EXPECT_EQ(find("#left"), "7");
    EXPECT_EQ(find("#TOP"), "<none>");
}

TEST(TextConvert, AtoiReadsLeadingDigitsOnlyAndAtofIgnoresTheLocale) {
    const std::pair<const char*, int> atoi[] = {
        {"123abc", 123}, {"abc123", 0}, {"  -42", -42},           {"+7", 7},
        {"", 0},         {"- 5", 0},    {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}};
    for (const auto& [text, expected] : atoi)
        EXPECT_EQ(Atoi(text), expected) << text;
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // may be absent; the result must not depend on it
    const std::pair<const char*, double> atof[] = {
        {"0.096", 0.096}, {" -1.5e2xyz", -150.0}, {"x1.5", 0.0}, {"12,5", 12.0}};
    for (const auto& [text, expected] : atof)
        EXPECT_DOUBLE_EQ(Atof(text), expected) << text;
    std::setlocale(LC_NUMERIC, saved.c_str());
}

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

}  // namespace

TEST(IniFile, ProfileLookupsAndDefaults) {
    zor::test::TempDir dir;
    const auto file = dir.Write("config.ini", kIni);
    // Section, key, text (default "dflt") and number (default -99).
    const std::tuple<const char*, const char*, const char*, int> cases[] = {
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
        {"PCDRIVER_OPTIONS", "; language", "dflt", -99}};
    for (const auto& [section, key, text, number] : cases) {
        SCOPED_TRACE(std::string(section) + "/" + key);
        EXPECT_EQ(GetPrivateProfileString(section, key, "dflt", file), text);
        EXPECT_EQ(GetPrivateProfileInt(section, key, -99, file), number);
    }
    // A missing or unreadable file gives the default.
    EXPECT_EQ(GetPrivateProfileInt("PCDRIVER_OPTIONS", "language", 0, dir / "none.ini"), 0);
    EXPECT_EQ(GetPrivateProfileString("A", "B", "x", dir / "none.ini"), "x");
    EXPECT_EQ(GetPrivateProfileString("A", "B", "x", dir.Path()), "x") << "a folder is no file";
    dir.Write("binary.ini", std::string("\0\0\xFF[A]\0\nB=1\n", 12));
    EXPECT_EQ(GetPrivateProfileInt("A", "B", 7, dir / "binary.ini"), 7);
}
