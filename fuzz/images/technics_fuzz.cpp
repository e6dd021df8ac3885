// Technics blocks (XMP packet of tag 700): lookups, projection and normalisation.
#include <cstddef>
#include <cstdint>
#include <string>

#include "images/DescriptionReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    // Half the inputs get the markers for free so the block reader is reached often.
    const std::string xmp =
        (size > 0 && (data[0] & 1)) ? "<Technics type=\"string\">" + body + "</Technics>" : body;
    zor::images::PanoramicInfo info;
    zor::images::ImageSettings settings;
    settings.m_PanoramicLimitPercentage = size > 1 ? static_cast<int8_t>(data[1]) : 60;
    zor::images::ReadTechnicsForm(xmp, settings, info);
    if (info.NormalisedDescription.Size() > 999 || info.ProjectionId.size() > 19)
        __builtin_trap();
    std::string text;
    int number = 0;
    zor::images::ReadDescriptionValue(body, "img_id=", text);
    zor::images::ReadDescriptionInt(body, "Proj=0.", number);
    return 0;
}
