// Fuzzes the registry file grammar: scanning a key, and the round trip of every value it finds
// through the writer's formatting.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/RegistryText.h"

using namespace zor::platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string_view eol = regtext::DetectEol(text);
    const auto scan =
        regtext::ScanKey(text, "HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern");
    for (const auto& entry : scan.values) {
        if (entry.begin > entry.end || entry.end > text.size())
            std::abort();
        const std::string line = regtext::FormatValue(entry.name, entry.value, eol);
        if (line.empty())
            continue;
        // What the writer produces must read back as the same value.
        std::string joined;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size() &&
                (line[i + 1] == '\n' || line[i + 1] == '\r')) {
                while (i + 1 < line.size() &&
                       (line[i + 1] == '\n' || line[i + 1] == '\r' || line[i + 1] == ' '))
                    ++i;
                continue;
            }
            if (line[i] == '\n' || line[i] == '\r')
                continue;
            joined.push_back(line[i]);
        }
        std::string name;
        RegValue value;
        if (!regtext::ParseValueLine(joined, name, value))
            std::abort();
        if (!regtext::EqualsNoCase(name, entry.name) || value.type != entry.value.type)
            std::abort();
    }
    return 0;
}
