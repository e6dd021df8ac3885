#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TiffTestFiles.h"
#include "images/ImageFileCheck.h"
#include "images/PanoramicLoader.h"
#include "images/PanoramicReport.h"
#include "images/TiffWriter.h"
#include "support/TempDir.h"

namespace zor::images {
namespace {

using test::TiffSpec;
using test::WriteTestTiff;
using zor::test::TempDir;

struct Recorder : IStatusSink, IStepPresenter, IStepWindow {
    void LogMessage(const std::string& text, bool, int level, bool) override {
        m_Log.push_back(std::to_string(level) + ":" + text);
    }
    void ShowWorkflowError(const std::string& title, const std::string& text,
                           bool restart) override {
        m_Errors.push_back(title + "|" + text + (restart ? "|restart" : ""));
    }
    void ShowStepWindowAndWait(const std::string& title, const std::string& line, int ms) override {
        m_Steps.push_back(title + "|" + line + "|" + std::to_string(ms));
    }
    std::vector<std::string> m_Log, m_Errors, m_Steps;
};

struct FakeLut : IProjectionLut {
    explicit FakeLut(std::vector<std::string>* calls, int result)
        : m_Calls(calls), m_Result(result) {}
    int LoadLUT(const std::string& id, int margin, const std::string& folder) override {
        m_Calls->push_back(id + "|" + std::to_string(margin) + "|" + folder);
        return m_Result;
    }
    std::vector<std::string>* m_Calls;
    int m_Result;
};

/// Doubles every sample and records the filter strings it saw.
struct DoublingFilter : IDisplayFilter {
    bool ApplyFilterString(const GreyImage16& src, GreyImage16& dst,
                           const std::string& f) override {
        m_Seen.push_back(f + "@" + std::to_string(src.m_Width));
        dst = src;
        for (auto& v : dst.m_Samples)
            v = static_cast<uint16_t>(v * 2);
        return true;
    }
    std::vector<std::string> m_Seen;
};

class PanoramicLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_Dir.Path() / "config_zor" / "zor_manager");
        std::filesystem::create_directories(m_Dir.Path() / "work");
        AddLut("0.0.31.1");
        m_Settings.m_InstallDir = m_Dir.Path().string();
    }
    void AddLut(const std::string& id) {
        std::ofstream(m_Dir.Path() / "config_zor" / (id + "_X.LUT")) << "lut";
    }
    PanoramicLoader MakeLoader(int lutResult = 0) {
        PanoramicPorts ports;
        ports.m_Status = &m_Recorder;
        ports.m_Steps = &m_Recorder;
        ports.m_StepWindow = &m_Recorder;
        ports.m_Filter = &m_Filter;
        ports.m_MakeLut = [this, lutResult] {
            return std::make_unique<FakeLut>(&m_LutCalls, lutResult);
        };
        ports.m_Now = [] { return 1780000000LL; };
        return PanoramicLoader(m_Settings, ports);
    }
    std::string Folder() const { return m_Dir.Path().string() + "/config_zor/"; }

    TempDir m_Dir;
    ImageSettings m_Settings;
    Recorder m_Recorder;
    DoublingFilter m_Filter;
    std::vector<std::string> m_LutCalls;
};

TiffSpec Described(const std::string& description) {
    TiffSpec spec;
    spec.m_Description = description;
    return spec;
}

TEST_F(PanoramicLoaderTest, CommaFormLoadsItsLut) {
    const std::string path = m_Dir.File("p.tif");
    ASSERT_TRUE(WriteTestTiff(
        path, Described("orvix=200,projection=0.0.31,tech_fact_s=12,margin_left=70")));
    PanoramicLoader loader = MakeLoader();
    EXPECT_TRUE(loader.LoadPanoramicMetadata(path));
    EXPECT_EQ(m_LutCalls, std::vector<std::string>{"0.0.31.1|70|" + Folder()});
    EXPECT_TRUE(m_Recorder.m_Errors.empty());
    EXPECT_FLOAT_EQ(loader.Bands().m_Top, 145.0f / 1528.0f);
    EXPECT_EQ(loader.Projection()->m_MarginLeft, 70);
}

