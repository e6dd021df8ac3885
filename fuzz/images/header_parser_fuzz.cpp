// Comma-form descriptions: parser, key reading, treatment round trip.
#include <cstddef>
#include <cstdint>
#include <string>

#include "images/DescriptionComposer.h"
#include "images/DescriptionReader.h"
#include "images/HeaderParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    zor::images::CHeaderParser parser(text);
    parser.Parse();
    std::string value;
    for (const char* key : {"projection", "Proj", "img_id", "treat", ""})
        parser.GetValue(key, value);
    if (parser.State() == zor::images::CHeaderParser::kStateParsed) {
        for (const auto& [k, v] : parser.Pairs()) {
            if (k.size() > 255 || v.size() > 255)
                __builtin_trap();
        }
    }
    zor::images::PanoramicInfo info;
    zor::images::ReadCommaForm(text, {}, info);
    if (info.NormalisedDescription.Size() > 999 || info.ProjectionId.size() > 19)
        __builtin_trap();
    const auto filters = zor::images::ReadTreatments(text);
    zor::images::DescriptionText out;
    out.Append("orvix=333");
    zor::images::AppendTreatments(out, filters);
    if (out.Size() > 999)
        __builtin_trap();
    return 0;
}
