// Volume file round trips, rejection of damaged files, and the geometry of extracted slices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "zor_vol/VolumeClass.h"
#include "zor_vol/VolumeFile.h"

using zor::test::TempDir;
using zor_vol_file::VolumeHeader;

namespace {

VolumeHeader SmallHeader() {
    VolumeHeader h;
    h.Nx = 6;
    h.Ny = 20;
    h.Nz = 12;
    h.Dx = 0.7;
    h.Dy = 0.15;
    h.Dz = 0.15;
    h.CentreX = 3.0;
    h.CentreY = -40.0;
    h.CentreZ = 1.5;
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
    helper.mAttach(h, std::vector<uint16_t>(v.size(), 0));
    for (uint32_t i = 0; i < h.Nx; ++i) {
        for (uint32_t j = 0; j < h.Ny; ++j) {
            for (uint32_t k = 0; k < h.Nz; ++k) {
                double X, Y, Z;
                bool in;
                helper.mxyz2XYZ(i, j, k, &X, &Y, &Z, &in);
                v[(static_cast<size_t>(i) * h.Ny + j) * h.Nz + k] =
                    static_cast<uint16_t>(std::lround(Affine(X, Y, Z)));
            }
        }
    }
    return v;
}

std::vector<unsigned char> FileBytes(const VolumeHeader& h, size_t voxelBytes) {
    std::vector<unsigned char> bytes(zor_vol_file::kHeaderSize + voxelBytes, 7);
    zor_vol_file::EncodeHeader(h, bytes.data());
    return bytes;
}

}  // namespace

TEST(VolumeFile, RoundTripKeepsHeaderAndVoxelsAndLeavesNoTemporaryFile) {
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
    EXPECT_FALSE(vol.mIsNull());
    EXPECT_EQ(vol.m_DimX, 6);
    EXPECT_EQ(vol.m_DimY, 20);
    EXPECT_EQ(vol.m_DimZ, 12);
    EXPECT_EQ(vol.m_RangeValue, 1.0);
    EXPECT_DOUBLE_EQ(vol.Header().AxisAngle, 0.4);
    EXPECT_TRUE(std::equal(voxels.begin(), voxels.end(), vol.Voxels()));
    EXPECT_EQ(vol.CalcVolMax(), *std::max_element(voxels.begin(), voxels.end()));
    vol.mTerminate(true);
    EXPECT_TRUE(vol.mIsNull());
    EXPECT_EQ(vol.m_SliceBuffer, nullptr);
}

TEST(VolumeFile, DamagedFilesAreRefusedWithTheirCode) {
    TempDir dir;
    const VolumeHeader good = SmallHeader();
    const size_t dataBytes = static_cast<size_t>(good.Nx) * good.Ny * good.Nz * 2;
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        int code;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, VolumeClass::kInitHeader});
    auto full = FileBytes(good, dataBytes);
    cases.push_back({"header cut", std::vector<unsigned char>(full.begin(), full.begin() + 60),
                     VolumeClass::kInitHeader});
    cases.push_back({"data cut", std::vector<unsigned char>(full.begin(), full.end() - 1),
                     VolumeClass::kInitTruncated});
    auto longer = full;
    longer.push_back(0);
    cases.push_back({"data too long", longer, VolumeClass::kInitTruncated});
    auto magic = full;
    magic[0] = 'X';
    cases.push_back({"magic", magic, VolumeClass::kInitHeader});
    VolumeHeader h = good;
    h.Nx = 0;
    cases.push_back({"zero size", FileBytes(h, dataBytes), VolumeClass::kInitDimensions});
    h = good;
    h.Nx = 51;
    cases.push_back({"too many positions", FileBytes(h, dataBytes), VolumeClass::kInitDimensions});
    h = good;
    h.Ny = 0xFFFFFFFFu;
    h.Nz = 0xFFFFFFFFu;
    cases.push_back({"huge", FileBytes(h, dataBytes), VolumeClass::kInitDimensions});
    h = good;
    h.Ny = 4096;
    h.Nz = 4096;
    h.Nx = 50;
    cases.push_back({"over voxel budget", FileBytes(h, 16), VolumeClass::kInitDimensions});
    h = good;
    h.Dx = std::nan("");
    cases.push_back({"NaN pitch", FileBytes(h, dataBytes), VolumeClass::kInitHeader});
    h = good;
    h.ValueScale = 0.0;
    cases.push_back({"zero scale", FileBytes(h, dataBytes), VolumeClass::kInitHeader});

    for (const Case& c : cases) {
        const std::string path = dir.File("bad.vol");
        zor::test::WriteFile(path, std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
        VolumeClass vol;
        EXPECT_EQ(vol.mInit(path.c_str()), c.code) << c.name;
        EXPECT_TRUE(vol.mIsNull()) << c.name;
        vol.Slice_Extract(0.5, 0.0, nullptr);  // must be harmless on an empty object
    }
    VolumeClass vol;
    EXPECT_EQ(vol.mInit(nullptr), VolumeClass::kInitBadPath);
    EXPECT_EQ(vol.mInit(std::string(300, 'a').c_str()), VolumeClass::kInitBadPath);
    EXPECT_EQ(vol.mInit(dir.File("missing.vol").c_str()), VolumeClass::kInitOpen);
}

