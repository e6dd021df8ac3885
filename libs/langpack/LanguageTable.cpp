#include "langpack/LanguageTable.h"

#include <pugixml.hpp>
#include <system_error>

#include "zor_io/RegularFile.h"
#include "zor_text/Utf.h"

namespace zor::langpack {
using text::Utf8ToWide;

namespace {

// The usual parse options minus attribute whitespace conversion: a raw line feed inside a
// tag="..." attribute stays a line feed instead of turning into a blank.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol;

void SetDetail(std::string* detail, std::string text) {
    if (detail != nullptr) {
        *detail = std::move(text);
    }
}

// The character data directly inside an element (text and CDATA pieces joined).
std::string ElementText(const pugi::xml_node& element) {
    std::string text;
    for (const pugi::xml_node& child : element.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            text += child.value();
        }
    }
    return text;
}

}  // namespace

const char* ToString(LoadStatus status) {
    switch (status) {
        case LoadStatus::Ok:
            return "loaded";
        case LoadStatus::FileMissing:
            return "file missing";
        case LoadStatus::Unreadable:
            return "file unreadable";
        case LoadStatus::TooLarge:
            return "file too large";
        case LoadStatus::NotXml:
            return "not well-formed XML";
        case LoadStatus::NotLanguageFile:
            return "root element is not <language>";
    }
    return "unknown";
}

LoadStatus LanguageTable::FromFile(const std::filesystem::path& path, LanguageTable& out,
                                   std::string* detail) {
    out = LanguageTable{};
    const std::string where = "language file '" + path.string() + "': ";
    std::string bytes, why;
    switch (zor::io::ReadWholeFile(path.string(), bytes, kMaxLanguageFileBytes, &why)) {
        case zor::io::ReadStatus::Ok:
            break;
        case zor::io::ReadStatus::Missing:
            SetDetail(detail, where + ToString(LoadStatus::FileMissing));
            return LoadStatus::FileMissing;
        case zor::io::ReadStatus::TooLarge:
            SetDetail(detail, where + ToString(LoadStatus::TooLarge));
            return LoadStatus::TooLarge;
        case zor::io::ReadStatus::NotRegular:
        case zor::io::ReadStatus::Error:
            SetDetail(detail, where + ToString(LoadStatus::Unreadable) + " (" + why + ")");
            return LoadStatus::Unreadable;
    }
    const LoadStatus result = FromBuffer(bytes, out, detail);
    if (result != LoadStatus::Ok && detail != nullptr) {
        *detail = where + *detail;
    }
    return result;
}

LoadStatus LanguageTable::FromBuffer(std::string_view xml, LanguageTable& out,
                                     std::string* detail) {
    out = LanguageTable{};
    if (xml.size() > kMaxLanguageFileBytes) {
        SetDetail(detail, ToString(LoadStatus::TooLarge));
        return LoadStatus::TooLarge;
    }
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(xml.data(), xml.size(), kParseOptions, pugi::encoding_auto);
    if (!parsed) {
        SetDetail(detail, std::string(ToString(LoadStatus::NotXml)) + " (" + parsed.description() +
                              " at byte " + std::to_string(parsed.offset) + ")");
        return LoadStatus::NotXml;
    }
    const pugi::xml_node root = document.document_element();
    if (!root) {
        SetDetail(detail, std::string(ToString(LoadStatus::NotXml)) + " (no element)");
        return LoadStatus::NotXml;
    }
    if (std::string_view(root.name()) != "language") {
        SetDetail(detail, ToString(LoadStatus::NotLanguageFile));
        return LoadStatus::NotLanguageFile;
    }

    LanguageTable table;
    table.m_Code = Utf8ToWide(root.attribute("code").value());
    table.m_Name = Utf8ToWide(root.attribute("name").value());
    for (const pugi::xml_node& entry : root.children("text")) {
        std::wstring tag = DecodeEscapes(Utf8ToWide(entry.attribute("tag").value()));
        if (tag.empty()) {
            ++table.m_Skipped;
            continue;
        }
        std::wstring text = DecodeEscapes(Utf8ToWide(ElementText(entry)));
        const auto [it, inserted] = table.m_Texts.try_emplace(tag, std::move(text));
        if (!inserted) {
            ++table.m_Duplicates;
            continue;
        }
        table.m_Order.push_back(std::move(tag));
    }
    out = std::move(table);
    SetDetail(detail, ToString(LoadStatus::Ok));
    return LoadStatus::Ok;
}

const std::wstring* LanguageTable::Find(std::wstring_view tag) const {
    const auto it = m_Texts.find(tag);
    return it == m_Texts.end() ? nullptr : &it->second;
}

std::wstring TranslateText(std::wstring_view text, const LanguageTable* table,
                           std::wstring_view open, std::wstring_view close) {
    if (open.empty() || close.empty()) {
        return std::wstring(text);
    }
    std::wstring out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = text.find(open, pos);
        if (start == std::wstring_view::npos) {
            break;
        }
        const std::size_t inner = start + open.size();
        const std::size_t end = text.find(close, inner);
        if (end == std::wstring_view::npos) {
            break;
        }
        out.append(text.substr(pos, start - pos));
        const std::wstring_view tag = text.substr(inner, end - inner);
        const std::wstring* translation = table != nullptr ? table->Find(tag) : nullptr;
        if (translation != nullptr) {
            out.append(*translation);
        } else {
            out.append(tag);
        }
        pos = end + close.size();
    }
    if (pos < text.size()) {
        out.append(text.substr(pos));
    }
    return out;
}

std::wstring DecodeEscapes(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size()) {
            const wchar_t next = text[i + 1];
            if (next == L'n' || next == L't' || next == L'\\') {
                out.push_back(next == L'n' ? L'\n' : next == L't' ? L'\t' : L'\\');
                ++i;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace zor::langpack
