// The export: the slices of a volume cut on the phantom's panoramic, read back by libtiff, the
// strip under a cross, the output folder setting and the folders that cannot take the files.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "acquisition/DriverStatus.h"
#include "acquisition/Export.h"
#include "acquisition/Workflow.h"
#include "images/PanoramicLoader.h"
#include "images/TiffWriter.h"
#include "phantom/DemoData.h"
#include "platform/Registry.h"
#include "support/TempDir.h"
#include "support/UiRecorder.h"
#include "viewer/ViewerCommands.h"
#include "zor_vol/CLUTProjection.h"
#include "zor_vol/VolumeFile.h"

namespace zor::acquisition {
namespace {

namespace fs = std::filesystem;
constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VORDAL\\Orvix\\Talvern";

/// Samples and description as libtiff reads them; empty samples when it cannot.
struct Read {
    uint32_t Width = 0, Height = 0;
    std::vector<uint16_t> Samples;
    std::string Description;
};
Read ReadWithLibtiff(const std::string& path) {
    TIFFSetWarningHandler(nullptr);
    Read read;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    char* text = nullptr;
    if (tif == nullptr)
        return read;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &read.Width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &read.Height);
    if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text) == 1)
        read.Description = text;
    read.Samples.resize(size_t{read.Width} * read.Height);
    for (uint32_t y = 0; y < read.Height; ++y) {
        if (TIFFReadScanline(tif, read.Samples.data() + size_t{y} * read.Width, y) != 1)
            read.Samples.clear();
    }
    TIFFClose(tif);
    return read;
}

TEST(ExportFolderTest, OutFolderSettingAndItsFallbacks) {
    test::TempDir dir;
    const fs::path registry = dir / "registry.reg";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/";
    EXPECT_EQ(ReadOutFolderPath(registry), home) << "no key";
    auto key = platform::RegistryKey::Create(kKey, registry);
    ASSERT_TRUE(key);
    EXPECT_EQ(ReadOutFolderPath(registry), home) << "no value";
    const std::string longest(259, 'f');
    for (const auto& [value, type, expected] :
         std::vector<std::tuple<std::string, int, std::string>>{{"/srv/out", 1, "/srv/out"},
                                                                {"/srv/$X", 2, "/srv/$X"},
                                                                {"", 1, ""},
                                                                {longest, 1, longest},
                                                                {longest + "f", 1, home},
                                                                {"/srv/out", 3, home}}) {
        if (type == 3)
            ASSERT_TRUE(key->SetBytes("OutFolderPath", 3, {1, 2}));
        else
            ASSERT_TRUE(key->SetString("OutFolderPath", value, platform::RegType(type)));
        EXPECT_EQ(ReadOutFolderPath(registry), expected) << value.size() << " type " << type;
    }
}

TEST(ExportStripTest, StripRowsMarkerAndHeightEntry) {
    test::TempDir dir;
    const int rows = 4, columns = 12;
    std::vector<uint16_t> image(rows * columns, 7);
    StripBitmap strip{8, 10, std::vector<uint8_t>(80)};
    for (size_t i = 0; i < strip.Samples.size(); ++i)
        strip.Samples[i] = static_cast<uint8_t>(i * 3);
    images::DescriptionText text;
    text.Append("orvix=333");
    std::string why;
    ASSERT_TRUE(WriteSliceWithStrip(dir.File("s.tif"), text, image, rows, columns, strip, 3, why));
    const Read read = ReadWithLibtiff(dir.File("s.tif"));
    ASSERT_EQ(read.Samples.size(), size_t{(rows + 10) * columns});
    EXPECT_EQ(read.Description, "orvix=333,PANO_HEIGHT=10");
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int x = c - 2;  // the strip starts at floor((12 - 8) / 2)
            const bool marker = ((x == 1 || x == 5) && r >= 3 && r <= 6) ||
                                ((r == 3 || r == 6) && x >= 1 && x <= 5);
            const uint16_t expected =
                marker ? 0xFFFF : (x < 0 || x >= 8 ? 0 : uint16_t(strip.Samples[r * 8 + x] << 6));
            EXPECT_EQ(read.Samples[(rows + r) * columns + c], expected) << r << "," << c;
        }
    }
    EXPECT_EQ(read.Samples[0], 7) << "the cross stays on top";

    // The strip is the panoramic's band between its margins, at the cross's width.
    images::GreyImage16 panoramic{40, 24, 12, std::vector<uint16_t>(40 * 24, 4095)};
    std::fill_n(panoramic.m_Samples.begin(), 40 * 4, uint16_t{0});
    const StripBitmap built = BuildPanoramicStrip(panoramic, 4, 0, 20);
    EXPECT_EQ(built.Width, 20);
    EXPECT_EQ(built.Height, 10);
    EXPECT_EQ(std::count(built.Samples.begin(), built.Samples.end(), 255), 200);
    EXPECT_EQ(StripMarkerColumn(399, 20, 400), 19);
}

