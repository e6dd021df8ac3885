// Volume file round trips, rejection of damaged files, and the geometry of extracted slices.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "support/TempDir.h"
#include "zor_vol/VolumeClass.h"
#include "zor_vol/VolumeFile.h"

using zor::test::TempDir;
using zor_vol_file::VolumeHeader;

namespace {

VolumeHeader SmallHeader() {
    VolumeHeader h{.Nx = 6, .Ny = 20, .Nz = 12, .CentreX = 3.0, .CentreY = -40.0, .CentreZ = 1.5};
    h.AxisAngle = 0.4;
    return h;
}

// Voxel values that are an affine function of device coordinates: bilinear sampling must
// reproduce the function exactly inside the volume.
double Affine(double x, double y, double z) {
    return 20000.0 + 300.0 * x + 200.0 * y + 100.0 * z;
}

std::vector<uint16_t> AffineVoxels(const VolumeHeader& h) {
    VolumeClass helper;
    std::vector<uint16_t> v(static_cast<size_t>(h.Nx) * h.Ny * h.Nz, 0);
    helper.mAttach(h, std::vector<uint16_t>(v));
    for (size_t n = 0; n < v.size(); ++n) {  // n = (i * Ny + j) * Nz + k
        double X, Y, Z;
        bool in;
        helper.mxyz2XYZ(n / h.Nz / h.Ny, n / h.Nz % h.Ny, n % h.Nz, &X, &Y, &Z, &in);
        v[n] = static_cast<uint16_t>(std::lround(Affine(X, Y, Z)));
    }
    return v;
}

}  // namespace

TEST(VolumeFile, RoundTripKeepsHeaderAndVoxelsAndSlicesHitVoxelPlanes) {
    TempDir dir;
    VolumeHeader h = SmallHeader();
    h.RangeValue = 1.0;
    std::vector<uint16_t> voxels = AffineVoxels(h);
    const std::string path = dir.File("Volume.vol");
    ASSERT_EQ(zor_vol_file::WriteVolumeFileAtomic(path, h, voxels),
              zor_vol_file::VolumeFileError::None);
    EXPECT_EQ(dir.Count(), 1);
    VolumeClass vol;
    ASSERT_EQ(vol.mInit(path.c_str()), 0);
    EXPECT_EQ(
        std::tuple(vol.m_DimX, vol.m_DimY, vol.m_DimZ, vol.m_RangeValue, vol.Header().AxisAngle),
        std::tuple(6, 20, 12, 1.0, 0.4));
    EXPECT_TRUE(std::equal(voxels.begin(), voxels.end(), vol.Voxels()));
    EXPECT_EQ(vol.CalcVolMax(), *std::max_element(voxels.begin(), voxels.end()));
    // Positions in steps of one voxel plane give the planes; bad positions give air.
    const uint32_t plane = h.Ny * h.Nz;
    for (uint32_t s = 1; s <= h.Nx; ++s) {
        vol.Slice_Extract(static_cast<double>(s) / h.Nx, 0.0, nullptr);
        for (uint32_t n = 0; n < plane; ++n)  // slice row k = n % Nz, column j = n / Nz
            ASSERT_EQ(vol.m_SliceBuffer[n % h.Nz * h.Ny + n / h.Nz], voxels[(s - 1) * plane + n]);
    }
    for (double pos : {std::nan(""), 1e300, -5.0}) {
        vol.Slice_Extract(pos, 0.0, nullptr);
        EXPECT_EQ(std::count(vol.m_SliceBuffer, vol.m_SliceBuffer + plane, 1000), long{plane})
            << pos;
    }
    vol.mTerminate(true);
    EXPECT_TRUE(vol.mIsNull());
    EXPECT_EQ(vol.m_SliceBuffer, nullptr);
}

