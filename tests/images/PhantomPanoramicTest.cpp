#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "images/PanoramicLoader.h"
#include "images/PanoramicReport.h"
#include "phantom/DemoData.h"
#include "zor_vol/CLUTProjection.h"

namespace zor::images {
namespace {

struct Recorder : IStatusSink, IStepPresenter, IStepWindow {
    void LogMessage(const std::string& text, bool, int, bool) override { m_Lines.push_back(text); }
    void ShowWorkflowError(const std::string& title, const std::string& text, bool) override {
        m_Lines.push_back(title + "|" + text);
    }
    void ShowStepWindowAndWait(const std::string& title, const std::string&, int) override {
        m_Lines.push_back(title);
    }
    std::vector<std::string> m_Lines;
};

class PhantomPanoramic : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Root = std::filesystem::temp_directory_path() /
                 ("zor_images_phantom_" + std::to_string(::getpid()));
        std::string error;
        s_Ready = phantom::WriteDemoData(s_Root.string() + "/", &error);
        if (!s_Ready)
            s_Error = error;
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        std::filesystem::remove_all(s_Root, ec);
    }
    void SetUp() override { ASSERT_TRUE(s_Ready) << s_Error; }
    ImageSettings Settings() const {
        ImageSettings s;
        s.m_InstallDir = s_Root.string();
        return s;
    }
    PanoramicPorts Ports() {
        PanoramicPorts p;
        p.m_Status = &m_Recorder;
        p.m_Steps = &m_Recorder;
        p.m_StepWindow = &m_Recorder;
        return p;
    }

    static inline std::filesystem::path s_Root;
    static inline bool s_Ready = false;
    static inline std::string s_Error;
    Recorder m_Recorder;
};

TEST_F(PhantomPanoramic, LoadsWithItsLutAndCurvePicture) {
    for (const char* name : {"phantom_pano.tif", "phantom_pano_child.tif"}) {
        PanoramicLoader loader(Settings(), Ports());
        SelectionModes modes;
        modes.m_CallerPanoramicMode = true;
        modes.m_CallerPanoramicPath = (s_Root / "work" / name).string();
        ASSERT_TRUE(loader.PreparePanoramicForSelection(modes))
            << name << " " << m_Recorder.m_Lines.size();
        EXPECT_TRUE(m_Recorder.m_Lines.empty());
        CLUTProjection* lut = loader.Projection()->m_Lut->Projection();
        ASSERT_NE(lut, nullptr);
        EXPECT_GT(lut->m_Count, 0) << name;
        EXPECT_EQ(lut->MarginLeft(), loader.Info().m_MarginLeft);
        EXPECT_TRUE(loader.View()->m_Loaded);
        EXPECT_GT(loader.Projection()->m_CurveWidth, 0);
        EXPECT_TRUE(std::filesystem::exists(s_Root / "work" / "pano_archive.tif"));
    }
}

TEST_F(PhantomPanoramic, TemplateAndSupportReport) {
    PanoramicLoader loader(Settings(), Ports());
    SelectionModes modes;
    modes.m_TemplateMode = true;
    ASSERT_TRUE(loader.PreparePanoramicForSelection(modes));
    EXPECT_EQ(loader.Info().ProjectionId, "0.0.31.10");
    const std::string report =
        DescribePanoramic((s_Root / "work" / "phantom_pano.tif").string(), Settings());
    EXPECT_NE(report.find("(found)"), std::string::npos) << report;
    EXPECT_NE(report.find("result: metadata and LUT accepted"), std::string::npos) << report;
}

TEST_F(PhantomPanoramic, UnknownProjectionIdIsIncompatible) {
    std::filesystem::remove(s_Root / "config_zor" / "0.0.31.10_X.LUT");
    PanoramicLoader loader(Settings(), Ports());
    EXPECT_FALSE(loader.LoadPanoramicMetadata((s_Root / "work" / "phantom_pano.tif").string()));
    EXPECT_EQ(m_Recorder.m_Lines,
              std::vector<std::string>{"PANORAMIC IMAGE ACQUISITION ERROR|Incompatible panoramic "
                                       "projection\r\n(0.0.31.10_X.LUT not found)"});
}

}  // namespace
}  // namespace zor::images
