// Panoramic load (with preview and treatment) against the bare decode, and the system's
// TIFF writer against libtiff's own write, on a 2693 x 1538 16-bit panoramic.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "images/ImageConstants.h"
#include "images/PanoramicLoader.h"
#include "images/TiffWriter.h"

namespace {

constexpr int kWidth = 2693;
constexpr int kHeight = 1538;

struct Fixture {
    std::filesystem::path m_Dir;
    std::vector<uint16_t> m_Samples;
    std::string m_Description;
    std::string m_Panoramic;

    Fixture() {
        m_Dir = std::filesystem::temp_directory_path() /
                ("zor_images_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_Dir);
        m_Samples.resize(static_cast<size_t>(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                m_Samples[static_cast<size_t>(y) * kWidth + x] =
                    static_cast<uint16_t>((x * 13 + y * 7) & 0x3FFF);
            }
        }
        m_Description =
            std::string(zor::images::kTemplateDescription) +
            ",pixsize=0.096000,Y_value=0.000000,tech_fact_kV=70,img_id=2026-12-06_02-10-05";
        m_Panoramic = (m_Dir / "pano.tif").string();
        LibtiffWrite(m_Panoramic);
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(m_Dir, ec);
    }

    bool LibtiffWrite(const std::string& path) const {
        TIFF* t = TIFFOpen(path.c_str(), "w");
        if (t == nullptr)
            return false;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(kWidth));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(kHeight));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
        TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, m_Description.c_str());
        bool ok = true;
        for (int y = 0; y < kHeight && ok; ++y) {
            ok = TIFFWriteScanline(
                     t, const_cast<uint16_t*>(m_Samples.data()) + static_cast<size_t>(y) * kWidth,
                     static_cast<uint32_t>(y), 0) == 1;
        }
        TIFFClose(t);
        return ok;
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void BM_LoadPanoramicImage(benchmark::State& state) {
    Fixture& f = Shared();
    zor::images::ImageSettings settings;
    zor::images::PanoramicLoader loader(settings, {});
    loader.Info().NormalisedDescription.AssignClipped(f.m_Description);
    for (auto _ : state) {
        if (loader.LoadPanoramicImage(f.m_Panoramic, true) != 0)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(loader.View());
    }
}

void BM_FreeImageBareLoad(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        zor::images::Bitmap image;
        if (!image.Load(zor::images::Bitmap::Format::Tiff, f.m_Panoramic))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(image.ScanLine(0));
    }
}

void BM_WriteTiff(benchmark::State& state) {
    Fixture& f = Shared();
    const std::string path = (f.m_Dir / "own.tif").string();
    for (auto _ : state) {
        if (zor::images::WriteTiff(path, 16, kHeight, kWidth, f.m_Samples.data(),
                                   f.m_Description.c_str(), f.m_Description.size() + 1) != 0) {
            state.SkipWithError("write failed");
        }
    }
}

void BM_LibtiffWrite(benchmark::State& state) {
    Fixture& f = Shared();
    const std::string path = (f.m_Dir / "libtiff.tif").string();
    for (auto _ : state) {
        if (!f.LibtiffWrite(path))
            state.SkipWithError("write failed");
    }
}

#define ZOR_IMAGES_BENCH(fn) \
    BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true)

ZOR_IMAGES_BENCH(BM_LoadPanoramicImage);
ZOR_IMAGES_BENCH(BM_FreeImageBareLoad);
ZOR_IMAGES_BENCH(BM_WriteTiff);
ZOR_IMAGES_BENCH(BM_LibtiffWrite);

}  // namespace

BENCHMARK_MAIN();
