#include <gtest/gtest.h>

#include "platform/Parser.h"

using zor::platform::CInputParser;
using Pairs = std::vector<std::pair<std::string, std::string>>;

namespace {
Pairs ParseText(const std::string& text) {
    CInputParser p(text);
    EXPECT_EQ(p.State(), 2);
    p.Parse();
    EXPECT_EQ(p.State(), 3);
    EXPECT_EQ(p.Count(), static_cast<int>(p.Pairs().size()));
    return p.Pairs();
}
}  // namespace

TEST(CInputParser, Grammar) {
    struct Case {
        const char* text;
        Pairs expected;
    };
    const Case cases[] = {
        {"", {}},
        {"     ", {}},
        {"no keys at all", {}},
        {"word #LEFT 10 #TOP 20", {{"#LEFT", "10"}, {"#TOP", "20"}}},
        {"#WIDTH", {{"#WIDTH", ""}}},
        {"#LEFT 10 #LEFT 30", {{"#LEFT", "10"}, {"#LEFT", "30"}}},
        {"#PATIENT_NAME \"Anna    Maria  Rossi\"  ", {{"#PATIENT_NAME", "\"Anna Maria Rossi\""}}},
        {"#LEFT\t10 #TOP 5", {{"#LEFT\t10", ""}, {"#TOP", "5"}}},
        {"  #A   #B x", {{"#A", ""}, {"#B", "x"}}},
        {"#A x#B y", {{"#A", "x#B y"}}},
        {"# lone", {{"#", "lone"}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseText(c.text), c.expected) << "text: [" << c.text << "]";
    }
}

TEST(CInputParser, LookupsFollowCountAndFirstMatch) {
    const std::string text = "#LEFT 10 #LEFT 30 #left 7";
    CInputParser p(text);
    std::string key, value;
    EXPECT_EQ(p.GetPair(0, key, value), 0) << "nothing before Parse";
    p.Parse();
    ASSERT_EQ(p.GetPair(1, key, value), 1);
    EXPECT_EQ(key, "#LEFT");
    EXPECT_EQ(value, "30");
    EXPECT_EQ(p.GetPair(3, key, value), 0);
    EXPECT_EQ(p.GetPair(-1, key, value), 0);
    ASSERT_EQ(p.FindValue("#LEFT", value), 1);
    EXPECT_EQ(value, "10");
    ASSERT_EQ(p.FindValue("#left", value), 1);
    EXPECT_EQ(value, "7");
    EXPECT_EQ(p.FindValue("#TOP", value), 0);
}
