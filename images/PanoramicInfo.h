#pragma once
// The metadata record of the loaded panoramic and the geometry derived from it.
#include <string>

#include "images/DescriptionText.h"

namespace zor::images {

/// Percentages of the panoramic width set aside left and right (from the projection minor).
struct CropShareSet {
    int m_Left = 0;
    int m_Right = 0;
};

/// Metadata of one loaded panoramic, refilled by the description reader on every load.
/// Owned by the main window's image state; user-interface thread only.
struct PanoramicInfo {
    static constexpr size_t kMaxProjectionId = 19;  ///< characters kept of `ProjectionId`

    double m_PixelSize = 0.0;      ///< "pixsize", mm per pixel
    double m_YValue = 0.0;         ///< "Y_value", carried
    int m_TubeVoltage = 0;         ///< kV
    int m_TubeCurrent = 0;         ///< mA
    int m_ExposureTimeMs = 0;      ///< "tech_fact_s" × 1000, truncated
    int m_PatientOrientation = 0;  ///< "patient_orient"
    std::string m_ImageId;         ///< "img_id" (UTF-8)
    int m_MarginLeft = 74;         ///< pixels
    int m_MarginRight = 10;        ///< pixels
    int m_MarginTop = 5;           ///< pixels
    int m_MarginBottom = 5;        ///< pixels
    int m_ProjectionMajor = 0;
    int m_ProjectionMinor = 0;
    int m_ProjectionThird = 0;  ///< the size class (31 adult, 6 child)
    int m_ProjectionVersion = 0;
    std::string ProjectionId;  ///< "major.minor.third.version"; names the LUT file
    CropShareSet CropShares;
    DescriptionText NormalisedDescription;  ///< comma form, reused when exporting
};

/// Vertical band fractions of the panoramic (single precision, as the display uses them).
struct BandGeometry {
    float m_Top = 0.0f;
    float m_TopOverflow = 0.0f;
    float m_Bottom = 0.0f;
    float m_BottomOverflow = 0.0f;
    float m_Limit = 0.0f;
};

/// Band fractions from the top and bottom margins against the 1538 raw rows. A zero
/// denominator (margins summing to 1538) gives all fractions 0 instead of infinities.
BandGeometry ComputeBandGeometry(int marginTop, int marginBottom);

/// Crop shares for projection `minor` with the limit settings (P = `limitPercentage`).
CropShareSet ComputeCropShares(int minor, bool isLimited, int limitPercentage);

}  // namespace zor::images
