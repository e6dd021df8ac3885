// The shipped language files against each other and against the tags in the program's sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "langpack/LanguageTable.h"
#include "zor_text/Utf.h"

namespace zor::langpack {
namespace {

using text::Utf8ToWide;
using text::WideToUtf8;

const std::filesystem::path kSourceDir = ZOR_TEST_SOURCE_DIR;
const std::filesystem::path kLanguageDir = kSourceDir / "resources" / "language";

// Language numbers of the INI setting, in order: 0 en, 1 es, ... 8 zh.
constexpr std::array<const char*, 9> kCodes = {"en", "es", "fr", "de", "it",
                                               "pl", "pt", "ru", "zh"};

LanguageTable LoadShipped(const std::string& code) {
    LanguageTable table;
    std::string detail;
    EXPECT_EQ(LanguageTable::FromFile(kLanguageDir / (code + ".xml"), table, &detail),
              LoadStatus::Ok)
        << detail;
    return table;
}

// One source line without its "//" comment; empty inside or at the start of a block comment.
std::string CodeOf(const std::string& line) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '*' || line.compare(first, 2, "/*") == 0)
        return {};
    bool inString = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (inString && line[i] == '\\')
            ++i;
        else if (!inString && line[i] == '\'')
            i += (i + 1 < line.size() && line[i + 1] == '\\') ? 3 : 2;  // a character literal
        else if (line[i] == '"')
            inString = !inString;
        else if (!inString && line.compare(i, 2, "//") == 0)
            return line.substr(0, i);
    }
    return line;
}

// Every file has English's tags; each text is usable: not empty, no %, delimiter, bad UTF-8 or
// edge space, and its tag's line feeds (step titles are split there).
TEST(ShippedLanguages, EveryFileHasTheTagsOfEnglishAndUsableTranslations) {
    const LanguageTable english = LoadShipped("en");
    ASSERT_GT(english.Size(), 50u);
    const std::set<std::wstring> tags(english.Tags().begin(), english.Tags().end());
    for (const char* code : kCodes) {
        SCOPED_TRACE(code);
        const LanguageTable table = LoadShipped(code);
        EXPECT_EQ(WideToUtf8(table.Code()), code);
        EXPECT_FALSE(table.Name().empty());
        EXPECT_EQ(table.Duplicates() + table.Skipped(), 0u);
        for (const std::wstring& tag : tags)
            EXPECT_NE(table.Find(tag), nullptr) << "missing tag \"" << WideToUtf8(tag) << "\"";
        for (const std::wstring& tag : table.Tags()) {
            EXPECT_TRUE(tags.count(tag)) << "tag not in en.xml: \"" << WideToUtf8(tag) << "\"";
            const std::wstring& text = *table.Find(tag);
            const std::string where = "\"" + WideToUtf8(tag) + "\" -> \"" + WideToUtf8(text) + "\"";
            ASSERT_FALSE(text.empty()) << where;
            for (const wchar_t* bad : {L"%", L"_[", L"]_", L"\uFFFD"})
                EXPECT_EQ(text.find(bad), std::wstring::npos) << where;
            EXPECT_NE(text.find_first_not_of(L" \t\n"), std::wstring::npos) << where;
            EXPECT_FALSE(text.front() == L' ' || text.back() == L' ') << where;
            EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'),
                      std::count(tag.begin(), tag.end(), L'\n'))
                << where;
        }
    }
}

// A tag added or reworded in the sources without an English entry is caught here.
TEST(ShippedLanguages, EveryTagInTheSourcesHasAnEnglishEntry) {
    const LanguageTable english = LoadShipped("en");
    // A tag inside one C++ string literal: no quote inside; its escapes are decoded.
    const std::regex tagPattern(R"(_\[([^"\]]*?)\]_)");
    std::map<std::string, std::string> missing;  // tag -> first place it was seen
    std::size_t seen = 0;
    for (const char* folder : {"app", "shell", "ui", "acquisition", "images", "volume", "viewer",
                               "plugins", "filters", "tools", "platform"}) {
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(kSourceDir / folder, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            const auto ext = it->path().extension();
            if (ec || !it->is_regular_file() || (ext != ".cpp" && ext != ".h"))
                continue;
            std::ifstream in(it->path());
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                line = CodeOf(line);
                for (std::sregex_iterator m(line.begin(), line.end(), tagPattern), end; m != end;
                     ++m, ++seen) {
                    const std::wstring tag = DecodeEscapes(Utf8ToWide((*m)[1].str()));
                    if (english.Find(tag) == nullptr)
                        missing.try_emplace(WideToUtf8(tag),
                                            it->path().string() + ":" + std::to_string(number));
                }
            }
        }
    }
    for (const auto& [tag, where] : missing)
        ADD_FAILURE() << "tag \"" << tag << "\" at " << where << " has no entry in en.xml";
    RecordProperty("tags_seen", static_cast<int>(seen));
}

}  // namespace
}  // namespace zor::langpack
