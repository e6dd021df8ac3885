#include "zor_r3d/PriorModel.h"

#include <algorithm>
#include <cmath>

#include "zor_r3d/TotalVariation.h"

namespace zor_r3d {
namespace {

// Full-size detector coordinate range [lo, hi) (in pixels, pixel c spanning c-0.5..c+0.5) of
// binned pixel b, with the binned detector centred on the full one.
inline double BinStart(int full, int binned, int bin, int b) {
    return (full - binned * bin) * 0.5 + b * bin - 0.5;
}

// Below this line integral (1/mm · mm) a ray crossed air only.
constexpr float kAirLineIntegral = 0.02f;
// Smoothing of the model between passes: 10 steps, contrast scale 0.003/mm.
constexpr int kTvIterations = 10;
constexpr float kTvStep = 0.2f, kTvEpsilon = 0.003f;

inline float Overlap(double a0, double a1, double b0, double b1) {
    return static_cast<float>(std::max(0.0, std::min(a1, b1) - std::max(a0, b0)));
}

// Voxel (i, j, k) index of the coarse grid.
inline size_t At(const GridDesc& gd, int i, int j, int k) {
    return (static_cast<size_t>(i) * gd.Ny + j) * static_cast<size_t>(gd.Nz) + k;
}

// Projects `model` into the views of subset `subset` (every view when negative, one work
// item per view) on the binned detector. Columns marked empty in `used` (if given) are skipped.
bool ProjectAll(const PriorGeometry& g, const std::vector<float>& model,
                std::vector<std::vector<float>>& views, ProgressReporter& progress, double from,
                double to, int subset = -1, const std::vector<unsigned char>* used = nullptr) {
    const Trajectory& b = g.Binned;
    const GridDesc& gd = g.Map.Grid;
    views.resize(static_cast<size_t>(b.Views));
    const std::atomic<bool>& cancel = progress.CancelFlag();
    std::vector<int> list;
    for (int v = 0; v < b.Views; ++v) {
        if (subset < 0 || v % g.Subsets == subset) {
            list.push_back(v);
        }
    }
    auto body = [&](int item) {
        const int v = list[static_cast<size_t>(item)];
        std::vector<float>& out = views[static_cast<size_t>(v)];
        out.assign(static_cast<size_t>(b.DetCols) * b.DetRows, 0.0f);
        for (int i = 0; i < gd.Nx && !cancel.load(std::memory_order_relaxed); ++i) {
            for (int j = 0; j < gd.Ny; ++j) {
                if (used != nullptr && (*used)[static_cast<size_t>(i) * gd.Ny + j] == 0) {
                    continue;
                }
                const float* values = model.data() + At(gd, i, j, 0);
                if (std::any_of(values, values + gd.Nz, [](float x) { return x != 0.0f; })) {
                    ProjectColumn(b, g.Map, values, i, j, v, out.data());
                }
            }
        }
    };
    return RunParallel(static_cast<int>(list.size()), body, progress, from, to);
}

}  // namespace

void PlanPriorGeometry(const Trajectory& t, double coarseMm, double halfSizeMm, int binU, int binV,
                       int subsets, PriorGeometry& g) {
    g.Subsets = std::clamp(subsets, 1, t.Views);
    // At least two binned pixels each way (the model is read back bilinearly).
    g.BinU = std::max(1, std::min(binU, t.DetCols / 2));
    g.BinV = std::max(1, std::min(binV, t.DetRows / 2));
    Trajectory& b = g.Binned;
    b = t;
    b.DetCols = t.DetCols / g.BinU;
    b.DetRows = t.DetRows / g.BinV;
    b.PitchU = t.PitchU * g.BinU;
    b.PitchV = t.PitchV * g.BinV;
    GridDesc gd;
    gd.Nx = gd.Ny = static_cast<int>(std::ceil(2.0 * halfSizeMm / coarseMm));
    gd.Dx = gd.Dy = coarseMm;
    // Vertically the grid covers what the detector rows see from anywhere in the grid.
    const double reach = std::hypot(halfSizeMm, halfSizeMm);
    const double half = 0.5 * b.DetRows * b.PitchV * (t.Sod + reach) / std::max(1.0, t.Sod - reach);
    gd.Dz = b.PitchV;
    gd.Nz = std::min(1024, static_cast<int>(std::ceil(2.0 * half / gd.Dz)));
    gd.CentreX = t.CentreX;
    gd.CentreY = t.CentreY;
    gd.CentreZ = t.CentreZ;
    gd.AxisAngle = t.AxisAngleRad;
    g.Map.Grid = gd;
}

bool BuildPriorGeometry(const Trajectory& t, double coarseMm, double halfSizeMm, int binU, int binV,
                        int subsets, PriorGeometry& g, ProgressReporter& progress, double from,
                        double to) {
    if (!IsValid(t) || !(coarseMm > 0.0) || !(halfSizeMm > coarseMm) || binU < 1 || binU > 16 ||
        binV < 1 || binV > 16) {
        return false;
    }
    PlanPriorGeometry(t, coarseMm, halfSizeMm, binU, binV, subsets, g);
    const Trajectory& b = g.Binned;
    const GridDesc& gd = g.Map.Grid;
    const size_t nxy = static_cast<size_t>(gd.Nx) * gd.Ny;
    const size_t n = static_cast<size_t>(b.Views) * nxy;
    g.Map.ColPos.assign(n, -1.0f);
    g.Map.InvU.assign(n, 1.0f);
    g.Map.HalfWidth.assign(n, 0.5f);
    g.Map.Chord.assign(n, 0.0f);
    const double third = from + (to - from) / 3.0, twoThirds = from + (to - from) * 2.0 / 3.0;
    auto slab = [&g, &b](int i) { BuildMapSlab(b, g.Map, i); };
    if (!RunParallel(gd.Nx, slab, progress, from, third)) {
        return false;
    }
    // SIRT normalisers: ray lengths through the grid and the summed weights per voxel.
    std::vector<float> ones(nxy * gd.Nz, 1.0f);
    std::vector<std::vector<float>> lengths;
    if (!ProjectAll(g, ones, lengths, progress, third, twoThirds)) {
        return false;
    }
    const size_t pixels = static_cast<size_t>(b.DetCols) * b.DetRows;
    g.RowNorm.assign(static_cast<size_t>(b.Views) * pixels, 0.0f);
    for (int v = 0; v < b.Views; ++v) {
        for (size_t p = 0; p < pixels; ++p) {
            const float l = lengths[static_cast<size_t>(v)][p];
            g.RowNorm[static_cast<size_t>(v) * pixels + p] = l > 1e-3f ? 1.0f / l : 0.0f;
        }
    }
    const size_t voxels = nxy * gd.Nz;
    g.ColumnNorm.assign(static_cast<size_t>(g.Subsets) * voxels, 0.0f);
    const std::vector<float> onesView(pixels, 1.0f);
    auto columns = [&](int i) {
        for (int s = 0; s < g.Subsets; ++s) {
            for (int j = 0; j < gd.Ny; ++j) {
                float* acc = g.ColumnNorm.data() + s * voxels + At(gd, i, j, 0);
                for (int v = s; v < b.Views; v += g.Subsets) {
                    BackprojectColumnFootprint(b, g.Map, onesView.data(), i, j, v, acc);
                }
                for (int k = 0; k < gd.Nz; ++k) {
                    acc[k] = acc[k] > 1e-4f ? 1.0f / acc[k] : 0.0f;
                }
            }
        }
    };
    return RunParallel(gd.Nx, columns, progress, twoThirds, to);
}

void BinView(const PriorGeometry& g, const Trajectory& full, const float* view, float* binned) {
    const Trajectory& b = g.Binned;
    std::vector<float> rowSum(static_cast<size_t>(full.DetCols));
    for (int rb = 0; rb < b.DetRows; ++rb) {
        const double r0 = BinStart(full.DetRows, b.DetRows, g.BinV, rb), r1 = r0 + g.BinV;
        std::fill(rowSum.begin(), rowSum.end(), 0.0f);
        for (int r = std::max(0, static_cast<int>(std::floor(r0 + 0.5)));
             r <= std::min(full.DetRows - 1, static_cast<int>(std::floor(r1 + 0.5))); ++r) {
            const float w = Overlap(r0, r1, r - 0.5, r + 0.5);
            const float* src = view + static_cast<size_t>(r) * full.DetCols;
            for (int c = 0; c < full.DetCols; ++c) {
                rowSum[static_cast<size_t>(c)] += w * src[c];
            }
        }
        for (int cb = 0; cb < b.DetCols; ++cb) {
            const double c0 = BinStart(full.DetCols, b.DetCols, g.BinU, cb), c1 = c0 + g.BinU;
            float sum = 0.0f;
            for (int c = std::max(0, static_cast<int>(std::floor(c0 + 0.5)));
                 c <= std::min(full.DetCols - 1, static_cast<int>(std::floor(c1 + 0.5))); ++c) {
                sum += Overlap(c0, c1, c - 0.5, c + 0.5) * rowSum[static_cast<size_t>(c)];
            }
            binned[static_cast<size_t>(rb) * b.DetCols + cb] =
                sum / static_cast<float>(g.BinU * g.BinV);
        }
    }
}

bool SolveCoarse(const PriorGeometry& g, const std::vector<std::vector<float>>& binned, int passes,
                 std::vector<float>& model, ProgressReporter& progress, double from, double to) {
    const Trajectory& b = g.Binned;
    const GridDesc& gd = g.Map.Grid;
    const size_t pixels = static_cast<size_t>(b.DetCols) * b.DetRows;
    const size_t nxy = static_cast<size_t>(gd.Nx) * gd.Ny, voxels = nxy * gd.Nz;
    model.assign(voxels, 0.0f);
    const std::atomic<bool>& cancel = progress.CancelFlag();
    // Space carving: a voxel that a ray with (almost) no attenuation crosses is air and stays
    // 0; columns with nothing left are skipped by the projector.
    std::vector<std::vector<float>> air(static_cast<size_t>(b.Views));
    for (int v = 0; v < b.Views; ++v) {
        air[static_cast<size_t>(v)].resize(pixels);
        for (size_t p = 0; p < pixels; ++p) {
            air[static_cast<size_t>(v)][p] =
                binned[static_cast<size_t>(v)][p] < kAirLineIntegral ? 1.0f : 0.0f;
        }
    }
    std::vector<unsigned char> free(voxels, 0), used(nxy, 0);
    auto carve = [&](int i) {
        std::vector<float> acc(static_cast<size_t>(gd.Nz));
        for (int j = 0; j < gd.Ny; ++j) {
            std::fill(acc.begin(), acc.end(), 0.0f);
            for (int v = 0; v < b.Views; ++v) {
                BackprojectColumnFootprint(b, g.Map, air[static_cast<size_t>(v)].data(), i, j, v,
                                           acc.data());
            }
            bool any = false;
            for (int k = 0; k < gd.Nz; ++k) {
                const bool f =
                    acc[static_cast<size_t>(k)] == 0.0f && g.ColumnNorm[At(gd, i, j, k)] > 0.0f;
                free[At(gd, i, j, k)] = f ? 1 : 0;
                any = any || f;
            }
            used[static_cast<size_t>(i) * gd.Ny + j] = any ? 1 : 0;
        }
    };
    const double span = (to - from) / (passes * g.Subsets + 1);
    if (!RunParallel(gd.Nx, carve, progress, from, from + span)) {
        return false;
    }
    air.clear();
    std::vector<std::vector<float>> estimate;
    constexpr float kRelaxation = 1.0f;
    int step = 1;
    for (int it = 0; it < passes; ++it) {
        for (int s = 0; s < g.Subsets; ++s, ++step) {
            const double f0 = from + span * step, f1 = from + span * (step + 0.5),
                         f2 = from + span * (step + 1);
            if (!ProjectAll(g, model, estimate, progress, f0, f1, s, &used)) {
                return false;
            }
            // Residual per ray, normalised by the ray length.
            for (int v = s; v < b.Views; v += g.Subsets) {
                std::vector<float>& e = estimate[static_cast<size_t>(v)];
                const float* norm = g.RowNorm.data() + static_cast<size_t>(v) * pixels;
                const std::vector<float>& m = binned[static_cast<size_t>(v)];
                for (size_t p = 0; p < pixels; ++p) {
                    e[p] = (m[p] - e[p]) * norm[p];
                }
            }
            const float* columnNorm = g.ColumnNorm.data() + s * voxels;
            auto update = [&](int i) {
                std::vector<float> acc(static_cast<size_t>(gd.Nz));
                for (int j = 0; j < gd.Ny && !cancel.load(std::memory_order_relaxed); ++j) {
                    if (used[static_cast<size_t>(i) * gd.Ny + j] == 0) {
                        continue;
                    }
                    std::fill(acc.begin(), acc.end(), 0.0f);
                    for (int v = s; v < b.Views; v += g.Subsets) {
                        BackprojectColumnFootprint(
                            b, g.Map, estimate[static_cast<size_t>(v)].data(), i, j, v, acc.data());
                    }
                    float* x = model.data() + At(gd, i, j, 0);
                    const float* cn = columnNorm + At(gd, i, j, 0);
                    const unsigned char* fr = free.data() + At(gd, i, j, 0);
                    for (int k = 0; k < gd.Nz; ++k) {
                        x[k] = fr[k] != 0 ? std::max(0.0f, x[k] + kRelaxation * cn[k] *
                                                                      acc[static_cast<size_t>(k)])
                                          : 0.0f;
                    }
                }
            };
            if (!RunParallel(gd.Nx, update, progress, f1, f2)) {
                return false;
            }
        }
        // Between passes, total-variation smoothing keeps the sparse-view streaks of the
        // model from growing with the passes; carved voxels stay air.
        if (it + 1 < passes) {
            Trajectory grid;
            grid.Nx = gd.Nx, grid.Ny = gd.Ny, grid.Nz = gd.Nz;
            grid.Dx = gd.Dx, grid.Dy = gd.Dy, grid.Dz = gd.Dz;
            const double at = from + span * step;
            if (!SmoothTotalVariation(grid, kTvIterations, kTvStep, kTvEpsilon, model, progress, at,
                                      at)) {
                return false;
            }
            for (size_t n = 0; n < voxels; ++n) {
                model[n] = free[n] != 0 ? model[n] : 0.0f;
            }
        }
    }
    return true;
}

bool ProjectModel(const PriorGeometry& g, const Trajectory& full, const std::vector<float>& model,
                  std::vector<std::vector<float>>& views, ProgressReporter& progress, double from,
                  double to) {
    std::vector<std::vector<float>> coarse;
    if (!ProjectAll(g, model, coarse, progress, from, to)) {
        return false;
    }
    const Trajectory& b = g.Binned;
    views.resize(static_cast<size_t>(full.Views));
    // Full-size pixel centre c lies at binned coordinate (c - offset) / bin - 0.5 + 0.5/bin.
    auto toBinned = [&](int c, int fullN, int binnedN, int bin) {
        const double start = (fullN - binnedN * bin) * 0.5 - 0.5;
        return (c - start) / bin - 0.5;
    };
    for (int v = 0; v < full.Views; ++v) {
        std::vector<float>& out = views[static_cast<size_t>(v)];
        const std::vector<float>& in = coarse[static_cast<size_t>(v)];
        out.assign(static_cast<size_t>(full.DetCols) * full.DetRows, 0.0f);
        for (int r = 0; r < full.DetRows; ++r) {
            const double rb = std::clamp(toBinned(r, full.DetRows, b.DetRows, g.BinV), 0.0,
                                         static_cast<double>(b.DetRows - 1));
            const int r0 = std::min(static_cast<int>(rb), b.DetRows - 2);
            const float tr = static_cast<float>(rb - r0);
            const float* a0 = in.data() + static_cast<size_t>(r0) * b.DetCols;
            const float* a1 = a0 + b.DetCols;
            float* dst = out.data() + static_cast<size_t>(r) * full.DetCols;
            for (int c = 0; c < full.DetCols; ++c) {
                const double cb = std::clamp(toBinned(c, full.DetCols, b.DetCols, g.BinU), 0.0,
                                             static_cast<double>(b.DetCols - 1));
                const int c0 = std::min(static_cast<int>(cb), b.DetCols - 2);
                const float tc = static_cast<float>(cb - c0);
                const float top = a0[c0] + tc * (a0[c0 + 1] - a0[c0]);
                const float bottom = a1[c0] + tc * (a1[c0 + 1] - a1[c0]);
                dst[c] = top + tr * (bottom - top);
            }
        }
    }
    return true;
}

void AddModelColumn(const PriorGeometry& g, const Trajectory& t, const std::vector<float>& model,
                    int i, int j, float* out) {
    const GridDesc& gd = g.Map.Grid;
    // Both grids share centre and axes.
    const double a =
        std::clamp((i - (t.Nx - 1) * 0.5) * t.Dx / gd.Dx + (gd.Nx - 1) * 0.5, 0.0, gd.Nx - 1.0);
    const double b =
        std::clamp((j - (t.Ny - 1) * 0.5) * t.Dy / gd.Dy + (gd.Ny - 1) * 0.5, 0.0, gd.Ny - 1.0);
    const int ia = std::min(static_cast<int>(a), gd.Nx - 2);
    const int ib = std::min(static_cast<int>(b), gd.Ny - 2);
    const float ta = static_cast<float>(a - ia), tb = static_cast<float>(b - ib);
    const float w00 = (1 - ta) * (1 - tb), w01 = (1 - ta) * tb, w10 = ta * (1 - tb), w11 = ta * tb;
    const float* c00 = model.data() + At(gd, ia, ib, 0);
    const float* c01 = model.data() + At(gd, ia, ib + 1, 0);
    const float* c10 = model.data() + At(gd, ia + 1, ib, 0);
    const float* c11 = model.data() + At(gd, ia + 1, ib + 1, 0);
    for (int k = 0; k < t.Nz; ++k) {
        const double z = ((t.Nz - 1) * 0.5 - k) * t.Dz + t.CentreZ - gd.CentreZ;
        const double kk = std::clamp((gd.Nz - 1) * 0.5 - z / gd.Dz, 0.0, gd.Nz - 1.0);
        const int k0 = std::min(static_cast<int>(kk), gd.Nz - 2);
        const float tk = static_cast<float>(kk - k0);
        auto at = [&](int q) { return w00 * c00[q] + w01 * c01[q] + w10 * c10[q] + w11 * c11[q]; };
        out[k] += (1 - tk) * at(k0) + tk * at(k0 + 1);
    }
}

}  // namespace zor_r3d
