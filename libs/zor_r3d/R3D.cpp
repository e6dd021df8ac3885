#include "zor_r3d/R3D.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "zor_r3d/FdkCore.h"
#include "zor_r3d/Metal.h"
#include "zor_r3d/Parallel.h"
#include "zor_r3d/PriorModel.h"
#include "zor_r3d/ProjectionIo.h"
#include "zor_r3d/TotalVariation.h"
#include "zor_r3d/Trajectory.h"
#include "zor_text/Utf.h"
#include "zor_vol/VolumeClass.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr size_t kMaxPath = 1024;
constexpr double kSlabSigmaMm = 0.4;
// The model of everything the rays cross: 0.8 mm voxels over 120 mm × 120 mm around the volume
// centre, seen by the detector binned 2 × 8 (0.3 mm × 1.2 mm), eight passes of ordered subsets of
// one view each with total-variation smoothing between them.
constexpr double kPriorPitchMm = 0.8;
constexpr double kPriorHalfSizeMm = 60.0;
constexpr int kPriorBinU = 2, kPriorBinV = 8, kPriorSubsets = 11, kPriorPasses = 8;
// Share of the filtered backprojection of the residual added to the model: with 11 views the
// residual still carries sparse-view streaks, so only part of it is taken.
constexpr float kDetailWeight = 0.6f;
// Reconstructed attenuation above which a voxel counts as metal: amalgam (0.6/mm) and titanium
// (0.28/mm) come out above it, enamel (0.1/mm) well below.
constexpr float kMetalMu = 0.3f;
// Total-variation smoothing before the slab: noise and the faint sparse-view streaks (contrast
// below about kTvEpsilon) are flattened, the edges of enamel, dentine, pulp and bone stay.
constexpr int kTvIterations = 10;
constexpr float kTvStep = 0.2f, kTvEpsilon = 0.005f;
// The same smoothing again with 2 × 2 voxels of each cross-section merged (0.3 mm): the
// streak patterns of the sparse views are a few voxels wide, wider than the finest steps see.
constexpr int kTvMergedBin = 2;

// Bounds of one job, checked from the trajectory before anything is allocated (R3D.h).
constexpr double kMaxJobBytes = 4.0 * 1024 * 1024 * 1024;
constexpr double kMaxJobWork = 512.0 * 1024 * 1024;

/// State behind the opaque handle; used by one operation at a time.
struct R3DContext {
    zor_r3d::FdkGeometry Geometry;
    zor_r3d::PriorGeometry Prior;
    std::string WorkFolder;
    std::string Error;  ///< why the last operation failed
    bool Prepared = false;
};

bool Fail(R3DContext& ctx, std::string why) {
    ctx.Error = std::move(why);
    return false;
}

std::string Gib(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f GiB", bytes / (1024.0 * 1024.0 * 1024.0));
    return text;
}

std::string Millions(double n) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f M", n / 1e6);
    return text;
}

// The memory a job may take: 4 GiB, or half the physical memory when that is less.
double MemoryLimit() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) {
        return kMaxJobBytes;
    }
    return std::min(kMaxJobBytes, 0.5 * static_cast<double>(pages) * static_cast<double>(pageSize));
}

// Peak memory of prepare + reconstruct and the work of a job, from its trajectory: the
// projections as line integrals and their filtered copy, the binned views with their
// normalisers, the maps of both grids, the anatomy model with its per-subset normalisers and
// the gradients of its smoothing, and the volume (float, the gradients of its smoothing or its
// smoothed copy, the 16-bit result). Work counts one unit per view and
// detector pixel (reading, filtering) and per view and voxel of both grids (projections).
// Empty when the job is within bounds, else the refusal.
std::string CheckJobSize(const zor_r3d::Trajectory& t) {
    zor_r3d::PriorGeometry prior;
    zor_r3d::PlanPriorGeometry(t, kPriorPitchMm, kPriorHalfSizeMm, kPriorBinU, kPriorBinV,
                               kPriorSubsets, prior);
    const zor_r3d::GridDesc& c = prior.Map.Grid;
    const double views = t.Views;
    const double pixels = static_cast<double>(t.DetCols) * t.DetRows;
    const double binned = static_cast<double>(prior.Binned.DetCols) * prior.Binned.DetRows;
    const double voxels = static_cast<double>(t.Nx) * t.Ny * t.Nz;
    const double coarse = static_cast<double>(c.Nx) * c.Ny * c.Nz;
    const double columns = static_cast<double>(t.Nx) * t.Ny + static_cast<double>(c.Nx) * c.Ny;
    const double bytes =
        4.0 * (2.0 * views * pixels + pixels + 3.0 * views * binned + 4.0 * views * columns +
               (prior.Subsets + 5.0) * coarse + 4.0 * voxels) +
        2.0 * voxels;
    const double work = views * (pixels + voxels + coarse);
    const std::string job = " (" + std::to_string(t.Views) + " views of " +
                            std::to_string(t.DetCols) + " × " + std::to_string(t.DetRows) +
                            " pixels, volume " + std::to_string(t.Nx) + " × " +
                            std::to_string(t.Ny) + " × " + std::to_string(t.Nz) + ")";
    const double memoryLimit = MemoryLimit();
    if (bytes > memoryLimit) {
        return "reconstruction refused: it needs about " + Gib(bytes) + " of memory, more than " +
               "the " + Gib(memoryLimit) + " a job may take" + job;
    }
    if (work > kMaxJobWork) {
        return "reconstruction refused: " + Millions(work) + " work units (views × (pixels + " +
               "voxels)), more than the " + Millions(kMaxJobWork) + " a job may take" + job;
    }
    return {};
}

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

