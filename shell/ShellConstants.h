#pragma once
// The shell's own names: registry keys and values, named objects, files and messages.

namespace zor::shell {

inline constexpr const char* kSettingsKey = "HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern";
inline constexpr const char* kAppPathKey = "HKEY_CURRENT_USER\\SOFTWARE\\VORDAL\\Dextrum\\settings";

inline constexpr const char* kInstallDirValue = "InstallDir";
inline constexpr const char* kIpAddressValue = "IPAddress";
inline constexpr const char* kOutFolderPathValue = "OutFolderPath";
inline constexpr const char* kMainWindowHandleValue = "3DTS_hWnd";
inline constexpr const char* kAppPathValue = "apppath";
inline constexpr const char* kIsLastPanoramicPhantomValue = "IsLastPanoramicPhantom";
inline constexpr const char* kSliceVisualNumberValue = "SliceVisualNumber";

inline constexpr const char* kMutexName = "3DTS_MUTEX";
inline constexpr const char* kWindowClassName = "ZorWindowClass";

inline constexpr const char* kIniDriverSection = "PCDRIVER_OPTIONS";
inline constexpr const char* kIniLanguageKey = "language";

inline constexpr const char* kInstallDirNotFound = "Install dir not found";

inline constexpr int kMaxPathChars = 260;  ///< including the terminator
inline constexpr int kDefaultSliceVisualNumber = 5;

}  // namespace zor::shell
