#pragma once
// The crosses through the loaded volume: where they lie along the arch, the positions they may
// reach, how they are cut, cropped and handed to the display, and their marker on the panoramic.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "viewer/CrossImages.h"
#include "viewer/CrossPorts.h"
#include "zor_vol/SliceInfo.h"

class CLUTProjection;
class VolumeClass;

namespace zor::viewer {

/// Positions along the arch: index s (1..50) stands for s / 50.
inline constexpr int kCrossPositions = 50;

/// The cross settings copied when the cross view is created.
struct CrossSettings {
    bool IsCrossCropped = true;
    int TopBottomCrossColumnCropped = 15;  ///< kept for the record; no geometry uses it
    int LeftRightCrossColumnCroppedMinimum = 15;
    int LeftRightCrossColumnCroppedMaximum = 60;
    bool IsPanoramicToAppendToCross = false;  ///< read by the export
    bool IsCrossAngleLimited = false;
    int CrossAngleLimit = 90;  ///< degrees
};

/// What a cross slot's 16-bit image goes through before display: `raw` to `filtered`, both
/// width x height, rows packed. `slot` names the slot whose filter list applies. It is called
/// for several slots at once from different threads, never twice at once for one slot. An
/// empty function copies the image unchanged.
using CrossFilter = std::function<void(int slot, const std::uint16_t* raw, std::uint16_t* filtered,
                                       int width, int height)>;

/// Where the panoramic is drawn: its LUT (not owned, outlives its use here), its size in
/// pixels and the screen rectangle it is stretched into. The curve picture (568 x 568 after its
/// rotation) with its drawing frame carries the marker; `volumeDiameter` (mm) sets its height.
struct CrossPanoramic {
    const CLUTProjection* lut = nullptr;
    int imageWidth = 0;
    Rect display;
    int curveWidth = 0;
    int curveHeight = 0;
    Rect curveDisplay;
    double volumeDiameter = 35.0;
};

/// The rotated rectangle that marks the shown crosses on the curve picture, screen corners.
using CrossMarker = FrameCorners;

/// The crosses shown through one volume; user-interface thread. The main window keeps one
/// CrossView for the program's life and hands it each new volume: the angle table is built at
/// the first GenerateCrosses and reused for every later volume. The volume and the images are
/// not owned and must outlive the object (or be replaced first).
class CrossView : public ICrossView {
public:
    CrossView(CrossSettings settings, CrossImages& images, CrossFilter filter = {});

    /// Resets the view (centre 0.5, angle 0, one cross, selections and collimator fractions
    /// cleared, centre index 25) and takes `volume` (null: no volume). P is its first voxel
    /// count, at most 50.
    void SetVolume(VolumeClass* volume);
    /// The panoramic the crosses are placed on; a null LUT means none (indices -1, no marker).
    void SetPanoramic(const CrossPanoramic& panoramic);
    /// Fractions of the slice height blanked above the last row (a) and from the top (b).
    void SetCollimatorFractions(float a, float b);
    /// The cross pane in client coordinates, for the drag mode of MoveCrosses.
    void SetCrossPane(const Rect& pane) { m_Pane = pane; }
    /// Recomputes the allowed positions from the angle table and the angle limit.
    void ComputeAllowedRange();
    /// Previous (-1) or following (+1) crosses: moves by n / 50 and extracts them again.
    void Step(int direction);

    // ICrossView
    double Centre() const override { return m_Centre; }
    void SetCentre(double centre) override { m_Centre = centre; }
    int FirstAllowed() const override { return m_First; }
    int LastAllowed() const override { return m_Last; }
    double RangeValue() const override;
    void BeginDrag(Point point) override { m_LastPoint = point; }
    void MoveCrosses(double delta, const Point* point) override;
    void SetCrossPosition(int index) override;
    void UpdateCrossMarker() override;
    void SetCrossCount(int count, int rows) override;
    void GenerateCrosses() override;
    /// Runs the slots' filter again on the slices already cut and converts them for display
    /// (the filter changed, the crosses did not).
    void ApplyFilters();
    void ToggleSelection(int position) override;