bool ValidText(const char* text) {
    return text != nullptr && text[0] != '\0' && std::char_traits<char>::length(text) < kMaxPath;
}

// Reads projection file `index` (from 1) into line integrals.
bool LoadLineIntegrals(const zor_r3d::Trajectory& t, const std::string& folder, int index,
                       std::vector<float>& p, std::string& reason) {
    int w = t.DetCols, h = t.DetRows;
    std::vector<uint16_t> samples;
    if (!zor_r3d::ReadGrey16Tiff(zor_r3d::ProjectionPath(folder, index), w, h, samples, nullptr,
                                 &reason)) {
        return false;
    }
    p.resize(samples.size());
    const float lnFlat = static_cast<float>(std::log(zor_r3d::kFlatValue));
    // Table of -ln(s / flat) for every 16-bit sample.
    static const std::vector<float> table = [lnFlat] {
        std::vector<float> tab(65536);
        for (int s = 0; s < 65536; ++s) {
            tab[static_cast<size_t>(s)] = lnFlat - std::log(static_cast<float>(std::max(s, 1)));
        }
        return tab;
    }();
    for (size_t i = 0; i < samples.size(); ++i) {
        p[i] = table[samples[i]];
    }
    return true;
}

// Metal in `mu` (the first pass): its shadows are bridged in the residual `raw`, which is
// filtered into `filtered` and backprojected again by `backproject` (adding to a zeroed `mu`);
// the metal voxels keep the values of the first pass. False when cancelled.
bool ReconstructAroundMetal(const zor_r3d::FdkGeometry& g, std::vector<std::vector<float>>& raw,
                            std::vector<std::vector<float>>& filtered,
                            const std::function<void(int)>& backproject,
                            zor_r3d::ProgressReporter& progress, std::vector<float>& mu) {
    const zor_r3d::Trajectory& t = g.Traj;
    std::vector<unsigned char> metal;
    const std::vector<int> columns = zor_r3d::FindMetal(t, mu, kMetalMu, metal);
    if (columns.empty()) {
        return true;
    }
    auto bridge = [&](int v) {
        std::vector<float>& p = raw[static_cast<size_t>(v)];
        zor_r3d::BridgeMetalShadow(t, g.Volume, metal, columns, v, p.data());
        std::vector<std::complex<float>> scratch;
        zor_r3d::FilterView(g, p.data(), filtered[static_cast<size_t>(v)], scratch,
                            &progress.CancelFlag());
    };
    const std::vector<float> first = mu;
    std::fill(mu.begin(), mu.end(), 0.0f);
    if (!zor_r3d::RunParallel(t.Views, bridge, progress, 0.75, 0.78) ||
        !zor_r3d::RunParallel(t.Nx, backproject, progress, 0.78, 0.85)) {
        return false;
    }
    for (size_t n = 0; n < mu.size(); ++n) {
        mu[n] = metal[n] != 0 ? first[n] : mu[n];
    }
    return true;
}

