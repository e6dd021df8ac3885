#include "zor_r3d/TotalVariation.h"

#include <algorithm>
#include <cmath>

namespace zor_r3d {

bool SmoothTotalVariation(const Trajectory& t, int iterations, float step, float epsilon,
                          std::vector<float>& mu, ProgressReporter& progress, double from,
                          double to) {
    const int nx = t.Nx, ny = t.Ny, nz = t.Nz;
    const size_t sy = static_cast<size_t>(nz), sx = static_cast<size_t>(ny) * nz;
    // Differences scaled to the in-plane pitch: the planes along the arch are farther apart.
    const float wx = static_cast<float>(t.Dy / t.Dx), wy = 1.0f,
                wz = static_cast<float>(t.Dy / t.Dz);
    // Per iteration: the normalised forward gradient of every voxel (three components), then
    // each voxel moves against the derivative of sum sqrt(|grad u|^2 + eps^2), which needs
    // the normalised gradients of the voxel and of its three lower neighbours.
    std::vector<float> flux(3 * mu.size());
    const float eps2 = epsilon * epsilon;
    for (int it = 0; it < iterations; ++it) {
        const double at = from + (to - from) * it / iterations;
        auto gradients = [&](int i) {
            for (int j = 0; j < ny; ++j) {
                const size_t row = static_cast<size_t>(i) * sx + j * sy;
                for (int k = 0; k < nz; ++k) {
                    const size_t n = row + k;
                    const float u = mu[n];
                    const float gx = i + 1 < nx ? wx * (mu[n + sx] - u) : 0.0f;
                    const float gy = j + 1 < ny ? wy * (mu[n + sy] - u) : 0.0f;
                    const float gz = k + 1 < nz ? wz * (mu[n + 1] - u) : 0.0f;
                    const float inv = 1.0f / std::sqrt(gx * gx + gy * gy + gz * gz + eps2);
                    flux[3 * n] = gx * inv;
                    flux[3 * n + 1] = gy * inv;
                    flux[3 * n + 2] = gz * inv;
                }
            }
        };
        auto descend = [&](int i) {
            for (int j = 0; j < ny; ++j) {
                const size_t row = static_cast<size_t>(i) * sx + j * sy;
                for (int k = 0; k < nz; ++k) {
                    const size_t n = row + k;
                    float derivative =
                        -(wx * flux[3 * n] + wy * flux[3 * n + 1] + wz * flux[3 * n + 2]);
                    if (i > 0) {
                        derivative += wx * flux[3 * (n - sx)];
                    }
                    if (j > 0) {
                        derivative += wy * flux[3 * (n - sy) + 1];
                    }
                    if (k > 0) {
                        derivative += wz * flux[3 * (n - 1) + 2];
                    }
                    mu[n] = std::max(0.0f, mu[n] - step * epsilon * derivative);
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

}  // namespace zor_r3d
