#include "images/TiffWriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zor::images {

namespace {

constexpr size_t kHeaderSize = 134;
constexpr size_t kChunk = 10000;

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutEntry(uint8_t*& p, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    Put16(p, tag);
    Put16(p + 2, type);
    Put32(p + 4, count);
    Put32(p + 8, value);  // a SHORT value lands in the first two bytes, the others stay 0
    p += 12;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

struct FileCloser {
    int m_Fd;
    ~FileCloser() {
        if (m_Fd >= 0)
            ::close(m_Fd);
    }
};

}  // namespace

int WriteTiff(const std::string& path, int bits, int height, int width, const void* samples,
              const char* description, size_t n) {
    constexpr uint16_t kShort = 3;
    constexpr uint16_t kAscii = 2;
    if ((bits != 8 && bits != 16) || width < 1 || width > 65535 || height < 1 || height > 65535 ||
        kHeaderSize + n > 65535 || samples == nullptr || (n > 0 && description == nullptr)) {
        return kTiffBadArguments;
    }
    const size_t bytesPerSample = bits == 16 ? 2 : 1;
    const size_t sampleBytes =
        static_cast<size_t>(width) * static_cast<size_t>(height) * bytesPerSample;

    std::vector<uint8_t> head(kHeaderSize + n);
    uint8_t* p = head.data();
    p[0] = 'I';
    p[1] = 'I';
    Put16(p + 2, 42);
    Put32(p + 4, 8);
    Put16(p + 8, 10);
    p += 10;
    PutEntry(p, 277, kShort, 1, 1);
    PutEntry(p, 280, kShort, 1, 0);
    PutEntry(p, 281, kShort, 1, bits == 16 ? 15 : 255);
    PutEntry(p, 262, kShort, 1, 1);
    PutEntry(p, 255, kShort, 1, 1);
    PutEntry(p, 256, kShort, 1, static_cast<uint16_t>(width));
    PutEntry(p, 257, kShort, 1, static_cast<uint16_t>(height));
    PutEntry(p, 258, kShort, 1, static_cast<uint16_t>(bits));
    PutEntry(p, 270, kAscii, static_cast<uint32_t>(n), static_cast<uint32_t>(kHeaderSize));
    PutEntry(p, 273, kShort, 1, static_cast<uint16_t>(kHeaderSize + n));
    Put32(p, 0);
    if (n > 0)
        std::memcpy(head.data() + kHeaderSize, description, n);

    // Without O_TRUNC: another writer's file is only emptied once its lock is ours.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return kTiffNotCreated;
    FileCloser closer{fd};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return kTiffNotCreated;
    if (::ftruncate(fd, 0) != 0)
        return kTiffNotCreated;

    // The samples go out in fixed chunks, each copied first into a private chunk buffer: the
    // caller's buffer is only read, and no image-sized allocation is needed.
    std::vector<uint8_t> chunk(kChunk);
    const auto* source = static_cast<const uint8_t*>(samples);
    bool ok = WriteAll(fd, head.data(), head.size());
    for (size_t off = 0; ok && off < sampleBytes; off += kChunk) {
        const size_t size = std::min(kChunk, sampleBytes - off);
        std::memcpy(chunk.data(), source + off, size);
        ok = WriteAll(fd, chunk.data(), size);
    }
    if (!ok) {
        ::unlink(path.c_str());
        return kTiffNotCreated;
    }
    return kTiffWritten;
}

}  // namespace zor::images