TEST_F(PanoramicLoaderTest, LutFailures) {
    struct Case {
        std::string description;
        int lutResult;
        bool loaded;
        std::string error;
    };
    const Case cases[] = {
        {"projection=0.0.25,projection_version=3", 0, false,
         "PANORAMIC IMAGE ACQUISITION ERROR|Incompatible panoramic projection\r\n"
         "(0.0.25.3_X.LUT not found)|restart"},
        {"projection=0.0.25", 0, false,
         "PANORAMIC IMAGE ACQUISITION ERROR|Incompatible panoramic projection\r\n"
         "(_X.LUT not found)|restart"},
        {"projection=0.0.31", 7, false,
         "PANORAMIC IMAGE ACQUISITION ERROR|Kestel load LUT (LUT not found)|restart"},
    };
    for (const Case& c : cases) {
        m_Recorder.m_Errors.clear();
        const std::string path = m_Dir.File("f.tif");
        ASSERT_TRUE(WriteTestTiff(path, Described(c.description)));
        PanoramicLoader loader = MakeLoader(c.lutResult);
        EXPECT_EQ(loader.LoadPanoramicMetadata(path), c.loaded) << c.description;
        EXPECT_EQ(m_Recorder.m_Errors, std::vector<std::string>{c.error}) << c.description;
    }
}

TEST_F(PanoramicLoaderTest, DescriptionForms) {
    PanoramicLoader loader = MakeLoader(9);  // the library refuses every LUT
    const std::string technics = m_Dir.File("t.tif");
    TiffSpec spec;
    spec.m_Xmp =
        "<Technics type=\"string\">projection=0.0.31\r\nprojection_version=1\r\n</Technics>";
    ASSERT_TRUE(WriteTestTiff(technics, spec));
    EXPECT_TRUE(loader.LoadPanoramicMetadata(technics));  // the Technics path ignores the result
    EXPECT_TRUE(m_Recorder.m_Errors.empty());
    EXPECT_EQ(loader.Info().NormalisedDescription.Str().rfind("orvix=200,source=Unknown", 0), 0u);

    const std::string marker = m_Dir.File("m.tif");
    TiffSpec markerSpec;
    markerSpec.m_Marker1000 = true;
    ASSERT_TRUE(WriteTestTiff(marker, markerSpec));
    PanoramicLoader accepting = MakeLoader(0);
    accepting.Info().ProjectionId = "0.0.31.1";
    EXPECT_TRUE(accepting.LoadPanoramicMetadata(marker));
    EXPECT_TRUE(accepting.Info().NormalisedDescription.Empty());

    const std::string bare = m_Dir.File("b.tif");
    ASSERT_TRUE(WriteTestTiff(bare, TiffSpec()));
    EXPECT_FALSE(accepting.LoadPanoramicMetadata(bare));
    EXPECT_FALSE(accepting.ReadCommaFormFile(technics));
    zor::test::WriteFile(m_Dir.File("text.tif"), "hello");
    EXPECT_FALSE(accepting.LoadPanoramicMetadata(m_Dir.File("text.tif")));
    EXPECT_FALSE(accepting.LoadPanoramicMetadata(m_Dir.File("absent.tif")));
}

TEST_F(PanoramicLoaderTest, OtherProjectionFamilyIsRefusedWithTheStepWindow) {
    const std::string path = m_Dir.File("major.tif");
    ASSERT_TRUE(WriteTestTiff(path, Described("orvix=200,projection=1.0.31")));
    PanoramicLoader loader = MakeLoader();
    EXPECT_FALSE(loader.LoadPanoramicMetadata(path));
    EXPECT_EQ(m_Recorder.m_Steps,
              std::vector<std::string>{"TOMOSYNTHESIS PROJECTIONS ACQUISITION ERROR|"
                                       "Please select a panoramic group exam|5000"});
    EXPECT_TRUE(m_LutCalls.empty());
}

std::vector<uint16_t> Pattern(int width, int height, uint16_t maxValue) {
    std::vector<uint16_t> s(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            s[y * width + x] = static_cast<uint16_t>((x * 3 + y * 5) % 1000);
    }
    s[s.size() / 2] = maxValue;
    return s;
}

