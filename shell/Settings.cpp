#include "shell/Settings.h"

#include <array>
#include <utility>
#include <vector>

#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/TextConvert.h"
#include "shell/ShellConstants.h"

namespace zor::shell {

namespace {

using platform::RegistryKey;
using platform::RegType;

std::filesystem::path FileOrDefault(const std::filesystem::path& file) {
    return file.empty() ? platform::RegistryFilePath() : file;
}

/// The eleven DWORD settings with their defaults, in the order they are read and created.
struct DwordSetting {
    const char* name;
    uint32_t defaultValue;
};
constexpr std::array<DwordSetting, 11> kDwordSettings = {{
    {"IsPanoramicLimited", 1},
    {"PanoramicLimitPercentage", 60},
    {"IsCrossAngleLimited", 1},
    {"CrossAngleLimit", 45},
    {"IsCrossCropped", 1},
    {"TopBottomCrossColumnCropped", 15},
    {"LeftRightCrossColumnCroppedMinimum", 15},
    {"LeftRightCrossColumnCroppedMaximum", 60},
    {"IsPanoramicToAppendToCross", 1},
    {kIsLastPanoramicPhantomValue, 0},
    {kSliceVisualNumberValue, 5},
}};

bool ReadInstallDir(const RegistryKey& key, std::string& installDir) {
    const auto value = key.Query(kInstallDirValue);
    if (!value)
        return false;
    if (value->type != static_cast<uint32_t>(RegType::Sz) &&
        value->type != static_cast<uint32_t>(RegType::ExpandSz)) {
        return false;
    }
    std::string text = value->text;
    if (const auto nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    const auto characters = platform::Utf8ToWide(text).size();
    if (text.empty() || characters + 1 > static_cast<size_t>(kMaxPathChars))
        return false;
    installDir = text;
    return true;
}

}  // namespace

SettingsStatus LoadSettings(AppSettings& s, const std::filesystem::path& registryFile) {
    auto key = RegistryKey::Open(kSettingsKey, true, FileOrDefault(registryFile));
    if (!key)
        return SettingsStatus::KeyUnavailable;
    if (!ReadInstallDir(*key, s.InstallDir))
        return SettingsStatus::InstallDirInvalid;

    // A missing value, or one of another type, takes its default, written back in one rewrite.
    std::array<uint32_t, kDwordSettings.size()> v{};
    std::vector<std::pair<std::string, platform::RegValue>> missing;
    for (size_t i = 0; i < kDwordSettings.size(); ++i) {
        const auto value = key->Query(kDwordSettings[i].name);
        // A hex(4): value must carry exactly four bytes to be a DWORD.
        if (value && value->type == static_cast<uint32_t>(RegType::Dword) &&
            (value->bytes.empty() || value->bytes.size() == 4)) {
            v[i] = value->dword;
            continue;
        }
        v[i] = kDwordSettings[i].defaultValue;
        platform::RegValue created;
        created.type = static_cast<uint32_t>(RegType::Dword);
        created.dword = v[i];
        missing.emplace_back(kDwordSettings[i].name, created);
    }
    if (!missing.empty())
        key->SetValues(missing);

    const auto asInt = [](uint32_t x) { return static_cast<int32_t>(x); };
    s.IsPanoramicLimited = v[0] != 0;
    s.PanoramicLimitPercentage = asInt(v[1]);
    s.IsCrossAngleLimited = v[2] != 0;
    s.CrossAngleLimit = asInt(v[3]);
    s.IsCrossCropped = v[4] != 0;
    s.TopBottomCrossColumnCropped = asInt(v[5]);
    s.LeftRightCrossColumnCroppedMinimum = asInt(v[6]);
    s.LeftRightCrossColumnCroppedMaximum = asInt(v[7]);
    s.IsPanoramicToAppendToCross = v[8] != 0;
    s.IsLastPanoramicPhantom = v[9] != 0;
    s.SliceVisualNumber = asInt(v[10]);
    return SettingsStatus::Ok;
}

bool WriteSettingDword(const char* name, uint32_t value,
                       const std::filesystem::path& registryFile) {
    auto key = RegistryKey::Open(kSettingsKey, true, FileOrDefault(registryFile));
    return key && key->SetDword(name, value);
}

bool WriteAppPath(const std::string& executablePath, const std::filesystem::path& registryFile) {
    auto key = RegistryKey::Open(kAppPathKey, true, FileOrDefault(registryFile));
    return key && key->SetString(kAppPathValue, executablePath, RegType::Sz);
}

std::string LanguageFilePath(const std::string& installDir, int languageNumber) {
    static constexpr std::array<const char*, 9> kFiles = {
        "language/en.xml", "language/es.xml", "language/fr.xml",
        "language/de.xml", "language/it.xml", "language/pl.xml",
        "language/pt.xml", "language/ru.xml", "language/zh.xml"};
    const bool known = languageNumber >= 0 && languageNumber < static_cast<int>(kFiles.size());
    return platform::JoinWithSeparator(installDir, kFiles[known ? languageNumber : 0]);
}

int ReadLanguageNumber(const std::string& installDir) {
    return platform::GetPrivateProfileInt(kIniDriverSection, kIniLanguageKey, 0,
                                          platform::JoinRaw(installDir, kIniFile));
}

}  // namespace zor::shell
