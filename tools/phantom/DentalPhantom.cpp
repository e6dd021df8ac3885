#include "phantom/DentalPhantom.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace zor::phantom {
namespace {

struct ToothRow {
    double width, depth, crown, root;
    int roots;
};

// Per side from the midline: incisors, canine, premolars, molars (mm).
const ToothRow kAdultLower[] = {{5.4, 6.0, 9.0, 12.5, 1},   {5.9, 6.4, 9.5, 14.0, 1},
                                {6.9, 7.7, 11.0, 16.0, 1},  {7.0, 7.8, 8.5, 14.0, 1},
                                {7.1, 8.2, 8.0, 14.5, 1},   {11.2, 10.5, 7.5, 13.0, 2},
                                {10.5, 10.2, 7.0, 13.0, 2}, {10.0, 9.8, 6.5, 11.0, 2}};
const ToothRow kAdultUpper[] = {{8.6, 7.0, 10.5, 13.0, 1}, {6.6, 6.2, 9.0, 13.0, 1},
                                {7.6, 8.1, 10.0, 17.0, 1}, {7.0, 9.0, 8.5, 14.0, 1},
                                {6.6, 8.9, 7.8, 14.0, 1},  {10.4, 11.2, 7.5, 12.5, 2},
                                {9.0, 11.0, 7.0, 12.0, 2}, {8.5, 10.5, 6.5, 11.0, 2}};
const ToothRow kChildLower[] = {{4.2, 4.0, 5.0, 8.0, 1},
                                {4.1, 4.2, 5.5, 8.5, 1},
                                {5.0, 5.0, 6.5, 10.0, 1},
                                {7.7, 7.0, 6.0, 8.0, 2},
                                {9.9, 8.5, 5.5, 8.5, 2}};
const ToothRow kChildUpper[] = {{6.5, 5.0, 6.0, 9.0, 1},
                                {5.1, 4.8, 5.6, 9.0, 1},
                                {7.0, 6.5, 6.5, 11.0, 1},
                                {7.3, 8.5, 6.0, 8.0, 2},
                                {8.2, 9.5, 5.5, 8.5, 2}};
// Successors developing in the bone of a child: incisors, canine, premolars, first molar.
const ToothRow kChildGerms[] = {{5.0, 5.5, 8.0, 0, 1}, {5.5, 5.8, 8.5, 0, 1},
                                {6.5, 7.0, 9.5, 0, 1}, {6.8, 7.5, 7.5, 0, 1},
                                {6.8, 7.8, 7.0, 0, 1}, {10.5, 10.0, 7.0, 0, 1}};

constexpr double kLowerCusp = 9.8, kUpperCusp = 10.2;

void AddRow(std::vector<Tooth>& teeth, const ToothRow* row, int count, bool upper, double cusp,
            double offset, bool germ, double startS) {
    double s = startS;
    for (int i = 0; i < count; ++i) {
        const ToothRow& r = row[i];
        for (int side : {-1, 1}) {
            Tooth t;
            t.S = side * (s + r.width / 2);
            t.Width = r.width;
            t.Depth = r.depth;
            t.CrownHeight = r.crown;
            t.RootLength = r.root;
            t.Roots = r.roots;
            t.Cusp = cusp;
            t.Offset = offset;
            t.Upper = upper;
            t.Germ = germ;
            teeth.push_back(t);
        }
        s += r.width + 0.2;
    }
}

inline double Pow3(double v) {
    return v * v * v;
}

// Crown half-widths at depth q below the tip: fuller in the middle, rounded at the tip.
inline void CrownWidths(const Tooth& t, double q, double& wa, double& wd) {
    const double h = std::clamp(q / t.CrownHeight, 0.0, 1.0);
    const double bulge = 0.82 + 0.18 * 4.0 * h * (1.0 - h);
    const double tip = std::sqrt(std::min(1.0, h / 0.22));
    wa = 0.5 * t.Width * bulge * tip;
    wd = 0.5 * t.Depth * bulge * tip;
}

inline bool InCrown(const Tooth& t, double a, double d, double q, double inset) {
    if (q < inset || q > t.CrownHeight) {
        return false;
    }
    double wa, wd;
    CrownWidths(t, q, wa, wd);
    wa -= inset;
    wd -= inset;
    if (wa <= 0 || wd <= 0) {
        return false;
    }
    return Pow3(std::fabs(a) / wa) + Pow3(std::fabs(d) / wd) <= 1.0;
}

}  // namespace

