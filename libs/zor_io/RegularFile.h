#pragma once
// Opening the files the system reads or appends to. Every such open goes through here, so that a
// FIFO, a device or a folder put where a file is expected is refused at once with a reason,
// instead of blocking the caller (a FIFO without writer, a terminal) or feeding it endless bytes
// (/dev/zero). The open itself never blocks: it is made with O_NONBLOCK, the descriptor is checked
// with fstat, and only then switched back to ordinary blocking reads and writes.
#include <cstddef>
#include <cstdio>
#include <string>

namespace zor::io {

/// Opens `path` with `flags` (O_RDONLY, or O_WRONLY | O_APPEND | O_CREAT, new files get mode
/// 0644), always adding O_CLOEXEC and O_NOCTTY. Returns the descriptor, in blocking mode, when
/// `path` is a regular file; otherwise -1, with errno set (ENOENT for a missing file, EINVAL
/// when it is not a regular file) and `*reason` (when given) saying why, path included.
int OpenRegular(const std::string& path, int flags, std::string* reason = nullptr);

/// The same as a stdio stream. `mode` is "r", "a", "r+" or "a+", optionally with 'b'; other
/// modes are refused. The caller closes the stream with std::fclose.
std::FILE* OpenRegularFile(const std::string& path, const char* mode,
                           std::string* reason = nullptr);

enum class ReadStatus {
    Ok,
    Missing,     ///< no such file
    NotRegular,  ///< a FIFO, device, socket or folder
    TooLarge,    ///< more than the caller's limit (checked on the bytes read, not only the size)
    Error        ///< any other open or read failure
};

/// Reads the whole of `path` into `out` (emptied first), at most `maxBytes`.
ReadStatus ReadWholeFile(const std::string& path, std::string& out, std::size_t maxBytes,
                         std::string* reason = nullptr);

}  // namespace zor::io
