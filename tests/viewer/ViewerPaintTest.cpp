#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "viewer/ViewImage.h"
#include "viewer/ViewerPainter.h"

using namespace zor::viewer;

namespace {

DisplayBitmap Solid(int w, int h, std::uint32_t argb) {
    return {w, h, std::vector<std::uint32_t>(static_cast<size_t>(w) * h, argb)};
}

// Pixels of `colour` inside `area`.
int Count(const QImage& image, const QRect& area, QRgb colour) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

ViewerScene CrossScene(int n, const std::vector<DisplayBitmap>& bitmaps) {
    ViewerScene s;
    s.layout = ComputeViewerLayout({0, 0, 1000, 600}, false, false);
    s.crossCount = n;
    s.crossRows = CrossRows(n);
    s.crossesVisible = true;
    for (const DisplayBitmap& b : bitmaps)
        s.crosses.push_back(&b);
    return s;
}

const QRgb kGreen200 = qRgb(0, 200, 0);
const QRgb kPanoGrey = qRgb(0x80, 0x80, 0x80);

}  // namespace

TEST(DisplayBitmap, ConvertsEveryDepthAndLeavesOthersAlone) {
    const struct {
        int depth;
        std::uint8_t bytes[4];
        std::uint32_t shown;
    } cases[] = {
        {16, {0x34, 0x12}, 0xFF121212},  // 0x1234: the high byte
        {12, {0xBC, 0x0A}, 0xFFABABAB},  // 0x0ABC >> 4
        {8, {0x34, 0x12}, 0xFF343434},   // the low byte of the word
        {24, {0x11, 0x22, 0x33}, 0xFF332211}, {32, {0x11, 0x22, 0x33, 0x44}, 0x44332211},
    };
    for (const auto& c : cases) {
        ViewImage image = ViewImage::Owned(3, 2, c.depth);
        const int bpp = BytesPerPixel(c.depth);
        for (int i = 0; i < 6; ++i)
            std::memcpy(image.pixels + i * bpp, c.bytes, static_cast<size_t>(bpp));
        DisplayBitmap bitmap;
        ASSERT_TRUE(MakeDisplayBitmap(image, bitmap)) << c.depth;
        EXPECT_EQ(bitmap.pixels, std::vector<std::uint32_t>(6, c.shown)) << c.depth;
    }

    // A 4-bit record, or an unknown depth, does not touch the bitmap; no data clears it.
    const DisplayBitmap before = Solid(5, 5, 0xFF010203);
    std::uint16_t words[4] = {};
    for (const int depth : {4, 7}) {
        DisplayBitmap bitmap = before;
        ViewImage image = ViewImage::External(words, 2, 2, depth);
        EXPECT_FALSE(MakeDisplayBitmap(image, bitmap));
        EXPECT_EQ(bitmap.pixels, before.pixels);
    }
    DisplayBitmap bitmap = before;
    EXPECT_FALSE(MakeDisplayBitmap(ViewImage::External(nullptr, 2, 2, 16), bitmap));
    EXPECT_TRUE(bitmap.Empty());
}

TEST(DisplayBitmap, KeepsItsStorageOnlyWhileTheSizeMatches) {
    ViewImage slice = ViewImage::Slice16(4, 3);
    DisplayBitmap bitmap;
    ASSERT_TRUE(MakeDisplayBitmap(slice, bitmap));
    const std::uint32_t* storage = bitmap.pixels.data();

    ViewImage sameSize = ViewImage::Slice16(4, 3);
    sameSize.Row16(2)[3] = 0xFF00;
    ASSERT_TRUE(MakeDisplayBitmap(sameSize, bitmap));
    EXPECT_EQ(bitmap.pixels.data(), storage);
    EXPECT_EQ(bitmap.pixels[11], 0xFFFFFFFFu);

    ViewImage other = ViewImage::Slice16(3, 4);  // same pixel count, other shape
    other.Row16(3)[0] = 0x4000;
    ASSERT_TRUE(MakeDisplayBitmap(other, bitmap));
    EXPECT_NE(bitmap.pixels.data(), storage);
    EXPECT_EQ(bitmap.width, 3);
    EXPECT_EQ(bitmap.height, 4);
    EXPECT_EQ(bitmap.pixels[9], 0xFF404040u);
}