TEST_F(PanoramicLoaderTest, SixteenBitPreparation) {
    struct Case {
        uint16_t maxValue;
        int bits;
    };
    for (const Case c :
         {Case{255, 8}, Case{999 + 1, 12}, Case{4095, 12}, Case{4096, 16}, Case{65535, 16}}) {
        const std::string path = m_Dir.File("s.tif");
        TiffSpec spec = Described("orvix=200,treat=ECE 0.000;1.000");
        spec.m_Width = 600;
        spec.m_Height = 9;
        spec.m_Samples = Pattern(600, 9, c.maxValue);
        if (c.maxValue == 255) {
            for (auto& v : spec.m_Samples)
                v = static_cast<uint16_t>(std::min<int>(v, 255));
        }
        ASSERT_TRUE(WriteTestTiff(path, spec));
        PanoramicLoader loader = MakeLoader();
        loader.LoadPanoramicMetadata(path);
        m_Filter.m_Seen.clear();
        ASSERT_EQ(loader.LoadPanoramicImage(path, true), 0);
        const PanoramicView& view = *loader.View();
        ASSERT_TRUE(view.m_Loaded);
        EXPECT_EQ(view.m_Full.m_Bits, c.bits) << c.maxValue;
        EXPECT_EQ(view.m_SpacingX, 0.096);
        ASSERT_EQ(view.m_Full.m_Samples.size(), spec.m_Samples.size());
        for (size_t i = 0; i < spec.m_Samples.size(); ++i) {
            ASSERT_EQ(view.m_Full.m_Samples[i], static_cast<uint16_t>(spec.m_Samples[i] * 2)) << i;
        }
        EXPECT_EQ(m_Filter.m_Seen,
                  (std::vector<std::string>{"ECE 0.000,1.000@600", "ECE 0.000,1.000@200"}));
        EXPECT_EQ(loader.ExportTimeStamp().size(), 19u);
    }
}

// Images wider than 266 columns shrink by a whole step in both directions; each preview sample
// averages `step` samples of its row ending just after its column, so on a ramp of 4 per column
// an interior sample is 4 × column − 2.
TEST(Preview, ShrinksWideImagesByAveragingAlongTheRow) {
    struct Case {
        int width, previewWidth, previewHeight;
    };
    for (const Case c : {Case{1, 1, 23}, Case{266, 266, 23}, Case{267, 133, 11}, Case{600, 200, 7},
                         Case{2693, 244, 2}}) {
        GreyImage16 source;
        source.m_Width = c.width;
        source.m_Height = 23;
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < c.width; ++x)
                source.m_Samples.push_back(static_cast<uint16_t>(4 * x));
        }
        const GreyImage16 preview = BuildPreview(source);
        ASSERT_EQ(preview.m_Width, c.previewWidth) << c.width;
        ASSERT_EQ(preview.m_Height, c.previewHeight) << c.width;
        const int step = c.width / c.previewWidth;
        for (int k = 1; k < preview.m_Width; ++k) {
            const int expected = step == 1 ? 4 * k : 4 * k * step - 2;
            EXPECT_EQ(preview.m_Samples[static_cast<size_t>(preview.m_Width + k)], expected)
                << c.width << " at " << k;
        }
    }
}

TEST_F(PanoramicLoaderTest, TemplateModeLeavesPreviewUntreated) {
    const std::string path = m_Dir.File("tpl.tif");
    TiffSpec spec;
    spec.m_Width = 300;
    spec.m_Height = 4;
    spec.m_Samples = Pattern(300, 4, 5000);
    ASSERT_TRUE(WriteTestTiff(path, spec));
    AddLut("0.0.31.10");
    PanoramicLoader loader = MakeLoader();
    ASSERT_TRUE(loader.BuildTemplateDescription(TemplateAcquisition{}));
    ASSERT_EQ(loader.LoadPanoramicImage(path, false, true), 0);
    EXPECT_EQ(m_Filter.m_Seen,
              std::vector<std::string>{
                  "ECE 0.000,1.000,0.180,0.8200,0.500,0.300,100.000,100.000,200.000,200.000@300"});
    GreyImage16 untreated;
    untreated.m_Width = 300;
    untreated.m_Height = 4;
    untreated.m_Samples = spec.m_Samples;
    EXPECT_EQ(loader.View()->m_Preview.m_Samples, BuildPreview(untreated).m_Samples);
    EXPECT_TRUE(loader.ExportTimeStamp().empty());
}

TEST_F(PanoramicLoaderTest, EightBitLoadsWithoutPreparation) {
    const std::string path = m_Dir.File("eight.tif");
    TiffSpec spec;
    spec.m_Bits = 8;
    spec.m_Width = 40;
    spec.m_Samples = Pattern(40, 4, 200);
    ASSERT_TRUE(WriteTestTiff(path, spec));
    PanoramicLoader loader = MakeLoader();
    ASSERT_EQ(loader.LoadPanoramicImage(path, true), 0);
    EXPECT_FALSE(loader.View()->m_Loaded);
    EXPECT_TRUE(loader.View()->m_Preview.Empty());
    EXPECT_TRUE(loader.View()->m_Full.Empty());
    EXPECT_TRUE(m_Filter.m_Seen.empty());
    EXPECT_EQ(loader.WritePanoramicArchive(m_Dir.File("a8.tif"), {}), 0);
    EXPECT_FALSE(std::filesystem::exists(m_Dir.File("a8.tif")));
}

