#include "phantom/Quality.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <utility>

#include "phantom/PhantomImaging.h"
#include "zor_r3d/ProjectionIo.h"
#include "zor_r3d/R3D.h"
#include "zor_r3d/Trajectory.h"
#include "zor_vol/VolumeClass.h"

namespace zor::phantom {
namespace {

// The bead is dense (five times enamel) but stays below what the reconstruction treats as
// metal, so its response is that of tissue.
constexpr double kBeadRadiusMm = 0.2, kBeadMu = 0.5;
constexpr int kErosion = 2;  // pixels (0.3 mm) a tissue must extend around an interior pixel

// Tissues of the plane where the plane's whole thickness (one volume plane along the arch)
// holds one tissue and so does a square of kErosion pixels around it; Air elsewhere.
std::vector<Tissue> PureTissues(const DentalPhantom& phantom, const SliceInfo& info, double wx,
                                double wy, int width, int height, double dx, double pitch) {
    const size_t n = static_cast<size_t>(width) * height;
    std::vector<Tissue> pure;
    const int samples = 7;
    for (int q = 0; q < samples; ++q) {
        const double off = (q - (samples - 1) * 0.5) / samples * dx;
        const auto t = TrueTissues(phantom, info.CenterX - wy * off, info.CenterY + wx * off, wx,
                                   wy, width, height, info.SliceTopZ, pitch);
        if (pure.empty()) {
            pure = t;
            continue;
        }
        for (size_t p = 0; p < n; ++p) {
            if (pure[p] != t[p]) {
                pure[p] = Tissue::Air;
            }
        }
    }
    std::vector<Tissue> out(n, Tissue::Air);
    for (int r = kErosion; r < height - kErosion; ++r) {
        for (int x = kErosion; x < width - kErosion; ++x) {
            const Tissue t = pure[static_cast<size_t>(r) * width + x];
            bool same = t != Tissue::Air;
            for (int dr = -kErosion; dr <= kErosion && same; ++dr) {
                for (int dc = -kErosion; dc <= kErosion && same; ++dc) {
                    same = pure[static_cast<size_t>(r + dr) * width + x + dc] == t;
                }
            }
            out[static_cast<size_t>(r) * width + x] = same ? t : Tissue::Air;
        }
    }
    return out;
}

// Mean, spread and error of the reconstructed interior of `kind` over all comparisons.
TissueStats StatsOf(Tissue kind, const std::vector<SliceComparison>& cs) {
    TissueStats st;
    st.Kind = kind;
    double sumT = 0, sumR = 0, sumRR = 0, sumE = 0;
    for (const auto& c : cs) {
        for (size_t p = 0; p < c.Interior.size(); ++p) {
            if (c.Interior[p] != kind) {
                continue;
            }
            const double r = c.Reconstructed[p], t = c.Truth[p];
            ++st.Pixels;
            sumT += t;
            sumR += r;
            sumRR += r * r;
            sumE += std::fabs(r - t);
        }
    }
    if (st.Pixels == 0) {
        return st;
    }
    const double n = static_cast<double>(st.Pixels);
    st.TrueMean = sumT / n;
    st.ReconstructedMean = sumR / n;
    st.ReconstructedSd =
        std::sqrt(std::max(0.0, sumRR / n - st.ReconstructedMean * st.ReconstructedMean));
    st.MeanAbsError = sumE / n;
    return st;
}

// Grey of a tissue's interior in the montage: the measured tissues bright to dark, the rest
// black.
uint16_t TissueGrey(Tissue t) {
    switch (t) {
        case Tissue::Enamel:
            return 65535;
        case Tissue::Dentine:
            return 48000;
        case Tissue::Cortical:
            return 36000;
        case Tissue::Trabecular:
            return 24000;
        case Tissue::Pulp:
            return 14000;
        case Tissue::Canal:
            return 8000;
        default:
            return 0;
    }
}

double Cnr(const TissueStats& a, const TissueStats& b) {
    if (a.Pixels < 20 || b.Pixels < 20) {
        return std::nan("");
    }
    const double noise = std::sqrt(
        0.5 * (a.ReconstructedSd * a.ReconstructedSd + b.ReconstructedSd * b.ReconstructedSd));
    return std::fabs(a.ReconstructedMean - b.ReconstructedMean) / noise;
}

}  // namespace

double TissueStats::RelativeError() const {
    return Pixels > 0 && TrueMean > 0.0 ? MeanAbsError / TrueMean : std::nan("");
}

QualityMeasures MeasureQuality(const DentalPhantom& phantom, VolumeClass& volume,
                               const std::vector<double>& positions, double slabSigmaMm) {
    QualityMeasures m;
    const auto thin = CompareWithTruth(phantom, volume, positions, 0.0);
    const auto slab = CompareWithTruth(phantom, volume, positions, slabSigmaMm);
    for (size_t i = 0; i < thin.size() && i < slab.size(); ++i) {
        m.Positions.push_back(thin[i].Position);
        m.NccThin.push_back(thin[i].Ncc);
        m.NccSlab.push_back(slab[i].Ncc);
        m.MeanNccThin += thin[i].Ncc / static_cast<double>(thin.size());
        m.MeanNccSlab += slab[i].Ncc / static_cast<double>(slab.size());
    }
    m.Enamel = StatsOf(Tissue::Enamel, thin);
    m.Dentine = StatsOf(Tissue::Dentine, thin);
    m.Pulp = StatsOf(Tissue::Pulp, thin);
    m.Cortical = StatsOf(Tissue::Cortical, thin);
    m.Trabecular = StatsOf(Tissue::Trabecular, thin);
    m.Canal = StatsOf(Tissue::Canal, thin);
    m.PulpDentineCnr = Cnr(m.Pulp, m.Dentine);
    m.CanalBoneCnr = Cnr(m.Canal, m.Trabecular);
    double reconstructed = 0.0, truth = 0.0;
    for (const SliceComparison& c : thin) {
        reconstructed += std::accumulate(c.Reconstructed.begin(), c.Reconstructed.end(), 0.0);
        truth += std::accumulate(c.Truth.begin(), c.Truth.end(), 0.0);
    }
    m.ValueRatio = truth > 0.0 ? reconstructed / truth : std::nan("");
    return m;
}

void ReverseAlongArch(VolumeClass& volume) {
    if (volume.mIsNull()) {
        return;
    }
    const auto header = volume.Header();
    const size_t plane = static_cast<size_t>(header.Ny) * header.Nz;
    const uint16_t* in = volume.Voxels();
    std::vector<uint16_t> out(plane * header.Nx);
    for (size_t i = 0; i < header.Nx; ++i) {
        std::copy(in + (header.Nx - 1 - i) * plane, in + (header.Nx - i) * plane,
                  out.begin() + static_cast<std::ptrdiff_t>(i * plane));
    }
    volume.mAttach(header, std::move(out));
}

namespace {

// Adds to `p` (rows × cols of view `view`) the line integrals of a ball of `mu` (1/mm) and
// `radius` (mm) at device point b, 3 × 3 rays per pixel.
void AddBall(const zor_r3d::Trajectory& t, int view, const double b[3], double radius, double mu,
             std::vector<double>& p) {
    const zor_r3d::ViewGeometry g = zor_r3d::ViewOf(t, view);
    const double s[3] = {g.Sx, g.Sy, g.Sz};
    const double w[3] = {b[0] - s[0], b[1] - s[1], b[2] - s[2]};
    const double ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    for (int row = 0; row < t.DetRows; ++row) {
        for (int col = 0; col < t.DetCols; ++col) {
            double sum = 0.0;
            for (int sub = 0; sub < 9; ++sub) {
                const double u = (col + (sub % 3 - 1) / 3.0 - (t.DetCols - 1) * 0.5) * t.PitchU;
                const double v = ((t.DetRows - 1) * 0.5 - row - (sub / 3 - 1) / 3.0) * t.PitchV;
                double d[3] = {t.CentreX + u * g.Ux - s[0], t.CentreY + u * g.Uy - s[1],
                               t.CentreZ + v - s[2]};
                const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
                const double along = (w[0] * d[0] + w[1] * d[1] + w[2] * d[2]) / len;
                const double dist2 = ww - along * along;
                if (dist2 < radius * radius) {
                    sum += 2.0 * std::sqrt(radius * radius - dist2);
                }
            }
            p[static_cast<size_t>(row) * t.DetCols + col] += mu * sum / 9.0;
        }
    }
}

// Writes the projections of `from` with a bead at the centre of voxel (i0, j0, k0) into `to`:
// the samples are multiplied by e^-bead, so their photon noise stays as it was.
bool WriteBeadProjections(const zor_r3d::Trajectory& t, const std::string& from,
                          const std::string& to, int i0, int j0, int k0, std::string& why) {
    const double a = (i0 - (t.Nx - 1) * 0.5) * t.Dx, b = (j0 - (t.Ny - 1) * 0.5) * t.Dy;
    const double c1 = std::cos(t.AxisAngleRad), s1 = std::sin(t.AxisAngleRad);
    const double centre[3] = {t.CentreX + a * c1 - b * s1, t.CentreY + a * s1 + b * c1,
                              t.CentreZ + ((t.Nz - 1) * 0.5 - k0) * t.Dz};
    for (int f = 1; f <= t.Views; ++f) {
        int w = t.DetCols, h = t.DetRows;
        std::vector<uint16_t> samples;
        std::string desc;
        if (!zor_r3d::ReadGrey16Tiff(zor_r3d::ProjectionPath(from, f), w, h, samples, &desc,
                                     &why)) {
            return false;
        }
        std::vector<double> p(samples.size(), 0.0);
        AddBall(t, t.Order[static_cast<size_t>(f - 1)], centre, kBeadRadiusMm, kBeadMu, p);
        for (size_t n = 0; n < samples.size(); ++n) {
            samples[n] =
                static_cast<uint16_t>(std::max(1l, std::lround(samples[n] * std::exp(-p[n]))));
        }
        if (!zor_r3d::WriteGrey16Tiff(zor_r3d::ProjectionPath(to, f), w, h, samples, desc)) {
            why = "cannot write into " + to;
            return false;
        }
    }
    return true;
}

bool Reconstruct(const std::string& folder, const std::string& trajectory,
                 const std::string& output, VolumeClass& volume, std::string& error) {
    void* h = R3DInit_2012();
    const bool ok = R3DPrepareVolume_2012(h, &volume, folder.c_str(), trajectory.c_str(), nullptr,
                                          nullptr, 0.35, true) &&
                    R3DReconstructVolume_2012(h, &volume, output.c_str(), nullptr, nullptr);
    if (!ok) {
        error = R3DLastError_2012(h);
    }
    R3DRelease_2012(h);
    return ok;
}

// Full width at half maximum (in samples) of the peak at `m`; NaN when a side never falls
// below half.
double Fwhm(const std::vector<double>& f, size_t m) {
    const double half = 0.5 * f[m];
    double left = std::nan(""), right = std::nan("");
    for (size_t i = m; i > 0; --i) {
        if (f[i - 1] < half) {
            left = static_cast<double>(i) - (f[i] - half) / (f[i] - f[i - 1]);
            break;
        }
    }
    for (size_t i = m; i + 1 < f.size(); ++i) {
        if (f[i + 1] < half) {
            right = static_cast<double>(i) + (f[i] - half) / (f[i] - f[i + 1]);
            break;
        }
    }
    return right - left;
}

// 10-90 % width (in samples) of the edge spread: the running sum of the line spread `f`.
double EdgeWidth(const std::vector<double>& f) {
    std::vector<double> esf(f.size());
    double sum = 0.0;
    for (size_t i = 0; i < f.size(); ++i) {
        sum += f[i];
        esf[i] = sum;
    }
    auto crossing = [&](double level) {
        const double target = level * sum;
        for (size_t i = 1; i < esf.size(); ++i) {
            if (esf[i] >= target) {
                return static_cast<double>(i) - (esf[i] - target) / (esf[i] - esf[i - 1]);
            }
        }
        return std::nan("");
    };
    return crossing(0.9) - crossing(0.1);
}

// The response to the bead (withBead - plain) turned into the measures: the slice profile
// summed over ±1 mm in the cross-section, the line spreads across the arch and vertically
// summed over ±1 mm and ±3 mm along the arch, all around the response's peak.
void ResponseToResolution(const VolumeClass& plain, const VolumeClass& withBead, int i0, int j0,
                          int k0, Resolution& out) {
    const auto& hd = plain.Header();
    const size_t ny = hd.Ny, nz = hd.Nz;
    auto diff = [&](size_t i, size_t j, size_t k) {
        const size_t n = (i * ny + j) * nz + k;
        return (static_cast<double>(withBead.Voxels()[n]) - plain.Voxels()[n]) / hd.ValueScale;
    };
    // The response's peak near the bead.
    size_t pi = static_cast<size_t>(i0), pj = static_cast<size_t>(j0), pk = static_cast<size_t>(k0);
    for (int di = -2; di <= 2; ++di)
        for (int dj = -3; dj <= 3; ++dj)
            for (int dk = -3; dk <= 3; ++dk) {
                const size_t i = static_cast<size_t>(i0 + di), j = static_cast<size_t>(j0 + dj),
                             k = static_cast<size_t>(k0 + dk);
                if (diff(i, j, k) > diff(pi, pj, pk)) {
                    pi = i, pj = j, pk = k;
                }
            }
    const int wy = static_cast<int>(std::lround(1.0 / hd.Dy)),
              wz = static_cast<int>(std::lround(1.0 / hd.Dz));
    const int wx = static_cast<int>(std::lround(3.0 / hd.Dx));
    const int ey = static_cast<int>(std::lround(2.0 / hd.Dy)),
              ez = static_cast<int>(std::lround(2.0 / hd.Dz));
    std::vector<double> slice(hd.Nx, 0.0), across(static_cast<size_t>(2 * ey + 1), 0.0),
        vertical(static_cast<size_t>(2 * ez + 1), 0.0);
    for (int i = 0; i < static_cast<int>(hd.Nx); ++i)
        for (int j = -ey; j <= ey; ++j)
            for (int k = -ez; k <= ez; ++k) {
                const int jj = static_cast<int>(pj) + j, kk = static_cast<int>(pk) + k;
                if (jj < 0 || kk < 0 || jj >= static_cast<int>(ny) || kk >= static_cast<int>(nz)) {
                    continue;
                }
                const double v =
                    diff(static_cast<size_t>(i), static_cast<size_t>(jj), static_cast<size_t>(kk));
                const bool nearArch = std::abs(i - static_cast<int>(pi)) <= wx;
                if (std::abs(j) <= wy && std::abs(k) <= wz) {
                    slice[static_cast<size_t>(i)] += v;
                }
                if (nearArch && std::abs(k) <= wz) {
                    across[static_cast<size_t>(j + ey)] += v;
                }
                if (nearArch && std::abs(j) <= wy) {
                    vertical[static_cast<size_t>(k + ez)] += v;
                }
            }
    out.SliceFwhmMm = Fwhm(slice, pi) * hd.Dx;
    out.AcrossFwhmMm = Fwhm(across, static_cast<size_t>(ey)) * hd.Dy;
    out.AcrossEdgeMm = EdgeWidth(across) * hd.Dy;
    out.VerticalEdgeMm = EdgeWidth(vertical) * hd.Dz;
}

}  // namespace

bool MeasureResolution(const std::string& workFolder, const std::string& trajectoryName,
                       Resolution& out, std::string* error) {
    std::string why;
    auto fail = [&](std::string reason) {
        if (error != nullptr) {
            *error = std::move(reason);
        }
        return false;
    };
    zor_r3d::Trajectory t;
    if (!zor_r3d::ReadTrajectoryFile(workFolder + trajectoryName, t, &why)) {
        return fail(why);
    }
    const std::string bead = workFolder + "resolution-bead/";
    std::error_code ec;
    std::filesystem::create_directories(bead, ec);
    std::filesystem::copy_file(workFolder + trajectoryName, bead + trajectoryName,
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        return fail("cannot prepare " + bead);
    }
    struct Cleanup {
        std::string Folder;
        ~Cleanup() {
            std::error_code ignored;
            std::filesystem::remove_all(Folder, ignored);
        }
    } cleanup{bead};
    // The bead sits on the centre of voxel (Nx/2, Ny/2, Nz/2).
    const int i0 = t.Nx / 2, j0 = t.Ny / 2, k0 = t.Nz / 2;
    if (!WriteBeadProjections(t, workFolder, bead, i0, j0, k0, why)) {
        return fail(why);
    }
    VolumeClass plain, withBead;
    if (!Reconstruct(workFolder, trajectoryName, bead + "plain.vol", plain, why) ||
        !Reconstruct(bead, trajectoryName, bead + "bead.vol", withBead, why)) {
        return fail(why);
    }
    ResponseToResolution(plain, withBead, i0, j0, k0, out);
    return true;
}

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
        c.Interior = PureTissues(phantom, info, wx, wy, c.Width, c.Height, h.Dx, h.Dy);
        // Only the part of the plane inside the cylinder of the volume of interest counts.
        const double radius = 0.5 * h.Nx * h.Dx;
        std::vector<float> truthIn, reconIn;
        for (int x = 0; x < c.Width; ++x) {
            const double off = (x - (c.Width - 1) * 0.5) * h.Dy;
            const double px = info.CenterX + off * wx - h.CentreX;
            const double py = info.CenterY + off * wy - h.CentreY;
            if (std::hypot(px, py) > radius) {
                for (int r = 0; r < c.Height; ++r) {
                    c.Interior[static_cast<size_t>(r) * c.Width + x] = Tissue::Air;
                }
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
    width = 4 * w + 3 * gap;
    height = static_cast<int>(cs.size()) * (h + gap) - gap;
    std::vector<uint16_t> img(static_cast<size_t>(width) * height, 0);
    for (size_t s = 0; s < cs.size(); ++s) {
        const auto& c = cs[s];
        // Grey range of the teeth: metal beyond enamel is shown white, like enamel.
        const float hi =
            std::min(*std::max_element(c.Truth.begin(), c.Truth.end()), 1.2f * Materials::kEnamel);
        auto grey = [hi](float v) {
            return static_cast<uint16_t>(std::clamp(v / hi, 0.0f, 1.0f) * 65535.0f);
        };
        for (int r = 0; r < h; ++r) {
            uint16_t* row = img.data() + (s * (h + gap) + static_cast<size_t>(r)) * width;
            for (int x = 0; x < w; ++x) {
                const size_t p = static_cast<size_t>(r) * w + x;
                row[x] = grey(c.Truth[p]);
                row[w + gap + x] = grey(c.Reconstructed[p]);
                row[2 * (w + gap) + x] = grey(std::fabs(c.Reconstructed[p] - c.Truth[p]));
                row[3 * (w + gap) + x] = TissueGrey(c.Interior[p]);
            }
        }
    }
    return img;
}

}  // namespace zor::phantom
