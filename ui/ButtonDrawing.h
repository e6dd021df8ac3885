#pragma once
// The drawing decisions of the owner-drawn button, free of widgets so they can be checked alone.
#include <QImage>
#include <QString>

class QColor;
class QFontMetrics;

namespace zor::ui {

/// Colour slots of a button, in the order of its six colours.
enum class ButtonColour : int {
    BackgroundInside = 0,  ///< pointer over the button, or pressed
    ForegroundInside = 1,
    BackgroundOutside = 2,
    ForegroundOutside = 3,
    BackgroundFocused = 4,
    ForegroundFocused = 5,
};
inline constexpr int kButtonColourCount = 6;

/// Result codes of the button's setters.
enum class ButtonResult : int {
    Ok = 0,
    InvalidResource = 1,  ///< the picture could not be loaded; the button has none
    IndexOutOfRange = 3,  ///< colour index 6 or more; nothing changed
};

/// Border drawn after the background.
enum class ButtonBorder {
    None,
    PressedFrame,  ///< not flat, pressed: 1-pixel frame in the shadow colour
    RaisedEdge,   ///< not flat, released: highlight/light top-left, dark-shadow/shadow bottom-right
    FlatPressed,  ///< flat, pressed: 1-pixel frame in the shadow colour
    FlatHover,    ///< flat, pointer over: 1-pixel frame in the dark-shadow colour
};

/// What the button looks like at one moment.
struct ButtonVisualState {
    bool flat = true;
    bool mouseOver = false;
    bool pressed = false;
    bool focused = false;
    bool isDefault = false;
};

/// The drawing steps in their order: black frame (then the rectangle shrinks by 1), background
/// slot, border, picture (inside or outside picture, moved by the offset), focus rectangle.
struct ButtonDrawPlan {
    bool blackFrame = false;
    ButtonColour background = ButtonColour::BackgroundOutside;
    ButtonBorder border = ButtonBorder::None;
    bool insidePicture = true;  ///< false: the outside picture, when the button has one
    int pictureOffset = 0;      ///< pixels right and down
    bool focusRect = false;     ///< 3 pixels inside the button edge
};

ButtonDrawPlan PlanButtonDrawing(const ButtonVisualState& state);

/// The picture with every pixel of exactly `transparent` (red, green and blue; alpha ignored)
/// made fully transparent, as premultiplied ARGB. A null image stays null. `maskedPixels`
/// receives the number of pixels taken out.
QImage ApplyTransparentColour(const QImage& picture, const QColor& transparent,
                              int* maskedPixels = nullptr);

/// Breaks a tooltip text at blanks so that no line is wider than `maxWidth` pixels in `metrics`
/// (a single word wider than that stays whole). Existing line breaks are kept.
QString WrapTooltipText(const QString& text, const QFontMetrics& metrics, int maxWidth);

}  // namespace zor::ui
