#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "zor_text/Utf.h"

namespace zor::text {
namespace {

TEST(Utf, RoundTripsEveryEncodedLength) {
    const std::wstring samples[] = {
        L"",
        L"Zoom",
        L"Luminosit\u00E0 \u00C9TAPE Gr\u00F6\u00DFe",               // two-byte forms
        L"\u042F\u0440\u043A\u043E\u0441\u0442\u044C \u4EAE\u5EA6",  // Cyrillic, CJK
        L"line\nfeed\ttab",
        std::wstring(1, static_cast<wchar_t>(0x1F9B7)),  // a tooth, four bytes
        std::wstring(1, static_cast<wchar_t>(0x10FFFF)),
    };
    for (const std::wstring& text : samples)
        EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
    EXPECT_EQ(WideToUtf8(L"\u4EAE"), "\xE4\xBA\xAE");
    EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0x1F9B7))), "\xF0\x9F\xA6\xB7");
}

TEST(Utf, MalformedUtf8BecomesReplacementCharacters) {
    const std::tuple<const char*, std::string, std::wstring> cases[] = {
        {"lone continuation", "a\x80z", L"a\uFFFDz"},
        {"overlong slash", "\xC0\xAF", L"\uFFFD\uFFFD"},
        {"overlong three-byte", "\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD"},
        {"surrogate", "\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"invalid lead byte", "\xFF\xFE", L"\uFFFD\uFFFD"},
        {"truncated at the end", "ok\xE4\xB8", L"ok\uFFFD\uFFFD"},
        {"missing continuation", "\xE4\x41", L"\uFFFDA"},
        {"embedded NUL kept", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
    };
    for (const auto& [name, bytes, expected] : cases)
        EXPECT_EQ(Utf8ToWide(bytes), expected) << name;
}

TEST(Utf, InvalidCodePointsBecomeReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), replacement);
    EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xDFFF))), replacement);
    EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000))), replacement);
    EXPECT_EQ(WideToUtf8(L"a" + std::wstring(1, static_cast<wchar_t>(-1)) + L"b"),
              "a" + replacement + "b");
}

}  // namespace
}  // namespace zor::text
