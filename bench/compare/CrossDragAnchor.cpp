// The anchor of the cross-drag frame: the same 48 planes through the same phantom volume cut by
// vtkImageReslice, then gamma, window and unsharp with OpenCV and the grey-to-BGRA conversion.
#include <benchmark/benchmark.h>
#include <vtkImageData.h>
#include <vtkImageReslice.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>

#include <cmath>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "CrossBenchData.h"
#include "viewer/CrossView.h"

namespace {

using namespace zor::viewer;
using zor::bench::kBenchCrosses;

void BM_CrossDragAnchorVtkOpenCv(benchmark::State& state) {
    VolumeClass volume;
    zor::bench::MakeBenchVolume(volume);
    CLUTProjection lut;
    zor::bench::LoadBenchLut(lut);
    // The planes the cross view cuts: its positions and the angles relative to the volume.
    CrossImages images;
    CrossView view(CrossSettings{}, images);
    view.SetVolume(&volume);
    view.SetPanoramic({&lut, 2609, {0, 0, 1036, 540}, 568, 568, {1036, 0, 1604, 540}});
    view.SetCrossCount(kBenchCrosses, 4);
    view.SetCrossPosition(25);
    std::vector<double> positions, angles;
    for (int i = 0; i < kBenchCrosses; ++i) {
        positions.push_back(0.5 + (i - kBenchCrosses / 2) / 50.0);
        angles.push_back(view.Record(i).Rot1);
    }

    const zor_vol_file::VolumeHeader& h = volume.Header();
    // VTK's x is the vertical voxel index (fastest), y across the arch, z along it.
    vtkNew<vtkImageData> grid;
    grid->SetDimensions(static_cast<int>(h.Nz), static_cast<int>(h.Ny), static_cast<int>(h.Nx));
    grid->SetSpacing(h.Dz, h.Dy, h.Dx);
    grid->AllocateScalars(VTK_UNSIGNED_SHORT, 1);
    std::memcpy(grid->GetScalarPointer(), volume.Voxels(),
                sizeof(std::uint16_t) * h.Nx * h.Ny * h.Nz);
    vtkNew<vtkImageReslice> reslice;
    reslice->SetInputData(grid);
    reslice->SetOutputDimensionality(2);
    reslice->SetInterpolationModeToLinear();
    reslice->SetOutputSpacing(h.Dz, h.Dy, 1.0);
    reslice->SetOutputOrigin(0.0, -(h.Ny - 1) * 0.5 * h.Dy, 0.0);
    reslice->SetOutputExtent(0, static_cast<int>(h.Nz) - 1, 0, static_cast<int>(h.Ny) - 1, 0, 0);
    vtkNew<vtkMatrix4x4> axes;

    const double gammaPower = 1.0 / zor::bench::kGamma;
    const double scale = 1.0 / (zor::bench::kWindowHigh - zor::bench::kWindowLow);
    const float amount = zor::bench::kUnsharpAmount;
    cv::Mat levelled, blurred, filtered, grey, display;
    int direction = 1;
    for (auto _ : state) {
        for (int i = 0; i < kBenchCrosses; ++i) {
            const double a = angles[static_cast<std::size_t>(i)];
            const double plane =
                (positions[static_cast<std::size_t>(i)] + (direction > 0 ? 0.02 : 0.0)) * h.Nx -
                1.0;
            axes->Identity();
            axes->SetElement(1, 1, std::cos(a));
            axes->SetElement(2, 1, -std::sin(a));
            axes->SetElement(1, 3, (h.Ny - 1) * 0.5 * h.Dy);
            axes->SetElement(2, 3, plane * h.Dx);
            reslice->SetResliceAxes(axes);
            reslice->Update();
            vtkImageData* out = reslice->GetOutput();
            const cv::Mat slice(static_cast<int>(h.Ny), static_cast<int>(h.Nz), CV_16UC1,
                                out->GetScalarPointer());
            slice.convertTo(levelled, CV_32F, 1.0 / 65535.0);
            cv::pow(levelled, gammaPower, levelled);
            levelled.convertTo(levelled, -1, 65535.0 * 65535.0 * scale,
                               -zor::bench::kWindowLow * 65535.0 * scale);
            cv::blur(levelled, blurred, cv::Size(3, 3));
            cv::addWeighted(levelled, 1.0 + amount, blurred, -amount, 0.0, filtered);
            filtered.convertTo(grey, CV_8U, 1.0 / 256.0);
            cv::cvtColor(grey, display, cv::COLOR_GRAY2BGRA);
            benchmark::DoNotOptimize(display.data);
        }
        direction = -direction;
    }
}

}  // namespace

BENCHMARK(BM_CrossDragAnchorVtkOpenCv)->Unit(benchmark::kMillisecond)->Repetitions(7);
