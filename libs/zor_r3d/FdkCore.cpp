#include "zor_r3d/FdkCore.h"

#include <algorithm>
#include <cmath>

namespace zor_r3d {
namespace {

constexpr double kPi = 3.14159265358979323846;

int FftSizeFor(int cols) {
    int n = 64;
    while (n < 2 * cols + 64) {
        n <<= 1;
    }
    return n;
}

// Redundancy weight: views whose rays repeat another view's (180° apart) share the weight;
// a full circle counts every ray twice.
std::vector<float> ViewWeights(const Trajectory& t) {
    std::vector<float> w(static_cast<size_t>(t.Views));
    const double step = t.StepDeg * kPi / 180.0;
    const bool fullCircle = t.StepDeg * t.Views >= 360.0 - 1e-6;
    for (int v = 0; v < t.Views; ++v) {
        int twins = 0;
        for (int o = 0; o < t.Views; ++o) {
            const double diff = std::fabs((o - v) * t.StepDeg);
            if (o != v && std::fabs(std::fmod(diff, 360.0) - 180.0) < 1e-6) {
                ++twins;
            }
        }
        w[static_cast<size_t>(v)] =
            static_cast<float>(step / (1 + twins) * (fullCircle ? 0.5 : 1.0));
    }
    return w;
}

void AllocateMap(const Trajectory& t, const GridDesc& grid, GridMap& map) {
    map.Grid = grid;
    const size_t n = static_cast<size_t>(grid.Nx) * grid.Ny * t.Views;
    map.ColPos.assign(n, -1.0f);
    map.InvU.assign(n, 1.0f);
    map.HalfWidth.assign(n, 0.5f);
    map.Chord.assign(n, 0.0f);
}

}  // namespace

GridDesc VolumeGrid(const Trajectory& t) {
    GridDesc g;
    g.Nx = t.Nx;
    g.Ny = t.Ny;
    g.Nz = t.Nz;
    g.Dx = t.Dx;
    g.Dy = t.Dy;
    g.Dz = t.Dz;
    g.CentreX = t.CentreX;
    g.CentreY = t.CentreY;
    g.CentreZ = t.CentreZ;
    g.AxisAngle = t.AxisAngleRad;
    return g;
}

bool BuildFdkGeometry(const Trajectory& t, double window, bool truncationCorrection,
                      FdkGeometry& g) {
    if (!IsValid(t) || !std::isfinite(window) || window < 0.0 || window > 1.0) {
        return false;
    }
    g.Traj = t;
    g.TruncationCorrection = truncationCorrection;
    const int n = FftSizeFor(t.DetCols);
    g.Transform = std::make_unique<Fft>(n);
    // Ram-Lak kernel sampled at the detector pitch (scaled to the axis), times the pitch for
    // the convolution sum, then apodised in frequency.
    const double tau = t.PitchU;
    std::vector<std::complex<float>> h(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int k = i <= n / 2 ? i : i - n;
        double v = 0.0;
        if (k == 0) {
            v = 1.0 / (4.0 * tau * tau);
        } else if (k % 2 != 0) {
            v = -1.0 / (static_cast<double>(k) * k * kPi * kPi * tau * tau);
        }
        h[static_cast<size_t>(i)] = static_cast<float>(v * tau);
    }
    g.Transform->Transform(h.data(), false);
    g.Response.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int k = i <= n / 2 ? i : n - i;
        const double win = (1.0 - window) + window * std::cos(kPi * k / (n / 2));
        g.Response[static_cast<size_t>(i)] =
            static_cast<float>(h[static_cast<size_t>(i)].real() * win);
    }
    g.ViewWeight = ViewWeights(t);
    g.CosWeight.resize(static_cast<size_t>(t.DetRows) * t.DetCols);
    for (int r = 0; r < t.DetRows; ++r) {
        const double v = ((t.DetRows - 1) * 0.5 - r) * t.PitchV;
        for (int c = 0; c < t.DetCols; ++c) {
            const double u = (c - (t.DetCols - 1) * 0.5) * t.PitchU;
            g.CosWeight[static_cast<size_t>(r) * t.DetCols + c] =
                static_cast<float>(t.Sod / std::sqrt(t.Sod * t.Sod + u * u + v * v));
        }
    }
    AllocateMap(t, VolumeGrid(t), g.Volume);
    return true;
}

