#pragma once
// The workflow's own texts and file names.

namespace zor::acquisition {

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

}  // namespace zor::acquisition
