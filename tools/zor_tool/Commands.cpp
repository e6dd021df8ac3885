#include "Commands.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "phantom/DemoData.h"
#include "phantom/DentalPhantom.h"
#include "phantom/PhantomImaging.h"
#include "phantom/Quality.h"
#include "zor_r3d/ProjectionIo.h"
#include "zor_r3d/R3D.h"
#include "zor_vol/VolumeClass.h"

namespace zor::tool {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMagnification = 1.436031331592689;

std::atomic<bool> g_Interrupted{false};

bool ToDouble(const std::string& text, double& value) {
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && p == text.data() + text.size() && std::isfinite(value);
}

std::string Folder(std::string f) {
    if (!f.empty() && f.back() != '/') {
        f += '/';
    }
    return f;
}

int Usage(const char* name) {
    for (const auto& c : kCommands) {
        if (std::string(c.Name) == name) {
            std::fprintf(stderr, "usage: zor_tool %s\n", c.Usage);
        }
    }
    return 2;
}

// Progress of one reconstruction stage on stderr.
struct Progress {
    const char* Stage;
    bool Terminal;      // stderr is a terminal: one bar redrawn in place
    int LastStep = -1;  // otherwise: the last 10 % step written as a line
};

// Draws the bar on a terminal; elsewhere (a log, a pipe) writes one line per 10 % step, since
// the library reports progress hundreds of times. Returns -1 after Ctrl-C.
int ShowProgress(double fraction, void* context) {
    auto& progress = *static_cast<Progress*>(context);
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (progress.Terminal) {
        const int width = 40, filled = static_cast<int>(fraction * width);
        std::fprintf(stderr, "\r%-12s [%.*s%*s] %3d%%", progress.Stage, filled,
                     "########################################", width - filled, "",
                     static_cast<int>(fraction * 100));
        std::fflush(stderr);
    } else if (const int step = static_cast<int>(fraction * 10); step > progress.LastStep) {
        progress.LastStep = step;
        std::fprintf(stderr, "%s %d%%\n", progress.Stage, step * 10);
    }
    return g_Interrupted.load() ? -1 : 0;
}

// Ends the bar's line; the lines of the other form are complete.
void EndProgress(const Progress& progress) {
    if (progress.Terminal)
        std::fprintf(stderr, "\n");
}

}  // namespace

std::string Option(const Args& args, const std::string& flag, const std::string& fallback) {
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == flag) {
            return args[i + 1];
        }
    }
    return fallback;
}

bool HasFlag(const Args& args, const std::string& flag) {
    for (const auto& a : args) {
        if (a == flag) {
            return true;
        }
    }
    return false;
}

int RunPhantom(const Args& args) {
    if (args.size() != 1) {
        return Usage("phantom");
    }
    std::string error;
    if (!phantom::WriteDemoData(Folder(args[0]), &error)) {
        std::fprintf(stderr, "zor_tool phantom: %s\n", error.c_str());
        return 1;
    }
    std::printf("demo data written under %s\n", args[0].c_str());
    return 0;
}

int RunTrajectory(const Args& args) {
    if (args.empty()) {
        return Usage("trajectory");
    }
    const auto kind =
        HasFlag(args, "--child") ? phantom::PhantomKind::Child : phantom::PhantomKind::Adult;
    double x = 0, y = 0, angle = 0, diameter = 35.0, column = 1304;
    if (!ToDouble(Option(args, "--diameter", "35"), diameter) ||
        !ToDouble(Option(args, "--column", "1304"), column)) {
        return Usage("trajectory");
    }
    if (HasFlag(args, "--x")) {
        if (!ToDouble(Option(args, "--x", ""), x) || !ToDouble(Option(args, "--y", ""), y) ||
            !ToDouble(Option(args, "--angle", ""), angle)) {
            return Usage("trajectory");
        }
    } else {
        // As the system does: the curve point and angle of the chosen panoramic column.
        const phantom::DentalPhantom model(kind);
        const auto lut = phantom::MakeLut(model, "");
        const int raw = static_cast<int>(column) + phantom::PanoramicLayout::kMarginLeft;
        if (raw < 0 || raw >= static_cast<int>(lut.Entries.size())) {
            return Usage("trajectory");
        }
        x = lut.Entries[static_cast<size_t>(raw)].X;
        y = lut.Entries[static_cast<size_t>(raw)].Y;
        angle = -kPi - lut.Entries[static_cast<size_t>(raw)].Angle;
    }
    const int order[11] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    const std::string folder = Folder(args[0]);
    const std::wstring wide(folder.begin(), folder.end());
    int xs = 0, ys = 0, rs = 0, cols = 0, ok = 1;
    const int rc = CreateTrajectory(0, x, y, angle, diameter, 20.0, 11, order, wide, 2.4,
                                    kMagnification, kMagnification, &xs, &ys, &rs, &cols, &ok);
    if (rc != 0 || ok == 0) {
        std::fprintf(stderr, "zor_tool trajectory: CreateTrajectory failed (%d)\n", rc);
        return 1;
    }
    std::printf("x=%d y=%d rotation=%d columns=%d\n", xs, ys, rs, cols);
    return 0;
}

