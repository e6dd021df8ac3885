#pragma once
// Reading back what the last projection acquisition was made with.
#include <filesystem>

namespace zor::acquisition {

/// What "ParamSent.txt" and the first projection's description say about the last acquisition.
/// Plain data, read and kept on the user-interface thread.
struct AcquisitionRecord {
    int Kv = 0;                 ///< tube voltage, kV
    int Ma = 0;                 ///< tube current, mA
    double YValue = 0.0;        ///< the panoramic's Y value as sent ("#Y_CORRECTION")
    int ExposureTimeMs = 0;     ///< the projection's exposure time, ms (the sent one without it)
    int CollimatorLower = 0;    ///< lower collimator position; 0 when not sent
    int CollimatorUpper = 0;    ///< upper collimator position; 0 when not sent
    bool YAxisMovable = false;  ///< the upper collimator position was sent
    float Dap = 0.0f;           ///< dose-area product of the projection's description; 0 without
};

/// Reads "ParamSent.txt" (first line, caller-parameter grammar) and the description (tag 270,
/// comma form) of the first "3DTS_image_projection_*.tif" in `workFolder` (name order, so "_1"
/// before "_2"; names compared case-sensitively). True with `record` replaced as a whole. False,
/// with `record` untouched, when "ParamSent.txt" cannot be read, lacks "#KV", "#MA",
/// "#Y_CORRECTION" or "#EXPOSURE_TIME", no projection is found, or it has no description.
bool ReadAcquisitionRecord(const std::filesystem::path& workFolder, AcquisitionRecord& record);

}  // namespace zor::acquisition
