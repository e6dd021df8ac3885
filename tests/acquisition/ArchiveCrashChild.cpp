// Archives the work folder given as the only argument, for the crash test of exam_archive_tests.
// Writes one byte to standard output just before the archive starts, so that the parent can
// time its kill from that moment, and afterwards the archive's duration in microseconds.
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "acquisition/ExamArchive.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <work folder>\n", argv[0]);
        return 2;
    }
    if (::write(STDOUT_FILENO, "s", 1) != 1)
        return 3;
    const auto start = std::chrono::steady_clock::now();
    const auto outcome =
        zor::acquisition::ArchiveExam(argv[1], zor::acquisition::PanoramicSource::Acquired);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
    std::printf("%lld\n", static_cast<long long>(micros));
    return outcome.Result == zor::acquisition::ArchiveResult::Done ? 0 : 1;
}
