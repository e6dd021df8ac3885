// The filters of OrvixFilters.so, loaded as the program loads them, against values computed by
// hand from each filter's definition (docs/filters.md).
#include <cmath>

#include "PluginTestSupport.h"
#include "plugins/PluginConstants.h"

namespace zor::plugins::test {
namespace {

class OrvixFiltersTest : public PluginFixture {
protected:
    void SetUp() override {
        PluginFixture::SetUp();
        Install(ZOR_PLUGIN_FILTERS, m_Dir / "Filters", "OrvixFilters.so");
        Install(ZOR_PLUGIN_EXAMPLE, m_Dir / "Filters", "OrvixExample.so");
        ASSERT_EQ(LoadFrom(m_Dir / "Filters"), 8);
    }
    std::vector<int> Run(const FilterImage& in, const std::string& filter, int y = 0) {
        FilterImage out;
        ApplyFilterString(in, out, filter);
        std::vector<int> values;
        for (int x = 0; x < out.m_Width; ++x)
            values.push_back(Sample(out, x, y));
        return values;
    }
};

TEST_F(OrvixFiltersTest, LinearAndGammaOnARamp) {
    const FilterImage ramp = Row({0, 16, 64, 100, 128, 140, 200, 255}, 8);
    // Brightness 0.25 lowers every level by a quarter of 255 (63.75).
    EXPECT_EQ(Run(ramp, "linear 0.250000,0.000000"),
              (std::vector<int>{0, 0, 0, 36, 64, 76, 136, 191}));
    // Contrast 0.5: slope tan(3 pi / 8) = 2.41421 about 127.5; 100 -> 61.11, 128 -> 128.71.
    EXPECT_EQ(Run(ramp, "linear 0,0.5"), (std::vector<int>{0, 0, 0, 61, 129, 158, 255, 255}));
    // Gamma 2: 255 sqrt(v / 255); 16 -> 63.87, 64 -> 127.75, 128 -> 180.66.
    EXPECT_EQ(Run(ramp, "gamma 2.0"), (std::vector<int>{0, 64, 128, 160, 181, 189, 226, 255}));
    // 16-bit: gamma 0.5 squares, 65535 (v / 65535)^2; 32768 -> 16384.25, 1000 -> 15.26.
    EXPECT_EQ(Run(Row({1000, 32768, 65535}, 16), "gamma 0.5"),
              (std::vector<int>{15, 16384, 65535}));
}

TEST_F(OrvixFiltersTest, UnsharpStepEdgeOvershootsByTheGaussianTail) {
    // Step 1000 | 3000. With sigma 1.6 the blur at the first bright pixel is
    // 1000 + 2000 (1/2 + w0/2), w0 = 0.249458 (sampled, radius 5): overshoot 2000 x 0.375271.
    std::vector<int> values(64, 1000);
    std::fill(values.begin() + 32, values.end(), 3000);
    FilterImage step = Row(values, 16);
    const std::vector<int> out = Run(step, "unsharp 1.6,100");
    EXPECT_NEAR(out[32], 3751, 1);
    EXPECT_NEAR(out[31], 249, 1);
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(out[63], 3000);
    EXPECT_EQ(out[31] + out[32], 4000);

    // A full-range step saturates instead of wrapping.
    std::fill(values.begin(), values.begin() + 32, 0);
    std::fill(values.begin() + 32, values.end(), 65535);
    const std::vector<int> full = Run(Row(values, 16), "unsharp 1.6,100");
    EXPECT_EQ(full[31], 0);
    EXPECT_EQ(full[32], 65535);
    EXPECT_EQ(full[29], 0);
    EXPECT_EQ(full[34], 65535);

    // The unsharp bundle is this filter with its own parameters; in place gives the same.
    FilterImage bundled, inPlace = step;
    ApplyFilterString(step, bundled, kUnsharpBundle);
    ApplyFilterList({"unsharp 1.6000,14.000"}, inPlace, inPlace);
    EXPECT_EQ(bundled.m_Data, inPlace.m_Data);
    EXPECT_NEAR(Sample(bundled, 32), 3000 + 0.14 * 750.5, 1);
}

TEST_F(OrvixFiltersTest, ShannonStretchingWeighsLevelsByTheirEntropy) {
    // Shares 1/2, 1/4, 1/4: each level weighs -p ln p = 0.3466, a third of the whole.
    const FilterImage image = Row({50, 50, 50, 50, 100, 100, 200, 200}, 8);
    // 0 and 1: darkest and brightest present levels; 100 -> 255 x 50 / 150.
    EXPECT_EQ(Run(image, "ShannonStretching 0,1,0,0,0,0"),
              (std::vector<int>{0, 0, 0, 0, 85, 85, 255, 255}));
    // 0.4 is first reached at 100 (a count percentile would stop at 50), 0.9 at 200.
    EXPECT_EQ(Run(image, "ShannonStretching 0.4,0.9,0,0,0,0"),
              (std::vector<int>{0, 0, 0, 0, 0, 0, 255, 255}));
    // Output range 10 .. 110.
    EXPECT_EQ(Run(image, "ShannonStretching 0,1,0,0,10,110")[4], 43);
}

TEST_F(OrvixFiltersTest, PanoramicTreatmentKeepsAFlatImageAtItsGammaLevel) {
    FilterImage flat = FilterImage::Create(300, 200, 16);
    for (size_t i = 0; i < flat.m_Data.size() / 2; ++i)
        reinterpret_cast<uint16_t*>(flat.m_Data.data())[i] = 32768;
    // Flat: no edges, no local contrast, far background at mid grey; 65535 x 0.500008^0.82.
    const std::string ece =
        "ECE 0.000,1.000,0.180,0.8200,0.500,0.300,100.000,100.000,200.000,200.000";
    for (int v : Run(flat, ece, 100))
        ASSERT_NEAR(v, 37122, 2);
    // A small bright spot gains contrast over what the gamma alone gives it.
    for (int y = 98; y < 102; ++y)
        for (int x = 148; x < 152; ++x)
            reinterpret_cast<uint16_t*>(flat.Row(y))[x] = 36000;
    const std::vector<int> spot = Run(flat, ece, 100);
    EXPECT_GT(spot[150] - spot[20],
              65535 * (std::pow(36000 / 65535.0, 0.82) - std::pow(0.5, 0.82)));
}

TEST_F(OrvixFiltersTest, ColourImagesAreFilteredPlaneByPlaneKeepingTheFourthByte) {
    FilterImage colour = FilterImage::Create(2, 1, 32);
    colour.m_Data = {10, 20, 30, 77, 0, 128, 255, 1};
    FilterImage out;
    ApplyFilterList({"invert", "nosuch 1,2"}, colour, out);
    EXPECT_EQ(out.m_Data, (std::vector<uint8_t>{245, 235, 225, 77, 255, 127, 0, 1}));
    FilterImage rgb = FilterImage::Create(1, 1, 24);
    rgb.m_Data = {0, 100, 255};
    ApplyFilterList({"gamma 2"}, rgb, rgb);
    EXPECT_EQ(rgb.m_Data, (std::vector<uint8_t>{0, 160, 255}));
}

}  // namespace
}  // namespace zor::plugins::test
