// The workflow driven synchronously on the phantom's demo data against a scripted device:
// commands, messages, timers and driver answers in; the recorded windows, log, timers, button
// column and work files out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <tuple>

#include "acquisition/DeviceLink.h"
#include "acquisition/DriverStatus.h"
#include "acquisition/Workflow.h"
#include "phantom/DemoData.h"
#include "platform/NamedObject.h"
#include "platform/Parser.h"
#include "support/TempDir.h"
#include "support/UiRecorder.h"
#include "viewer/ViewerCommands.h"

namespace zor::acquisition {
namespace {

namespace fs = std::filesystem;
using namespace platform;

/// Records what the workflow tells the device.
struct RecordingLink : IDeviceLink {
    bool AbortAllowed() override { return Permission; }
    bool SetVolumeSelection(bool on) override {
        VolumeSelection.push_back(on);
        return true;
    }
    bool IsConnected() const override { return true; }
    bool Permission = true;
    std::vector<bool> VolumeSelection;
};

/// The driver program's status channel as a table of replies.
struct ScriptedDriver : IDriverStatus {
    bool Find() override { return Running; }
    std::optional<int32_t> Query(int32_t code) override {
        if (!Running)
            return std::nullopt;
        Queries.push_back(code);
        return Replies[code];
    }
    bool Running = true;
    std::map<int32_t, int32_t> Replies{{kQueryState, kNeedsReset},
                                       {kQueryLock, 1},
                                       {kQuerySizeClass, 31},
                                       {kQueryKv, 70},
                                       {kQueryMa, 8},
                                       {kQueryYAxisMovable, 0}};
    std::vector<int32_t> Queries;
};

class WorkflowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Install = new test::TempDir("zor-workflow");
        std::string error;
        ASSERT_TRUE(phantom::WriteDemoData(s_Install->Slash(), &error)) << error;
    }
    static void TearDownTestSuite() { delete s_Install; }

    void SetUp() override {
        // Each test starts from the demo's work folder: only the phantom files in it.
        for (const auto& entry : fs::directory_iterator(s_Install->Path())) {
            if (entry.is_directory() && entry.path().filename().string().rfind("work_", 0) == 0)
                fs::remove_all(entry.path());
        }
        for (const char* name : {"cur_pano.tif", "pano.tif", "ConeBeam.tra", "ConeBeamSent.tra",
                                 "Param.txt", "ParamSent.txt"})
            fs::remove(Work(name));
        m_Workflow = Make(&m_Driver);
    }
    std::unique_ptr<Workflow> Make(IDriverStatus* driver, bool enter = true) {
        WorkflowSettings settings;
        settings.Images.m_InstallDir = s_Install->Path().string();
        WorkflowPorts ports{m_Ui, m_Ui, m_Ui, m_Ui, m_Ui, m_Viewer, &m_Link};
        ports.Driver = driver;
        ports.NameWaitingWindow = m_NameWaitingWindow;
        ports.Launch = [this](const fs::path& file, const std::string& params, const fs::path&) {
            m_Launches.push_back(file.filename().string() + params);
            return m_LaunchResult;
        };
        ports.Pause = [](std::chrono::milliseconds) {};
        auto workflow = std::make_unique<Workflow>(ports, settings);
        if (enter)
            workflow->EnterWorkflowStep(1, true, true);
        return workflow;
    }
    std::string Work(const char* name) const {
        return (s_Install->Path() / "work" / name).string();
    }
    std::string Line(size_t i) const { return m_Ui.Step ? m_Ui.Step->Lines.at(i) : "<no step>"; }
    std::string Title() const { return m_Ui.Step ? m_Ui.Step->Title : "<no step>"; }
    std::string Bitmap(size_t i) const {
        return m_Ui.Step ? fs::path(m_Ui.Step->Bitmaps.at(i)).filename().string() : "";
    }
    /// The template panoramic in phase 2 with its frame placed, the device positioned.
    void SelectOnTemplate() {
        m_Driver.Replies[kQueryState] = kPatientPositioned;
        m_Workflow->LoadPhantomPanoramic();
        m_Viewer.SetViewerArea({0, 0, 1297, 691});
        ASSERT_EQ(m_Workflow->WorkflowPhase(), 2);
    }
    bool Answer(const std::string& line) {
        CInputParser answer(line);
        answer.Parse();
        return m_Workflow->ProcessDriverAnswer(answer);
    }

