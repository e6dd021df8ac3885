// The phantom's LUTs, curve picture and projector against the reconstruction's geometry.
#include <FreeImagePlus.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "phantom/DemoData.h"
#include "phantom/DentalPhantom.h"
#include "phantom/PhantomImaging.h"
#include "support/TempDir.h"
#include "zor_r3d/FdkCore.h"
#include "zor_r3d/ProjectionIo.h"
#include "zor_vol/CLUTProjection.h"

using namespace zor::phantom;

namespace {

// LUTs and curve picture written once for the suite, laid out as in an install folder.
class DemoDataTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Root = std::make_unique<zor::test::TempDir>("zor-demo-data");
        s_Dir = s_Root->Slash();
        std::filesystem::create_directories(s_Root->Path() / "config_zor" / "zor_manager");
        std::string error;
        s_Ok = WriteLutFiles(PhantomKind::Adult, s_Dir + "config_zor/", &error) &&
               WriteLutFiles(PhantomKind::Child, s_Dir + "config_zor/", &error) &&
               WriteCurvePicture(s_Dir + "config_zor//zor_manager/kestel.bmp", &error);
        ASSERT_TRUE(s_Ok) << error;
    }
    static void TearDownTestSuite() { s_Root.reset(); }
    static std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
    static inline std::unique_ptr<zor::test::TempDir> s_Root;
    static inline std::string s_Dir;
    static inline bool s_Ok = false;
};

}  // namespace

TEST_F(DemoDataTest, EveryNameableProjectionHasALutThatLoads) {
    const char* ids[] = {"0.0.31.0",  "0.0.31.1",  "0.0.31.10",  "0.1.31.0", "0.1.31.1",
                         "0.1.31.10", "0.2.31.10", "0.15.31.10", "0.0.6.10", "0.15.6.0"};
    for (const char* id : ids) {
        CLUTProjection lut;
        EXPECT_EQ(lut.LoadLUT(Wide(id), 74, Wide(s_Dir + "config_zor/")), 0) << id;
        EXPECT_EQ(lut.m_Count, PanoramicLayout::kRawCols) << id;
    }
}

TEST_F(DemoDataTest, LutFollowsTheArchWithContinuousAngles) {
    CLUTProjection lut;
    ASSERT_EQ(lut.LoadLUT(L"0.0.31.10", 74, Wide(s_Dir + "config_zor/")), 0);
    double prevAngle = 0.0;
    bool first = true;
    for (int raw = 0; raw < lut.m_Count; ++raw) {
        double x, y, a, f;
        if (lut.GetXY(raw, &x, &y) != 0)
            continue;
        ASSERT_EQ(lut.GetAngle(raw, &a), 0);
        ASSERT_EQ(lut.GetFactor(raw, &f), 0);
        EXPECT_LE(std::fabs(a), M_PI / 2 + 1e-9);
        EXPECT_GE(f, 1.0);
        if (!first) {
            EXPECT_LT(std::fabs(a - prevAngle), 0.01) << raw;  // no jump the viewer would see
            first = false;
        }
        prevAngle = a;
        if (raw % 97 == 0 && raw >= 74 && raw < 74 + PanoramicLayout::kCols) {
            EXPECT_EQ(lut.MapCenterToPan(x, y), raw - 74);
        }
    }
    // Columns grow from the patient's right (+x) over the front (-y) to the left.
    double x0, y0, xm, ym, x1, y1;
    lut.GetXY(100, &x0, &y0);
    lut.GetXY(1346, &xm, &ym);
    lut.GetXY(2600, &x1, &y1);
    EXPECT_GT(x0, 20.0);
    EXPECT_LT(x1, -20.0);
    EXPECT_LT(ym, -35.0);
    EXPECT_EQ(lut.MapCenterToPan(0.0, 30.0), -1);  // far behind the arch
}

// After the -90° turn the loader applies, the curve lies where the viewer draws it.
TEST_F(DemoDataTest, CurvePictureMatchesTheLutAfterTheLoadersRotation) {
    const std::string path = s_Dir + "config_zor//zor_manager/kestel.bmp";
    fipImage image;
    ASSERT_TRUE(image.load(path.c_str()));
    ASSERT_EQ(image.getBitsPerPixel(), 8u);
    ASSERT_TRUE(image.rotate(-90));
    const int w = static_cast<int>(image.getWidth()), h = static_cast<int>(image.getHeight());
    CLUTProjection lut;
    ASSERT_EQ(lut.LoadLUT(L"0.0.31.10", 74, Wide(s_Dir + "config_zor/")), 0);
    int bright = 0, checked = 0;
    for (int raw = 300; raw < 2400; raw += 150) {
        double x, y;
        ASSERT_EQ(lut.GetXY(raw, &x, &y), 0);
        const int px = w - static_cast<int>((x + 71.0) * 4.0);
        const int py = static_cast<int>((y + 71.0) * 4.0);
        ASSERT_TRUE(px >= 0 && px < w && py >= 0 && py < h);
        // FreeImage keeps rows bottom-up.
        int best = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            const BYTE* line = image.getScanLine(static_cast<unsigned>(h - 1 - (py + dy)));
            for (int dx = -1; dx <= 1; ++dx)
                best = std::max<int>(best, line[px + dx]);
        }
        bright += best == 255;
        ++checked;
    }
    EXPECT_EQ(bright, checked);
}