TEST(VolumeFile, DamagedFilesAreRefusedWithTheirCode) {
    TempDir dir;
    const VolumeHeader good = SmallHeader();
    using Bytes = std::vector<uint8_t>;
    auto file = [&](auto change, size_t voxelBytes = 6 * 20 * 12 * 2) {  // 2 bytes a voxel
        VolumeHeader h = good;
        change(h);
        Bytes bytes(zor_vol_file::kHeaderSize + voxelBytes, 7);
        zor_vol_file::EncodeHeader(h, bytes.data());
        return bytes;
    };
    const Bytes full = file([](VolumeHeader&) {});
    Bytes magic = full;
    magic[0] = 'X';
    const struct {
        const char* name;
        Bytes bytes;
        int code;
    } cases[] = {
        {"empty", {}, VolumeClass::kInitHeader},
        {"header cut", Bytes(full.begin(), full.begin() + 60), VolumeClass::kInitHeader},
        {"data cut", Bytes(full.begin(), full.end() - 1), VolumeClass::kInitTruncated},
        {"data too long", file([](auto&) {}, 6 * 20 * 12 * 2 + 1), VolumeClass::kInitTruncated},
        {"magic", magic, VolumeClass::kInitHeader},
        {"zero size", file([](auto& h) { h.Nx = 0; }), VolumeClass::kInitDimensions},
        {"too many positions", file([](auto& h) { h.Nx = 51; }), VolumeClass::kInitDimensions},
        {"huge", file([](auto& h) { h.Ny = h.Nz = 0xFFFFFFFFu; }), VolumeClass::kInitDimensions},
        {"over voxel budget", file([](auto& h) { h.Nx = 50, h.Ny = h.Nz = 4096; }, 16),
         VolumeClass::kInitDimensions},
        {"NaN pitch", file([](auto& h) { h.Dx = std::nan(""); }), VolumeClass::kInitHeader},
        {"zero scale", file([](auto& h) { h.ValueScale = 0.0; }), VolumeClass::kInitHeader},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File("bad.vol");
        zor::test::WriteFile(path, c.bytes);
        VolumeClass vol;
        EXPECT_EQ(vol.mInit(path.c_str()), c.code) << c.name;
        EXPECT_TRUE(vol.mIsNull()) << c.name;
        vol.Slice_Extract(0.5, 0.0, nullptr);  // must be harmless on an empty object
    }
    VolumeClass vol;
    EXPECT_EQ(vol.mInit(nullptr), VolumeClass::kInitBadPath);
    EXPECT_EQ(vol.mInit(std::string(300, 'a').c_str()), VolumeClass::kInitBadPath);
    EXPECT_EQ(vol.mInit(dir.File("missing.vol").c_str()), VolumeClass::kInitOpen);
    // Only regular files: no waiting for a FIFO's writer, no endless device.
    ASSERT_EQ(::mkfifo(dir.File("fifo.vol").c_str(), 0600), 0);
    EXPECT_EQ(vol.mInit(dir.File("fifo.vol").c_str()), VolumeClass::kInitOpen);
    EXPECT_EQ(vol.mInit("/dev/zero"), VolumeClass::kInitOpen);
}

