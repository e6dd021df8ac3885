#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <tuple>

#include "images/Bitmap.h"
#include "images/ImageFileCheck.h"
#include "images/PanoramicLoader.h"
#include "images/TiffWriter.h"
#include "support/TempDir.h"

namespace zor::images {
namespace {

using zor::test::TempDir;
namespace fs = std::filesystem;

struct Recorder : IStatusSink, IWorkflowErrors, IStepWindow {
    void LogMessage(const std::string& text, bool, int level, bool) override {
        m_Log.push_back(std::to_string(level) + ":" + text);
    }
    void ShowWorkflowError(const std::string& title, const std::string& text,
                           bool restart) override {
        m_Errors.push_back(title + "|" + text + (restart ? "|restart" : ""));
    }
    void ShowStep(const StepContent&) override {}
    void HideStep() override {}
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

/// How a test TIFF is written: with libtiff, so that it can hold what the product's writer cannot.
struct TiffSpec {
    int m_Width = 8, m_Height = 4, m_Bits = 16, m_SamplesPerPixel = 1;
    std::vector<uint16_t> m_Samples;  ///< width × height × spp, top row first; empty: zeros
    std::optional<std::string> m_Description, m_Xmp;
    bool m_Marker1000 = false, m_Tiled = false;
    uint16_t m_Compression = 1;
};

bool WriteTestTiff(const std::string& path, const TiffSpec& spec) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (t == nullptr)
        return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(spec.m_Width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(spec.m_Height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(spec.m_Bits));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(spec.m_SamplesPerPixel));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                 spec.m_SamplesPerPixel == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, spec.m_Compression);
    if (spec.m_Description)
        TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, spec.m_Description->c_str());
    if (spec.m_Xmp)
        TIFFSetField(t, TIFFTAG_XMLPACKET, static_cast<uint32_t>(spec.m_Xmp->size()),
                     spec.m_Xmp->data());
    if (spec.m_Marker1000) {  // meaningless to libtiff: declared before it can be written
        static const TIFFFieldInfo kMarker[] = {
            {1000, -1, -1, TIFF_LONG, FIELD_CUSTOM, 1, 1, const_cast<char*>("PanoramicMarker")}};
        TIFFMergeFieldInfo(t, kMarker, 1);
        const uint32_t one = 1;
        TIFFSetField(t, 1000, 1, &one);
    }
    std::vector<uint16_t> wide = spec.m_Samples;
    wide.resize(static_cast<size_t>(spec.m_Width) * spec.m_Height * spec.m_SamplesPerPixel);
    std::vector<uint8_t> narrow(wide.begin(), wide.end());
    bool ok = true;
    if (spec.m_Tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16u);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16u);
        narrow.assign(static_cast<size_t>(TIFFTileSize(t)), 0);
        for (uint32_t i = 0; i < TIFFNumberOfTiles(t) && ok; ++i)
            ok = TIFFWriteEncodedTile(t, i, narrow.data(), TIFFTileSize(t)) >= 0;
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(spec.m_Height));
        ok = TIFFWriteEncodedStrip(
                 t, 0, spec.m_Bits == 16 ? static_cast<void*>(wide.data()) : narrow.data(),
                 static_cast<tmsize_t>(wide.size() * spec.m_Bits / 8)) >= 0;
    }
    TIFFClose(t);
    return ok;
}

/// Samples (3x + 5y) mod 1000 (mod `maxValue` when smaller) with `maxValue` in the middle.
std::vector<uint16_t> Pattern(int width, int height, uint16_t maxValue) {
    std::vector<uint16_t> s(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] =
            static_cast<uint16_t>((i % width * 3 + i / width * 5) % std::min<int>(1000, maxValue));
    s[s.size() / 2] = maxValue;
    return s;
}

