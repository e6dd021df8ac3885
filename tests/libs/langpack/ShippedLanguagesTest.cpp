// Checks of the language files shipped in resources/language against each other and against the
// tags written in the program's sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "LangTestSupport.h"
#include "langpack/Language.h"
#include "langpack/LanguageTable.h"
#include "zor_text/Utf.h"

namespace zor::langpack {
namespace {

using text::Utf8ToWide;
using text::WideToUtf8;

using test::ShippedLanguageDir;
using test::SourceDir;

// Language numbers of the INI setting, in order: 0 en, 1 es, ... 8 zh.
constexpr std::array<const char*, 9> kCodes = {"en", "es", "fr", "de", "it",
                                               "pl", "pt", "ru", "zh"};

LanguageTable LoadShipped(const std::string& code) {
    LanguageTable table;
    std::string detail;
    EXPECT_EQ(LanguageTable::FromFile(ShippedLanguageDir() / (code + ".xml"), table, &detail),
              LoadStatus::Ok)
        << detail;
    return table;
}

std::string Narrow(std::wstring_view text) {
    return WideToUtf8(text);
}

// The code part of one source line: without a "//" comment (outside string literals), and empty
// for lines inside or starting a block comment.
std::string CodeOf(const std::string& line) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line.compare(first, 1, "*") == 0 ||
        line.compare(first, 2, "/*") == 0) {
        return {};
    }
    bool inString = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (inString && line[i] == '\\') {
            ++i;
        } else if (!inString && line[i] == '\'') {
            i += (i + 1 < line.size() && line[i + 1] == '\\') ? 3 : 2;  // a character literal
        } else if (line[i] == '"') {
            inString = !inString;
        } else if (!inString && line.compare(i, 2, "//") == 0) {
            return line.substr(0, i);
        }
    }
    return line;
}

TEST(ShippedLanguages, EveryFileHasExactlyTheTagsOfEnglish) {
    const LanguageTable english = LoadShipped("en");
    ASSERT_GT(english.Size(), 50u);
    const std::set<std::wstring> tags(english.Tags().begin(), english.Tags().end());
    for (const char* code : kCodes) {
        SCOPED_TRACE(code);
        const LanguageTable table = LoadShipped(code);
        EXPECT_EQ(Narrow(table.Code()), code);
        EXPECT_FALSE(table.Name().empty());
        EXPECT_EQ(table.Duplicates(), 0u);
        EXPECT_EQ(table.Skipped(), 0u);
        for (const std::wstring& tag : tags) {
            EXPECT_NE(table.Find(tag), nullptr) << "missing tag \"" << Narrow(tag) << "\"";
        }
        for (const std::wstring& tag : table.Tags()) {
            EXPECT_TRUE(tags.count(tag)) << "tag not in en.xml: \"" << Narrow(tag) << "\"";
        }
    }
}

// The program formats some translations with printf-style calls, appends a full stop to
// others and splits step titles at the line feed: translations must fit those uses.
TEST(ShippedLanguages, TranslationsFitTheirUse) {
    const std::set<std::wstring> followedByFullStop = {
        L"The panoramic is being exported", L"The panoramic and the slices are being exported",
        L"The panoramic has alreay been exported before"};
    for (const char* code : kCodes) {
        SCOPED_TRACE(code);
        const LanguageTable table = LoadShipped(code);
        for (const std::wstring& tag : table.Tags()) {
            const std::wstring& text = *table.Find(tag);
            const std::string where = "\"" + Narrow(tag) + "\" -> \"" + Narrow(text) + "\"";
            EXPECT_FALSE(text.empty()) << where;
            EXPECT_EQ(text.find(L'%'), std::wstring::npos) << where;
            EXPECT_EQ(text.find(L"_["), std::wstring::npos) << where;
            EXPECT_EQ(text.find(L"]_"), std::wstring::npos) << where;
            EXPECT_NE(text.find_first_not_of(L" \t\n"), std::wstring::npos) << where;
            EXPECT_EQ(text.front() == L' ' || text.back() == L' ', false) << where;
            EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'),
                      std::count(tag.begin(), tag.end(), L'\n'))
                << where;
            EXPECT_EQ(text.find(L'\uFFFD'), std::wstring::npos) << where << " (bad UTF-8)";
            if (followedByFullStop.count(tag)) {
                EXPECT_NE(text.back(), L'.') << where;
            }
        }
    }
}