/// A workflow on the phantom's template panoramic with a volume of `positions` planes laid along
/// the arch at the middle of the panoramic, its crosses cut once.
class ExportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Install = new test::TempDir("zor-export");
        std::string error;
        ASSERT_TRUE(phantom::WriteDemoData(s_Install->Slash(), &error)) << error;
    }
    static void TearDownTestSuite() { delete s_Install; }

    void Start(viewer::CrossSettings crosses, uint32_t positions = 50) {
        for (const auto& entry : fs::directory_iterator(m_Out.Path()))
            fs::remove(entry.path());
        WorkflowSettings settings;
        settings.Images.m_InstallDir = s_Install->Path().string();
        settings.Crosses = crosses;
        WorkflowPorts ports{m_Ui, m_Ui, m_Ui, m_Ui, m_Ui, m_Viewer};
        m_Workflow = std::make_unique<Workflow>(ports, settings);
        m_Workflow->EnterWorkflowStep(1, true, false);
        m_Workflow->LoadPhantomPanoramic();
        ASSERT_EQ(m_Workflow->WorkflowPhase(), 2);
        m_Viewer.SetViewerArea({0, 0, 1297, 691});
        const CLUTProjection* lut = m_Workflow->Loader().Projection()->m_Lut->Projection();
        zor_vol_file::VolumeHeader header;
        header.Nx = positions, header.Ny = 160, header.Nz = 140;
        for (int raw = lut->MarginLeft() + m_Workflow->Loader().View()->m_Full.m_Width / 2;
             lut->GetXY(raw, &header.CentreX, &header.CentreY) != 0; ++raw) {
        }
        std::vector<uint16_t> voxels(size_t{positions} * 160 * 140);
        for (size_t v = 0; v < voxels.size(); ++v)
            voxels[v] = static_cast<uint16_t>(1000 + v % 3001);
        const std::string volume = m_Out.File("Volume.vol");
        ASSERT_EQ(zor_vol_file::WriteVolumeFileAtomic(volume, header, voxels),
                  zor_vol_file::VolumeFileError::None);
        ASSERT_EQ(m_Workflow->InitVolume(volume), 0);
        fs::remove(volume);
        m_Workflow->Crosses()->GenerateCrosses();
        SetFolder(m_Out.Path().string());
        m_Export = std::make_unique<Export>(
            *m_Workflow, ExportPorts{m_Ui, m_Ui, m_Ui, m_Ui, {}, {}, m_Out / "registry.reg"});
    }
    void SetFolder(const std::string& folder) {
        auto key = platform::RegistryKey::Create(kKey, m_Out / "registry.reg");
        ASSERT_TRUE(key && key->SetString("OutFolderPath", folder));
    }
    std::string Slice(int i) const {
        return SliceFileName(m_Out.Path().string(), i, m_Workflow->Loader().ExportTimeStamp());
    }
    int Tiffs() const {  // TIFFs and temporary copies in the output folder
        int n = 0;
        for (const auto& entry : fs::directory_iterator(m_Out.Path())) {
            const std::string name = entry.path().filename().string();
            n += entry.path().extension() == ".tif" || name.front() == '.';
        }
        return n;
    }

    static test::TempDir* s_Install;
    test::TempDir m_Out{"zor-export-out"};
    test::UiRecorder m_Ui;
    viewer::ViewerCommands m_Viewer{m_Ui, m_Ui, m_Ui};
    std::unique_ptr<Workflow> m_Workflow;
    std::unique_ptr<Export> m_Export;
};
test::TempDir* ExportTest::s_Install = nullptr;

