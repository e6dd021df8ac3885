#include <gtest/gtest.h>

#include <string>

#include "LangTestSupport.h"
#include "langpack/LanguageTable.h"

namespace zor::langpack {
namespace {

using test::TempDir;

LanguageTable Parse(std::string_view xml) {
    LanguageTable table;
    std::string detail;
    EXPECT_EQ(LanguageTable::FromBuffer(xml, table, &detail), LoadStatus::Ok) << detail;
    return table;
}

std::wstring FindOr(const LanguageTable& table, std::wstring_view tag, std::wstring_view missing) {
    const std::wstring* text = table.Find(tag);
    return text != nullptr ? *text : std::wstring(missing);
}

TEST(LanguageTable, ReadsEntriesAndLanguageAttributes) {
    const LanguageTable table = Parse(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- comment -->\n"
        "<language code=\"de\" name=\"Deutsch\">\n"
        "  <text tag=\"Zoom\">Zoom</text>\n"
        "  <text tag=\"Export all\">Alles exportieren</text>\n"
        "  <unknown tag=\"Gamma\">ignored</unknown>\n"
        "</language>\n");
    EXPECT_EQ(table.Code(), L"de");
    EXPECT_EQ(table.Name(), L"Deutsch");
    EXPECT_EQ(table.Size(), 2u);
    EXPECT_EQ(FindOr(table, L"Export all", L"?"), L"Alles exportieren");
    EXPECT_EQ(table.Find(L"Gamma"), nullptr);
    EXPECT_EQ(table.Find(L"export all"), nullptr) << "tags are matched exactly";
}

TEST(LanguageTable, LineFeedsInTagsAndTexts) {
    const LanguageTable table = Parse(
        "<language>"
        "<text tag=\"ESCAPED STEP\\nPlease:\">ETAPE\\nVeuillez :</text>"
        "<text tag=\"RAW STEP\nPlease:\">raw\nline</text>"
        "<text tag=\"CHARREF STEP&#10;Please:\">ref&#10;line</text>"
        "<text tag=\"CRLF STEP\r\nPlease:\">crlf\r\nline</text>"
        "</language>");
    EXPECT_EQ(FindOr(table, L"ESCAPED STEP\nPlease:", L"?"), L"ETAPE\nVeuillez :");
    EXPECT_EQ(FindOr(table, L"RAW STEP\nPlease:", L"?"), L"raw\nline");
    EXPECT_EQ(FindOr(table, L"CHARREF STEP\nPlease:", L"?"), L"ref\nline");
    EXPECT_EQ(FindOr(table, L"CRLF STEP\nPlease:", L"?"), L"crlf\nline");
}

TEST(LanguageTable, EntitiesCdataAndEmptyTexts) {
    const LanguageTable table = Parse(
        "<language>"
        "<text tag=\"Push the exam selection button twice to abort (it's on the left)\">"
        "Tom &amp; Jerry &lt;b&gt; &quot;q&quot;</text>"
        "<text tag=\"cdata\"><![CDATA[a <raw> & text]]></text>"
        "<text tag=\"About DTS\"></text>"
        "<text tag=\"self closed\"/>"
        "<text tag=\"back\\\\slash\">C:\\\\work\\x</text>"
        "</language>");
    EXPECT_EQ(
        FindOr(table, L"Push the exam selection button twice to abort (it's on the left)", L"?"),
        L"Tom & Jerry <b> \"q\"");
    EXPECT_EQ(FindOr(table, L"cdata", L"?"), L"a <raw> & text");
    // An empty translation is a translation (the caller hides such texts), not a missing one.
    EXPECT_EQ(FindOr(table, L"About DTS", L"?"), L"");
    EXPECT_EQ(FindOr(table, L"self closed", L"?"), L"");
    EXPECT_EQ(FindOr(table, L"back\\slash", L"?"), L"C:\\work\\x");
}

TEST(LanguageTable, FirstOfDuplicateTagsWinsAndEntriesWithoutTagAreSkipped) {
    const LanguageTable table = Parse(
        "<language>"
        "<text tag=\"Zoom\">first</text>"
        "<text>no tag</text>"
        "<text tag=\"\">empty tag</text>"
        "<text tag=\"Zoom\">second</text>"
        "<text tag=\"Gamma\">gamma</text>"
        "<text tag=\"Zoom\">third</text>"
        "</language>");
    EXPECT_EQ(FindOr(table, L"Zoom", L"?"), L"first");
    EXPECT_EQ(table.Duplicates(), 2u);
    EXPECT_EQ(table.Skipped(), 2u);
    EXPECT_EQ(table.Tags(), (std::vector<std::wstring>{L"Zoom", L"Gamma"}));
}

TEST(LanguageTable, NonAsciiInUtf8AndUtf16Files) {
    const std::string utf8 =
        "<language code=\"ru\"><text tag=\"Zoom\">\xD0\x9C\xD0\xB0\xD1\x81\xD1\x88\xD1\x82\xD0\xB0"
        "\xD0\xB1</text><text tag=\"\xE4\xBA\xAE\">\xE4\xBA\xAE\xE5\xBA\xA6</text></language>";
    const LanguageTable table = Parse(utf8);
    EXPECT_EQ(FindOr(table, L"Zoom", L"?"), L"\u041C\u0430\u0441\u0448\u0442\u0430\u0431");
    EXPECT_EQ(FindOr(table, L"\u4EAE", L"?"), L"\u4EAE\u5EA6");

    // The same document as UTF-16LE with a byte-order mark.
    const std::wstring wide = L"<language><text tag=\"Zoom\">\u7F29\u653E</text></language>";
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : wide) {
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    EXPECT_EQ(FindOr(Parse(utf16), L"Zoom", L"?"), L"\u7F29\u653E");
}

TEST(LanguageTable, RefusesWhatIsNotALanguageFile) {
    struct Case {
        const char* name;
        std::string xml;
        LoadStatus expected;
    };
    const Case cases[] = {
        {"empty", "", LoadStatus::NotXml},
        {"blank", "  \n\t ", LoadStatus::NotXml},
        {"plain text", "Zoom=Zoom", LoadStatus::NotXml},
        {"unclosed root", "<language><text tag=\"Zoom\">Zoom</text>", LoadStatus::NotXml},
        {"mismatched end", "<language><text tag=\"a\">b</txt></language>", LoadStatus::NotXml},
        {"unquoted attribute", "<language><text tag=a>b</text></language>", LoadStatus::NotXml},
        {"binary", std::string("\x00\x01\x02\xFF<", 5), LoadStatus::NotXml},
        {"other root", "<resources><text tag=\"a\">b</text></resources>",
         LoadStatus::NotLanguageFile},
        {"too large", std::string(kMaxLanguageFileBytes + 1, ' '), LoadStatus::TooLarge},
    };
    for (const Case& c : cases) {
        LanguageTable table = Parse("<language><text tag=\"stale\">x</text></language>");
        std::string detail;
        EXPECT_EQ(LanguageTable::FromBuffer(c.xml, table, &detail), c.expected) << c.name;
        EXPECT_FALSE(detail.empty()) << c.name;
        EXPECT_EQ(table.Size(), 0u) << c.name << ": a refused file leaves no entries behind";
    }
}

TEST(LanguageTable, FileErrorsNameThePath) {
    TempDir dir;
    LanguageTable table;
    std::string detail;

    EXPECT_EQ(LanguageTable::FromFile(dir.Path() / "absent.xml", table, &detail),
              LoadStatus::FileMissing);
    EXPECT_NE(detail.find("absent.xml"), std::string::npos) << detail;

    EXPECT_EQ(LanguageTable::FromFile({}, table, &detail), LoadStatus::FileMissing);
    EXPECT_EQ(LanguageTable::FromFile(dir.Path(), table, &detail), LoadStatus::Unreadable);

    const auto empty = dir.Write("empty.xml", "");
    EXPECT_EQ(LanguageTable::FromFile(empty, table, &detail), LoadStatus::NotXml);
    EXPECT_NE(detail.find("empty.xml"), std::string::npos) << detail;

    const auto cut = dir.Write("cut.xml", "<language><text tag=\"Zoom\">Zo");
    EXPECT_EQ(LanguageTable::FromFile(cut, table, &detail), LoadStatus::NotXml);

    const auto good = dir.Write("good.xml", "<language><text tag=\"Zoom\">Zoom!</text></language>");
    EXPECT_EQ(LanguageTable::FromFile(good, table, &detail), LoadStatus::Ok);
    EXPECT_EQ(FindOr(table, L"Zoom", L"?"), L"Zoom!");
}

TEST(TranslateText, ReplacesEveryTagAndKeepsTheRest) {
    const LanguageTable table = Parse(
        "<language>"
        "<text tag=\"Zoom\">Vergr\xC3\xB6\xC3\x9F"
        "ern</text>"
        "<text tag=\"device is in error n.\">Ger\xC3\xA4t meldet Fehler Nr.</text>"
        "<text tag=\"STEP\\nPlease:\">SCHRITT\\nBitte:</text>"
        "<text tag=\"About DTS\"></text>"
        "</language>");
    struct Case {
        const wchar_t* text;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"_[Zoom]_", L"Vergr\u00F6\u00DFern"},
        {L"_[Gamma]_", L"Gamma"},
        {L"Zoom", L"Zoom"},
        {L"", L""},
        {L"_[device is in error n.]_ %d", L"Ger\u00E4t meldet Fehler Nr. %d"},
        {L"1) _[Zoom]_.", L"1) Vergr\u00F6\u00DFern."},
        {L"_[Zoom]_/_[Gamma]_/_[Zoom]_", L"Vergr\u00F6\u00DFern/Gamma/Vergr\u00F6\u00DFern"},
        {L"_[STEP\nPlease:]_", L"SCHRITT\nBitte:"},
        {L"_[About DTS]_", L""},
        {L"_[]_", L""},
        {L"_[Zoom", L"_[Zoom"},
        {L"Zoom]_", L"Zoom]_"},
        {L"a _[Zoom]_ b _[unclosed", L"a Vergr\u00F6\u00DFern b _[unclosed"},
        {L"_[_[Zoom]_", L"_[Zoom"},
        {L"[Zoom] _ [Zoom]", L"[Zoom] _ [Zoom]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TranslateText(c.text, &table, L"_[", L"]_"), c.expected) << c.text;
    }
}

TEST(TranslateText, WithoutTableOrDelimiters) {
    EXPECT_EQ(TranslateText(L"_[Zoom]_ x", nullptr, L"_[", L"]_"), L"Zoom x");
    EXPECT_EQ(TranslateText(L"_[Zoom]_", nullptr, L"", L"]_"), L"_[Zoom]_");
    EXPECT_EQ(TranslateText(L"<<Zoom>>", nullptr, L"<<", L">>"), L"Zoom");
    EXPECT_EQ(TranslateText(L"%Zoom% %Gamma%", nullptr, L"%", L"%"), L"Zoom Gamma");
}

TEST(DecodeEscapes, KnownAndUnknownEscapes) {
    struct Case {
        const wchar_t* text;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"a\\nb", L"a\nb"},
        {L"a\\tb", L"a\tb"},
        {L"a\\\\nb", L"a\\nb"},
        {L"C:\\work", L"C:\\work"},
        {L"end\\", L"end\\"},
        {L"\\\\\\n", L"\\\n"},
        {L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeEscapes(c.text), c.expected) << c.text;
    }
}

}  // namespace
}  // namespace zor::langpack
