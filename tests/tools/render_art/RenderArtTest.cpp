// Smoke tests of the build-time artwork renderer and of the artwork it rendered for this build.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include "resources/Resources.h"
#include "tools/render_art/Manifest.h"
#include "tools/render_art/Rasterise.h"

namespace zor::render_art {
namespace {

const QString kArt = QStringLiteral(ZOR_TEST_SOURCE_DIR "/resources/art");

std::vector<ArtItem> ShippedManifest() {
    std::vector<ArtItem> items;
    QString error;
    EXPECT_TRUE(LoadManifest(kArt + QStringLiteral("/manifest.txt"), items, error))
        << error.toStdString();
    return items;
}

TEST(RenderArt, EveryManifestEntryWasBuiltAtItsSize) {
    zor::InitResources();
    const std::vector<ArtItem> items = ShippedManifest();
    ASSERT_GT(items.size(), 30u);
    for (const ArtItem& item : items) {
        SCOPED_TRACE(item.output.toStdString());
        // The file this build produced, where the program loads it from.
        const QString built = item.Target() == ArtTarget::QtResource
                                  ? QStringLiteral(":/") + item.RelativePath()
                                  : QStringLiteral(ZOR_INSTALLDIR_FILES "/") + item.RelativePath();
        const QImage image(built);
        ASSERT_FALSE(image.isNull()) << built.toStdString();
        EXPECT_EQ(image.size(), item.size);
        // Only the background of a button is drawn transparent, so there must be artwork on it.
        if (item.kind == ArtKind::Button) {
            EXPECT_FALSE(image.hasAlphaChannel());
            EXPECT_EQ(image.pixel(0, 0) | 0xFF000000u, kKeyColour);
            int drawn = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    drawn += (image.pixel(x, y) | 0xFF000000u) != kKeyColour;
            EXPECT_GT(drawn, image.width() * image.height() / 10);
        } else if (item.kind == ArtKind::Cursor) {
            const int id = QFileInfo(item.output).baseName().toInt();
            EXPECT_EQ(zor::LoadCursorResource(id).hotSpot(), item.hotSpot) << "PNG text round trip";
        } else if (item.kind == ArtKind::Picture) {
            EXPECT_FALSE(image.hasAlphaChannel());
        }
    }
    EXPECT_EQ(zor::LoadCursorResource(999).shape(), Qt::ArrowCursor);
    QFile pdf(QStringLiteral(ZOR_INSTALLDIR_FILES "/docs/Talvern_Quick_Start_Guide_DTS.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_EQ(pdf.read(5), QByteArray("%PDF-"));
}

TEST(RenderArt, WritesKeyedButtonsAnd24BitBmpPictures) {
    QTemporaryDir dir;
    QFile svg(dir.path() + QStringLiteral("/dot.svg"));
    ASSERT_TRUE(svg.open(QIODevice::WriteOnly));
    svg.write(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\">"
        "<rect x=\"2\" y=\"2\" width=\"4\" height=\"4\" fill=\"#323232\"/></svg>");
    svg.close();
    std::vector<ArtItem> items;
    QString error;
    ASSERT_TRUE(ParseManifest(QStringLiteral("button dot.svg :/bitmaps/9.png 8x8\n"
                                             "picture dot.svg InstallDir/a//b/Dot.bmp 8x8\n"),
                              items, error));
    const OutputRoots roots{dir.path() + QStringLiteral("/res"),
                            dir.path() + QStringLiteral("/in")};
    for (const ArtItem& item : items)
        ASSERT_TRUE(WriteItem(item, dir.path(), roots, error)) << error.toStdString();
    const QImage button(dir.path() + QStringLiteral("/res/bitmaps/9.png"));
    EXPECT_EQ(button.pixel(0, 0) | 0xFF000000u, kKeyColour);
    EXPECT_NE(button.pixel(4, 4) | 0xFF000000u, kKeyColour) << "key grey artwork stays visible";
    QFile bmp(dir.path() + QStringLiteral("/in/a/b/Dot.bmp"));
    ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
    const QByteArray header = bmp.read(30);
    EXPECT_TRUE(header.startsWith("BM") && header.size() == 30 && header[28] == 24);  // 24 bits
    EXPECT_TRUE(QrcText(items).contains(QStringLiteral("<file>bitmaps/9.png</file>")));
    EXPECT_FALSE(QrcText(items).contains(QStringLiteral("Dot.bmp")));
}

TEST(RenderArt, RefusesABadManifestNamingTheLine) {
    for (const char* bad :
         {"button a.svg :/bitmaps/2.png", "sticker a.svg :/bitmaps/2.png 32x32",
          "button ../a.svg :/bitmaps/2.png 32x32", "button a.svg InstallDir/../etc/2.bmp 32x32",
          "cursor a.svg :/cursors/150.png 32x32 hotspot=32,0",
          "button a.svg :/bitmaps/2.png 32x32 matte=grey",
          "button other.svg :/bitmaps/1.png 32x32"}) {
        std::vector<ArtItem> items;
        QString error;
        EXPECT_FALSE(ParseManifest(
            QStringLiteral("button ok.svg :/bitmaps/1.png 32x32\n") + QString::fromUtf8(bad), items,
            error))
            << bad;
        EXPECT_TRUE(error.startsWith(QStringLiteral("line 2:"))) << error.toStdString();
    }
    std::vector<ArtItem> items;
    QString error;
    EXPECT_FALSE(ParseManifest(QStringLiteral("# nothing\n"), items, error));
    EXPECT_FALSE(LoadManifest(QStringLiteral("/nonexistent/manifest.txt"), items, error));
    EXPECT_TRUE(RenderSvg(QStringLiteral("/nonexistent/a.svg"), QSize(8, 8), error).isNull());
}

}  // namespace
}  // namespace zor::render_art