TEST_F(PanoramicLoaderTest, PreCheckRefusals) {
    const std::string path = m_Dir.File("r.tif");
    PanoramicLoader loader = MakeLoader();
    struct Case {
        const char* what;
        TiffSpec spec;
        size_t truncateTo;
    };
    TiffSpec rgb;
    rgb.m_Bits = 8;
    rgb.m_SamplesPerPixel = 3;
    rgb.m_Samples.assign(8 * 4 * 3, 1);
    TiffSpec tiled;
    tiled.m_Width = 32;
    tiled.m_Height = 32;
    tiled.m_Tiled = true;
    TiffSpec big;
    big.m_Width = 64;
    big.m_Height = 64;
    TiffSpec jpegLike;
    jpegLike.m_Compression = 32946;  // deflate: accepted
    TiffSpec wide;
    wide.m_Width = 16385;
    wide.m_Height = 1;
    wide.m_Bits = 8;
    TiffSpec jpeg;
    jpeg.m_Bits = 8;
    jpeg.m_Compression = 7;
    const Case cases[] = {{"rgb", rgb, 0},
                          {"tiled", tiled, 0},
                          {"truncated", big, 600},
                          {"too wide", wide, 0},
                          {"jpeg", jpeg, 0}};
    for (const Case& c : cases) {
        m_Recorder.m_Log.clear();
        ASSERT_TRUE(WriteTestTiff(path, c.spec)) << c.what;
        if (c.truncateTo)
            std::filesystem::resize_file(path, c.truncateTo);
        EXPECT_EQ(loader.LoadPanoramicImage(path, false), -3) << c.what;
        ASSERT_EQ(m_Recorder.m_Log.size(), 1u) << c.what;
        EXPECT_EQ(m_Recorder.m_Log[0].rfind("0:Panoramic image refused (", 0), 0u)
            << m_Recorder.m_Log[0];
    }
    zor::test::WriteFile(path, std::string_view("II*\0\xFF\xFF\xFF\x7F", 8));
    EXPECT_EQ(loader.LoadPanoramicImage(path, false), -3);
    EXPECT_EQ(loader.LoadPanoramicImage(m_Dir.File("none.tif"), false), -3);
    ASSERT_TRUE(WriteTestTiff(path, jpegLike));
    EXPECT_EQ(loader.LoadPanoramicImage(path, false), 0);
}

TEST_F(PanoramicLoaderTest, OwnWriterFilesLoadAndArchiveRoundTrips) {
    const std::vector<uint16_t> samples = Pattern(301, 7, 40000);
    const std::string path = m_Dir.File("own.tif");
    const std::string description = "orvix=200,projection=0.0.31";
    ASSERT_EQ(
        WriteTiff(path, 16, 7, 301, samples.data(), description.c_str(), description.size() + 1),
        0);
    std::string reason;
    EXPECT_TRUE(CheckTiffForLoad(path, reason)) << reason;
    PanoramicLoader loader = MakeLoader();
    EXPECT_EQ(loader.WritePanoramicArchive(m_Dir.File("x.tif"), {}), 1);
    ASSERT_EQ(loader.LoadPanoramicImage(path, true), 0);
    EXPECT_EQ(loader.View()->CopyRowsTopFirst(), samples);
    DescriptionText archiveText;
    archiveText.Append("orvix=200,img_id=archived");
    const std::string archive = m_Dir.File("archive.tif");
    ASSERT_EQ(loader.WritePanoramicArchive(archive, archiveText), 0);
    TiffDescriptionTags tags;
    ASSERT_TRUE(ReadTiffDescriptionTags(archive, tags));
    EXPECT_EQ(tags.m_Description, "orvix=200,img_id=archived");
    PanoramicLoader again = MakeLoader();
    ASSERT_EQ(again.LoadPanoramicImage(archive, false), 0);
    EXPECT_EQ(again.View()->CopyRowsTopFirst(), samples);
}

