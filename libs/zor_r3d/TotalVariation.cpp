#include "zor_r3d/TotalVariation.h"

#include <algorithm>
#include <cmath>

namespace zor_r3d {

namespace {

// Normalised forward gradient of one voxel column (ux, uy: the neighbouring columns along the
// first two axes); the last voxel has no upper neighbour.
void GradientColumn(const float* __restrict u, const float* __restrict ux,
                    const float* __restrict uy, int nz, float wx, float wy, float wz, float eps2,
                    float* __restrict gx, float* __restrict gy, float* __restrict gz) {
    const int last = nz - 1;
    for (int k = 0; k < last; ++k) {
        const float dx = wx * (ux[k] - u[k]), dy = wy * (uy[k] - u[k]);
        const float dz = wz * (u[k + 1] - u[k]);
        const float inv = 1.0f / std::sqrt(dx * dx + dy * dy + dz * dz + eps2);
        gx[k] = dx * inv;
        gy[k] = dy * inv;
        gz[k] = dz * inv;
    }
    const float dx = wx * (ux[last] - u[last]), dy = wy * (uy[last] - u[last]);
    const float inv = 1.0f / std::sqrt(dx * dx + dy * dy + eps2);
    gx[last] = dx * inv;
    gy[last] = dy * inv;
    gz[last] = 0.0f;
}

// Means of `mu` over bin × bin voxels of each cross-section, on the merged grid `m`.
std::vector<float> MergeCrossSections(const Trajectory& t, const Trajectory& m, int bin,
                                      const std::vector<float>& mu) {
    const float share = 1.0f / static_cast<float>(bin * bin);
    std::vector<float> out(static_cast<size_t>(m.Nx) * m.Ny * m.Nz, 0.0f);
    for (int i = 0; i < m.Nx; ++i) {
        for (int j = 0; j < m.Ny * bin; ++j) {
            const float* in = mu.data() + (static_cast<size_t>(i) * t.Ny + j) * t.Nz;
            float* dst = out.data() + (static_cast<size_t>(i) * m.Ny + j / bin) * m.Nz;
            for (int k = 0; k < m.Nz * bin; ++k) {
                dst[k / bin] += share * in[k];
            }
        }
    }
    return out;
}

// Voxel j of the volume lies at merged coordinate (j + 0.5) / bin - 0.5: the lower merged
// voxel j0 and the weight of the next one (none when the grid has one voxel that way).
void MergedCell(int j, int bin, int n, int& j0, float& w) {
    const double at = std::clamp((j + 0.5) / bin - 0.5, 0.0, n - 1.0);
    j0 = std::min(static_cast<int>(at), std::max(0, n - 2));
    w = n > 1 ? static_cast<float>(at - j0) : 0.0f;
}

// Adds `change` (merged grid `m`), bilinearly within each cross-section, to slab i of `mu`.
void AddMergedChange(const Trajectory& t, const Trajectory& m, int bin,
                     const std::vector<float>& change, int i, std::vector<float>& mu) {
    const size_t nextY = m.Ny > 1 ? static_cast<size_t>(m.Nz) : 0;
    const int nextZ = m.Nz > 1 ? 1 : 0;
    std::vector<int> lower(static_cast<size_t>(t.Nz));
    std::vector<float> weight(static_cast<size_t>(t.Nz));
    for (int k = 0; k < t.Nz; ++k) {
        MergedCell(k, bin, m.Nz, lower[static_cast<size_t>(k)], weight[static_cast<size_t>(k)]);
    }
    for (int j = 0; j < t.Ny; ++j) {
        int j0 = 0;
        float wj = 0.0f;
        MergedCell(j, bin, m.Ny, j0, wj);
        const float* a = change.data() + (static_cast<size_t>(i) * m.Ny + j0) * m.Nz;
        const float* b = a + nextY;
        float* out = mu.data() + (static_cast<size_t>(i) * t.Ny + j) * t.Nz;
        for (int k = 0; k < t.Nz; ++k) {
            const int q = lower[static_cast<size_t>(k)];
            const float wk = weight[static_cast<size_t>(k)];
            const float top = a[q] + wk * (a[q + nextZ] - a[q]);
            const float bottom = b[q] + wk * (b[q + nextZ] - b[q]);
            out[k] = std::max(0.0f, out[k] + top + wj * (bottom - top));
        }
    }
}

}  // namespace

bool SmoothTotalVariation(const Trajectory& t, int iterations, float step, float epsilon,
                          std::vector<float>& mu, ProgressReporter& progress, double from,
                          double to) {
    const int nx = t.Nx, ny = t.Ny, nz = t.Nz;
    const size_t sy = static_cast<size_t>(nz), sx = static_cast<size_t>(ny) * nz;
    // Differences scaled to the in-plane pitch: the planes along the arch are farther apart.
    const float wx = static_cast<float>(t.Dy / t.Dx), wy = 1.0f,
                wz = static_cast<float>(t.Dy / t.Dz);
    // Per iteration: the normalised forward gradient of every voxel (one array per component,
    // so the loops over a voxel column vectorise), then each voxel moves against the
    // derivative of sum sqrt(|grad u|^2 + eps^2), which needs the normalised gradients of the
    // voxel and of its three lower neighbours. Missing neighbours at the borders read zeros.
    std::vector<float> fx(mu.size()), fy(mu.size()), fz(mu.size());
    const std::vector<float> zeros(static_cast<size_t>(nz), 0.0f);
    const float eps2 = epsilon * epsilon, move = step * epsilon;
    for (int it = 0; it < iterations; ++it) {
        const double at = from + (to - from) * it / iterations;
        auto gradients = [&](int i) {
            for (int j = 0; j < ny; ++j) {
                const size_t row = static_cast<size_t>(i) * sx + j * sy;
                const float* __restrict u = mu.data() + row;
                // At the last plane or row the difference is 0: compare with the voxel itself.
                const float* __restrict ux = i + 1 < nx ? u + sx : u;
                const float* __restrict uy = j + 1 < ny ? u + sy : u;
                float* __restrict gx = fx.data() + row;
                float* __restrict gy = fy.data() + row;
                float* __restrict gz = fz.data() + row;
                GradientColumn(u, ux, uy, nz, wx, wy, wz, eps2, gx, gy, gz);
            }
        };
        auto descend = [&](int i) {
            for (int j = 0; j < ny; ++j) {
                const size_t row = static_cast<size_t>(i) * sx + j * sy;
                const float* gx = fx.data() + row;
                const float* gy = fy.data() + row;
                const float* gz = fz.data() + row;
                const float* lx = i > 0 ? gx - sx : zeros.data();
                const float* ly = j > 0 ? gy - sy : zeros.data();
                float* u = mu.data() + row;
                auto at = [&](int k, float below) {
                    const float derivative =
                        wx * (lx[k] - gx[k]) + wy * (ly[k] - gy[k]) + wz * (below - gz[k]);
                    u[k] = std::max(0.0f, u[k] - move * derivative);
                };
                at(0, 0.0f);
                for (int k = 1; k < nz; ++k) {
                    at(k, gz[k - 1]);
                }
            }
        };
        if (!RunParallel(nx, gradients, progress, at, at) ||
            !RunParallel(nx, descend, progress, at, at)) {
            return false;
        }
    }
    return progress.Report(to);
}

bool SmoothTotalVariationMerged(const Trajectory& t, int bin, int iterations, float step,
                                float epsilon, std::vector<float>& mu, ProgressReporter& progress,
                                double from, double to) {
    bin = std::max(1, bin);
    if (t.Ny < bin || t.Nz < bin) {
        return progress.Report(to);  // nothing to merge
    }
    Trajectory m;
    m.Nx = t.Nx;
    m.Ny = t.Ny / bin;
    m.Nz = t.Nz / bin;
    m.Dx = t.Dx;
    m.Dy = t.Dy * bin;
    m.Dz = t.Dz * bin;
    const std::vector<float> before = MergeCrossSections(t, m, bin, mu);
    std::vector<float> change = before;
    if (!SmoothTotalVariation(m, iterations, step, epsilon, change, progress, from, to)) {
        return false;
    }
    for (size_t n = 0; n < change.size(); ++n) {
        change[n] -= before[n];
    }
    auto add = [&](int i) { AddMergedChange(t, m, bin, change, i, mu); };
    return RunParallel(t.Nx, add, progress, to, to);
}

}  // namespace zor_r3d
