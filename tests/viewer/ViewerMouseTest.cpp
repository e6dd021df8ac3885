#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/UiRecorder.h"
#include "viewer/ViewerMouse.h"

using namespace zor;
using namespace zor::viewer;

namespace {

/// Records what the mouse asks of the crosses, in order.
class CrossRecorder : public ICrossView, public ICrossFilters, public ICrossCountSetting {
public:
    double Centre() const override { return m_Centre; }
    void SetCentre(double centre) override { m_Centre = centre; }
    int FirstAllowed() const override { return First; }
    int LastAllowed() const override { return Last; }
    double RangeValue() const override { return Range; }
    void BeginDrag(Point p) override { Log("begin " + At(p)); }
    void MoveCrosses(double delta, const Point* p) override {
        Log("move " + std::to_string(static_cast<int>(delta)) + (p ? " " + At(*p) : ""));
        if (delta == -2.0)
            m_Centre = 0.618;  // between positions: index 31 after rounding
    }
    void SetCrossPosition(int index) override { Log("position " + std::to_string(index)); }
    void UpdateCrossMarker() override { Log("marker"); }
    void SetCrossCount(int n, int g) override { Log("count " + Pair(n, g)); }
    void GenerateCrosses() override { Log("generate"); }
    void ToggleSelection(int position) override { Log("select " + std::to_string(position)); }
    void PreviewLevel(ToolMode, int dx, int dy, int w) override {
        Log("preview " + At({dx, dy}) + " " + std::to_string(w));
    }
    void ApplyLevel(ToolMode, int dx, int dy, int w) override {
        Log("apply " + At({dx, dy}) + " " + std::to_string(w));
    }
    void ToggleUnsharp() override { Log("unsharp"); }
    void ResetFilters() override { Log("reset"); }
    void StoreSliceVisualNumber(int n) override { Stored = n; }

    std::vector<std::string> Calls;
    int First = 1, Last = 50, Stored = 0;
    double Range = 0.0;

private:
    void Log(const std::string& s) { Calls.push_back(s); }
    static std::string Pair(int a, int b) { return std::to_string(a) + "," + std::to_string(b); }
    static std::string At(Point p) { return Pair(p.x, p.y); }
    double m_Centre = 0.5;
};

constexpr int kSelection = kVolumeSelectionPhase;
constexpr int kNavigation = kVolumeNavigationPhase;

// V = (0, 0, 667, 700): P = (0, 0, 360, 350), cross pane (0, 350, 600, 670), W = 600. A 1400 x
// 1400 panoramic is drawn at (5, 0, 355, 350), s = 4 (edge reach t = 12, minimum height m = 150),
// usable columns 75..285, usable rows 35..350 with the Y axis movable, band-limit line y = 262.
class ViewerMouseTest : public ::testing::Test {
protected:
    ViewerMouseTest() {
        m_Model.SetViewerArea({0, 0, 667, 700});
        SetBands(0.1f);
        m_Mouse.SetPorts({&m_Crosses, &m_Crosses, &m_Crosses});
    }
    void SetBands(float bandTop, float bandBottom = 0.0f, bool yAxisMovable = true) {
        m_Model.SetPanoramic(1400, 1400, {20, 20, bandTop, bandBottom, 0.25f, yAxisMovable});
    }
    void Click(Point down, Point up) {
        m_Mouse.OnButtonDown(down, kNavigation);
        m_Mouse.OnButtonUp(up, kNavigation);
    }
    void Drag(Point from, Point to, int phase) {
        m_Mouse.OnButtonDown(from, phase);
        m_Mouse.OnMouseMove(to, true, phase);
        m_Mouse.OnButtonUp(to, phase);
    }
    const Rect& Frame() const { return m_Model.VolumeOfInterestFrame().ScreenRect(); }

