#pragma once
// The persistent settings of the application and their registry storage.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/Registry.h"

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
    KeyUnavailable,     ///< the key is absent or the registry cannot be written (now)
    InstallDirInvalid,  ///< InstallDir absent, of another type, empty, or 260 characters or more
};

/// How long the exit sequence waits for another writer's registry lock: the program must end
/// promptly on an exit signal even when another process holds the lock.
inline constexpr std::chrono::milliseconds kExitLockWait{250};

/// Reads InstallDir and the eleven DWORD settings in table order, writing every missing or
/// mistyped DWORD back with its default. That write cycle always runs, so a registry that
/// cannot be written now (e.g. locked by another process) is found at start-up and refused as
/// KeyUnavailable. `registryFile` empty: the default registry file. `error` (when given)
/// receives the reason of a KeyUnavailable, naming the file.
SettingsStatus LoadSettings(AppSettings& settings, const std::filesystem::path& registryFile = {},
                            std::string* error = nullptr);

/// Writes one DWORD of the settings key, waiting at most `lockWait` for another writer; false
/// when the key cannot be opened for writing or the write fails, `error` (when given) saying why.
bool WriteSettingDword(const char* name, uint32_t value,
                       const std::filesystem::path& registryFile = {}, std::string* error = nullptr,
                       std::chrono::milliseconds lockWait = platform::kRegistryLockWait);

/// Writes `apppath` under the user key only when that key already exists.
bool WriteAppPath(const std::string& executablePath,
                  const std::filesystem::path& registryFile = {});

/// Language file for the INI "language" number: 1 es, 2 fr, 3 de, 4 it, 5 pl, 6 pt, 7 ru,
/// 8 zh, anything else en: InstallDir/language/<code>.xml.
std::string LanguageFilePath(const std::string& installDir, int languageNumber);

/// Reads the language number from InstallDir/config/config.ini (0 when missing).
int ReadLanguageNumber(const std::string& installDir);

}  // namespace zor::shell
