#include "zor_vol/VolumeClass.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

using zor_vol_file::VolumeFileError;
using zor_vol_file::VolumeHeader;

namespace {

constexpr double kHalfPi = 1.5707963267948966;
constexpr int kBlock = 16;  // columns computed together before they are scattered into rows

// out[k] = w0·a[k] + w1·b[k] + w2·c[k] + w3·d[k] + 0.5 (the 0.5 rounds on conversion).
// Built twice, the AVX2 copy chosen at load time where the processor has it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void BlendColumn(const uint16_t* __restrict a, const uint16_t* __restrict b,
                 const uint16_t* __restrict c, const uint16_t* __restrict d, const float* w,
                 float* __restrict out, int n) {
    const float w0 = w[0], w1 = w[1], w2 = w[2], w3 = w[3];
    for (int k = 0; k < n; ++k) {
        out[k] = 0.5f + w0 * static_cast<float>(a[k]) + w1 * static_cast<float>(b[k]) +
                 w2 * static_cast<float>(c[k]) + w3 * static_cast<float>(d[k]);
    }
}

// The reconstruction stores mu·scale + offset rounded and clamped to 16 bits; air has mu = 0.
uint16_t AirOf(const VolumeHeader& h) {
    return static_cast<uint16_t>(std::clamp(std::floor(h.ValueOffset + 0.5), 0.0, 65535.0));
}

}  // namespace

int VolumeClass::mInit(const char* path) {
    mTerminate(true);
    if (path == nullptr || path[0] == '\0' || std::strlen(path) > 260) {
        return kInitBadPath;
    }
    VolumeHeader header;
    std::vector<uint16_t> voxels;
    switch (zor_vol_file::ReadVolumeFile(path, header, voxels)) {
        case VolumeFileError::None:
            break;
        case VolumeFileError::Open:
            return kInitOpen;
        case VolumeFileError::Dimensions:
            return kInitDimensions;
        case VolumeFileError::Truncated:
            return kInitTruncated;
        case VolumeFileError::Memory:
            return kInitMemory;
        default:
            return kInitHeader;
    }
    return mAttach(header, std::move(voxels)) ? kInitOk : kInitMemory;
}

