#pragma once
// The image-filter plug-ins: the process-wide table of the filters that the plug-in libraries
// declare, and the dispatch of a filter string to the one that provides its keyword.
#include <cstdint>
#include <filesystem>
#include <string>

namespace zor {
class IStatusSink;
}

namespace zor::plugins {

/// At most this many libraries and this many filter entries ("#" entry included).
inline constexpr int kMaxPluginModules = 200;
inline constexpr int kMaxFilterEntries = 200;

/// An image as a plug-in sees it: one pointer per row, top row first; rows hold uint8_t samples
/// when `m_BitsPerPixel` is 8 and uint16_t samples otherwise, values 0 .. `m_MaxValue`.
struct PluginImage {
    void** m_Rows = nullptr;
    uint32_t m_Width = 0;
    uint32_t m_Height = 0;
    uint16_t m_MaxValue = 0;
    uint8_t m_BitsPerPixel = 0;
};

/// The default plug-in folder: $CommonProgramFiles (else /usr/local/lib) + "/Orvix/Filters".
std::filesystem::path DefaultPluginFolder();

/// Sets the folder that later loads scan (it must be absolute, else nothing is loaded) and where
/// refusals are reported (nullptr: standard error). Not thread-safe against a running load;
/// call it before the first filter runs. `log` must outlive every later load.
void ConfigureFilterPlugins(const std::filesystem::path& folder, IStatusSink* log);

/// Unloads what was loaded, then loads every "Orvix*.so" of the configured folder in name order
/// by its absolute path, keeping the libraries that export `filterlist`, `GetInformation` and
/// `FilterProcessing` (others are unloaded at once) and copying their declarations into the
/// table until it is full; a final "#" entry is appended. Returns the number of entries (>= 1).
/// The folder, and each library, is refused with a logged reason when it is writable by others
/// or owned by neither root nor the current user, or when the folder is not absolute.
int LoadFilterPlugins();

/// Unloads every library and clears the table (count 0: the next filter loads again).
void UnloadFilterPlugins();

/// Entries in the table, the final "#" included; 0 while nothing is loaded.
int FilterPluginCount();
/// The name of entry `index` (load order), or "" when out of range.
std::string FilterPluginName(int index);

/// Runs the filter named by the keyword of `filterString` ("keyword p0,p1,..."; parameters
/// converted by their declared types, missing ones 0, extra ones ignored) from `source` into
/// `destinationRows` (same size and layout; may be source.m_Rows). Loads the plug-ins first when
/// the count is 0. Returns 0 when a filter ran, 1 when no filter has the keyword (the
/// destination is then untouched). Safe to call from several threads at once.
int RunPluginFilter(const PluginImage& source, void** destinationRows,
                    const std::string& filterString);

}  // namespace zor::plugins
