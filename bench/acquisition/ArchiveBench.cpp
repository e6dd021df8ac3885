// Archiving a finished examination as the operator waits for it after the driver's answer: a
// previous examination of twenty files with realistic sizes is moved away, the sent copies and
// "pano.tif" are written and flushed. The folder lies beside this program in the build tree, so
// on the file system of the installation rather than on a possibly memory-backed /tmp.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/ExamArchive.h"
#include "platform/Process.h"

namespace fs = std::filesystem;

namespace {

constexpr time_t kSentTime = 1700000000;

void WriteBytes(const fs::path& file, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 24);
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
}

/// The previous examination and the new hand-off's files, written once.
void WriteExamination(const fs::path& folder) {
    fs::create_directories(folder);
    for (int i = 1; i <= 11; ++i)
        WriteBytes(folder / zor::acquisition::ProjectionFileName(i), 512 << 10);
    WriteBytes(folder / "Volume.vol", 4 << 20);
    WriteBytes(folder / "cur_pano.tif", 8 << 20);
    WriteBytes(folder / "pano.tif", 8 << 20);
    for (const char* name : {"ConeBeam.tra", "ConeBeamSent.tra"})
        WriteBytes(folder / name, 96 << 10);
    for (const char* name : {"ConeBeam.csv", "ConeBeamSent.csv"})
        WriteBytes(folder / name, 48 << 10);
    for (const char* name : {"Param.txt", "ParamSent.txt"})
        WriteBytes(folder / name, 1 << 10);
    const struct timespec times[2] = {{kSentTime, 0}, {kSentTime, 0}};
    ::utimensat(AT_FDCWD, (folder / "ConeBeamSent.tra").c_str(), times, 0);
}

/// A fresh work folder of hard links to the written examination, flushed to the disk as the
/// files of an examination minutes old are.
void Repopulate(const fs::path& pristine, const fs::path& work) {
    fs::remove_all(work);
    fs::remove_all(zor::acquisition::ArchiveFolderFor(work, kSentTime));
    fs::create_directories(work);
    for (const auto& entry : fs::directory_iterator(pristine))
        fs::create_hard_link(entry.path(), work / entry.path().filename());
    const int fd = ::open(work.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::syncfs(fd);
    ::close(fd);
}

void BM_ArchiveExam(benchmark::State& state) {
    std::string pattern =
        (zor::platform::ExecutablePath().parent_path() / "archive-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("no folder for the benchmark");
        return;
    }
    const fs::path root = pattern;
    const fs::path pristine = root / "examination";
    const fs::path work = root / "work";
    WriteExamination(pristine);
    for (auto _ : state) {
        state.PauseTiming();
        Repopulate(pristine, work);
        state.ResumeTiming();
        const auto outcome =
            zor::acquisition::ArchiveExam(work, zor::acquisition::PanoramicSource::Acquired);
        if (outcome.Result != zor::acquisition::ArchiveResult::Done || outcome.Moved != 16) {
            state.SkipWithError("archive incomplete");
            break;
        }
    }
    fs::remove_all(root);
}
BENCHMARK(BM_ArchiveExam)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
