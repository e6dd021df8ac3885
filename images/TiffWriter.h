#pragma once
// The system's own TIFF writer for exported 8- and 16-bit grey images.
#include <cstddef>
#include <string>

namespace zor::images {

/// Result of WriteTiff.
enum WriteTiffResult : int {
    kTiffWritten = 0,      ///< the file is complete
    kTiffNotCreated = 1,   ///< the file could not be created, locked, or written (nothing left)
    kTiffBadArguments = 2  ///< bits not 8/16, sizes outside 1..65535, or the strip offset
                           ///< (134 + n) beyond 65535; no file is touched
};

/// Writes `samples` (height rows of width samples, top row first; 2 bytes per sample for 16
/// bits, little-endian as in memory) as an uncompressed little-endian TIFF: header, one
/// directory of ten entries, the `n` description bytes (NUL included by the caller) at offset
/// 134, then the samples at 134 + n. The file is locked against other writers while written;
/// samples go out in 10000-byte chunks, each
/// copied into a private chunk buffer first. A failed write removes the partial file.
int WriteTiff(const std::string& path, int bits, int height, int width, const void* samples,
              const char* description, size_t n);

}  // namespace zor::images