    ViewerStateModel m_Model;
    test::UiRecorder m_Window;
    CrossRecorder m_Crosses;
    ViewerMouse m_Mouse{m_Model, m_Window};
};

TEST_F(ViewerMouseTest, InitialFrameAndAutomaticPlacement) {
    m_Mouse.ResetVolumeOfInterest();
    EXPECT_EQ(Frame(), (Rect{155, 35, 205, 350})) << "0.14 x P's 360 px, centred on 75..285";
    EXPECT_EQ(m_Model.VolumeOfInterestFrame().ImageRect(), (Rect{600, 140, 800, 1400}));
    EXPECT_EQ(m_Model.VolumeOfInterestFrame().HandleMask(), 0xE7u) << "no side-middle handles";

    EXPECT_FALSE(m_Model.VolumeOfInterestPlaced());
    m_Mouse.PlaceVolumeOfInterest();
    EXPECT_TRUE(m_Model.VolumeOfInterestPlaced());
    EXPECT_EQ(Frame(), (Rect{155, 35, 205, 350}));

    SetBands(0.1f, 0.0f, false);
    m_Mouse.ResetVolumeOfInterest();
    EXPECT_EQ(Frame(), (Rect{155, 0, 205, 350})) << "a fixed Y axis: the whole image height";
    EXPECT_EQ(m_Model.VolumeOfInterestFrame().HandleMask(), 0u);
}

TEST_F(ViewerMouseTest, FrameFollowsThePointerWithinTheUsableRectangle) {
    m_Mouse.ResetVolumeOfInterest();
    Drag({180, 200}, {-50, 200}, kSelection);
    EXPECT_EQ(Frame(), (Rect{75, 35, 125, 350}));
    EXPECT_EQ(m_Model.VolumeOfInterestFrame().ImageRect().left, 280);
    Drag({100, 200}, {1000, 200}, kSelection);
    EXPECT_EQ(Frame(), (Rect{235, 35, 285, 350}));
    EXPECT_EQ(m_Window.Cursor, CursorId::Arrow) << "outside the panoramic";
}

TEST_F(ViewerMouseTest, FrameHeightEditingWithTheYAxisMovable) {
    auto& frame = m_Model.VolumeOfInterestFrame();
    m_Mouse.ResetVolumeOfInterest();
    Drag({180, 40}, {180, 200}, kSelection);
    EXPECT_EQ(Frame().top, 35) << "150 px high is not more than m";
    Drag({180, 40}, {180, 199}, kSelection);
    EXPECT_EQ(Frame().top, 199);
    Drag({180, 345}, {180, 340}, kSelection);
    EXPECT_EQ(Frame().bottom, 350) << "the bottom may not leave m or fewer either";

    m_Mouse.OnDoubleClick({180, 100}, kSelection);
    EXPECT_EQ(Frame(), (Rect{155, 35, 205, 350}));
    Drag({180, 345}, {180, 262}, kSelection);
    EXPECT_EQ(Frame().bottom, 350) << "not below the band-limit line";
    Drag({180, 345}, {180, 300}, kSelection);
    EXPECT_EQ(Frame().bottom, 300);
    Drag({180, 300}, {180, 450}, kSelection);
    EXPECT_EQ(Frame().bottom, 300) << "100 px below the usable bottom is too far";
    Drag({180, 300}, {180, 449}, kSelection);
    EXPECT_EQ(Frame().bottom, 350) << "snapped to the usable bottom";

    // Without a grabbed edge the frame is centred on the pointer, its bottom kept in the lower
    // band.
    Drag({180, 40}, {180, 199}, kSelection);
    Drag({180, 270}, {180, 50}, kSelection);
    EXPECT_EQ(Frame(), (Rect{155, 112, 205, 263}));

    // Top and bottom both within reach of a thin frame: the top edge is taken.
    SetBands(0.5f, 0.45f);
    frame.Reset();
    SetBands(0.1f);
    ASSERT_EQ(Frame(), (Rect{155, 175, 205, 193}));
    Drag({180, 184}, {180, 40}, kSelection);
    EXPECT_EQ(Frame(), (Rect{155, 40, 205, 193}));
}

TEST_F(ViewerMouseTest, ClicksOnCrossesAndPanoramic) {
    Click({100, 400}, {103, 404});  // 5 px of a 600 px pane
    Click({100, 400}, {106, 400});  // 0.01 W is a drag: the crosses are extracted
    m_Model.SetCrossCount(12);
    Click({250, 520}, {250, 520});  // row 1, column 2 of 2 x 6
    m_Crosses.Range = 1.0;
    Click({250, 520}, {250, 520});
    Click({200, 200}, {200, 200});  // the panoramic
    const std::vector<std::string> expected{"begin 100,400",   "select 22",     "begin 100,400",
                                            "position 25",     "begin 250,520", "select 26",
                                            "begin 250,520",   "select 21",     "begin 200,200",
                                            "move -2 200,200", "position 31",   "marker"};
    EXPECT_EQ(m_Crosses.Calls, expected);

    m_Crosses.Calls.clear();
    m_Model.SetMode(ToolMode::Zoom);
    Click({200, 200}, {200, 200});
    EXPECT_TRUE(m_Model.PanoramicEnlarged());
    Click({200, 200}, {200, 200});
    EXPECT_FALSE(m_Model.PanoramicEnlarged());
    EXPECT_EQ(m_Crosses.Calls, (std::vector<std::string>(2, "begin 200,200")))
        << "the crosses did not move";
    Click({500, 500}, {500, 500});
    EXPECT_TRUE(m_Model.CrossesOverPanoramic());
}

TEST_F(ViewerMouseTest, ZoomDragsChangeTheNumberOfCrosses) {
    m_Model.SetMode(ToolMode::Zoom);
    // Each 12 px of the 600 px pane is one cross (0.1 W is 5); a half step keeps the counts
    // clear of rounding.
    const struct {
        int from, dx, first, last, to, rows;
    } cases[] = {{5, 60, 1, 50, 10, 2},   {5, 102, 1, 50, 14, 2}, {5, 438, 1, 50, 44, 4},
                 {5, 510, 1, 50, 48, 4},  {5, 210, 1, 50, 24, 3}, {44, 126, 2, 49, 48, 4},
                 {5, 246, 11, 20, 10, 2}, {12, -66, 1, 50, 7, 1}, {5, -126, 1, 50, 1, 1}};
    for (const auto& c : cases) {
        m_Model.SetCrossCount(c.from);
        m_Crosses.First = c.first;
        m_Crosses.Last = c.last;
        m_Crosses.Calls.clear();
        Drag({200, 500}, {200 + c.dx, 500}, kNavigation);
        EXPECT_EQ(m_Model.CrossCount(), c.to) << c.from << " by " << c.dx << " px";
        EXPECT_EQ(m_Model.CrossGroupSize(), c.rows);
        EXPECT_EQ(m_Crosses.Stored, c.to);
        const std::vector<std::string> tail{
            "count " + std::to_string(c.to) + "," + std::to_string(c.rows), "move 0", "generate"};
        EXPECT_EQ(std::vector<std::string>(m_Crosses.Calls.end() - 3, m_Crosses.Calls.end()), tail);
    }
}

TEST_F(ViewerMouseTest, DragsMoveCrossesAndAdjustLevels) {
    m_Mouse.OnButtonDown({100, 400}, kNavigation);
    m_Mouse.OnMouseMove({130, 410}, true, kNavigation);
    EXPECT_EQ(m_Window.Cursor, CursorId::Band);
    m_Mouse.OnMouseMove({200, 100}, true, kNavigation);
    m_Mouse.OnButtonUp({380, 100}, kNavigation);
    m_Model.SetMode(ToolMode::Brightness);
    m_Mouse.OnButtonDown({100, 400}, kNavigation);
    EXPECT_EQ(m_Window.Cursor, CursorId::Level);
    m_Mouse.OnMouseMove({160, 390}, true, kNavigation);
    m_Mouse.OnButtonUp({170, 380}, kNavigation);
    const std::vector<std::string> expected{
        "begin 100,400", "move -1 130,410",    "move -2 200,100", "position 31",
        "begin 100,400", "preview 60,-10 600", "apply 70,-20 600"};
    EXPECT_EQ(m_Crosses.Calls, expected);
}

TEST_F(ViewerMouseTest, CursorsFollowPhaseModeAndPlace) {
    const struct {
        int phase;
        ToolMode mode;
        Point at;
        CursorId cursor;
    } cases[] = {
        {kSelection, ToolMode::None, {100, 100}, CursorId::Band},
        {kSelection, ToolMode::Zoom, {20, 100}, CursorId::Zoom},
        {kSelection, ToolMode::None, {20, 100}, CursorId::Arrow},
        {kNavigation, ToolMode::Zoom, {100, 100}, CursorId::Band},
        {kNavigation, ToolMode::None, {100, 500}, CursorId::Band},
        {kNavigation, ToolMode::Zoom, {100, 500}, CursorId::Zoom},
        {kNavigation, ToolMode::Contrast, {100, 500}, CursorId::Level},
        {kNavigation, ToolMode::Gamma, {100, 500}, CursorId::Gamma},
        {kNavigation, ToolMode::Gamma, {640, 500}, CursorId::Arrow},
        {1, ToolMode::Zoom, {100, 500}, CursorId::Arrow},
    };
    for (const auto& c : cases) {
        m_Model.SetMode(c.mode);
        m_Window.Cursor = CursorId::Edge;
        m_Mouse.OnMouseMove(c.at, false, c.phase);
        EXPECT_EQ(m_Window.Cursor, c.cursor) << c.phase << " at " << c.at.x << "," << c.at.y;
    }
    m_Model.SetMode(ToolMode::None);
    m_Mouse.ResetVolumeOfInterest();
    m_Mouse.OnButtonDown({180, 24}, kSelection);
    EXPECT_EQ(m_Window.Cursor, CursorId::Edge) << "within reach of the frame's top edge";
}

}  // namespace
