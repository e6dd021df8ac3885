#pragma once
// The digital dental phantom: an analytic model of both dental arches, and its voxel form.
#include <memory>
#include <vector>

#include "phantom/ArchCurve.h"

namespace zor::phantom {

enum class PhantomKind { Adult, Child };

/// Linear attenuation coefficients (1/mm) of the phantom's materials.
struct Materials {
    static constexpr float kSoft = 0.020f, kTrabecular = 0.036f, kCortical = 0.052f,
                           kDentine = 0.062f, kEnamel = 0.100f, kPulp = 0.021f, kCanal = 0.019f;
};

/// One tooth: arch position, sizes (mm) and whether it is a lower or upper tooth or an
/// unerupted germ (crown only).
struct Tooth {
    double S = 0.0;      ///< centre along the arch
    double Width = 7.0;  ///< along the arch
    double Depth = 8.0;  ///< across the arch
    double CrownHeight = 8.0;
    double RootLength = 13.0;
    double Cusp = 10.0;   ///< z of the crown tip (lower: top, upper: bottom)
    double Offset = 0.0;  ///< shift across the arch
    int Roots = 1;
    bool Upper = false;
    bool Germ = false;
};

/// The model. Device coordinates in mm: z up, occlusal plane at z = 10, the arch in the x/y
/// plane with its front at negative y. Immutable after construction, thread-safe reads.
class DentalPhantom {
public:
    explicit DentalPhantom(PhantomKind kind);
    PhantomKind Kind() const { return m_Kind; }
    const ArchCurve& Curve() const { return m_Curve; }
    const std::vector<Tooth>& Teeth() const { return m_Teeth; }
    /// Attenuation (1/mm) at a device point.
    float Mu(double x, double y, double z) const;
    /// Attenuation from arch-local coordinates (see ArchCurve::Local).
    float MuLocal(double s, double d, double z) const;
    /// Extent of the model, device mm.
    double XMin() const { return -m_Reach; }
    double XMax() const { return m_Reach; }
    double YMin() const { return m_YMin; }
    double YMax() const { return m_YMax; }
    static constexpr double kZMin = -38.0, kZMax = 50.0;

private:
    float ToothMu(const Tooth& t, double a, double d, double z) const;
    float BoneMu(double s, double d, double z) const;

    PhantomKind m_Kind;
    ArchCurve m_Curve;
    std::vector<Tooth> m_Teeth;  // sorted by S
    double m_Reach = 46.0, m_YMin = -60.0, m_YMax = 56.0;
    double m_LowerBase = -26.0, m_LowerCrest = -2.5, m_UpperCrest = 21.5, m_UpperTop = 40.0;
    double m_CanalZ = -16.0, m_CanalStart = 22.0;
};

/// The phantom sampled on a regular grid (vertical axis fastest) for fast line integrals.
struct PhantomGrid {
    double X0 = 0, Y0 = 0, Z0 = 0;  ///< centre of voxel (0, 0, 0)
    double Pitch = 0.4;
    int Nx = 0, Ny = 0, Nz = 0;
    std::vector<float> Mu;            ///< ((ix*Ny)+iy)*Nz+iz
    std::vector<unsigned char> Used;  ///< per (ix, iy): 1 when the column holds any material
};

/// Samples the phantom at `pitch` mm on all cores (about 0.5 s at 0.4 mm).
std::shared_ptr<const PhantomGrid> BuildGrid(const DentalPhantom& phantom, double pitch = 0.4);

}  // namespace zor::phantom