// The whole installation is loaded by the workflow and zor_tool tests; here only a refusal.
TEST(DemoInstall, UnwritableFolderFailsWithAMessage) {
    std::string error;
    EXPECT_FALSE(WriteDemoData("/proc/zor-no-such-place/", &error));
    EXPECT_FALSE(error.empty());
}

// The ray-driven and the footprint projector see a ball at one place with one line integral.
TEST(PhantomProjector, AgreesWithTheReconstructionGeometry) {
    zor_r3d::Trajectory t;
    t.Order = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    t.CentreX = 3.0, t.CentreY = -38.0, t.AxisAngleRad = 2.9;
    t.Nx = 30, t.Ny = t.Nz = 60, t.DetCols = 160, t.DetRows = 90;
    t.Dx = t.Dy = t.Dz = t.PitchU = t.PitchV = 0.3;
    // A ball at (a, b, z) in the volume's axes, sampled by both grids at their voxel centres.
    const double ba = 2.0, bb = -1.5, bz = 1.0, radius = 3.0;
    const double c1 = std::cos(t.AxisAngleRad), s1 = std::sin(t.AxisAngleRad);
    PhantomGrid g;
    g.Pitch = 0.15;
    g.Nx = g.Ny = g.Nz = 81;
    g.X0 = t.CentreX + ba * c1 - bb * s1 - 6.0, g.Y0 = t.CentreY + ba * s1 + bb * c1 - 6.0;
    g.Z0 = bz - 6.0;
    g.Mu.assign(size_t{81} * 81 * 81, 0.0f);
    g.Used.assign(81 * 81, 1);
    for (size_t n = 0; n < g.Mu.size(); ++n)  // n = (i * 81 + j) * 81 + k
        if (std::hypot(n / 6561 * 0.15 - 6, n / 81 % 81 * 0.15 - 6, n % 81 * 0.15 - 6) < radius)
            g.Mu[n] = 0.05f;
    std::vector<float> vox(static_cast<size_t>(t.Nx) * t.Ny * t.Nz, 0.0f);
    for (size_t n = 0; n < vox.size(); ++n) {  // n = (i * Ny + j) * Nz + k
        const double a = (double(n / t.Nz / t.Ny) - (t.Nx - 1) * 0.5) * t.Dx;
        const double b = (double(n / t.Nz % t.Ny) - (t.Ny - 1) * 0.5) * t.Dy;
        if (std::hypot(a - ba, b - bb, ((t.Nz - 1) * 0.5 - double(n % t.Nz)) * t.Dz - bz) < radius)
            vox[n] = 0.05f;
    }
    const auto rays = ProjectViews(g, t);
    zor_r3d::FdkGeometry fg;
    ASSERT_TRUE(zor_r3d::BuildFdkGeometry(t, 0.35, true, fg));
    for (int i = 0; i < t.Nx; ++i)
        zor_r3d::BuildMapSlab(t, fg.Volume, i);
    for (int v : {0, 2, 5, 9}) {
        std::vector<float> foot(static_cast<size_t>(t.DetCols) * t.DetRows, 0.0f);
        for (int i = 0; i < t.Nx; ++i)
            for (int j = 0; j < t.Ny; ++j)
                zor_r3d::ProjectColumn(t, fg.Volume,
                                       vox.data() + (static_cast<size_t>(i) * t.Ny + j) * t.Nz, i,
                                       j, v, foot.data());
        // Sums, column and row moments of the phantom's rays (r) and the footprints (f).
        double sr = 0, sf = 0, cr = 0, cf = 0, rr = 0, rf = 0;
        for (size_t p = 0; p < foot.size(); ++p) {
            const double a = rays[static_cast<size_t>(v)][p], b = foot[p];
            const double c = double(p % t.DetCols), r = double(p / t.DetCols);
            ASSERT_TRUE(std::isfinite(a) && std::isfinite(b));
            sr += a, sf += b, cr += a * c, cf += b * c, rr += a * r, rf += b * r;
        }
        EXPECT_NEAR(sf / sr, 1.0, 0.03) << "view " << v;
        EXPECT_NEAR(cr / sr, cf / sf, 0.3) << "view " << v;  // centroid column
        EXPECT_NEAR(rr / sr, rf / sf, 0.3) << "view " << v;  // centroid row
    }
}

namespace {

const Tooth* FindTooth(const DentalPhantom& p, bool upper, int side, int index) {
    for (const Tooth& t : p.Teeth())
        if (t.Upper == upper && !t.Germ && t.Index == index && (t.S > 0) == (side > 0))
            return &t;
    return nullptr;
}

// Share of points of the arch region whose tissue differs from the mirrored point's.
double AsymmetricShare(const DentalPhantom& p) {
    int differ = 0, total = 0;
    for (double s = 0.25; s < 40.0; s += 0.5)
        for (double d = -8.0; d <= 8.0; d += 0.5)
            for (double z = -20.0; z <= 30.0; z += 0.5, ++total)
                differ += p.TissueLocal(s, d, z) != p.TissueLocal(-s, d, z);
    return static_cast<double>(differ) / total;
}

}  // namespace

