#include "images/DescriptionReader.h"

#include <algorithm>
#include <cstdint>

#include "images/DescriptionKeys.h"
#include "images/HeaderParser.h"
#include "images/ImageConstants.h"
#include "platform/TextConvert.h"

namespace zor::images {

using platform::Atof;
using platform::Atoi;

BandGeometry ComputeBandGeometry(int marginTop, int marginBottom) {
    BandGeometry g;
    const int64_t denom = 1538 - static_cast<int64_t>(marginTop) - marginBottom;
    if (denom == 0)
        return g;
    const auto d = static_cast<float>(denom);
    const float top = static_cast<float>(150 - static_cast<int64_t>(marginTop)) / d;
    const float bottom = static_cast<float>(-static_cast<int64_t>(marginBottom)) / d;
    const float limit = static_cast<float>(400 - static_cast<int64_t>(marginBottom)) / d;
    (top >= 0.0f ? g.m_Top : g.m_TopOverflow) = top;
    (bottom >= 0.0f ? g.m_Bottom : g.m_BottomOverflow) = bottom;
    g.m_Limit = std::max(0.0f, limit);
    return g;
}

CropShareSet ComputeCropShares(int minor, bool isLimited, int limitPercentage) {
    CropShareSet s;
    if (!isLimited)
        return s;
    const int64_t rest = 100 - static_cast<int64_t>(limitPercentage);
    const auto clamp = [](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    if (minor == 0 || minor == 15) {
        s.m_Left = s.m_Right = clamp(rest / 2);
    } else if (minor == 2) {
        s.m_Left = clamp(rest);
    } else if (minor == 1) {
        s.m_Right = clamp(rest);
    }
    return s;
}

bool ReadDescriptionValue(std::string_view block, std::string_view key, std::string& out) {
    const size_t at = block.find(key);
    if (at == std::string_view::npos)
        return false;
    const size_t start = at + key.size();
    const size_t end = block.find("\r\n", start);
    if (end == std::string_view::npos)
        return false;
    out.assign(block.substr(start, end - start));
    return true;
}

bool ReadDescriptionInt(std::string_view block, std::string_view key, int& out) {
    const size_t at = block.find(key);
    if (at == std::string_view::npos)
        return false;
    size_t pos = at + key.size();
    if (pos >= block.size() || block[pos] < '0' || block[pos] > '9')
        return false;
    const size_t start = pos;
    while (pos < block.size() && block[pos] >= '0' && block[pos] <= '9')
        ++pos;
    out = Atoi(block.substr(start, pos - start));
    return true;
}

namespace {

std::string KeyEq(std::string_view key) {
    return std::string(key) + "=";
}

void ClipProjectionId(PanoramicInfo& info) {
    if (info.ProjectionId.size() > PanoramicInfo::kMaxProjectionId) {
        info.ProjectionId.resize(PanoramicInfo::kMaxProjectionId);
    }
}

// The ids 0.0.31 and 0.1.31 written without a version get one implied by the key and exposure.
bool HasImpliedVersion(const std::string& id) {
    return id.size() >= 6 && id[0] == '0' && (id[2] == '0' || id[2] == '1') && id[4] == '3' &&
           id[5] == '1';
}

ReadStatus ReadCommaProjection(const CHeaderParser& parser, const ImageSettings& settings,
                               PanoramicInfo& info) {
    std::string keyName(kKeyProj);
    std::string value;
    if (parser.GetValue(keyName, value) != CHeaderParser::kFound) {
        keyName = kKeyProjection;
        if (parser.GetValue(keyName, value) != CHeaderParser::kFound)
            return ReadStatus::Read;
    }
    std::string_view pieces[3];
    std::string_view rest(value);
    for (auto& piece : pieces) {
        const size_t dot = rest.find('.');
        piece = rest.substr(0, dot);
        rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    }
    info.m_ProjectionMajor = Atoi(pieces[0]);
    if (info.m_ProjectionMajor != 0)
        return ReadStatus::ProjectionRefused;
    info.m_ProjectionMinor = Atoi(pieces[1]);
    info.CropShares = ComputeCropShares(info.m_ProjectionMinor, settings.m_IsPanoramicLimited,
                                        settings.m_PanoramicLimitPercentage);
    info.m_ProjectionThird = Atoi(pieces[2]);

    info.ProjectionId = value;
    std::string version;
    if (parser.GetValue(std::string(kKeyProjectionVersion), version) == CHeaderParser::kFound) {
        info.ProjectionId += "." + version;
        info.m_ProjectionVersion = Atoi(version);
    } else if (HasImpliedVersion(value)) {
        if (keyName == kKeyProj) {
            info.m_ProjectionVersion = 0;
        } else {
            info.m_ProjectionVersion = info.m_ExposureTimeMs >= 12000 ? 1 : 10;
        }
        info.ProjectionId += "." + FormatInt(info.m_ProjectionVersion);
    } else {
        info.ProjectionId.clear();
        info.m_ProjectionVersion = 0;
    }
    ClipProjectionId(info);
    return ReadStatus::Read;
}

}  // namespace

ReadStatus ReadCommaForm(const std::string& description, const ImageSettings& settings,
                         PanoramicInfo& info) {
    info.NormalisedDescription.AssignClipped(description);
    CHeaderParser parser(description);
    parser.Parse();
    if (parser.State() != CHeaderParser::kStateParsed)
        return ReadStatus::NotParsed;

    std::string v;
    const auto has = [&](std::string_view key) {
        return !key.empty() && parser.GetValue(std::string(key), v) == CHeaderParser::kFound;
    };
    for (const InfoKey& key : kInfoKeys) {
        const bool found = has(key.key) || has(key.alias);
        SetInfoField(info, key, found ? &v : nullptr, key.commaDefault);
    }
    info.ProjectionId.clear();
    return ReadCommaProjection(parser, settings, info);
}

bool ExtractTechnicsBlock(std::string_view xmp, std::string_view& block) {
    const size_t open = xmp.find(kTechnicsOpen);
    if (open == std::string_view::npos)
        return false;
    const size_t start = open + kTechnicsOpen.size();
    const size_t close = xmp.find(kTechnicsClose, start);
    if (close == std::string_view::npos)
        return false;
    block = xmp.substr(start, close - start);
    return true;
}

namespace {

ReadStatus ReadTechnicsProjection(std::string_view block, const ImageSettings& settings,
                                  PanoramicInfo& info) {
    const std::string key = block.find(KeyEq(kKeyProj)) != std::string_view::npos
                                ? KeyEq(kKeyProj)
                                : KeyEq(kKeyProjection);
    int major = 0;
    if (ReadDescriptionInt(block, key, major)) {
        info.m_ProjectionMajor = major;
        if (major != 0)
            return ReadStatus::ProjectionRefused;
        int minor = 0;
        if (!ReadDescriptionInt(block, key + FormatInt(major) + ".", minor)) {
            return ReadStatus::Failed;
        }
        info.m_ProjectionMinor = minor;
        info.CropShares = ComputeCropShares(minor, settings.m_IsPanoramicLimited,
                                            settings.m_PanoramicLimitPercentage);
        int third = 0;
        if (!ReadDescriptionInt(block, key + FormatInt(major) + "." + FormatInt(minor) + ".",
                                third)) {
            return ReadStatus::Failed;
        }
        info.m_ProjectionThird = third;
    }
    int version = 0;
    if (ReadDescriptionInt(block, KeyEq(kKeyProjectionVersion), version)) {
        info.m_ProjectionVersion = version;
        info.ProjectionId = FormatInt(info.m_ProjectionMajor) + "." +
                            FormatInt(info.m_ProjectionMinor) + "." +
                            FormatInt(info.m_ProjectionThird) + "." + FormatInt(version);
        ClipProjectionId(info);
    } else {
        info.m_ProjectionVersion = 0;
        info.ProjectionId.clear();
    }
    return ReadStatus::Read;
}

void AppendIntEntry(DescriptionText& out, std::string_view block, std::string_view key,
                    int fallback) {
    int value = fallback;
    ReadDescriptionInt(block, KeyEq(key), value);
    out.Append("," + std::string(key) + "=" + FormatInt(value));
}

void AppendTextEntry(DescriptionText& out, std::string_view block, std::string_view key) {
    std::string value;
    if (!ReadDescriptionValue(block, KeyEq(key), value))
        value = "Unknown";
    out.Append("," + std::string(key) + "=" + value);
}

void AppendMagnification(DescriptionText& out, std::string_view block, std::string_view key) {
    std::string value;
    const std::string text = ReadDescriptionValue(block, KeyEq(key), value)
                                 ? FormatFixed(Atof(value), 7)
                                 : std::string("1.230000");
    out.Append("," + std::string(key) + "=" + text);
}

void BuildTechnicsNormalised(std::string_view block, PanoramicInfo& info) {
    DescriptionText& out = info.NormalisedDescription;
    out.Clear();
    int orvix = 200;
    ReadDescriptionInt(block, "orvix=", orvix);
    out.Append("orvix=" + FormatInt(orvix));
    AppendTextEntry(out, block, "source");
    AppendTextEntry(out, block, "type");
    AppendTextEntry(out, block, "OPT_ver");
    for (const InfoKey& key : {kPixelSizeKey, kYValueKey, kTubeVoltageKey, kTubeCurrentKey,
                               kExposureKey, kOrientationKey}) {
        AppendInfoEntry(out, info, key);
    }
    out.Append("," + KeyEq(kKeyProjection) + FormatInt(info.m_ProjectionMajor) + "." +
               FormatInt(info.m_ProjectionMinor) + "." + FormatInt(info.m_ProjectionThird));
    out.Append("," + KeyEq(kKeyProjectionVersion) + FormatInt(info.m_ProjectionVersion));
    AppendInfoEntry(out, info, kImageIdKey);
    AppendIntEntry(out, block, "talvern_img_rows_num", 1536);
    AppendIntEntry(out, block, "raw_img_rows_num", 1538);
    AppendIntEntry(out, block, "raw_img_cols_num", 2693);
    for (const InfoKey& key : {kMarginLeftKey, kMarginRightKey, kMarginTopKey, kMarginBottomKey})
        AppendInfoEntry(out, info, key);
    AppendIntEntry(out, block, "orvix_img_rows_num", 1528);
    AppendIntEntry(out, block, "orvix_img_cols_num", 2609);
    AppendMagnification(out, block, "magnifactor_H");
    AppendMagnification(out, block, "magnifactor_V");
    out.Append(kTechnicsTail);
}

}  // namespace

ReadStatus ReadTechnicsForm(std::string_view xmp, const ImageSettings& settings,
                            PanoramicInfo& info) {
    std::string_view block;
    if (!ExtractTechnicsBlock(xmp, block))
        return ReadStatus::Failed;

    // Integers are the run of digits after the key; the other values run to the CR LF.
    for (const InfoKey& key : kInfoKeys) {
        if (key.integer != nullptr && !key.seconds) {
            int value = 0;
            const bool found =
                (!key.alias.empty() && ReadDescriptionInt(block, KeyEq(key.alias), value)) ||
                ReadDescriptionInt(block, KeyEq(key.key), value);
            info.*key.integer = found ? value : static_cast<int>(key.technicsDefault);
            continue;
        }
        std::string v;
        const bool found =
            (!key.alias.empty() && ReadDescriptionValue(block, KeyEq(key.alias), v)) ||
            ReadDescriptionValue(block, KeyEq(key.key), v);
        SetInfoField(info, key, found ? &v : nullptr, key.technicsDefault);
    }

    const ReadStatus status = ReadTechnicsProjection(block, settings, info);
    if (status != ReadStatus::Read)
        return status;
    BuildTechnicsNormalised(block, info);
    return ReadStatus::Read;
}

}  // namespace zor::images