TEST(ViewerPainter, CrossesFillTheirRowsWithSeparatorsUpToFortyCrosses) {
    // V 1000 x 600: the crosses' pane runs from (0, 300) to (900, 570). Wide 300 x 100 crosses
    // are centred vertically in their cells and leave the row separators visible.
    ViewerPainter painter;
    QImage image;
    const struct {
        int n, cols, rowHeight, separators;
    } cases[] = {{12, 6, 135, 1}, {40, 10, 67, 3}, {44, 11, 67, 0}};
    for (const auto& c : cases) {
        std::vector<DisplayBitmap> crosses;
        for (int i = 0; i < c.n; ++i)
            crosses.push_back(Solid(300, 100, 0xFF000000u | static_cast<std::uint32_t>(i + 1)));
        painter.Paint(CrossScene(c.n, crosses), image);
        ASSERT_EQ(image.size(), QSize(1000, 600));
        const int cellWidth = 900 / c.cols;
        for (int i = 0; i < c.n; ++i) {
            const int x = 900 * (i % c.cols) / c.cols + cellWidth / 2;
            const int y = 300 + 270 * (i / c.cols) / CrossRows(c.n) + c.rowHeight / 2;
            EXPECT_EQ(image.pixel(x, y), qRgb(0, 0, i + 1)) << c.n << " cross " << i;
        }
        int separators = 0;
        for (int y = 301; y < 570; ++y)
            separators += Count(image, QRect(0, y, 900, 1), qRgb(0, 0, 0)) == 900;
        EXPECT_EQ(separators, c.separators) << c.n;
    }
}

TEST(ViewerPainter, FitsACrossInItsCellAndFramesTheSelectedOne) {
    EXPECT_EQ(FitInCell({0, 0, 100, 100}, 600, 300), (Rect{0, 25, 100, 75}));

    // V 112 x 260 gives a 100 x 100 pane at (0, 130); a 300 x 600 cross is drawn 50 x 100.
    ViewerPainter painter;
    QImage image;
    const std::vector<DisplayBitmap> tall{Solid(300, 600, 0xFFFF0000)};
    ViewerScene s = CrossScene(1, tall);
    s.layout = ComputeViewerLayout({0, 0, 112, 260}, false, false);
    painter.Paint(s, image);
    const QRgb red = qRgb(255, 0, 0);
    EXPECT_EQ(Count(image, QRect(0, 130, 112, 100), red), 50 * 100);
    EXPECT_EQ(Count(image, QRect(25, 130, 50, 100), red), 50 * 100);

    // n = 12 about the centre 0.5: cross i has position 18 + i. Position 20 frames cross 2, in
    // cell 2 (top row) or, with a range value above 0, in cell 9 (bottom row).
    const std::vector<DisplayBitmap> none;
    for (const double range : {0.0, 1.0}) {
        ViewerScene f = CrossScene(12, none);
        f.selectedPositions.assign(51, false);
        f.selectedPositions[20] = true;
        f.rangeValue = range;
        painter.Paint(f, image);
        const bool reversed = range > 0.0;
        EXPECT_EQ(image.pixel(375, 303), reversed ? qRgb(255, 255, 255) : kGreen200);
        EXPECT_EQ(image.pixel(525, 438), reversed ? kGreen200 : qRgb(255, 255, 255));
        EXPECT_EQ(image.pixel(448, 360), reversed ? qRgb(255, 255, 255) : kGreen200);
    }
}

