#include "phantom/PhantomImaging.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

#include "zor_r3d/ProjectionIo.h"

namespace zor::phantom {
namespace {

void ForEach(int count, const std::function<void(int)>& body) {
    std::atomic<int> next{0};
    const int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 16);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            for (int i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
                body(i);
            }
        });
    }
    for (auto& th : pool) {
        th.join();
    }
}

// Sums the grid along the horizontal line (sx, sy) + t·(hx, hy), t in [t0, t1], for `rows`
// rows whose height is z_r(t) = (a + b·t) + r·(c + d·t). acc[r] receives sum × step.
void March(const PhantomGrid& g, double sx, double sy, double hx, double hy, double t0, double t1,
           double step, double a, double b, double c, double d, int rows, float* acc,
           std::vector<float>& column) {
    const double inv = 1.0 / g.Pitch;
    // Clip to the grid in x and y.
    auto clip = [&](double s, double h, double lo, double hi) {
        if (std::fabs(h) < 1e-12) {
            if (s < lo || s > hi) {
                t1 = t0 - 1;
            }
            return;
        }
        double ta = (lo - s) / h, tb = (hi - s) / h;
        if (ta > tb) {
            std::swap(ta, tb);
        }
        t0 = std::max(t0, ta);
        t1 = std::min(t1, tb);
    };
    clip(sx, hx, g.X0, g.X0 + (g.Nx - 1.001) * g.Pitch);
    clip(sy, hy, g.Y0, g.Y0 + (g.Ny - 1.001) * g.Pitch);
    const int nz = g.Nz;
    column.resize(static_cast<size_t>(nz) + 1);
    for (double t = t0; t <= t1; t += step) {
        const double fx = (sx + hx * t - g.X0) * inv, fy = (sy + hy * t - g.Y0) * inv;
        const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
        if (ix < 0 || iy < 0 || ix + 1 >= g.Nx || iy + 1 >= g.Ny) {
            continue;
        }
        const size_t c00 = static_cast<size_t>(ix) * g.Ny + iy;
        const size_t c10 = c00 + static_cast<size_t>(g.Ny);
        if (!(g.Used[c00] | g.Used[c00 + 1] | g.Used[c10] | g.Used[c10 + 1])) {
            continue;
        }
        const float tx = static_cast<float>(fx - ix), ty = static_cast<float>(fy - iy);
        const float w00 = (1 - tx) * (1 - ty), w01 = (1 - tx) * ty, w10 = tx * (1 - ty),
                    w11 = tx * ty;
        // Vertical range the rows reach at this t.
        const double zA = ((a + b * t) - g.Z0) * inv, dz = (c + d * t) * inv;
        const double zB = zA + dz * (rows - 1);
        const int klo = std::max(0, static_cast<int>(std::floor(std::min(zA, zB))));
        const int khi = std::min(nz - 1, static_cast<int>(std::ceil(std::max(zA, zB))) + 1);
        if (klo > khi) {
            continue;
        }
        const float* p00 = g.Mu.data() + c00 * nz;
        const float* p01 = p00 + nz;
        const float* p10 = g.Mu.data() + c10 * nz;
        const float* p11 = p10 + nz;
        float* col = column.data();
        for (int k = klo; k <= khi; ++k) {
            col[k] = w00 * p00[k] + w01 * p01[k] + w10 * p10[k] + w11 * p11[k];
        }
        for (int r = 0; r < rows; ++r) {
            const double z = zA + dz * r;
            if (z < klo || z >= khi) {
                continue;
            }
            const int k = static_cast<int>(z);
            const float f = static_cast<float>(z - k);
            acc[r] += static_cast<float>(step) * (col[k] + f * (col[k + 1] - col[k]));
        }
    }
}

}  // namespace

