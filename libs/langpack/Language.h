#pragma once
// The translation library as the system calls it: CLanguage::Initialize once at start-up, then
// CLanguage::TranslateString for every text tag ("_[Zoom]_") that reaches the screen.
#include <string>

/// Translates text tags with the table of one XML language file (format in
/// docs/language-files.md). Initialize runs on the user-interface thread; TranslateString may
/// be called from any thread at any time, also while Initialize replaces the table.
class CLanguage {
public:
    /// Loads the language file `file` (wide path, converted to UTF-8 for the file system) and
    /// remembers the tag delimiters (null or empty: "_[" and "]_"). Returns false when the file
    /// is missing, unreadable or not a language file; every tag then shows its own text. Each
    /// call replaces the previous table, also a failing one.
    static bool Initialize(const wchar_t* file, const wchar_t* openDelimiter,
                           const wchar_t* closeDelimiter);

    /// Writes the text to show for `tag` into `buffer` (capacity `size` wide characters,
    /// NUL included) and returns `buffer`. Every tag inside the text is replaced by its
    /// translation, or by its own text without delimiters when there is none; text outside
    /// tags is kept, so a text without tags comes back unchanged. The result is cut to
    /// size - 1 characters. `tag` may point into `buffer`. A null `buffer` or a `size` below 1
    /// returns an empty static string and writes nothing; a null `tag` gives "".
    static const wchar_t* TranslateString(const wchar_t* tag, wchar_t* buffer, int size);

    /// Not part of the original library's surface: why the last Initialize failed ("" after a
    /// successful one), in English, for a log line.
    static std::string LastError();
};