    static test::TempDir* s_Install;
    test::UiRecorder m_Ui;
    RecordingLink m_Link;
    ScriptedDriver m_Driver;
    viewer::ViewerCommands m_Viewer{m_Ui, m_Ui, m_Ui};
    std::vector<std::string> m_Launches;
    int m_LaunchResult = 42;
    bool m_NameWaitingWindow = false;
    std::unique_ptr<Workflow> m_Workflow;
};

test::TempDir* WorkflowTest::s_Install = nullptr;

TEST_F(WorkflowTest, PollAsksInOrderAndRedrawsOnlyOnAChange) {
    // Start-up: the configuration, then the status queries, in the driver's expected order.
    EXPECT_EQ(m_Driver.Queries, (std::vector<int32_t>{21, 22, 24, 18, 2, 25, 8, 6, 5, 9, 3}));
    EXPECT_EQ(Title(), "PANORAMIC IMAGE ACQUISITION STEP\nPlease, follow the instructions below:");
    EXPECT_EQ(Line(0), "1) Reset device");
    EXPECT_EQ(Line(3), "4) Push X-rays button to acquire image");
    EXPECT_EQ(Bitmap(2), "ExamType.bmp");
    EXPECT_TRUE(m_Ui.TimerRuns(TimerId::ExposureWatch)) << "ready: waiting for the exposure";
    EXPECT_TRUE(m_Ui.Log.empty()) << "instructions are not logged";

    // The same state again shows nothing; a change redraws.
    m_Ui.HideStep();
    m_Workflow->OnTimer(TimerId::ExposureWatch);
    EXPECT_FALSE(m_Ui.Step);
    m_Driver.Replies[kQueryState] = kNeedsPatient;
    m_Workflow->OnTimer(TimerId::ExposureWatch);
    EXPECT_EQ(Line(0), "1) Place the patient and close the headrest");
    EXPECT_EQ(Line(2), "3) Push X-rays button to acquire image");

    // State 0 is never taken for "unchanged".
    m_Driver.Replies[kQueryState] = kNotConnected;
    for (int i = 0; i < 2; ++i) {
        m_Ui.HideStep();
        EXPECT_EQ(m_Workflow->PollDeviceState(false, true, true, false, true), 1);
        EXPECT_EQ(Line(0), "pcdriver not connected");
        EXPECT_EQ(Bitmap(0), "Error.bmp");
    }

    // The exposure starts: the windows go and the start is logged.
    m_Driver.Replies[kQueryState] = kAcquiring;
    m_Workflow->OnTimer(TimerId::ExposureWatch);
    EXPECT_FALSE(m_Ui.TimerRuns(TimerId::ExposureWatch));
    EXPECT_FALSE(m_Ui.Step);
    EXPECT_EQ(m_Ui.Log.back(), "acquisition started");
}

TEST_F(WorkflowTest, InstructionsFollowTheModeAndTheSizeClassesOnlySixToThirtyOneAccepted) {
    // Positioned device: one unnumbered line for the tomosynthesis size class, two for 6.
    m_Driver.Replies[kQueryState] = kPatientPositioned;
    m_Workflow->PollDeviceState(false, true, true, true, true);
    EXPECT_EQ(Line(0), "Push X-rays button to acquire image");
    EXPECT_EQ(Line(1), "");
    m_Driver.Replies[kQuerySizeClass] = 6;
    m_Workflow->PollDeviceState(false, true, true, true, true);
    EXPECT_EQ(Line(0), "1) Select a panoramic group exam");
    EXPECT_EQ(Line(1), "2) Push X-rays button to acquire image");
    m_Workflow->PollDeviceState(true, true, true, true, true);
    EXPECT_EQ(Line(0), "Push X-rays button to acquire image") << "projection mode";

    // Projection mode at the reset: three numbered lines, no exam selection.
    m_Driver.Replies[kQueryState] = kNeedsReset;
    m_Workflow->PollDeviceState(true, true, true, true, true);
    EXPECT_EQ(Title(),
              "TOMOSYNTHESIS PROJECTIONS ACQUISITION STEP\nPlease, follow the instructions below:");
    EXPECT_EQ(Line(2), "3) Push X-rays button to acquire image");
    EXPECT_EQ(Line(3), "");
    EXPECT_EQ(Bitmap(3), "");

    // In template mode the device's size class counts; outside 6..31 it is stored as 31.
    m_Workflow->LoadPhantomPanoramic();
    ASSERT_TRUE(m_Workflow->TemplateMode());
    for (const auto& [reply, accepted] :
         std::vector<std::pair<int32_t, bool>>{{6, true}, {31, true}, {40, true}, {7, false}}) {
        m_Driver.Replies[kQuerySizeClass] = reply;
        const int result = m_Workflow->PollDeviceState(false, true, true, true, true);
        EXPECT_EQ(result != 1, accepted) << reply;
    }
    EXPECT_EQ(Title(), "PANORAMIC IMAGE ACQUISITION ERROR");
    EXPECT_EQ(Line(0), "Incompatible patient size [7]");
}

