#include "FilterChain.h"

#include <cmath>
#include <random>

#include "images/DescriptionComposer.h"
#include "images/DescriptionText.h"
#include "images/ImageConstants.h"
#include "platform/ParallelFor.h"
#include "plugins/FilterPlugins.h"
#include "plugins/PluginConstants.h"

namespace zor::bench {

bool LoadBuiltFilters() {
    plugins::ConfigureFilterPlugins(ZOR_FILTERS_FOLDER, nullptr);
    plugins::LoadFilterPlugins();
    for (int i = 0; i < plugins::FilterPluginCount(); ++i) {
        if (plugins::FilterPluginName(i) == "ECE")
            return true;
    }
    return false;
}

plugins::FilterImage MakeImage(int width, int height, unsigned seed) {
    plugins::FilterImage image = plugins::FilterImage::Create(width, height, 16);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 400.0);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(image.Row(y));
        for (int x = 0; x < width; ++x) {
            const double tooth = (x / 37 + y / 41) % 3 == 0 ? 18000.0 : 0.0;
            const double v =
                12000.0 + 9000.0 * std::sin(x * 0.02) * std::cos(y * 0.015) + tooth + noise(random);
            row[x] = static_cast<uint16_t>(std::clamp(v, 0.0, 65535.0));
        }
    }
    return image;
}

std::vector<std::string> CrossChain() {
    return {plugins::kUnsharpBundle, "gamma " + images::FormatFixed(kGamma),
            "linear " + images::FormatFixed(kBrightness) + "," + images::FormatFixed(kContrast)};
}

std::vector<std::string> PanoramicTreatment() {
    return images::ReadTreatments(images::kTemplateDescription);
}

void ApplyAll(const std::vector<std::string>& filters,
              const std::vector<plugins::FilterImage>& sources,
              std::vector<plugins::FilterImage>& destinations, int threads) {
    // The program's own parallel loop, as the crosses use it.
    platform::ParallelFor(
        static_cast<int>(sources.size()),
        [&](int i) {
            const auto k = static_cast<size_t>(i);
            plugins::ApplyFilterList(filters, sources[k], destinations[k]);
        },
        static_cast<unsigned>(threads));
}

}  // namespace zor::bench
