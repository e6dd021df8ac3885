// The display-filter chains as the viewer runs them, through OrvixFilters.so.
#include <benchmark/benchmark.h>

#include "FilterChain.h"

namespace {

using zor::plugins::FilterImage;

/// 48 crosses through the unsharp bundle, gamma and linear; argument: threads.
void BM_CrossFilterChain(benchmark::State& state) {
    if (!zor::bench::LoadBuiltFilters()) {
        state.SkipWithError("OrvixFilters.so not built");
        return;
    }
    std::vector<FilterImage> sources, destinations(zor::bench::kCrosses);
    for (int i = 0; i < zor::bench::kCrosses; ++i) {
        sources.push_back(
            zor::bench::MakeImage(zor::bench::kCrossWidth, zor::bench::kCrossHeight, unsigned(i)));
    }
    const auto chain = zor::bench::CrossChain();
    for (auto _ : state) {
        zor::bench::ApplyAll(chain, sources, destinations, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(destinations.back().m_Data.data());
    }
}
BENCHMARK(BM_CrossFilterChain)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

/// The panoramic's own treatment (ECE) on a full panoramic.
void BM_PanoramicTreatment(benchmark::State& state) {
    if (!zor::bench::LoadBuiltFilters()) {
        state.SkipWithError("OrvixFilters.so not built");
        return;
    }
    const FilterImage source =
        zor::bench::MakeImage(zor::bench::kPanoramicWidth, zor::bench::kPanoramicHeight, 7);
    FilterImage destination;
    const auto treatment = zor::bench::PanoramicTreatment();
    for (auto _ : state) {
        zor::plugins::ApplyFilterList(treatment, source, destination);
        benchmark::DoNotOptimize(destination.m_Data.data());
    }
}
BENCHMARK(BM_PanoramicTreatment)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
