#pragma once
// Control ids, sizes, colours and fonts shared by the reusable windows.
#include <QColor>

namespace zor::ui {

// Control ids of the window templates (also each control's objectName, as a decimal number).
inline constexpr int kIdOk = 1;
inline constexpr int kIdProgressBar = 1001;
inline constexpr int kIdMessageText = 1019;  ///< info text / step window title
inline constexpr int kIdStepLine1 = 1022;
inline constexpr int kIdStepLine2 = 1024;
inline constexpr int kIdStepLine3 = 1023;
inline constexpr int kIdStepLine4 = 1025;
inline constexpr int kIdAboutLegal = 1021;
inline constexpr int kIdAboutVersion = 1022;
inline constexpr int kIdAboutTitle = 1030;
inline constexpr int kIdProgressText = 1031;

// Dialog units of the "MS Shell Dlg" 8 pt dialog font at 96 DPI, in pixels.
inline constexpr double kPixelsPerDluX = 1.5;
inline constexpr double kPixelsPerDluY = 1.625;
constexpr int DluToPixelsX(int dlu) {
    return static_cast<int>(dlu * kPixelsPerDluX);
}
constexpr int DluToPixelsY(int dlu) {
    return static_cast<int>(dlu * kPixelsPerDluY);
}

// Template sizes in dialog units.
inline constexpr int kMsgWidthDlu = 338;
inline constexpr int kMsgHeightDlu = 79;
inline constexpr int kStepHeightDlu = 258;
inline constexpr int kAboutWidthDlu = 300;
inline constexpr int kAboutHeightDlu = 110;

// Text fonts of the windows: "Arial", heights in pixels, weights on the 100..900 scale.
inline constexpr const char* kTextFontFamily = "Arial";
inline constexpr int kTextFontHeight = 20;
inline constexpr int kTitleFontHeight = 30;
inline constexpr int kWeightNormal = 400;
inline constexpr int kWeightBold = 700;

/// The frame of the info and progress windows: 2 pixels wide along the client rectangle
/// deflated by 2.
inline const QColor kFrameColour(96, 0, 192);
inline constexpr int kFrameWidth = 2;
inline constexpr int kFrameInset = 2;

/// Left edge of the info window's text control after its vertical centring.
inline constexpr int kMessageTextX = 5;

inline constexpr int kTooltipMaxWidth = 400;  ///< pixels

inline constexpr const char* kVersionPrefix = "Version: ";
inline constexpr const char* kAboutTitleText = "DTS";
inline constexpr const char* kOkText = "OK";

}  // namespace zor::ui
