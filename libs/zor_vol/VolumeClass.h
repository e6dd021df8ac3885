#pragma once
// A reconstructed volume and its vertical cross-section planes.
#include <cstdint>
#include <vector>

#include "zor_vol/SliceInfo.h"
#include "zor_vol/VolumeFile.h"

/// One reconstructed volume (grid aligned with the dental arch at the volume-of-interest
/// centre) and a 16-bit buffer for the last extracted slice. Used by one thread at a time.
///
/// Positions are fractions of the first axis: position p addresses voxel plane p·nx − 1, so the
/// steps s/50 (s = 1..50) of a 50-plane volume hit the planes 0..49 exactly. Angles are radians,
/// counter-clockwise seen from above. Slices are vertical planes: rows are the volume's rows
/// (row 0 on top), columns run across the arch, pixels nx-independent at the volume's dy.
class VolumeClass {
public:
    /// mInit results (any non-zero value means no volume is loaded).
    enum InitResult : int {
        kInitOk = 0,
        kInitBadPath = 1,     ///< null, empty or longer than 260 bytes
        kInitOpen = 2,        ///< file missing or unreadable
        kInitHeader = 3,      ///< not a volume file or impossible header values
        kInitDimensions = 4,  ///< voxel counts outside 1..50 × 1..4096 × 1..4096
        kInitTruncated = 5,   ///< data size does not match the header
        kInitMemory = 6,
    };

    VolumeClass() = default;
    VolumeClass(const VolumeClass&) = delete;
    VolumeClass& operator=(const VolumeClass&) = delete;

    /// Loads a "Volume.vol" file (8-bit path, at most 260 bytes). Replaces any loaded volume;
    /// on failure the object is empty.
    int mInit(const char* path);
    bool mIsNull() const { return m_Voxels.empty(); }
    /// Releases the voxels and the slice buffer. The argument is accepted for compatibility.
    bool mTerminate(bool releaseAll);
    /// Largest stored voxel value (0 without a volume).
    double CalcVolMax() const;
    /// Stored value of air (attenuation 0): the header's value offset rounded into 0..65535, the
    /// value the reconstruction writes where nothing attenuates. 0 without a volume.
    uint16_t AirValue() const;
    /// Voxel indices (fractional allowed) to device coordinates in mm; `inside` tells whether the
    /// indices lie within the grid. Without a volume all outputs are 0 / false.
    void mxyz2XYZ(double x, double y, double z, double* X, double* Y, double* Z,
                  bool* inside) const;
    /// Fills `info` with the plane at `position`, rotated by `angle`; no pixels. Null is ignored.
    void SliceInfo_Extract(double position, double angle, SliceInfo* info) const;
    /// Samples the plane into the slice buffer (m_DimZ rows × m_DimY columns). Samples outside
    /// the grid are air (AirValue), whatever the position: neighbours outside the grid count as
    /// air, so the edge blends into it. Fills `info` when it is not null.
    void Slice_Extract(double position, double angle, SliceInfo* info);
    /// Slice_Extract into `out` (m_DimZ × m_DimY samples) instead of the slice buffer. Reads the
    /// volume only, so several threads may cut slices of one volume at once.
    void Slice_ExtractTo(double position, double angle, uint16_t* out, SliceInfo* info) const;

    /// Takes over an already computed volume (used by the reconstruction library).
    bool mAttach(const zor_vol_file::VolumeHeader& header, std::vector<uint16_t>&& voxels);
    const zor_vol_file::VolumeHeader& Header() const { return m_Header; }
    /// Voxel (i, j, k) without bounds checks; index ((i*ny)+j)*nz+k.
    const uint16_t* Voxels() const { return m_Voxels.data(); }

    // Read by the system.
    int32_t m_DimX = 0;                 ///< positions along the arch
    int32_t m_DimY = 0;                 ///< slice columns (across the arch)
    int32_t m_DimZ = 0;                 ///< slice rows (vertical)
    double m_RangeValue = 0.0;          ///< > 0: first axis runs against the panoramic columns
    uint16_t* m_SliceBuffer = nullptr;  ///< m_DimZ × m_DimY, row-major, owned by the object

private:
    struct Plane {
        double Cx, Cy;  // plane centre, device mm
        double Wx, Wy;  // unit column direction
        double I0, J0;  // volume index of column 0
        double Di, Dj;  // index step per column
    };
    Plane MakePlane(double position, double angle) const;
    void FillInfo(const Plane& plane, double angle, SliceInfo* info) const;

    zor_vol_file::VolumeHeader m_Header;
    std::vector<uint16_t> m_Voxels;
    std::vector<uint16_t> m_Slice;
    std::vector<uint16_t> m_Air;  // one column of air for neighbours outside the grid
};
