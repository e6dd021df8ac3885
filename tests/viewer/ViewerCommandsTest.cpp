#include <gtest/gtest.h>

#include "support/UiRecorder.h"
#include "viewer/ViewerCommands.h"

using namespace zor;
using namespace zor::viewer;

TEST(ViewerStateModel, CrossCountsFillWholeRows) {
    struct Case {
        int requested, count, rows;
    };
    const Case cases[] = {{5, 5, 1},   {9, 9, 1},   {10, 10, 2}, {12, 12, 2},
                          {21, 21, 3}, {25, 27, 3}, {39, 39, 3}, {41, 44, 4},
                          {60, 48, 4}, {0, 1, 1},   {-7, 1, 1}};
    for (const auto& c : cases) {
        ViewerStateModel model;
        model.SetCrossCount(c.requested);
        EXPECT_EQ(model.CrossCount(), c.count) << c.requested;
        EXPECT_EQ(model.CrossGroupSize(), c.rows) << c.requested;
    }
}

TEST(ViewerCommands, ToolModesAreExclusiveWithTheirButtonAndCursor) {
    test::UiRecorder ui;
    ViewerCommands viewer(ui, ui, ui);
    const struct {
        CommandId command;
        ToolMode mode;
        CursorId cursor;
    } cases[] = {
        {CommandId::Zoom, ToolMode::Zoom, CursorId::Zoom},
        {CommandId::Brightness, ToolMode::Brightness, CursorId::Level},
        {CommandId::Contrast, ToolMode::Contrast, CursorId::Level},
        {CommandId::Gamma, ToolMode::Gamma, CursorId::Gamma},
    };
    for (const auto& c : cases) {
        viewer.OnCommand(c.command);
        EXPECT_EQ(viewer.Model().Mode(), c.mode);
        EXPECT_EQ(ui.MarkedTool, c.command);
        EXPECT_EQ(ui.Cursor, c.cursor);
    }
    // Unsharp and reset end the modes and reach the crosses' filters.
    struct Filters : ICrossFilters {
        void PreviewLevel(ToolMode, int, int, int) override {}
        void ApplyLevel(ToolMode, int, int, int) override {}
        void ToggleUnsharp() override { calls += "u"; }
        void ResetFilters() override { calls += "r"; }
        std::string calls;
    } filters;
    viewer.SetCrossFilters(&filters);
    for (CommandId ending : {CommandId::Scrolling, CommandId::Unsharp, CommandId::FiltersReset}) {
        viewer.OnCommand(CommandId::Gamma);
        viewer.OnCommand(ending);
        EXPECT_EQ(viewer.Model().Mode(), ToolMode::None);
        EXPECT_EQ(ui.MarkedTool, std::nullopt);
        EXPECT_EQ(ui.Cursor, CursorId::Arrow);
    }
    EXPECT_EQ(filters.calls, "ur");
}

// A zoom-mode drag on the panoramic enlarges it without moving the frame; a start in zoom mode
// is refused, and a start after it restores the layout around the unchanged frame.
TEST(ViewerCommands, TomosynthesisStartInAndAfterZoomMode) {
    test::UiRecorder ui;
    ViewerCommands viewer(ui, ui, ui);
    ViewerStateModel& model = viewer.Model();
    model.SetViewerArea({0, 0, 667, 700});
    model.SetPanoramic(1400, 1400, {.cropLeftPercent = 20, .cropRightPercent = 20});
    viewer.Mouse().ResetVolumeOfInterest();
    const VolumeOfInterest& frame = model.VolumeOfInterestFrame();
    const Rect onScreen = frame.ScreenRect();
    const Rect inPixels = frame.ImageRect();

    viewer.OnCommand(CommandId::Zoom);
    viewer.Mouse().OnButtonDown({200, 200}, kVolumeSelectionPhase);
    viewer.Mouse().OnMouseMove({120, 200}, true, kVolumeSelectionPhase);
    viewer.Mouse().OnButtonUp({120, 200}, kVolumeSelectionPhase);
    ASSERT_TRUE(model.PanoramicEnlarged());
    EXPECT_EQ(frame.ImageRect(), inPixels);
    EXPECT_NE(frame.ScreenRect(), onScreen) << "it moved with the picture";
    EXPECT_FALSE(viewer.PrepareStartTomosynthesis());
    EXPECT_EQ(ui.Info, "This is not zoom area.");
    EXPECT_EQ(ui.Timers[TimerId::InfoHide], 1000);
    EXPECT_TRUE(model.PanoramicEnlarged()) << "a refused start changes nothing";

    viewer.OnCommand(CommandId::Scrolling);
    EXPECT_TRUE(viewer.PrepareStartTomosynthesis());
    EXPECT_FALSE(model.PanoramicEnlarged());
    EXPECT_EQ(frame.ImageRect(), inPixels);
    EXPECT_EQ(frame.ScreenRect(), onScreen);
    EXPECT_FALSE(model.VolumeOfInterestPlaced()) << "zoom-mode clicks do not place it";
}
