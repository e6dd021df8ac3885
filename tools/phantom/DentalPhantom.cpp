#include "phantom/DentalPhantom.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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
            t.Index = i;
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

// Inside the crown shrunk by `inset` mm (a negative inset grows it).
inline bool InCrown(const Tooth& t, double a, double d, double q, double inset) {
    if (q < inset || q > t.CrownHeight) {
        return false;
    }
    double wa, wd;
    CrownWidths(t, std::max(q, 0.0), wa, wd);
    if (inset < 0.0) {
        wa = std::max(wa, 0.5 * t.Width * 0.5);
        wd = std::max(wd, 0.5 * t.Depth * 0.5);
    }
    wa -= inset;
    wd -= inset;
    if (wa <= 0 || wd <= 0) {
        return false;
    }
    return Pow3(std::fabs(a) / wa) + Pow3(std::fabs(d) / wd) <= 1.0;
}

// Deterministic lattice value in [0, 1) for an integer point (a mixing hash).
inline float LatticeValue(int x, int y, int z) {
    uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^
                 static_cast<uint32_t>(z) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return static_cast<float>(h & 0xffffffu) / 16777216.0f;
}

inline double Smooth(double f) {
    return f * f * (3.0 - 2.0 * f);
}

// Smoothly interpolated lattice noise with unit lattice spacing, values in [0, 1).
double ValueNoise(double x, double y, double z) {
    const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy), iz = static_cast<int>(fz);
    const double tx = Smooth(x - fx), ty = Smooth(y - fy), tz = Smooth(z - fz);
    double v = 0.0;
    for (int c = 0; c < 8; ++c) {
        const int dx = c & 1, dy = (c >> 1) & 1, dz = c >> 2;
        const double w = (dx ? tx : 1 - tx) * (dy ? ty : 1 - ty) * (dz ? tz : 1 - tz);
        v += w * LatticeValue(ix + dx, iy + dy, iz + dz);
    }
    return v;
}

// Trabecular bone: plates and rods about 1 mm apart in marrow, following the arch. Two
// octaves of lattice noise, softly thresholded, so the texture is the same on every run.
float TrabecularMu(double s, double d, double z) {
    const double n = 0.65 * ValueNoise(s / 1.3, d / 1.3, z / 1.3) +
                     0.35 * ValueNoise(s / 0.6 + 17.0, d / 0.6 + 5.0, z / 0.6 + 11.0);
    const double w = Smooth(std::clamp((n - 0.42) / 0.2, 0.0, 1.0));
    return static_cast<float>(Materials::kMarrow +
                              (Materials::kTrabecula - Materials::kMarrow) * w);
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
    // One patient's history, different on the two sides.
    if (kind == PhantomKind::Adult) {
        Find(false, -1, 1)->Width = 0.0;  // lower right lateral incisor lost
        Find(false, -1, 3)->Treated = Restoration::Implant;
        Find(false, 1, 5)->Treated = Restoration::Filling;
        Find(true, -1, 0)->Treated = Restoration::Crown;
        Find(true, 1, 2)->Offset += 2.0;  // upper left canine standing out towards the lip
        Tooth* treated = Find(false, 1, 0);
        treated->Treated = Restoration::RootCanal;
        // Periapical lesion below the apex of the treated incisor.
        const double apex = treated->Cusp - treated->CrownHeight - treated->RootLength;
        m_Balls.push_back({treated->S, treated->Offset, apex - 0.9, 2.2, Tissue::Lesion});
    } else {
        Find(true, -1, 0)->Width = 0.0;  // upper right primary central incisor shed
        Find(false, 1, 3)->Treated = Restoration::Filling;
    }
    m_Teeth.erase(std::remove_if(m_Teeth.begin(), m_Teeth.end(),
                                 [](const Tooth& t) { return t.Width <= 0.0; }),
                  m_Teeth.end());
    std::sort(m_Teeth.begin(), m_Teeth.end(),
              [](const Tooth& l, const Tooth& r) { return l.S < r.S; });
}

Tooth* DentalPhantom::Find(bool upper, int side, int index) {
    for (Tooth& t : m_Teeth) {
        if (t.Upper == upper && !t.Germ && t.Index == index && (t.S > 0) == (side > 0)) {
            return &t;
        }
    }
    return nullptr;
}

