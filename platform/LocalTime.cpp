#include "platform/LocalTime.h"

#include <locale.h>
#include <time.h>

#include <vector>

namespace zor::platform {

namespace {
locale_t CLocale() {
    static const locale_t kLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return kLocale;
}
}  // namespace

std::tm LocalTime(std::time_t t) {
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return tm;
}

std::string FormatLocalTime(const char* format, std::time_t t) {
    if (!format || !*format)
        return {};
    const std::tm tm = LocalTime(t);
    // strftime gives 0 both for "too small" and for an empty result: grow a few times, then stop.
    for (size_t size = 128; size <= 64 * 1024; size *= 8) {
        std::vector<char> buffer(size);
        const size_t n = CLocale() ? ::strftime_l(buffer.data(), size, format, &tm, CLocale())
                                   : std::strftime(buffer.data(), size, format, &tm);
        if (n > 0)
            return std::string(buffer.data(), n);
    }
    return {};
}

}  // namespace zor::platform
