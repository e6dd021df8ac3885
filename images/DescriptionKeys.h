#pragma once
// The description entries that fill a panoramic's metadata: one table for both readers and the
// composers that write them back.
#include <array>
#include <string>
#include <string_view>

#include "images/DescriptionText.h"
#include "images/PanoramicInfo.h"

namespace zor::images {

/// One metadata entry: its key, another spelling of it, the field it fills and its defaults.
/// Exactly one member pointer is set; `seconds` marks a real value in seconds kept as
/// milliseconds (truncated) in an int field.
struct InfoKey {
    std::string_view key;
    std::string_view alias;  ///< read after `key` in the comma form, before it in the Technics form
    double PanoramicInfo::*real = nullptr;
    int PanoramicInfo::*integer = nullptr;
    std::string PanoramicInfo::*text = nullptr;
    bool seconds = false;
    double commaDefault = 0.0;
    double technicsDefault = 0.0;
};

inline constexpr InfoKey kPixelSizeKey{
    .key = "pixsize", .real = &PanoramicInfo::m_PixelSize, .technicsDefault = 0.096};
inline constexpr InfoKey kYValueKey{.key = "Y_value", .real = &PanoramicInfo::m_YValue};
inline constexpr InfoKey kTubeVoltageKey{.key = "tech_fact_kV",
                                         .alias = "Fact_kV",
                                         .integer = &PanoramicInfo::m_TubeVoltage,
                                         .technicsDefault = 80};
inline constexpr InfoKey kTubeCurrentKey{.key = "tech_fact_mA",
                                         .alias = "Fact_mA",
                                         .integer = &PanoramicInfo::m_TubeCurrent,
                                         .technicsDefault = 6};
inline constexpr InfoKey kExposureKey{.key = "tech_fact_s",
                                      .integer = &PanoramicInfo::m_ExposureTimeMs,
                                      .seconds = true,
                                      .commaDefault = 12000,
                                      .technicsDefault = 12000};
inline constexpr InfoKey kOrientationKey{.key = "patient_orient",
                                         .integer = &PanoramicInfo::m_PatientOrientation,
                                         .commaDefault = 3,
                                         .technicsDefault = 3};
inline constexpr InfoKey kImageIdKey{.key = "img_id", .text = &PanoramicInfo::m_ImageId};
inline constexpr InfoKey kMarginLeftKey{.key = "margin_left",
                                        .integer = &PanoramicInfo::m_MarginLeft,
                                        .commaDefault = 74,
                                        .technicsDefault = 74};
inline constexpr InfoKey kMarginRightKey{.key = "margin_right",
                                         .integer = &PanoramicInfo::m_MarginRight,
                                         .commaDefault = 10,
                                         .technicsDefault = 10};
inline constexpr InfoKey kMarginTopKey{.key = "margin_top",
                                       .integer = &PanoramicInfo::m_MarginTop,
                                       .commaDefault = 5,
                                       .technicsDefault = 5};
inline constexpr InfoKey kMarginBottomKey{.key = "margin_bottom",
                                          .integer = &PanoramicInfo::m_MarginBottom,
                                          .commaDefault = 5,
                                          .technicsDefault = 5};

/// Every metadata entry, in the order the readers fill them.
inline constexpr std::array<InfoKey, 11> kInfoKeys = {
    kPixelSizeKey,   kYValueKey,      kTubeVoltageKey, kTubeCurrentKey,
    kExposureKey,    kOrientationKey, kImageIdKey,     kMarginLeftKey,
    kMarginRightKey, kMarginTopKey,   kMarginBottomKey};

// Projection keys: read and composed by their own rules.
inline constexpr std::string_view kKeyProj = "Proj";
inline constexpr std::string_view kKeyProjection = "projection";
inline constexpr std::string_view kKeyProjectionVersion = "projection_version";

/// Sets the field of `key` from its value text (reals with Atof, integers with Atoi, seconds
/// as truncated milliseconds), or to `fallback` when `text` is null.
void SetInfoField(PanoramicInfo& info, const InfoKey& key, const std::string* text,
                  double fallback);

/// Appends ",<key>=<value>" with the field's value as the descriptions write it: reals and
/// seconds with six decimals, integers in decimal, text as it stands.
void AppendInfoEntry(DescriptionText& out, const PanoramicInfo& info, const InfoKey& key);

}  // namespace zor::images