int RunProject(const Args& args) {
    if (args.empty()) {
        return Usage("project");
    }
    const std::string folder = Folder(args[0]);
    const std::string tra = Option(args, "--trajectory", folder + "ConeBeam.tra");
    const auto kind =
        HasFlag(args, "--child") ? phantom::PhantomKind::Child : phantom::PhantomKind::Adult;
    std::string error;
    if (!phantom::ProjectTrajectoryFile(kind, tra, folder, phantom::Exposure{}, &error)) {
        std::fprintf(stderr, "zor_tool project: %s\n", error.c_str());
        return 1;
    }
    std::printf("projections written into %s\n", folder.c_str());
    return 0;
}

int RunReconstruct(const Args& args) {
    if (args.empty()) {
        return Usage("reconstruct");
    }
    const std::string folder = Folder(args[0]);
    std::string tra = Option(args, "--trajectory", "");
    if (tra.empty()) {
        tra = std::filesystem::exists(folder + "ConeBeamSent.tra") ? "ConeBeamSent.tra"
                                                                   : "ConeBeam.tra";
    }
    std::signal(SIGINT, [](int) { g_Interrupted.store(true); });
    void* handle = R3DInit_2012();
    VolumeClass volume;
    const auto start = std::chrono::steady_clock::now();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    Progress prepare{"prepare", terminal}, reconstruct{"reconstruct", terminal};
    bool ok = R3DPrepareVolume_2012(handle, &volume, folder.c_str(), tra.c_str(), ShowProgress,
                                    &prepare, 0.35, true);
    EndProgress(prepare);
    const std::string out = folder + "Volume.vol";
    if (ok) {
        ok = R3DReconstructVolume_2012(handle, &volume, out.c_str(), ShowProgress, &reconstruct);
        EndProgress(reconstruct);
    }
    const std::string error = ok ? std::string() : std::string(R3DLastError_2012(handle));
    R3DRelease_2012(handle);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
        std::fprintf(stderr, "zor_tool reconstruct: %s\n",
                     g_Interrupted.load() ? "cancelled"
                     : error.empty()      ? "failed"
                                          : error.c_str());
        return 1;
    }
    std::printf("%s written (%d x %d x %d) in %.0f ms\n", out.c_str(), volume.m_DimX, volume.m_DimY,
                volume.m_DimZ, ms);
    return 0;
}

