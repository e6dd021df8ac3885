#include "zor_vol/VolumeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "zor_io/RegularFile.h"

namespace zor_vol_file {
namespace {

void PutU32(unsigned char* p, uint32_t v) {
    for (int b = 0; b < 4; ++b) {
        p[b] = static_cast<unsigned char>(v >> (8 * b));
    }
}
uint32_t GetU32(const unsigned char* p) {
    uint32_t v = 0;
    for (int b = 0; b < 4; ++b) {
        v |= static_cast<uint32_t>(p[b]) << (8 * b);
    }
    return v;
}
void PutF64(unsigned char* p, double d) {
    uint64_t v;
    std::memcpy(&v, &d, 8);
    for (int b = 0; b < 8; ++b) {
        p[b] = static_cast<unsigned char>(v >> (8 * b));
    }
}
double GetF64(const unsigned char* p) {
    uint64_t v = 0;
    for (int b = 0; b < 8; ++b) {
        v |= static_cast<uint64_t>(p[b]) << (8 * b);
    }
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

bool PitchOk(double d) {
    return std::isfinite(d) && d >= 1e-3 && d <= 100.0;
}
bool CoordOk(double d) {
    return std::isfinite(d) && std::fabs(d) <= 1e6;
}

bool WriteAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

VolumeFileError DecodeHeader(const unsigned char* b, size_t size, VolumeHeader& h) {
    if (size < kHeaderSize || std::memcmp(b, kMagic, 8) != 0 || GetU32(b + 8) != kHeaderSize ||
        GetU32(b + 104) != 1) {
        return VolumeFileError::Header;
    }
    h.Nx = GetU32(b + 12);
    h.Ny = GetU32(b + 16);
    h.Nz = GetU32(b + 20);
    h.Dx = GetF64(b + 24);
    h.Dy = GetF64(b + 32);
    h.Dz = GetF64(b + 40);
    h.CentreX = GetF64(b + 48);
    h.CentreY = GetF64(b + 56);
    h.CentreZ = GetF64(b + 64);
    h.AxisAngle = GetF64(b + 72);
    h.RangeValue = GetF64(b + 80);
    h.ValueScale = GetF64(b + 88);
    h.ValueOffset = GetF64(b + 96);
    if (h.Nx < 1 || h.Nx > kMaxAlong || h.Ny < 1 || h.Ny > kMaxSide || h.Nz < 1 ||
        h.Nz > kMaxSide || static_cast<uint64_t>(h.Nx) * h.Ny * h.Nz > kMaxVoxels) {
        return VolumeFileError::Dimensions;
    }
    if (!PitchOk(h.Dx) || !PitchOk(h.Dy) || !PitchOk(h.Dz) || !CoordOk(h.CentreX) ||
        !CoordOk(h.CentreY) || !CoordOk(h.CentreZ) || !CoordOk(h.AxisAngle) ||
        !std::isfinite(h.RangeValue) || !std::isfinite(h.ValueScale) || h.ValueScale <= 0.0 ||
        !std::isfinite(h.ValueOffset)) {
        return VolumeFileError::Header;
    }
    return VolumeFileError::None;
}

void EncodeHeader(const VolumeHeader& h, unsigned char* b) {
    std::memset(b, 0, kHeaderSize);
    std::memcpy(b, kMagic, 8);
    PutU32(b + 8, kHeaderSize);
    PutU32(b + 12, h.Nx);
    PutU32(b + 16, h.Ny);
    PutU32(b + 20, h.Nz);
    PutF64(b + 24, h.Dx);
    PutF64(b + 32, h.Dy);
    PutF64(b + 40, h.Dz);
    PutF64(b + 48, h.CentreX);
    PutF64(b + 56, h.CentreY);
    PutF64(b + 64, h.CentreZ);
    PutF64(b + 72, h.AxisAngle);
    PutF64(b + 80, h.RangeValue);
    PutF64(b + 88, h.ValueScale);
    PutF64(b + 96, h.ValueOffset);
    PutU32(b + 104, 1);  // sample type: unsigned 16-bit little-endian
}

VolumeFileError ReadVolumeFile(const std::string& path, VolumeHeader& header,
                               std::vector<uint16_t>& voxels) {
    std::FILE* f = zor::io::OpenRegularFile(path, "rb");
    if (f == nullptr) {
        return VolumeFileError::Open;
    }
    unsigned char head[kHeaderSize];
    VolumeFileError err = VolumeFileError::None;
    if (std::fread(head, 1, kHeaderSize, f) != kHeaderSize) {
        err = VolumeFileError::Header;
    } else {
        err = DecodeHeader(head, kHeaderSize, header);
    }
    if (err == VolumeFileError::None) {
        const uint64_t count = static_cast<uint64_t>(header.Nx) * header.Ny * header.Nz;
        // Compare with the real file size before allocating, so a lying header costs nothing.
        long dataStart = std::ftell(f);
        std::fseek(f, 0, SEEK_END);
        long end = std::ftell(f);
        std::fseek(f, dataStart, SEEK_SET);
        if (end < 0 || static_cast<uint64_t>(end - dataStart) != count * 2) {
            err = VolumeFileError::Truncated;
        } else {
            try {
                voxels.assign(count, 0);
            } catch (const std::bad_alloc&) {
                err = VolumeFileError::Memory;
            }
            if (err == VolumeFileError::None && std::fread(voxels.data(), 2, count, f) != count) {
                err = VolumeFileError::Truncated;
            }
            // Samples are little-endian on disk, as on every host this runs on (x86-64, arm64).
        }
    }
    std::fclose(f);
    if (err != VolumeFileError::None) {
        voxels.clear();
    }
    return err;
}

VolumeFileError WriteVolumeFileAtomic(const std::string& path, const VolumeHeader& header,
                                      const std::vector<uint16_t>& voxels) {
    if (voxels.size() != static_cast<size_t>(header.Nx) * header.Ny * header.Nz) {
        return VolumeFileError::Dimensions;
    }
    std::string tmp = path + ".part-XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        return VolumeFileError::Open;
    }
    unsigned char head[kHeaderSize];
    EncodeHeader(header, head);
    bool ok = WriteAll(fd, head, kHeaderSize) &&
              WriteAll(fd, voxels.data(), voxels.size() * sizeof(uint16_t)) && ::fsync(fd) == 0;
    (void)::fchmod(fd, 0644);
    ok = (::close(fd) == 0) && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return VolumeFileError::Write;
    }
    return VolumeFileError::None;
}

}  // namespace zor_vol_file
