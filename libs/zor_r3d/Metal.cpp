#include "zor_r3d/Metal.h"

#include <algorithm>

namespace zor_r3d {

std::vector<int> FindMetal(const Trajectory& t, const std::vector<float>& mu, float threshold,
                           std::vector<unsigned char>& mask) {
    mask.assign(mu.size(), 0);
    std::vector<int> columns;
    const size_t nz = static_cast<size_t>(t.Nz);
    for (size_t c = 0; c < static_cast<size_t>(t.Nx) * t.Ny; ++c) {
        bool any = false;
        for (size_t k = 0; k < nz; ++k) {
            if (mu[c * nz + k] > threshold) {
                mask[c * nz + k] = 1;
                any = true;
            }
        }
        if (any) {
            columns.push_back(static_cast<int>(c));
        }
    }
    return columns;
}

void BridgeMetalShadow(const Trajectory& t, const GridMap& map,
                       const std::vector<unsigned char>& mask, const std::vector<int>& columns,
                       int v, float* view) {
    const int cols = t.DetCols;
    const size_t nz = static_cast<size_t>(t.Nz);
    std::vector<float> shadow(static_cast<size_t>(cols) * t.DetRows, 0.0f), column(nz);
    for (int c : columns) {
        const unsigned char* m = mask.data() + static_cast<size_t>(c) * nz;
        std::transform(m, m + nz, column.begin(), [](unsigned char x) { return float(x); });
        ProjectColumn(t, map, column.data(), c / t.Ny, c % t.Ny, v, shadow.data());
    }
    for (int r = 0; r < t.DetRows; ++r) {
        float* row = view + static_cast<size_t>(r) * cols;
        const float* s = shadow.data() + static_cast<size_t>(r) * cols;
        for (int c = 0; c < cols;) {
            if (s[c] <= 0.0f) {
                ++c;
                continue;
            }
            int end = c;
            while (end < cols && s[end] > 0.0f) {
                ++end;
            }
            // Pixels c..end-1 are shadowed; c-1 and end (if on the detector) are not.
            const int before = c - 1;
            const float left = before >= 0 ? row[before] : (end < cols ? row[end] : 0.0f);
            const float right = end < cols ? row[end] : left;
            for (int q = c; q < end; ++q) {
                const float w = static_cast<float>(q - before) / static_cast<float>(end - before);
                row[q] = left + w * (right - left);
            }
            c = end;
        }
    }
}

}  // namespace zor_r3d
