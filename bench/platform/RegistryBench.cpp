// Start-up settings against the registry file: read InstallDir and the eleven DWORD settings,
// creating the missing ones with their defaults, as the application object does at start-up.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/Registry.h"

using namespace zor::platform;
namespace fs = std::filesystem;

namespace {

const std::string kKey = "HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern";

const std::pair<const char*, uint32_t> kSettings[] = {
    {"IsPanoramicLimited", 1},
    {"PanoramicLimitPercentage", 60},
    {"IsCrossAngleLimited", 1},
    {"CrossAngleLimit", 45},
    {"IsCrossCropped", 1},
    {"TopBottomCrossColumnCropped", 15},
    {"LeftRightCrossColumnCroppedMinimum", 15},
    {"LeftRightCrossColumnCroppedMaximum", 60},
    {"IsPanoramicToAppendToCross", 1},
    {"IsLastPanoramicPhantom", 0},
    {"SliceVisualNumber", 5},
};

/// A registry file as an installation has it: comments, the user hive, and the machine key.
std::string RegistryText(bool withSettings) {
    std::string text =
        "REGEDIT4\n; written by the installer\n\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\VORDAL\\Dextrum\\settings]\n\"apppath\"=\"/opt/dextrum/"
        "bin\"\n\n"
        "[" +
        kKey + "]\n\"InstallDir\"=\"/opt/zor/\"\n\"IPAddress\"=\"127.0.0.1\"\n";
    if (withSettings) {
        char line[96];
        for (const auto& [name, value] : kSettings) {
            std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", name, value);
            text += line;
        }
    }
    return text;
}

class RegistryFixture {
public:
    RegistryFixture() {
        std::string tmpl = (fs::temp_directory_path() / "zor-bench-XXXXXX").string();
        if (::mkdtemp(tmpl.data()))
            m_Dir = tmpl;
        m_File = m_Dir / "registry.reg";
    }
    ~RegistryFixture() {
        std::error_code ec;
        fs::remove_all(m_Dir, ec);
    }
    /// Flushed, so the timed write does not pay for flushing this one too.
    void Write(const std::string& text) const {
        const int fd = ::open(m_File.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return;
        if (::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()))
            ::fsync(fd);
        ::close(fd);
    }
    const fs::path& File() const { return m_File; }

private:
    fs::path m_Dir;
    fs::path m_File;
};

/// Reads every setting; writes each missing one at once (one locked rewrite per value).
bool ReadSettingsWritingEach(const fs::path& file) {
    auto key = RegistryKey::Open(kKey, true, file);
    if (!key)
        return false;
    const auto dir = key->Query("InstallDir");
    if (!dir || dir->text.empty())
        return false;
    for (const auto& [name, def] : kSettings) {
        const auto v = key->Query(name);
        if (!v || v->type != static_cast<uint32_t>(RegType::Dword))
            key->SetDword(name, def);
        benchmark::DoNotOptimize(v);
    }
    return true;
}

/// Reads every setting; writes the missing ones together in one locked rewrite.
bool ReadSettingsWritingOnce(const fs::path& file) {
    auto key = RegistryKey::Open(kKey, true, file);
    if (!key)
        return false;
    const auto dir = key->Query("InstallDir");
    if (!dir || dir->text.empty())
        return false;
    std::vector<std::pair<std::string, RegValue>> missing;
    for (const auto& [name, def] : kSettings) {
        const auto v = key->Query(name);
        if (!v || v->type != static_cast<uint32_t>(RegType::Dword)) {
            RegValue value;
            value.type = static_cast<uint32_t>(RegType::Dword);
            value.dword = def;
            missing.emplace_back(name, value);
        }
    }
    return missing.empty() || key->SetValues(missing);
}

template <bool (*Read)(const fs::path&)>
void BM_CreateMissingSettings(benchmark::State& state) {
    RegistryFixture fixture;
    for (auto _ : state) {
        state.PauseTiming();
        fixture.Write(RegistryText(false));
        state.ResumeTiming();
        if (!Read(fixture.File()))
            state.SkipWithError("registry key not readable");
    }
}

void BM_ReadFullKey(benchmark::State& state) {
    RegistryFixture fixture;
    fixture.Write(RegistryText(true));
    for (auto _ : state) {
        if (!ReadSettingsWritingEach(fixture.File()))
            state.SkipWithError("registry key not readable");
    }
}

void BM_SetOneDword(benchmark::State& state) {
    RegistryFixture fixture;
    fixture.Write(RegistryText(true));
    auto key = RegistryKey::Open(kKey, true, fixture.File());
    uint32_t n = 0;
    for (auto _ : state) {
        if (!key || !key->SetDword("SliceVisualNumber", ++n))
            state.SkipWithError("write failed");
    }
}

/// The floor under every write: a small file written, flushed and renamed, nothing else.
void BM_FsyncFloor(benchmark::State& state) {
    RegistryFixture fixture;
    const std::string text = RegistryText(true);
    const std::string tmp = fixture.File().string() + ".tmp";
    for (auto _ : state) {
        const int fd = ::open(tmp.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
        const bool ok =
            fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
            ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!ok || ::rename(tmp.c_str(), fixture.File().c_str()) != 0)
            state.SkipWithError("write failed");
    }
}

}  // namespace

BENCHMARK(BM_CreateMissingSettings<ReadSettingsWritingEach>)
    ->Name("CreateMissingSettings/OneWritePerValue")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_CreateMissingSettings<ReadSettingsWritingOnce>)
    ->Name("CreateMissingSettings/OneBatchedWrite")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadFullKey)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FsyncFloor)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SetOneDword)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
