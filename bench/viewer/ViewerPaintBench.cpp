// A full repaint of the viewer at 1920 x 1080 (48 crosses converted to display bitmaps and
// painted with the panoramic and its overlays) against the anchor: a plain QPainter::drawImage
// of the same pictures into the same rectangles.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <vector>

#include "viewer/ViewImage.h"
#include "viewer/ViewerPainter.h"

namespace {

using namespace zor::viewer;

// The phantom's panoramic (12-bit values in 16-bit words) and the demo volume's crosses.
constexpr int kPanoramicWidth = 2609;
constexpr int kPanoramicHeight = 1528;
constexpr int kCrossWidth = 240;
constexpr int kCrossHeight = 270;
constexpr int kCrosses = 48;

QImage Background(int shade) {
    QImage image(1600, 900, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = qRgb(shade, (x + y) & 0xFF, shade);
    }
    return image;
}

struct Fixture {
    ViewImage panoramicImage = ViewImage::Slice16(kPanoramicWidth, kPanoramicHeight);
    DisplayBitmap panoramic;
    std::vector<ViewImage> slices;
    std::vector<DisplayBitmap> bitmaps = std::vector<DisplayBitmap>(kCrosses);
    ViewerScene scene;

    Fixture() {
        for (int y = 0; y < kPanoramicHeight; ++y) {
            std::uint16_t* row = panoramicImage.Row16(y);
            for (int x = 0; x < kPanoramicWidth; ++x)
                row[x] = static_cast<std::uint16_t>((x * 13 + y * 7) & 0xFFF);
        }
        MakeDisplayBitmap(panoramicImage, panoramic);
        for (int i = 0; i < kCrosses; ++i) {
            ViewImage slice = ViewImage::Slice16(kCrossWidth, kCrossHeight);
            for (int y = 0; y < kCrossHeight; ++y) {
                std::uint16_t* row = slice.Row16(y);
                for (int x = 0; x < kCrossWidth; ++x)
                    row[x] = static_cast<std::uint16_t>((x * 97 + y * 31 + i * 1000) & 0xFFFF);
            }
            slices.push_back(std::move(slice));
        }

        ViewerScene& s = scene;
        s.layout = ComputeViewerLayout({0, 0, 1920, 1080}, false, false);
        s.crossCount = kCrosses;
        s.crossRows = CrossRows(kCrosses);
        s.leftBackground = Background(40);
        s.rightBackground = Background(90);
        s.thirdRect = {1728, 1000, 1920, 1080};
        s.crossesVisible = true;
        for (const DisplayBitmap& b : bitmaps)
            s.crosses.push_back(&b);
        s.selectedPositions.assign(51, false);
        s.selectedPositions[20] = s.selectedPositions[30] = true;
        s.panoramic = &panoramic;
        s.panoramicGeometry = ComputePanoramicGeometry(s.layout.panoramic, kPanoramicWidth,
                                                       kPanoramicHeight, {10, 10, 0, 0, 0, false});
        s.volumeShown = true;
        const Rect& im = s.panoramicGeometry.image;
        s.allowedFirstX = im.left + im.Width() / 8;
        s.allowedLastX = im.right - im.Width() / 8;
        s.spanLeftX = im.left + im.Width() * 2 / 5;
        s.spanRightX = im.left + im.Width() * 3 / 5;
        s.markerShown = true;
        const int mx = (s.spanLeftX + s.spanRightX) / 2;
        const int my = (im.top + im.bottom) / 2;
        s.marker = {Point{mx - 60, my - 10}, Point{mx + 58, my - 25}, Point{mx + 61, my - 3},
                    Point{mx - 57, my + 12}};
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void BM_ViewerFullRepaint(benchmark::State& state) {
    Fixture& f = Shared();
    ViewerPainter painter;
    QImage target;
    for (auto _ : state) {
        for (int i = 0; i < kCrosses; ++i)
            MakeDisplayBitmap(f.slices[static_cast<size_t>(i)], f.bitmaps[static_cast<size_t>(i)]);
        painter.Paint(f.scene, target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["crosses"] = kCrosses;
}

void BM_DisplayConversion48Crosses(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        for (int i = 0; i < kCrosses; ++i)
            MakeDisplayBitmap(f.slices[static_cast<size_t>(i)], f.bitmaps[static_cast<size_t>(i)]);
        benchmark::DoNotOptimize(f.bitmaps.back().pixels.data());
    }
}

// The anchor: the panoramic and the 48 crosses, already 32-bit, drawn by QPainter into the same
// rectangles of a 1920 x 1080 image, with nothing else.
void BM_AnchorPlainDrawImage(benchmark::State& state) {
    Fixture& f = Shared();
    const ViewerScene& s = f.scene;
    const Rect& im = s.panoramicGeometry.image;
    const QImage panoramic = WrapDisplayBitmap(f.panoramic).copy();
    std::vector<QImage> crosses;
    std::vector<QRect> cells;
    for (int i = 0; i < kCrosses; ++i) {
        MakeDisplayBitmap(f.slices[static_cast<size_t>(i)], f.bitmaps[static_cast<size_t>(i)]);
        crosses.push_back(WrapDisplayBitmap(f.bitmaps[static_cast<size_t>(i)]).copy());
        const Rect r = FitInCell(CrossCell(s.layout.crossPane, kCrosses, s.crossRows, i),
                                 kCrossWidth, kCrossHeight);
        cells.emplace_back(r.left, r.top, r.Width(), r.Height());
    }
    QImage target(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&target);
        p.drawImage(QRect(im.left, im.top, im.Width(), im.Height()), panoramic);
        for (int i = 0; i < kCrosses; ++i)
            p.drawImage(cells[static_cast<size_t>(i)], crosses[static_cast<size_t>(i)]);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}

#define ZOR_VIEWER_BENCH(fn) \
    BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true)

ZOR_VIEWER_BENCH(BM_ViewerFullRepaint);
ZOR_VIEWER_BENCH(BM_DisplayConversion48Crosses);
ZOR_VIEWER_BENCH(BM_AnchorPlainDrawImage);

}  // namespace

BENCHMARK_MAIN();