TEST_F(ExportTest, ExportAllWritesEveryPositionOnceWithTheSharedStamp) {
    Start({});
    m_Export->ExportSlices(true);
    EXPECT_EQ(m_Ui.Info, "The panoramic and the slices are being exported.");
    EXPECT_EQ(m_Ui.Timers[TimerId::InfoHide], 5000);
    EXPECT_EQ(Tiffs(), 50);
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(fs::exists(Slice(i))) << Slice(i);
    const Read read = ReadWithLibtiff(Slice(7));
    EXPECT_EQ(std::pair(read.Width, read.Height), std::pair(160u, 140u));
    EXPECT_NE(read.Description.find(",3DTS_slice_index=7,3DTS_slice_count=50"), std::string::npos);
    EXPECT_NE(read.Description.find(",treat="), std::string::npos) << read.Description;
    EXPECT_EQ(read.Description.find(",slice_pancol=-1"), std::string::npos) << "on the curve";
    EXPECT_EQ(read.Samples[80 * 160 + 44] + read.Samples[44 * 160 + 80], 0);
    EXPECT_GT(read.Samples[45 * 160 + 45], 999) << "45 rows and columns blanked at position 7";

    test::WriteFile(Slice(3), "kept");
    m_Export->ExportSlices(true);
    EXPECT_EQ(m_Ui.Info, "The panoramic has alreay been exported before.");
    EXPECT_EQ(test::ReadFile(Slice(3)), "kept") << "an exported file is never written again";

    m_Export->ExportPanoramic(true);
    EXPECT_EQ(m_Ui.Log.back(), "The panoramic is being exported.");
    const Read panoramic = ReadWithLibtiff(
        PanoramicFileName(m_Out.Path().string(), m_Workflow->Loader().ExportTimeStamp()));
    EXPECT_EQ(panoramic.Description, m_Workflow->Loader().Info().NormalisedDescription.Str());
    EXPECT_EQ(panoramic.Samples, m_Workflow->Loader().View()->CopyRowsTopFirst());
    m_Export->ExportPanoramic(false);
    EXPECT_EQ(m_Ui.Log.back(), "The panoramic has alreay been exported before.");

    if (std::system("command -v identify >/dev/null 2>&1") == 0) {
        const std::string line = "identify " + Slice(0) + " >" + m_Out.File("id.txt") + " 2>&1";
        EXPECT_EQ(std::system(line.c_str()), 0) << test::ReadFile(m_Out / "id.txt");
        EXPECT_NE(test::ReadFile(m_Out / "id.txt").find("160x140"), std::string::npos);
    }
}