TEST_F(WorkflowTest, NotReadyDevicesShowTheirReasonOnceAndKeepPolling) {
    const std::tuple<int32_t, int32_t, std::string> cases[] = {
        {kQueryState, kSetup, "device is in setup state"},
        {kQueryState, kDummyRun, "device is performing dummy run"},
        {kQueryState, kAlarm, "device is in alarm state"},
        {kQueryState, kService, "device is in service state"},
        {kQueryState, kUpdate, "device is in update state"},
        {kQueryErrorNumber, 17, "device is in error n. 17"},
        {kQueryLock, 0, "pcdriver has not lock"},
    };
    for (const auto& [code, reply, text] : cases) {
        ScriptedDriver driver;
        driver.Replies[code] = reply;
        m_Ui.Timers.clear();
        m_Ui.Log.clear();
        auto workflow = Make(&driver);
        EXPECT_EQ(Title(), "PANORAMIC IMAGE ACQUISITION ERROR") << text;
        EXPECT_EQ(Line(0), text);
        EXPECT_EQ(m_Ui.Log.back(), text + "  ") << "errors are logged";
        EXPECT_EQ(m_Ui.Timers[TimerId::DevicePoll], 2000);
        EXPECT_EQ(m_Ui.Timers[TimerId::StepHide], 5000);
        EXPECT_FALSE(workflow->WaitingForPanoramic());
    }

    // Without the driver program the phase's own title says so; polling goes on.
    m_Ui.Timers.clear();
    auto absent = Make(nullptr);
    EXPECT_EQ(Line(0), "xray panoramic PC Driver was not started");
    EXPECT_TRUE(m_Ui.TimerRuns(TimerId::DevicePoll));
    EXPECT_EQ(absent->PollDeviceState(true, true, true, false, true), 1);
    EXPECT_EQ(Title(), "TOMOSYNTHESIS PROJECTIONS ACQUISITION ERROR");

    // Timer 3 shows errors on its first tick only; once ready it waits for the exposure.
    ScriptedDriver later;
    later.Running = false;
    auto waiting = Make(&later);
    m_Ui.HideStep();
    later.Running = true;
    later.Replies[kQueryState] = kSetup;
    waiting->OnTimer(TimerId::DevicePoll);
    EXPECT_EQ(Line(0), "device is in setup state");
    m_Ui.HideStep();
    later.Replies[kQueryState] = kAlarm;
    waiting->OnTimer(TimerId::DevicePoll);
    EXPECT_FALSE(m_Ui.Step) << "later ticks poll silently";
    later.Replies[kQueryState] = kNeedsReset;
    waiting->OnTimer(TimerId::DevicePoll);
    EXPECT_FALSE(m_Ui.TimerRuns(TimerId::DevicePoll));
    EXPECT_TRUE(m_Ui.TimerRuns(TimerId::ExposureWatch));
}

