#pragma once
// The driver parameter file "Param.txt" and the start of the device PC driver program.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/Process.h"

namespace zor::acquisition {

/// The values of one hand-off, as the driver program receives them in "Param.txt".
struct DriverParameters {
    int32_t XPos = 0, YPos = 0, RotationPos = 0;  ///< trajectory start: µm, µm, 1/100°
    int32_t Columns = 0;                          ///< detector columns per projection
    int32_t Kv = 0, Ma = 0, Orientation = 0, YCorrection = 0, ExposureTimeMs = 0;
    int32_t CollimatorLower = 0, CollimatorUpper = 0;
    bool YAxisMovable = false;  ///< the collimator keys are written only then
    bool TemplateMode = false;  ///< "#YCANMOVE" 1
};

/// The single line of "Param.txt", without a line end: the key/value tokens separated by single
/// spaces. The work folder is the install directory's text + "/work/", joined as text (an
/// install directory ending with '/' gives "//work/", a valid path); paths are not quoted.
/// Numbers are written in the "C" locale whatever the process locale.
std::string DriverParameterText(const std::filesystem::path& installDir, const DriverParameters& p);

/// Starts a program as ShellExecute does: `file`, the parameter string, the working folder.
/// Returns more than 32 on success (platform::ShellExecuteOpen's convention).
using ProgramLauncher =
    std::function<int(const std::filesystem::path& file, const std::string& params,
                      const std::filesystem::path& dir)>;

/// Writes installDir + "/work/Param.txt" (a temporary file beside it renamed over it, so the
/// driver never reads half a file), then starts installDir + "/DeviceDriverHost" with
/// "  #FILEPARAM <that path>" in the install directory. False when the file cannot be written
/// (the driver is then not started) or the launcher returns 32 or less; `why` (when given)
/// receives the reason for the log, and is cleared on success.
bool WriteDriverParameters(const std::filesystem::path& installDir, const DriverParameters& p,
                           const ProgramLauncher& launch = platform::ShellExecuteOpen,
                           std::string* why = nullptr);

/// nullptr when the driver program ("DeviceDriverHost") runs and the name "Capture Station" is
/// held; otherwise the tag to show under "_[ERROR]_":
/// "_[xray panoramic PC Driver was not started]_" (checked first) or
/// "_[Image capturing software was not started]_". The texts are static.
const char* MissingAcquisitionProgram();

}  // namespace zor::acquisition
