#pragma once
// The workflow's own texts and file names.
#include <string_view>

namespace zor::acquisition {

// Files of the work folder shared by the driver program, the reconstruction and this program.
inline constexpr std::string_view kCurrentPanoramicFile = "cur_pano.tif";
inline constexpr std::string_view kParamFile = "Param.txt";
inline constexpr std::string_view kParamSentFile = "ParamSent.txt";
inline constexpr std::string_view kVolumeFile = "Volume.vol";
/// The projections are "<prefix><index>.tif", index 1 to kProjectionCount.
inline constexpr std::string_view kProjectionPrefix = "3DTS_image_projection_";
inline constexpr int kProjectionCount = 11;
/// The driver program in the install folder, and the name the capture program holds.
inline constexpr std::string_view kDriverProgram = "DeviceDriverHost";
inline constexpr std::string_view kCaptureStationName = "Capture Station";

/// The main window's title.
inline constexpr const char* kWindowTitle = "DTS";
inline constexpr const char* kErrorBitmap = "Error.bmp";
inline constexpr const char* kExamTypeBitmap = "ExamType.bmp";

inline constexpr const char* kNewPanoramicTag = "_[New panoramic image acquired]_";
inline constexpr const char* kPanoramicChanged = "The working panoramic image is changed";
inline constexpr const char* kReconstructionErrorTitle = "RECOSTRUCTION ERROR";
inline constexpr const char* kReconstructionErrorText = "On reconstruction error";
inline constexpr const char* kAbortTitleTag = "_[TOMOSYNTHESIS ACQUISITION ABORT:]_";
inline constexpr const char* kAbortTextTag =
    "_[Push the exam selection button twice to abort (it's on the left of the device consolle)]_";

inline constexpr int kStepHideMs = 5000;
inline constexpr int kPollPeriodMs = 2000;
/// The pause after a hand-off, in which the driver program takes the parameter file.
inline constexpr int kHandoffPauseMs = 3000;
/// The hidden window that tells other programs a panoramic exposure is awaited.
inline constexpr const char* kWaitingWindowName = "3DTS_waiting_for_pano";

inline constexpr const char* kPanoramicStepTitle =
    "_[PANORAMIC IMAGE ACQUISITION STEP\nPlease, follow the instructions below:]_";
inline constexpr const char* kProjectionStepTitle =
    "_[TOMOSYNTHESIS PROJECTIONS ACQUISITION STEP\nPlease, follow the instructions below:]_";
inline constexpr const char* kPanoramicErrorTitle = "_[PANORAMIC IMAGE ACQUISITION ERROR]_";
inline constexpr const char* kProjectionErrorTitle =
    "_[TOMOSYNTHESIS PROJECTIONS ACQUISITION ERROR]_";
inline constexpr const char* kSelectionStepTitle =
    "_[TOMOSYNTHESIS VOLUME SELECTION STEP\nPlease, follow the instructions below:]_";
inline constexpr const char* kDriverNotStarted = "_[xray panoramic PC Driver was not started]_";
inline constexpr const char* kDeviceInError = "_[device is in error n.]_";
inline constexpr const char* kDriverHasNoLock = "_[pcdriver has not lock]_";

inline constexpr const char* kResetDevice = "_[Reset device]_";
inline constexpr const char* kPlacePatient = "_[Place the patient and close the headrest]_";
inline constexpr const char* kSelectPanoramicExam = "_[Select a panoramic group exam]_";
inline constexpr const char* kPushXRays = "_[Push X-rays button to acquire image]_";
inline constexpr const char* kSelectVolume =
    "_[Select the tomosynthesis volume by clicking on the panoramic image]_";
inline constexpr const char* kPushTomosynthesis = "_[Push the tomosynthesis button on the screen]_";

inline constexpr const char* kParseErrorTitle = "PARSE 3D ERROR";
inline constexpr const char* kAbortedByUser = "_[aborted by user]_";
inline constexpr const char* kInitScanErrorTitle = "_[INIT 3DSCAN ERROR]_";
inline constexpr const char* kSentTrajectoryCopyError = "_[Error on copying the sent trajectory]_";
inline constexpr const char* kPanoramicCopyError = "_[Error on copying panoramic image]_";
inline constexpr const char* kErrorTitle = "_[ERROR]_";

}  // namespace zor::acquisition
