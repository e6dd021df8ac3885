#pragma once
// The "Volume.vol" file: a fixed little-endian header and 16-bit voxels, vertical axis fastest.
#include <cstdint>
#include <string>
#include <vector>

namespace zor_vol_file {

inline constexpr char kMagic[8] = {'Z', 'O', 'R', 'V', 'O', 'L', '1', '\0'};
inline constexpr uint32_t kHeaderSize = 128;
inline constexpr uint32_t kMaxAlong = 50;   ///< positions along the arch
inline constexpr uint32_t kMaxSide = 4096;  ///< slice columns or rows
inline constexpr uint64_t kMaxVoxels = 64ull * 1024 * 1024;

/// Geometry and value mapping of a volume. The voxel (i, j, k) centre lies at
/// centre + (i - (nx-1)/2)·dx·e1 + (j - (ny-1)/2)·dy·e2 + ((nz-1)/2 - k)·dz·ez with
/// e1 = (cos axisAngle, sin axisAngle, 0), e2 = e1 turned +90° about the vertical, ez up.
struct VolumeHeader {
    uint32_t Nx = 0, Ny = 0, Nz = 0;        ///< along the arch, across it, vertical (row 0 on top)
    double Dx = 0.7, Dy = 0.15, Dz = 0.15;  ///< voxel pitch, mm
    double CentreX = 0.0, CentreY = 0.0, CentreZ = 0.0;  ///< device mm
    double AxisAngle = 0.0;                              ///< direction of the first axis, rad
    double RangeValue = 0.0;    ///< > 0: the first axis runs against the panoramic columns
    double ValueScale = 1.0e5;  ///< stored value = mu[1/mm] * scale + offset
    double ValueOffset = 1000.0;
};

enum class VolumeFileError { None, Open, Header, Dimensions, Truncated, Memory, Write };

/// Checks a raw header block (at least kHeaderSize bytes) and decodes it.
VolumeFileError DecodeHeader(const unsigned char* bytes, size_t size, VolumeHeader& header);
/// Encodes `header` into exactly kHeaderSize bytes.
void EncodeHeader(const VolumeHeader& header, unsigned char* bytes);

/// Reads a whole volume file; on success voxels holds Nx*Ny*Nz values (index ((i*Ny)+j)*Nz+k).
VolumeFileError ReadVolumeFile(const std::string& path, VolumeHeader& header,
                               std::vector<uint16_t>& voxels);
/// Writes to a temporary file beside `path`, flushes and renames it over `path`, so readers
/// never see a partial volume. Nothing is left behind on failure.
VolumeFileError WriteVolumeFileAtomic(const std::string& path, const VolumeHeader& header,
                                      const std::vector<uint16_t>& voxels);

}  // namespace zor_vol_file
