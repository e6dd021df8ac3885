#pragma once
// Acquisition trajectory: the geometry of the 11 cone-beam views and of the volume grid.
#include <string>
#include <string_view>
#include <vector>

namespace zor_r3d {

/// Trajectory of one tomosynthesis acquisition, as stored in "ConeBeam.tra" (all lengths mm,
/// angles degrees unless named *Rad). The source turns on a circle of radius Sod about the
/// vertical axis through the volume centre; the flat detector faces it at Sod·MagH.
struct Trajectory {
    int Views = 11;
    std::vector<int> Order;  ///< acquisition i (file index i+1) holds view Order[i]
    double CentreX = 0.0, CentreY = 0.0, CentreZ = 0.0;  ///< volume-of-interest centre
    double AxisAngleRad = 0.0;  ///< direction of the volume's first axis (along the arch)
    double Diameter = 35.0;
    double StepDeg = 20.0;     ///< between consecutive views
    double FieldFactor = 2.4;  ///< detector width at the centre = FieldFactor × Diameter
    double MagH = 1.436031331592689, MagV = 1.436031331592689;
    double Sod = 500.0;  ///< source to rotation axis
    int DetCols = 560, DetRows = 294;
    double PitchU = 0.15, PitchV = 0.15;  ///< detector pitch scaled to the rotation axis
    int Nx = 50, Ny = 240, Nz = 270;      ///< volume grid
    double Dx = 0.7, Dy = 0.15, Dz = 0.15;
};

/// One view: source position, central ray direction d and detector column axis u (unit,
/// horizontal). Pixel (col, row) is hit by the ray from the source through
/// centre + uIso·u + vIso·z, uIso = (col - (cols-1)/2)·PitchU, vIso = ((rows-1)/2 - row)·PitchV.
struct ViewGeometry {
    double BetaRad = 0.0;  ///< rotation of d from the volume's second axis
    double Dx = 0.0, Dy = 0.0;
    double Ux = 0.0, Uy = 0.0;
    double Sx = 0.0, Sy = 0.0, Sz = 0.0;
};

ViewGeometry ViewOf(const Trajectory& t, int view);
/// Checks ranges and consistency (order a permutation, sizes within limits, finite numbers).
bool IsValid(const Trajectory& t);

std::string FormatTrajectory(const Trajectory& t);
bool ParseTrajectory(std::string_view text, Trajectory& t);
/// At most 64 KiB from a regular file; false with `*reason` (when given) otherwise.
bool ReadTrajectoryFile(const std::string& path, Trajectory& t, std::string* reason = nullptr);
/// "ConeBeam.tra", "ConeBeam.csv", "ConeBeam_P0.csv", "ConeBeam_P0.txt" and "Test.txt" in
/// `folder` (ending with '/'). False when a file cannot be written.
bool WriteTrajectoryFiles(const std::string& folder, const Trajectory& t);

/// Start outputs of the trajectory: rotation axis position (µm), first view azimuth
/// (hundredths of a degree, device frame), detector columns.
struct StartPosition {
    int XMicrons = 0, YMicrons = 0, RotationCentiDeg = 0, Columns = 0;
};
StartPosition StartOf(const Trajectory& t);

}  // namespace zor_r3d