DentalPhantom::Sample DentalPhantom::ToothAt(const Tooth& t, double a, double d, double z) const {
    const double q = t.Upper ? z - t.Cusp : t.Cusp - z;  // depth below the tip
    d -= t.Offset;
    const double follicle = t.Germ ? 0.9 : 0.0;  // the soft sac around a developing crown
    if (q < -follicle || std::fabs(a) > t.Width || std::fabs(d) > t.Depth) {
        return {};
    }
    const double enamel = t.Germ ? 0.8 : (m_Kind == PhantomKind::Child ? 0.8 : 1.1);
    if (q <= t.CrownHeight) {
        if (!InCrown(t, a, d, q, 0.0)) {
            return t.Germ && InCrown(t, a, d, q, -follicle) ? Sample{Tissue::Soft, Materials::kSoft}
                                                            : Sample{};
        }
        if (t.Treated == Restoration::Implant || t.Treated == Restoration::Crown) {
            return {Tissue::Filling, Materials::kCeramic};
        }
        // Occlusal amalgam, open towards the midline (mesial).
        const double distal = t.S >= 0.0 ? a : -a;
        if (t.Treated == Restoration::Filling && q < 2.6 && distal > -0.5 * t.Width &&
            distal < 0.12 * t.Width && std::fabs(d) < 0.22 * t.Depth) {
            return {Tissue::Filling, Materials::kAmalgam};
        }
        if (!InCrown(t, a, d, q, enamel)) {
            return {Tissue::Enamel, Materials::kEnamel};
        }
        if (!t.Germ && q >= 0.45 * t.CrownHeight &&
            InCrown(t, a, d, q, 0.3 * std::min(t.Width, t.Depth))) {
            return t.Treated == Restoration::RootCanal
                       ? Sample{Tissue::Filling, Materials::kGuttaPercha}
                       : Sample{Tissue::Pulp, Materials::kPulp};
        }
        return t.Germ && InCrown(t, a, d, q, enamel + 1.5)
                   ? Sample{Tissue::Pulp, Materials::kPulp}
                   : Sample{Tissue::Dentine, Materials::kDentine};
    }
    if (t.Germ || q > t.CrownHeight + t.RootLength) {
        return {};
    }
    const double g = (q - t.CrownHeight) / t.RootLength;
    if (t.Treated == Restoration::Implant) {
        // A tapered screw with 0.8 mm threads.
        const double thread = std::fmod(q - t.CrownHeight, 0.8) < 0.4 ? 0.3 : 0.0;
        const double r = 0.5 * std::min(t.Width, t.Depth) * 0.5 * (1.0 - 0.25 * g) + thread;
        return std::hypot(a, d) <= r && g < 0.85 ? Sample{Tissue::Filling, Materials::kImplant}
                                                 : Sample{};
    }
    auto root = [&](double centre, double ra, double rd) -> Sample {
        const double e = (a - centre) * (a - centre) / (ra * ra) + d * d / (rd * rd);
        if (e > 1.0) {
            return {};
        }
        const double canal = 0.24 * (1.0 - 0.5 * g);
        if (e > canal * canal) {
            return {Tissue::Dentine, Materials::kDentine};
        }
        const bool filled = t.Treated == Restoration::RootCanal || t.Treated == Restoration::Crown;
        return filled ? Sample{Tissue::Filling, Materials::kGuttaPercha}
                      : Sample{Tissue::Pulp, Materials::kPulp};
    };
    if (t.Roots == 1 || g < 0.15) {
        return root(0.0, 0.5 * t.Width * 0.72 * (1.0 - 0.78 * std::pow(g, 1.2)),
                    0.5 * t.Depth * 0.8 * (1.0 - 0.7 * g));
    }
    const Sample first = root(-0.27 * t.Width, 0.5 * t.Width * 0.34 * (1.0 - 0.7 * g),
                              0.5 * t.Depth * 0.75 * (1.0 - 0.6 * g));
    return first.Mu >= 0.0f ? first
                            : root(0.27 * t.Width, 0.5 * t.Width * 0.34 * (1.0 - 0.7 * g),
                                   0.5 * t.Depth * 0.75 * (1.0 - 0.6 * g));
}

