#pragma once
// A single overview picture of every artwork item at its real size and magnified.

#include <QImage>
#include <QString>
#include <vector>

#include "tools/render_art/Manifest.h"

namespace zor::render_art {

/// Builds the contact sheet: each item labelled with its output name, shown at 1x and 4x (large
/// pictures as a reduced preview); cursors over a mid-grey field with their hot spot marked.
/// Returns a null image and a message when an item cannot be rendered.
QImage BuildContactSheet(const std::vector<ArtItem>& items, const QString& artDir, QString& error);

}  // namespace zor::render_art
