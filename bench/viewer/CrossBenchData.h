#pragma once
// What the cross-drag benchmark and its comparison anchor share: the phantom volume at the
// reconstruction's size placed on the phantom's arch, its panoramic LUT, the display chain
// standing in for the filter plug-ins and the plane each cross is cut on.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "phantom/DemoData.h"
#include "phantom/DentalPhantom.h"
#include "support/TempDir.h"
#include "zor_vol/CLUTProjection.h"
#include "zor_vol/LutFile.h"
#include "zor_vol/VolumeClass.h"

namespace zor::bench {

inline constexpr int kBenchCrosses = 48;
inline constexpr double kGamma = 1.1;
inline constexpr std::uint16_t kWindowLow = 1500;
inline constexpr std::uint16_t kWindowHigh = 9000;
inline constexpr float kUnsharpAmount = 0.6f;

/// The adult phantom straightened along its arch, 50 x 240 x 270 voxels as the reconstruction
/// writes them, placed with its first axis along the arch's front so the LUT maps its crosses.
inline void MakeBenchVolume(VolumeClass& volume) {
    const phantom::DentalPhantom phantom(phantom::PhantomKind::Adult);
    double x = 0.0, y = 0.0, tx = 1.0, ty = 0.0;
    phantom.Curve().PointAt(0.0, x, y);
    phantom.Curve().TangentAt(0.0, tx, ty);
    zor_vol_file::VolumeHeader h{.Nx = 50, .Ny = 240, .Nz = 270};
    h.CentreX = x;
    h.CentreY = y;
    h.AxisAngle = std::atan2(ty, tx);
    std::vector<std::uint16_t> voxels(std::size_t{h.Nx} * h.Ny * h.Nz);
    for (std::uint32_t i = 0; i < h.Nx; ++i)
        for (std::uint32_t j = 0; j < h.Ny; ++j)
            for (std::uint32_t k = 0; k < h.Nz; ++k) {
                const double mu = phantom.MuLocal((i - h.Nx / 2.0) * h.Dx, (j - h.Ny / 2.0) * h.Dy,
                                                  (h.Nz / 2.0 - k) * h.Dz);
                voxels[(std::size_t{i} * h.Ny + j) * h.Nz + k] =
                    static_cast<std::uint16_t>(std::lround(mu * h.ValueScale + h.ValueOffset));
            }
    volume.mAttach(h, std::move(voxels));
}

/// Loads the adult phantom's panoramic LUT (margin 74) through a temporary file.
inline bool LoadBenchLut(CLUTProjection& lut) {
    const phantom::DentalPhantom phantom(phantom::PhantomKind::Adult);
    test::TempDir dir;
    if (!zor_vol_lut::WriteLutFile(dir.File("0.0.31.10_X.LUT"),
                                   phantom::MakeLut(phantom, "0.0.31.10")))
        return false;
    const std::string folder = dir.Slash();
    return lut.LoadLUT(L"0.0.31.10", 74, std::wstring(folder.begin(), folder.end())) == 0;
}

/// Gamma then window through one 16-bit table each, then an unsharp mask over a 3 x 3 box:
/// the chain an operator typically has on the crosses. Plain C++; `scratch` is reused.
class StandInChain {
public:
    StandInChain() : m_Gamma(65536), m_Window(65536) {
        for (int v = 0; v < 65536; ++v) {
            m_Gamma[static_cast<std::size_t>(v)] = static_cast<std::uint16_t>(
                std::lround(65535.0 * std::pow(v / 65535.0, 1.0 / kGamma)));
            const double w = (v - kWindowLow) * 65535.0 / (kWindowHigh - kWindowLow);
            m_Window[static_cast<std::size_t>(v)] =
                static_cast<std::uint16_t>(std::clamp(w, 0.0, 65535.0));
        }
    }

    /// Called for several slots at once: the scratch images belong to the calling thread.
    void Apply(const std::uint16_t* raw, std::uint16_t* out, int width, int height) const {
        thread_local std::vector<std::uint16_t> levelled;
        thread_local std::vector<float> rows;
        const std::size_t n = static_cast<std::size_t>(width) * height;
        levelled.resize(n);
        rows.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            levelled[i] = m_Window[m_Gamma[raw[i]]];
        // Horizontal then vertical 3-tap sums; the borders keep their pixel.
        for (int y = 0; y < height; ++y) {
            const std::uint16_t* s = &levelled[static_cast<std::size_t>(y) * width];
            float* r = &rows[static_cast<std::size_t>(y) * width];
            r[0] = 3.0f * s[0];
            r[width - 1] = 3.0f * s[width - 1];
            for (int x = 1; x < width - 1; ++x)
                r[x] = static_cast<float>(s[x - 1] + s[x] + s[x + 1]);
        }
        for (int y = 0; y < height; ++y) {
            const int up = std::max(y - 1, 0), down = std::min(y + 1, height - 1);
            const float* a = &rows[static_cast<std::size_t>(up) * width];
            const float* b = &rows[static_cast<std::size_t>(y) * width];
            const float* c = &rows[static_cast<std::size_t>(down) * width];
            const std::uint16_t* s = &levelled[static_cast<std::size_t>(y) * width];
            std::uint16_t* o = out + static_cast<std::size_t>(y) * width;
            for (int x = 0; x < width; ++x) {
                const float blur = (a[x] + b[x] + c[x]) * (1.0f / 9.0f);
                const float v = s[x] + kUnsharpAmount * (s[x] - blur);
                o[x] = static_cast<std::uint16_t>(std::clamp(v, 0.0f, 65535.0f));
            }
        }
    }

private:
    std::vector<std::uint16_t> m_Gamma, m_Window;
};

}  // namespace zor::bench
