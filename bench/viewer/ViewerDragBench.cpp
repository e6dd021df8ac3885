// A mouse move that drags the volume of interest in the volume-selection step, handled by the
// viewer's mouse handling and repainted by the viewer painter at 1920 x 1080 with the
// phantom-sized panoramic, against anchors that draw the same pictures with QPainter alone.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/UserInterfaces.h"
#include "viewer/ViewImage.h"
#include "viewer/ViewerCommands.h"
#include "viewer/ViewerPainter.h"
#include "viewer/ViewerSceneBuilder.h"

namespace {

using namespace zor::viewer;

// The phantom's panoramic, as 16-bit samples.
constexpr int kPanoramicWidth = 2609;
constexpr int kPanoramicHeight = 1528;
constexpr Rect kViewerArea{0, 0, 1920, 1080};
// Pointer steps along the usable columns, in screen pixels.
constexpr int kStep = 8;

class NoWindow : public zor::IMainWindow {
public:
    void ShowButtonsForPhase(int, bool, bool) override {}
    void SetButtonVisible(zor::CommandId, bool) override {}
    void MarkToolButton(std::optional<zor::CommandId>) override {}
    void SetCursor(zor::CursorId) override {}
    void SetWaitCursor(bool) override {}
    void SetTitle(const std::string&) override {}
    void Invalidate() override {}
    void Close() override {}
};

class NoInfo : public zor::IInfoWindow {
public:
    void ShowInfo(const std::string&) override {}
    void HideInfo() override {}
};

class NoTimers : public zor::ITimers {
public:
    void SetTimer(zor::TimerId, int) override {}
    void KillTimer(zor::TimerId) override {}
};

QImage Background(int shade) {
    QImage image(1600, 900, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = qRgb(shade, (x + y) & 0xFF, shade);
    }
    return image;
}

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

struct Fixture {
    std::vector<std::uint16_t> samples =
        std::vector<std::uint16_t>(static_cast<size_t>(kPanoramicWidth) * kPanoramicHeight);
    NoWindow window;
    NoInfo info;
    NoTimers timers;
    ViewerCommands viewer{window, info, timers};
    QImage leftBackground = Background(40);
    QImage rightBackground = Background(90);
    std::vector<Point> sweep;  ///< there and back along the usable columns
    size_t next = 0;
    bool frameFollows = false;  ///< the frame moved with the pointer across the sweep

    Fixture() {
        for (int y = 0; y < kPanoramicHeight; ++y) {
            for (int x = 0; x < kPanoramicWidth; ++x)
                samples[static_cast<size_t>(y) * kPanoramicWidth + static_cast<size_t>(x)] =
                    static_cast<std::uint16_t>(((x * 13 + y * 7) << 4) & 0xFFFF);
        }
        viewer.SetViewerArea(kViewerArea);
        // The bands as the workflow passes them: 20 % cropped on each side, the Y axis fixed.
        PanoramicBands bands;
        bands.cropLeftPercent = 20;
        bands.cropRightPercent = 20;
        bands.bandTop = 0.1f;
        bands.bandBottom = 0.1f;
        bands.bandLimit = 0.25f;
        bands.yAxisMovable = false;
        viewer.ShowPanoramic(
            ViewImage::External(samples.data(), kPanoramicWidth, kPanoramicHeight, 16), bands);

        const Rect usable = viewer.Model().Panoramic().usable;
        const int y = (usable.top + usable.bottom) / 2;
        for (int x = usable.left; x < usable.right; x += kStep)
            sweep.push_back({x, y});
        for (int x = usable.right - 1; x >= usable.left; x -= kStep)
            sweep.push_back({x, y});

        // Once, untimed: the drag really moves the frame from one end of the sweep to the other.
        PressAtFrameCentre();
        viewer.Mouse().OnMouseMove(sweep.front(), true, kVolumeSelectionPhase);
        const int leftmost = viewer.Model().VolumeOfInterestFrame().ScreenRect().left;
        viewer.Mouse().OnMouseMove(sweep[sweep.size() / 2 - 1], true, kVolumeSelectionPhase);
        const int rightmost = viewer.Model().VolumeOfInterestFrame().ScreenRect().left;
        viewer.Mouse().OnButtonUp(sweep[sweep.size() / 2 - 1], kVolumeSelectionPhase);
        frameFollows = rightmost > leftmost;
    }