TEST(ViewerPainter, PanoramicOverlays) {
    // P is (0, 0, 540, 300) and the 1080 x 600 panoramic fills it; 10 % of the columns are
    // set aside on each side and 10 % of the rows above and below.
    DisplayBitmap pano = Solid(1080, 600, 0xFF808080);
    ViewerScene s;
    s.layout = ComputeViewerLayout({0, 0, 1000, 600}, false, false);
    s.panoramic = &pano;
    s.panoramicGeometry =
        ComputePanoramicGeometry(s.layout.panoramic, 1080, 600, {10, 10, 0.1f, 0.1f, 0.5f, true});
    ASSERT_EQ(s.panoramicGeometry.usable, (Rect{54, 30, 486, 270}));
    s.volumeOfInterestStep = true;
    s.frame = {true, {Point{200, 100}, Point{300, 100}, Point{300, 200}, Point{200, 200}}, 0xE7};
    ViewerPainter painter;
    QImage image;
    painter.Paint(s, image);

    const QRgb hatch = qRgb(0x32, 0x32, 0x32);
    const QRgb guide = qRgb(200, 0, 0);
    for (const QRect& outside : {QRect(2, 2, 50, 296), QRect(488, 2, 50, 296),
                                 QRect(60, 2, 400, 26), QRect(60, 272, 400, 26)}) {
        EXPECT_GT(Count(image, outside, hatch), outside.width() * outside.height() / 8);
        EXPECT_GT(Count(image, outside, kPanoGrey), outside.width() * outside.height() / 2);
    }
    EXPECT_EQ(Count(image, QRect(56, 32, 428, 236), hatch), 0);
    for (const QRect& line : {QRect(54, 0, 1, 300), QRect(485, 0, 1, 300), QRect(60, 30, 400, 1),
                              QRect(60, 269, 400, 1), QRect(60, 150, 130, 1)}) {
        const int dots = Count(image, line, guide);
        EXPECT_GT(dots, line.width() * line.height() / 4);
        EXPECT_LT(dots, line.width() * line.height());
    }

    // The frame: green over white; handles of bits 0-2 and 5-7 only (not the side middles).
    EXPECT_EQ(image.pixel(225, 100), kGreen200);
    EXPECT_EQ(image.pixel(225, 99), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(197, 97), kGreen200);   // top-left corner
    EXPECT_EQ(image.pixel(250, 97), kGreen200);   // top middle
    EXPECT_EQ(image.pixel(250, 202), kGreen200);  // bottom middle
    EXPECT_EQ(image.pixel(302, 202), kGreen200);  // bottom-right corner
    EXPECT_EQ(image.pixel(197, 150), kPanoGrey);  // left middle: no handle
    EXPECT_EQ(image.pixel(302, 150), kPanoGrey);  // right middle: no handle

    // A volume shown: the span 100 .. 200 keeps only the green of the panoramic and of the
    // allowed-range line at x = 120 inside it.
    s.volumeOfInterestStep = false;
    s.volumeShown = true;
    s.spanLeftX = 200;
    s.spanRightX = 100;
    s.allowedFirstX = 120;
    s.allowedLastX = 450;
    painter.Paint(s, image);
    EXPECT_EQ(Count(image, QRect(100, 0, 100, 300), qRgb(0, 0x80, 0)) +
                  Count(image, QRect(100, 0, 100, 300), kGreen200),
              100 * 300);
    EXPECT_GT(Count(image, QRect(120, 0, 1, 300), kGreen200), 50);
    EXPECT_GT(Count(image, QRect(450, 0, 1, 300), kGreen200), 50);
    EXPECT_EQ(image.pixel(99, 150), kPanoGrey);
    EXPECT_EQ(image.pixel(200, 150), kPanoGrey);

    // A new conversion into the same storage is shown, not the stretch kept from the last paint.
    ViewImage raw = ViewImage::Slice16(1080, 600);
    for (const std::uint16_t value : {0xC000, 0x4000}) {
        std::fill(raw.Row16(0), raw.Row16(0) + 1080 * 600, value);
        ASSERT_TRUE(MakeDisplayBitmap(raw, pano));
        painter.Paint(s, image);
        EXPECT_EQ(image.pixel(270, 150), qRgb(value >> 8, value >> 8, value >> 8));
    }
}