DentalPhantom::DentalPhantom(PhantomKind kind)
    : m_Kind(kind),
      m_Curve(kind == PhantomKind::Adult ? ArchCurve(28.0, 42.0, 106.0)
                                         : ArchCurve(22.0, 33.0, 84.0)) {
    if (kind == PhantomKind::Adult) {
        AddRow(m_Teeth, kAdultLower, 8, false, kLowerCusp, 0.0, false, 0.1);
        AddRow(m_Teeth, kAdultUpper, 8, true, kUpperCusp, 1.2, false, 0.1);
    } else {
        AddRow(m_Teeth, kChildLower, 5, false, kLowerCusp, 0.0, false, 0.1);
        AddRow(m_Teeth, kChildUpper, 5, true, kUpperCusp, 1.0, false, 0.1);
        AddRow(m_Teeth, kChildGerms, 6, false, -2.5, -0.3, true, 0.3);
        AddRow(m_Teeth, kChildGerms, 6, true, 22.5, 0.8, true, 0.8);
        m_Reach = 40.0;
        m_YMin = -50.0;
        m_YMax = 48.0;
        m_LowerBase = -20.0;
        m_LowerCrest = 1.5;
        m_UpperCrest = 18.2;
        m_UpperTop = 34.0;
        m_CanalZ = -13.0;
        m_CanalStart = 18.0;
    }
    std::sort(m_Teeth.begin(), m_Teeth.end(),
              [](const Tooth& l, const Tooth& r) { return l.S < r.S; });
}

float DentalPhantom::ToothMu(const Tooth& t, double a, double d, double z) const {
    const double q = t.Upper ? z - t.Cusp : t.Cusp - z;  // depth below the tip
    d -= t.Offset;
    if (q < 0.0 || std::fabs(a) > t.Width || std::fabs(d) > t.Depth) {
        return -1.0f;
    }
    const double enamel = t.Germ ? 0.8 : (m_Kind == PhantomKind::Child ? 0.8 : 1.1);
    if (q <= t.CrownHeight) {
        if (!InCrown(t, a, d, q, 0.0)) {
            return -1.0f;
        }
        if (!InCrown(t, a, d, q, enamel)) {
            return Materials::kEnamel;
        }
        if (!t.Germ && q >= 0.45 * t.CrownHeight &&
            InCrown(t, a, d, q, 0.3 * std::min(t.Width, t.Depth))) {
            return Materials::kPulp;
        }
        return t.Germ && InCrown(t, a, d, q, enamel + 1.5) ? Materials::kPulp : Materials::kDentine;
    }
    if (t.Germ || q > t.CrownHeight + t.RootLength) {
        return -1.0f;
    }
    const double g = (q - t.CrownHeight) / t.RootLength;
    auto root = [&](double centre, double ra, double rd) -> float {
        const double e = (a - centre) * (a - centre) / (ra * ra) + d * d / (rd * rd);
        if (e > 1.0) {
            return -1.0f;
        }
        const double canal = 0.24 * (1.0 - 0.5 * g);
        return e <= canal * canal ? Materials::kPulp : Materials::kDentine;
    };
    if (t.Roots == 1 || g < 0.15) {
        return root(0.0, 0.5 * t.Width * 0.72 * (1.0 - 0.78 * std::pow(g, 1.2)),
                    0.5 * t.Depth * 0.8 * (1.0 - 0.7 * g));
    }
    const float first = root(-0.27 * t.Width, 0.5 * t.Width * 0.34 * (1.0 - 0.7 * g),
                             0.5 * t.Depth * 0.75 * (1.0 - 0.6 * g));
    return first >= 0.0f ? first
                         : root(0.27 * t.Width, 0.5 * t.Width * 0.34 * (1.0 - 0.7 * g),
                                0.5 * t.Depth * 0.75 * (1.0 - 0.6 * g));
}

