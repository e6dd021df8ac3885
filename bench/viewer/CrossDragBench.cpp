// One frame of dragging the crosses: the move in the cross pane, 48 crosses cut from the phantom
// volume at the reconstruction's size, cropped, filtered and converted for display.
#include <benchmark/benchmark.h>

#include <memory>

#include "CrossBenchData.h"
#include "viewer/CrossView.h"

namespace {

using namespace zor::viewer;
using zor::bench::kBenchCrosses;

struct DragFixture {
    explicit DragFixture(bool standInChain) {
        zor::bench::MakeBenchVolume(volume);
        zor::bench::LoadBenchLut(lut);
        CrossFilter filter;
        if (standInChain)
            filter = [this](int, const std::uint16_t* raw, std::uint16_t* out, int w, int h) {
                chain.Apply(raw, out, w, h);
            };
        view = std::make_unique<CrossView>(CrossSettings{}, images, std::move(filter));
        view->SetVolume(&volume);
        view->SetPanoramic({&lut, 2609, {0, 0, 1036, 540}, 568, 568, {1036, 0, 1604, 540}});
        view->SetCrossPane({0, 540, 1728, 1050});
        view->SetCollimatorFractions(0.05f, 0.08f);
        view->SetCrossCount(kBenchCrosses, 4);
        view->SetCrossPosition(25);
        view->ComputeAllowedRange();
        view->BeginDrag({800, 700});
    }

    VolumeClass volume;
    CLUTProjection lut;
    CrossImages images;
    zor::bench::StandInChain chain;
    std::unique_ptr<CrossView> view;
};

void RunDrag(benchmark::State& state, bool standInChain) {
    DragFixture f(standInChain);
    // Back and forth by one position (36 px of the pane), so every frame extracts new crosses.
    int direction = 1;
    for (auto _ : state) {
        const Point p{800 + (direction > 0 ? 36 : 0), 700};
        f.view->MoveCrosses(-1.0, &p);
        f.view->GenerateCrosses();
        direction = -direction;
        benchmark::DoNotOptimize(f.images.Bitmap(kBenchCrosses - 1));
    }
}

// The display chain the crosses carry once the filter plug-ins run: gamma, window, unsharp.
void BM_CrossDragFrame(benchmark::State& state) {
    RunDrag(state, true);
}
// Today's default: the filtered image is the raw one.
void BM_CrossDragFrameIdentity(benchmark::State& state) {
    RunDrag(state, false);
}

}  // namespace

BENCHMARK(BM_CrossDragFrame)->Unit(benchmark::kMillisecond)->Repetitions(7);
BENCHMARK(BM_CrossDragFrameIdentity)->Unit(benchmark::kMillisecond)->Repetitions(7);
