#include "images/DescriptionText.h"

#include <charconv>
#include <climits>
#include <cmath>

#include "images/ImageSettings.h"

namespace zor::images {

void DescriptionText::Append(std::string_view piece) {
    if (m_Truncated)
        return;
    if (m_Text.size() + piece.size() > kCapacity - 1) {
        m_Truncated = true;
        return;
    }
    m_Text.append(piece);
}

void DescriptionText::AssignClipped(std::string_view text) {
    m_Truncated = false;
    if (text.size() <= kCapacity - 1) {
        m_Text.assign(text);
        return;
    }
    // Keep whole entries only: cut before the last separator inside the limit.
    const std::string_view head = text.substr(0, kCapacity);
    const size_t cut = head.rfind(',');
    m_Text.assign(text.substr(0, cut == std::string_view::npos ? 0 : cut));
    m_Truncated = true;
}

std::string FormatInt(long long value) {
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec;
    return std::string(buffer, end);
}

std::string FormatFixed(double value, int decimals) {
    if (std::isnan(value))
        return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buffer[400];  // the largest double in fixed notation has 309 integer digits
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return "0";
    return std::string(buffer, end);
}

int TruncToInt(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

std::string UntranslatedTag(const std::string& tag) {
    if (tag.size() >= 4 && tag.compare(0, 2, "_[") == 0 &&
        tag.compare(tag.size() - 2, 2, "]_") == 0) {
        return tag.substr(2, tag.size() - 4);
    }
    return tag;
}

}  // namespace zor::images
