#pragma once
// The system's own strings of the image layer: description keys, file names and messages.
#include <string_view>

namespace zor::images {

// Markers of the Technics block inside the XMP packet (tag 700).
inline constexpr std::string_view kTechnicsOpen = "<Technics type=\"string\">";
inline constexpr std::string_view kTechnicsClose = "</Technics>";

// The fixed tail of a description normalised from a Technics block.
inline constexpr std::string_view kTechnicsTail =
    ",treat=ECE 0.000;1.000;0.180;0.8200;0.500;0.300;100.000;100.000;200.000;200.000"
    ",projection_sub_image_number=1,projection_sub_images=1";

// The description of the phantom template panoramic, before its variable entries.
inline constexpr std::string_view kTemplateDescription =
    "orvix=200,source=TALVERN,type=PAN,pixsize=0.096,treat=ECE "
    "0.000;1.000;0.180;0.8200;0.500;0.300;100.000;100.000;200.000;200.000,projection=0.0.31,"
    "projection_version=10,projection_sub_image_number=1,projection_sub_images=1,talvern_img_rows_"
    "num=1536,raw_img_rows_num=1538,raw_img_cols_num=2693,orvix_img_rows_num=1528,orvix_img_cols_"
    "num=2609,magnifactor_H=1.230000,magnifactor_V=1.230000";

// Folders and files under the install directory: config_zor/ holds the LUT files and
// config_zor/zor_manager/ the curve picture; work/ the panoramics.
inline constexpr std::string_view kConfigFolder = "config_zor";
inline constexpr std::string_view kPictureFolder = "zor_manager";
inline constexpr std::string_view kWorkFolder = "work";
inline constexpr std::string_view kLutSuffix = "_X.LUT";
inline constexpr std::string_view kCurvePicture = "kestel.bmp";
inline constexpr std::string_view kTemplatePanoramic = "pano_template.tif";
inline constexpr std::string_view kCurrentPanoramic = "cur_pano.tif";
inline constexpr std::string_view kArchivePanoramic = "pano_archive.tif";

// Messages (titles untranslated; tags go through the translation function).
inline constexpr std::string_view kPanoramicErrorTitle = "PANORAMIC IMAGE ACQUISITION ERROR";
inline constexpr std::string_view kIncompatibleProjection = "Incompatible panoramic projection";
inline constexpr std::string_view kLutRefused = "Kestel load LUT (LUT not found)";
inline constexpr std::string_view kReadingPanoramicError = "Error on reading panoramic image";
inline constexpr std::string_view kProjectionsErrorTag =
    "_[TOMOSYNTHESIS PROJECTIONS ACQUISITION ERROR]_";
inline constexpr std::string_view kSelectGroupExamTag = "_[Please select a panoramic group exam]_";
inline constexpr int kRefusalWaitMs = 5000;

}  // namespace zor::images