bool VolumeClass::mAttach(const VolumeHeader& header, std::vector<uint16_t>&& voxels) {
    mTerminate(true);
    if (voxels.empty() || voxels.size() != static_cast<size_t>(header.Nx) * header.Ny * header.Nz) {
        return false;
    }
    try {
        m_Slice.assign(static_cast<size_t>(header.Ny) * header.Nz, 0);
        m_Air.assign(header.Nz, AirOf(header));
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_Header = header;
    m_Voxels = std::move(voxels);
    m_DimX = static_cast<int32_t>(header.Nx);
    m_DimY = static_cast<int32_t>(header.Ny);
    m_DimZ = static_cast<int32_t>(header.Nz);
    m_RangeValue = header.RangeValue;
    m_SliceBuffer = m_Slice.data();
    return true;
}

bool VolumeClass::mTerminate(bool /*releaseAll*/) {
    std::vector<uint16_t>().swap(m_Voxels);
    std::vector<uint16_t>().swap(m_Slice);
    std::vector<uint16_t>().swap(m_Air);
    m_Header = VolumeHeader{};
    m_DimX = m_DimY = m_DimZ = 0;
    m_RangeValue = 0.0;
    m_SliceBuffer = nullptr;
    return true;
}

uint16_t VolumeClass::AirValue() const {
    return m_Voxels.empty() ? 0 : AirOf(m_Header);
}

double VolumeClass::CalcVolMax() const {
    if (m_Voxels.empty()) {
        return 0.0;
    }
    return static_cast<double>(*std::max_element(m_Voxels.begin(), m_Voxels.end()));
}

void VolumeClass::mxyz2XYZ(double x, double y, double z, double* X, double* Y, double* Z,
                           bool* inside) const {
    double ox = 0.0, oy = 0.0, oz = 0.0;
    bool in = false;
    if (!m_Voxels.empty()) {
        const VolumeHeader& h = m_Header;
        const double c = std::cos(h.AxisAngle), s = std::sin(h.AxisAngle);
        const double a = (x - (h.Nx - 1) * 0.5) * h.Dx;
        const double b = (y - (h.Ny - 1) * 0.5) * h.Dy;
        ox = h.CentreX + a * c - b * s;
        oy = h.CentreY + a * s + b * c;
        oz = h.CentreZ + ((h.Nz - 1) * 0.5 - z) * h.Dz;
        in = x >= 0 && y >= 0 && z >= 0 && x <= h.Nx - 1 && y <= h.Ny - 1 && z <= h.Nz - 1;
    }
    if (X != nullptr) {
        *X = ox;
    }
    if (Y != nullptr) {
        *Y = oy;
    }
    if (Z != nullptr) {
        *Z = oz;
    }
    if (inside != nullptr) {
        *inside = in;
    }
}

VolumeClass::Plane VolumeClass::MakePlane(double position, double angle) const {
    const VolumeHeader& h = m_Header;
    const double ci = position * h.Nx - 1.0;  // voxel plane addressed by the position
    const double c = std::cos(h.AxisAngle), s = std::sin(h.AxisAngle);
    const double a = (ci - (h.Nx - 1) * 0.5) * h.Dx;
    Plane p{};
    p.Cx = h.CentreX + a * c;
    p.Cy = h.CentreY + a * s;
    // Column direction: the volume's second axis turned by `angle` about the vertical.
    const double wAngle = h.AxisAngle + kHalfPi + angle;
    p.Wx = std::cos(wAngle);
    p.Wy = std::sin(wAngle);
    // In volume index space the second axis is e2 and the first e1; w = -sin(angle)·e1 +
    // cos(angle)·e2, and columns are dy apart.
    const double halfW = (h.Ny - 1) * 0.5;
    p.Di = -std::sin(angle) * h.Dy / h.Dx;
    p.Dj = std::cos(angle);
    p.I0 = ci - halfW * p.Di;
    p.J0 = halfW - halfW * p.Dj;
    return p;
}

void VolumeClass::FillInfo(const Plane& p, double angle, SliceInfo* info) const {
    const VolumeHeader& h = m_Header;
    info->CenterX = p.Cx;
    info->CenterY = p.Cy;
    info->Rot1 = angle;
    info->Rot2 = h.AxisAngle + kHalfPi + angle;
    info->RotY = 0.0;
    double z = 0.0;
    mxyz2XYZ(0, 0, 0, &info->VolTopLeftX, &info->VolTopLeftY, &z, nullptr);
    mxyz2XYZ(h.Nx - 1, 0, 0, &info->VolTopRightX, &info->VolTopRightY, &z, nullptr);
    mxyz2XYZ(0, h.Ny - 1, 0, &info->VolBottomLeftX, &info->VolBottomLeftY, &z, nullptr);
    mxyz2XYZ(h.Nx - 1, h.Ny - 1, 0, &info->VolBottomRightX, &info->VolBottomRightY, &z, nullptr);
    const double half = (h.Ny - 1) * 0.5 * h.Dy;
    info->SliceTopLeftX = info->SliceBottomLeftX = p.Cx - half * p.Wx;
    info->SliceTopLeftY = info->SliceBottomLeftY = p.Cy - half * p.Wy;
    info->SliceTopRightX = info->SliceBottomRightX = p.Cx + half * p.Wx;
    info->SliceTopRightY = info->SliceBottomRightY = p.Cy + half * p.Wy;
    info->SliceTopZ = static_cast<float>(h.CentreZ + (h.Nz - 1) * 0.5 * h.Dz);
    info->SliceBottomZ = static_cast<float>(h.CentreZ - (h.Nz - 1) * 0.5 * h.Dz);
}

void VolumeClass::SliceInfo_Extract(double position, double angle, SliceInfo* info) const {
    if (info == nullptr || m_Voxels.empty() || !std::isfinite(position) || !std::isfinite(angle)) {
        return;
    }
    FillInfo(MakePlane(position, angle), angle, info);
}

void VolumeClass::Slice_Extract(double position, double angle, SliceInfo* info) {
    if (!m_Voxels.empty()) {
        Slice_ExtractTo(position, angle, m_Slice.data(), info);
    }
}

void VolumeClass::Slice_ExtractTo(double position, double angle, uint16_t* out,
                                  SliceInfo* info) const {
    if (m_Voxels.empty() || out == nullptr) {
        return;
    }
    const int ny = m_DimY, nz = m_DimZ, nx = m_DimX;
    if (!std::isfinite(position) || !std::isfinite(angle)) {
        std::fill(out, out + static_cast<size_t>(ny) * nz, AirValue());
        return;
    }
    const Plane p = MakePlane(position, angle);
    if (info != nullptr) {
        FillInfo(p, angle, info);
    }
    // Column blend scratch (kBlock × nz), one per thread so slices can be cut concurrently.
    thread_local std::vector<float> block;
    block.resize(static_cast<size_t>(kBlock) * nz);
    // Slice rows coincide with volume rows, so every slice column is a bilinear blend of four
    // contiguous voxel columns: blend whole columns, then scatter a block of them into rows.
    float* blockBase = block.data();
    const uint16_t* vox = m_Voxels.data();
    for (int c0 = 0; c0 < ny; c0 += kBlock) {
        const int cn = std::min(kBlock, ny - c0);
        for (int b = 0; b < cn; ++b) {
            const int col = c0 + b;
            const double fi = p.I0 + col * p.Di;
            const double fj = p.J0 + col * p.Dj;
            float* out = blockBase + static_cast<size_t>(b) * nz;
            const double i0f = std::floor(fi), j0f = std::floor(fj);
            const float ti = static_cast<float>(fi - i0f), tj = static_cast<float>(fj - j0f);
            const int i0 = static_cast<int>(std::max(-2.0, std::min(i0f, 1e6)));
            const int j0 = static_cast<int>(std::max(-2.0, std::min(j0f, 1e6)));
            // Neighbours outside the grid read the column of air with their full weight, so
            // outside is air and the last half voxel blends into it rather than into black.
            const uint16_t* src[4];
            const float w[4] = {(1 - ti) * (1 - tj), (1 - ti) * tj, ti * (1 - tj), ti * tj};
            for (int q = 0; q < 4; ++q) {
                const int ii = i0 + (q >> 1), jj = j0 + (q & 1);
                src[q] = ii >= 0 && ii < nx && jj >= 0 && jj < ny
                             ? vox + (static_cast<size_t>(ii) * ny + jj) * nz
                             : m_Air.data();
            }
            BlendColumn(src[0], src[1], src[2], src[3], w, out, nz);
        }
        for (int k = 0; k < nz; ++k) {
            uint16_t* row = out + static_cast<size_t>(k) * ny + c0;
            for (int b = 0; b < cn; ++b) {
                const float v = blockBase[static_cast<size_t>(b) * nz + k];
                row[b] = static_cast<uint16_t>(v >= 65535.0f ? 65535.0f : v);
            }
        }
    }
}