DentalPhantom::Sample DentalPhantom::BoneAt(double s, double d, double z) const {
    const double as = std::fabs(s);
    const double reach = m_Curve.HalfLength() - 2.0;
    if (as > reach) {
        return {};
    }
    auto shape = [](double dd, double zz, double wb, double hz, double inset) {
        const double w = wb - inset, h = hz - inset;
        if (w <= 0 || h <= 0) {
            return false;
        }
        const double u = dd / w, v = zz / h;
        return u * u * u * u + v * v * v * v <= 1.0;
    };
    const Sample cortical{Tissue::Cortical, Materials::kCortical};
    auto trabecular = [&] { return Sample{Tissue::Trabecular, TrabecularMu(s, d, z)}; };
    if (z >= m_LowerBase && z <= m_LowerCrest) {
        const double wb = 5.0 + 1.8 * std::min(1.0, as / 30.0);
        const double zm = 0.5 * (m_LowerCrest + m_LowerBase),
                     hz = 0.5 * (m_LowerCrest - m_LowerBase);
        const double dd = d + 0.5;
        if (!shape(dd, z - zm, wb, hz, 0.0)) {
            return {};
        }
        if (as >= m_CanalStart) {
            const double cz = m_CanalZ + std::max(0.0, as - 60.0) * 0.4;
            const double r = std::hypot(d + 0.8, z - cz);
            if (r < 1.4) {
                return {Tissue::Canal, Materials::kCanal};
            }
            if (r < 1.9) {
                return cortical;
            }
        }
        return shape(dd, z - zm, wb, hz, 1.6) ? trabecular() : cortical;
    }
    if (z >= m_UpperCrest && z <= m_UpperTop && as <= 0.6 * reach) {
        const double wb = 6.0 + 1.8 * std::min(1.0, as / 30.0);
        const double zm = 0.5 * (m_UpperCrest + m_UpperTop), hz = 0.5 * (m_UpperTop - m_UpperCrest);
        const double dd = d - 0.5;
        if (!shape(dd, z - zm, wb, hz, 0.0)) {
            return {};
        }
        return shape(dd, z - zm, wb, hz, 1.0) ? trabecular() : cortical;
    }
    return {};
}

DentalPhantom::Sample DentalPhantom::At(double s, double d, double z) const {
    if (z < kZMin || z > kZMax) {
        return {Tissue::Air, 0.0f};
    }
    // Teeth are sorted along the arch: only neighbours of s can contain the point.
    auto it = std::lower_bound(m_Teeth.begin(), m_Teeth.end(), s - 12.0,
                               [](const Tooth& t, double v) { return t.S < v; });
    for (; it != m_Teeth.end() && it->S <= s + 12.0; ++it) {
        const Sample tooth = ToothAt(*it, s - it->S, d, z);
        if (tooth.Mu >= 0.0f) {
            return tooth;
        }
    }
    const Sample bone = BoneAt(s, d, z);
    if (bone.Mu >= 0.0f) {
        for (const Ball& b : m_Balls) {
            if ((s - b.S) * (s - b.S) + (d - b.D) * (d - b.D) + (z - b.Z) * (z - b.Z) <=
                b.Radius * b.Radius) {
                return {b.Kind, b.Kind == Tissue::Lesion ? Materials::kLesion : Materials::kSoft};
            }
        }
        return bone;
    }
    const double reach = m_Curve.HalfLength();
    if (std::fabs(s) <= reach && std::fabs(d) <= 15.0 && z >= kZMin + 2 && z <= kZMax - 2) {
        return {Tissue::Soft, Materials::kSoft};
    }
    if (std::fabs(s) <= 50.0 && d >= -30.0 && d <= 0.0 && z >= -24.0 && z <= 7.0) {
        return {Tissue::Soft, Materials::kSoft};  // tongue
    }
    return {Tissue::Air, 0.0f};
}

float DentalPhantom::MuLocal(double s, double d, double z) const {
    return At(s, d, z).Mu;
}

Tissue DentalPhantom::TissueLocal(double s, double d, double z) const {
    return At(s, d, z).Kind;
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
