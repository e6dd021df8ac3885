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

/// The eleven DWORD settings: name, default and the member it fills, in the order they are
/// read and created. A flag member takes "value != 0"; a number takes the value as signed.
struct DwordSetting {
    const char* name;
    uint32_t defaultValue;
    bool AppSettings::*flag;
    int32_t AppSettings::*number;

    void Assign(AppSettings& s, uint32_t value) const {
        if (flag != nullptr)
            s.*flag = value != 0;
        else
            s.*number = static_cast<int32_t>(value);
    }
};
constexpr DwordSetting Flag(const char* name, uint32_t value, bool AppSettings::*member) {
    return {name, value, member, nullptr};
}
constexpr DwordSetting Number(const char* name, uint32_t value, int32_t AppSettings::*member) {
    return {name, value, nullptr, member};
}
constexpr std::array<DwordSetting, 11> kDwordSettings = {{
    Flag("IsPanoramicLimited", 1, &AppSettings::IsPanoramicLimited),
    Number("PanoramicLimitPercentage", 60, &AppSettings::PanoramicLimitPercentage),
    Flag("IsCrossAngleLimited", 1, &AppSettings::IsCrossAngleLimited),
    Number("CrossAngleLimit", 45, &AppSettings::CrossAngleLimit),
    Flag("IsCrossCropped", 1, &AppSettings::IsCrossCropped),
    Number("TopBottomCrossColumnCropped", 15, &AppSettings::TopBottomCrossColumnCropped),
    Number("LeftRightCrossColumnCroppedMinimum", 15,
           &AppSettings::LeftRightCrossColumnCroppedMinimum),
    Number("LeftRightCrossColumnCroppedMaximum", 60,
           &AppSettings::LeftRightCrossColumnCroppedMaximum),
    Flag("IsPanoramicToAppendToCross", 1, &AppSettings::IsPanoramicToAppendToCross),
    Flag(kIsLastPanoramicPhantomValue, 0, &AppSettings::IsLastPanoramicPhantom),
    Number(kSliceVisualNumberValue, 5, &AppSettings::SliceVisualNumber),
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

SettingsStatus LoadSettings(AppSettings& s, const std::filesystem::path& registryFile,
                            std::string* error) {
    auto key = RegistryKey::Open(kSettingsKey, true, FileOrDefault(registryFile), error);
    if (!key)
        return SettingsStatus::KeyUnavailable;
    if (!ReadInstallDir(*key, s.InstallDir))
        return SettingsStatus::InstallDirInvalid;

    // A missing value, or one of another type, takes its default, written back in one rewrite.
    std::vector<std::pair<std::string, platform::RegValue>> missing;
    for (const DwordSetting& setting : kDwordSettings) {
        const auto value = key->Query(setting.name);
        // A hex(4): value must carry exactly four bytes to be a DWORD.
        if (value && value->type == static_cast<uint32_t>(RegType::Dword) &&
            (value->bytes.empty() || value->bytes.size() == 4)) {
            setting.Assign(s, value->dword);
            continue;
        }
        setting.Assign(s, setting.defaultValue);
        platform::RegValue created;
        created.type = static_cast<uint32_t>(RegType::Dword);
        created.dword = setting.defaultValue;
        missing.emplace_back(setting.name, created);
    }
    // Also with nothing missing: the program writes this key while it runs.
    if (!key->SetValues(missing)) {
        if (error)
            *error = key->LastError();
        return SettingsStatus::KeyUnavailable;
    }
    return SettingsStatus::Ok;
}

bool WriteSettingDword(const char* name, uint32_t value, const std::filesystem::path& registryFile,
                       std::string* error, std::chrono::milliseconds lockWait) {
    auto key = RegistryKey::Open(kSettingsKey, true, FileOrDefault(registryFile), error);
    if (!key)
        return false;
    key->SetLockWait(lockWait);
    if (key->SetDword(name, value))
        return true;
    if (error)
        *error = key->LastError();
    return false;
}

bool WriteAppPath(const std::string& executablePath, const std::filesystem::path& registryFile) {
    auto key = RegistryKey::Open(kAppPathKey, true, FileOrDefault(registryFile));
    return key && key->SetString(kAppPathValue, executablePath, RegType::Sz);
}

std::string LanguageFilePath(const std::string& installDir, int languageNumber) {
    static constexpr std::array<const char*, 9> kFiles = {
        "en.xml", "es.xml", "fr.xml", "de.xml", "it.xml", "pl.xml", "pt.xml", "ru.xml", "zh.xml"};
    const bool known = languageNumber >= 0 && languageNumber < static_cast<int>(kFiles.size());
    return platform::InstallPath(installDir, {"language", kFiles[known ? languageNumber : 0]})
        .string();
}

int ReadLanguageNumber(const std::string& installDir) {
    return platform::GetPrivateProfileInt(
        kIniDriverSection, kIniLanguageKey, 0,
        platform::InstallPath(installDir, {"config", "config.ini"}));
}

}  // namespace zor::shell
