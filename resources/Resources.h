#pragma once
// The pictures compiled into the program: tool-button and status bitmaps, cursors and the
// application icon, addressed by their resource numbers.

#include <QCursor>
#include <QIcon>
#include <QString>

namespace zor {

/// Registers the compiled-in resources with Qt. Call once before the first QPixmap(":/...") of
/// the program (static libraries do not register their resources by themselves); calling it
/// again does nothing harmful.
void InitResources();

/// Resource path of a bitmap by number, e.g. 142 -> ":/bitmaps/142.png". Button bitmaps are
/// opaque; their background is exactly (50,50,50), the colour drawn transparent.
QString BitmapResourcePath(int id);

/// Resource path of a cursor picture by number, e.g. 150 -> ":/cursors/150.png".
QString CursorResourcePath(int id);

/// The cursor of a resource number (150, 151, 167, 168, 181) with its hot spot; the standard
/// arrow when the picture does not exist.
QCursor LoadCursorResource(int id);

/// The application icon (resource 128) in every size it is drawn in.
QIcon ApplicationIcon();

}  // namespace zor
