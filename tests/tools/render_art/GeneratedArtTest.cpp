// Checks the artwork of this build: the compiled-in resources and the files for the
// installation folder, as the program will load them.
#include "resources/Resources.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImage>
#include <QImageReader>

namespace {

struct Expected {
    int id;
    int side;
};

// Every bitmap the main window, the status line and the viewer load by number.
constexpr Expected kBitmaps[] = {
    {142, 32}, {170, 32}, {141, 32}, {153, 32}, {147, 32}, {138, 32}, {139, 32}, {144, 32}, {166, 32},
    {172, 32}, {143, 32}, {137, 32}, {145, 32}, {146, 32}, {140, 32}, {179, 32}, {148, 24}, {149, 24},
    {162, 24}, {163, 24}, {164, 24},
};
constexpr int kCursors[] = {150, 151, 167, 168, 181};

constexpr QRgb kButtonGrey = 0xFF323232u;

QString InstallFiles() { return QStringLiteral(ZOR_INSTALLDIR_FILES); }

class GeneratedArt : public ::testing::Test {
protected:
    static void SetUpTestSuite() { zor::InitResources(); }
};

TEST_F(GeneratedArt, EveryBitmapExistsWithItsSizeAndTransparentCorners) {
    for (const Expected& e : kBitmaps) {
        SCOPED_TRACE(e.id);
        const QImage img(zor::BitmapResourcePath(e.id));
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(img.size(), QSize(e.side, e.side));
        EXPECT_FALSE(img.hasAlphaChannel());
        const int m = e.side - 1;
        for (QPoint corner : {QPoint(0, 0), QPoint(m, 0), QPoint(0, m), QPoint(m, m)})
            EXPECT_EQ(img.pixel(corner) | 0xFF000000u, kButtonGrey);
        // A picture that is all background would vanish on its button.
        int drawn = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) drawn += (img.pixel(x, y) | 0xFF000000u) != kButtonGrey;
        EXPECT_GT(drawn, e.side * e.side / 10);
    }
}

TEST_F(GeneratedArt, CursorsCarryAlphaAndAHotSpotInside) {
    for (int id : kCursors) {
        SCOPED_TRACE(id);
        const QImage img(zor::CursorResourcePath(id));
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(img.size(), QSize(32, 32));
        EXPECT_TRUE(img.hasAlphaChannel());
        EXPECT_EQ(qAlpha(img.pixel(0, 31)) + qAlpha(img.pixel(31, 31)) < 255 * 2, true);
        const QCursor cursor = zor::LoadCursorResource(id);
        EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
        EXPECT_TRUE(QRect(0, 0, 32, 32).contains(cursor.hotSpot()));
        EXPECT_EQ(img.text(QStringLiteral("HotSpot")),
                  QStringLiteral("%1,%2").arg(cursor.hotSpot().x()).arg(cursor.hotSpot().y()));
    }
}

TEST_F(GeneratedArt, UnknownCursorFallsBackToTheArrow) {
    EXPECT_EQ(zor::LoadCursorResource(999).shape(), Qt::ArrowCursor);
}

TEST_F(GeneratedArt, ApplicationIconHasTheWindowSizes) {
    const QIcon icon = zor::ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (QSize s : {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(256, 256)}) EXPECT_TRUE(sizes.contains(s));
}

struct InstallPicture {
    const char* name;
    const char* format;
    int maxWidth;
    int maxHeight;
};

// The step window draws its pictures at natural size beside text starting at a quarter of its
// width, and the progress window beside its bar: both need small pictures.
constexpr InstallPicture kInstallPictures[] = {
    {"background.JPG", "jpeg", 4096, 4096}, {"panel.JPG", "jpeg", 4096, 4096},
    {"info.bmp", "bmp", 80, 80},            {"Reset.bmp", "bmp", 90, 75},
    {"PatientPosition.bmp", "bmp", 90, 75}, {"XRay.bmp", "bmp", 90, 75},
    {"ExamType.bmp", "bmp", 90, 75},        {"TomoVolume.bmp", "bmp", 90, 75},
    {"TomoStart.bmp", "bmp", 90, 75},       {"Error.bmp", "bmp", 90, 75},
};

TEST_F(GeneratedArt, InstallFolderPicturesHaveTheirExactNamesAndFormats) {
    for (const InstallPicture& p : kInstallPictures) {
        SCOPED_TRACE(p.name);
        const QString path = InstallFiles() + QStringLiteral("/config_zor/zor_manager/") + QString::fromLatin1(p.name);
        QImageReader reader(path);
        ASSERT_TRUE(reader.canRead()) << path.toStdString();
        EXPECT_EQ(reader.format(), QByteArray(p.format));
        const QImage img = reader.read();
        ASSERT_FALSE(img.isNull());
        EXPECT_FALSE(img.hasAlphaChannel());
        EXPECT_LE(img.width(), p.maxWidth);
        EXPECT_LE(img.height(), p.maxHeight);
    }
}

TEST_F(GeneratedArt, QuickStartGuideIsAPdf) {
    QFile pdf(InstallFiles() + QStringLiteral("/docs/Talvern_Quick_Start_Guide_DTS.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_EQ(pdf.read(5), QByteArray("%PDF-"));
    EXPECT_GT(pdf.size(), 10000);
}

}  // namespace