TEST_F(WorkflowTest, WaitingWindowExistsOnlyWhileAnExposureIsAwaited) {
    ::setenv("ZOR_SESSION", ("workflow-" + std::to_string(::getpid())).c_str(), 1);
    m_NameWaitingWindow = true;
    auto named = Make(&m_Driver);
    EXPECT_TRUE(NamedObjectExists("3DTS_waiting_for_pano"));
    named->EnterWorkflowStep(1, true, true);
    EXPECT_TRUE(NamedObjectExists("3DTS_waiting_for_pano")) << "made anew, never twice";
    named->LoadPhantomPanoramic();
    EXPECT_FALSE(NamedObjectExists("3DTS_waiting_for_pano"));
    ::unsetenv("ZOR_SESSION");
}

TEST_F(WorkflowTest, VolumeSelectionFollowsTheDevice) {
    m_Workflow->LoadPhantomPanoramic();
    EXPECT_EQ(Title(),
              "TOMOSYNTHESIS VOLUME SELECTION STEP\nPlease, follow the instructions below:");
    EXPECT_EQ(Line(3), "4) Push the tomosynthesis button on the screen");
    EXPECT_EQ(Bitmap(2), "TomoVolume.bmp");
    EXPECT_EQ(m_Ui.Timers[TimerId::SelectionSteps], 2000);

    // An incompatible size class: the error number first, then the patient size.
    m_Driver.Replies[kQuerySizeClass] = 5;
    m_Driver.Replies[kQueryPatientSizeIncompatible] = 1;
    m_Driver.Replies[kQueryState] = kNeedsPatient;
    m_Workflow->OnTimer(TimerId::SelectionSteps);
    EXPECT_EQ(Line(0), "Incompatible patient size [5]");
    m_Driver.Replies[kQueryErrorNumber] = 4;
    m_Workflow->ShowVolumeSelectionStep(true);
    EXPECT_EQ(Line(0), "device is in error n. 4");
    m_Driver.Replies[kQueryErrorNumber] = 0;
    m_Driver.Replies[kQueryPatientSizeIncompatible] = 0;
    m_Workflow->ShowVolumeSelectionStep(true);
    EXPECT_EQ(Line(0), "xray panoramic PC Driver: incompatible state");

    // An acquired panoramic needs only the selection and the start.
    m_Driver.Replies[kQuerySizeClass] = 31;
    m_Workflow->BackOrExit();
    fs::copy_file(Work("phantom_pano.tif"), Work("cur_pano.tif"));
    m_Workflow->OnNewPanoramic(true);
    ASSERT_EQ(m_Workflow->WorkflowPhase(), 2);
    EXPECT_EQ(Line(0), "1) Select the tomosynthesis volume by clicking on the panoramic image");
    EXPECT_EQ(Line(2), "");
}

TEST_F(WorkflowTest, PhantomPanoramicThenBackThenExit) {
    m_Workflow->LoadPhantomPanoramic();
    ASSERT_EQ(m_Workflow->WorkflowPhase(), 2);
    EXPECT_TRUE(m_Ui.Log.empty()) << "the template loads with its LUT without a message";
    EXPECT_EQ(m_Ui.ColumnPhase, 2);
    EXPECT_FALSE(m_Ui.WaitCursor);

    // The frame waits for the window's first layout, then is centred on the usable columns.
    EXPECT_FALSE(m_Viewer.Model().VolumeOfInterestPlaced());
    m_Viewer.SetViewerArea({0, 0, 1297, 691});
    EXPECT_TRUE(m_Viewer.Model().VolumeOfInterestPlaced());
    const viewer::Rect usable = m_Viewer.Model().Panoramic().usable;
    const viewer::Rect frame = m_Viewer.Model().VolumeOfInterestFrame().ScreenRect();
    EXPECT_LE(std::abs((frame.left + frame.right) - (usable.left + usable.right)), 1);

    m_Viewer.OnCommand(CommandId::Zoom);
    m_Workflow->BackOrExit();
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_FALSE(m_Workflow->TemplateMode());
    EXPECT_EQ(m_Viewer.Model().Mode(), viewer::ToolMode::None);
    EXPECT_TRUE(m_Viewer.PanoramicBitmap().Empty());
    EXPECT_FALSE(m_Ui.Closed);
    m_Workflow->BackOrExit();
    EXPECT_TRUE(m_Ui.Closed) << "back in phase 1 is exit";
    EXPECT_EQ(m_Link.VolumeSelection, (std::vector<bool>{false, false, true, false}));
}

