#pragma once
// Renders the quick start guide from its HTML source into a PDF file.

#include <QString>
#include <QStringList>

namespace zor::render_art {

/// Lays out `htmlPath` on A4 pages and writes the PDF. Images named in the HTML are looked up by
/// file name in `imageDirs`, in order; an ".svg" image is rendered at 4 times its size in the
/// HTML so it stays sharp in print. Returns false with a message when the HTML cannot be read,
/// an image is missing, or the PDF cannot be written.
bool RenderGuidePdf(const QString& htmlPath, const QStringList& imageDirs, const QString& pdfPath,
                    const QString& title, QString& error);

}  // namespace zor::render_art