void BuildMapSlab(const Trajectory& t, GridMap& map, int i) {
    const GridDesc& gd = map.Grid;
    const size_t nxy = static_cast<size_t>(gd.Nx) * gd.Ny;
    const double c1 = std::cos(gd.AxisAngle), s1 = std::sin(gd.AxisAngle);
    for (int v = 0; v < t.Views; ++v) {
        const ViewGeometry vg = ViewOf(t, v);
        // Projection of the grid axes on the detector's column axis.
        const double e1u = std::fabs(c1 * vg.Ux + s1 * vg.Uy);
        const double e2u = std::fabs(-s1 * vg.Ux + c1 * vg.Uy);
        const double width = gd.Dx * e1u + gd.Dy * e2u;
        const float chord = static_cast<float>(gd.Dx * gd.Dy / width);
        for (int j = 0; j < gd.Ny; ++j) {
            const double a = (i - (gd.Nx - 1) * 0.5) * gd.Dx;
            const double b = (j - (gd.Ny - 1) * 0.5) * gd.Dy;
            const double rx = gd.CentreX - t.CentreX + a * c1 - b * s1;
            const double ry = gd.CentreY - t.CentreY + a * s1 + b * c1;
            const double along = rx * vg.Dx + ry * vg.Dy;
            const double U = (t.Sod + along) / t.Sod;
            const double uIso = (rx * vg.Ux + ry * vg.Uy) / U;
            const size_t at = static_cast<size_t>(v) * nxy + static_cast<size_t>(i) * gd.Ny + j;
            map.ColPos[at] = static_cast<float>(uIso / t.PitchU + (t.DetCols - 1) * 0.5);
            map.InvU[at] = static_cast<float>(1.0 / U);
            map.HalfWidth[at] = static_cast<float>(0.5 * width / (U * t.PitchU));
            map.Chord[at] = chord;
        }
    }
}

bool FilterView(const FdkGeometry& g, const float* p, std::vector<float>& filtered,
                std::vector<std::complex<float>>& buf, const std::atomic<bool>* cancel) {
    const Trajectory& t = g.Traj;
    const int n = g.Transform->Size(), cols = t.DetCols, rows = t.DetRows;
    const int lead = (n - cols) / 2;
    buf.resize(static_cast<size_t>(n));
    filtered.assign(static_cast<size_t>(cols) * rows, 0.0f);
    auto fill = [&](int row, bool imag) {
        const float* src = p + static_cast<size_t>(row) * cols;
        const float* cw = g.CosWeight.data() + static_cast<size_t>(row) * cols;
        auto set = [&](int at, float v) {
            std::complex<float>& z = buf[static_cast<size_t>(at)];
            z = imag ? std::complex<float>(z.real(), v) : std::complex<float>(v, z.imag());
        };
        for (int c = 0; c < cols; ++c) {
            set(lead + c, src[c] * cw[c]);
        }
        // Rays beyond the detector edges are not measured; letting the edge values fade out
        // smoothly avoids the bright rim a hard cut gives after ramp filtering.
        const float left = g.TruncationCorrection ? src[0] * cw[0] : 0.0f;
        const float right = g.TruncationCorrection ? src[cols - 1] * cw[cols - 1] : 0.0f;
        for (int m = 1; m <= lead; ++m) {
            const float fade = 0.5f + 0.5f * std::cos(static_cast<float>(kPi) * m / lead);
            set(lead - m, left * fade);
        }
        const int tail = n - lead - cols;
        for (int m = 1; m <= tail; ++m) {
            const float fade = 0.5f + 0.5f * std::cos(static_cast<float>(kPi) * m / tail);
            set(lead + cols - 1 + m, right * fade);
        }
    };
    for (int r = 0; r < rows; r += 2) {
        if (cancel != nullptr && (r & 15) == 0 && cancel->load(std::memory_order_relaxed)) {
            return false;
        }
        const bool pair = r + 1 < rows;
        std::fill(buf.begin(), buf.end(), std::complex<float>(0.0f, 0.0f));
        fill(r, false);
        if (pair) {
            fill(r + 1, true);
        }
        g.Transform->Transform(buf.data(), false);
        for (int i = 0; i < n; ++i) {
            buf[static_cast<size_t>(i)] *= g.Response[static_cast<size_t>(i)];
        }
        g.Transform->Transform(buf.data(), true);
        for (int c = 0; c < cols; ++c) {
            const std::complex<float> z = buf[static_cast<size_t>(lead + c)];
            filtered[static_cast<size_t>(c) * rows + r] = z.real();
            if (pair) {
                filtered[static_cast<size_t>(c) * rows + r + 1] = z.imag();
            }
        }
    }
    return true;
}

