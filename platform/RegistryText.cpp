#include "platform/RegistryText.h"

#include <charconv>

#include "platform/TextConvert.h"

namespace zor::platform::regtext {

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

/// A raw line: [begin, end) includes the terminator; `content` excludes "\n" and a final "\r".
struct Line {
    size_t begin = 0;
    size_t end = 0;
    std::string_view content;
};

bool NextLine(std::string_view text, size_t& pos, Line& line) {
    if (pos >= text.size())
        return false;
    const size_t nl = text.find('\n', pos);
    const size_t stop = nl == std::string_view::npos ? text.size() : nl;
    line.begin = pos;
    line.end = nl == std::string_view::npos ? text.size() : nl + 1;
    line.content = text.substr(pos, stop - pos);
    if (!line.content.empty() && line.content.back() == '\r')
        line.content.remove_suffix(1);
    pos = line.end;
    return true;
}

/// A section line "[path]"; blanks around the brackets are tolerated.
bool SectionName(std::string_view content, std::string_view& name) {
    const std::string_view t = TrimBlanks(content);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']')
        return false;
    name = t.substr(1, t.size() - 2);
    return true;
}

/// Reads a quoted string starting at s[pos] == '"'; `\\` and `\"` are escapes, any other
/// backslash stands for itself. pos ends after the closing quote.
bool ReadQuoted(std::string_view s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"')
        return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
            out.push_back(s[++pos]);
        } else {
            out.push_back(c);
        }
    }
    return false;
}

bool ParseHexNumber(std::string_view s, uint32_t& value) {
    if (s.empty() || s.size() > 8)
        return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value, 16);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

/// "aa,bb, cc" (backslash continuations already removed); an empty list is valid.
bool ParseHexBytes(std::string_view s, std::vector<uint8_t>& bytes) {
    bytes.clear();
    s = TrimBlanks(s);
    if (s.empty())
        return true;
    if (s.back() == ',')
        s.remove_suffix(1);
    size_t pos = 0;
    while (pos <= s.size()) {
        const size_t comma = s.find(',', pos);
        const size_t stop = comma == std::string_view::npos ? s.size() : comma;
        const std::string_view token = TrimBlanks(s.substr(pos, stop - pos));
        uint32_t v = 0;
        if (token.size() > 2 || !ParseHexNumber(token, v))
            return false;
        bytes.push_back(static_cast<uint8_t>(v));
        if (comma == std::string_view::npos)
            break;
        pos = comma + 1;
    }
    return true;
}

bool OnlyBlanks(std::string_view s) {
    return TrimBlanks(s).empty();
}

/// Splits `"Name"=data` (or `@=data`, the default value) into the unescaped name and the data.
bool SplitValueLine(std::string_view line, std::string& name, std::string_view& data) {
    line = TrimBlanks(line);
    size_t pos = 0;
    if (!line.empty() && line.front() == '@') {
        name.clear();
        pos = 1;
    } else if (!ReadQuoted(line, pos, name)) {
        return false;
    }
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    if (pos >= line.size() || line[pos] != '=')
        return false;
    data = TrimBlanks(line.substr(pos + 1));
    return true;
}

bool ParseData(std::string_view data, RegValue& value) {
    value = RegValue{};
    if (!data.empty() && data.front() == '"') {
        size_t pos = 0;
        if (!ReadQuoted(data, pos, value.text) || !OnlyBlanks(data.substr(pos)))
            return false;
        value.type = static_cast<uint32_t>(RegType::Sz);
        return true;
    }
    if (StartsWithNoCase(data, "dword:")) {
        if (!ParseHexNumber(TrimBlanks(data.substr(6)), value.dword))
            return false;
        value.type = static_cast<uint32_t>(RegType::Dword);
        return true;
    }
    if (StartsWithNoCase(data, "str(2):")) {
        size_t pos = 7;
        while (pos < data.size() && IsBlank(data[pos]))
            ++pos;
        if (!ReadQuoted(data, pos, value.text) || !OnlyBlanks(data.substr(pos)))
            return false;
        value.type = static_cast<uint32_t>(RegType::ExpandSz);
        return true;
    }
    std::string_view bytes;
    if (StartsWithNoCase(data, "hex:")) {
        value.type = static_cast<uint32_t>(RegType::Binary);
        bytes = data.substr(4);
    } else if (StartsWithNoCase(data, "hex(")) {
        const size_t close = data.find("):");
        if (close == std::string_view::npos ||
            !ParseHexNumber(data.substr(4, close - 4), value.type))
            return false;
        bytes = data.substr(close + 2);
    } else {
        return false;
    }
    if (!ParseHexBytes(bytes, value.bytes))
        return false;
    if (value.type == 1 || value.type == 2)
        value.text = Utf16LeToUtf8(value.bytes);
    if (value.type == 4 && value.bytes.size() == 4) {
        value.dword = uint32_t(value.bytes[0]) | uint32_t(value.bytes[1]) << 8 |
                      uint32_t(value.bytes[2]) << 16 | uint32_t(value.bytes[3]) << 24;
    }
    return true;
}

/// Hex data continues on the next line when the line ends with a backslash.
bool EndsWithContinuation(std::string_view content) {
    content = TrimBlanks(content);
    return !content.empty() && content.back() == '\\';
}