TEST(VolumeClass, VoxelCornersFormTheGridRectangle) {
    VolumeHeader h = SmallHeader();
    VolumeClass vol;
    ASSERT_TRUE(vol.mAttach(h, AffineVoxels(h)));
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
}

// Every slice pixel must equal the affine function at the point the record says the pixel is.
TEST(VolumeClass, SlicesSampleTheTruePlaneGeometry) {
    VolumeHeader h = SmallHeader();
    h.Nx = 40;
    h.Dx = 0.15;  // a near-cubic grid so rotated planes stay inside
    h.Ny = 40;
    VolumeClass vol;
    ASSERT_TRUE(vol.mAttach(h, AffineVoxels(h)));
    const struct {
        double position, angle;
    } cases[] = {{0.5, 0.0}, {0.525, 0.0}, {0.4, 0.3}, {0.6, -0.5}, {0.51, 0.05}};
    for (const auto& c : cases) {
        SliceInfo info;
        vol.Slice_Extract(c.position, c.angle, &info);
        const double dxCol = (info.SliceTopRightX - info.SliceTopLeftX) / (h.Ny - 1);
        const double dyCol = (info.SliceTopRightY - info.SliceTopLeftY) / (h.Ny - 1);
        EXPECT_NEAR(std::hypot(dxCol, dyCol), h.Dy, 1e-9);
        EXPECT_NEAR(std::atan2(dyCol, dxCol), info.Rot2, 1e-9);
        int inside = 0;
        for (int r = 0; r < vol.m_DimZ; ++r) {
            const double z = info.SliceTopZ - r * h.Dz;
            for (int col = 0; col < vol.m_DimY; ++col) {
                const double x = info.SliceTopLeftX + col * dxCol;
                const double y = info.SliceTopLeftY + col * dyCol;
                // Only pixels whose four neighbours exist are exact; find them via the grid.
                const double a = (x - h.CentreX) * std::cos(h.AxisAngle) +
                                 (y - h.CentreY) * std::sin(h.AxisAngle);
                const double b = -(x - h.CentreX) * std::sin(h.AxisAngle) +
                                 (y - h.CentreY) * std::cos(h.AxisAngle);
                const double fi = a / h.Dx + (h.Nx - 1) * 0.5, fj = b / h.Dy + (h.Ny - 1) * 0.5;
                const uint16_t got = vol.m_SliceBuffer[r * vol.m_DimY + col];
                if (fi < 0 || fj < 0 || fi > h.Nx - 1 || fj > h.Ny - 1) {
                    if (fi < -1 || fj < -1 || fi > h.Nx || fj > h.Ny) {
                        EXPECT_EQ(got, 0) << c.position << " " << c.angle;
                    }
                    continue;
                }
                ++inside;
                EXPECT_NEAR(got, Affine(x, y, static_cast<float>(z)), 1.5)
                    << "pos " << c.position << " angle " << c.angle << " r " << r << " c " << col;
            }
        }
        EXPECT_GT(inside, vol.m_DimZ * 10);
        SliceInfo again;
        vol.SliceInfo_Extract(c.position, c.angle, &again);
        EXPECT_EQ(std::memcmp(&again, &info, sizeof info), 0);
    }
}

TEST(VolumeClass, PositionStepsHitVoxelPlanesAndBadArgumentsGiveZeros) {
    VolumeHeader h = SmallHeader();
    VolumeClass vol;
    std::vector<uint16_t> voxels = AffineVoxels(h);
    ASSERT_TRUE(vol.mAttach(h, std::vector<uint16_t>(voxels)));
    for (uint32_t s = 1; s <= h.Nx; ++s) {
        vol.Slice_Extract(static_cast<double>(s) / h.Nx, 0.0, nullptr);
        for (uint32_t j = 0; j < h.Ny; ++j) {
            for (uint32_t k = 0; k < h.Nz; ++k) {
                ASSERT_EQ(vol.m_SliceBuffer[k * h.Ny + j], voxels[((s - 1) * h.Ny + j) * h.Nz + k]);
            }
        }
    }
    for (double pos : {std::nan(""), 1e300, -5.0}) {
        vol.Slice_Extract(pos, 0.0, nullptr);
        for (int p = 0; p < vol.m_DimY * vol.m_DimZ; ++p) {
            ASSERT_EQ(vol.m_SliceBuffer[p], 0);
        }
    }
}
