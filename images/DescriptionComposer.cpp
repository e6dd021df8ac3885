#include "images/DescriptionComposer.h"

#include <algorithm>
#include <ctime>

#include "images/DescriptionKeys.h"
#include "images/ImageConstants.h"

namespace zor::images {

void BuildTemplateDescription(const TemplateAcquisition& acquisition, const std::string& imageId,
                              const ImageSettings& settings, PanoramicInfo& info) {
    info.m_PixelSize = 0.096;
    info.m_YValue = static_cast<double>(acquisition.m_YValue);
    info.m_TubeVoltage = acquisition.m_TubeVoltage;
    info.m_TubeCurrent = acquisition.m_TubeCurrent;
    info.m_ExposureTimeMs = acquisition.m_ExposureTimeMs;
    info.m_PatientOrientation = acquisition.m_PatientOrientation;
    info.m_MarginLeft = 74;
    info.ProjectionId = "0.0." + FormatInt(acquisition.m_ProjectionNumber) + ".10";
    info.m_ProjectionMajor = 0;
    info.m_ProjectionMinor = 0;
    info.m_ProjectionThird = 31;
    info.m_ProjectionVersion = 10;
    info.CropShares =
        ComputeCropShares(0, settings.m_IsPanoramicLimited, settings.m_PanoramicLimitPercentage);
    info.m_ImageId = imageId;

    const size_t dot = info.ProjectionId.rfind('.');
    const std::string projection = info.ProjectionId.substr(0, dot);
    const std::string version = info.ProjectionId.substr(dot + 1);

    DescriptionText& out = info.NormalisedDescription;
    out.Clear();
    out.Append(kTemplateDescription);
    for (const InfoKey& key : {kPixelSizeKey, kYValueKey, kTubeVoltageKey, kTubeCurrentKey,
                               kExposureKey, kOrientationKey, kMarginLeftKey}) {
        AppendInfoEntry(out, info, key);
    }
    out.Append("," + std::string(kKeyProjection) + "=" + projection);
    out.Append("," + std::string(kKeyProjectionVersion) + "=" + version);
    AppendInfoEntry(out, info, kImageIdKey);
}

DescriptionText BuildSliceDescription(const SliceDescriptionInput& s) {
    static constexpr const char* kCornerKeys[8] = {"TOP_LEFTX",     "TOP_LEFTY",    "TOP_RIGHTX",
                                                   "TOP_RIGHTY",    "BOTTOM_LEFTX", "BOTTOM_LEFTY",
                                                   "BOTTOM_RIGHTX", "BOTTOM_RIGHTY"};
    DescriptionText out;
    out.Append("orvix=333,source=TALVERN,type=ZOR,pixsize=" + FormatFixed(0.15));
    out.Append(",img_id_pan=" + s.m_PanoramicImageId);
    out.Append(",img_id=" + s.m_VolumeImageId);
    out.Append(",slice_pancol=" + FormatInt(s.m_SlicePanoramicColumn));
    out.Append(",LUT=" + s.m_ProjectionId);
    for (int i = 0; i < 8; ++i) {
        out.Append(std::string(",VOL_") + kCornerKeys[i] + "=" + FormatFixed(s.m_VolumeCorners[i]));
    }
    out.Append(",VOL_dimX=" + FormatFixed(0.0) + ",VOL_dimY=" + FormatFixed(0.0) +
               ",VOL_dimZ=" + FormatFixed(0.0));
    out.Append(",SLICE_POSX=" + FormatFixed(s.m_SliceCentre[0]));
    out.Append(",SLICE_POSY=" + FormatFixed(s.m_SliceCentre[1]));
    out.Append(",SLICE_ROT1=" + FormatFixed(s.m_SliceRotation[0]));
    out.Append(",SLICE_ROT2=" + FormatFixed(s.m_SliceRotation[1]));
    out.Append(",SLICE_ROTY=" + FormatFixed(s.m_SliceRotation[2]));
    for (int i = 0; i < 8; ++i) {
        out.Append(std::string(",SLICE_") + kCornerKeys[i] + "=" +
                   FormatFixed(s.m_SliceCorners[i]));
    }
    out.Append(",magnifactor_H=" + FormatFixed(1.0) + ",magnifactor_V=" + FormatFixed(1.0));
    out.Append(",num_images=11");
    out.Append(",tech_fact_kV=" + FormatInt(s.m_TubeVoltage));
    out.Append(",tech_fact_mA=" + FormatInt(s.m_TubeCurrent));
    out.Append(",tech_fact_s=" + FormatFixed(s.m_ExposureTimeMs / 1000.0, 2));
    out.Append(",Y_value=" + FormatInt(TruncToInt(s.m_YValue)));
    out.Append(",margin_left_pan=" + FormatInt(s.m_PanoramicMarginLeft));
    float dap = (1.0f - s.m_CollimatorA - s.m_CollimatorB) * s.m_DoseBase;
    if (s.m_YAxisMovable)
        dap *= 0.90247077f;
    out.Append(",DAP=" + FormatFixed(static_cast<double>(dap), 2));
    out.Append(",3DTS_slice_index=" + FormatInt(s.m_SliceIndex));
    out.Append(",3DTS_slice_count=" + FormatInt(s.m_SliceCount));
    return out;
}

void AppendTreatments(DescriptionText& text, const std::vector<std::string>& filterStrings) {
    for (const std::string& filter : filterStrings) {
        if (!filter.empty() && filter.front() == '@') {
            const size_t comma = filter.find(',');
            text.Append("," +
                        (comma == std::string::npos ? std::string() : filter.substr(comma + 1)));
        } else {
            std::string value = filter;
            std::replace(value.begin(), value.end(), ',', ';');
            text.Append(",treat=" + value);
        }
    }
}

std::vector<std::string> ReadTreatments(std::string_view description) {
    std::vector<std::string> filters;
    bool armed = false;
    size_t pos = 0;
    while (pos <= description.size()) {
        size_t end = description.find(',', pos);
        if (end == std::string_view::npos)
            end = description.size();
        const std::string_view entry = description.substr(pos, end - pos);
        pos = end + 1;
        const size_t eq = entry.find('=');
        std::string key(entry.substr(0, eq));
        std::transform(key.begin(), key.end(), key.begin(), [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        });
        if (key == "orvix") {
            armed = true;
        } else if (armed && key == "treat" && eq != std::string_view::npos) {
            std::string value(entry.substr(eq + 1));
            std::replace(value.begin(), value.end(), ';', ',');
            filters.push_back(std::move(value));
        }
    }
    return filters;
}

std::string FormatTimeStamp(long long when) {
    const auto t = static_cast<std::time_t>(when);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return std::string();
    char buffer[32];
    const size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d_%H-%M-%S", &local);
    return std::string(buffer, n);
}

}  // namespace zor::images