void AppendQuoted(std::string& out, std::string_view s) {
    out.push_back('"');
    for (char c : s) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

void AppendHex(std::string& out, const std::vector<uint8_t>& bytes, std::string_view eol) {
    static const char kDigits[] = "0123456789abcdef";
    size_t lineStart = out.rfind('\n');
    lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 15]);
        if (i + 1 == bytes.size())
            break;
        out.push_back(',');
        if (out.size() - lineStart > 75) {
            out.append("\\").append(eol).append("  ");
            lineStart = out.size() - 2;
        }
    }
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

const ValueEntry* KeyScan::Find(std::string_view name) const {
    for (auto it = values.rbegin(); it != values.rend(); ++it) {
        if (EqualsNoCase(it->name, name))
            return &*it;
    }
    return nullptr;
}

bool ParseValueLine(std::string_view line, std::string& name, RegValue& value) {
    std::string_view data;
    return SplitValueLine(line, name, data) && ParseData(data, value);
}

KeyScan ScanKey(std::string_view text, std::string_view keyPath) {
    KeyScan scan;
    bool inKey = false;
    size_t pos = 0;
    Line line;
    while (NextLine(text, pos, line)) {
        std::string_view section;
        if (SectionName(line.content, section)) {
            inKey = EqualsNoCase(section, keyPath);
            if (inKey) {
                scan.found = true;
                scan.insertAt = line.end;
                scan.openContinuation = false;
            }
            continue;
        }
        if (!inKey || OnlyBlanks(line.content))
            continue;
        const size_t begin = line.begin;
        std::string logical(line.content);
        std::string ignoredName;
        std::string_view data;
        const bool hexData =
            SplitValueLine(line.content, ignoredName, data) && StartsWithNoCase(data, "hex");
        // Join regedit's continuation lines; a section line never continues a value.
        while (hexData && EndsWithContinuation(logical)) {
            const size_t save = pos;
            Line next;
            std::string_view ignored;
            if (!NextLine(text, pos, next) || SectionName(next.content, ignored)) {
                pos = save;
                break;
            }
            while (IsBlank(logical.back()))
                logical.pop_back();  // in place: data may be long
            logical.pop_back();      // the backslash
            logical.append(TrimBlanks(next.content));
            line = next;
        }
        // Data cut short by the end of the key keeps what it has.
        scan.openContinuation = hexData && EndsWithContinuation(logical);
        if (scan.openContinuation) {
            while (IsBlank(logical.back()))
                logical.pop_back();
            logical.pop_back();
        }
        scan.insertAt = line.end;
        ValueEntry entry;
        if (ParseValueLine(logical, entry.name, entry.value)) {
            entry.begin = begin;
            entry.end = line.end;
            scan.values.push_back(std::move(entry));
        }
    }
    return scan;
}

std::string FormatValue(std::string_view name, const RegValue& value, std::string_view eol) {
    if (name.find_first_of("\r\n") != std::string_view::npos)
        return {};
    std::string out;
    if (name.empty()) {
        out.push_back('@');
    } else {
        AppendQuoted(out, name);
    }
    out.push_back('=');
    const bool plainText =
        value.text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
    if (value.type == static_cast<uint32_t>(RegType::Sz) && plainText && value.bytes.empty()) {
        AppendQuoted(out, value.text);
    } else if (value.type == static_cast<uint32_t>(RegType::Dword) && value.bytes.empty()) {
        char buf[9] = {};
        auto r = std::to_chars(buf, buf + 8, value.dword, 16);
        out.append("dword:").append(static_cast<size_t>(8 - (r.ptr - buf)), '0').append(buf, r.ptr);
    } else {
        const bool textType = value.type == 1 || value.type == 2;
        const std::vector<uint8_t> bytes =
            textType && value.bytes.empty() ? Utf8ToUtf16Le(value.text) : value.bytes;
        if (value.type == static_cast<uint32_t>(RegType::Binary)) {
            out.append("hex:");
        } else {
            char buf[9] = {};
            auto r = std::to_chars(buf, buf + 8, value.type, 16);
            out.append("hex(").append(buf, r.ptr).append("):");
        }
        AppendHex(out, bytes, eol);
    }
    out.append(eol);
    return out;
}

std::string_view DetectEol(std::string_view text) {
    const size_t nl = text.find('\n');
    return (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r') ? "\r\n" : "\n";
}

bool IsValidKeyPath(std::string_view keyPath) {
    return !keyPath.empty() &&
           keyPath.find_first_of(std::string_view("\r\n]\0", 4)) == std::string_view::npos;
}

std::string Utf16LeToUtf8(const std::vector<uint8_t>& bytes) {
    std::wstring wide;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const uint32_t unit = bytes[i] | uint32_t(bytes[i + 1]) << 8;
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const uint32_t low = bytes[i + 2] | uint32_t(bytes[i + 3]) << 8;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                wide.push_back(
                    static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                i += 2;
                continue;
            }
        }
        wide.push_back(unit >= 0xD800 && unit <= 0xDFFF ? L'\uFFFD' : static_cast<wchar_t>(unit));
    }
    return WideToUtf8(wide);
}

std::vector<uint8_t> Utf8ToUtf16Le(std::string_view utf8) {
    std::vector<uint8_t> out;
    auto put = [&out](uint32_t unit) {
        out.push_back(static_cast<uint8_t>(unit & 0xFF));
        out.push_back(static_cast<uint8_t>(unit >> 8));
    };
    for (wchar_t wc : Utf8ToWide(utf8)) {
        const uint32_t cp = static_cast<uint32_t>(wc);
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    put(0);
    return out;
}

}  // namespace zor::platform::regtext