std::vector<std::vector<float>> ProjectViews(const PhantomGrid& grid,
                                             const zor_r3d::Trajectory& t) {
    std::vector<std::vector<float>> views(static_cast<size_t>(t.Views));
    for (auto& v : views) {
        v.assign(static_cast<size_t>(t.DetRows) * t.DetCols, 0.0f);
    }
    const double step = grid.Pitch;
    ForEach(t.Views * t.DetCols, [&](int item) {
        const int view = item / t.DetCols, col = item % t.DetCols;
        const zor_r3d::ViewGeometry vg = zor_r3d::ViewOf(t, view);
        const double uIso = (col - (t.DetCols - 1) * 0.5) * t.PitchU;
        const double qx = t.CentreX + uIso * vg.Ux, qy = t.CentreY + uIso * vg.Uy;
        const double dh = std::hypot(qx - vg.Sx, qy - vg.Sy);
        const double hx = (qx - vg.Sx) / dh, hy = (qy - vg.Sy) / dh;
        const double v0 = (t.DetRows - 1) * 0.5 * t.PitchV;  // vIso of row 0
        const double slope0 = (t.CentreZ + v0 - vg.Sz) / dh, dslope = -t.PitchV / dh;
        std::vector<float> acc(static_cast<size_t>(t.DetRows), 0.0f), column;
        March(grid, vg.Sx, vg.Sy, hx, hy, 0.0, 2.0 * dh, step, vg.Sz, slope0, 0.0, dslope,
              t.DetRows, acc.data(), column);
        std::vector<float>& out = views[static_cast<size_t>(view)];
        for (int r = 0; r < t.DetRows; ++r) {
            const double slope = slope0 + r * dslope;
            out[static_cast<size_t>(r) * t.DetCols + col] =
                acc[static_cast<size_t>(r)] * static_cast<float>(std::sqrt(1.0 + slope * slope));
        }
    });
    return views;
}

std::vector<uint16_t> ToDetectorSamples(const std::vector<float>& p) {
    std::vector<uint16_t> out(p.size());
    for (size_t i = 0; i < p.size(); ++i) {
        const double v = zor_r3d::kFlatValue * std::exp(-static_cast<double>(p[i]));
        out[i] = static_cast<uint16_t>(std::clamp(std::lround(v), 1l, 65535l));
    }
    return out;
}

double Exposure::FlatQuanta() const {
    const double mAs = Ma * Seconds;
    return std::clamp(2500.0 * mAs * (Kv / 70.0) * (Kv / 70.0), 50.0, zor_r3d::kFlatValue);
}

std::vector<uint16_t> ToNoisyDetectorSamples(const std::vector<float>& p, double quanta,
                                             unsigned seed) {
    std::mt19937 random(seed);
    const double gain = zor_r3d::kFlatValue / quanta;
    std::vector<uint16_t> out(p.size());
    for (size_t i = 0; i < p.size(); ++i) {
        const double mean = quanta * std::exp(-static_cast<double>(p[i]));
        const double counted =
            mean > 0.0 ? static_cast<double>(std::poisson_distribution<long>(mean)(random)) : 0.0;
        out[i] = static_cast<uint16_t>(std::clamp(std::lround(counted * gain), 1l, 65535l));
    }
    return out;
}

bool WriteProjections(const PhantomGrid& grid, const zor_r3d::Trajectory& t,
                      const std::string& folder, const Exposure& e, std::string* error) {
    const auto views = ProjectViews(grid, t);
    // Dose-area product in mGy·cm²: a tube-output model for the collimated field at the axis.
    const double fieldCm2 = (t.DetCols * t.PitchU / 10.0) * (t.DetRows * t.PitchV / 10.0);
    const double dap = 1.1e-5 * e.Kv * e.Kv * e.Ma * e.Seconds * fieldCm2;
    for (int i = 0; i < t.Views; ++i) {
        const int view = t.Order[static_cast<size_t>(i)];
        char desc[512];
        std::snprintf(desc, sizeof desc,
                      "orvix=200,source=TALVERN,type=PROJ,pixsize=%.4f,tech_fact_kV=%d,"
                      "tech_fact_mA=%d,tech_fact_s=%.3f,DAP=%.2f,projection_index=%d,"
                      "projection_view=%d,projection_count=%d",
                      t.PitchU * t.MagH, e.Kv, e.Ma, e.Seconds, dap, i + 1, view, t.Views);
        const std::string path = zor_r3d::ProjectionPath(folder, i + 1);
        const auto& p = views[static_cast<size_t>(view)];
        const auto samples =
            e.PhotonNoise
                ? ToNoisyDetectorSamples(p, e.FlatQuanta(), e.Seed + static_cast<unsigned>(view))
                : ToDetectorSamples(p);
        if (!zor_r3d::WriteGrey16Tiff(path, t.DetCols, t.DetRows, samples, desc)) {
            if (error != nullptr) {
                *error = "cannot write " + path;
            }
            return false;
        }
    }
    return true;
}

