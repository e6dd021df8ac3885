#include <gtest/gtest.h>

#include <clocale>

#include "platform/TextConvert.h"

using namespace zor::platform;

TEST(TextConvert, AtoiReadsLeadingDigitsOnly) {
    EXPECT_EQ(Atoi("123abc"), 123);
    EXPECT_EQ(Atoi("abc123"), 0);
    EXPECT_EQ(Atoi("  -42"), -42);
    EXPECT_EQ(Atoi("+7"), 7);
    EXPECT_EQ(Atoi(""), 0);
    EXPECT_EQ(Atoi("- 5"), 0);
    EXPECT_EQ(Atoi("99999999999"), 2147483647);
    EXPECT_EQ(Atoi("-99999999999"), -2147483647 - 1);
}

TEST(TextConvert, AtofIgnoresTheProcessLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // may be absent; the result must not depend on it
    EXPECT_DOUBLE_EQ(Atof("0.096"), 0.096);
    EXPECT_DOUBLE_EQ(Atof(" -1.5e2xyz"), -150.0);
    EXPECT_DOUBLE_EQ(Atof("x1.5"), 0.0);
    EXPECT_DOUBLE_EQ(Atof("12,5"), 12.0);
    std::setlocale(LC_NUMERIC, saved.c_str());
}
