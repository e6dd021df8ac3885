#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "langpack/Language.h"
#include "support/TempDir.h"
#include "zor_text/Utf.h"

namespace zor::langpack {
namespace {

constexpr int kBufferSize = 512;
const std::wstring kZoomDe = L"Vergr\u00F6\u00DFern";
const std::string kNonAsciiFolder = "\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0 \xE6\x96\x87";

bool Init(const std::filesystem::path& path, const wchar_t* open = L"_[",
          const wchar_t* close = L"]_") {
    return CLanguage::Initialize(text::Utf8ToWide(path.string()).c_str(), open, close);
}

std::wstring Translate(const wchar_t* tag) {
    std::array<wchar_t, kBufferSize> buffer{};
    return CLanguage::TranslateString(tag, buffer.data(), kBufferSize);
}

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            Init(m_De = m_Dir.Write(kNonAsciiFolder + "/de.xml",
                                    "<language code=\"de\"><text tag=\"Zoom\">Vergr\xC3\xB6\xC3\x9F"
                                    "ern</text><text tag=\"Export all\">Alles exportieren</text>"
                                    "</language>")));
    }
    void TearDown() override { CLanguage::Initialize(nullptr, nullptr, nullptr); }

    zor::test::TempDir m_Dir;
    std::filesystem::path m_De;  // in a folder with a non-ASCII name
};

// The translation is cut to the buffer, which may also hold the tag itself.
TEST_F(LanguageTest, CutsToTheBufferAndNeverWritesPastIt) {
    std::array<wchar_t, kBufferSize> inPlace{};
    std::wstring_view(L"_[Zoom]_ / _[Gamma]_").copy(inPlace.data(), 20);
    CLanguage::TranslateString(inPlace.data(), inPlace.data(), kBufferSize);
    EXPECT_EQ(std::wstring(inPlace.data()), kZoomDe + L" / Gamma");
    const std::pair<int, const wchar_t*> cases[] = {
        {1, L""}, {2, L"A"}, {17, L"Alles exportiere"}, {18, L"Alles exportieren"}};
    for (const auto& [size, expected] : cases) {
        std::vector<wchar_t> buffer(static_cast<std::size_t>(size) + 8, L'#');
        EXPECT_EQ(std::wstring(CLanguage::TranslateString(L"_[Export all]_", buffer.data(), size)),
                  expected);
        EXPECT_TRUE(
            std::all_of(buffer.begin() + size, buffer.end(), [](wchar_t w) { return w == L'#'; }))
            << "wrote past a buffer of " << size;
    }
    // Unusable arguments give an empty text and write nothing.
    EXPECT_EQ(std::wstring(CLanguage::TranslateString(L"_[Zoom]_", nullptr, kBufferSize)), L"");
    std::array<wchar_t, 4> buffer{L'x', L'y', L'z', L'\0'};
    for (int size : {0, -512}) {
        EXPECT_EQ(std::wstring(CLanguage::TranslateString(L"_[Zoom]_", buffer.data(), size)), L"");
        EXPECT_EQ(std::wstring(buffer.data()), L"xyz") << "size " << size << " must not write";
    }
    EXPECT_EQ(CLanguage::TranslateString(nullptr, buffer.data(), 4), buffer.data());
    EXPECT_EQ(std::wstring(buffer.data()), L"");
}

TEST_F(LanguageTest, EachInitializeReplacesTheTableAndAFailedOneShowsTagText) {
    const auto corrupt = m_Dir.Write("corrupt.xml", "<language><text tag=\"Zoom\">Zoom");
    const auto wrongRoot = m_Dir.Write("wrong.xml", "<html><text tag=\"Zoom\">x</text></html>");
    for (const auto& bad : {m_Dir / "absent.xml", corrupt, wrongRoot, m_Dir.Path()}) {
        ASSERT_TRUE(Init(m_De));
        EXPECT_FALSE(Init(bad)) << bad;
        EXPECT_EQ(Translate(L"_[Zoom]_"), L"Zoom") << bad;
        EXPECT_NE(CLanguage::LastError().find(bad.filename().string()), std::string::npos)
            << CLanguage::LastError();
    }
    EXPECT_FALSE(CLanguage::Initialize(nullptr, L"_[", L"]_"));
    ASSERT_TRUE(Init(m_Dir.Write("fr.xml",
                                 "<language><text tag=\"Export all\">Tout exporter"
                                 "</text></language>")));
    EXPECT_EQ(CLanguage::LastError(), "") << "a load that succeeds clears the last error";
    EXPECT_EQ(Translate(L"_[Export all]_"), L"Tout exporter");
    EXPECT_EQ(Translate(L"_[Zoom]_"), L"Zoom") << "nothing of the German table may remain";
}

TEST_F(LanguageTest, DelimitersComeFromInitialize) {
    ASSERT_TRUE(Init(m_De, L"{{", L"}}"));
    EXPECT_EQ(Translate(L"{{Zoom}} _[Zoom]_"), kZoomDe + L" _[Zoom]_");
    ASSERT_TRUE(Init(m_De, nullptr, L""));
    EXPECT_EQ(Translate(L"_[Zoom]_"), kZoomDe) << "no delimiters: the usual ones";
}

// Readers see whole translations while tables are swapped, never freed memory (ASan/TSan).
TEST_F(LanguageTest, ReadersSeeWholeTablesWhileInitializeSwapsThem) {
    const auto french =
        m_Dir.Write("fr.xml", "<language><text tag=\"Zoom\">Zoom avant</text></language>");
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                const std::wstring shown = Translate(L"_[Zoom]_");
                bad += shown != kZoomDe && shown != L"Zoom avant";
                ++reads;
            }
        });
    }
    // Swap at least 200 times and until the readers have done some work, within a time-out.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int round = 0;
         round < 200 || (reads.load() < 2000 && std::chrono::steady_clock::now() < deadline);
         ++round) {
        EXPECT_TRUE(Init(round % 2 == 0 ? french : m_De));
    }
    stop = true;
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(reads.load(), 0);
}

}  // namespace
}  // namespace zor::langpack