void BackprojectColumn(const FdkGeometry& g, const GridMap& map,
                       const std::vector<std::vector<float>>& views, int i, int j, float* acc,
                       bool weighted) {
    const Trajectory& t = g.Traj;
    const GridDesc& gd = map.Grid;
    const size_t nxy = static_cast<size_t>(gd.Nx) * gd.Ny;
    const size_t ij = static_cast<size_t>(i) * gd.Ny + j;
    const int rows = t.DetRows;
    float blend[4097];
    for (int v = 0; v < t.Views; ++v) {
        const size_t at = static_cast<size_t>(v) * nxy + ij;
        const float fc = map.ColPos[at], invU = map.InvU[at];
        if (!(fc >= 0.0f) || fc > static_cast<float>(t.DetCols - 1)) {
            continue;
        }
        const int ic = std::min(static_cast<int>(fc), t.DetCols - 2);
        const float tc = fc - static_cast<float>(ic);
        const float rs = static_cast<float>(gd.Dz / t.PitchV) * invU;
        const float r0 =
            static_cast<float>((rows - 1) * 0.5 - (gd.CentreZ - t.CentreZ) / t.PitchV * invU) -
            static_cast<float>((gd.Nz - 1) * 0.5) * rs;
        const float weight = weighted ? g.ViewWeight[static_cast<size_t>(v)] * invU * invU : 1.0f;
        const float hu = map.HalfWidth[at];
        if (hu > 0.5f) {
            // The voxel is wider than a detector column: average the columns it covers.
            const float left = fc - hu, right = fc + hu;
            const int c0 = std::max(0, static_cast<int>(std::floor(left + 0.5f)));
            const int c1 = std::min(t.DetCols - 1, static_cast<int>(std::floor(right + 0.5f)));
            std::fill(blend, blend + rows, 0.0f);
            for (int c = c0; c <= c1; ++c) {
                const float w =
                    weight * (std::min(right, c + 0.5f) - std::max(left, c - 0.5f)) / (2.0f * hu);
                if (w <= 0.0f) {
                    continue;
                }
                const float* col =
                    views[static_cast<size_t>(v)].data() + static_cast<size_t>(c) * rows;
                for (int r = 0; r < rows; ++r) {
                    blend[r] += w * col[r];
                }
            }
        } else {
            const float* a = views[static_cast<size_t>(v)].data() + static_cast<size_t>(ic) * rows;
            const float* b = a + rows;
            const float wa = (1.0f - tc) * weight, wb = tc * weight;
            for (int r = 0; r < rows; ++r) {
                blend[r] = wa * a[r] + wb * b[r];
            }
        }
        blend[rows] = 0.0f;
        for (int k = 0; k < gd.Nz; ++k) {
            const float r = r0 + static_cast<float>(k) * rs;
            if (!(r >= 0.0f) || r > static_cast<float>(rows - 1)) {
                continue;
            }
            const int ir = static_cast<int>(r);
            const float tr = r - static_cast<float>(ir);
            acc[k] += blend[ir] + tr * (blend[ir + 1] - blend[ir]);
        }
    }
}