TEST_F(WorkflowTest, CallersPanoramicAndItsPatientAreForgottenOnBack) {
    CallerState& caller = m_Workflow->Caller();
    for (const char* name : {"phantom_pano.tif", "phantom_pano_child.tif"}) {
        fs::remove(Work("pano_archive.tif"));
        caller.PatientName = "Anna Rossi";
        caller.PanoramicPath = Work(name);
        caller.CallerPanoramicMode = true;
        m_Workflow->OpenCallerPanoramic();
        ASSERT_EQ(m_Workflow->WorkflowPhase(), 2) << name;
        EXPECT_TRUE(m_Ui.Log.empty()) << name << ": " << m_Ui.Log.front();
        EXPECT_TRUE(fs::exists(Work("pano_archive.tif"))) << name;
        m_Workflow->BackOrExit();
        EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
        EXPECT_EQ(caller.PatientName, "");
        EXPECT_FALSE(caller.CallerPanoramicMode);
        EXPECT_EQ(m_Ui.Title, "DTS");
    }
    // Given at start-up, the caller's panoramic opens at the first poll of the panoramic step.
    auto started = Make(&m_Driver, false);
    started->Caller().PanoramicPath = Work("phantom_pano.tif");
    started->Caller().CallerPanoramicMode = true;
    started->EnterWorkflowStep(1, true, true);
    EXPECT_EQ(started->WorkflowPhase(), 2);
    EXPECT_FALSE(m_Ui.TimerRuns(TimerId::ExposureWatch)) << "no exposure watch in phase 2";
    started->BackOrExit();
    EXPECT_EQ(started->WorkflowPhase(), 1) << "only the first poll opens it";
}

TEST_F(WorkflowTest, NewPanoramicMessages) {
    m_Workflow->OnNewPanoramic(false);
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_FALSE(m_Ui.LastPanoramicButton);
    fs::copy_file(Work("phantom_pano.tif"), Work("cur_pano.tif"));
    m_Workflow->OnNewPanoramic(true);
    EXPECT_EQ(m_Ui.Log.at(0), "New panoramic image acquired");
    ASSERT_EQ(m_Workflow->WorkflowPhase(), 2);
    m_Workflow->OnNewPanoramic(true);
    EXPECT_EQ(m_Ui.Log.back(), "The working panoramic image is changed");
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_TRUE(m_Ui.LastPanoramicButton) << "the acquired panoramic stays available";
}

TEST_F(WorkflowTest, HandoffThenAnswersArchiveOnceAndReachVolumeComputation) {
    SelectOnTemplate();
    m_Workflow->StartTomosynthesis();
    ASSERT_EQ(m_Workflow->WorkflowPhase(), 3) << Title() << ": " << Line(0);
    EXPECT_EQ(m_Launches,
              std::vector<std::string>{"DeviceDriverHost  #FILEPARAM " + Work("Param.txt")});
    const std::string param = test::ReadFile(Work("Param.txt"));
    EXPECT_EQ(param.rfind("#CALLER 2 #DIR ", 0), 0u) << param;
    EXPECT_NE(param.find(" #YCANMOVE 1 "), std::string::npos) << "selected on the template";
    EXPECT_EQ(param.find("#COLLIM_POS_INF"), std::string::npos) << "the Y axis is fixed";
    EXPECT_TRUE(fs::exists(Work("ConeBeam.csv")));
    EXPECT_TRUE(m_Ui.TimerRuns(TimerId::ExposureWatch));

    // -52 hides the windows; -51 archives once; -54 hands the projections on.
    m_Ui.ShowInfo("x");
    EXPECT_TRUE(Answer("#CALLER 3 #ERR -52"));
    EXPECT_FALSE(m_Ui.InfoShown);
    EXPECT_TRUE(Answer("#CALLER 3 #ERR -51 #MSG started\r\n"));
    EXPECT_EQ(m_Ui.Log.back(), "started");
    ASSERT_TRUE(fs::exists(Work("pano.tif")));
    EXPECT_TRUE(fs::exists(Work("ParamSent.txt")));
    fs::remove(Work("pano.tif"));
    EXPECT_TRUE(Answer("#CALLER 3 #ERR -51"));
    EXPECT_FALSE(fs::exists(Work("pano.tif"))) << "the second -51 archives nothing";
    EXPECT_FALSE(Answer("#CALLER 3 #ERR -54 #DIR " + Work("")));
    EXPECT_EQ(Line(0), "Projections path not specified by device PC driver");
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);

    // Again, to the end: the folder and file reach volume computation.
    SelectOnTemplate();
    m_Workflow->StartTomosynthesis();
    ASSERT_EQ(m_Workflow->WorkflowPhase(), 3);
    EXPECT_FALSE(m_Workflow->ExamArchived()) << "cleared by the hand-off";
    EXPECT_FALSE(Answer("#CALLER 3 #ERR -54 #DIR /p #FILE x.tif"));
    EXPECT_EQ(Line(0), "Unexpected projections from device PC driver");
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    SelectOnTemplate();
    m_Workflow->StartTomosynthesis();
    EXPECT_TRUE(Answer("#CALLER 3 #ERR -51"));
    EXPECT_TRUE(Answer("#CALLER 3 #ERR -54 #DIR /p #FILE 3DTS_image_projection_*.tif"));
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 4);
    EXPECT_EQ(m_Workflow->ProjectionFolder(), "/p");
    EXPECT_EQ(m_Link.VolumeSelection.back(), false);
    EXPECT_EQ(m_Ui.Log.back(), "Computing volume");
    EXPECT_FALSE(m_Ui.TimerRuns(TimerId::ExposureWatch)) << "the device is no longer watched";
}

