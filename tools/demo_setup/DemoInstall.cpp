#include "demo_setup/DemoInstall.h"

#include <fstream>

#include "phantom/DemoData.h"
#include "platform/Registry.h"

namespace zor::tools {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSettingsKey = "HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern";
constexpr const char* kUserKey = "HKEY_CURRENT_USER\\SOFTWARE\\VORDAL\\Dextrum\\settings";

bool CopyFolderFiles(const fs::path& from, const fs::path& to, const std::string& extension,
                     std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(from, ec))
        return true;  // optional content not built yet
    for (const auto& entry : fs::directory_iterator(from, ec)) {
        if (!entry.is_regular_file() ||
            (!extension.empty() && entry.path().extension() != extension)) {
            continue;
        }
        fs::copy_file(entry.path(), to / entry.path().filename(),
                      fs::copy_options::overwrite_existing, ec);
        if (ec) {
            error = "cannot copy " + entry.path().string() + ": " + ec.message();
            return false;
        }
    }
    return true;
}

/// Copies a built program into the installation; a program not built yet is left out.
bool InstallProgram(const fs::path& built, const fs::path& install, std::string& error) {
    std::error_code ec;
    if (!fs::is_regular_file(built, ec))
        return true;
    fs::copy_file(built, install / built.filename(), fs::copy_options::overwrite_existing, ec);
    if (ec)
        error = "cannot install " + built.string() + ": " + ec.message();
    return !ec;
}

bool WriteIni(const fs::path& file, int language, std::string& error) {
    std::ofstream out(file, std::ios::trunc);
    out << "; DTS demo installation\n"
           "[PCDRIVER_OPTIONS]\n"
           "language="
        << language
        << "\n\n"
           // The reconstruction uses a narrow band of the 16 bits: the crosses are stretched
           // to the levels present (the cropped zeros left out) before the default gamma.
           "[FILTERS_AUTOMATIC_3D]\n"
           "MAX_ENTRIES=2\n"
           "FILTER_01=ShannonStretching 0.020000,0.980000,0,1,0,0\n"
           "FILTER_02=gamma 1.100000\n";
    if (!out)
        error = "cannot write " + file.string();
    return static_cast<bool>(out);
}

bool WriteRegistry(const fs::path& file, const std::string& installDir, const std::string& outDir,
                   std::string& error) {
    auto key = platform::RegistryKey::Create(kSettingsKey, file);
    auto user = platform::RegistryKey::Create(kUserKey, file);
    if (!key || !user || !key->SetString("InstallDir", installDir) ||
        !key->SetString("IPAddress", "127.0.0.1") || !key->SetString("OutFolderPath", outDir)) {
        error = "cannot write the registry file " + file.string();
        return false;
    }
    return true;
}

}  // namespace

bool CreateDemoInstall(const DemoInstallOptions& o, std::string& error) {
    const fs::path install = o.Root / "install";
    std::error_code ec;
    for (const char* dir : {"config", "config_zor/zor_manager", "language", "docs", "work"}) {
        fs::create_directories(install / dir, ec);
        if (ec) {
            error = "cannot create " + (install / dir).string() + ": " + ec.message();
            return false;
        }
    }
    fs::create_directories(o.Root / "export", ec);

    if (!WriteIni(install / "config/config.ini", o.Language, error))
        return false;
    if (!CopyFolderFiles(o.SourceDir / "resources/language", install / "language", ".xml", error)) {
        return false;
    }
    // Pictures rendered by the build, laid out as the installation expects them.
    const fs::path art = o.BuildDir / "installdir-files";
    if (fs::is_directory(art, ec)) {
        fs::copy(art, install, fs::copy_options::recursive | fs::copy_options::overwrite_existing,
                 ec);
        if (ec) {
            error = "cannot copy the pictures: " + ec.message();
            return false;
        }
    }
    if (!CopyFolderFiles(o.SourceDir / "docs", install / "docs", ".pdf", error))
        return false;

    // The device side: the driver simulator and the capture stand-in run from InstallDir, and
    // the driver hands its answers to InstallDir/zor_manager, here a link to the built program.
    if (!InstallProgram(o.BuildDir / "tools/device_driver_host/DeviceDriverHost", install, error) ||
        !InstallProgram(o.BuildDir / "tools/capture_station/CaptureStation", install, error)) {
        return false;
    }
    // The filter plug-ins go to <common program files>/Orvix/Filters, the common program files
    // being Root/"common" (the demo exports it as CommonProgramFiles). The folder must not be
    // writable by others, or the program refuses it.
    const fs::path plugins = o.Root / "common" / "Orvix" / "Filters";
    fs::create_directories(plugins, ec);
    const fs::perms shared = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec;
    for (const fs::path& folder : {o.Root / "common", plugins.parent_path(), plugins})
        fs::permissions(folder, shared, ec);
    if (!InstallProgram(o.BuildDir / "filters/OrvixFilters.so", plugins, error))
        return false;
    const fs::path manager = o.BuildDir / "app/zor_manager";
    if (fs::is_regular_file(manager, ec)) {
        fs::remove(install / "zor_manager", ec);
        fs::create_symlink(manager, install / "zor_manager", ec);
        if (ec) {
            error = "cannot link zor_manager into the installation: " + ec.message();
            return false;
        }
    }

    // The phantom's LUTs, curve picture and panoramics; its curve picture is the one that
    // matches the LUTs, so it replaces any drawn stand-in. An examination archives whatever
    // else lies in the work folder, the phantom's panoramics included: they are made again.
    const fs::path lut = install / "config_zor" / "0.0.31.0_X.LUT";
    const fs::path panoramic = install / "work" / "phantom_pano.tif";
    if (o.RefreshPhantom || !fs::exists(lut, ec) || !fs::exists(panoramic, ec)) {
        if (!phantom::WriteDemoData(install.string(), &error))
            return false;
    }

    return WriteRegistry(o.Root / "registry.reg", install.string() + "/",
                         (o.Root / "export").string() + "/", error);
}

}  // namespace zor::tools
