// Crosses cut from a phantom volume, held in the viewer's cross slots and painted in their cells.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstring>

#include "phantom/DentalPhantom.h"
#include "support/UiRecorder.h"
#include "viewer/ViewerSceneBuilder.h"
#include "zor_vol/VolumeClass.h"

namespace zor::viewer {
namespace {

constexpr ColorRef kMagenta = 0xFF00FF;  // never a grey of a slice

/// A volume straightened along the phantom's arch around the incisors: 50 positions 0.7 mm apart
/// along it, 240 columns across and 270 rows down, 0.15 mm each.
void MakePhantomVolume(VolumeClass& volume) {
    const phantom::DentalPhantom phantom(phantom::PhantomKind::Adult);
    zor_vol_file::VolumeHeader h{.Nx = 50, .Ny = 240, .Nz = 270};
    std::vector<uint16_t> voxels(size_t{h.Nx} * h.Ny * h.Nz);
    for (uint32_t i = 0; i < h.Nx; ++i)
        for (uint32_t j = 0; j < h.Ny; ++j)
            for (uint32_t k = 0; k < h.Nz; ++k) {
                const double s = (i - h.Nx / 2.0) * h.Dx;
                const double d = (j - h.Ny / 2.0) * h.Dy;
                const double z = (h.Nz / 2.0 - k) * h.Dz;
                const double mu = phantom.MuLocal(s, d, z);
                voxels[(size_t{i} * h.Ny + j) * h.Nz + k] =
                    static_cast<uint16_t>(std::lround(mu * h.ValueScale + h.ValueOffset));
            }
    ASSERT_TRUE(volume.mAttach(h, std::move(voxels)));
}

double GreySpread(const QImage& image, const Rect& r) {
    double sum = 0, sumSq = 0;
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const double g = qGray(image.pixel(x, y));
            sum += g;
            sumSq += g * g;
            ++count;
        }
    const double mean = sum / count;
    return std::sqrt(std::max(0.0, sumSq / count - mean * mean));
}

TEST(ViewerCrosses, PhantomSlicesAreDrawnInTheirCellsWithTheirAspect) {
    VolumeClass volume;
    MakePhantomVolume(volume);
    test::UiRecorder ui;
    ViewerCommands viewer(ui, ui, ui);
    viewer.SetViewerArea({0, 0, 1920, 1080});
    viewer.Model().SetCrossCount(12);
    const int n = viewer.Model().CrossCount();
    CrossImages& crosses = viewer.Crosses();
    crosses.Resize(n);
    for (int i = 0; i < n; ++i) {
        volume.Slice_Extract((i + 19) / 50.0, 0.0, nullptr);
        ViewImage slice = ViewImage::Slice16(volume.m_DimY, volume.m_DimZ);
        std::memcpy(slice.pixels, volume.m_SliceBuffer,
                    sizeof(uint16_t) * volume.m_DimY * volume.m_DimZ);
        // Stretch the phantom's attenuations over the display range.
        for (int y = 0; y < slice.height; ++y)
            for (int x = 0; x < slice.width; ++x)
                slice.Row16(y)[x] = static_cast<uint16_t>(std::min(65535, slice.Row16(y)[x] * 8));
        crosses.SetSlice(i, std::move(slice));
    }
    crosses.SetSlice(n - 1, ViewImage());  // an empty slot keeps its cell's background
    crosses.SetVisible(true);

    ViewerScene scene = SceneOf(viewer, 5);
    scene.leftColour = kMagenta;
    QImage painted;
    ViewerPainter().Paint(scene, painted);

    const Rect pane = scene.layout.crossPane;
    const QRgb background = qRgb(255, 0, 255);
    for (int i = 0; i < n; ++i) {
        const Rect cell = CrossCell(pane, n, scene.crossRows, i);
        const Rect drawn = FitInCell(cell, volume.m_DimY, volume.m_DimZ);
        const int midY = (drawn.top + drawn.bottom) / 2;
        if (i == n - 1) {
            EXPECT_EQ(painted.pixel((drawn.left + drawn.right) / 2, midY), background);
            continue;
        }
        EXPECT_GT(GreySpread(painted, drawn), 10.0) << "cross " << i << " shows anatomy";
        // Taller than wide: letterboxed left and right, the slice's full height used.
        EXPECT_GT(drawn.left, cell.left + 2);
        EXPECT_EQ(painted.pixel(drawn.left - 2, midY), background) << i;
        EXPECT_NE(painted.pixel(drawn.left + 2, midY), background) << i;
        EXPECT_NE(painted.pixel((drawn.left + drawn.right) / 2, drawn.bottom - 2), background);
    }
}

}  // namespace
}  // namespace zor::viewer
