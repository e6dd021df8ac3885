#pragma once
// The panoramic curve of the phantom: an elliptic dental arch continued by straight rami.
#include <vector>

namespace zor::phantom {

/// Arch-local coordinates of a device point: s along the curve (mm, 0 at the midline, growing
/// with panoramic columns), d across it (mm, positive outwards to the lips and cheeks).
struct ArchPoint {
    double S = 0.0, D = 0.0;
};

/// Curve x = -a·sin(phi), y = -b·cos(phi) for |phi| ≤ pi/2, continued backwards by straight
/// lines at x = ±a, sampled by arc length. Immutable after construction; thread-safe reads.
class ArchCurve {
public:
    ArchCurve(double halfWidth, double depth, double halfLength);
    double HalfLength() const { return m_HalfLength; }
    /// Point of the curve at arc length s (clamped to the ends), device mm.
    void PointAt(double s, double& x, double& y) const;
    /// Unit tangent towards growing s.
    void TangentAt(double s, double& tx, double& ty) const;
    /// Curve angle used by the LUT: the direction of -tangent, within [-pi/2, pi/2].
    double AngleAt(double s) const;
    /// Nearest-point coordinates; beyond the ends s continues along the end tangent.
    ArchPoint Local(double x, double y) const;

private:
    double m_HalfLength;
    double m_Step;
    std::vector<double> m_X, m_Y;  // samples every m_Step mm from -halfLength
};

}  // namespace zor::phantom
