// A whole examination in this process's main window against the real driver simulator: the
// simulator acquires the panoramic, the watcher brings it in, the hand-off starts a second
// simulator instance with the parameter file, and its answers come back through a second
// zor_manager start, as on the device.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ShellTestSupport.h"
#include "acquisition/AcquisitionConstants.h"
#include "acquisition/Workflow.h"
#include "demo_setup/DemoInstall.h"
#include "platform/NamedObject.h"
#include "platform/Process.h"
#include "shell/zor_managerApp.h"
#include "shell/zor_managerDlg.h"
#include "support/TempDir.h"

using namespace zor;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Tokens(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;)
        tokens.push_back(token);
    return tokens;
}

class ExaminationTest : public ::testing::Test {
protected:
    void SetUp() override {
        tools::DemoInstallOptions options;
        options.Root = m_Install.Root();
        options.SourceDir = ZOR_SOURCE_DIR;
        options.BuildDir = ZOR_BINARY_DIR;
        std::string error;
        ASSERT_TRUE(tools::CreateDemoInstall(options, error)) << error;
        m_InstallDir = m_Install.InstallDir();
        // The simulator answers by starting InstallDir/zor_manager, as the device does.
        fs::remove(m_InstallDir + "zor_manager");
        fs::create_symlink(ZOR_MANAGER_PATH, m_InstallDir + "zor_manager");
        ASSERT_GT(
            platform::SpawnDetached(m_InstallDir + "DeviceDriverHost",
                                    {"DeviceDriverHost", "--headless"}, m_InstallDir, &m_Driver),
            32);
        ASSERT_TRUE(Pump([&] { return Control("status"); }));
    }
    void TearDown() override {
        if (m_App && m_App->MainWindow()) {
            m_App->MainWindow()->ExitCommand();
            m_App->ExitInstance();
        }
        if (m_Driver > 0)
            ::kill(m_Driver, SIGKILL);
    }
    bool Control(const std::string& action) const {
        // "status | grep ..." filters the status line the control prints.
        const size_t pipe = action.find(" | ");
        const std::string verb = action.substr(0, pipe);
        const std::string filter = pipe == std::string::npos ? ">/dev/null" : action.substr(pipe);
        return std::system((m_InstallDir + "DeviceDriverHost --control '" + verb +
                            "' 2>/dev/null " + filter)
                               .c_str()) == 0;
    }
    void StartManager() {
        m_App = std::make_unique<shell::Czor_managerApp>(std::vector<std::string>{});
        ASSERT_TRUE(m_App->InitInstance());
    }
    int Phase() const { return m_App->MainWindow()->Workflow().WorkflowPhase(); }
    /// Runs the event loop until `done`; a guard of two minutes against hangs, not a limit
    /// (the simulator renders the phantom, which takes long under the sanitizers).
    template <typename Condition>
    bool Pump(Condition done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    std::string Work(const char* name) const { return m_InstallDir + "work/" + name; }
    std::string Log() const {
        return test::ReadFile(fs::path(m_InstallDir) / "config_zor" / "log.txt");
    }
    /// Phase 1 to phase 3: the simulator's panoramic, then the hand-off of the marked volume.
    void AcquirePanoramicAndHandOff(bool autoExposure) {
        StartManager();
        ASSERT_EQ(Phase(), 1);
        ASSERT_TRUE(Control("auto on"));
        ASSERT_TRUE(Control("exam pano"));
        ASSERT_TRUE(Control("xray"));
        ASSERT_TRUE(Pump([&] { return Phase() == 2; })) << Log();
        ASSERT_NE(Log().find("New panoramic image acquired"), std::string::npos);
        if (!autoExposure) {
            ASSERT_TRUE(Control("auto off"));
        }
        m_App->MainWindow()->OnCommand(CommandId::StartTomosynthesis);
        ASSERT_EQ(Phase(), 3) << Log();
    }

    test::TempInstall m_Install;
    std::string m_InstallDir;
    pid_t m_Driver = -1;
    std::unique_ptr<shell::Czor_managerApp> m_App;
};

TEST_F(ExaminationTest, PanoramicHandoffAnswersArchiveAndReconstructionReachTheCrosses) {
    AcquirePanoramicAndHandOff(true);
    // The parameter file, token by token: fixed keys in their order, the geometry of this
    // hand-off, the collimator keys of the simulator's movable Y axis, eleven sub-images.
    const std::vector<std::string> tokens = Tokens(test::ReadFile(Work("Param.txt")));
    ASSERT_EQ(tokens.size(), 2u * (18 + 77));
    const std::vector<std::string> keys = {"#CALLER",
                                           "#DIR",
                                           "#FILE",
                                           "#KV",
                                           "#MA",
                                           "#PRJGRPIDX",
                                           "#PRJTYPEIDX",
                                           "#PATORIENT",
                                           "#YCANMOVE",
                                           "#INITXPOS",
                                           "#INITYPOS",
                                           "#INITRPOS",
                                           "#COLSNUM",
                                           "#SUBIMGNUM",
                                           "#Y_CORRECTION",
                                           "#EXPOSURE_TIME",
                                           "#COLLIM_POS_INF",
                                           "#COLLIM_POS_SUP"};
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(tokens[2 * i], keys[i]);
    EXPECT_EQ(tokens[1], "2");
    EXPECT_EQ(tokens[3], m_InstallDir + "/work/");
    EXPECT_EQ(tokens[5], m_InstallDir + "/work/ConeBeam.csv");
    EXPECT_EQ(tokens[11], "4");
    EXPECT_EQ(tokens[13], "0");
    EXPECT_EQ(tokens[17], "0") << "an acquired panoramic";
    EXPECT_EQ(tokens[27], "11");
    const int columns = std::stoi(tokens[25]);
    for (int i = 1; i <= 11; ++i) {
        const size_t at = 2 * (18 + 7 * (i - 1));
        const std::string prefix = "#SUBIMG_" + std::to_string(i) + "_";
        EXPECT_EQ(tokens[at], prefix + "COLSNUM");
        EXPECT_EQ(std::stoi(tokens[at + 1]) * 11, columns);
        EXPECT_EQ(tokens[at + 2] + tokens[at + 3], prefix + "HORZMAGNIFACTOR1436031");
        EXPECT_EQ(tokens[at + 12] + tokens[at + 13], prefix + "MARGINBOTTOM0");
    }

    // The automatic device exposes; -52, -51 and -54 come back through zor_manager; the volume
    // is computed and shown.
    ASSERT_TRUE(Pump([&] { return Phase() != 3 && Phase() != 4; })) << Log();
    EXPECT_EQ(Phase(), 5) << Log();
    for (const char* sent : {"ConeBeamSent.tra", "ParamSent.txt", "pano.tif"})
        EXPECT_TRUE(fs::exists(Work(sent))) << sent;
    EXPECT_EQ(test::ReadFile(Work("ParamSent.txt")), test::ReadFile(Work("Param.txt")));
    EXPECT_TRUE(fs::exists(Work("3DTS_image_projection_11.tif")));
    const std::string log = Log();
    EXPECT_NE(log.find("projections ready"), std::string::npos) << log;
    EXPECT_NE(log.find("Computing the volume"), std::string::npos) << log;
    EXPECT_NE(log.find("Volume loading completed"), std::string::npos) << log;
    EXPECT_TRUE(fs::exists(Work("Volume.vol")));

    // "Export all" from the button, with the capture program present: the panoramic and the
    // crosses in the output folder, readable by another TIFF reader.
    bool held = false;
    const auto capture =
        platform::NamedObject::Create(std::string(acquisition::kCaptureStationName), held);
    ASSERT_TRUE(capture);
    m_App->MainWindow()->OnCommand(CommandId::ExportAll);
    int slices = 0;
    fs::path slice;
    for (const auto& entry : fs::directory_iterator(m_Install.Root() / "export")) {
        const std::string name = entry.path().filename().string();
        slices += name.rfind("Slice_", 0) == 0;
        if (name.rfind("Slice_25_", 0) == 0)
            slice = entry.path();
    }
    EXPECT_GE(slices, 1) << Log();
    EXPECT_FALSE(slice.empty()) << Log();
    if (!slice.empty() && std::system("command -v identify >/dev/null 2>&1") == 0) {
        const std::string identify = "identify '" + slice.string() + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(identify.c_str()), 0) << slice;
    }
}

TEST_F(ExaminationTest, DriverThatDiesDuringTheAcquisitionIsReported) {
    // Without the automatic X-ray the simulator waits for the button with the parameter
    // file read; then it dies.
    AcquirePanoramicAndHandOff(false);
    ASSERT_TRUE(Pump([&] { return Control("status | grep -q state=11"); }));
    ::kill(m_Driver, SIGKILL);
    ::waitpid(m_Driver, nullptr, 0);
    m_Driver = -1;
    const auto killed = std::chrono::steady_clock::now();
    ASSERT_TRUE(Pump([&] { return Phase() == 1; })) << Log();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - killed);
    RecordProperty("reported_after_ms", static_cast<int>(ms.count()));
    EXPECT_NE(Log().find("The X-ray panoramic PC driver is not running"), std::string::npos);
}

}  // namespace
