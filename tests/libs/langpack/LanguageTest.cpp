#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "LangTestSupport.h"
#include "langpack/Language.h"
#include "zor_text/Utf.h"

namespace zor::langpack {
namespace {

using text::Utf8ToWide;

using test::TempDir;

constexpr int kBufferSize = 512;

const char kGerman[] =
    "<language code=\"de\" name=\"Deutsch\">"
    "<text tag=\"Zoom\">Vergr\xC3\xB6\xC3\x9F"
    "ern</text>"
    "<text tag=\"Export all\">Alles exportieren</text>"
    "<text tag=\"STEP\\nPlease, follow:\">SCHRITT\\nBitte befolgen:</text>"
    "</language>";

std::wstring Wide(const std::filesystem::path& path) {
    return Utf8ToWide(path.string());
}

bool Init(const std::filesystem::path& path) {
    return CLanguage::Initialize(Wide(path).c_str(), L"_[", L"]_");
}

std::wstring Translate(const wchar_t* tag) {
    std::array<wchar_t, kBufferSize> buffer{};
    const wchar_t* shown = CLanguage::TranslateString(tag, buffer.data(), kBufferSize);
    EXPECT_EQ(shown, buffer.data());
    return shown;
}

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Init(m_Dir.Write("de.xml", kGerman))); }
    void TearDown() override { CLanguage::Initialize(nullptr, nullptr, nullptr); }

    TempDir m_Dir;
};

TEST_F(LanguageTest, TranslatesTagsAndKeepsOtherText) {
    EXPECT_EQ(Translate(L"_[Zoom]_"), L"Vergr\u00F6\u00DFern");
    EXPECT_EQ(Translate(L"_[Export all]_"), L"Alles exportieren");
    EXPECT_EQ(Translate(L"_[STEP\nPlease, follow:]_"), L"SCHRITT\nBitte befolgen:");
    EXPECT_EQ(Translate(L"_[Gamma]_"), L"Gamma") << "a missing translation shows the tag text";
    EXPECT_EQ(Translate(L"VOLUME NAVIGATION ERROR"), L"VOLUME NAVIGATION ERROR");
    EXPECT_EQ(Translate(L"_[Zoom]_ %d"), L"Vergr\u00F6\u00DFern %d");
    EXPECT_EQ(Translate(L""), L"");
    EXPECT_EQ(CLanguage::LastError(), "");
}

TEST_F(LanguageTest, CutsToTheBufferAndNeverWritesPastIt) {
    struct Case {
        int size;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {1, L""},
        {2, L"A"},
        {6, L"Alles"},
        {17, L"Alles exportiere"},
        {18, L"Alles exportieren"},
        {19, L"Alles exportieren"},
    };
    for (const Case& c : cases) {
        std::vector<wchar_t> buffer(static_cast<std::size_t>(c.size) + 8, L'#');
        const wchar_t* shown = CLanguage::TranslateString(L"_[Export all]_", buffer.data(), c.size);
        EXPECT_EQ(std::wstring(shown), c.expected) << c.size;
        EXPECT_TRUE(
            std::all_of(buffer.begin() + c.size, buffer.end(), [](wchar_t w) { return w == L'#'; }))
            << "wrote past a buffer of " << c.size;
    }
}

TEST_F(LanguageTest, UnusableArgumentsGiveEmptyText) {
    const wchar_t* shown = CLanguage::TranslateString(L"_[Zoom]_", nullptr, kBufferSize);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(std::wstring(shown), L"");

    std::array<wchar_t, 4> buffer{L'x', L'y', L'z', L'\0'};
    for (int size : {0, -1, -512}) {
        shown = CLanguage::TranslateString(L"_[Zoom]_", buffer.data(), size);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(std::wstring(shown), L"");
        EXPECT_EQ(std::wstring(buffer.data()), L"xyz") << "size " << size << " must not write";
    }
    shown = CLanguage::TranslateString(nullptr, buffer.data(), 4);
    EXPECT_EQ(shown, buffer.data());
    EXPECT_EQ(std::wstring(shown), L"");
}

TEST_F(LanguageTest, TagMayLiveInTheOutputBuffer) {
    std::array<wchar_t, kBufferSize> buffer{};
    std::wstring_view(L"_[Zoom]_ / _[Gamma]_").copy(buffer.data(), 20);
    CLanguage::TranslateString(buffer.data(), buffer.data(), kBufferSize);
    EXPECT_EQ(std::wstring(buffer.data()), L"Vergr\u00F6\u00DFern / Gamma");
}

