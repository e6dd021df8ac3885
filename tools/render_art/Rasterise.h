#pragma once
// Turns one manifest item into its final image and file.

#include <QImage>
#include <QString>
#include <vector>

#include "tools/render_art/Manifest.h"

namespace zor::render_art {

/// Renders an SVG file into a transparent ARGB image of the given size. Returns a null image and
/// a message when the file is missing or is not a valid SVG.
QImage RenderSvg(const QString& svgPath, const QSize& size, QString& error);

/// Makes an opaque button bitmap: pixels the artwork leaves (almost) empty become exactly the key
/// colour, every other pixel is blended over the matte and moved off the key colour by one step
/// so that only the background is ever drawn transparent.
QImage KeyOnBackground(const QImage& argb, QColor matte);

/// Blends an ARGB image over an opaque matte; the result has no alpha channel.
QImage Flatten(const QImage& argb, QColor matte);

/// Applies the item's kind to a rendered image: the pixels that go into its file.
QImage FinishItem(const ArtItem& item, const QImage& argb);

/// Folders that receive the outputs.
struct OutputRoots {
    QString resourceDir;  ///< root of the ":/..." files and of the generated .qrc
    QString installDir;   ///< root of the "InstallDir/..." files
};

/// Absolute path of an item's output under the roots.
QString OutputPath(const ArtItem& item, const OutputRoots& roots);

/// Renders, finishes and writes one item, creating folders as needed.
bool WriteItem(const ArtItem& item, const QString& artDir, const OutputRoots& roots,
               QString& error);

/// Text of the Qt resource file listing every ":/..." item, paths relative to the resource root.
QString QrcText(const std::vector<ArtItem>& items);

/// Writes `bytes` to `path`, creating its folder.
bool WriteFileBytes(const QString& path, const QByteArray& bytes, QString& error);

}  // namespace zor::render_art
