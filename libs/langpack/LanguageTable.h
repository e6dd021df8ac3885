#pragma once
// One language file in memory, and the tag translation rule built on it.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zor::langpack {

/// Why a language file was refused.
enum class LoadStatus {
    Ok,
    FileMissing,      ///< no file at the path, or the path is empty
    Unreadable,       ///< not a regular file, or reading failed
    TooLarge,         ///< larger than kMaxLanguageFileBytes
    NotXml,           ///< empty or not well-formed XML
    NotLanguageFile,  ///< well-formed, but the root element is not <language>
};

/// A short English name of a status ("file missing", ...), for messages.
const char* ToString(LoadStatus status);

/// Language files are a few kilobytes; anything this large is refused rather than parsed.
inline constexpr std::size_t kMaxLanguageFileBytes = 4u << 20;

/// Hash and equality that let the table be searched with a std::wstring_view.
struct WideHash {
    using is_transparent = void;
    std::size_t operator()(std::wstring_view text) const noexcept {
        return std::hash<std::wstring_view>{}(text);
    }
};

/// The translations of one language file: tag text (without delimiters) -> text to show.
/// Built once by a loader, then read-only, so any number of threads may read it.
class LanguageTable {
public:
    /// Reads and parses a file. On failure `out` is left empty and `detail`, when given,
    /// receives a one-line English explanation naming the path.
    static LoadStatus FromFile(const std::filesystem::path& path, LanguageTable& out,
                               std::string* detail = nullptr);
    /// Parses a language file held in memory (any encoding pugixml detects; UTF-8 by default).
    static LoadStatus FromBuffer(std::string_view xml, LanguageTable& out,
                                 std::string* detail = nullptr);

    /// The translation of a tag, or null when the file has none. An empty translation is a
    /// translation: the text is meant to be hidden.
    const std::wstring* Find(std::wstring_view tag) const;

    const std::wstring& Code() const { return m_Code; }
    const std::wstring& Name() const { return m_Name; }
    std::size_t Size() const { return m_Order.size(); }
    /// The tags in file order, each once.
    const std::vector<std::wstring>& Tags() const { return m_Order; }
    /// <text> entries ignored because their tag came earlier in the file (the first one wins).
    std::size_t Duplicates() const { return m_Duplicates; }
    /// <text> entries ignored because they had no tag attribute or an empty one.
    std::size_t Skipped() const { return m_Skipped; }

private:
    std::wstring m_Code;
    std::wstring m_Name;
    std::unordered_map<std::wstring, std::wstring, WideHash, std::equal_to<>> m_Texts;
    std::vector<std::wstring> m_Order;
    std::size_t m_Duplicates = 0;
    std::size_t m_Skipped = 0;
};

/// Replaces every tag in `text` (open delimiter, tag text, close delimiter) by its translation,
/// or by the tag text itself when `table` is null or has none; everything outside tags is kept.
/// An open delimiter without a close delimiter after it is kept as it stands. Empty delimiters
/// mean the text holds no tags.
std::wstring TranslateText(std::wstring_view text, const LanguageTable* table,
                           std::wstring_view open, std::wstring_view close);

/// Decodes the escapes of the file format: "\n" line feed, "\t" tab, "\\" backslash. Any other
/// backslash is kept as it stands.
std::wstring DecodeEscapes(std::wstring_view text);

}  // namespace zor::langpack
