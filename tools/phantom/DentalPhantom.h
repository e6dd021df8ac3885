#pragma once
// The digital dental phantom: an analytic model of both dental arches, and its voxel form.
#include <memory>
#include <vector>

#include "phantom/ArchCurve.h"

namespace zor::phantom {

enum class PhantomKind { Adult, Child };

/// Linear attenuation coefficients (1/mm) of the phantom's materials at the effective energy
/// of the 70 kV beam. Trabecular bone is a texture between kMarrow and kTrabecula (mean about
/// kTrabecular); the restorations are amalgam, a titanium implant, a ceramic crown on it and
/// gutta-percha in a treated root canal.
struct Materials {
    static constexpr float kSoft = 0.020f, kTrabecular = 0.036f, kCortical = 0.052f,
                           kDentine = 0.062f, kEnamel = 0.100f, kPulp = 0.021f, kCanal = 0.019f,
                           kMarrow = 0.028f, kTrabecula = 0.050f, kAmalgam = 0.600f,
                           kImplant = 0.280f, kCeramic = 0.120f, kGuttaPercha = 0.160f,
                           kLesion = 0.018f;
};

/// What a point of the phantom is made of; the tissues the quality measures tell apart.
enum class Tissue : unsigned char {
    Air,
    Soft,
    Enamel,
    Dentine,
    Pulp,
    Cortical,
    Trabecular,
    Canal,
    Lesion,
    Filling,  ///< amalgam, gutta-percha, implant or its crown
};

/// Treatment of a tooth.
enum class Restoration : unsigned char {
    None,
    Filling,    ///< amalgam in the occlusal surface, open towards the mesial side
    RootCanal,  ///< pulp replaced by gutta-percha
    Crown,      ///< a ceramic crown on a root-canal-treated root
    Implant,    ///< titanium screw in the bone with a ceramic crown
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
    int Index = 0;  ///< place from the midline, 0 = central incisor
    Restoration Treated = Restoration::None;
};

/// A ball of one material (periapical lesion, follicle of a tooth bud), arch-local mm.
struct Ball {
    double S = 0.0, D = 0.0, Z = 0.0, Radius = 1.0;
    Tissue Kind = Tissue::Lesion;
};

/// The model. Device coordinates in mm: z up, occlusal plane at z = 10, the arch in the x/y
/// plane with its front at negative y. Left and right differ (missing teeth, restorations, a
/// lesion), so a mirrored image does not match it. Immutable after construction, thread-safe
/// reads.
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
    /// Tissue at arch-local coordinates.
    Tissue TissueLocal(double s, double d, double z) const;
    const std::vector<Ball>& Balls() const { return m_Balls; }
    /// Extent of the model, device mm.
    double XMin() const { return -m_Reach; }
    double XMax() const { return m_Reach; }
    double YMin() const { return m_YMin; }
    double YMax() const { return m_YMax; }
    static constexpr double kZMin = -38.0, kZMax = 50.0;

private:
    /// A material: its tissue and attenuation (Air with mu < 0: not inside this part).
    struct Sample {
        Tissue Kind = Tissue::Air;
        float Mu = -1.0f;
    };
    Sample At(double s, double d, double z) const;
    Sample ToothAt(const Tooth& t, double a, double d, double z) const;
    Sample BoneAt(double s, double d, double z) const;
    // Tooth `index` from the midline on `side` (-1: patient's right, s < 0; +1: left).
    Tooth* Find(bool upper, int side, int index);

    PhantomKind m_Kind;
    ArchCurve m_Curve;
    std::vector<Tooth> m_Teeth;  // sorted by S
    std::vector<Ball> m_Balls;
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
