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

// Redundancy weight: views whose rays repeat another view's (180° apart) share the weight.
std::vector<float> ViewWeights(const Trajectory& t) {
    std::vector<float> w(static_cast<size_t>(t.Views));
    const double step = t.StepDeg * kPi / 180.0;
    for (int v = 0; v < t.Views; ++v) {
        int twins = 0;
        for (int o = 0; o < t.Views; ++o) {
            const double diff = std::fabs((o - v) * t.StepDeg);
            if (o != v && std::fabs(std::fmod(diff, 360.0) - 180.0) < 1e-6) {
                ++twins;
            }
        }
        w[static_cast<size_t>(v)] = static_cast<float>(step / (1 + twins));
    }
    return w;
}

// Row pattern used for both the forward and the adjoint operator: detector row position of
// voxel row k is r0 + k * rs.
struct ColumnMap {
    int ic;
    float tc, r0, rs, weight;
};

inline bool MapColumn(const FdkGeometry& g, int v, size_t ij, bool weighted, ColumnMap& m) {
    const Trajectory& t = g.Traj;
    const size_t nxy = static_cast<size_t>(t.Nx) * t.Ny;
    const float fc = g.ColPos[static_cast<size_t>(v) * nxy + ij];
    const float invU = g.InvU[static_cast<size_t>(v) * nxy + ij];
    if (!(fc >= 0.0f) || fc > static_cast<float>(t.DetCols - 1)) {
        return false;
    }
    m.ic = std::min(static_cast<int>(fc), t.DetCols - 2);
    m.tc = fc - static_cast<float>(m.ic);
    const float rowsPerMm = invU / static_cast<float>(t.PitchV);
    m.rs = static_cast<float>(t.Dz) * rowsPerMm;
    m.r0 = static_cast<float>((t.DetRows - 1) * 0.5) - static_cast<float>((t.Nz - 1) * 0.5) * m.rs;
    m.weight = weighted ? g.ViewWeight[static_cast<size_t>(v)] * invU * invU : 1.0f;
    return true;
}

}  // namespace

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
        g.Response[static_cast<size_t>(i)] = static_cast<float>(h[static_cast<size_t>(i)].real() * win);
    }
    g.ViewWeight = ViewWeights(t);
    const size_t nxy = static_cast<size_t>(t.Nx) * t.Ny;
    g.ColPos.assign(nxy * t.Views, -1.0f);
    g.InvU.assign(nxy * t.Views, 1.0f);
    g.CosWeight.resize(static_cast<size_t>(t.DetRows) * t.DetCols);
    for (int r = 0; r < t.DetRows; ++r) {
        const double v = ((t.DetRows - 1) * 0.5 - r) * t.PitchV;
        for (int c = 0; c < t.DetCols; ++c) {
            const double u = (c - (t.DetCols - 1) * 0.5) * t.PitchU;
            g.CosWeight[static_cast<size_t>(r) * t.DetCols + c] =
                static_cast<float>(t.Sod / std::sqrt(t.Sod * t.Sod + u * u + v * v));
        }
    }
    return true;
}

void BuildSlabGeometry(FdkGeometry& g, int i) {
    const Trajectory& t = g.Traj;
    const size_t nxy = static_cast<size_t>(t.Nx) * t.Ny;
    const double c1 = std::cos(t.AxisAngleRad), s1 = std::sin(t.AxisAngleRad);
    for (int v = 0; v < t.Views; ++v) {
        const ViewGeometry vg = ViewOf(t, v);
        for (int j = 0; j < t.Ny; ++j) {
            const double a = (i - (t.Nx - 1) * 0.5) * t.Dx;
            const double b = (j - (t.Ny - 1) * 0.5) * t.Dy;
            const double rx = a * c1 - b * s1, ry = a * s1 + b * c1;
            const double along = rx * vg.Dx + ry * vg.Dy;
            const double U = (t.Sod + along) / t.Sod;
            const double uIso = (rx * vg.Ux + ry * vg.Uy) / U;
            const size_t at = static_cast<size_t>(v) * nxy + static_cast<size_t>(i) * t.Ny + j;
            g.ColPos[at] = static_cast<float>(uIso / t.PitchU + (t.DetCols - 1) * 0.5);
            g.InvU[at] = static_cast<float>(1.0 / U);
        }
    }
}

