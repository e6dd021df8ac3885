#include <gtest/gtest.h>

#include <string>

#include "langpack/LanguageTable.h"
#include "zor_text/Utf.h"

namespace zor::langpack {
namespace {

using Pair = std::pair<const wchar_t*, const wchar_t*>;

LanguageTable Parse(std::string_view xml) {
    LanguageTable table;
    std::string detail;
    EXPECT_EQ(LanguageTable::FromBuffer(xml, table, &detail), LoadStatus::Ok) << detail;
    return table;
}

std::wstring FindOr(const LanguageTable& table, std::wstring_view tag) {
    const std::wstring* text = table.Find(tag);
    return text != nullptr ? *text : L"<absent>";
}

TEST(LanguageTable, ReadsEntriesLineFeedsEntitiesAndDuplicates) {
    const LanguageTable table = Parse(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- comment -->\n"
        "<language code=\"ru\" name=\"Russkij\">\n"
        "  <text tag=\"Export all\">Alles exportieren</text>\n"
        "  <unknown tag=\"Gamma\">ignored</unknown>\n"
        "<text tag=\"ESCAPED\\nPlease:\">ETAPE\\nVeuillez :</text>"
        "<text tag=\"RAW\nPlease:\">raw\nline</text>"
        "<text tag=\"CHARREF&#10;Please:\">ref&#10;line</text>"
        "<text tag=\"CRLF\r\nPlease:\">crlf\r\nline</text>"
        "<text tag=\"abort (it's on the left)\">Tom &amp; Jerry &lt;b&gt; &quot;q&quot;</text>"
        "<text tag=\"cdata\"><![CDATA[a <raw> & text]]></text>"
        "<text tag=\"About DTS\"></text><text tag=\"self closed\"/>"
        "<text tag=\"back\\\\slash\">C:\\\\work\\x</text>"
        "<text tag=\"Zoom\">\xD0\x9C\xD0\xB0\xD1\x81\xD1\x88\xD1\x82\xD0\xB0\xD0\xB1</text>"
        "<text>no tag</text><text tag=\"\">empty tag</text><text tag=\"Zoom\">second</text>"
        "<text tag=\"\xE4\xBA\xAE\">\xE4\xBA\xAE\xE5\xBA\xA6</text><text tag=\"Zoom\">third</text>"
        "</language>\n");
    EXPECT_EQ(table.Code() + L" " + table.Name(), L"ru Russkij");
    const Pair cases[] = {
        {L"Export all", L"Alles exportieren"},
        {L"ESCAPED\nPlease:", L"ETAPE\nVeuillez :"},
        {L"RAW\nPlease:", L"raw\nline"},
        {L"CHARREF\nPlease:", L"ref\nline"},
        {L"CRLF\nPlease:", L"crlf\nline"},
        {L"abort (it's on the left)", L"Tom & Jerry <b> \"q\""},
        {L"cdata", L"a <raw> & text"},
        {L"About DTS", L""},  // an empty translation is one: the caller hides such texts
        {L"self closed", L""},
        {L"back\\slash", L"C:\\work\\x"},
        {L"Zoom", L"\u041C\u0430\u0441\u0448\u0442\u0430\u0431"},
        {L"\u4EAE", L"\u4EAE\u5EA6"},
        {L"Gamma", L"<absent>"},
        {L"export all", L"<absent>"}};
    for (const auto& [tag, expected] : cases)
        EXPECT_EQ(FindOr(table, tag), expected) << text::WideToUtf8(tag);
    EXPECT_EQ(table.Size(), 12u);
    EXPECT_EQ(table.Duplicates(), 2u);
    EXPECT_EQ(table.Skipped(), 2u);
    // UTF-16LE with a byte-order mark.
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : std::wstring(L"<language><text tag=\"Zoom\">\u7F29\u653E</text></language>"))
        utf16 += {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF)};
    EXPECT_EQ(FindOr(Parse(utf16), L"Zoom"), L"\u7F29\u653E");
}

TEST(LanguageTable, RefusesWhatIsNotALanguageFile) {
    std::vector<std::pair<std::string, LoadStatus>> cases = {
        {"<resources><text tag=\"a\">b</text></resources>", LoadStatus::NotLanguageFile},
        {std::string(kMaxLanguageFileBytes + 1, ' '), LoadStatus::TooLarge}};
    for (std::string xml : {"", "  \n\t ", "Zoom=Zoom", "<language><text tag=\"Zoom\">Zoom</text>",
                            "<language><text tag=\"a\">b</txt></language>",
                            "<language><text tag=a>b</text></language>"})
        cases.emplace_back(xml, LoadStatus::NotXml);
    cases.emplace_back(std::string("\x00\x01\x02\xFF<", 5), LoadStatus::NotXml);
    for (const auto& [xml, expected] : cases) {
        SCOPED_TRACE(xml.substr(0, 50));
        LanguageTable table = Parse("<language><text tag=\"stale\">x</text></language>");
        std::string detail;
        EXPECT_EQ(LanguageTable::FromBuffer(xml, table, &detail), expected);
        EXPECT_FALSE(detail.empty());
        EXPECT_EQ(table.Size(), 0u) << "a refused file leaves no entries behind";
    }
}

TEST(TranslateText, ReplacesEveryTagAndKeepsTheRest) {
    const LanguageTable table = Parse(
        "<language><text tag=\"Zoom\">Vergr\xC3\xB6\xC3\x9F"
        "ern</text><text tag=\"STEP\\nPlease:\">SCHRITT\\nBitte:</text>"
        "<text tag=\"About DTS\"></text></language>");
    const Pair cases[] = {
        {L"_[Zoom]_", L"Vergr\u00F6\u00DFern"},
        {L"_[Gamma]_", L"Gamma"},
        {L"Zoom", L"Zoom"},
        {L"", L""},
        {L"1) _[Zoom]_ %d", L"1) Vergr\u00F6\u00DFern %d"},
        {L"_[Zoom]_/_[Gamma]_/_[Zoom]_", L"Vergr\u00F6\u00DFern/Gamma/Vergr\u00F6\u00DFern"},
        {L"_[STEP\nPlease:]_", L"SCHRITT\nBitte:"},
        {L"_[About DTS]_", L""},
        {L"_[]_", L""},
        {L"Zoom]_", L"Zoom]_"},
        {L"a _[Zoom]_ b _[unclosed", L"a Vergr\u00F6\u00DFern b _[unclosed"},
        {L"_[_[Zoom]_", L"_[Zoom"},
        {L"[Zoom] _ [Zoom]", L"[Zoom] _ [Zoom]"}};
    for (const auto& [in, expected] : cases)
        EXPECT_EQ(TranslateText(in, &table, L"_[", L"]_"), expected) << text::WideToUtf8(in);
    EXPECT_EQ(TranslateText(L"_[Zoom]_", nullptr, L"", L"]_"), L"_[Zoom]_");
    EXPECT_EQ(TranslateText(L"%Zoom% %Gamma%", nullptr, L"%", L"%"), L"Zoom Gamma");
}

TEST(DecodeEscapes, KnownAndUnknownEscapes) {
    const Pair cases[] = {{L"a\\nb", L"a\nb"},        {L"a\\tb", L"a\tb"},  {L"a\\\\nb", L"a\\nb"},
                          {L"C:\\work", L"C:\\work"}, {L"end\\", L"end\\"}, {L"\\\\\\n", L"\\\n"}};
    for (const auto& [in, expected] : cases)
        EXPECT_EQ(DecodeEscapes(in), expected) << text::WideToUtf8(in);
}

}  // namespace
}  // namespace zor::langpack
