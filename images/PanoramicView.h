#pragma once
// The display object of one loaded panoramic: decoded image, display bitmaps and preview.
#include <string>

#include "images/Bitmap.h"
#include "images/DisplayFilter.h"

namespace zor::images {

/// One loaded panoramic for display; created anew for every load, user-interface thread.
/// The full and preview bitmaps are 16-bit sample images at the panoramic's effective depth.
class PanoramicView {
public:
    Bitmap m_Image;              ///< the image as decoded (rows bottom-up)
    GreyImage16 m_Full;          ///< treated full panoramic, top row first
    GreyImage16 m_Preview;       ///< reduced preview (treated unless in template mode)
    std::string m_FilterString;  ///< copy of the panoramic's normalised description
    bool m_Loaded = false;       ///< the 16-bit preparation finished
    double m_SpacingX = 0.0;     ///< mm per pixel
    double m_SpacingY = 0.0;
    int m_MaxSample = 0;  ///< largest sample of the 16-bit image

    /// Image rows top first as 16-bit samples (empty unless a valid 16-bit image is held).
    std::vector<uint16_t> CopyRowsTopFirst() const;
    /// The same into `rows` (its storage reused); returns the largest sample.
    uint16_t CopyRowsTopFirst(std::vector<uint16_t>& rows) const;
};

/// The largest of `count` samples (0 for none).
uint16_t LargestSample(const uint16_t* samples, size_t count);

/// Preview step for a width: floor(width / 267) + 1.
int PreviewStep(int width);
/// Reduced preview of `source` (see PreviewStep): rows r·s, columns c = k·s for k below
/// floor(width / s), each the sum of the in-image samples c − s/2 .. c + s/2 − 1 divided by
/// 2·(s/2); step 1 takes the single sample.
GreyImage16 BuildPreview(const GreyImage16& source);
/// 8 when the largest sample is below 256, 12 below 4096, else 16.
int EffectiveDepth(int maxSample);

}  // namespace zor::images