namespace {

// The footprint of voxel column (i, j) in view v: detector columns c0..c1 with their covered
// shares, and rows lo..hi reached by voxel rows whose spans are [top_k, top_k + rs].
struct Footprint {
    int c0 = 0, c1 = -1, lo = 0, hi = -1;
    float left = 0, right = 0, r0 = 0, rs = 1, chord = 0;
};

bool MakeFootprint(const Trajectory& t, const GridMap& map, int i, int j, int v, Footprint& f) {
    const GridDesc& gd = map.Grid;
    const size_t nxy = static_cast<size_t>(gd.Nx) * gd.Ny;
    const size_t at = static_cast<size_t>(v) * nxy + static_cast<size_t>(i) * gd.Ny + j;
    const float fc = map.ColPos[at], invU = map.InvU[at], hu = map.HalfWidth[at];
    const int cols = t.DetCols, rows = t.DetRows;
    if (!(fc + hu >= -0.5f) || fc - hu > static_cast<float>(cols) - 0.5f) {
        return false;
    }
    f.rs = static_cast<float>(gd.Dz / t.PitchV) * invU;
    f.r0 = static_cast<float>((rows - 1) * 0.5 - (gd.CentreZ - t.CentreZ) / t.PitchV * invU) -
           static_cast<float>((gd.Nz - 1) * 0.5) * f.rs - 0.5f * f.rs;  // top of voxel row 0
    f.lo = std::max(0, static_cast<int>(std::floor(f.r0 + 0.5f)));
    f.hi = std::min(rows - 1, static_cast<int>(std::floor(f.r0 + gd.Nz * f.rs + 0.5f)));
    f.left = fc - hu;
    f.right = fc + hu;
    f.c0 = std::max(0, static_cast<int>(std::floor(f.left + 0.5f)));
    f.c1 = std::min(cols - 1, static_cast<int>(std::floor(f.right + 0.5f)));
    f.chord = map.Chord[at];
    return f.lo <= f.hi && f.c0 <= f.c1;
}

inline float Overlap(float a0, float a1, float b0, float b1) {
    return std::max(0.0f, std::min(a1, b1) - std::max(a0, b0));
}

// Rows of padding on each side of a profile: a voxel row whose first pixel lies outside the
// detector is moved to the padding (never read) instead of being tested.
constexpr int kPad = 3;
constexpr int kMaxRows = 4096;
constexpr int kMaxFootprintCols = 64;

// Where voxel rows land on the detector rows when a voxel row covers at most two pixel
// heights (rs <= 2), so each touches at most three pixels: the first pixel p_k (clamped to
// [-kPad, rows]) and the covered lengths in p_k, p_k + 1, p_k + 2. Branch-free per voxel.
struct RowSpread {
    int first = 0, last = 0;  ///< clamped p of voxel rows 0 and nz - 1
};

inline RowSpread SpreadRange(const Footprint& f, int nz, int rows) {
    auto p = [&](int k) {
        const float top = f.r0 + static_cast<float>(k) * f.rs;
        return std::clamp(static_cast<int>(std::floor(top + 0.5f)), -kPad, rows);
    };
    return {p(0), p(nz - 1)};
}

template <typename Body>
inline void ForEachSpread(const Footprint& f, int nz, int rows, Body body) {
    for (int k = 0; k < nz; ++k) {
        const float top = f.r0 + static_cast<float>(k) * f.rs, bottom = top + f.rs;
        const float edge = std::floor(top + 0.5f);
        const int p = std::clamp(static_cast<int>(edge), -kPad, rows);
        const float w0 = std::min(bottom, edge + 0.5f) - top;
        const float w1 = std::clamp(bottom - (edge + 0.5f), 0.0f, 1.0f);
        const float w2 = std::clamp(bottom - (edge + 1.5f), 0.0f, 1.0f);
        body(k, p + kPad, w0, w1, w2);
    }
}

// Calls body(k, r, length) for every voxel row k and detector row r it covers, with the
// covered length: the general case, for voxel rows taller than two pixels.
template <typename Body>
inline void ForEachOverlap(const Footprint& f, int nz, Body body) {
    for (int k = 0; k < nz; ++k) {
        const float top = f.r0 + static_cast<float>(k) * f.rs, bottom = top + f.rs;
        const int first = std::max(f.lo, static_cast<int>(std::floor(top + 0.5f)));
        const int last = std::min(f.hi, static_cast<int>(std::floor(bottom + 0.5f)));
        for (int r = first; r <= last; ++r) {
            body(k, r, Overlap(top, bottom, r - 0.5f, r + 0.5f));
        }
    }
}

// Every covered pixel sees the chord of the voxel times the covered share of the pixel: the
// weight of footprint column c is w[c - c0], in `small` when it fits, else in `large`.
inline const float* ColumnWeights(const Footprint& f, float* small, std::vector<float>& large) {
    const int width = f.c1 - f.c0 + 1;
    float* w = small;
    if (width > kMaxFootprintCols) {
        large.resize(static_cast<size_t>(width));
        w = large.data();
    }
    for (int c = f.c0; c <= f.c1; ++c) {
        w[c - f.c0] = f.chord * Overlap(f.left, f.right, c - 0.5f, c + 0.5f);
    }
    return w;
}

}  // namespace

