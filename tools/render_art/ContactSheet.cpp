#include "tools/render_art/ContactSheet.h"

#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <algorithm>

#include "tools/render_art/Rasterise.h"

namespace zor::render_art {
namespace {

constexpr int kSheetWidth = 1500;
constexpr int kPad = 14;
constexpr int kLabelHeight = 20;
constexpr int kMagnify = 4;
constexpr int kMaxMagnifiedSide = 96;  // larger pictures get a reduced preview instead
constexpr int kPreviewSide = 300;
const QColor kSheetColour(28, 30, 34);
const QColor kLabelColour(200, 205, 212);
const QColor kCursorField(128, 128, 128);

struct Cell {
    QString label;
    QImage image;
    bool cursor = false;
    QPoint hotSpot;
    QSize Size() const;
};

QSize ShownSize(const QImage& img, bool magnified) {
    if (img.width() <= kMaxMagnifiedSide && img.height() <= kMaxMagnifiedSide)
        return magnified ? img.size() * kMagnify : img.size();
    return img.size().scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio);
}

bool IsSmall(const QImage& img) {
    return img.width() <= kMaxMagnifiedSide && img.height() <= kMaxMagnifiedSide;
}

QSize Cell::Size() const {
    const QSize big = ShownSize(image, true);
    int w = big.width();
    if (IsSmall(image))
        w += image.width() + kPad;
    return {std::max(w, 110), big.height() + kLabelHeight + 6};
}

// Buttons are shown as the program draws them: key-coloured pixels let the button colour through.
QImage AsDrawnOnButton(QImage img, QColor buttonColour) {
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] | 0xFF000000u) == kKeyColour)
                line[x] = buttonColour.rgb();
    }
    return img;
}

void DrawCursorField(QPainter& p, const QRect& r) {
    p.fillRect(r, kCursorField);
}

void DrawCell(QPainter& p, const Cell& cell, QPoint at) {
    p.setPen(kLabelColour);
    p.drawText(QRect(at, QSize(cell.Size().width() + kPad, kLabelHeight)),
               Qt::AlignLeft | Qt::AlignVCenter, cell.label);
    const int top = at.y() + kLabelHeight + 4;
    const QSize big = ShownSize(cell.image, true);
    int x = at.x();
    if (IsSmall(cell.image)) {
        const QRect one(QPoint(x, top), cell.image.size());
        if (cell.cursor)
            DrawCursorField(p, one);
        p.drawImage(one.topLeft(), cell.image);
        x += cell.image.width() + kPad;
    }
    const QRect shown(QPoint(x, top), big);
    if (cell.cursor)
        DrawCursorField(p, shown);
    p.setRenderHint(QPainter::SmoothPixmapTransform, !IsSmall(cell.image));
    p.drawImage(shown, cell.image);
    if (cell.cursor) {
        const QPoint hs =
            shown.topLeft() + cell.hotSpot * kMagnify + QPoint(kMagnify / 2, kMagnify / 2);
        p.setPen(QPen(QColor(255, 40, 40), 1));
        p.drawLine(hs - QPoint(6, 0), hs + QPoint(6, 0));
        p.drawLine(hs - QPoint(0, 6), hs + QPoint(0, 6));
    }
}

}  // namespace

QImage BuildContactSheet(const std::vector<ArtItem>& items, const QString& artDir, QString& error) {
    std::vector<Cell> cells;
    for (const ArtItem& item : items) {
        const QImage argb = RenderSvg(artDir + QLatin1Char('/') + item.source, item.size, error);
        if (argb.isNull())
            return {};
        Cell cell;
        cell.label = QStringLiteral("%1  %2x%3")
                         .arg(QFileInfo(item.RelativePath()).fileName())
                         .arg(item.size.width())
                         .arg(item.size.height());
        if (item.kind == ArtKind::Cursor)
            cell.label += QStringLiteral("  hot %1,%2").arg(item.hotSpot.x()).arg(item.hotSpot.y());
        cell.image = FinishItem(item, argb);
        if (item.kind == ArtKind::Button)
            cell.image = AsDrawnOnButton(cell.image, item.matte);
        cell.cursor = item.kind == ArtKind::Cursor;
        cell.hotSpot = item.hotSpot;
        cells.push_back(cell);
    }
    // Flow layout in two passes: first the positions, then the drawing on a sheet of known height.
    std::vector<QPoint> places;
    int x = kPad, y = kPad, rowHeight = 0;
    for (const Cell& cell : cells) {
        const QSize s = cell.Size();
        if (x + s.width() + kPad > kSheetWidth && x > kPad) {
            x = kPad;
            y += rowHeight + kPad;
            rowHeight = 0;
        }
        places.emplace_back(x, y);
        x += s.width() + 2 * kPad;
        rowHeight = std::max(rowHeight, s.height());
    }
    QImage sheet(kSheetWidth, y + rowHeight + kPad, QImage::Format_RGB32);
    sheet.fill(kSheetColour);
    QPainter p(&sheet);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    p.setFont(font);
    for (size_t i = 0; i < cells.size(); ++i)
        DrawCell(p, cells[i], places[i]);
    p.end();
    return sheet;
}

}  // namespace zor::render_art
