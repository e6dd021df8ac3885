#include "images/DescriptionKeys.h"

#include "platform/TextConvert.h"

namespace zor::images {

void SetInfoField(PanoramicInfo& info, const InfoKey& key, const std::string* text,
                  double fallback) {
    if (key.real != nullptr) {
        info.*key.real = text != nullptr ? platform::Atof(*text) : fallback;
    } else if (key.text != nullptr) {
        info.*key.text = text != nullptr ? *text : std::string();
    } else if (text == nullptr) {
        info.*key.integer = static_cast<int>(fallback);
    } else {
        info.*key.integer =
            key.seconds ? TruncToInt(platform::Atof(*text) * 1000.0) : platform::Atoi(*text);
    }
}

void AppendInfoEntry(DescriptionText& out, const PanoramicInfo& info, const InfoKey& key) {
    std::string value;
    if (key.real != nullptr)
        value = FormatFixed(info.*key.real);
    else if (key.text != nullptr)
        value = info.*key.text;
    else if (key.seconds)
        value = FormatFixed(info.*key.integer / 1000.0);
    else
        value = FormatInt(info.*key.integer);
    out.Append("," + std::string(key.key) + "=" + value);
}

}  // namespace zor::images