// Reconstruction of the projections in the work folder onto the volume grid. With 11 views and
// most of each ray's attenuation outside the volume of interest, filtered backprojection alone
// puts streak copies of the surrounding anatomy into every cross-section. So first a model of
// everything the rays cross is fitted to binned projections (OS-SART with positivity on a
// coarser, larger grid), then the filtered backprojection of what the model does not explain
// adds the fine detail inside the volume; total-variation smoothing flattens what remains of
// the streaks and the photon noise, and a thin slab along the arch averages the rest. Values
// kept >= 0 (attenuation is never negative),
// mu in 1/mm, index ((i*ny)+j)*nz+k.
bool Reconstruct(R3DContext& ctx, zor_r3d::ProgressReporter& progress, std::vector<float>& mu) {
    ctx.Error = "cancelled";
    const zor_r3d::FdkGeometry& g = ctx.Geometry;
    const zor_r3d::Trajectory& t = g.Traj;
    std::vector<std::vector<float>> raw(static_cast<size_t>(t.Views));
    std::vector<std::vector<float>> binned(static_cast<size_t>(t.Views));
    std::atomic<bool> readFailed{false};
    std::vector<std::string> reasons(static_cast<size_t>(t.Views));
    // Projection file i+1 holds view Order[i].
    auto read = [&](int i) {
        const size_t v = static_cast<size_t>(t.Order[static_cast<size_t>(i)]);
        if (!LoadLineIntegrals(t, ctx.WorkFolder, i + 1, raw[v], reasons[static_cast<size_t>(i)])) {
            readFailed.store(true);
            return;
        }
        {
            binned[v].resize(static_cast<size_t>(ctx.Prior.Binned.DetCols) *
                             ctx.Prior.Binned.DetRows);
            zor_r3d::BinView(ctx.Prior, t, raw[v].data(), binned[v].data());
        }
    };
    if (!zor_r3d::RunParallel(t.Views, read, progress, 0.0, 0.1)) {
        return false;
    }
    if (readFailed.load()) {
        const auto bad = std::find_if(reasons.begin(), reasons.end(),
                                      [](const std::string& r) { return !r.empty(); });
        return Fail(ctx, bad != reasons.end() ? *bad : "a projection could not be read");
    }
    std::vector<float> coarse;
    if (!zor_r3d::SolveCoarse(ctx.Prior, binned, kPriorPasses, coarse, progress, 0.1, 0.4)) {
        return false;
    }
    binned.clear();
    {
        std::vector<std::vector<float>> known;
        if (!zor_r3d::ProjectModel(ctx.Prior, t, coarse, known, progress, 0.4, 0.45)) {
            return false;
        }
        for (size_t v = 0; v < raw.size(); ++v) {
            for (size_t p = 0; p < raw[v].size(); ++p) {
                raw[v][p] -= known[v][p];
            }
        }
    }
    std::vector<std::vector<float>> filtered(static_cast<size_t>(t.Views));
    auto filter = [&](int v) {
        std::vector<std::complex<float>> scratch;
        zor_r3d::FilterView(g, raw[static_cast<size_t>(v)].data(), filtered[static_cast<size_t>(v)],
                            scratch, &progress.CancelFlag());
    };
    if (!zor_r3d::RunParallel(t.Views, filter, progress, 0.45, 0.55)) {
        return false;
    }
    mu.assign(static_cast<size_t>(t.Nx) * t.Ny * t.Nz, 0.0f);
    const std::atomic<bool>& cancel = progress.CancelFlag();
    auto backproject = [&](int i) {
        for (int j = 0; j < t.Ny && !cancel.load(std::memory_order_relaxed); ++j) {
            float* out =
                mu.data() + (static_cast<size_t>(i) * t.Ny + j) * static_cast<size_t>(t.Nz);
            zor_r3d::BackprojectColumn(g, g.Volume, filtered, i, j, out, true);
            for (int k = 0; k < t.Nz; ++k) {
                out[k] *= kDetailWeight;
            }
            zor_r3d::AddModelColumn(ctx.Prior, t, coarse, i, j, out);
            for (int k = 0; k < t.Nz; ++k) {
                out[k] = std::max(0.0f, out[k]);
            }
        }
    };
    if (!zor_r3d::RunParallel(t.Nx, backproject, progress, 0.55, 0.75)) {
        return false;
    }
    if (!ReconstructAroundMetal(g, raw, filtered, backproject, progress, mu)) {
        return false;
    }
    if (!zor_r3d::SmoothTotalVariation(t, kTvIterations, kTvStep, kTvEpsilon, mu, progress, 0.85,
                                       0.87) ||
        !zor_r3d::SmoothTotalVariationMerged(t, kTvMergedBin, kTvIterations, kTvStep, kTvEpsilon,
                                             mu, progress, 0.87, 0.9)) {
        return false;
    }
    // With 11 views each tooth leaves shifted copies in the planes of its neighbours along the
    // arch, different in every plane; a Gaussian of kSlabSigmaMm along the arch (the slab each
    // cross-section shows) averages them out while the teeth, several mm wide, stay.
    const double sigma = kSlabSigmaMm / t.Dx;
    const int reach = static_cast<int>(std::ceil(3.0 * sigma));
    std::vector<float> kernel(static_cast<size_t>(2 * reach + 1));
    for (int d = -reach; d <= reach; ++d) {
        kernel[static_cast<size_t>(d + reach)] =
            static_cast<float>(std::exp(-0.5 * d * d / (sigma * sigma)));
    }
    const std::vector<float> sharp = mu;
    const size_t plane = static_cast<size_t>(t.Ny) * t.Nz;
    auto smooth = [&](int i) {
        float* out = mu.data() + static_cast<size_t>(i) * plane;
        std::fill(out, out + plane, 0.0f);
        float sum = 0.0f;
        for (int d = -reach; d <= reach; ++d) {
            const int src = i + d;
            if (src < 0 || src >= t.Nx) {
                continue;  // the edge planes renormalise over what exists
            }
            const float w = kernel[static_cast<size_t>(d + reach)];
            sum += w;
            const float* in = sharp.data() + static_cast<size_t>(src) * plane;
            for (size_t p = 0; p < plane; ++p) {
                out[p] += w * in[p];
            }
        }
        for (size_t p = 0; p < plane; ++p) {
            out[p] /= sum;
        }
    };
    return zor_r3d::RunParallel(t.Nx, smooth, progress, 0.9, 0.95);
}

}  // namespace