// A mirrored image must not fit the phantom: its two sides differ where a reader would see it
// (a missing tooth, restorations), while the trabecular texture is the same on every run.
TEST(DentalPhantomModel, SidesDifferAndTheTextureRepeats) {
    const DentalPhantom adult(PhantomKind::Adult), child(PhantomKind::Child);
    EXPECT_EQ(FindTooth(adult, false, -1, 1), nullptr);  // lower right lateral incisor lost
    const Tooth* left = FindTooth(adult, false, 1, 1);
    ASSERT_NE(left, nullptr);
    const double crownZ = left->Cusp - 0.5 * left->CrownHeight;
    EXPECT_EQ(adult.TissueLocal(-left->S, left->Offset, crownZ), Tissue::Soft);
    EXPECT_NE(adult.TissueLocal(left->S, left->Offset, crownZ), Tissue::Soft);
    const Tooth* molar = FindTooth(adult, false, 1, 5);  // amalgam below its occlusal surface
    ASSERT_NE(molar, nullptr);
    EXPECT_EQ(adult.TissueLocal(molar->S, 0.0, molar->Cusp - 1.0), Tissue::Filling);
    EXPECT_GT(adult.MuLocal(molar->S, 0.0, molar->Cusp - 1.0), 4 * Materials::kEnamel);
    EXPECT_NE(adult.TissueLocal(-molar->S, 0.0, molar->Cusp - 1.0), Tissue::Filling);
    ASSERT_EQ(adult.Balls().size(), 1u);  // the lesion shows as soft tissue inside the bone
    const Ball& lesion = adult.Balls()[0];
    EXPECT_EQ(adult.TissueLocal(lesion.S, lesion.D, lesion.Z), Tissue::Lesion);
    EXPECT_EQ(adult.TissueLocal(-lesion.S, lesion.D, lesion.Z), Tissue::Trabecular);
    EXPECT_GT(AsymmetricShare(adult), 0.005);
    EXPECT_GT(AsymmetricShare(child), 0.002);
    double sum = 0, sum2 = 0;
    int n = 0;
    for (double s = -30; s < 30; s += 0.37)
        for (double z = -16; z < -8; z += 0.41) {
            if (adult.TissueLocal(s, -0.5, z) != Tissue::Trabecular)
                continue;
            const double mu = adult.MuLocal(s, -0.5, z);
            EXPECT_EQ(mu, DentalPhantom(PhantomKind::Adult).MuLocal(s, -0.5, z));
            sum += mu, sum2 += mu * mu, ++n;
        }
    ASSERT_GT(n, 100);
    const double mean = sum / n, sd = std::sqrt(sum2 / n - mean * mean);
    EXPECT_NEAR(mean, Materials::kTrabecular, 0.006);
    EXPECT_GT(sd, 0.004);  // plates and marrow, not a uniform grey
}

// A child's developing tooth sits in a soft follicle inside the bone.
TEST(DentalPhantomModel, ToothBudsLieInTheirFollicles) {
    const DentalPhantom child(PhantomKind::Child);
    int buds = 0;
    for (const Tooth& t : child.Teeth()) {
        if (!t.Germ || t.Upper)
            continue;
        ++buds;
        const double z = t.Cusp - 0.5 * t.CrownHeight;  // the germ's middle, below its tip
        EXPECT_EQ(child.TissueLocal(t.S, t.Offset, t.Cusp - 0.4), Tissue::Enamel) << t.S;
        EXPECT_EQ(child.TissueLocal(t.S, t.Offset, t.Cusp + 0.5), Tissue::Soft) << t.S;
        EXPECT_NE(child.TissueLocal(t.S, t.Offset, z), Tissue::Trabecular) << t.S;
    }
    EXPECT_EQ(buds, 12);
}

// Photon noise: repeatable from its seed, Poisson in mean and spread.
TEST(PhantomProjector, PhotonNoiseIsPoissonAndRepeatable) {
    const std::vector<float> p(40000, 1.0f);
    const double quanta = Exposure{}.FlatQuanta();
    EXPECT_NEAR(quanta, 21800, 300);
    const auto a = ToNoisyDetectorSamples(p, quanta, 7), b = ToNoisyDetectorSamples(p, quanta, 7);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, ToNoisyDetectorSamples(p, quanta, 8));
    double sum = 0, sum2 = 0;
    for (uint16_t v : a)
        sum += v, sum2 += double(v) * v;
    const double mean = sum / a.size(), sd = std::sqrt(sum2 / a.size() - mean * mean);
    const double gain = zor_r3d::kFlatValue / quanta, counts = quanta * std::exp(-1.0);
    EXPECT_NEAR(mean, zor_r3d::kFlatValue * std::exp(-1.0), 0.002 * mean);
    EXPECT_NEAR(sd, gain * std::sqrt(counts), 0.05 * gain * std::sqrt(counts));
}
