// The quality measures themselves (a perfect volume, a blurred one, a mirrored one) and the
// demo acquisition through the whole chain against both phantoms, with photon noise: the
// thresholds are the figures of docs/reconstruction-quality.md less a margin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "phantom/DemoData.h"
#include "phantom/DentalPhantom.h"
#include "phantom/PhantomImaging.h"
#include "phantom/Quality.h"
#include "support/TempDir.h"
#include "zor_r3d/R3D.h"
#include "zor_r3d/Trajectory.h"
#include "zor_vol/VolumeClass.h"

using namespace zor::phantom;

namespace {

constexpr double kMag = 1.436031331592689;
constexpr int kDemoColumn = 1304;     // display column of the demo acquisition
constexpr int kMidlineColumn = 1272;  // raw column 1346, the middle of the arch
const std::vector<double> kPositions = {0.1, 0.3, 0.5, 0.7, 0.9};

// CreateTrajectory at `column` as the system calls it; the trajectory it wrote.
zor_r3d::Trajectory PlanAt(const DentalPhantom& phantom, int column, const std::string& dir) {
    const auto lut = MakeLut(phantom, "");
    const auto& e = lut.Entries[static_cast<size_t>(column + PanoramicLayout::kMarginLeft)];
    const int order[11] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    int xs, ys, rs, cols, ok = 1;
    EXPECT_EQ(CreateTrajectory(0, e.X, e.Y, -M_PI - e.Angle, 35.0, 20.0, 11, order,
                               std::wstring(dir.begin(), dir.end()), 2.4, kMag, kMag, &xs, &ys, &rs,
                               &cols, &ok),
              0);
    zor_r3d::Trajectory t;
    EXPECT_TRUE(zor_r3d::ReadTrajectoryFile(dir + "ConeBeam.tra", t));
    return t;
}

// The phantom itself on the volume grid of `t`, each voxel averaged over its extent along the
// arch, optionally blurred along the arch with a Gaussian of `blurMm`.
void PerfectVolume(const DentalPhantom& phantom, const zor_r3d::Trajectory& t, double blurMm,
                   VolumeClass& volume) {
    zor_vol_file::VolumeHeader h;
    h.Nx = t.Nx, h.Ny = t.Ny, h.Nz = t.Nz;
    h.Dx = t.Dx, h.Dy = t.Dy, h.Dz = t.Dz;
    h.CentreX = t.CentreX, h.CentreY = t.CentreY, h.CentreZ = t.CentreZ;
    h.AxisAngle = t.AxisAngleRad;
    const double c = std::cos(t.AxisAngleRad), s = std::sin(t.AxisAngleRad);
    const size_t plane = static_cast<size_t>(t.Ny) * t.Nz;
    std::vector<float> mu(plane * t.Nx, 0.0f);
    for (int i = 0; i < t.Nx; ++i)
        for (int j = 0; j < t.Ny; ++j)
            for (int q = 0; q < 3; ++q) {
                const double a = (i - (t.Nx - 1) * 0.5 + (q - 1) / 3.0) * t.Dx;
                const double b = (j - (t.Ny - 1) * 0.5) * t.Dy;
                const ArchPoint p =
                    phantom.Curve().Local(t.CentreX + a * c - b * s, t.CentreY + a * s + b * c);
                float* col = mu.data() + (static_cast<size_t>(i) * t.Ny + j) * t.Nz;
                for (int k = 0; k < t.Nz; ++k)
                    col[k] +=
                        phantom.MuLocal(p.S, p.D, t.CentreZ + ((t.Nz - 1) * 0.5 - k) * t.Dz) / 3.0f;
            }
    std::vector<float> out = mu;
    if (blurMm > 0.0) {
        for (int i = 0; i < t.Nx; ++i) {
            std::vector<double> acc(plane, 0.0);
            double weights = 0.0;
            for (int src = 0; src < t.Nx; ++src) {
                const double d = (src - i) * t.Dx, w = std::exp(-0.5 * d * d / (blurMm * blurMm));
                weights += w;
                for (size_t p = 0; p < plane; ++p)
                    acc[p] += w * mu[static_cast<size_t>(src) * plane + p];
            }
            for (size_t p = 0; p < plane; ++p)
                out[static_cast<size_t>(i) * plane + p] = static_cast<float>(acc[p] / weights);
        }
    }
    std::vector<uint16_t> voxels(out.size());
    for (size_t n = 0; n < out.size(); ++n)
        voxels[n] = static_cast<uint16_t>(std::lround(out[n] * h.ValueScale + h.ValueOffset));
    ASSERT_TRUE(volume.mAttach(h, std::move(voxels)));
}

// The reconstructed cross-section mirrored left to right, or upside down.
std::vector<float> Flipped(const SliceComparison& s, bool upsideDown) {
    std::vector<float> out(s.Reconstructed.size());
    for (size_t i = 0; i < out.size(); ++i) {
        const size_t r = i / s.Width, c = i % s.Width;
        out[i] = s.Reconstructed[upsideDown ? (s.Height - 1 - r) * s.Width + c
                                            : r * s.Width + s.Width - 1 - c];
    }
    return out;
}

double Min(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

}  // namespace

// The measures score the truth itself near 1 and without tissue error; a volume blurred
// along the arch loses against the thin truth (while the slab truth would flatter it); the
// mirrored truth fails clearly, at the midline too, where only the left/right differences of
// the phantom tell the sides apart.
TEST(QualityMeasures, TruthScoresHighBlurAndMirrorDoNot) {
    for (PhantomKind kind : {PhantomKind::Adult, PhantomKind::Child}) {
        const char* name = kind == PhantomKind::Adult ? "adult" : "child";
        const DentalPhantom phantom(kind);
        const zor::test::TempDir tmp;
        const auto t = PlanAt(phantom, kMidlineColumn, tmp.Slash());
        VolumeClass truth, blurred;
        PerfectVolume(phantom, t, 0.0, truth);
        PerfectVolume(phantom, t, 2.0, blurred);
        const auto perfect = MeasureQuality(phantom, truth, kPositions);
        EXPECT_GE(Min(perfect.NccThin), 0.97) << name;  // NaN fails
        EXPECT_LT(perfect.Enamel.RelativeError(), 0.03) << name;
        EXPECT_LT(perfect.Dentine.RelativeError(), 0.03) << name;
        EXPECT_LT(perfect.Pulp.RelativeError(), 0.05) << name;
        EXPECT_GT(perfect.PulpDentineCnr, 10.0) << name;
        const auto soft = MeasureQuality(phantom, blurred, kPositions);
        EXPECT_LT(soft.MeanNccThin, perfect.MeanNccThin - 0.08) << name;
        EXPECT_GT(soft.Pulp.RelativeError(), 0.3) << name;
        ReverseAlongArch(truth);
        const auto mirrored = MeasureQuality(phantom, truth, kPositions);
        EXPECT_LT(mirrored.MeanNccThin, perfect.MeanNccThin - 0.15) << name;
        std::printf("%s, midline: thin NCC truth %.3f, blurred 2 mm %.3f, mirrored %.3f\n", name,
                    perfect.MeanNccThin, soft.MeanNccThin, mirrored.MeanNccThin);
    }
}

TEST(ReconstructionQuality, DemoAcquisitionWithNoiseMatchesThePhantom) {
    const struct {
        PhantomKind kind;
        const char* name;
        double minThin, minMeanThin, maxEnamel, maxDentine, minPulpCnr;
    } cases[] = {
        {PhantomKind::Adult, "adult", 0.71, 0.78, 0.40, 0.20, 0.5},
        {PhantomKind::Child, "child", 0.77, 0.81, 0.40, 0.20, 1.3},
    };
    for (const auto& c : cases) {
        const zor::test::TempDir tmp;
        const std::string dir = tmp.Slash();
        const DentalPhantom phantom(c.kind);
        PlanAt(phantom, kDemoColumn, dir);
        std::string error;
        ASSERT_TRUE(ProjectTrajectoryFile(c.kind, dir + "ConeBeam.tra", dir, Exposure{}, &error))
            << error;
        void* h = R3DInit_2012();
        VolumeClass volume;
        ASSERT_TRUE(R3DPrepareVolume_2012(h, &volume, dir.c_str(), "ConeBeam.tra", nullptr, nullptr,
                                          0.35, true));
        ASSERT_TRUE(
            R3DReconstructVolume_2012(h, &volume, (dir + "Volume.vol").c_str(), nullptr, nullptr));
        R3DRelease_2012(h);
        const auto m = MeasureQuality(phantom, volume, kPositions);
        ASSERT_EQ(m.NccThin.size(), kPositions.size());
        EXPECT_GE(Min(m.NccThin), c.minThin) << c.name;  // NaN fails
        EXPECT_GE(m.MeanNccThin, c.minMeanThin) << c.name;
        EXPECT_LT(m.Enamel.RelativeError(), c.maxEnamel) << c.name;
        EXPECT_LT(m.Dentine.RelativeError(), c.maxDentine) << c.name;
        EXPECT_GT(m.PulpDentineCnr, c.minPulpCnr) << c.name;
        // Flipped cross-sections and the volume reversed along the arch must score clearly lower.
        const auto cmp = CompareWithTruth(phantom, volume, kPositions);
        double mirrored = 0.0, upsideDown = 0.0;
        for (const auto& s : cmp) {
            mirrored += Ncc(s.Truth, Flipped(s, false)) / 5.0;
            upsideDown += Ncc(s.Truth, Flipped(s, true)) / 5.0;
        }
        EXPECT_LT(mirrored, m.MeanNccThin - 0.2) << c.name;
        EXPECT_LT(upsideDown, m.MeanNccThin - 0.15) << c.name;
        EXPECT_NEAR(m.ValueRatio, 1.0, 0.1) << c.name;  // the values themselves
        ReverseAlongArch(volume);
        const auto reversed = MeasureQuality(phantom, volume, kPositions);
        EXPECT_LT(reversed.MeanNccThin, m.MeanNccThin - 0.04) << c.name;
        std::printf(
            "%s: thin NCC %.3f (min %.3f), slab %.3f; reversed %.3f; enamel %.0f %%, "
            "dentine %.0f %%, pulp %.0f %%, cortical %.0f %%; CNR pulp %.2f\n",
            c.name, m.MeanNccThin, Min(m.NccThin), m.MeanNccSlab, reversed.MeanNccThin,
            100 * m.Enamel.RelativeError(), 100 * m.Dentine.RelativeError(),
            100 * m.Pulp.RelativeError(), 100 * m.Cortical.RelativeError(), m.PulpDentineCnr);
        if (c.kind == PhantomKind::Adult) {
            Resolution r;
            ASSERT_TRUE(MeasureResolution(dir, "ConeBeam.tra", r, &error)) << error;
            EXPECT_GT(r.SliceFwhmMm, 0.7) << "finer than a volume plane";
            EXPECT_LT(r.SliceFwhmMm, 1.5);
            EXPECT_LT(r.AcrossEdgeMm, 2.2);
            EXPECT_LT(r.VerticalEdgeMm, 0.7);
            std::printf("bead: slice FWHM %.2f mm, edge across %.2f mm, vertical %.2f mm\n",
                        r.SliceFwhmMm, r.AcrossEdgeMm, r.VerticalEdgeMm);
        }
    }
}