/// An uncompressed 8-bit palette BMP of width × height.
std::vector<uint8_t> MakeBmp8(int width, int height) {
    const uint32_t w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
    const uint32_t row = (w + 3) & ~3u, offset = 14 + 40 + 256 * 4, size = offset + row * h;
    std::vector<uint8_t> b(size, 0);
    const std::pair<size_t, uint32_t> fields[] = {{2, size}, {10, offset}, {14, 40},
                                                  {18, w},   {22, h},      {34, row * h}};
    for (const auto& [at, v] : fields) {
        for (size_t i = 0; i < 4; ++i)
            b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    b[0] = 'B', b[1] = 'M', b[26] = 1, b[28] = 8;  // a black palette and picture
    return b;
}

class PanoramicLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_Dir.Path() / "work");
        AddLut("0.0.31.1");
        m_Settings.m_InstallDir = m_Dir.Path().string();
    }
    void AddLut(const std::string& id) { m_Dir.Write("config_zor/" + id + "_X.LUT", "lut"); }
    PanoramicLoader MakeLoader(int lutResult = 0) {
        PanoramicPorts ports;
        ports.m_Status = &m_Recorder, ports.m_Steps = &m_Recorder;
        ports.m_StepWindow = &m_Recorder, ports.m_Filter = &m_Filter;
        ports.m_MakeLut = [this, lutResult] {
            return std::make_unique<FakeLut>(&m_LutCalls, lutResult);
        };
        ports.m_Now = [] { return 1780000000LL; };
        return PanoramicLoader(m_Settings, ports);
    }
    /// Writes `spec` as `name` in the test folder and returns its path.
    std::string Tiff(const std::string& name, const TiffSpec& spec) {
        EXPECT_TRUE(WriteTestTiff(m_Dir.File(name), spec)) << name;
        return m_Dir.File(name);
    }
    std::string Folder() const { return m_Dir.Slash() + "config_zor/"; }
    void WriteCurvePicture(const std::vector<uint8_t>& bmp) {
        zor::test::WriteFile(m_Dir / "config_zor/zor_manager/kestel.bmp", bmp);
    }
    TempDir m_Dir;
    ImageSettings m_Settings;
    Recorder m_Recorder;
    DoublingFilter m_Filter;
    std::vector<std::string> m_LutCalls;
};

TEST_F(PanoramicLoaderTest, LutFailuresAndDescriptionForms) {
    const std::tuple<std::string, int, std::string> cases[] = {
        {"projection=0.0.25,projection_version=3", 0,
         "Incompatible panoramic projection\r\n(0.0.25.3_X.LUT not found)|restart"},
        {"projection=0.0.25", 0, "Incompatible panoramic projection\r\n(_X.LUT not found)|restart"},
        {"projection=0.0.31", 7, "Kestel load LUT (LUT not found)|restart"},
    };
    for (const auto& [description, lutResult, error] : cases) {
        m_Recorder.m_Errors.clear();
        const std::string path = Tiff("f.tif", {.m_Description = description});
        EXPECT_FALSE(MakeLoader(lutResult).LoadPanoramicMetadata(path)) << description;
        EXPECT_EQ(m_Recorder.m_Errors,
                  std::vector<std::string>{"PANORAMIC IMAGE ACQUISITION ERROR|" + error});
    }
    // Another projection family is refused with the step window, before any LUT.
    m_LutCalls.clear();
    const std::string major = Tiff("major.tif", {.m_Description = "orvix=200,projection=1.0.31"});
    EXPECT_FALSE(MakeLoader().LoadPanoramicMetadata(major));
    EXPECT_EQ(m_Recorder.m_Steps,
              std::vector<std::string>{"TOMOSYNTHESIS PROJECTIONS ACQUISITION ERROR|"
                                       "Please select a panoramic group exam|5000"});
    EXPECT_TRUE(m_LutCalls.empty());
    m_Recorder.m_Errors.clear();
    PanoramicLoader loader = MakeLoader(9);  // the library refuses every LUT
    const std::string technics = Tiff(
        "t.tif",
        {.m_Xmp =
             "<Technics type=\"string\">projection=0.0.31\r\nprojection_version=1\r\n</Technics>"});
    EXPECT_TRUE(loader.LoadPanoramicMetadata(technics));  // the Technics path ignores the result
    EXPECT_EQ(loader.Info().NormalisedDescription.Str().rfind("orvix=200,source=Unknown", 0), 0u);
    PanoramicLoader accepting = MakeLoader(0);  // the comma form: its LUT, margin and bands
    EXPECT_TRUE(accepting.LoadPanoramicMetadata(Tiff(
        "p.tif", {.m_Description = "orvix=200,projection=0.0.31,tech_fact_s=12,margin_left=70"})));
    EXPECT_EQ(m_LutCalls.back(), "0.0.31.1|70|" + Folder());
    EXPECT_FLOAT_EQ(accepting.Bands().m_Top, 145.0f / 1528.0f);
    accepting.Info().ProjectionId = "0.0.31.1";  // held for a file with the marker only
    EXPECT_TRUE(accepting.LoadPanoramicMetadata(Tiff("m.tif", {.m_Marker1000 = true})));
    EXPECT_TRUE(accepting.Info().NormalisedDescription.Empty());
    EXPECT_TRUE(m_Recorder.m_Errors.empty());
    EXPECT_FALSE(accepting.LoadPanoramicMetadata(Tiff("b.tif", {})));
    EXPECT_FALSE(accepting.ReadCommaFormFile(technics));
    EXPECT_FALSE(accepting.LoadPanoramicMetadata(m_Dir.Write("text.tif", "hello")));
    EXPECT_FALSE(accepting.LoadPanoramicMetadata(m_Dir.File("absent.tif")));
}

