// The digital phantom's demo installation through the real loader: both panoramics and the
// template load with their own LUT and the curve picture, without a message.
#include <gtest/gtest.h>

#include <filesystem>

#include "images/PanoramicLoader.h"
#include "phantom/DemoData.h"
#include "support/TempDir.h"
#include "zor_vol/CLUTProjection.h"

namespace zor::images {
namespace {

struct Recorder : IStatusSink, IWorkflowErrors, IStepWindow {
    void LogMessage(const std::string& text, bool, int, bool) override { m_Lines.push_back(text); }
    void ShowWorkflowError(const std::string& title, const std::string& text, bool) override {
        m_Lines.push_back(title + "|" + text);
    }
    void ShowStep(const StepContent&) override {}
    void HideStep() override {}
    void ShowStepWindowAndWait(const std::string& title, const std::string&, int) override {
        m_Lines.push_back(title);
    }
    std::vector<std::string> m_Lines;
};

TEST(PhantomPanoramic, LoadsWithItsLutAndCurvePicture) {
    const zor::test::TempDir root("zor-images-phantom");
    std::string error;
    ASSERT_TRUE(phantom::WriteDemoData(root.Slash(), &error)) << error;
    ImageSettings settings;
    settings.m_InstallDir = root.Path().string();
    for (const char* name : {"phantom_pano.tif", "phantom_pano_child.tif", ""}) {
        Recorder recorder;
        PanoramicPorts ports;
        ports.m_Status = &recorder;
        ports.m_Steps = &recorder;
        ports.m_StepWindow = &recorder;
        PanoramicLoader loader(settings, ports);
        SelectionModes modes;
        modes.m_TemplateMode = name[0] == '\0';
        modes.m_CallerPanoramicMode = !modes.m_TemplateMode;
        modes.m_CallerPanoramicPath = (root.Path() / "work" / name).string();
        ASSERT_TRUE(loader.PreparePanoramicForSelection(modes))
            << name << ": " << (recorder.m_Lines.empty() ? "" : recorder.m_Lines[0]);
        EXPECT_TRUE(recorder.m_Lines.empty()) << name;
        CLUTProjection* lut = loader.Projection()->m_Lut->Projection();
        ASSERT_NE(lut, nullptr);
        EXPECT_GT(lut->m_Count, 0) << name;
        EXPECT_EQ(lut->MarginLeft(), loader.Info().m_MarginLeft);
        EXPECT_GT(loader.Projection()->m_CurveWidth, 0);
        if (modes.m_TemplateMode) {
            EXPECT_EQ(loader.Info().ProjectionId, "0.0.31.10");
        } else {
            EXPECT_TRUE(loader.View()->m_Loaded);
            EXPECT_TRUE(std::filesystem::exists(root.Path() / "work" / "pano_archive.tif"));
        }
    }
}

}  // namespace
}  // namespace zor::images
