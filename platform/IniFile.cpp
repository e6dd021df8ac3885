#include "platform/IniFile.h"

#include <optional>
#include <string_view>

#include "platform/RegistryText.h"
#include "platform/TextConvert.h"
#include "zor_io/RegularFile.h"

namespace zor::platform {

namespace {

constexpr std::uintmax_t kMaxIniBytes = 16 * 1024 * 1024;

std::string_view Trim(std::string_view s) {
    constexpr std::string_view kBlanks = " \t\r\v\f";
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

bool ReadText(const std::filesystem::path& file, std::string& text) {
    if (zor::io::ReadWholeFile(file.string(), text, kMaxIniBytes) != zor::io::ReadStatus::Ok)
        return false;
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    return true;
}

/// The value of the first `key` in the first section named `section`, trimmed and with one pair
/// of surrounding quotes removed; nullopt when the file, section or key is missing.
std::optional<std::string> Lookup(const std::string& section, const std::string& key,
                                  const std::filesystem::path& file) {
    std::string text;
    if (!ReadText(file, text))
        return std::nullopt;
    bool inSection = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        const std::string_view line = Trim(std::string_view(text).substr(pos, nl - pos));
        pos = nl + 1;
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            const std::string_view name =
                Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
            inSection = regtext::EqualsNoCase(name, section);
            continue;
        }
        if (!inSection)
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos || !regtext::EqualsNoCase(Trim(line.substr(0, eq)), key))
            continue;
        std::string_view value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::string(value);
    }
    return std::nullopt;
}

}  // namespace

int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::filesystem::path& file) {
    const std::optional<std::string> value = Lookup(section, key, file);
    if (!value || value->empty())
        return defaultValue;
    return Atoi(*value);
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue,
                                    const std::filesystem::path& file) {
    return Lookup(section, key, file).value_or(defaultValue);
}

}  // namespace zor::platform
