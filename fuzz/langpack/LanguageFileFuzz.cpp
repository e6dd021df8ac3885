// Feeds arbitrary bytes to the language file loader, then translates every tag it found and the
// input itself read as text: nothing may crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "langpack/LanguageTable.h"
#include "zor_text/Utf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    zor::langpack::LanguageTable table;
    std::string detail;
    const auto status = zor::langpack::LanguageTable::FromBuffer(bytes, table, &detail);
    if (status != zor::langpack::LoadStatus::Ok && table.Size() != 0) {
        __builtin_trap();  // a refused file must leave no entries
    }
    for (const std::wstring& tag : table.Tags()) {
        const std::wstring* text = table.Find(tag);
        if (text == nullptr) {
            __builtin_trap();  // every listed tag must be found
        }
        if (tag.find(L"]_") != std::wstring::npos) {
            continue;  // such a tag cannot be written between the delimiters
        }
        const std::wstring shown =
            zor::langpack::TranslateText(L"_[" + tag + L"]_", &table, L"_[", L"]_");
        if (shown != *text) {
            __builtin_trap();
        }
    }
    const std::wstring asText = zor::text::Utf8ToWide(bytes);
    zor::langpack::TranslateText(asText, &table, L"_[", L"]_");
    zor::langpack::TranslateText(asText, &table, L"<", L">");
    zor::text::WideToUtf8(asText);
    return 0;
}
