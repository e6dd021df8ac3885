#include "tools/render_art/Rasterise.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

namespace zor::render_art {
namespace {

QImage OnePixel(QRgb premultiplied) {
    QImage img(1, 1, QImage::Format_ARGB32_Premultiplied);
    img.setPixel(0, 0, premultiplied);
    return img;
}

struct KeyCase {
    const char* name;
    QRgb source;  // premultiplied ARGB
    QRgb matte;
    QRgb expected;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class KeyOnBackgroundCase : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyOnBackgroundCase, GivesTheExpectedPixel) {
    const KeyCase& c = GetParam();
    const QImage out = KeyOnBackground(OnePixel(c.source), QColor::fromRgb(c.matte));
    EXPECT_FALSE(out.hasAlphaChannel());
    EXPECT_EQ(out.pixel(0, 0) | 0xFF000000u, c.expected | 0xFF000000u) << c.name << " got " << std::hex << out.pixel(0, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Pixels, KeyOnBackgroundCase,
    ::testing::Values(
        KeyCase{"transparent becomes the key", qRgba(0, 0, 0, 0), kKeyColour, kKeyColour},
        KeyCase{"faint edge becomes the key", qRgba(2, 2, 2, 8), kKeyColour, kKeyColour},
        KeyCase{"faint edge on black matte still keyed", qRgba(2, 2, 2, 8), qRgb(0, 0, 0), kKeyColour},
        KeyCase{"opaque white stays", qRgba(255, 255, 255, 255), kKeyColour, qRgb(255, 255, 255)},
        KeyCase{"opaque key grey is moved off the key", qRgba(50, 50, 50, 255), kKeyColour, qRgb(51, 51, 51)},
        KeyCase{"half white over the key grey", qRgba(128, 128, 128, 128), kKeyColour, qRgb(153, 153, 153)},
        KeyCase{"half white over black", qRgba(128, 128, 128, 128), qRgb(0, 0, 0), qRgb(128, 128, 128)}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(RasteriseTest, FlattenBlendsOverTheMatteAndDropsAlpha) {
    const QImage out = Flatten(OnePixel(qRgba(0, 0, 100, 100)), QColor(255, 255, 255));
    EXPECT_FALSE(out.hasAlphaChannel());
    // 155/255 of white shows through: 255 * 155 / 255 = 155, blue 100 + 155.
    EXPECT_EQ(out.pixel(0, 0) | 0xFF000000u, qRgb(155, 155, 255));
}

TEST(RasteriseTest, CursorHotSpotSurvivesThePngRoundTrip) {
    ArtItem item;
    item.kind = ArtKind::Cursor;
    item.size = QSize(32, 32);
    item.hasHotSpot = true;
    item.hotSpot = QPoint(13, 7);
    QImage argb(32, 32, QImage::Format_ARGB32_Premultiplied);
    argb.fill(Qt::transparent);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(FinishItem(item, argb).save(&buffer, "PNG"));
    QImage back;
    ASSERT_TRUE(back.loadFromData(bytes, "PNG"));
    EXPECT_EQ(back.text(QStringLiteral("HotSpot")), QStringLiteral("13,7"));
    EXPECT_TRUE(back.hasAlphaChannel());
}

class RasteriseFiles : public ::testing::Test {
protected:
    void WriteSvg(const QString& name, const QByteArray& text) {
        QFile f(m_Dir.path() + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QTemporaryDir m_Dir;
};

TEST_F(RasteriseFiles, MissingAndInvalidSvgGiveAMessage) {
    QString error;
    EXPECT_TRUE(RenderSvg(m_Dir.path() + QStringLiteral("/none.svg"), QSize(8, 8), error).isNull());
    EXPECT_TRUE(error.contains(QStringLiteral("missing")));
    WriteSvg(QStringLiteral("bad.svg"), "<svg this is not xml");
    error.clear();
    EXPECT_TRUE(RenderSvg(m_Dir.path() + QStringLiteral("/bad.svg"), QSize(8, 8), error).isNull());
    EXPECT_TRUE(error.contains(QStringLiteral("not a valid SVG")));
}

TEST_F(RasteriseFiles, WritesButtonsKeyedAndPicturesAs24BitBmp) {
    WriteSvg(QStringLiteral("dot.svg"),
             "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\" viewBox=\"0 0 8 8\">"
             "<rect x=\"2\" y=\"2\" width=\"4\" height=\"4\" fill=\"#323232\"/></svg>");
    std::vector<ArtItem> items;
    QString error;
    ASSERT_TRUE(ParseManifest(QStringLiteral("button dot.svg :/bitmaps/9.png 8x8\n"
                                             "picture dot.svg InstallDir/a//b/Dot.bmp 8x8\n"),
                              items, error))
        << error.toStdString();
    const OutputRoots roots{m_Dir.path() + QStringLiteral("/res"), m_Dir.path() + QStringLiteral("/inst")};
    for (const ArtItem& item : items) ASSERT_TRUE(WriteItem(item, m_Dir.path(), roots, error)) << error.toStdString();

    const QImage button(m_Dir.path() + QStringLiteral("/res/bitmaps/9.png"));
    ASSERT_FALSE(button.isNull());
    EXPECT_EQ(button.pixel(0, 0) | 0xFF000000u, kKeyColour);
    // Artwork drawn in the key grey must not turn transparent on the button.
    EXPECT_NE(button.pixel(4, 4) | 0xFF000000u, kKeyColour);

    QFile bmp(m_Dir.path() + QStringLiteral("/inst/a/b/Dot.bmp"));
    ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
    const QByteArray header = bmp.read(30);
    ASSERT_EQ(header.size(), 30);
    EXPECT_EQ(header.left(2), QByteArray("BM"));
    EXPECT_EQ(static_cast<unsigned char>(header[28]), 24u);  // bits per pixel
    EXPECT_EQ(QImage(bmp.fileName()).pixel(0, 0) | 0xFF000000u, qRgb(255, 255, 255));
}

TEST_F(RasteriseFiles, QrcListsOnlyTheCompiledInFiles) {
    std::vector<ArtItem> items;
    QString error;
    ASSERT_TRUE(ParseManifest(QStringLiteral("button a.svg :/bitmaps/142.png 32x32\n"
                                             "picture a.svg InstallDir/config_zor//zor_manager/XRay.bmp 80x64\n"
                                             "cursor a.svg :/cursors/150.png 32x32 hotspot=1,1\n"),
                              items, error));
    const QString qrc = QrcText(items);
    EXPECT_TRUE(qrc.contains(QStringLiteral("<file>bitmaps/142.png</file>")));
    EXPECT_TRUE(qrc.contains(QStringLiteral("<file>cursors/150.png</file>")));
    EXPECT_FALSE(qrc.contains(QStringLiteral("XRay")));
}

}  // namespace
}  // namespace zor::render_art
