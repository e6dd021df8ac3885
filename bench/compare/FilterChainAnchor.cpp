// Anchor of the cross filter chain: the same 48 crosses through OpenCV's usual building blocks
// (unsharp by GaussianBlur + addWeighted, gamma by a 16-bit look-up table, linear by convertTo),
// with the images split across the same number of threads and OpenCV's own threads off.
#include <benchmark/benchmark.h>

#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <thread>

#include "FilterChain.h"

namespace {

using zor::plugins::FilterImage;

struct AnchorChain {
    std::vector<uint16_t> m_GammaTable = std::vector<uint16_t>(65536);
    double m_Alpha = 1.0, m_Beta = 0.0;

    AnchorChain() {
        for (int v = 0; v < 65536; ++v) {
            m_GammaTable[size_t(v)] = static_cast<uint16_t>(
                std::lround(65535.0 * std::pow(v / 65535.0, 1.0 / zor::bench::kGamma)));
        }
        // linear b, c as OrvixFilters defines it: (v - 32767.5) tan((c + 1) pi / 4) + 32767.5 - b
        // max.
        m_Alpha = std::tan((zor::bench::kContrast + 1.0) * M_PI / 4.0);
        m_Beta = 32767.5 - 32767.5 * m_Alpha - zor::bench::kBrightness * 65535.0;
    }

    void Run(const FilterImage& source, cv::Mat& work, cv::Mat& blurred, cv::Mat& out) const {
        const cv::Mat in(source.m_Height, source.m_Width, CV_16UC1,
                         const_cast<uint8_t*>(source.m_Data.data()), source.m_Stride);
        in.convertTo(work, CV_32F);
        cv::GaussianBlur(work, blurred, cv::Size(11, 11), 1.6, 1.6, cv::BORDER_REPLICATE);
        cv::addWeighted(work, 1.14, blurred, -0.14, 0.0, work);
        work.convertTo(out, CV_16U);  // rounds and saturates
        const uint16_t* table = m_GammaTable.data();
        out.forEach<uint16_t>([table](uint16_t& v, const int*) { v = table[v]; });
        out.convertTo(out, CV_16U, m_Alpha, m_Beta);
    }
};

void BM_CrossFilterChainAnchorOpenCv(benchmark::State& state) {
    cv::setNumThreads(0);
    const AnchorChain chain;
    std::vector<FilterImage> sources;
    for (int i = 0; i < zor::bench::kCrosses; ++i) {
        sources.push_back(
            zor::bench::MakeImage(zor::bench::kCrossWidth, zor::bench::kCrossHeight, unsigned(i)));
    }
    std::vector<cv::Mat> outs(sources.size());
    const int threads = static_cast<int>(state.range(0));
    auto part = [&](size_t first) {
        cv::Mat work, blurred;
        for (size_t i = first; i < sources.size(); i += size_t(threads))
            chain.Run(sources[i], work, blurred, outs[i]);
    };
    for (auto _ : state) {
        std::vector<std::thread> helpers;
        for (int t = 1; t < threads; ++t)
            helpers.emplace_back(part, size_t(t));
        part(0);
        for (auto& helper : helpers)
            helper.join();
        benchmark::DoNotOptimize(outs.back().data);
    }
}
BENCHMARK(BM_CrossFilterChainAnchorOpenCv)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