float DentalPhantom::BoneMu(double s, double d, double z) const {
    const double as = std::fabs(s);
    const double reach = m_Curve.HalfLength() - 2.0;
    if (as > reach) {
        return -1.0f;
    }
    auto shape = [](double dd, double zz, double wb, double hz, double inset) {
        const double w = wb - inset, h = hz - inset;
        if (w <= 0 || h <= 0) {
            return false;
        }
        const double u = dd / w, v = zz / h;
        return u * u * u * u + v * v * v * v <= 1.0;
    };
    if (z >= m_LowerBase && z <= m_LowerCrest) {
        const double wb = 5.0 + 1.8 * std::min(1.0, as / 30.0);
        const double zm = 0.5 * (m_LowerCrest + m_LowerBase),
                     hz = 0.5 * (m_LowerCrest - m_LowerBase);
        const double dd = d + 0.5;
        if (!shape(dd, z - zm, wb, hz, 0.0)) {
            return -1.0f;
        }
        if (as >= m_CanalStart) {
            const double cz = m_CanalZ + std::max(0.0, as - 60.0) * 0.4;
            const double r = std::hypot(d + 0.8, z - cz);
            if (r < 1.4) {
                return Materials::kCanal;
            }
            if (r < 1.9) {
                return Materials::kCortical;
            }
        }
        return shape(dd, z - zm, wb, hz, 1.6) ? Materials::kTrabecular : Materials::kCortical;
    }
    if (z >= m_UpperCrest && z <= m_UpperTop && as <= 0.6 * reach) {
        const double wb = 6.0 + 1.8 * std::min(1.0, as / 30.0);
        const double zm = 0.5 * (m_UpperCrest + m_UpperTop), hz = 0.5 * (m_UpperTop - m_UpperCrest);
        const double dd = d - 0.5;
        if (!shape(dd, z - zm, wb, hz, 0.0)) {
            return -1.0f;
        }
        return shape(dd, z - zm, wb, hz, 1.0) ? Materials::kTrabecular : Materials::kCortical;
    }
    return -1.0f;
}

float DentalPhantom::MuLocal(double s, double d, double z) const {
    if (z < kZMin || z > kZMax) {
        return 0.0f;
    }
    // Teeth are sorted along the arch: only neighbours of s can contain the point.
    auto it = std::lower_bound(m_Teeth.begin(), m_Teeth.end(), s - 12.0,
                               [](const Tooth& t, double v) { return t.S < v; });
    for (; it != m_Teeth.end() && it->S <= s + 12.0; ++it) {
        const float mu = ToothMu(*it, s - it->S, d, z);
        if (mu >= 0.0f) {
            return mu;
        }
    }
    const float bone = BoneMu(s, d, z);
    if (bone >= 0.0f) {
        return bone;
    }
    const double reach = m_Curve.HalfLength();
    if (std::fabs(s) <= reach && std::fabs(d) <= 15.0 && z >= kZMin + 2 && z <= kZMax - 2) {
        return Materials::kSoft;
    }
    if (std::fabs(s) <= 50.0 && d >= -30.0 && d <= 0.0 && z >= -24.0 && z <= 7.0) {
        return Materials::kSoft;  // tongue
    }
    return 0.0f;
}

float DentalPhantom::Mu(double x, double y, double z) const {
    const ArchPoint p = m_Curve.Local(x, y);
    return MuLocal(p.S, p.D, z);
}

std::shared_ptr<const PhantomGrid> BuildGrid(const DentalPhantom& phantom, double pitch) {
    auto grid = std::make_shared<PhantomGrid>();
    grid->Pitch = pitch;
    grid->X0 = phantom.XMin();
    grid->Y0 = phantom.YMin();
    grid->Z0 = DentalPhantom::kZMin;
    grid->Nx = static_cast<int>((phantom.XMax() - phantom.XMin()) / pitch) + 1;
    grid->Ny = static_cast<int>((phantom.YMax() - phantom.YMin()) / pitch) + 1;
    grid->Nz = static_cast<int>((DentalPhantom::kZMax - DentalPhantom::kZMin) / pitch) + 1;
    const size_t nz = static_cast<size_t>(grid->Nz);
    grid->Mu.assign(static_cast<size_t>(grid->Nx) * grid->Ny * nz, 0.0f);
    grid->Used.assign(static_cast<size_t>(grid->Nx) * grid->Ny, 0);
    const int threads = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> pool;
    PhantomGrid& g = *grid;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&g, &phantom, t, threads, nz] {
            for (int ix = t; ix < g.Nx; ix += threads) {
                for (int iy = 0; iy < g.Ny; ++iy) {
                    const ArchPoint p =
                        phantom.Curve().Local(g.X0 + ix * g.Pitch, g.Y0 + iy * g.Pitch);
                    if (std::fabs(p.D) > 31.0 ||
                        std::fabs(p.S) > phantom.Curve().HalfLength() + 1) {
                        continue;
                    }
                    float* col = g.Mu.data() + (static_cast<size_t>(ix) * g.Ny + iy) * nz;
                    bool any = false;
                    for (size_t iz = 0; iz < nz; ++iz) {
                        col[iz] =
                            phantom.MuLocal(p.S, p.D, g.Z0 + static_cast<double>(iz) * g.Pitch);
                        any = any || col[iz] != 0.0f;
                    }
                    g.Used[static_cast<size_t>(ix) * g.Ny + iy] = any ? 1 : 0;
                }
            }
        });
    }
    for (auto& th : pool) {
        th.join();
    }
    return grid;
}

}  // namespace zor::phantom
