#pragma once
// The persistent settings of the application and their registry storage.
#include <cstdint>
#include <filesystem>
#include <string>

namespace zor::shell {

/// Settings read once at start-up. Only IsLastPanoramicPhantom and SliceVisualNumber change later.
struct AppSettings {
    std::string InstallDir;  ///< UTF-8, conventionally ending with '/'
    bool IsPanoramicLimited = true;
    int32_t PanoramicLimitPercentage = 60;
    bool IsCrossAngleLimited = true;
    int32_t CrossAngleLimit = 45;  ///< degrees
    bool IsCrossCropped = true;
    int32_t TopBottomCrossColumnCropped = 15;
    int32_t LeftRightCrossColumnCroppedMinimum = 15;
    int32_t LeftRightCrossColumnCroppedMaximum = 60;
    bool IsPanoramicToAppendToCross = true;
    bool IsLastPanoramicPhantom = false;
    int32_t SliceVisualNumber = 5;
};

enum class SettingsStatus {
    Ok,
    KeyUnavailable,     ///< the key is absent or the registry cannot be written
    InstallDirInvalid,  ///< InstallDir absent, of another type, empty, or 260 characters or more
};

/// Reads InstallDir and the eleven DWORD settings in table order, writing every missing or
/// mistyped DWORD back with its default. `registryFile` empty: the default registry file.
SettingsStatus LoadSettings(AppSettings& settings, const std::filesystem::path& registryFile = {});

/// Writes one DWORD of the settings key; false when the key cannot be opened for writing.
bool WriteSettingDword(const char* name, uint32_t value,
                       const std::filesystem::path& registryFile = {});

/// Writes `apppath` under the user key only when that key already exists.
bool WriteAppPath(const std::string& executablePath,
                  const std::filesystem::path& registryFile = {});

/// Language file for the INI "language" number: 1 es, 2 fr, 3 de, 4 it, 5 pl, 6 pt, 7 ru,
/// 8 zh, anything else en: InstallDir/language/<code>.xml.
std::string LanguageFilePath(const std::string& installDir, int languageNumber);

/// Reads the language number from InstallDir/config/config.ini (0 when missing).
int ReadLanguageNumber(const std::string& installDir);

}  // namespace zor::shell