void ProjectColumn(const Trajectory& t, const GridMap& map, const float* values, int i, int j,
                   int v, float* view) {
    Footprint f;
    if (!MakeFootprint(t, map, i, j, v, f)) {
        return;
    }
    const int nz = map.Grid.Nz, cols = t.DetCols;
    float buffer[kMaxRows + 2 * kPad + 3];
    float* profile = buffer + kPad;  // profile[r], r from -kPad
    if (f.rs <= 2.0f && t.DetRows <= kMaxRows) {
        const RowSpread s = SpreadRange(f, nz, t.DetRows);
        std::fill(buffer + s.first + kPad, buffer + s.last + kPad + 3, 0.0f);
        ForEachSpread(f, nz, t.DetRows, [&](int k, int at, float w0, float w1, float w2) {
            buffer[at] += w0 * values[k];
            buffer[at + 1] += w1 * values[k];
            buffer[at + 2] += w2 * values[k];
        });
    } else {
        std::fill(profile + f.lo, profile + f.hi + 1, 0.0f);
        ForEachOverlap(f, nz,
                       [&](int k, int r, float length) { profile[r] += values[k] * length; });
    }
    float small[kMaxFootprintCols];
    std::vector<float> large;
    const float* w = ColumnWeights(f, small, large);
    const int width = f.c1 - f.c0 + 1;
    for (int r = f.lo; r <= f.hi; ++r) {
        float* dst = view + static_cast<size_t>(r) * cols + f.c0;
        const float value = profile[r];
        for (int c = 0; c < width; ++c) {
            dst[c] += w[c] * value;
        }
    }
}

void BackprojectColumnFootprint(const Trajectory& t, const GridMap& map, const float* view, int i,
                                int j, int v, float* acc) {
    Footprint f;
    if (!MakeFootprint(t, map, i, j, v, f)) {
        return;
    }
    const int nz = map.Grid.Nz, cols = t.DetCols;
    float buffer[kMaxRows + 2 * kPad + 3];
    float* gathered = buffer + kPad;  // gathered[r], r from -kPad
    const bool spread = f.rs <= 2.0f && t.DetRows <= kMaxRows;
    if (spread) {
        // Pixels outside lo..hi (padding, rows off the detector) gather nothing.
        const RowSpread s = SpreadRange(f, nz, t.DetRows);
        std::fill(buffer + s.first + kPad, buffer + s.last + kPad + 3, 0.0f);
    }
    float small[kMaxFootprintCols];
    std::vector<float> large;
    const float* w = ColumnWeights(f, small, large);
    const int width = f.c1 - f.c0 + 1;
    for (int r = f.lo; r <= f.hi; ++r) {
        const float* src = view + static_cast<size_t>(r) * cols + f.c0;
        float sum = 0.0f;
        for (int c = 0; c < width; ++c) {
            sum += w[c] * src[c];
        }
        gathered[r] = sum;
    }
    if (spread) {
        ForEachSpread(f, nz, t.DetRows, [&](int k, int at, float w0, float w1, float w2) {
            acc[k] += w0 * buffer[at] + w1 * buffer[at + 1] + w2 * buffer[at + 2];
        });
    } else {
        ForEachOverlap(f, nz, [&](int k, int r, float length) { acc[k] += gathered[r] * length; });
    }
}

}  // namespace zor_r3d