void* R3DInit_2012() {
    return new (std::nothrow) R3DContext();
}

const char* R3DLastError_2012(void* handle) {
    return handle != nullptr ? static_cast<R3DContext*>(handle)->Error.c_str() : "";
}

void R3DRelease_2012(void* handle) {
    delete static_cast<R3DContext*>(handle);
}

bool R3DPrepareVolume_2012(void* handle, VolumeClass* /*volume*/, const char* workFolder,
                           const char* trajectoryName, R3DProgressCallback callback, void* context,
                           double filterWindow, bool truncationCorrection) {
    auto* ctx = static_cast<R3DContext*>(handle);
    if (ctx == nullptr) {
        return false;
    }
    ctx->Prepared = false;
    ctx->Error.clear();
    if (!ValidText(workFolder) || !ValidText(trajectoryName)) {
        return Fail(*ctx, "work folder or trajectory name empty or too long");
    }
    zor_r3d::ProgressReporter progress(callback, context);
    const std::string folder = WithSlash(workFolder);
    zor_r3d::Trajectory t;
    if (!progress.Report(0.0)) {
        return Fail(*ctx, "cancelled");
    }
    std::string why;
    if (!zor_r3d::ReadTrajectoryFile(folder + trajectoryName, t, &why)) {
        return Fail(*ctx, why);
    }
    if (why = CheckJobSize(t); !why.empty()) {
        return Fail(*ctx, why);
    }
    try {
        if (!zor_r3d::BuildFdkGeometry(t, filterWindow, truncationCorrection, ctx->Geometry)) {
            return Fail(*ctx, "filter window out of range");
        }
        zor_r3d::FdkGeometry& g = ctx->Geometry;
        auto slab = [&g, &t](int i) { zor_r3d::BuildMapSlab(t, g.Volume, i); };
        if (!zor_r3d::RunParallel(t.Nx, slab, progress, 0.05, 0.3) ||
            !zor_r3d::BuildPriorGeometry(t, kPriorPitchMm, kPriorHalfSizeMm, kPriorBinU, kPriorBinV,
                                         kPriorSubsets, ctx->Prior, progress, 0.3, 1.0)) {
            return Fail(*ctx, "cancelled");
        }
    } catch (const std::bad_alloc&) {
        return Fail(*ctx, "out of memory");
    }
    ctx->WorkFolder = folder;
    ctx->Prepared = progress.Report(1.0);
    return ctx->Prepared || Fail(*ctx, "cancelled");
}