// 8-, 12- and 16-bit contents of 16-bit files: depth, and treatments of image and preview; an
// 8-bit file loads without preparation.
TEST_F(PanoramicLoaderTest, SixteenBitPreparationEightBitNone) {
    const std::pair<int, int> depths[] = {
        {255, 8}, {1000, 12}, {4095, 12}, {4096, 16}, {65535, 16}};
    for (const auto& [maxValue, bits] : depths) {
        TiffSpec spec{
            .m_Width = 600, .m_Height = 9, .m_Description = "orvix=200,treat=ECE 0.000;1.000"};
        spec.m_Samples = Pattern(600, 9, static_cast<uint16_t>(maxValue));
        const std::string path = Tiff("s.tif", spec);
        PanoramicLoader loader = MakeLoader();
        loader.LoadPanoramicMetadata(path);
        m_Filter.m_Seen.clear();
        ASSERT_EQ(loader.LoadPanoramicImage(path, true), 0);
        for (auto& v : spec.m_Samples)
            v = static_cast<uint16_t>(v * 2);  // the filter's doubling
        EXPECT_TRUE(loader.View()->m_Loaded && loader.View()->m_Full.m_Samples == spec.m_Samples);
        EXPECT_EQ(loader.View()->m_Full.m_Bits, bits) << maxValue;
        EXPECT_EQ(m_Filter.m_Seen,
                  (std::vector<std::string>{"ECE 0.000,1.000@600", "ECE 0.000,1.000@200"}));
        EXPECT_EQ(loader.ExportTimeStamp().size(), 19u);
    }
    m_Filter.m_Seen.clear();
    const std::string path =
        Tiff("eight.tif", {.m_Width = 40, .m_Bits = 8, .m_Samples = Pattern(40, 4, 200)});
    PanoramicLoader loader = MakeLoader();
    ASSERT_EQ(loader.LoadPanoramicImage(path, true), 0);
    EXPECT_FALSE(loader.View()->m_Loaded);
    EXPECT_TRUE(loader.View()->m_Preview.Empty() && loader.View()->m_Full.Empty());
    EXPECT_TRUE(m_Filter.m_Seen.empty());
    EXPECT_EQ(loader.WritePanoramicArchive(m_Dir.File("a8.tif"), {}), 0);
    EXPECT_FALSE(fs::exists(m_Dir.File("a8.tif")));
}

