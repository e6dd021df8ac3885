#include "tools/render_art/Manifest.h"

#include <gtest/gtest.h>

namespace zor::render_art {
namespace {

TEST(ManifestTest, ParsesEveryKindWithItsOptionsAndDefaults) {
    const QString text = QStringLiteral(
        "# comment\n"
        "\n"
        "button  a.svg  :/bitmaps/142.png  32x32\n"
        "button  b.svg  :/bitmaps/148.png  24x24  matte=#000000\n"
        "cursor  c.svg  :/cursors/150.png  32x32  hotspot=13,12\n"
        "icon    d.svg  :/icons/128.png    256x256\n"
        "picture e.svg  InstallDir/config_zor//zor_manager/XRay.bmp  80x64\n"
        "picture f.svg  InstallDir/config_zor//zor_manager/background.JPG  1600x900 matte=#101010\n");
    std::vector<ArtItem> items;
    QString error;
    ASSERT_TRUE(ParseManifest(text, items, error)) << error.toStdString();
    ASSERT_EQ(items.size(), 6u);

    EXPECT_EQ(items[0].kind, ArtKind::Button);
    EXPECT_EQ(items[0].matte.rgb(), kKeyColour);
    EXPECT_EQ(items[0].Target(), ArtTarget::QtResource);
    EXPECT_EQ(items[0].RelativePath(), QStringLiteral("bitmaps/142.png"));
    EXPECT_EQ(items[0].lineNumber, 3);

    EXPECT_EQ(items[1].matte.rgb(), qRgb(0, 0, 0));
    EXPECT_EQ(items[1].size, QSize(24, 24));

    EXPECT_TRUE(items[2].hasHotSpot);
    EXPECT_EQ(items[2].hotSpot, QPoint(13, 12));

    EXPECT_EQ(items[4].Target(), ArtTarget::InstallDir);
    EXPECT_EQ(items[4].RelativePath(), QStringLiteral("config_zor//zor_manager/XRay.bmp"));
    EXPECT_EQ(items[4].matte.rgb(), qRgb(255, 255, 255));
    EXPECT_EQ(items[5].matte.rgb(), qRgb(16, 16, 16));
}

struct BadLine {
    const char* line;
    const char* messagePart;
};

void PrintTo(const BadLine& b, std::ostream* os) { *os << b.line; }

class ManifestRejects : public ::testing::TestWithParam<BadLine> {};

TEST_P(ManifestRejects, BadLineWithAMessageNamingTheLine) {
    const QString text = QStringLiteral("button ok.svg :/bitmaps/1.png 32x32\n") + QString::fromUtf8(GetParam().line);
    std::vector<ArtItem> items;
    QString error;
    EXPECT_FALSE(ParseManifest(text, items, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("line 2:"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QString::fromUtf8(GetParam().messagePart))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ManifestRejects,
    ::testing::Values(
        BadLine{"button a.svg :/bitmaps/2.png", "expected"},
        BadLine{"sticker a.svg :/bitmaps/2.png 32x32", "unknown kind"},
        BadLine{"button a.png :/bitmaps/2.png 32x32", ".svg"},
        BadLine{"button ../a.svg :/bitmaps/2.png 32x32", ".svg"},
        BadLine{"button a.svg :/bitmaps/2.png 0x32", "size"},
        BadLine{"button a.svg :/bitmaps/2.png 32x5000", "size"},
        BadLine{"button a.svg :/bitmaps/2.png 32", "size"},
        BadLine{"button a.svg bitmaps/2.png 32x32", "must start with"},
        BadLine{"button a.svg InstallDir/../etc/2.bmp 32x32", ".."},
        BadLine{"button a.svg :/bitmaps/2.bmp 32x32", ".png"},
        BadLine{"picture a.svg InstallDir/x.png 32x32", ".bmp or .jpg"},
        BadLine{"cursor a.svg :/cursors/150.png 32x32", "hotspot"},
        BadLine{"cursor a.svg :/cursors/150.png 32x32 hotspot=32,0", "outside"},
        BadLine{"cursor a.svg :/cursors/150.png 32x32 hotspot=-1,0", "hotspot must be"},
        BadLine{"button a.svg :/bitmaps/2.png 32x32 matte=grey", "#RRGGBB"},
        BadLine{"button a.svg :/bitmaps/2.png 32x32 shadow=1", "unknown option"},
        BadLine{"button a.svg :/bitmaps/2.png 32x32 matte", "without '='"},
        BadLine{"button other.svg :/bitmaps/1.png 32x32", "twice"}));

TEST(ManifestTest, EmptyManifestIsAnError) {
    std::vector<ArtItem> items;
    QString error;
    EXPECT_FALSE(ParseManifest(QStringLiteral("# nothing\n\n"), items, error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ManifestTest, MissingFileIsAnError) {
    std::vector<ArtItem> items;
    QString error;
    EXPECT_FALSE(LoadManifest(QStringLiteral("/nonexistent/manifest.txt"), items, error));
    EXPECT_TRUE(error.contains(QStringLiteral("/nonexistent/manifest.txt")));
}

}  // namespace
}  // namespace zor::render_art
