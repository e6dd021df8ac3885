#pragma once
// The fixed names and texts of the filter plug-ins and the display-filter lists.

namespace zor::plugins {

inline constexpr const char* kCommonFolderVariable = "CommonProgramFiles";
inline constexpr const char* kCommonFolderDefault = "/usr/local/lib";
inline constexpr const char* kPluginSubfolder = "Orvix/Filters";
inline constexpr const char* kPluginPrefix = "Orvix";
inline constexpr const char* kPluginSuffix = ".so";

inline constexpr const char* kFilterListSymbol = "filterlist";
inline constexpr const char* kGetInformationSymbol = "GetInformation";
inline constexpr const char* kFilterProcessingSymbol = "FilterProcessing";
inline constexpr const char* kEndName = "#";

inline constexpr const char* kAutomaticSection = "FILTERS_AUTOMATIC_3D";
inline constexpr const char* kAutomaticCountKey = "MAX_ENTRIES";
inline constexpr const char* kAutomaticEntryKey = "FILTER_%02d";
inline constexpr int kAutomaticEntryMaxBytes = 200;

inline constexpr const char* kUnsharpBundle =
    "@talvern-sharpen orvix=333,treat=unsharp 1.6000;14.000";

}  // namespace zor::plugins
