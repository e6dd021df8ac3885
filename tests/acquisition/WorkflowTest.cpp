// The workflow driven synchronously on the phantom's demo data: commands, messages and timers in,
// the recorded windows, button column and log out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "acquisition/DeviceLink.h"
#include "acquisition/Workflow.h"
#include "phantom/DemoData.h"
#include "support/TempDir.h"
#include "support/UiRecorder.h"
#include "viewer/ViewerCommands.h"

namespace zor::acquisition {
namespace {

/// Records what the workflow tells the device.
struct RecordingLink : IDeviceLink {
    bool AbortAllowed() override { return true; }
    bool SetVolumeSelection(bool on) override {
        VolumeSelection.push_back(on);
        return true;
    }
    bool IsConnected() const override { return true; }
    std::vector<bool> VolumeSelection;
};

class WorkflowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Install = new test::TempDir("zor-workflow");
        std::string error;
        ASSERT_TRUE(phantom::WriteDemoData(s_Install->Slash(), &error)) << error;
    }
    static void TearDownTestSuite() {
        std::filesystem::remove(s_Install->Path() / "work" / "cur_pano.tif");
        delete s_Install;
    }

    void SetUp() override {
        WorkflowSettings settings;
        settings.Images.m_InstallDir = s_Install->Path().string();
        m_Workflow = std::make_unique<Workflow>(
            WorkflowPorts{m_Ui, m_Ui, m_Ui, m_Ui, m_Ui, m_Viewer, &m_Link}, settings);
        m_Workflow->EnterWorkflowStep(1, true, true);
    }
    void TearDown() override {
        std::filesystem::remove(s_Install->Path() / "work" / "cur_pano.tif");
    }
    std::string Work(const char* name) const {
        return (s_Install->Path() / "work" / name).string();
    }

    static test::TempDir* s_Install;
    test::UiRecorder m_Ui;
    RecordingLink m_Link;
    viewer::ViewerCommands m_Viewer{m_Ui, m_Ui, m_Ui};
    std::unique_ptr<Workflow> m_Workflow;
};

test::TempDir* WorkflowTest::s_Install = nullptr;

TEST_F(WorkflowTest, PhantomPanoramicThenBackThenExit) {
    ASSERT_EQ(m_Ui.ColumnPhase, 1);
    m_Workflow->LoadPhantomPanoramic();
    ASSERT_EQ(m_Workflow->WorkflowPhase(), 2) << (m_Ui.Step ? m_Ui.Step->Lines[0] : "");
    EXPECT_TRUE(m_Ui.Log.empty()) << "the template loads with its LUT without a message";
    EXPECT_TRUE(m_Workflow->TemplateMode());
    EXPECT_EQ(m_Ui.ColumnPhase, 2);
    EXPECT_EQ(m_Ui.Timers[TimerId::SelectionSteps], 2000);
    EXPECT_FALSE(m_Ui.WaitCursor);

    // The panoramic is shown; its frame waits for the window's first layout, then is placed
    // in the middle of the usable columns.
    ASSERT_FALSE(m_Viewer.PanoramicBitmap().Empty());
    EXPECT_FALSE(m_Viewer.Model().VolumeOfInterestPlaced());
    m_Viewer.SetViewerArea({0, 0, 1297, 691});
    EXPECT_TRUE(m_Viewer.Model().VolumeOfInterestPlaced());
    const viewer::Rect usable = m_Viewer.Model().Panoramic().usable;
    const viewer::Rect frame = m_Viewer.Model().VolumeOfInterestFrame().ScreenRect();
    EXPECT_GT(frame.left, usable.left);
    EXPECT_LT(frame.right, usable.right);
    EXPECT_LE(std::abs((frame.left + frame.right) - (usable.left + usable.right)), 1);

    m_Viewer.OnCommand(CommandId::Zoom);
    m_Viewer.Model().SetCrossesOverPanoramic(true);
    m_Workflow->BackOrExit();
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_FALSE(m_Workflow->TemplateMode());
    EXPECT_EQ(m_Ui.ColumnPhase, 1);
    EXPECT_EQ(m_Viewer.Model().Mode(), viewer::ToolMode::None);
    EXPECT_EQ(m_Ui.MarkedTool, std::nullopt);
    EXPECT_FALSE(m_Viewer.Model().CrossesOverPanoramic());
    EXPECT_TRUE(m_Viewer.PanoramicBitmap().Empty());
    EXPECT_FALSE(m_Ui.Closed);

    m_Workflow->BackOrExit();
    EXPECT_TRUE(m_Ui.Closed) << "back in phase 1 is exit";
    // The device hears when volume selection begins and ends.
    EXPECT_EQ(m_Link.VolumeSelection, (std::vector<bool>{false, false, true, false}));
}