int RunSlice(const Args& args) {
    double pos = 0.5, angle = 0.0;
    const std::string out = Option(args, "-o", "");
    if (args.empty() || out.empty() || !ToDouble(Option(args, "--pos", "0.5"), pos) ||
        !ToDouble(Option(args, "--angle", "0"), angle)) {
        return Usage("slice");
    }
    VolumeClass volume;
    const int rc = volume.mInit(args[0].c_str());
    if (rc != 0) {
        std::fprintf(stderr, "zor_tool slice: cannot load %s (code %d)\n", args[0].c_str(), rc);
        return 1;
    }
    volume.Slice_Extract(0.5, 0.0, nullptr);
    SliceInfo info;
    volume.Slice_Extract(pos, angle, &info);
    std::vector<uint16_t> pixels(volume.m_SliceBuffer,
                                 volume.m_SliceBuffer + volume.m_DimY * volume.m_DimZ);
    char desc[256];
    std::snprintf(desc, sizeof desc,
                  "orvix=333,type=ZOR,pixsize=0.150000,SLICE_POSX=%f,"
                  "SLICE_POSY=%f,SLICE_ROT1=%f,SLICE_ROT2=%f",
                  info.CenterX, info.CenterY, info.Rot1, info.Rot2);
    if (!zor_r3d::WriteGrey16Tiff(out, volume.m_DimY, volume.m_DimZ, pixels, desc)) {
        std::fprintf(stderr, "zor_tool slice: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("slice at %.3f, %.3f rad written to %s\n", pos, angle, out.c_str());
    return 0;
}

namespace {

void PrintTissue(const char* name, const phantom::TissueStats& t) {
    if (t.Pixels == 0) {
        std::printf("%-11s  (not in these cross-sections)\n", name);
        return;
    }
    std::printf("%-11s  %.4f  %.4f (sd %.4f)   %.4f   %5.1f %%   %zu\n", name, t.TrueMean,
                t.ReconstructedMean, t.ReconstructedSd, t.MeanAbsError, 100.0 * t.RelativeError(),
                t.Pixels);
}

}  // namespace

int RunQuality(const Args& args) {
    if (args.empty()) {
        return Usage("quality");
    }
    VolumeClass volume;
    const int rc = volume.mInit(args[0].c_str());
    if (rc != 0) {
        std::fprintf(stderr, "zor_tool quality: cannot load %s (code %d)\n", args[0].c_str(), rc);
        return 1;
    }
    const phantom::DentalPhantom model(HasFlag(args, "--child") ? phantom::PhantomKind::Child
                                                                : phantom::PhantomKind::Adult);
    double slab = 1.0;
    if (!ToDouble(Option(args, "--slab", "1"), slab) || slab <= 0.0 || slab > 10.0) {
        return Usage("quality");
    }
    if (HasFlag(args, "--reverse")) {
        phantom::ReverseAlongArch(volume);
    }
    const std::vector<double> positions = {0.1, 0.3, 0.5, 0.7, 0.9};
    const auto m = phantom::MeasureQuality(model, volume, positions, slab);
    std::printf("position  NCC thin  NCC slab %.1f mm\n", slab);
    for (size_t i = 0; i < m.Positions.size(); ++i) {
        std::printf("%8.2f  %8.3f  %8.3f\n", m.Positions[i], m.NccThin[i], m.NccSlab[i]);
    }
    std::printf("mean      %8.3f  %8.3f\n", m.MeanNccThin, m.MeanNccSlab);
    std::printf("tissue       true    reconstructed      |error|  relative  pixels (1/mm)\n");
    PrintTissue("enamel", m.Enamel);
    PrintTissue("dentine", m.Dentine);
    PrintTissue("pulp", m.Pulp);
    PrintTissue("cortical", m.Cortical);
    PrintTissue("trabecular", m.Trabecular);
    PrintTissue("canal", m.Canal);
    std::printf("CNR pulp/dentine %.2f, mandibular canal/trabecular bone %.2f\n", m.PulpDentineCnr,
                m.CanalBoneCnr);
    phantom::Resolution res{std::nan(""), std::nan(""), std::nan(""), std::nan("")};
    if (const std::string work = Option(args, "--work", ""); !work.empty()) {
        std::string tra = Option(args, "--trajectory", "");
        if (tra.empty()) {
            tra = std::filesystem::exists(Folder(work) + "ConeBeamSent.tra") ? "ConeBeamSent.tra"
                                                                             : "ConeBeam.tra";
        }
        std::string error;
        if (!phantom::MeasureResolution(Folder(work), tra, res, &error)) {
            std::fprintf(stderr, "zor_tool quality: resolution not measured: %s\n", error.c_str());
            return 1;
        }
        std::printf(
            "bead: slice sensitivity FWHM %.2f mm, line spread across the arch FWHM "
            "%.2f mm, edge 10-90 %% across %.2f mm, vertical %.2f mm\n",
            res.SliceFwhmMm, res.AcrossFwhmMm, res.AcrossEdgeMm, res.VerticalEdgeMm);
    }
    std::printf(
        "summary ncc_thin=%.3f ncc_slab=%.3f min_thin=%.3f enamel=%.3f dentine=%.3f "
        "pulp=%.3f cortical=%.3f cnr_pulp=%.2f cnr_canal=%.2f ssp=%.2f edge=%.2f values=%.3f\n",
        m.MeanNccThin, m.MeanNccSlab,
        m.NccThin.empty() ? std::nan("") : *std::min_element(m.NccThin.begin(), m.NccThin.end()),
        m.Enamel.RelativeError(), m.Dentine.RelativeError(), m.Pulp.RelativeError(),
        m.Cortical.RelativeError(), m.PulpDentineCnr, m.CanalBoneCnr, res.SliceFwhmMm,
        res.AcrossEdgeMm, m.ValueRatio);
    const std::string out = Option(args, "-o", "");
    if (!out.empty()) {
        const auto cmp = phantom::CompareWithTruth(model, volume, positions, 0.0);
        int w = 0, h = 0;
        const auto img = phantom::ComparisonMontage(cmp, w, h);
        if (!zor_r3d::WriteGrey16Tiff(out, w, h, img,
                                      "truth | reconstruction | difference | tissues")) {
            std::fprintf(stderr, "zor_tool quality: cannot write %s\n", out.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace zor::tool