TEST_F(ExportTest, AngleLimitAndSelectionChooseThePositions) {
    viewer::CrossSettings limited;
    limited.IsCrossAngleLimited = true;
    Start(limited);
    const auto angles = m_Workflow->Crosses()->AngleTable();
    double widest = 0.0;
    for (double angle : angles)
        widest = std::max(widest,
                          std::abs(viewer::CurveDegrees(angle) - viewer::CurveDegrees(angles[25])));
    ASSERT_GT(widest, 1.0) << "the volume spans a bend of the arch";
    EXPECT_FALSE(m_Export->HasSelectedSliceToExport());
    m_Export->ExportSlices(false);
    EXPECT_EQ(Tiffs(), 0);
    EXPECT_FALSE(m_Ui.InfoShown) << "nothing due, nothing said";

    m_Workflow->Crosses()->ToggleSelection(25);
    m_Workflow->Crosses()->ToggleSelection(0);
    EXPECT_TRUE(m_Export->HasSelectedSliceToExport());
    m_Export->ExportSlices(false);
    EXPECT_TRUE(fs::exists(Slice(25)) && fs::exists(Slice(0)));
    EXPECT_EQ(Tiffs(), 2);

    // A limit just below the widest turn refuses exactly the position(s) turned that far.
    limited.CrossAngleLimit = static_cast<int>(std::ceil(widest)) - 1;
    Start(limited);
    m_Export->ExportSlices(true);
    int refused = 0;
    for (int i = 0; i < 50; ++i) {
        const double turn =
            std::abs(viewer::CurveDegrees(angles[i]) - viewer::CurveDegrees(angles[25]));
        refused += turn > limited.CrossAngleLimit;
        EXPECT_EQ(fs::exists(Slice(i)), turn <= limited.CrossAngleLimit) << i;
    }
    EXPECT_GT(refused, 0);
}

TEST_F(ExportTest, StripUnderTheCrossAndSmallerVolumes) {
    viewer::CrossSettings strip;
    strip.IsPanoramicToAppendToCross = true;
    Start(strip, 30);
    m_Export->ExportSlices(true);
    EXPECT_EQ(Tiffs(), 30) << "positions beyond the volume are not cut";
    const Read read = ReadWithLibtiff(Slice(12));
    const size_t entry = read.Description.rfind(",PANO_HEIGHT=");
    ASSERT_NE(entry, std::string::npos);
    const int height = std::atoi(read.Description.c_str() + entry + 13);
    EXPECT_GT(height, 8);
    EXPECT_EQ(read.Height, 140u + height);
    EXPECT_EQ(std::count(read.Samples.begin() + 140 * 160, read.Samples.end(), 0xFFFF),
              2 * (height - 6) + 6)
        << "the marker frames the cross's column";
}

TEST_F(ExportTest, FoldersThatCannotTakeTheFilesAreLogged) {
    Start({});
    m_Ui.Log.clear();
    SetFolder(m_Out.File("missing"));
    m_Export->ExportSlices(true);
    m_Export->ExportPanoramic(true);
    EXPECT_NE(m_Ui.Log.at(0).find("50 slice files not exported"), std::string::npos);
    EXPECT_NE(m_Ui.Log.at(0).find("does not exist"), std::string::npos) << m_Ui.Log.at(0);
    EXPECT_NE(m_Ui.Log.back().find("does not exist"), std::string::npos) << m_Ui.Log.back();
    m_Out.Write("file", "x");
    SetFolder(m_Out.File("file"));
    m_Export->ExportSlices(true);
    EXPECT_NE(m_Ui.Log.back().find("is not a folder"), std::string::npos) << m_Ui.Log.back();
    EXPECT_EQ(Tiffs(), 0);

    SetFolder(m_Out.Path().string());
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{2048, saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    m_Export->ExportSlices(true);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);
    EXPECT_NE(m_Ui.Log.back().find("File too large"), std::string::npos) << m_Ui.Log.back();
    EXPECT_EQ(Tiffs(), 0) << "no partial or temporary file";

    // Without the device programs (no capture program in this session) nothing is written.
    ::setenv("ZOR_SESSION", ("export-" + std::to_string(::getpid())).c_str(), 1);
    m_Export->ExportAll();
    ::unsetenv("ZOR_SESSION");
    EXPECT_EQ(Tiffs(), 0);
    ASSERT_TRUE(m_Ui.Step);
    EXPECT_NE(m_Ui.Step->Lines[0].find("was not started"), std::string::npos);
}

}  // namespace
}  // namespace zor::acquisition
