// zor_tool export: the panoramic and the crosses of a volume written as the program's export
// writes them, without the program (no workflow, no check of the device programs).
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "Commands.h"
#include "acquisition/Export.h"
#include "acquisition/Workflow.h"
#include "images/PanoramicLoader.h"
#include "platform/LocalTime.h"
#include "platform/Registry.h"
#include "viewer/CrossImages.h"
#include "zor_vol/VolumeClass.h"

namespace zor::tool {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSettingsKey = "HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern";

/// Prints the log lines of the export on standard error.
struct ErrorLog : IStatusSink {
    void LogMessage(const std::string& text, bool, int, bool) override {
        if (!text.empty())
            std::fprintf(stderr, "zor_tool export: %s\n", text.c_str());
    }
};

/// "I,J,..." with every index in 0..49; false on anything else.
bool ParsePositions(const std::string& text, std::array<bool, viewer::kCrossPositions>& chosen) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        int index = -1;
        const auto [next, error] = std::from_chars(p, end, index);
        if (error != std::errc{} || index < 0 || index >= viewer::kCrossPositions)
            return false;
        chosen[static_cast<size_t>(index)] = true;
        p = next;
        if (p < end && *p++ != ',')
            return false;
        if (p == end && text.back() == ',')
            return false;
    }
    return !text.empty();
}

/// The crosses' settings and the install folder as the program reads them.
void ReadSettings(viewer::CrossSettings& crosses, std::string& installDir) {
    const auto key = platform::RegistryKey::Open(kSettingsKey, false);
    if (!key)
        return;
    const auto flag = [&](const char* name, bool& out) {
        if (const auto v = key->Query(name); v && v->type == 4)
            out = v->dword != 0;
    };
    const auto number = [&](const char* name, int& out) {
        if (const auto v = key->Query(name); v && v->type == 4)
            out = static_cast<int>(v->dword);
    };
    if (const auto v = key->Query("InstallDir"); v && (v->type == 1 || v->type == 2))
        installDir = v->text;
    flag("IsCrossCropped", crosses.IsCrossCropped);
    number("LeftRightCrossColumnCroppedMinimum", crosses.LeftRightCrossColumnCroppedMinimum);
    number("LeftRightCrossColumnCroppedMaximum", crosses.LeftRightCrossColumnCroppedMaximum);
    flag("IsPanoramicToAppendToCross", crosses.IsPanoramicToAppendToCross);
    flag("IsCrossAngleLimited", crosses.IsCrossAngleLimited);
    number("CrossAngleLimit", crosses.CrossAngleLimit);
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "zor_tool export: %s\n", text.c_str());
    return 1;
}

}  // namespace

int RunExport(const Args& args) {
    if (args.size() < 2 || args[0].empty() || args[0][0] == '-' || args[1].empty() ||
        args[1][0] == '-' || (HasFlag(args, "--all") && HasFlag(args, "--positions"))) {
        for (const Command& command : kCommands) {
            if (std::strcmp(command.Name, "export") == 0)
                std::fprintf(stderr, "usage: zor_tool %s\n", command.Usage);
        }
        return 2;
    }
    acquisition::SliceSource source;
    std::string installDir;
    ReadSettings(source.Crosses, installDir);
    const bool all = !HasFlag(args, "--positions");
    if (!all && !ParsePositions(Option(args, "--positions", ""), source.Selected))
        return Fail("--positions takes indices 0..49 separated by commas, e.g. 3,24,25");
    const std::string folder =
        Option(args, "--out", acquisition::ReadOutFolderPath(platform::RegistryFilePath()));
    std::error_code error;
    if (!fs::is_directory(folder.empty() ? "/" : folder, error))
        return Fail("the output folder \"" + folder + "\" is not a folder");

    VolumeClass volume;
    if (const int result = volume.mInit(args[0].c_str()); result != 0)
        return Fail(args[0] + " is not a readable volume (error " + std::to_string(result) + ")");
    images::ImageSettings settings;
    settings.m_InstallDir = Option(args, "--install-dir", installDir);
    images::PanoramicLoader loader(settings, {});
    const bool lut = loader.LoadPanoramicMetadata(args[1]);
    if (loader.LoadPanoramicImage(args[1], true) != 0 || loader.View() == nullptr)
        return Fail(args[1] + " is not a readable panoramic");
    if (!lut)
        std::fprintf(stderr,
                     "zor_tool export: no projection LUT for \"%s\" (give --install-dir)"
                     "; crosses cut without the curve's angles, no marker\n",
                     loader.Info().ProjectionId.c_str());

    // The crosses' angles come from the viewer's own table, built on this volume and LUT.
    viewer::CrossImages images;
    viewer::CrossView crosses(source.Crosses, images);
    crosses.SetVolume(&volume);
    viewer::CrossPanoramic panoramic;
    if (lut && loader.Projection() != nullptr && loader.Projection()->m_Lut) {
        panoramic.lut = loader.Projection()->m_Lut->Projection();
        panoramic.imageWidth = loader.View()->m_Full.m_Width;
        panoramic.display = {0, 0, panoramic.imageWidth, loader.View()->m_Full.m_Height};
    }
    crosses.SetPanoramic(panoramic);
    crosses.GenerateCrosses();

    const fs::path work = fs::path(args[0]).parent_path();
    acquisition::ReadAcquisitionRecord(work.empty() ? "." : work, source.Record);
    source.YAxisMovable = source.Record.YAxisMovable;
    if (source.YAxisMovable)
        acquisition::CheckCollimator(source.Record.CollimatorLower, source.Record.CollimatorUpper,
                                     source.CollimatorA, source.CollimatorB);
    source.Volume = &volume;
    source.Lut = panoramic.lut;
    source.Panoramic = loader.View();
    source.Info = &loader.Info();
    source.Angles = crosses.AngleTable();
    source.ReferenceAngle =
        source.Angles[static_cast<size_t>(std::clamp(volume.m_DimX / 2, 0, 49))];
    source.TimeStamp = loader.ExportTimeStamp();
    source.VolumeImageId = platform::FormatLocalTime("%Y-%m-%d_%H-%M-%S");

    ErrorLog log;
    std::string why;
    const std::string panoramicFile = acquisition::PanoramicFileName(folder, source.TimeStamp);
    if (acquisition::WritePanoramicFile(*loader.View(), loader.Info(), panoramicFile, why))
        std::printf("%s\n", panoramicFile.c_str());
    else
        log.LogMessage(panoramicFile + " not written (" +
                           (why.empty() ? std::string("not a 16-bit panoramic") : why) + ")",
                       false, 0, false);
    const acquisition::SliceExportCount count = acquisition::WriteSlices(source, folder, all, &log);
    for (int i = 0; i < viewer::kCrossPositions; ++i) {
        const std::string file = acquisition::SliceFileName(folder, i, source.TimeStamp);
        if ((all || source.Selected[static_cast<size_t>(i)]) && fs::exists(file, error))
            std::printf("%s\n", file.c_str());
    }
    std::fprintf(
        stderr,
        "zor_tool export: %d of %d crosses written (%d beyond the volume or the "
        "angle limit)\n",
        count.Written, count.Due,
        (all ? viewer::kCrossPositions
             : static_cast<int>(std::count(source.Selected.begin(), source.Selected.end(), true))) -
            count.Due);
    return count.Failed == 0 && why.empty() ? 0 : 1;
}

}  // namespace zor::tool