void FilterView(const FdkGeometry& g, const std::vector<float>& p, std::vector<float>& filtered,
                std::vector<std::complex<float>>& buf) {
    const Trajectory& t = g.Traj;
    const int n = g.Transform->Size(), cols = t.DetCols, rows = t.DetRows;
    const int lead = (n - cols) / 2;
    buf.resize(static_cast<size_t>(n));
    filtered.assign(static_cast<size_t>(cols) * rows, 0.0f);
    auto fill = [&](int row, bool imag) {
        const float* src = p.data() + static_cast<size_t>(row) * cols;
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
            const float fade = 0.5f + 0.5f * std::cos(static_cast<float>(M_PI) * m / lead);
            set(lead - m, left * fade);
        }
        const int tail = n - lead - cols;
        for (int m = 1; m <= tail; ++m) {
            const float fade = 0.5f + 0.5f * std::cos(static_cast<float>(M_PI) * m / tail);
            set(lead + cols - 1 + m, right * fade);
        }
    };
    for (int r = 0; r < rows; r += 2) {
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
}

void BackprojectColumn(const FdkGeometry& g, const std::vector<std::vector<float>>& views, int i,
                       int j, float* acc, bool weighted) {
    const Trajectory& t = g.Traj;
    const size_t ij = static_cast<size_t>(i) * t.Ny + j;
    const int rows = t.DetRows;
    float blend[4097];
    for (int v = 0; v < t.Views; ++v) {
        ColumnMap m;
        if (!MapColumn(g, v, ij, weighted, m)) {
            continue;
        }
        const float* a = views[static_cast<size_t>(v)].data() + static_cast<size_t>(m.ic) * rows;
        const float* b = a + rows;
        const float wa = (1.0f - m.tc) * m.weight, wb = m.tc * m.weight;
        for (int r = 0; r < rows; ++r) {
            blend[r] = wa * a[r] + wb * b[r];
        }
        blend[rows] = 0.0f;
        for (int k = 0; k < t.Nz; ++k) {
            const float r = m.r0 + static_cast<float>(k) * m.rs;
            if (!(r >= 0.0f) || r > static_cast<float>(rows - 1)) {
                continue;
            }
            const int ir = static_cast<int>(r);
            const float tr = r - static_cast<float>(ir);
            acc[k] += blend[ir] + tr * (blend[ir + 1] - blend[ir]);
        }
    }
}

void ProjectColumn(const FdkGeometry& g, const float* values, int i, int j,
                   std::vector<std::vector<float>>& views) {
    const Trajectory& t = g.Traj;
    const size_t ij = static_cast<size_t>(i) * t.Ny + j;
    const int rows = t.DetRows;
    for (int v = 0; v < t.Views; ++v) {
        ColumnMap m;
        if (!MapColumn(g, v, ij, false, m)) {
            continue;
        }
        float* a = views[static_cast<size_t>(v)].data() + static_cast<size_t>(m.ic) * rows;
        float* b = a + rows;
        for (int k = 0; k < t.Nz; ++k) {
            const float r = m.r0 + static_cast<float>(k) * m.rs;
            if (!(r >= 0.0f) || r > static_cast<float>(rows - 1)) {
                continue;
            }
            const int ir = std::min(static_cast<int>(r), rows - 1);
            const float tr = r - static_cast<float>(ir);
            const float lo = values[k] * (1.0f - tr), hi = values[k] * tr;
            a[ir] += (1.0f - m.tc) * lo;
            b[ir] += m.tc * lo;
            if (ir + 1 < rows) {
                a[ir + 1] += (1.0f - m.tc) * hi;
                b[ir + 1] += m.tc * hi;
            }
        }
    }
}

}  // namespace zor_r3d