TEST_F(WorkflowTest, ErrorAnswersAndAbortReturnToTheStartOnlyWhenTheDeviceStopped) {
    // The device still acquires: only "aborted by user" (any case) leaves phase 3.
    SelectOnTemplate();
    m_Workflow->StartTomosynthesis();
    m_Driver.Replies[kQueryAcquiring] = 1;
    EXPECT_FALSE(Answer("#CALLER 3 #ERR 3 #MSG collimator fault"));
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 3);
    EXPECT_EQ(Title(), "PARSE 3D ERROR");
    EXPECT_EQ(Line(0), "collimator fault");

    m_Workflow->BackOrExit();
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 3) << "the operator aborts on the device";
    EXPECT_EQ(Title(), "TOMOSYNTHESIS ACQUISITION ABORT:");
    EXPECT_EQ(Bitmap(0), "ExamType.bmp");

    EXPECT_FALSE(Answer("#CALLER 3 #ERR 1 #MSG ABORTED BY USER"));
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_EQ(Line(0), "ABORTED BY USER");

    // The device stopped: any error returns; an empty message is "Unknown error".
    m_Driver.Replies[kQueryAcquiring] = 0;
    SelectOnTemplate();
    m_Workflow->StartTomosynthesis();
    EXPECT_FALSE(Answer("#CALLER 3 #ERR 0"));
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_EQ(Line(0), "Unknown error");

    // Back without a running acquisition, or refused by the device link, returns at once.
    SelectOnTemplate();
    m_Workflow->StartTomosynthesis();
    m_Link.Permission = false;
    m_Driver.Replies[kQueryAcquiring] = 1;
    m_Workflow->BackOrExit();
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
}

TEST_F(WorkflowTest, HandoffFailuresAndAnUnreadyDeviceKeepTheSelection) {
    // The device not yet positioned: the selection instructions come back, no hand-off.
    m_Workflow->LoadPhantomPanoramic();
    m_Viewer.SetViewerArea({0, 0, 1297, 691});
    m_Workflow->StartTomosynthesis();
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 2);
    EXPECT_TRUE(m_Launches.empty());
    EXPECT_EQ(Line(0), "1) Reset device");

    // The driver refuses to start: reported, back to step 1.
    m_LaunchResult = 2;
    SelectOnTemplate();
    m_Workflow->StartTomosynthesis();
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_EQ(Title(), "WAIT ACQUISITION ERROR");
    EXPECT_EQ(Line(0), "Error on sending trajectory to device driver");

    // The driver program goes away while the projections are awaited: reported, step 1.
    m_LaunchResult = 42;
    SelectOnTemplate();
    m_Workflow->StartTomosynthesis();
    m_Driver.Replies[kQueryState] = kAcquiring;
    m_Workflow->OnTimer(TimerId::ExposureWatch);
    ASSERT_TRUE(m_Ui.TimerRuns(TimerId::DevicePoll)) << "the driver is watched";
    m_Driver.Running = false;
    m_Workflow->OnTimer(TimerId::DevicePoll);
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_EQ(Title(), "TOMOSYNTHESIS PROJECTIONS ACQUISITION ERROR");
    EXPECT_EQ(Line(0), "xray panoramic PC Driver was not started");
}

