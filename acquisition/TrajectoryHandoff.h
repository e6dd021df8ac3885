#pragma once
// From the volume of interest to the driver: trajectory, collimator, exposure technique and the
// parameter file. Runs on the user-interface thread.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "acquisition/DriverParameters.h"
#include "zor_vol/CLUTProjection.h"

namespace zor::acquisition {

/// A tube voltage (kV) and current (mA) with its dose deviation from the target, in percent.
struct ExposureTechnique {
    int Kv = 0;
    int Ma = 0;
    double Score = 0.0;
};

/// The technique whose dose kV^5 × mA comes closest to factor × kv0^5 × ma0: kV within
/// max(kv0 - 100, 60)..min(kv0 + 100, 85), mA at most 10; first ma0 alone, then, while the best
/// deviation is above +5 %, ma0 ± 1 and ma0 ± 2. Starts from (kv0, ma0) with the score
/// 100 × factor - 100. Without a positive finite target dose (kv0 or ma0 not positive) no pair
/// can be compared and (kv0, ma0) is kept.
ExposureTechnique ChooseExposureTechnique(double factor, int kv0, int ma0);

/// The panoramic display (window pixels): window top T and bottom B, image top It and bottom Ib,
/// volume-of-interest marker top Vt and bottom Vb, the crop shares of the panoramic (negative
/// when it is cut at that edge) and the display scale.
struct CollimatorGeometry {
    int T = 0, B = 0, It = 0, Ib = 0, Vt = 0, Vb = 0;
    float CTop = 0, CBottom = 0, Scale = 1;
};
/// Collimator positions in device steps (lower 0..5600, upper -19749..0) and the blank
/// fractions of the image height above and below the volume of interest (cross views).
struct CollimatorResult {
    int Lower = 0, Upper = 0;
    float TopBlank = 0, BottomBlank = 0;
};
/// Integer steps truncate toward zero. An image of height 0 (It == Ib) gives upper 0 and both
/// blank fractions 0.
CollimatorResult ComputeCollimator(const CollimatorGeometry& g);

/// What the hand-off needs from the main window's objects.
struct HandoffInput {
    std::filesystem::path InstallDir;  ///< "/work/" is appended as text
    bool VoiSelected = false;
    int VoiLeft = 0, VoiRight = 0;        ///< volume of interest, panoramic display columns
    int MarginLeft = 74;                  ///< raw column = display column + MarginLeft
    const CLUTProjection* Lut = nullptr;  ///< not owned; null or empty: "Empty LUT"
    std::function<bool()> DriverRunning;  ///< finds the driver window; empty counts as absent
    double ArchAngle = 0.0;               ///< rad, arch direction at the volume of interest
    double VolumeDiameter = 35.0;         ///< mm
    double YValue = 0.0;                  ///< panoramic Y value, mm
    int Kv0 = 0, Ma0 = 0, ExposureTimeMs = 0, Orientation = 0;  ///< panoramic description
    bool TemplateMode = false, YAxisMovable = false;
    CollimatorGeometry Geometry;
};

struct HandoffOutcome {
    bool Ok = false;
    std::string Title, Text;  ///< the error display; tags to translate when TranslateTexts
    bool TranslateTexts = false;
    bool Restart = false;   ///< the workflow goes back to step 1
    DriverParameters Sent;  ///< what was written (after a successful trajectory computation)
    std::optional<CollimatorResult> Collimator;  ///< set when the Y axis can move
    std::string Reason;                          ///< detail for the log
};

/// The hand-off proper, in this order: the volume of interest, the LUT point of its centre
/// column, the driver window, CreateTrajectory (files into the work folder), the collimator
/// (Y axis movable only), the exposure technique, WriteDriverParameters. The first failure ends
/// it with its error display. A centre column without a curve point fails as a trajectory
/// computation error (after the driver check); a column without an exposure factor keeps the
/// panoramic's own technique (factor 1.0), which Reason says. The caller waits for the
/// reconstruction worker before and moves to phase 3 after a success.
HandoffOutcome ComputeAndSendTrajectory(const HandoffInput& in,
                                        const ProgramLauncher& launch = platform::ShellExecuteOpen);

}  // namespace zor::acquisition
