#include "tools/render_art/GuidePdf.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <QUrl>

#include "tools/render_art/Rasterise.h"

namespace zor::render_art {
namespace {

constexpr int kSvgOversample = 4;
const QColor kButtonPlate(50, 50, 50);

// "name.svg?button" shows the picture on a rounded plate of the buttons' grey, as in the program.
QImage OnButtonPlate(const QImage& art) {
    QImage plate(art.size(), QImage::Format_ARGB32_Premultiplied);
    plate.fill(Qt::transparent);
    QPainter p(&plate);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kButtonPlate);
    const qreal radius = art.width() * 0.12;
    p.drawRoundedRect(QRectF(plate.rect()), radius, radius);
    p.drawImage(0, 0, art);
    p.end();
    return plate;
}

/// A document whose images come from the artwork folders instead of its own folder.
class GuideDocument : public QTextDocument {
public:
    GuideDocument(QStringList dirs, QString source)
        : m_Dirs(std::move(dirs)), m_Source(std::move(source)) {}
    QStringList m_Missing;

protected:
    QVariant loadResource(int type, const QUrl& name) override {
        if (type != QTextDocument::ImageResource)
            return QTextDocument::loadResource(type, name);
        const QString file = QFileInfo(name.path()).fileName();
        for (const QString& dir : m_Dirs) {
            const QString path = dir + QLatin1Char('/') + file;
            if (!QFileInfo::exists(path))
                continue;
            if (!file.endsWith(QLatin1String(".svg")))
                return QImage(path);
            const QSize natural = SvgSizeInHtml(file);
            QString error;
            QImage img = RenderSvg(path, natural * kSvgOversample, error);
            if (!img.isNull() && name.query() == QLatin1String("button"))
                img = OnButtonPlate(img);
            if (!img.isNull())
                img.setDevicePixelRatio(kSvgOversample);
            return img;
        }
        m_Missing << file;
        return QTextDocument::loadResource(type, name);
    }

private:
    // The width and height attributes of the first <img> naming this file (with or without a
    // query); 32x32 when absent.
    QSize SvgSizeInHtml(const QString& file) const {
        const QRegularExpression re(
            QStringLiteral(
                "<img[^>]*src=\"%1(\\?[a-z]+)?\"[^>]*width=\"([0-9]+)\"[^>]*height=\"([0-9]+)\"")
                .arg(QRegularExpression::escape(file)));
        const auto m = re.match(m_Source);
        return m.hasMatch() ? QSize(m.captured(2).toInt(), m.captured(3).toInt()) : QSize(32, 32);
    }
    QStringList m_Dirs;
    QString m_Source;
};

}  // namespace

bool RenderGuidePdf(const QString& htmlPath, const QStringList& imageDirs, const QString& pdfPath,
                    const QString& title, QString& error) {
    QFile html(htmlPath);
    if (!html.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = QStringLiteral("cannot read %1: %2").arg(htmlPath, html.errorString());
        return false;
    }
    const QString text = QString::fromUtf8(html.readAll());
    if (!QDir().mkpath(QFileInfo(pdfPath).absolutePath())) {
        error = QStringLiteral("cannot create the folder of ") + pdfPath;
        return false;
    }
    QPdfWriter writer(pdfPath);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("DTS"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(18, 16, 18, 16), QPageLayout::Millimeter);

    GuideDocument doc(imageDirs, text);
    doc.setDocumentMargin(0);
    doc.setHtml(text);
    doc.print(&writer);
    if (!doc.m_Missing.isEmpty()) {
        error = QStringLiteral("images not found: ") + doc.m_Missing.join(QStringLiteral(", "));
        return false;
    }
    if (!QFileInfo::exists(pdfPath) || QFileInfo(pdfPath).size() == 0) {
        error = QStringLiteral("cannot write ") + pdfPath;
        return false;
    }
    return true;
}

}  // namespace zor::render_art
