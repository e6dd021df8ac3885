#include "viewer/CrossView.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "platform/ParallelFor.h"
#include "zor_vol/CLUTProjection.h"
#include "zor_vol/VolumeClass.h"

namespace zor::viewer {

namespace {

constexpr double kDragMode = -1.0;
constexpr double kPanoramicMode = -2.0;
constexpr int kCentrePosition = 25;
constexpr double kNoLimit = 90.0;  // degrees: a curve never turns further than this
constexpr float kLowestTarget = 0.02f;
constexpr double kFarAway = 10000.0;
// The curve picture is stored 4 pixels per mm, offset so that the device's -71 mm lands on 0.
constexpr double kCurveOffset = 71.0;
constexpr double kCurveScale = 4.0;
constexpr double kCurveSpan = 564.0;

int Clamp(int v, int lo, int hi) {
    return std::max(lo, std::min(v, hi));
}

void ZeroRows(std::uint16_t* buffer, int width, int from, int to) {
    if (to > from)
        std::memset(buffer + static_cast<std::ptrdiff_t>(from) * width, 0,
                    sizeof(std::uint16_t) * static_cast<std::size_t>(to - from) * width);
}

}  // namespace

namespace {

// A curve point's place on the screen: the LUT's point in device mm, mirrored in x and scaled
// into the picture, then into its drawing frame; none where the LUT has no point.
std::optional<Point> CurvePoint(const CrossPanoramic& panoramic, int rawIndex) {
    double x = 0.0, y = 0.0;
    if (panoramic.lut->GetXY(rawIndex, &x, &y) != 0)
        return std::nullopt;
    const int px = panoramic.curveWidth - static_cast<int>((x + kCurveOffset) * kCurveScale);
    const int py = static_cast<int>((y + kCurveOffset) * kCurveScale);
    const Rect& frame = panoramic.curveDisplay;
    return Point{static_cast<int>(static_cast<double>(px) / panoramic.curveWidth * frame.Width() +
                                  frame.left),
                 static_cast<int>(static_cast<double>(py) / panoramic.curveHeight * frame.Height() +
                                  frame.top)};
}

}  // namespace

std::optional<CrossMarker> CurveMarker(const CrossPanoramic& panoramic, int low, int high) {
    const CLUTProjection* lut = panoramic.lut;
    if (lut == nullptr || panoramic.curveWidth <= 0 || panoramic.curveHeight <= 0)
        return std::nullopt;
    const int middle = (low + high) / 2;
    const std::optional<Point> p1 = CurvePoint(panoramic, low);
    const std::optional<Point> pm = CurvePoint(panoramic, middle);
    double angle = 0.0;
    if (!p1 || !pm || lut->GetAngle(middle, &angle) != 0)
        return std::nullopt;
    const double dx = p1->x - pm->x;
    const double dy = p1->y - pm->y;
    const double halfLength = std::trunc(std::sqrt(dx * dx + dy * dy));
    const double halfHeight = std::trunc(panoramic.volumeDiameter * kCurveScale / kCurveSpan *
                                         panoramic.curveDisplay.Width()) *
                              0.5;
    // The picture mirrors device x, so a curve direction (cos, sin) runs (-cos, sin) on screen.
    const double ux = -std::cos(angle), uy = std::sin(angle);
    const double nx = -uy, ny = ux;
    const auto corner = [&](double along, double across) {
        return Point{static_cast<int>(std::lround(pm->x + along * ux + across * nx)),
                     static_cast<int>(std::lround(pm->y + along * uy + across * ny))};
    };
    return CrossMarker{corner(-halfLength, -halfHeight), corner(halfLength, -halfHeight),
                       corner(halfLength, halfHeight), corner(-halfLength, halfHeight)};
}

double NormaliseCurveAngle(double angle) {
    double a = angle + std::numbers::pi / 2.0;
    if (a < 0.0)
        a += std::numbers::pi;
    return a - std::numbers::pi / 2.0;
}

double CurveDegrees(double radians) {
    return radians * 180.0 / static_cast<double>(3.14f);
}

CrossView::CrossView(CrossSettings settings, CrossImages& images, CrossFilter filter)
    : m_Settings(settings), m_Images(images), m_Filter(std::move(filter)) {}

void CrossView::SetVolume(VolumeClass* volume) {
    m_Volume = volume;
    m_Centre = 0.5;
    m_Angle = 0.0;
    m_Count = 1;
    m_Rows = 1;
    m_CentreIndex = kCentrePosition;
    m_Selected.fill(false);
    m_CollimatorA = 0.0f;
    m_CollimatorB = 0.0f;
    m_Span.reset();
    m_Marker.reset();
    const bool present = volume != nullptr && !volume->mIsNull();
    m_Positions = present ? std::min(volume->m_DimX, kCrossPositions) : 0;
    m_Width = present ? volume->m_DimY : 0;
    m_Height = present ? volume->m_DimZ : 0;
    m_Images.SetVisible(present);
}

void CrossView::SetPanoramic(const CrossPanoramic& panoramic) {
    m_Panoramic = panoramic;
    if (m_Panoramic.imageWidth <= 0 || m_Panoramic.display.Width() <= 0)
        m_Panoramic.lut = nullptr;
}

void CrossView::SetCollimatorFractions(float a, float b) {
    m_CollimatorA = a;
    m_CollimatorB = b;
}

double CrossView::RangeValue() const {
    return m_Volume != nullptr ? m_Volume->m_RangeValue : 0.0;
}

const SliceInfo& CrossView::Record(int cross) const {
    static const SliceInfo kNone{};
    if (cross < 0 || cross >= kCrossPositions)
        return kNone;
    return m_Records[static_cast<std::size_t>(cross)];
}

const std::vector<std::uint16_t>& CrossView::RawImage(int slot) const {
    static const std::vector<std::uint16_t> kNone;
    if (slot < 0 || slot >= static_cast<int>(m_Raw.size()))
        return kNone;
    return m_Raw[static_cast<std::size_t>(slot)];
}

double CrossView::PositionOfCross(int cross) const {
    const double step = m_Positions > 0 ? 1.0 / m_Positions : 0.0;
    return m_Centre + (cross - m_Count / 2) * step;
}

int CrossView::PanoramicIndex(const SliceInfo& info) const {
    if (m_Panoramic.lut == nullptr)
        return -1;
    return m_Panoramic.lut->MapCenterToPan(info.CenterX, info.CenterY);
}

// Panoramic indices are display columns; the LUT's flags and angles are kept per raw column.
bool CrossView::AngleAt(int panoramicIndex, double& angle) const {
    const CLUTProjection* lut = m_Panoramic.lut;
    if (lut == nullptr || panoramicIndex < 0)
        return false;
    const int raw = panoramicIndex + lut->MarginLeft();
    return lut->IsValidIndex(raw) && lut->GetAngle(raw, &angle) == 0;
}

void CrossView::BuildAngleTable() {
    const double step = 1.0 / m_Positions;
    for (int i = 0; i < m_Positions; ++i) {
        SliceInfo& record = m_Records[static_cast<std::size_t>(i)];
        m_Volume->SliceInfo_Extract(i * step, m_Angle, &record);
        record.PanIndex = PanoramicIndex(record);
        if (m_Panoramic.lut == nullptr)
            continue;
        double& entry = m_AngleTable[static_cast<std::size_t>(i)];
        AngleAt(record.PanIndex, entry);
        entry = NormaliseCurveAngle(entry);
    }
    m_AngleTableBuilt = true;
}

void CrossView::GenerateCrosses() {
    if (m_Volume == nullptr || m_Volume->mIsNull() || m_Positions < 1)
        return;
    if (!m_AngleTableBuilt)
        BuildAngleTable();
    m_Volume->Slice_Extract(m_Centre, 0.0, nullptr);
    if (m_Count < 1)
        return;
    m_Images.Resize(m_Count);
    m_Raw.resize(static_cast<std::size_t>(m_Count));
    // The planes and the curve angle are found cross by cross (a cross without a curve angle
    // keeps the one before it); cutting, cropping, filtering and display conversion of each
    // slot are independent and share the cores.
    std::array<double, kCrossPositions> angles{};
    for (int i = 0; i < m_Count; ++i)
        angles[static_cast<std::size_t>(i)] = PlaceCross(i);
    platform::ParallelFor(m_Count, [this, &angles](int cross) {
        ExtractCross(cross, angles[static_cast<std::size_t>(cross)]);
    });
}

void CrossView::ApplyFilters() {
    const int slots = std::min(m_Count, static_cast<int>(m_Raw.size()));
    if (m_Volume == nullptr || m_Volume->mIsNull())
        return;
    platform::ParallelFor(slots, [this](int slot) {
        if (!m_Raw[static_cast<std::size_t>(slot)].empty())
            ShowSlot(slot);
    });
}

double CrossView::PlaceCross(int cross) {
    SliceInfo& record = m_Records[static_cast<std::size_t>(cross)];
    m_Volume->SliceInfo_Extract(PositionOfCross(cross), m_Angle, &record);
    record.PanIndex = PanoramicIndex(record);
    if (m_Panoramic.lut != nullptr) {
        AngleAt(record.PanIndex, m_Angle);
        m_Angle = NormaliseCurveAngle(m_Angle);
    }
    // Each cross is cut relative to the curve's direction at the volume's middle, the direction
    // the volume's grid was aligned with.
    return m_Angle - m_AngleTable[static_cast<std::size_t>(m_Positions / 2)];
}

void CrossView::ExtractCross(int cross, double angle) {
    const double position = PositionOfCross(cross);
    SliceInfo& record = m_Records[static_cast<std::size_t>(cross)];
    const int slot = RangeValue() > 0.0 ? m_Count - 1 - cross : cross;
    std::vector<std::uint16_t>& raw = m_Raw[static_cast<std::size_t>(slot)];
    raw.resize(static_cast<std::size_t>(m_Width) * static_cast<std::size_t>(m_Height));
    m_Volume->Slice_ExtractTo(position, angle, raw.data(), &record);
    if (m_Settings.IsCrossCropped)
        CropSlice(position, raw.data());
    ShowSlot(slot);
}

void CrossView::CropSlice(double position, std::uint16_t* buffer) const {
    const int rows = m_Height;
    const int columns = m_Width;
    const int d = static_cast<int>(position * 50.0 - 1.0) - 24;
    const float minimum = static_cast<float>(m_Settings.LeftRightCrossColumnCroppedMinimum);
    const float maximum = static_cast<float>(m_Settings.LeftRightCrossColumnCroppedMaximum);
    const int k =
        static_cast<int>(minimum + static_cast<float>(std::abs(d)) * (maximum - minimum) / 25.0f);
    BlankCrossMargins(buffer, rows, columns, k, m_CollimatorA, m_CollimatorB);
}

void BlankCrossMargins(std::uint16_t* samples, int rows, int columns, int k, float a, float b) {
    if (samples == nullptr || rows < 1 || columns < 1)
        return;
    k = std::max(k, 0);
    ZeroRows(samples, columns, 0, std::min(k, rows));
    ZeroRows(samples, columns, std::max(rows - k, 0), rows);
    const int top = static_cast<int>(static_cast<float>(rows) * b);
    ZeroRows(samples, columns, 0, Clamp(top, 0, rows));
    const int bottom = static_cast<int>(static_cast<float>(rows) * a);
    ZeroRows(samples, columns, Clamp(rows - 1 - bottom, 0, rows), std::max(rows - 1, 0));
    for (int y = 0; y < rows; ++y) {
        std::uint16_t* row = samples + static_cast<std::ptrdiff_t>(y) * columns;
        std::fill(row, row + std::min(k, columns), std::uint16_t{0});
        std::fill(row + std::max(columns - k, 0), row + columns, std::uint16_t{0});
    }
}

void CrossView::ShowSlot(int slot) {
    ViewImage* image = m_Images.PrepareSlice(slot, m_Width, m_Height);  // made by ExtractCross
    if (image == nullptr)
        return;
    const std::uint16_t* raw = m_Raw[static_cast<std::size_t>(slot)].data();
    auto* filtered = reinterpret_cast<std::uint16_t*>(image->pixels);
    if (m_Filter)
        m_Filter(slot, raw, filtered, m_Width, m_Height);
    else
        std::memcpy(filtered, raw,
                    sizeof(std::uint16_t) * static_cast<std::size_t>(m_Width) *
                        static_cast<std::size_t>(m_Height));
    m_Images.UpdateBitmap(slot);
}

void CrossView::ComputeAllowedRange() {
    m_First = m_Last = kCentrePosition;
    if (!m_Settings.IsCrossAngleLimited) {
        m_First = 1;
        m_Last = kCrossPositions;
        return;
    }
    const double limit = m_Settings.CrossAngleLimit;
    const auto degreesAt = [this](int s) {
        return CurveDegrees(m_AngleTable[static_cast<std::size_t>(s - 1)]);
    };
    const double reference = degreesAt(kCentrePosition);
    const auto within = [&](int s) { return std::abs(degreesAt(s) - reference) <= limit; };
    int s = kCentrePosition;
    while (s >= 1 && within(s))
        --s;
    m_First = s >= 1 ? s + 1 : 2;
    s = kCentrePosition;
    while (s <= kCrossPositions && within(s))
        ++s;
    m_Last = s <= kCrossPositions ? s - 1 : kCrossPositions - 1;
}

int CrossView::NearestPosition(const Point& point) const {
    const Rect& display = m_Panoramic.display;
    const int column = static_cast<int>(static_cast<float>(point.x - display.left) /
                                        static_cast<float>(display.Width()) *
                                        static_cast<float>(m_Panoramic.imageWidth));
    double best = kFarAway;
    int nearest = 0;
    for (int s = 1; s <= kCrossPositions; ++s) {
        SliceInfo scratch;
        m_Volume->SliceInfo_Extract(s / 50.0, 0.0, &scratch);
        const double distance = std::abs(column - PanoramicIndex(scratch));
        if (distance < best) {
            best = distance;
            nearest = s;
        }
    }
    return nearest;
}

void CrossView::MoveCrosses(double delta, const Point* point) {
    if (m_Volume == nullptr || m_Volume->mIsNull())
        return;
    double target = m_Centre;
    if (delta == kDragMode) {
        delta = 0.0;
        if (point != nullptr) {
            if (m_Pane.Contains(point->x, point->y) && m_Pane.Width() > 0)
                delta = static_cast<double>(point->x - m_LastPoint.x) / m_Pane.Width();
            m_LastPoint = *point;
        }
        target = m_Centre + delta;
    } else if (delta == kPanoramicMode) {
        if (point == nullptr || m_Panoramic.lut == nullptr)
            return;
        const int nearest = NearestPosition(*point);
        if (nearest > 0)
            target = nearest / 50.0;
    } else {
        if (RangeValue() > 0.0)
            delta = -delta;
        if (delta != 0.0)
            target = m_Centre + delta;
    }

    const int lo = m_First + m_Count / 2;
    int hi = m_Last - m_Count / 2;
    if (hi < lo)
        hi = lo;
    int index = static_cast<int>(50.0 * target + 0.5);
    if (index < lo) {
        target = lo / 50.0;
        index = lo;
    } else if (index > hi) {
        target = hi / 50.0;
        index = hi;
    }
    const double limit =
        m_Settings.IsCrossAngleLimited ? static_cast<double>(m_Settings.CrossAngleLimit) : kNoLimit;
    if (index < 1 || index > kCrossPositions)
        return;
    const double turn = CurveDegrees(m_AngleTable[static_cast<std::size_t>(index - 1)]) -
                        CurveDegrees(m_AngleTable[kCentrePosition - 1]);
    if (std::abs(turn) > limit)
        return;

    target = std::clamp(target, static_cast<double>(kLowestTarget), 1.0);
    m_Centre = static_cast<int>(target * 50.0 + 0.5) / 50.0;
    for (int i = 0; i < m_Count; ++i) {
        SliceInfo& record = m_Records[static_cast<std::size_t>(i)];
        m_Volume->SliceInfo_Extract(PositionOfCross(i), m_Angle, &record);
        record.PanIndex = PanoramicIndex(record);
    }
    m_CentreIndex = index;
    UpdateCrossMarker();
}

void CrossView::SetCrossPosition(int index) {
    if (m_Volume == nullptr || m_Volume->mIsNull())
        return;
    m_Centre = index / 50.0;
    GenerateCrosses();
}

void CrossView::Step(int direction) {
    MoveCrosses(direction * m_Count / 50.0, nullptr);
    SetCrossPosition(static_cast<int>(m_Centre * 50.0 + 0.5));
}

void CrossView::SetCrossCount(int count, int rows) {
    m_Count = Clamp(count, 0, kCrossPositions);
    m_Rows = rows;
}

void CrossView::ToggleSelection(int position) {
    if (position >= 0 && position < kCrossPositions)
        m_Selected[static_cast<std::size_t>(position)] =
            !m_Selected[static_cast<std::size_t>(position)];
}

void CrossView::UpdateCrossMarker() {
    m_Span.reset();
    m_Marker.reset();
    const CLUTProjection* lut = m_Panoramic.lut;
    if (lut == nullptr || m_Count < 1)
        return;
    const int a = m_Records[0].PanIndex;
    const int b = m_Records[static_cast<std::size_t>(m_Count - 1)].PanIndex;
    if (a < 0 || b < 0)
        return;
    Span span;
    span.lowColumn = std::min(a, b);
    span.highColumn = std::max(a, b);
    const Rect& display = m_Panoramic.display;
    span.leftX = display.left + 1 + (display.Width() * span.lowColumn) / m_Panoramic.imageWidth;
    span.rightX = display.left + 2 + (display.Width() * span.highColumn) / m_Panoramic.imageWidth;
    m_Span = span;

    m_Marker = CurveMarker(m_Panoramic, span.lowColumn + lut->MarginLeft(),
                           span.highColumn + lut->MarginLeft());
}

std::optional<std::array<int, 2>> CrossView::AllowedRangeX() const {
    if (m_Panoramic.lut == nullptr || m_Volume == nullptr || m_Volume->mIsNull())
        return std::nullopt;
    std::array<int, 2> x{};
    const int indices[2] = {m_First, m_Last};
    const Rect& display = m_Panoramic.display;
    for (int e = 0; e < 2; ++e) {
        SliceInfo scratch;
        m_Volume->SliceInfo_Extract(indices[e] / 50.0, 0.0, &scratch);
        const int column = PanoramicIndex(scratch);
        if (column < 0)
            return std::nullopt;
        x[static_cast<std::size_t>(e)] =
            display.left + (display.Width() * column) / m_Panoramic.imageWidth;
    }
    return x;
}

}  // namespace zor::viewer
