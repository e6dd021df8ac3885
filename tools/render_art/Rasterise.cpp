#include "tools/render_art/Rasterise.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>

namespace zor::render_art {
namespace {

// Below this coverage an edge pixel would differ from the key colour by less than a grey step
// after blending; it is treated as background so the mask stays clean.
constexpr int kMinCoverage = 12;
constexpr int kJpegQuality = 92;

QRgb BlendOver(QRgb premultiplied, QRgb matte) {
    const int a = qAlpha(premultiplied);
    auto ch = [&](int src, int bg) {
        return std::clamp(src + (bg * (255 - a) + 127) / 255, 0, 255);
    };
    return qRgb(ch(qRed(premultiplied), qRed(matte)), ch(qGreen(premultiplied), qGreen(matte)),
                ch(qBlue(premultiplied), qBlue(matte)));
}

}  // namespace

QImage RenderSvg(const QString& svgPath, const QSize& size, QString& error) {
    if (!QFileInfo::exists(svgPath)) {
        error = QStringLiteral("missing SVG source: ") + svgPath;
        return {};
    }
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid()) {
        error = QStringLiteral("not a valid SVG: ") + svgPath;
        return {};
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    return image;
}

QImage KeyOnBackground(const QImage& argb, QColor matte) {
    const QImage src = argb.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(src.size(), QImage::Format_RGB32);
    const QRgb matteRgb = matte.rgb();
    for (int y = 0; y < src.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            if (qAlpha(in[x]) < kMinCoverage) {
                line[x] = kKeyColour;
                continue;
            }
            QRgb px = BlendOver(in[x], matteRgb);
            if ((px | 0xFF000000u) == kKeyColour)
                px = qRgb(qRed(px) + 1, qGreen(px) + 1, qBlue(px) + 1);
            line[x] = px | 0xFF000000u;
        }
    }
    return out;
}

QImage Flatten(const QImage& argb, QColor matte) {
    const QImage src = argb.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(src.size(), QImage::Format_RGB32);
    const QRgb matteRgb = matte.rgb();
    for (int y = 0; y < src.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x)
            line[x] = BlendOver(in[x], matteRgb) | 0xFF000000u;
    }
    return out;
}

QImage FinishItem(const ArtItem& item, const QImage& argb) {
    switch (item.kind) {
        case ArtKind::Button:
            return KeyOnBackground(argb, item.matte);
        case ArtKind::Picture:
            return Flatten(argb, item.matte).convertToFormat(QImage::Format_RGB888);
        case ArtKind::Cursor: {
            QImage out = argb.convertToFormat(QImage::Format_ARGB32);
            out.setText(QStringLiteral("HotSpot"),
                        QStringLiteral("%1,%2").arg(item.hotSpot.x()).arg(item.hotSpot.y()));
            return out;
        }
        case ArtKind::Icon:
            return argb.convertToFormat(QImage::Format_ARGB32);
    }
    return {};
}

QString OutputPath(const ArtItem& item, const OutputRoots& roots) {
    const QString& root =
        item.Target() == ArtTarget::QtResource ? roots.resourceDir : roots.installDir;
    return QDir::cleanPath(root + QLatin1Char('/') + item.RelativePath());
}

bool WriteFileBytes(const QString& path, const QByteArray& bytes, QString& error) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = QStringLiteral("cannot create the folder of ") + path;
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool WriteItem(const ArtItem& item, const QString& artDir, const OutputRoots& roots,
               QString& error) {
    const QImage argb = RenderSvg(artDir + QLatin1Char('/') + item.source, item.size, error);
    if (argb.isNull())
        return false;
    const QImage finished = FinishItem(item, argb);
    const QString path = OutputPath(item, roots);
    const QString suffix = QFileInfo(path).suffix().toLower();
    const char* format = suffix == QLatin1String("png")   ? "PNG"
                         : suffix == QLatin1String("bmp") ? "BMP"
                                                          : "JPEG";
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!finished.save(&buffer, format, suffix == QLatin1String("jpg") ? kJpegQuality : -1)) {
        error = QStringLiteral("cannot encode %1 as %2").arg(path, QString::fromLatin1(format));
        return false;
    }
    return WriteFileBytes(path, bytes, error);
}

QString QrcText(const std::vector<ArtItem>& items) {
    QString text =
        QStringLiteral("<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n");
    for (const ArtItem& item : items) {
        if (item.Target() != ArtTarget::QtResource)
            continue;
        text += QStringLiteral("  <file>%1</file>\n").arg(item.RelativePath().toHtmlEscaped());
    }
    text += QStringLiteral("</qresource>\n</RCC>\n");
    return text;
}

}  // namespace zor::render_art