    /// The centre index the last accepted move gave (25 after a reset).
    int CentreIndex() const { return m_CentreIndex; }
    int CrossCount() const { return m_Count; }
    int CrossRows() const { return m_Rows; }
    /// The curve angle last used, radians.
    double Angle() const { return m_Angle; }
    /// Curve angle of each volume position (radians), filled at the first GenerateCrosses.
    const std::array<double, kCrossPositions>& AngleTable() const { return m_AngleTable; }
    /// Cross i's plane and its panoramic column (-1 without one); i in 0 .. n - 1.
    const SliceInfo& Record(int cross) const;
    /// Export selection by position index - 1 (0..49).
    const std::array<bool, kCrossPositions>& Selection() const { return m_Selected; }
    /// Slot `slot`'s cropped slice before filtering (slice width x height), empty before the
    /// first extraction.
    const std::vector<std::uint16_t>& RawImage(int slot) const;
    int SliceWidth() const { return m_Width; }
    int SliceHeight() const { return m_Height; }
    const CrossSettings& Settings() const { return m_Settings; }

    /// The panoramic columns of the outer crosses (display columns, before the left margin) and
    /// the screen x of the span they cover; none without a panoramic or when either has no column.
    struct Span {
        int lowColumn = 0;
        int highColumn = 0;
        int leftX = 0;
        int rightX = 0;
    };
    std::optional<Span> CrossSpan() const { return m_Span; }
    /// The marker rectangle on screen; none without a panoramic or a curve point.
    std::optional<CrossMarker> Marker() const { return m_Marker; }
    /// Screen x of the first and last allowed positions on the panoramic; none without one.
    std::optional<std::array<int, 2>> AllowedRangeX() const;

private:
    double PositionOfCross(int cross) const;
    int PanoramicIndex(const SliceInfo& info) const;
    bool AngleAt(int panoramicIndex, double& angle) const;
    void BuildAngleTable();
    double PlaceCross(int cross);
    void ExtractCross(int cross, double angle);
    void CropSlice(double position, std::uint16_t* buffer) const;
    void ShowSlot(int slot);
    int NearestPosition(const Point& point) const;

    CrossSettings m_Settings;
    CrossImages& m_Images;
    CrossFilter m_Filter;
    VolumeClass* m_Volume = nullptr;
    CrossPanoramic m_Panoramic;
    Rect m_Pane;

    int m_Positions = 0;  ///< P
    int m_Width = 0;
    int m_Height = 0;
    double m_Centre = 0.5;
    double m_Angle = 0.0;
    int m_Count = 1;
    int m_Rows = 1;
    int m_CentreIndex = 25;
    int m_First = 25;
    int m_Last = 25;
    float m_CollimatorA = 0.0f;
    float m_CollimatorB = 0.0f;
    Point m_LastPoint;

    std::array<SliceInfo, kCrossPositions> m_Records{};
    std::array<double, kCrossPositions> m_AngleTable{};
    bool m_AngleTableBuilt = false;
    std::array<bool, kCrossPositions> m_Selected{};
    std::vector<std::vector<std::uint16_t>> m_Raw;  ///< per slot

    std::optional<Span> m_Span;
    std::optional<CrossMarker> m_Marker;
};

/// Blanks (zeroes) a cross's cropped margins in place: `k` rows at the top and the bottom and `k`
/// columns at both sides, trunc(rows x b) rows from the top and trunc(rows x a) rows ending one
/// row above the last (the collimator's blank fractions).
void BlankCrossMargins(std::uint16_t* samples, int rows, int columns, int k, float a, float b);
/// The marker on the curve picture for the raw panoramic columns `low` .. `high` (left margin
/// included): a rectangle along the curve from its middle to `low`'s point, as wide as the volume's
/// diameter across it. None without a LUT or a curve picture, or where the LUT has no point.
std::optional<CrossMarker> CurveMarker(const CrossPanoramic& panoramic, int low, int high);
/// Lifts an angle below -pi/2 by pi; other angles are returned as they are (radians).
double NormaliseCurveAngle(double angle);
/// Radians to degrees with the device's 3.14 (single precision), not pi.
double CurveDegrees(double radians);

}  // namespace zor::viewer