TEST_F(WorkflowTest, CallersPanoramicAndItsPatientAreForgottenOnBack) {
    CallerState& caller = m_Workflow->Caller();
    // Both size classes of the phantom load with their own LUT, and are archived.
    for (const char* name : {"phantom_pano.tif", "phantom_pano_child.tif"}) {
        std::filesystem::remove(Work("pano_archive.tif"));
        caller.PatientName = "Anna Rossi";
        caller.PanoramicPath = Work(name);
        caller.CallerPanoramicMode = true;
        m_Workflow->OpenCallerPanoramic();
        ASSERT_EQ(m_Workflow->WorkflowPhase(), 2) << name;
        EXPECT_TRUE(m_Ui.Log.empty()) << name << ": " << m_Ui.Log.front();
        EXPECT_EQ(m_Ui.ColumnPhase, 2) << "the column follows a forwarded panoramic";
        EXPECT_TRUE(std::filesystem::exists(Work("pano_archive.tif"))) << name;

        m_Workflow->BackOrExit();
        EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
        EXPECT_EQ(caller.PatientName, "");
        EXPECT_FALSE(caller.CallerPanoramicMode);
        EXPECT_EQ(m_Ui.Title, "DTS");
    }

    // A caller's file that does not load leaves phase 1 and its column.
    caller.PanoramicPath = Work("missing.tif");
    caller.CallerPanoramicMode = true;
    m_Workflow->OpenCallerPanoramic();
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_EQ(m_Ui.ColumnPhase, 1);
    EXPECT_FALSE(m_Ui.WaitCursor);

    // Given at start-up, the caller's panoramic opens at the first poll of the panoramic step.
    WorkflowSettings settings;
    settings.Images.m_InstallDir = s_Install->Path().string();
    Workflow started(WorkflowPorts{m_Ui, m_Ui, m_Ui, m_Ui, m_Ui, m_Viewer}, settings);
    started.Caller().PanoramicPath = Work("phantom_pano.tif");
    started.Caller().CallerPanoramicMode = true;
    started.EnterWorkflowStep(1, true, true);
    EXPECT_EQ(started.WorkflowPhase(), 2);
    started.BackOrExit();
    started.EnterWorkflowStep(1, true, true);
    EXPECT_EQ(started.WorkflowPhase(), 1) << "only the first poll opens it";
}

TEST_F(WorkflowTest, NewPanoramicMessages) {
    m_Workflow->OnNewPanoramic(false);
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_FALSE(m_Ui.LastPanoramicButton);
    EXPECT_TRUE(m_Ui.Log.empty());

    std::filesystem::copy_file(Work("phantom_pano.tif"), Work("cur_pano.tif"));
    m_Workflow->OnNewPanoramic(true);
    EXPECT_EQ(m_Ui.Log.at(0), "New panoramic image acquired");
    ASSERT_EQ(m_Workflow->WorkflowPhase(), 2);

    m_Workflow->OnNewPanoramic(true);
    EXPECT_EQ(m_Ui.Log.back(), "The working panoramic image is changed");
    EXPECT_EQ(m_Ui.StatusLevel, 2);
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_EQ(m_Ui.ColumnPhase, 1);
    EXPECT_TRUE(m_Ui.LastPanoramicButton) << "the acquired panoramic stays available";
}

TEST_F(WorkflowTest, ErrorWithRestartShowsPhaseOneAndHidesAfterItsTimer) {
    m_Workflow->LoadPhantomPanoramic();
    ASSERT_EQ(m_Ui.ColumnPhase, 2);
    m_Workflow->ShowWorkflowError("TITLE", "what went wrong", true);
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_EQ(m_Ui.ColumnPhase, 1);
    ASSERT_TRUE(m_Ui.Step);
    EXPECT_EQ(m_Ui.Step->Title, "TITLE");
    EXPECT_EQ(m_Ui.Step->Lines[0], "what went wrong");
    EXPECT_EQ(std::filesystem::path(m_Ui.Step->Bitmaps[0]).filename(), "Error.bmp");
    EXPECT_EQ(m_Ui.Log.back(), "what went wrong  ");
    EXPECT_EQ(m_Ui.StatusLevel, 0);
    EXPECT_EQ(m_Ui.Timers[TimerId::StepHide], 5000);

    m_Workflow->OnTimer(TimerId::StepHide);
    EXPECT_FALSE(m_Ui.Step);
    EXPECT_FALSE(m_Ui.TimerRuns(TimerId::StepHide));
}

TEST_F(WorkflowTest, ReconstructionEndIsIgnoredOutsideVolumeComputation) {
    for (bool phantom : {false, true}) {
        if (phantom)
            m_Workflow->LoadPhantomPanoramic();
        const int phase = m_Workflow->WorkflowPhase();
        m_Workflow->OnReconstructionEnded(false);
        m_Workflow->OnReconstructionEnded(true);
        EXPECT_EQ(m_Workflow->WorkflowPhase(), phase);
        EXPECT_FALSE(m_Ui.Step) << "no error shown in phase " << phase;
    }
}

TEST_F(WorkflowTest, StartInZoomModeIsRefusedAndSelectionTimerStopsOutsidePhaseTwo) {
    m_Workflow->LoadPhantomPanoramic();
    m_Viewer.OnCommand(CommandId::Zoom);
    m_Workflow->StartTomosynthesis();
    EXPECT_EQ(m_Ui.Info, "This is not zoom area.");
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 2);

    m_Workflow->OnTimer(TimerId::SelectionSteps);
    EXPECT_TRUE(m_Ui.TimerRuns(TimerId::SelectionSteps)) << "phase 2 keeps its instructions";
    m_Workflow->BackOrExit();
    m_Workflow->OnTimer(TimerId::SelectionSteps);
    EXPECT_FALSE(m_Ui.TimerRuns(TimerId::SelectionSteps));
}

}  // namespace
}  // namespace zor::acquisition
