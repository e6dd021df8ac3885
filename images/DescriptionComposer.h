#pragma once
// Composition of the description strings the system writes, and the reading of a panoramic's
// treatment entries back into filter strings.
#include <string>
#include <string_view>
#include <vector>

#include "images/DescriptionText.h"
#include "images/ImageSettings.h"
#include "images/PanoramicInfo.h"

namespace zor::images {

/// What the template panoramic's metadata is built from: the last acquisition's record.
struct TemplateAcquisition {
    int m_YValue = 0;          ///< integer Y correction of the acquisition
    int m_TubeVoltage = 0;     ///< kV
    int m_TubeCurrent = 0;     ///< mA
    int m_ExposureTimeMs = 0;  ///< ms
    int m_PatientOrientation = 0;
    int m_ProjectionNumber = 31;  ///< size class of the device snapshot
};

/// Fills `info` for the phantom template panoramic and composes its `NormalisedDescription`.
/// `imageId` is the local time "%Y-%m-%d_%H-%M-%S" of the call (see FormatTimeStamp).
void BuildTemplateDescription(const TemplateAcquisition& acquisition, const std::string& imageId,
                              const ImageSettings& settings, PanoramicInfo& info);

/// Everything one exported slice's description carries (volume data from the slice record).
struct SliceDescriptionInput {
    std::string m_PanoramicImageId;  ///< UTF-8
    std::string m_VolumeImageId;     ///< UTF-8
    int m_SlicePanoramicColumn = 0;  ///< panoramic column of the slice centre
    std::string m_ProjectionId;
    double m_VolumeCorners[8] =
        {};  ///< top-left x,y, top-right x,y, bottom-left x,y, bottom-right x,y
    double m_SliceCentre[2] = {};
    double m_SliceRotation[3] = {};  ///< ROT1, ROT2, ROTY
    double m_SliceCorners[8] = {};   ///< same corner order as the volume corners
    int m_TubeVoltage = 0;
    int m_TubeCurrent = 0;
    int m_ExposureTimeMs = 0;
    double m_YValue = 0.0;
    int m_PanoramicMarginLeft = 0;
    float m_CollimatorA = 0.0f;  ///< collimator fractions a and b
    float m_CollimatorB = 0.0f;
    float m_DoseBase = 0.0f;  ///< D of the sent acquisition parameters
    bool m_YAxisMovable = false;
    int m_SliceIndex = 0;  ///< 0..49
    int m_SliceCount = 50;
};

/// The description of one exported slice (entries in the export order).
DescriptionText BuildSliceDescription(const SliceDescriptionInput& slice);

/// Appends one entry per active filter string, in list order: an "@" bundle contributes
/// "," + everything after its first ","; any other string ",treat=" + the string with every ","
/// replaced by ";".
void AppendTreatments(DescriptionText& text, const std::vector<std::string>& filterStrings);

/// The filter strings of a description's treatment: the "treat" entries after the first
/// "orvix" entry (keys compared lower-cased), each ";" turned into ",".
std::vector<std::string> ReadTreatments(std::string_view description);

/// Local time of `when` formatted "%Y-%m-%d_%H-%M-%S" (19 characters).
std::string FormatTimeStamp(long long when);

}  // namespace zor::images