bool ProjectTrajectoryFile(PhantomKind kind, const std::string& trajectoryPath,
                           const std::string& folder, const Exposure& exposure,
                           std::string* error) {
    zor_r3d::Trajectory t;
    if (!zor_r3d::ReadTrajectoryFile(trajectoryPath, t)) {
        if (error != nullptr) {
            *error = "missing or malformed trajectory " + trajectoryPath;
        }
        return false;
    }
    DentalPhantom phantom(kind);
    auto grid = BuildGrid(phantom);
    return WriteProjections(*grid, t, folder, exposure, error);
}

double PanoramicLayout::ColumnPitch(const DentalPhantom& phantom) {
    return phantom.Curve().HalfLength() / ((kRawCols - 1) * 0.5);
}

double PanoramicLayout::ColumnS(const DentalPhantom& phantom, double raw) {
    return (raw - (kRawCols - 1) * 0.5) * ColumnPitch(phantom);
}

GreyImage RenderPanoramic(const DentalPhantom& phantom, const PhantomGrid& grid) {
    using L = PanoramicLayout;
    GreyImage img;
    img.Width = L::kCols;
    img.Height = L::kRows;
    img.Samples.assign(static_cast<size_t>(img.Width) * img.Height, 0);
    const double topZ = L::kTopZ - L::kMarginTop * L::kRowPitch;
    ForEach(img.Width, [&](int col) {
        const double s = L::ColumnS(phantom, col + L::kMarginLeft);
        double px, py, tx, ty;
        phantom.Curve().PointAt(s, px, py);
        phantom.Curve().TangentAt(s, tx, ty);
        const double nx = -ty, ny = tx;  // outwards
        std::vector<float> acc(static_cast<size_t>(img.Height), 0.0f), column;
        const double t0 = 22.0;
        March(grid, px - t0 * nx, py - t0 * ny, nx, ny, 0.0, 40.0, grid.Pitch * 0.5, topZ, 0.0,
              -L::kRowPitch, 0.0, img.Height, acc.data(), column);
        for (int r = 0; r < img.Height; ++r) {
            const double v = 4095.0 * (1.0 - std::exp(-0.8 * acc[static_cast<size_t>(r)]));
            img.Samples[static_cast<size_t>(r) * img.Width + col] =
                static_cast<uint16_t>(std::clamp(std::lround(v), 0l, 4095l));
        }
    });
    return img;
}

std::vector<float> TrueSlice(const DentalPhantom& phantom, double cx, double cy, double wx,
                             double wy, int columns, int rows, double topZ, double pitch) {
    std::vector<float> out(static_cast<size_t>(columns) * rows);
    for (int c = 0; c < columns; ++c) {
        const double off = (c - (columns - 1) * 0.5) * pitch;
        const ArchPoint p = phantom.Curve().Local(cx + off * wx, cy + off * wy);
        for (int r = 0; r < rows; ++r) {
            out[static_cast<size_t>(r) * columns + c] = phantom.MuLocal(p.S, p.D, topZ - r * pitch);
        }
    }
    return out;
}

std::vector<Tissue> TrueTissues(const DentalPhantom& phantom, double cx, double cy, double wx,
                                double wy, int columns, int rows, double topZ, double pitch) {
    std::vector<Tissue> out(static_cast<size_t>(columns) * rows);
    for (int c = 0; c < columns; ++c) {
        const double off = (c - (columns - 1) * 0.5) * pitch;
        const ArchPoint p = phantom.Curve().Local(cx + off * wx, cy + off * wy);
        for (int r = 0; r < rows; ++r) {
            out[static_cast<size_t>(r) * columns + c] =
                phantom.TissueLocal(p.S, p.D, topZ - r * pitch);
        }
    }
    return out;
}

}  // namespace zor::phantom
