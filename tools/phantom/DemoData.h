#pragma once
// Demo data of the phantom: LUT files, curve picture and panoramic images.
#include <string>
#include <vector>

#include "phantom/DentalPhantom.h"
#include "phantom/PhantomImaging.h"
#include "zor_vol/LutFile.h"

namespace zor::phantom {

/// Every projection id the system can name for a phantom of `kind`: "0.<minor>.<size>.<version>"
/// for minors 0, 1, 2, 15, versions 0, 1, 10, size class 31 (adult) or 6 (child).
std::vector<std::string> ProjectionIds(PhantomKind kind);

/// LUT of the phantom's panoramic: raw column -> curve point, angle, exposure factor.
zor_vol_lut::LutTable MakeLut(const DentalPhantom& phantom, const std::string& id);

/// The curve picture (8-bit grey BMP, 568 × 568, 0.25 mm per pixel): the arch seen from above,
/// stored so that after a -90° rotation device (x, y) lands on pixel
/// (width - (x + 71)·4, (y + 71)·4).
std::vector<unsigned char> MakeCurvePicture(const DentalPhantom& phantom);

/// The comma-form description of the phantom's panoramic: names projection 0.0.31 version 10
/// (adult) or 0.0.6 version 10 (child), margins 74/10/5/5, 12 s at 70 kV, 8 mA.
std::string PanoramicDescription(PhantomKind kind, const std::string& imageId);

/// Writes a panoramic TIFF; an empty description writes none (template panoramics).
bool WritePanoramicTiff(const std::string& path, const GreyImage& image,
                        const std::string& description);

/// Renders the phantom's panoramic and writes it with its description (for example the device
/// simulator's "work/cur_pano.tif"); about 2 s.
bool WritePhantomPanoramic(PhantomKind kind, const std::string& path, const std::string& imageId,
                           std::string* error);

/// Writes the LUT files of every id of `kind` into `folder` (ending with '/').
bool WriteLutFiles(PhantomKind kind, const std::string& folder, std::string* error);
/// Writes the curve picture of the adult phantom to `path`.
bool WriteCurvePicture(const std::string& path, std::string* error);

/// Writes all demo data under `installDir`:
///   config_zor/<id>_X.LUT for every id of both phantoms,
///   config_zor/zor_manager/kestel.bmp,
///   work/pano_template.tif and work/pano_template_child.tif (no description),
///   work/phantom_pano.tif and work/phantom_pano_child.tif (with their descriptions).
/// Creates the folders. False with a reason in `error` on the first failure.
bool WriteDemoData(const std::string& installDir, std::string* error);

}  // namespace zor::phantom
