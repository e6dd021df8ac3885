#include "shell/Settings.h"

#include <array>

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

/// Reads a DWORD; a missing value or one of another type takes the default, written back.
uint32_t ReadOrCreateDword(RegistryKey& key, const char* name, uint32_t defaultValue) {
    const auto value = key.Query(name);
    if (value && value->type == static_cast<uint32_t>(RegType::Dword)) return value->dword;
    key.SetDword(name, defaultValue);
    return defaultValue;
}

bool ReadInstallDir(const RegistryKey& key, std::string& installDir) {
    const auto value = key.Query(kInstallDirValue);
    if (!value) return false;
    if (value->type != static_cast<uint32_t>(RegType::Sz) &&
        value->type != static_cast<uint32_t>(RegType::ExpandSz)) {
        return false;
    }
    std::string text = value->text;
    if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    const auto characters = platform::Utf8ToWide(text).size();
    if (text.empty() || characters + 1 > static_cast<size_t>(kMaxPathChars)) return false;
    installDir = text;
    return true;
}

}  // namespace

SettingsStatus LoadSettings(AppSettings& s, const std::filesystem::path& registryFile) {
    auto key = RegistryKey::Open(kSettingsKey, true, FileOrDefault(registryFile));
    if (!key) return SettingsStatus::KeyUnavailable;
    if (!ReadInstallDir(*key, s.InstallDir)) return SettingsStatus::InstallDirInvalid;

    const auto asInt = [](uint32_t v) { return static_cast<int32_t>(v); };
    s.IsPanoramicLimited = ReadOrCreateDword(*key, "IsPanoramicLimited", 1) != 0;
    s.PanoramicLimitPercentage = asInt(ReadOrCreateDword(*key, "PanoramicLimitPercentage", 60));
    s.IsCrossAngleLimited = ReadOrCreateDword(*key, "IsCrossAngleLimited", 1) != 0;
    s.CrossAngleLimit = asInt(ReadOrCreateDword(*key, "CrossAngleLimit", 45));
    s.IsCrossCropped = ReadOrCreateDword(*key, "IsCrossCropped", 1) != 0;
    s.TopBottomCrossColumnCropped = asInt(ReadOrCreateDword(*key, "TopBottomCrossColumnCropped", 15));
    s.LeftRightCrossColumnCroppedMinimum =
        asInt(ReadOrCreateDword(*key, "LeftRightCrossColumnCroppedMinimum", 15));
    s.LeftRightCrossColumnCroppedMaximum =
        asInt(ReadOrCreateDword(*key, "LeftRightCrossColumnCroppedMaximum", 60));
    s.IsPanoramicToAppendToCross = ReadOrCreateDword(*key, "IsPanoramicToAppendToCross", 1) != 0;
    s.IsLastPanoramicPhantom = ReadOrCreateDword(*key, kIsLastPanoramicPhantomValue, 0) != 0;
    s.SliceVisualNumber = asInt(ReadOrCreateDword(*key, kSliceVisualNumberValue, 5));
    return SettingsStatus::Ok;
}

bool WriteSettingDword(const char* name, uint32_t value, const std::filesystem::path& registryFile) {
    auto key = RegistryKey::Open(kSettingsKey, true, FileOrDefault(registryFile));
    return key && key->SetDword(name, value);
}

bool WriteAppPath(const std::string& executablePath, const std::filesystem::path& registryFile) {
    auto key = RegistryKey::Open(kAppPathKey, true, FileOrDefault(registryFile));
    return key && key->SetString(kAppPathValue, executablePath, RegType::Sz);
}

std::string LanguageFilePath(const std::string& installDir, int languageNumber) {
    static constexpr std::array<const char*, 9> kFiles = {
        "language/en.xml", "language/es.xml", "language/fr.xml", "language/de.xml", "language/it.xml",
        "language/pl.xml", "language/pt.xml", "language/ru.xml", "language/zh.xml"};
    const bool known = languageNumber >= 0 && languageNumber < static_cast<int>(kFiles.size());
    return platform::JoinWithSeparator(installDir, kFiles[known ? languageNumber : 0]);
}

int ReadLanguageNumber(const std::string& installDir) {
    return platform::GetPrivateProfileInt(kIniDriverSection, kIniLanguageKey, 0,
                                          platform::JoinRaw(installDir, kIniFile));
}

}  // namespace zor::shell