// Every slice pixel must equal the affine function at the point the record says the pixel is.
TEST(VolumeClass, SlicesSampleTheTruePlaneGeometry) {
    VolumeHeader h = SmallHeader();
    h.Nx = h.Ny = 40;
    h.Dx = 0.15;  // a near-cubic grid so rotated planes stay inside
    VolumeClass vol;
    ASSERT_TRUE(vol.mAttach(h, AffineVoxels(h)));
    // The voxel corners form the grid's rectangle, row 0 on top.
    double x0, y0, z0, x1, y1, z1, x2, y2, z2;
    bool in;
    vol.mxyz2XYZ(0, 0, 0, &x0, &y0, &z0, &in);
    EXPECT_TRUE(in);
    vol.mxyz2XYZ(h.Nx - 1, 0, 0, &x1, &y1, &z1, &in);
    vol.mxyz2XYZ(0, h.Ny - 1, h.Nz - 1, &x2, &y2, &z2, &in);
    EXPECT_NEAR(std::hypot(x1 - x0, y1 - y0), (h.Nx - 1) * h.Dx, 1e-9);
    EXPECT_NEAR(std::hypot(x2 - x0, y2 - y0), (h.Ny - 1) * h.Dy, 1e-9);
    EXPECT_NEAR((x1 - x0) * (x2 - x0) + (y1 - y0) * (y2 - y0), 0.0, 1e-9);
    EXPECT_NEAR(std::atan2(y1 - y0, x1 - x0), h.AxisAngle, 1e-12);
    EXPECT_NEAR(z0 - z2, (h.Nz - 1) * h.Dz, 1e-9);  // row 0 is on top
    vol.mxyz2XYZ(-0.1, 0, 0, &x0, &y0, &z0, &in);
    EXPECT_FALSE(in);
    const struct {
        double position, angle;
    } cases[] = {{0.5, 0.0}, {0.525, 0.0}, {0.4, 0.3}, {0.6, -0.5}, {0.51, 0.05}};
    for (const auto& c : cases) {
        // Padding bytes zeroed, so that the memcmp below compares only the fields.
        SliceInfo info;
        std::memset(static_cast<void*>(&info), 0, sizeof info);
        vol.Slice_Extract(c.position, c.angle, &info);
        const double dx = (info.SliceTopRightX - info.SliceTopLeftX) / (h.Ny - 1);
        const double dy = (info.SliceTopRightY - info.SliceTopLeftY) / (h.Ny - 1);
        EXPECT_NEAR(std::hypot(dx, dy), h.Dy, 1e-9);
        EXPECT_NEAR(std::atan2(dy, dx), info.Rot2, 1e-9);
        const double ca = std::cos(h.AxisAngle), sa = std::sin(h.AxisAngle);
        int inside = 0;
        for (int r = 0; r < vol.m_DimZ; ++r) {
            for (int col = 0; col < vol.m_DimY; ++col) {
                const double x = info.SliceTopLeftX + col * dx, y = info.SliceTopLeftY + col * dy;
                // The pixel's grid position: only pixels whose four neighbours exist are exact.
                const double fi =
                    ((x - h.CentreX) * ca + (y - h.CentreY) * sa) / h.Dx + 0.5 * (h.Nx - 1);
                const double fj =
                    ((y - h.CentreY) * ca - (x - h.CentreX) * sa) / h.Dy + 0.5 * (h.Ny - 1);
                const uint16_t got = vol.m_SliceBuffer[r * vol.m_DimY + col];
                if (fi >= 0 && fj >= 0 && fi <= h.Nx - 1 && fj <= h.Ny - 1) {
                    ++inside;
                    EXPECT_NEAR(got, Affine(x, y, static_cast<float>(info.SliceTopZ - r * h.Dz)),
                                1.5)
                        << c.position << " " << c.angle << " at " << r << "," << col;
                } else if (fi < -1 || fj < -1 || fi > h.Nx || fj > h.Ny) {
                    EXPECT_EQ(got, vol.AirValue()) << c.position << " " << c.angle;
                }
            }
        }
        EXPECT_GT(inside, vol.m_DimZ * 10);
        SliceInfo again;
        std::memset(static_cast<void*>(&again), 0, sizeof again);
        vol.SliceInfo_Extract(c.position, c.angle, &again);
        EXPECT_EQ(std::memcmp(&again, &info, sizeof info), 0);
    }
}

// Outside the reconstructed planes a slice shows air, never something darker: position 0 (the
// plane before the first), beyond the last plane, far away, and half a plane out, which blends.
TEST(VolumeClass, SamplesOutsideTheGridAreAir) {
    VolumeHeader h{.Nx = 4, .Ny = 6, .Nz = 5};
    h.ValueOffset = 1234.6;  // stored air rounds to 1235
    VolumeClass vol;
    ASSERT_TRUE(vol.mAttach(h, std::vector<uint16_t>(4 * 6 * 5, 3000)));
    ASSERT_EQ(vol.AirValue(), 1235);
    const long pixels = 6 * 5;
    const struct {
        double position;
        uint16_t value;
    } cases[] = {{0.0, 1235},   {-0.1, 1235},  {1.25, 1235},
                 {1e300, 1235}, {0.125, 2118}, /* half air, half plane 0 */ {0.25, 3000},
                 {1.0, 3000}};
    for (const auto& c : cases) {
        vol.Slice_Extract(c.position, 0.0, nullptr);
        EXPECT_EQ(std::count(vol.m_SliceBuffer, vol.m_SliceBuffer + pixels, c.value), pixels)
            << c.position;
    }
    // Offsets beyond the 16-bit range clamp like the stored voxels.
    h.ValueOffset = -50.0;
    ASSERT_TRUE(vol.mAttach(h, std::vector<uint16_t>(4 * 6 * 5, 3000)));
    vol.Slice_Extract(0.0, 0.0, nullptr);
    EXPECT_EQ(vol.m_SliceBuffer[0], 0);
}