TEST(VolumeSteps, CrossesFitTheAllowedRangeAndCollimatorLimits) {
    // 27 crosses cannot fit 11 positions: 12 in two rows, the centre 25 pushed to 26, then 24.
    const CrossFit narrow = FitCrosses(27, 25, 20, 30);
    EXPECT_EQ(std::tuple(narrow.Count, narrow.Rows, narrow.Position), std::tuple(12, 2, 24));
    const CrossFit wide = FitCrosses(60, 25, 1, 50);
    EXPECT_EQ(std::tuple(wide.Count, wide.Rows, wide.Position), std::tuple(48, 4, 25));
    const CrossFit edge = FitCrosses(25, 3, 1, 50);
    EXPECT_EQ(std::tuple(edge.Count, edge.Rows, edge.Position), std::tuple(27, 3, 14));

    float a = -1.0f;
    float b = -1.0f;
    EXPECT_FALSE(CheckCollimator(0, -17775, a, b)) << "b 0.92 is too much";
    EXPECT_TRUE(CheckCollimator(0, -9875, a, b));
    EXPECT_FLOAT_EQ(a, 0.02f);
    EXPECT_FLOAT_EQ(b, 0.52f);
    for (const auto& [lower, upper] : {std::pair{5601, -100}, {-1, -100}, {0, 1}, {0, -19750}})
        EXPECT_FALSE(CheckCollimator(lower, upper, a, b)) << lower << " " << upper;
}

TEST_F(WorkflowTest, LastTomosynthesisComputesOrLoadsTheVolume) {
    // Without a volume the projections are reconstructed; here there are none, so it fails.
    fs::remove(Work("Volume.vol"));
    m_Workflow->LoadLastTomosynthesis();
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 4);
    EXPECT_EQ(m_Ui.Log.back(), "Computing volume");
    m_Workflow->OnReconstructionEnded(false);
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_EQ(Title(), "RECOSTRUCTION ERROR");

    // A volume file that does not load ends step 5 at step 1 with the reason.
    fs::copy_file(Work("phantom_pano.tif"), Work("pano.tif"));
    test::WriteFile(Work("Volume.vol"), "not a volume");
    m_Workflow->LoadLastTomosynthesis();
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 1);
    EXPECT_EQ(Title(), "VOLUME NAVIGATION ERROR");
    EXPECT_EQ(Line(0).rfind("The volume file cannot be read (error ", 0), 0u) << Line(0);
    fs::remove(Work("Volume.vol"));
}

TEST_F(WorkflowTest, OutsideTheirPhasesReconstructionEndsZoomStartsAndSelectionTimerDoNothing) {
    for (bool phantom : {false, true}) {
        if (phantom)
            m_Workflow->LoadPhantomPanoramic();
        const int phase = m_Workflow->WorkflowPhase();
        m_Workflow->OnReconstructionEnded(false);
        m_Workflow->OnReconstructionEnded(true);
        EXPECT_EQ(m_Workflow->WorkflowPhase(), phase);
        EXPECT_NE(Title(), "RECOSTRUCTION ERROR") << phase;
    }
    m_Viewer.OnCommand(CommandId::Zoom);  // in phase 2 now
    m_Workflow->StartTomosynthesis();
    EXPECT_EQ(m_Ui.Info, "This is not zoom area.");
    EXPECT_EQ(m_Workflow->WorkflowPhase(), 2);
    m_Workflow->BackOrExit();
    m_Workflow->OnTimer(TimerId::SelectionSteps);
    EXPECT_FALSE(m_Ui.TimerRuns(TimerId::SelectionSteps));
}

}  // namespace
}  // namespace zor::acquisition