TEST_F(LanguageTest, FailedInitializeDropsTheTableAndShowsTagText) {
    const auto corrupt = m_Dir.Write("corrupt.xml", "<language><text tag=\"Zoom\">Zoom");
    const auto empty = m_Dir.Write("empty.xml", "");
    const auto wrongRoot = m_Dir.Write("wrong.xml", "<html><text tag=\"Zoom\">x</text></html>");
    for (const auto& bad : {m_Dir.Path() / "absent.xml", corrupt, empty, wrongRoot, m_Dir.Path()}) {
        ASSERT_TRUE(Init(m_Dir.Path() / "de.xml"));
        EXPECT_FALSE(Init(bad)) << bad;
        EXPECT_EQ(Translate(L"_[Zoom]_"), L"Zoom") << bad;
        EXPECT_NE(CLanguage::LastError().find(bad.filename().string()), std::string::npos)
            << CLanguage::LastError();
    }
    EXPECT_FALSE(CLanguage::Initialize(nullptr, L"_[", L"]_"));
    EXPECT_EQ(Translate(L"_[Export all]_"), L"Export all");
}

TEST_F(LanguageTest, SecondInitializeReplacesTheTable) {
    const auto french = m_Dir.Write(
        "fr.xml", "<language code=\"fr\"><text tag=\"Export all\">Tout exporter</text></language>");
    ASSERT_TRUE(Init(french));
    EXPECT_EQ(Translate(L"_[Export all]_"), L"Tout exporter");
    EXPECT_EQ(Translate(L"_[Zoom]_"), L"Zoom") << "nothing of the German table may remain";
}

TEST_F(LanguageTest, DelimitersComeFromInitialize) {
    const auto path = Wide(m_Dir.Path() / "de.xml");
    ASSERT_TRUE(CLanguage::Initialize(path.c_str(), L"{{", L"}}"));
    EXPECT_EQ(Translate(L"{{Zoom}} _[Zoom]_"), L"Vergr\u00F6\u00DFern _[Zoom]_");
    ASSERT_TRUE(CLanguage::Initialize(path.c_str(), nullptr, L""));
    EXPECT_EQ(Translate(L"_[Zoom]_"), L"Vergr\u00F6\u00DFern") << "no delimiters: the usual ones";
}

TEST_F(LanguageTest, PathWithNonAsciiFolder) {
    const auto path = m_Dir.Write(
        std::filesystem::path("\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0 \xE6\x96\x87\xE4\xBB\xB6") /
            "ru.xml",
        "<language><text "
        "tag=\"Zoom\">\xD0\x9C\xD0\xB0\xD1\x81\xD1\x88\xD1\x82\xD0\xB0\xD0\xB1</text>"
        "</language>");
    ASSERT_TRUE(Init(path)) << CLanguage::LastError();
    EXPECT_EQ(Translate(L"_[Zoom]_"), L"\u041C\u0430\u0441\u0448\u0442\u0430\u0431");
}

// Readers on worker threads while the user-interface thread swaps tables: every result must be
// one whole translation, never a mix or freed memory (run under ASan/TSan to see the difference).
TEST_F(LanguageTest, ReadersSeeWholeTablesWhileInitializeSwapsThem) {
    const auto french =
        m_Dir.Write("fr.xml", "<language><text tag=\"Zoom\">Zoom avant</text></language>");
    const auto german = m_Dir.Path() / "de.xml";
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&] {
            std::array<wchar_t, kBufferSize> buffer{};
            while (!stop.load()) {
                const std::wstring shown =
                    CLanguage::TranslateString(L"_[Zoom]_", buffer.data(), kBufferSize);
                if (shown != L"Vergr\u00F6\u00DFern" && shown != L"Zoom avant") {
                    ++bad;
                }
                ++reads;
            }
        });
    }
    // Swap at least 200 times and until the readers have done some work, within a time-out.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int round = 0;
         round < 200 || (reads.load() < 2000 && std::chrono::steady_clock::now() < deadline);
         ++round) {
        EXPECT_TRUE(Init(round % 2 == 0 ? french : german));
    }
    stop = true;
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(reads.load(), 0);
}

}  // namespace
}  // namespace zor::langpack
