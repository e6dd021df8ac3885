#include "acquisition/AcquisitionRecord.h"

#include <string>
#include <string_view>
#include <system_error>

#include "acquisition/AcquisitionConstants.h"
#include "images/DescriptionText.h"
#include "images/HeaderParser.h"
#include "images/ImageFileCheck.h"
#include "platform/Parser.h"
#include "platform/TextConvert.h"
#include "zor_io/RegularFile.h"

namespace zor::acquisition {

namespace {

constexpr std::string_view kProjectionSuffix = ".tif";
// The parameter file is one line of about 2 KiB; anything far larger is not one of ours.
constexpr std::size_t kMaxParamFileBytes = 1 << 20;

/// Fills the sent part of `record`; false when the file is unreadable or a required key is
/// missing.
bool ReadSentParameters(const std::filesystem::path& workFolder, AcquisitionRecord& record) {
    std::string text;
    if (zor::io::ReadWholeFile((workFolder / kParamSentFile).string(), text, kMaxParamFileBytes) !=
        zor::io::ReadStatus::Ok) {
        return false;
    }
    const std::string line = text.substr(0, text.find_first_of("\r\n"));
    platform::CInputParser parser(line);
    parser.Parse();
    if (parser.State() != platform::CParser::kStateParsed)
        return false;
    std::string kv, ma, y, exposure;
    if (!parser.FindValue("#KV", kv) || !parser.FindValue("#MA", ma) ||
        !parser.FindValue("#Y_CORRECTION", y) || !parser.FindValue("#EXPOSURE_TIME", exposure)) {
        return false;
    }
    record.Kv = platform::Atoi(kv);
    record.Ma = platform::Atoi(ma);
    record.YValue = platform::Atof(y);
    record.ExposureTimeMs = platform::Atoi(exposure);
    std::string value;
    if (parser.FindValue("#COLLIM_POS_INF", value))
        record.CollimatorLower = platform::Atoi(value);
    record.YAxisMovable = parser.FindValue("#COLLIM_POS_SUP", value) == 1;
    if (record.YAxisMovable)
        record.CollimatorUpper = platform::Atoi(value);
    return true;
}

/// The smallest matching name, so that the first projection is found whatever the folder's order.
bool FindFirstProjection(const std::filesystem::path& workFolder, std::filesystem::path& found) {
    std::error_code ec;
    std::filesystem::directory_iterator it(workFolder, ec);
    if (ec)
        return false;
    std::string best;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() >= kProjectionPrefix.size() + kProjectionSuffix.size() &&
            name.starts_with(kProjectionPrefix) && name.ends_with(kProjectionSuffix) &&
            (best.empty() || name < best)) {
            best = name;
        }
    }
    if (ec || best.empty())
        return false;
    found = workFolder / best;
    return true;
}

}  // namespace

bool ReadAcquisitionRecord(const std::filesystem::path& workFolder, AcquisitionRecord& record) {
    AcquisitionRecord read;
    if (!ReadSentParameters(workFolder, read))
        return false;
    std::filesystem::path projection;
    if (!FindFirstProjection(workFolder, projection))
        return false;
    images::TiffDescriptionTags tags;
    if (!images::ReadTiffDescriptionTags(projection.string(), tags) || !tags.m_HasDescription)
        return false;
    // A description that breaks the comma grammar or lacks an entry leaves the sent exposure time
    // and no dose: the projections themselves are still usable.
    images::CHeaderParser description(tags.m_Description);
    description.Parse();
    std::string value;
    if (description.GetValue("tech_fact_s", value) == images::CHeaderParser::kFound)
        read.ExposureTimeMs = images::TruncToInt(platform::Atof(value) * 1000.0);
    if (description.GetValue("DAP", value) == images::CHeaderParser::kFound)
        read.Dap = static_cast<float>(platform::Atof(value));
    record = read;
    return true;
}

}  // namespace zor::acquisition
