#include "phantom/Quality.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "phantom/PhantomImaging.h"
#include "zor_vol/VolumeClass.h"

namespace zor::phantom {

double Ncc(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size() || a.empty()) {
        return std::nan("");
    }
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        sa += a[i];
        sb += b[i];
        saa += static_cast<double>(a[i]) * a[i];
        sbb += static_cast<double>(b[i]) * b[i];
        sab += static_cast<double>(a[i]) * b[i];
    }
    const double n = static_cast<double>(a.size());
    const double cov = sab / n - sa / n * sb / n;
    const double va = saa / n - sa / n * sa / n, vb = sbb / n - sb / n * sb / n;
    if (!(va > 0.0) || !(vb > 0.0)) {
        return std::nan("");
    }
    return cov / std::sqrt(va * vb);
}

std::vector<SliceComparison> CompareWithTruth(const DentalPhantom& phantom, VolumeClass& volume,
                                              const std::vector<double>& positions,
                                              double slabSigmaMm) {
    std::vector<SliceComparison> out;
    if (volume.mIsNull()) {
        return out;
    }
    const auto& h = volume.Header();
    for (double pos : positions) {
        SliceComparison c;
        c.Position = pos;
        c.Width = volume.m_DimY;
        c.Height = volume.m_DimZ;
        SliceInfo info;
        volume.Slice_Extract(pos, 0.0, &info);
        const size_t n = static_cast<size_t>(c.Width) * c.Height;
        c.Reconstructed.resize(n);
        for (size_t p = 0; p < n; ++p) {
            c.Reconstructed[p] =
                static_cast<float>((volume.m_SliceBuffer[p] - h.ValueOffset) / h.ValueScale);
        }
        double wx = info.SliceTopRightX - info.SliceTopLeftX;
        double wy = info.SliceTopRightY - info.SliceTopLeftY;
        const double len = std::hypot(wx, wy);
        wx /= len;
        wy /= len;
        c.Truth.assign(n, 0.0f);
        // Offsets across the plane (along the arch) and their weights.
        std::vector<std::pair<double, double>> taps;
        if (slabSigmaMm > 0.0) {
            const int reach = static_cast<int>(std::ceil(3.0 * slabSigmaMm / 0.2));
            for (int q = -reach; q <= reach; ++q) {
                const double off = q * 0.2;
                taps.emplace_back(off, std::exp(-0.5 * off * off / (slabSigmaMm * slabSigmaMm)));
            }
        } else {
            const int samples = 7;
            for (int q = 0; q < samples; ++q) {
                taps.emplace_back((q - (samples - 1) * 0.5) / samples * h.Dx, 1.0);
            }
        }
        double total = 0.0;
        for (const auto& tap : taps) {
            total += tap.second;
        }
        for (const auto& [off, weight] : taps) {
            const auto t = TrueSlice(phantom, info.CenterX - wy * off, info.CenterY + wx * off, wx,
                                     wy, c.Width, c.Height, info.SliceTopZ, h.Dy);
            const float w = static_cast<float>(weight / total);
            for (size_t p = 0; p < n; ++p) {
                c.Truth[p] += t[p] * w;
            }
        }
        // Only the part of the plane inside the cylinder of the volume of interest counts.
        const double radius = 0.5 * h.Nx * h.Dx;
        std::vector<float> truthIn, reconIn;
        for (int x = 0; x < c.Width; ++x) {
            const double off = (x - (c.Width - 1) * 0.5) * h.Dy;
            const double px = info.CenterX + off * wx - h.CentreX;
            const double py = info.CenterY + off * wy - h.CentreY;
            if (std::hypot(px, py) > radius) {
                continue;
            }
            for (int r = 0; r < c.Height; ++r) {
                truthIn.push_back(c.Truth[static_cast<size_t>(r) * c.Width + x]);
                reconIn.push_back(c.Reconstructed[static_cast<size_t>(r) * c.Width + x]);
            }
        }
        c.Ncc = Ncc(truthIn, reconIn);
        out.push_back(std::move(c));
    }
    return out;
}

std::vector<uint16_t> ComparisonMontage(const std::vector<SliceComparison>& cs, int& width,
                                        int& height) {
    width = height = 0;
    if (cs.empty()) {
        return {};
    }
    const int w = cs[0].Width, h = cs[0].Height, gap = 4;
    width = 2 * w + gap;
    height = static_cast<int>(cs.size()) * (h + gap) - gap;
    std::vector<uint16_t> img(static_cast<size_t>(width) * height, 0);
    for (size_t s = 0; s < cs.size(); ++s) {
        const auto& c = cs[s];
        const float hi = *std::max_element(c.Truth.begin(), c.Truth.end());
        for (int r = 0; r < h; ++r) {
            for (int x = 0; x < w; ++x) {
                const size_t p = static_cast<size_t>(r) * w + x;
                auto grey = [hi](float v) {
                    return static_cast<uint16_t>(std::clamp(v / hi, 0.0f, 1.0f) * 65535.0f);
                };
                uint16_t* row = img.data() + (s * (h + gap) + static_cast<size_t>(r)) * width;
                row[x] = grey(c.Truth[p]);
                row[w + gap + x] = grey(c.Reconstructed[p]);
            }
        }
    }
    return img;
}

}  // namespace zor::phantom