// Wider than 266 columns: shrunk by a whole step; a sample averages `step` of its row ending
// just after its column, so on a ramp of 4 per column an interior sample is 4 × column − 2.
TEST(Preview, ShrinksWideImagesByAveragingAlongTheRow) {
    const int cases[][3] = {
        {1, 1, 23}, {266, 266, 23}, {267, 133, 11}, {600, 200, 7}, {2693, 244, 2}};
    for (const auto& [width, previewWidth, previewHeight] : cases) {
        GreyImage16 source{.m_Width = width, .m_Height = 23};
        for (int i = 0; i < 23 * width; ++i)
            source.m_Samples.push_back(static_cast<uint16_t>(4 * (i % width)));
        const GreyImage16 preview = BuildPreview(source);
        ASSERT_EQ(std::pair(preview.m_Width, preview.m_Height),
                  std::pair(previewWidth, previewHeight))
            << width;
        const int step = width / previewWidth;
        for (int k = 1; k < preview.m_Width; ++k) {
            const int expected = step == 1 ? 4 * k : 4 * k * step - 2;
            EXPECT_EQ(preview.m_Samples[static_cast<size_t>(preview.m_Width + k)], expected)
                << width << " at " << k;
        }
    }
}

TEST_F(PanoramicLoaderTest, PreCheckRefusals) {
    PanoramicLoader loader = MakeLoader();
    const std::tuple<const char*, TiffSpec, size_t> cases[] = {
        {"rgb", {.m_Bits = 8, .m_SamplesPerPixel = 3}, 0},
        {"tiled", {.m_Width = 32, .m_Height = 32, .m_Tiled = true}, 0},
        {"truncated", {.m_Width = 64, .m_Height = 64}, 600},
        {"too wide", {.m_Width = 16385, .m_Height = 1, .m_Bits = 8}, 0},
        {"jpeg", {.m_Bits = 8, .m_Compression = 7}, 0},
    };
    for (const auto& [what, spec, truncateTo] : cases) {
        m_Recorder.m_Log.clear();
        const std::string path = Tiff("r.tif", spec);
        if (truncateTo)
            fs::resize_file(path, truncateTo);
        EXPECT_EQ(loader.LoadPanoramicImage(path, false), -3) << what;
        ASSERT_EQ(m_Recorder.m_Log.size(), 1u) << what;
        EXPECT_EQ(m_Recorder.m_Log[0].rfind("0:Panoramic image refused (", 0), 0u)
            << m_Recorder.m_Log[0];
    }
    EXPECT_EQ(loader.LoadPanoramicImage(m_Dir.Write("r.tif", {"II*\0\xFF\xFF\xFF\x7F", 8}), false),
              -3);
    EXPECT_EQ(loader.LoadPanoramicImage(m_Dir.File("none.tif"), false), -3);
    EXPECT_EQ(loader.LoadPanoramicImage(Tiff("r.tif", {.m_Compression = 32946}), false), 0);
    // A FIFO is refused at once by the pre-check, the tag reader and the bitmap itself.
    const std::string fifo = m_Dir.File("fifo.tif");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(loader.LoadPanoramicImage(fifo, false), -3);
    TiffDescriptionTags tags;
    std::string reason;
    EXPECT_FALSE(ReadTiffDescriptionTags(fifo, tags, &reason));
    EXPECT_NE(reason.find("FIFO"), std::string::npos) << reason;
    EXPECT_FALSE(Bitmap().Load(Bitmap::Format::Tiff, fifo));
}

