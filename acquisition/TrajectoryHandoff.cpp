#include "acquisition/TrajectoryHandoff.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "platform/TextConvert.h"
#include "zor_r3d/R3D.h"

namespace zor::acquisition {

namespace {

constexpr const char* kTitleTag = "_[WAIT ACQUISITION ERROR]_";
constexpr const char* kTitle = "WAIT ACQUISITION ERROR";

constexpr int kViews = 11;
constexpr double kStepDeg = 20.0;
constexpr double kFieldFactor = 2.4;
constexpr double kMagnification = 1.436031331592689;

constexpr int kMaxKv = 85, kMinKv = 60, kMaxMa = 10;
constexpr double kAcceptedExcess = 5.0;  // percent above the target dose

/// Truncation toward zero that saturates at the 32-bit limits; NaN gives 0.
int TruncToInt(double v) {
    if (std::isnan(v))
        return 0;
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(v, lo, hi));
}

int SaturateToInt(int64_t v) {
    return static_cast<int>(
        std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

double Pow5(double v) {
    return v * v * v * v * v;
}

/// One search pass over the kV range and mA from..to, starting again from `start`.
ExposureTechnique SearchPass(const ExposureTechnique& start, double dose, int64_t maFrom,
                             int64_t maTo) {
    ExposureTechnique best = start;
    const int64_t kvFrom = std::max<int64_t>(int64_t{start.Kv} - 100, kMinKv);
    const int64_t kvTo = std::min<int64_t>(int64_t{start.Kv} + 100, kMaxKv);
    for (int64_t kv = kvFrom; kv <= kvTo; ++kv) {
        for (int64_t ma = maFrom; ma <= maTo; ++ma) {
            const double score =
                100.0 * Pow5(static_cast<double>(kv)) * static_cast<double>(ma) / dose - 100.0;
            if (std::fabs(score) < std::fabs(best.Score))
                best = {static_cast<int>(kv), static_cast<int>(ma), score};
        }
    }
    return best;
}

HandoffOutcome Failed(HandoffOutcome out, const char* title, const char* text, bool translate,
                      bool restart, std::string reason) {
    out.Ok = false;
    out.Title = title;
    out.Text = text;
    out.TranslateTexts = translate;
    out.Restart = restart;
    out.Reason = std::move(reason);
    return out;
}

/// The raw LUT index of trunc(sum × 0.5); -1 (never valid) outside the int range.
int HalfColumn(int64_t sum) {
    const double half = static_cast<double>(sum) * 0.5;
    const auto column = static_cast<int64_t>(half);
    return column >= 0 && column <= std::numeric_limits<int>::max() ? static_cast<int>(column) : -1;
}

}  // namespace

ExposureTechnique ChooseExposureTechnique(double factor, int kv0, int ma0) {
    const ExposureTechnique start{kv0, ma0, 100.0 * factor - 100.0};
    const double dose = factor * Pow5(kv0) * ma0;
    if (!(dose > 0.0) || !std::isfinite(dose))
        return start;
    // Each pass widens the mA range around ma0 only while the dose is still too high; a dose
    // below the target is accepted as it is.
    const int64_t ma = ma0;
    auto from = [](int64_t m) { return m <= 0 ? int64_t{1} : m; };
    ExposureTechnique best = SearchPass(start, dose, from(ma), std::min<int64_t>(ma, kMaxMa));
    if (best.Score > kAcceptedExcess)
        best = SearchPass(start, dose, from(ma - 1), std::min<int64_t>(ma + 1, kMaxMa));
    if (best.Score > kAcceptedExcess)
        best = SearchPass(start, dose, from(ma - 2), std::min<int64_t>(ma + 2, kMaxMa));
    return best;
}

CollimatorResult ComputeCollimator(const CollimatorGeometry& g) {
    CollimatorResult r;
    const int64_t T = g.T, B = g.B, It = g.It, Ib = g.Ib, Vt = g.Vt, Vb = g.Vb;
    const int64_t H = Ib - It;
    const float windowHeight = static_cast<float>(B - T);

    int64_t lower = Ib - (Vb + T);
    if (g.CBottom < 0) {
        lower -= TruncToInt(g.CBottom * windowHeight);
        // A panoramic cut at the bottom must not open the collimator past its lower travel.
        const double bound = 1388.0 / g.Scale;
        if (std::isfinite(bound))
            lower = std::min<int64_t>(lower, TruncToInt(bound));
    }
    r.Lower = TruncToInt(std::clamp(static_cast<double>(lower) * 14.0 * g.Scale, 0.0, 5600.0));

    int64_t upper = Vt - (It - T);
    if (g.CTop < 0) {
        upper += TruncToInt(g.CTop * windowHeight);
        if (upper < 1)
            upper = 0;
    }
    if (H != 0) {
        const int64_t scaled = (upper * -19750) / H;
        r.Upper = (scaled > 0 || scaled < -19749) ? 0 : static_cast<int>(scaled);
        const float height = static_cast<float>(H);
        r.BottomBlank = std::max(static_cast<float>(T + Ib - Vb) / height + 0.02f, 0.0f);
        const float top = static_cast<float>(Vt + T - It) / height + 0.02f;
        r.TopBlank = (top >= 0.0f && top <= 0.9) ? top : 0.0f;
    }
    return r;
}

HandoffOutcome ComputeAndSendTrajectory(const HandoffInput& in, const ProgramLauncher& launch) {
    HandoffOutcome out;
    if (!in.VoiSelected)
        return Failed(out, kTitleTag, "_[No data voi selected]_", true, false,
                      "no volume of interest selected");
    if (in.Lut == nullptr || in.Lut->m_Count == 0)
        return Failed(out, kTitle, "Empty LUT", false, true, "the panoramic has no LUT loaded");

    const int64_t margin = in.MarginLeft;
    const int centre = HalfColumn(int64_t{in.VoiLeft} + margin + int64_t{in.VoiRight} + margin);
    double x = 0.0, y = 0.0;
    const bool onCurve = in.Lut->GetXY(centre, &x, &y) == 0;

    if (!in.DriverRunning || !in.DriverRunning())
        return Failed(out, kTitleTag, "_[device PC driver was not started]_", true, false,
                      "the driver window was not found");
    // Planning around an arbitrary point would send the device to a wrong place.
    if (!onCurve)
        return Failed(out, kTitle, "Error on computing trajectory", false, true,
                      "column " + std::to_string(centre) + " has no point on the panoramic curve");

    if (!in.TemplateMode)
        y += in.YValue;
    const double angle = -std::numbers::pi - in.ArchAngle;
    static constexpr int kOrder[kViews] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    const std::wstring workFolder = platform::Utf8ToWide(in.InstallDir.string() + "/work/");
    int xStart = 0, yStart = 0, rotationStart = 0, columns = 0, success = 1;
    const int rc = CreateTrajectory(0, x, y, angle, in.VolumeDiameter, kStepDeg, kViews, kOrder,
                                    workFolder, kFieldFactor, kMagnification, kMagnification,
                                    &xStart, &yStart, &rotationStart, &columns, &success);
    if (rc != 0 || success == 0)
        return Failed(out, kTitle, "Error on computing trajectory", false, true,
                      "CreateTrajectory returned " + std::to_string(rc) + ", success flag " +
                          std::to_string(success));

    DriverParameters& p = out.Sent;
    p = {xStart, yStart, rotationStart, columns};
    if (in.YAxisMovable) {
        out.Collimator = ComputeCollimator(in.Geometry);
        p.CollimatorLower = out.Collimator->Lower;
        p.CollimatorUpper = out.Collimator->Upper;
    }

    const int64_t halfVoi =
        static_cast<int64_t>(static_cast<double>(int64_t{in.VoiLeft} + int64_t{in.VoiRight}) * 0.5);
    const int techniqueColumn = SaturateToInt(halfVoi + margin);
    double factor = 1.0;
    std::string note;
    if (in.Lut->GetFactor(techniqueColumn, &factor) != 0) {
        factor = 1.0;
        note = "; column " + std::to_string(techniqueColumn) +
               " has no exposure factor, the panoramic's technique is kept";
    }
    const ExposureTechnique technique = ChooseExposureTechnique(factor, in.Kv0, in.Ma0);
    p.Kv = technique.Kv;
    p.Ma = technique.Ma;
    p.Orientation = in.Orientation;
    p.YCorrection = TruncToInt(in.YValue);
    p.ExposureTimeMs = in.ExposureTimeMs;
    p.YAxisMovable = in.YAxisMovable;
    p.TemplateMode = in.TemplateMode;

    std::string why;
    if (!WriteDriverParameters(in.InstallDir, p, launch, &why))
        return Failed(out, kTitle, "Error on sending trajectory to device driver", false, true,
                      why + note);
    out.Ok = true;
    out.Reason = "trajectory sent: " + std::to_string(p.Kv) + " kV, " + std::to_string(p.Ma) +
                 " mA, " + std::to_string(columns) + " columns" + note;
    return out;
}

}  // namespace zor::acquisition