TEST_F(PanoramicLoaderTest, CurvePicture) {
    PanoramicLoader loader = MakeLoader();
    EXPECT_EQ(loader.LoadProjectionCurvePicture(), -3);  // not installed
    const std::string kestel = m_Dir.Path().string() + "/config_zor/zor_manager/kestel.bmp";
    zor::test::WriteFile(kestel, test::MakeBmp8(30, 20));
    ASSERT_EQ(loader.LoadProjectionCurvePicture(), 0);
    EXPECT_EQ(loader.Projection()->m_CurveWidth, 20);
    EXPECT_EQ(loader.Projection()->m_CurveHeight, 30);
    EXPECT_EQ(loader.Projection()->m_CurvePicture.BitsPerPixel(), 8u);

    std::vector<uint8_t> rle = test::MakeBmp8(30, 20);
    rle[30] = 1;  // BI_RLE8
    std::vector<uint8_t> cut = test::MakeBmp8(30, 20);
    cut.resize(cut.size() - 10);
    std::vector<uint8_t> huge = test::MakeBmp8(30, 20);
    huge[21] = 0x7F;  // width 0x7F00001E
    std::vector<uint8_t> palette = test::MakeBmp8(30, 20);
    palette[47] = 0x10;  // 4096 colours for 8 bits
    for (const auto& bytes : {rle, cut, huge, palette}) {
        m_Recorder.m_Log.clear();
        zor::test::WriteFile(kestel, bytes);
        EXPECT_EQ(loader.LoadProjectionCurvePicture(), -3);
        ASSERT_EQ(m_Recorder.m_Log.size(), 1u);
        EXPECT_EQ(m_Recorder.m_Log[0].rfind("0:Projection curve picture refused (", 0), 0u);
    }
}

TEST_F(PanoramicLoaderTest, PrepareForSelectionModes) {
    const std::vector<uint16_t> samples = Pattern(300, 5, 3000);
    const std::string caller = m_Dir.File("caller.tif");
    TiffSpec spec = Described("orvix=200,projection=0.0.31,img_id=c1");
    spec.m_Width = 300;
    spec.m_Height = 5;
    spec.m_Samples = samples;
    ASSERT_TRUE(WriteTestTiff(caller, spec));
    PanoramicLoader loader = MakeLoader();
    SelectionModes modes;
    modes.m_CallerPanoramicMode = true;
    modes.m_CallerPanoramicPath = caller;
    EXPECT_FALSE(loader.PreparePanoramicForSelection(modes));  // no curve picture yet
    EXPECT_EQ(m_Recorder.m_Errors,
              std::vector<std::string>{
                  "PANORAMIC IMAGE ACQUISITION ERROR|Error on reading panoramic image|restart"});
    zor::test::WriteFile(m_Dir.Path().string() + "/config_zor/zor_manager/kestel.bmp",
                         test::MakeBmp8(8, 8));
    ASSERT_TRUE(loader.PreparePanoramicForSelection(modes));
    TiffDescriptionTags tags;
    ASSERT_TRUE(ReadTiffDescriptionTags(m_Dir.File("work/pano_archive.tif"), tags));
    EXPECT_EQ(tags.m_Description, "orvix=200,projection=0.0.31,img_id=c1");

    std::filesystem::copy_file(caller, m_Dir.File("work/cur_pano.tif"));
    EXPECT_TRUE(loader.PreparePanoramicForSelection(SelectionModes{}));

    SelectionModes templ;
    templ.m_TemplateMode = true;
    AddLut("0.0.31.10");
    ASSERT_TRUE(WriteTestTiff(m_Dir.File("work/pano_template.tif"), spec));
    EXPECT_TRUE(loader.PreparePanoramicForSelection(templ));
    EXPECT_EQ(m_LutCalls.back(), "0.0.31.10|74|" + Folder());
    EXPECT_EQ(loader.Info().m_ImageId.size(), 19u);
}

TEST_F(PanoramicLoaderTest, SupportReport) {
    const std::string path = m_Dir.File("report.tif");
    ASSERT_TRUE(WriteTestTiff(
        path, Described("orvix=200,projection=0.0.6,projection_version=2,treat=gamma 1;2")));
    const std::string report = DescribePanoramic(path, m_Settings);
    for (const char* piece : {"image pre-check: accepted", "description form: comma (tag 270)",
                              "ProjectionId: 0.0.6.2", "  gamma 1,2\n", "0.0.6.2_X.LUT (not found)",
                              "Incompatible panoramic projection", "result: refused"}) {
        EXPECT_NE(report.find(piece), std::string::npos) << piece << "\n" << report;
    }
    AddLut("0.0.6.2");
    EXPECT_NE(DescribePanoramic(path, m_Settings).find("result: metadata and LUT accepted"),
              std::string::npos);
    EXPECT_NE(DescribePanoramic(m_Dir.File("nothing.tif"), m_Settings).find("result: refused"),
              std::string::npos);
}

}  // namespace
}  // namespace zor::images