TEST(ShippedLanguages, EnglishAbortTextMatchesTheDriverMessage) {
    // The driver's answer is compared with this translation without regard to case.
    const LanguageTable english = LoadShipped("en");
    const std::wstring* text = english.Find(L"aborted by user");
    ASSERT_NE(text, nullptr);
    std::wstring lower = *text;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
    EXPECT_EQ(lower, L"aborted by user");
}

TEST(ShippedLanguages, NonAsciiTranslationsRoundTripThroughCLanguage) {
    struct Case {
        const char* code;
        const wchar_t* tag;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"ru", L"_[Zoom]_", L"\u041C\u0430\u0441\u0448\u0442\u0430\u0431"},
        {"zh", L"_[Zoom]_", L"\u7F29\u653E"},
        {"zh", L"_[TOMOSYNTHESIS VOLUME SELECTION STEP\nPlease, follow the instructions below:]_",
         L"\u65AD\u5C42\u5408\u6210\u5BB9\u79EF\u9009\u62E9\u6B65\u9AA4\n"
         L"\u8BF7\u6309\u7167\u4EE5\u4E0B\u8BF4\u660E\u64CD\u4F5C\uFF1A"},
        {"de", L"_[device is in error n.]_ %d", L"Das Ger\u00E4t meldet Fehler Nr. %d"},
        {"pl", L"_[ERROR]_", L"B\u0141\u0104D"},
        {"en", L"_[The panoramic has alreay been exported before]_.",
         L"The panoramic image has already been exported."},
        {"en", L"_[PANORAMIC IMAGE ACQUISITION STEP\nPlease, follow the instructions below:]_",
         L"PANORAMIC IMAGE ACQUISITION STEP\nPlease follow the instructions below:"},
    };
    for (const Case& c : cases) {
        const std::wstring path =
            Utf8ToWide((ShippedLanguageDir() / (std::string(c.code) + ".xml")).string());
        ASSERT_TRUE(CLanguage::Initialize(path.c_str(), L"_[", L"]_")) << CLanguage::LastError();
        std::array<wchar_t, 512> buffer{};
        EXPECT_EQ(std::wstring(CLanguage::TranslateString(c.tag, buffer.data(), 512)), c.expected)
            << c.code;
    }
    CLanguage::Initialize(nullptr, nullptr, nullptr);
}

// Every tag written in the program's sources must have an English entry, so that a tag added or
// reworded in the code without updating the language files is caught here.
TEST(ShippedLanguages, EveryTagInTheSourcesHasAnEnglishEntry) {
    const LanguageTable english = LoadShipped("en");
    // A tag inside one C++ string literal: no quote inside, "\n" escapes decoded below.
    const std::regex tagPattern(R"(_\[([^"\]]*?)\]_)");
    std::map<std::string, std::string> missing;  // tag -> first place it was seen
    std::size_t seen = 0;
    for (const char* folder : {"app", "shell", "ui", "acquisition", "images", "volume", "viewer",
                               "plugins", "filters", "tools", "platform"}) {
        const auto root = SourceDir() / folder;
        std::error_code ec;
        if (!std::filesystem::is_directory(root, ec)) {
            continue;
        }
        for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            const auto ext = it->path().extension();
            if (ec || !it->is_regular_file() || (ext != ".cpp" && ext != ".h")) {
                continue;
            }
            std::ifstream in(it->path());
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                line = CodeOf(line);
                for (std::sregex_iterator m(line.begin(), line.end(), tagPattern), end; m != end;
                     ++m) {
                    std::string tag = (*m)[1].str();
                    for (std::size_t p = tag.find("\\n"); p != std::string::npos;
                         p = tag.find("\\n", p + 1)) {
                        tag.replace(p, 2, "\n");
                    }
                    ++seen;
                    if (english.Find(Utf8ToWide(tag)) == nullptr) {
                        missing.try_emplace(
                            tag, std::filesystem::relative(it->path(), SourceDir()).string() + ":" +
                                     std::to_string(number));
                    }
                }
            }
        }
    }
    for (const auto& [tag, where] : missing) {
        ADD_FAILURE() << "tag \"" << tag << "\" at " << where << " has no entry in en.xml";
    }
    RecordProperty("tags_seen", static_cast<int>(seen));
}

}  // namespace
}  // namespace zor::langpack