    // The button goes down at the frame's centre in the volume-selection step.
    void PressAtFrameCentre() {
        const Rect frame = viewer.Model().VolumeOfInterestFrame().ScreenRect();
        viewer.Mouse().OnButtonDown(
            {(frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2},
            kVolumeSelectionPhase);
    }

    Point NextPoint() {
        const Point p = sweep[next];
        next = (next + 1) % sweep.size();
        return p;
    }

    ViewerScene Scene() const {
        ViewerScene scene = SceneOf(viewer, kVolumeSelectionPhase);
        scene.leftBackground = leftBackground;
        scene.rightBackground = rightBackground;
        scene.leftColour = 0x000000;
        scene.rightColour = 0x323232;
        return scene;
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

// The measured work: the move handled (the frame follows the pointer), the scene built and the
// whole viewer area painted, as the main window does on the repaint the move asks for. The
// painter keeps its stretched backgrounds and panoramic between paints, as the window's does.
void BM_DragVolumeOfInterest(benchmark::State& state) {
    Fixture& f = Shared();
    ViewerPainter painter;
    QImage target;
    if (!f.frameFollows) {
        state.SkipWithError("the frame does not follow the pointer");
        return;
    }
    f.PressAtFrameCentre();
    painter.Paint(f.Scene(), target);  // the paint before the drag fills the painter's copies
    for (auto _ : state) {
        f.viewer.Mouse().OnMouseMove(f.NextPoint(), true, kVolumeSelectionPhase);
        const ViewerScene scene = f.Scene();
        painter.Paint(scene, target);
        benchmark::DoNotOptimize(target.constBits());
    }
    f.viewer.Mouse().OnButtonUp(f.sweep[f.next], kVolumeSelectionPhase);
    state.counters["sweep"] = static_cast<double>(f.sweep.size());
}

// The move and the scene alone, without painting: the share of the mouse handling.
void BM_DragHandlingOnly(benchmark::State& state) {
    Fixture& f = Shared();
    f.PressAtFrameCentre();
    for (auto _ : state) {
        f.viewer.Mouse().OnMouseMove(f.NextPoint(), true, kVolumeSelectionPhase);
        ViewerScene scene = SceneOf(f.viewer, kVolumeSelectionPhase);
        benchmark::DoNotOptimize(scene.frame.corners.data());
    }
    f.viewer.Mouse().OnButtonUp(f.sweep[f.next], kVolumeSelectionPhase);
}

// The anchor: the two background pictures and the panoramic display bitmap drawn by QPainter
// into the same rectangles of a 1920 x 1080 image, each stretched from its full size on every
// draw. It leaves out the mouse handling, the scene, the separator lines, the hatching beside
// the usable columns, the guide lines and the frame; it does more scaling than the painter,
// which draws its kept stretched copies instead.
void BM_AnchorPlainDrawImage(benchmark::State& state) {
    Fixture& f = Shared();
    const ViewerScene s = f.Scene();
    const QImage panoramic = WrapDisplayBitmap(f.viewer.PanoramicBitmap());
    const QRect left(0, 0, s.layout.imagesRight, kViewerArea.Height());
    const QRect right(s.layout.imagesRight, 0, kViewerArea.Width() - s.layout.imagesRight,
                      kViewerArea.Height());
    const QRect image = ToQRect(s.panoramicGeometry.image);
    QImage target(kViewerArea.Width(), kViewerArea.Height(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&target);
        p.drawImage(left, f.leftBackground);
        p.drawImage(right, f.rightBackground);
        p.drawImage(image, panoramic);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}

// A second anchor with the painter's own economy: the same three pictures, stretched once
// beforehand, copied into the same places of a 1920 x 1080 image on every draw. It leaves out
// the same work as the first anchor and no more.
void BM_AnchorKeptCopies(benchmark::State& state) {
    Fixture& f = Shared();
    const ViewerScene s = f.Scene();
    const int split = s.layout.imagesRight;
    const QImage left = f.leftBackground.scaled(split, kViewerArea.Height(), Qt::IgnoreAspectRatio,
                                                Qt::FastTransformation);
    const QImage right = f.rightBackground.scaled(kViewerArea.Width() - split, kViewerArea.Height(),
                                                  Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QRect image = ToQRect(s.panoramicGeometry.image);
    QImage panoramic(image.size(), QImage::Format_RGB32);
    {
        QPainter scaler(&panoramic);
        scaler.drawImage(QRect(QPoint(0, 0), image.size()),
                         WrapDisplayBitmap(f.viewer.PanoramicBitmap()));
    }
    QImage target(kViewerArea.Width(), kViewerArea.Height(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&target);
        p.drawImage(QPoint(0, 0), left);
        p.drawImage(QPoint(split, 0), right);
        p.drawImage(image.topLeft(), panoramic);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}

#define ZOR_VIEWER_BENCH(fn) \
    BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true)

ZOR_VIEWER_BENCH(BM_DragVolumeOfInterest);
BENCHMARK(BM_DragHandlingOnly)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
ZOR_VIEWER_BENCH(BM_AnchorPlainDrawImage);
ZOR_VIEWER_BENCH(BM_AnchorKeptCopies);

}  // namespace

BENCHMARK_MAIN();