bool R3DReconstructVolume_2012(void* handle, VolumeClass* volume, const char* outputFile,
                               R3DProgressCallback callback, void* context) {
    auto* ctx = static_cast<R3DContext*>(handle);
    if (ctx == nullptr) {
        return false;
    }
    ctx->Error.clear();
    if (!ctx->Prepared || !ValidText(outputFile)) {
        return Fail(*ctx, ctx->Prepared ? "output file name empty or too long"
                                        : "no successful prepare on this handle");
    }
    zor_r3d::ProgressReporter progress(callback, context);
    zor_vol_file::VolumeHeader header;
    std::vector<uint16_t> voxels;
    try {
        std::vector<float> mu;
        if (!Reconstruct(*ctx, progress, mu)) {
            return false;
        }
        const zor_r3d::Trajectory& t = ctx->Geometry.Traj;
        header.Nx = static_cast<uint32_t>(t.Nx);
        header.Ny = static_cast<uint32_t>(t.Ny);
        header.Nz = static_cast<uint32_t>(t.Nz);
        header.Dx = t.Dx;
        header.Dy = t.Dy;
        header.Dz = t.Dz;
        header.CentreX = t.CentreX;
        header.CentreY = t.CentreY;
        header.CentreZ = t.CentreZ;
        header.AxisAngle = t.AxisAngleRad;
        header.RangeValue = 0.0;  // the first axis follows the panoramic columns
        voxels.resize(mu.size());
        const float scale = static_cast<float>(header.ValueScale);
        const float offset = static_cast<float>(header.ValueOffset) + 0.5f;
        for (size_t i = 0; i < mu.size(); ++i) {
            voxels[i] = static_cast<uint16_t>(std::clamp(mu[i] * scale + offset, 0.0f, 65535.0f));
        }
    } catch (const std::bad_alloc&) {
        return Fail(*ctx, "out of memory");
    }
    if (!progress.Report(0.97)) {
        return Fail(*ctx, "cancelled");
    }
    if (zor_vol_file::WriteVolumeFileAtomic(outputFile, header, voxels) !=
        zor_vol_file::VolumeFileError::None) {
        return Fail(*ctx, std::string(outputFile) + ": the volume could not be written");
    }
    ctx->Error.clear();
    if (volume != nullptr) {
        volume->mAttach(header, std::move(voxels));
    }
    progress.Report(1.0);
    return true;
}

int CreateTrajectory(int mode, double x, double y, double angle, double diameter, double stepDeg,
                     int views, const int* order, std::wstring_view workFolder, double fieldFactor,
                     double magH, double magV, int* xStart, int* yStart, int* rotationStart,
                     int* columns, int* success) {
    if (success != nullptr) {
        *success = 0;
    }
    if (mode != 0) {
        return 1;
    }
    if (views < 2 || views > 64 || !std::isfinite(angle) || std::fabs(angle) > 100.0) {
        return 2;
    }
    if (order == nullptr) {
        return 3;
    }
    zor_r3d::Trajectory t;
    t.Views = views;
    t.Order.assign(order, order + views);
    t.CentreX = x;
    t.CentreY = y;
    t.CentreZ = 0.0;
    // The caller passes -pi - (arch angle); the first volume axis runs along the arch towards
    // increasing panoramic columns, which is the arch angle turned by pi.
    t.AxisAngleRad = std::remainder(-angle, 2.0 * kPi);
    t.Diameter = diameter;
    t.StepDeg = stepDeg;
    t.FieldFactor = fieldFactor;
    t.MagH = magH;
    t.MagV = magV;
    if (std::isfinite(diameter) && std::isfinite(fieldFactor)) {
        t.Dx = diameter / t.Nx;
        t.DetCols = static_cast<int>(std::ceil(fieldFactor * diameter / t.PitchU / 2.0)) * 2;
    }
    t.DetRows = t.Nz + 24;  // room for the cone: rows near the source magnify more
    zor_r3d::Trajectory probe = t;
    probe.Order.clear();
    for (int i = 0; i < views; ++i) {
        probe.Order.push_back(i);
    }
    if (!zor_r3d::IsValid(probe)) {
        return 2;
    }
    if (!zor_r3d::IsValid(t)) {
        return 3;
    }
    const std::string folder = WithSlash(zor::text::WideToUtf8(workFolder));
    if (folder.empty() || folder.size() >= kMaxPath || !zor_r3d::WriteTrajectoryFiles(folder, t)) {
        return 4;
    }
    const zor_r3d::StartPosition p = zor_r3d::StartOf(t);
    if (xStart != nullptr)
        *xStart = p.XMicrons;
    if (yStart != nullptr)
        *yStart = p.YMicrons;
    if (rotationStart != nullptr)
        *rotationStart = p.RotationCentiDeg;
    if (columns != nullptr)
        *columns = p.Columns;
    if (success != nullptr)
        *success = 1;
    return 0;
}