TEST_F(PanoramicLoaderTest, OwnWriterFilesLoadAndArchiveRoundTrips) {
    const std::vector<uint16_t> samples = Pattern(301, 7, 40000);
    const std::string path = m_Dir.File("own.tif");
    const char description[] = "orvix=200,projection=0.0.31";
    ASSERT_EQ(WriteTiff(path, 16, 7, 301, samples.data(), description, sizeof description), 0);
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

TEST_F(PanoramicLoaderTest, CurvePictureAndPrepareForSelectionModes) {
    PanoramicLoader curve = MakeLoader();
    EXPECT_EQ(curve.LoadProjectionCurvePicture(), -3);  // not installed
    WriteCurvePicture(MakeBmp8(30, 20));
    ASSERT_EQ(curve.LoadProjectionCurvePicture(), 0);
    EXPECT_EQ(std::pair(curve.Projection()->m_CurveWidth, curve.Projection()->m_CurveHeight),
              std::pair(20, 30));
    // RLE, cut short, width 0x7F00001E, 4096 colours for 8 bits.
    const std::pair<int, int> damages[] = {{30, 1}, {-1, 0}, {21, 0x7F}, {47, 0x10}};
    for (const auto& [at, value] : damages) {
        std::vector<uint8_t> bytes = MakeBmp8(30, 20);
        if (at < 0)
            bytes.resize(bytes.size() - 10);
        else
            bytes[static_cast<size_t>(at)] = static_cast<uint8_t>(value);
        m_Recorder.m_Log.clear();
        WriteCurvePicture(bytes);
        EXPECT_EQ(curve.LoadProjectionCurvePicture(), -3) << at;
        ASSERT_EQ(m_Recorder.m_Log.size(), 1u);
        EXPECT_EQ(m_Recorder.m_Log[0].rfind("0:Projection curve picture refused (", 0), 0u);
    }
    fs::remove(m_Dir / "config_zor/zor_manager/kestel.bmp");
    const TiffSpec spec{.m_Width = 300,
                        .m_Height = 5,
                        .m_Samples = Pattern(300, 5, 3000),
                        .m_Description = "orvix=200,projection=0.0.31,img_id=c1"};
    const std::string caller = Tiff("caller.tif", spec);
    PanoramicLoader loader = MakeLoader();
    const SelectionModes modes{.m_CallerPanoramicMode = true, .m_CallerPanoramicPath = caller};
    EXPECT_FALSE(loader.PreparePanoramicForSelection(modes));  // no curve picture yet
    EXPECT_EQ(m_Recorder.m_Errors,
              std::vector<std::string>{
                  "PANORAMIC IMAGE ACQUISITION ERROR|Error on reading panoramic image|restart"});
    WriteCurvePicture(MakeBmp8(8, 8));
    ASSERT_TRUE(loader.PreparePanoramicForSelection(modes));
    TiffDescriptionTags tags;
    ASSERT_TRUE(ReadTiffDescriptionTags(m_Dir.File("work/pano_archive.tif"), tags));
    EXPECT_EQ(tags.m_Description, "orvix=200,projection=0.0.31,img_id=c1");
    fs::copy_file(caller, m_Dir.File("work/cur_pano.tif"));
    EXPECT_TRUE(loader.PreparePanoramicForSelection(SelectionModes{}));
    AddLut("0.0.31.10");
    Tiff("work/pano_template.tif", spec);
    m_Filter.m_Seen.clear();
    EXPECT_TRUE(loader.PreparePanoramicForSelection({.m_TemplateMode = true}));
    EXPECT_EQ(m_LutCalls.back(), "0.0.31.10|74|" + Folder());
    EXPECT_EQ(loader.Info().m_ImageId.size(), 19u);
    // The template's treatment runs on the full image only: its preview stays untreated.
    EXPECT_EQ(m_Filter.m_Seen,
              std::vector<std::string>{
                  "ECE 0.000,1.000,0.180,0.8200,0.500,0.300,100.000,100.000,200.000,200.000@300"});
    const GreyImage16 untreated{.m_Width = 300, .m_Height = 5, .m_Samples = spec.m_Samples};
    EXPECT_EQ(loader.View()->m_Preview.m_Samples, BuildPreview(untreated).m_Samples);
}

}  // namespace
}  // namespace zor::images
