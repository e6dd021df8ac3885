#include "plugins/FilterPlugins.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "platform/TextConvert.h"
#include "platform/UserInterfaces.h"
#include "plugins/FilterPluginApi.h"
#include "plugins/PluginConstants.h"

namespace zor::plugins {

namespace fs = std::filesystem;

namespace {

struct FilterEntry {
    FILTERLIST m_Declaration{};  // the 64-byte copy; its params point into the library
    void* m_Module = nullptr;
    GetInformationFn m_GetInformation = nullptr;
    FilterProcessingFn m_FilterProcessing = nullptr;
    const FILTERLIST* m_Next = nullptr;  // just past the record in the library
};

struct PluginTables {
    std::shared_mutex m_Mutex;
    fs::path m_Folder = DefaultPluginFolder();
    IStatusSink* m_Log = nullptr;
    std::vector<void*> m_Modules;
    std::vector<FilterEntry> m_Entries;
};

PluginTables& Tables() {
    static PluginTables tables;
    return tables;
}

void Report(const PluginTables& t, const std::string& text) {
    if (t.m_Log)
        t.m_Log->LogMessage(text, false, 2, false);
    else
        std::cerr << text << '\n';
}

/// Empty when `path` may be trusted: owned by root or by this user and not writable by others.
std::string OwnershipProblem(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "cannot be examined: " + std::string(std::strerror(errno));
    if ((st.st_mode & S_IWOTH) != 0)
        return "is writable by every user";
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        return "is owned by another user (uid " + std::to_string(st.st_uid) + ")";
    return {};
}

bool IsPluginFileName(const std::string& name) {
    const std::string prefix = kPluginPrefix, suffix = kPluginSuffix;
    return name.size() >= prefix.size() + suffix.size() && name.starts_with(prefix) &&
           name.ends_with(suffix);
}

std::vector<fs::path> PluginFiles(const PluginTables& t) {
    std::vector<fs::path> files;
    std::error_code ec;
    if (!t.m_Folder.is_absolute()) {
        Report(t, "Filter plug-ins not loaded: the folder " + t.m_Folder.string() +
                      " is not an absolute path");
        return files;
    }
    if (!fs::is_directory(t.m_Folder, ec))
        return files;  // no plug-ins installed: every filter leaves the image unchanged
    if (const std::string problem = OwnershipProblem(t.m_Folder); !problem.empty()) {
        Report(t, "Filter plug-ins not loaded: the folder " + t.m_Folder.string() + " " + problem);
        return files;
    }
    for (const auto& entry : fs::directory_iterator(t.m_Folder, ec)) {
        if (IsPluginFileName(entry.path().filename().string()))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

/// Loads one library and copies its declarations; false when it was refused or lacks an export.
bool LoadOne(PluginTables& t, const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        Report(t, "Filter plug-in " + file.string() + " refused: not a regular file");
        return false;
    }
    if (const std::string problem = OwnershipProblem(file); !problem.empty()) {
        Report(t, "Filter plug-in " + file.string() + " refused: it " + problem);
        return false;
    }
    // The path holds a "/", so the loader opens exactly this file and searches nowhere else.
    void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = ::dlerror();
        Report(t, "Filter plug-in " + file.string() + " not loaded: " + (why ? why : "?"));
        return false;
    }
    auto* list = static_cast<const FILTERLIST*>(::dlsym(module, kFilterListSymbol));
    auto info = reinterpret_cast<GetInformationFn>(::dlsym(module, kGetInformationSymbol));
    auto run = reinterpret_cast<FilterProcessingFn>(::dlsym(module, kFilterProcessingSymbol));
    if (!list || !info || !run) {
        ::dlclose(module);
        Report(t, "Filter plug-in " + file.string() + " ignored: it lacks the filter exports");
        return false;
    }
    t.m_Modules.push_back(module);
    // The last entry is kept for the final "#".
    for (const FILTERLIST* record = list;
         std::strcmp(record->name, kEndName) != 0 &&
         static_cast<int>(t.m_Entries.size()) < kMaxFilterEntries - 1;
         ++record) {
        FilterEntry entry;
        std::memcpy(&entry.m_Declaration, record, sizeof(FILTERLIST));
        entry.m_Declaration.name[sizeof(entry.m_Declaration.name) - 1] = '\0';
        entry.m_Module = module;
        entry.m_GetInformation = info;
        entry.m_FilterProcessing = run;
        entry.m_Next = record + 1;
        t.m_Entries.push_back(entry);
    }
    return true;
}

void UnloadLocked(PluginTables& t) {
    t.m_Entries.clear();
    for (void* module : t.m_Modules)
        ::dlclose(module);
    t.m_Modules.clear();
}

int LoadLocked(PluginTables& t) {
    UnloadLocked(t);
    for (const fs::path& file : PluginFiles(t)) {
        if (static_cast<int>(t.m_Modules.size()) >= kMaxPluginModules) {
            Report(t, "Filter plug-ins: more than " + std::to_string(kMaxPluginModules) +
                          " libraries, the rest are not loaded");
            break;
        }
        LoadOne(t, file);
    }
    FilterEntry end;
    std::strcpy(end.m_Declaration.name, kEndName);
    t.m_Entries.push_back(end);
    return static_cast<int>(t.m_Entries.size());
}

/// The piece of `text` from `pos` up to the next "," or the end; `pos` steps over the ",".
std::string_view NextPiece(std::string_view text, size_t& pos) {
    const size_t comma = text.find(',', pos);
    const size_t end = comma == std::string_view::npos ? text.size() : comma;
    std::string_view piece = text.substr(std::min(pos, text.size()), end - std::min(pos, end));
    pos = comma == std::string_view::npos ? text.size() : comma + 1;
    return piece;
}

}  // namespace

fs::path DefaultPluginFolder() {
    const char* common = std::getenv(kCommonFolderVariable);
    const fs::path base = common && *common ? fs::path(common) : fs::path(kCommonFolderDefault);
    return base / kPluginSubfolder;
}

void ConfigureFilterPlugins(const fs::path& folder, IStatusSink* log) {
    PluginTables& t = Tables();
    std::unique_lock lock(t.m_Mutex);
    t.m_Folder = folder;
    t.m_Log = log;
}

int LoadFilterPlugins() {
    PluginTables& t = Tables();
    std::unique_lock lock(t.m_Mutex);
    return LoadLocked(t);
}

void UnloadFilterPlugins() {
    PluginTables& t = Tables();
    std::unique_lock lock(t.m_Mutex);
    UnloadLocked(t);
}

int FilterPluginCount() {
    PluginTables& t = Tables();
    std::shared_lock lock(t.m_Mutex);
    return static_cast<int>(t.m_Entries.size());
}

std::string FilterPluginName(int index) {
    PluginTables& t = Tables();
    std::shared_lock lock(t.m_Mutex);
    if (index < 0 || index >= static_cast<int>(t.m_Entries.size()))
        return {};
    return t.m_Entries[static_cast<size_t>(index)].m_Declaration.name;
}

int RunPluginFilter(const PluginImage& source, void** destinationRows,
                    const std::string& filterString) {
    PluginTables& t = Tables();
    std::shared_lock lock(t.m_Mutex);
    while (t.m_Entries.empty()) {
        lock.unlock();
        {
            std::unique_lock load(t.m_Mutex);
            if (t.m_Entries.empty())
                LoadLocked(t);
        }
        lock.lock();
    }

    const std::string_view text = filterString;
    size_t pos = text.find_first_not_of(' ');
    if (pos == std::string_view::npos)
        pos = text.size();
    const size_t nameEnd = std::min(text.find(' ', pos), text.size());
    const std::string name(text.substr(pos, nameEnd - pos));
    pos = nameEnd;

    const auto found = std::find_if(t.m_Entries.begin(), t.m_Entries.end(),
                                    [&](const auto& e) { return name == e.m_Declaration.name; });
    if (found == t.m_Entries.end() || !found->m_FilterProcessing)
        return 1;

    // One 8-byte slot per declared parameter, filled by its declared type.
    std::vector<uint64_t> values;
    std::vector<void*> pointers;
    if (const FILTERPARAM* params = found->m_Declaration.params) {
        size_t count = 0;
        while (params[count].name && params[count].name[0] != '#')
            ++count;
        values.assign(count, 0);
        pointers.assign(count, nullptr);
        for (size_t j = 0; j < count; ++j) {
            const std::string_view piece = NextPiece(text, pos);
            void* slot = &values[j];
            if (params[j].type == ZOR_FILTER_PARAM_INT32) {
                const int32_t v = platform::Atoi(piece);
                std::memcpy(slot, &v, sizeof v);
            } else if (params[j].type == ZOR_FILTER_PARAM_FLOAT) {
                const float v = static_cast<float>(platform::Atof(piece));
                std::memcpy(slot, &v, sizeof v);
            } else if (params[j].type == ZOR_FILTER_PARAM_DOUBLE) {
                const double v = platform::Atof(piece);
                std::memcpy(slot, &v, sizeof v);
            }
            pointers[j] = slot;
        }
    }
    std::string nameCopy = name;  // the plug-in takes a non-const text
    found->m_FilterProcessing(source.m_Rows, source.m_Width, source.m_Height, source.m_BitsPerPixel,
                              source.m_MaxValue, destinationRows, nameCopy.data(),
                              pointers.empty() ? nullptr : pointers.data());
    return 0;
}

}  // namespace zor::plugins
