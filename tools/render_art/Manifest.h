#pragma once
// The artwork manifest: one line per produced file, naming its SVG source, its destination and
// how it is rasterised.

#include <QColor>
#include <QPoint>
#include <QSize>
#include <QString>
#include <vector>

namespace zor::render_art {

/// How an SVG becomes its final file.
enum class ArtKind {
    Button,   ///< opaque PNG on the transparent key colour (50,50,50); anti-aliasing against the
              ///< matte
    Cursor,   ///< PNG with alpha; the hot spot travels in the PNG text key "HotSpot" as "x,y"
    Icon,     ///< PNG with alpha
    Picture,  ///< opaque picture flattened on the matte: 24-bit BMP or JPEG, chosen by the
              ///< extension
};

/// Where an output goes: into the Qt resource file or into the files of the installation folder.
enum class ArtTarget { QtResource, InstallDir };

/// One line of the manifest.
struct ArtItem {
    ArtKind kind = ArtKind::Button;
    QString source;  ///< SVG file name relative to the art folder
    QString output;  ///< as written: ":/bitmaps/142.png" or
                     ///< "InstallDir/config_zor//zor_manager/XRay.bmp"
    QSize size;      ///< pixels
    QColor matte;    ///< background used for flattening and edge blending
    bool hasHotSpot = false;
    QPoint hotSpot;  ///< cursors only, pixels from the top-left corner
    int lineNumber = 0;

    ArtTarget Target() const;
    /// Output path relative to its root (resource root or installation root), "//" kept as written.
    QString RelativePath() const;
};

/// The transparent key colour of every button bitmap: the buttons' background grey.
inline constexpr QRgb kKeyColour = 0xFF323232u;

/// Parses manifest text. Returns false with a message naming the line on the first bad line;
/// blank lines and lines starting with '#' are ignored.
bool ParseManifest(const QString& text, std::vector<ArtItem>& items, QString& error);

/// Reads and parses a manifest file.
bool LoadManifest(const QString& path, std::vector<ArtItem>& items, QString& error);

}  // namespace zor::render_art
