// "Export all" as the operator waits for it: 50 crosses of an examination-sized volume (50 x 240
// x 270) cut, cropped, each with the panoramic strip below it, described and written with the
// system's own writer. Beside it the same 50 finished images written by our writer alone and by
// libtiff's (one strip, no compression), so the two writers are compared on the same data in the
// same run. The folder lies beside this program in the build tree, so the files go to the page
// cache of the installation's file system rather than to a possibly memory-backed /tmp.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/Export.h"
#include "images/DescriptionComposer.h"
#include "images/PanoramicView.h"
#include "images/TiffWriter.h"
#include "zor_vol/VolumeClass.h"

namespace fs = std::filesystem;
using namespace zor;

namespace {

constexpr int kFiles = 50;

/// The volume, the panoramic and the finished images, made once.
struct Data {
    VolumeClass volume;
    images::PanoramicView panoramic;
    acquisition::SliceSource source;
    fs::path folder = fs::read_symlink("/proc/self/exe").parent_path() / "export-bench";
    std::vector<std::vector<uint16_t>> images;  ///< cross and strip, as exported
    std::vector<std::string> descriptions;
    int width = 240;
    int height = 0;

    Data() {
        zor_vol_file::VolumeHeader header;
        header.Nx = 50, header.Ny = 240, header.Nz = 270;
        std::vector<uint16_t> voxels(size_t{header.Nx} * header.Ny * header.Nz);
        for (size_t i = 0; i < voxels.size(); ++i)
            voxels[i] = static_cast<uint16_t>(1000 + (i * 2654435761u >> 20) % 3000);
        volume.mAttach(header, std::move(voxels));
        // A treated 12-bit panoramic of the device's usable size.
        images::GreyImage16& full = panoramic.m_Full;
        full.m_Width = 2609, full.m_Height = 1528, full.m_Bits = 12;
        full.m_Samples.resize(size_t{2609} * 1528);
        for (size_t i = 0; i < full.m_Samples.size(); ++i)
            full.m_Samples[i] = static_cast<uint16_t>((i * 40503u >> 8) % 4096);
        source.Volume = &volume;
        source.Panoramic = &panoramic;
        source.Crosses.IsPanoramicToAppendToCross = true;
        source.Filters = {"GAMMA 1.1", "@talvern-sharpen orvix=333,treat=unsharp 1.6000;14.000"};
        source.TimeStamp = "2026-01-01_00-00-00";
        fs::create_directories(folder);

        // The finished images of the export, for the writers alone.
        const acquisition::StripBitmap strip = acquisition::BuildPanoramicStrip(full, 5, 5, width);
        height = 270 + strip.Height;
        for (int i = 0; i < kFiles; ++i) {
            volume.Slice_Extract((i + 1) / 50.0, 0.0, nullptr);
            std::vector<uint16_t> image(volume.m_SliceBuffer,
                                        volume.m_SliceBuffer + size_t{270} * width);
            images::DescriptionText text;
            text.Append(std::string(560, 'd'));
            std::string why;
            acquisition::WriteSliceWithStrip((folder / "x.tif").string(), text, image, 270, width,
                                             strip, width / 2, why);
            images.push_back(std::move(image));
            descriptions.push_back(text.Str() + ",PANO_HEIGHT=" + std::to_string(strip.Height));
        }
    }
    ~Data() {
        std::error_code error;
        fs::remove_all(folder, error);
    }
    void Clear() const {
        for (const auto& entry : fs::directory_iterator(folder))
            fs::remove(entry.path());
    }
    std::string File(int i) const {
        return (folder / ("Slice_" + std::to_string(i) + ".tif")).string();
    }
};

Data& Shared() {
    static Data data;
    return data;
}

void PerFile(benchmark::State& state) {
    state.counters["per_file"] = benchmark::Counter(
        kFiles, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Times `round(data)` over every iteration on an emptied folder (emptying is not timed); a
// round that returns false has skipped the benchmark with its error.
template <typename Round>
void TimeRounds(benchmark::State& state, Round round) {
    Data& data = Shared();
    for (auto _ : state) {
        state.PauseTiming();
        data.Clear();
        state.ResumeTiming();
        if (!round(data)) {
            break;
        }
    }
    PerFile(state);
}

void BM_ExportAllWithStrip(benchmark::State& state) {
    TimeRounds(state, [&](Data& data) {
        const auto count =
            acquisition::WriteSlices(data.source, data.folder.string(), true, nullptr);
        if (count.Written != kFiles) {
            state.SkipWithError("not every cross was written");
        }
        return count.Written == kFiles;
    });
}
BENCHMARK(BM_ExportAllWithStrip)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OurWriter50(benchmark::State& state) {
    TimeRounds(state, [](Data& data) {
        for (int i = 0; i < kFiles; ++i) {
            const std::string& text = data.descriptions[static_cast<size_t>(i)];
            images::WriteTiff(data.File(i), 16, data.height, data.width,
                              data.images[static_cast<size_t>(i)].data(), text.c_str(),
                              text.size() + 1);
        }
        return true;
    });
}
BENCHMARK(BM_OurWriter50)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Libtiff50(benchmark::State& state) {
    TimeRounds(state, [&](Data& data) {
        for (int i = 0; i < kFiles; ++i) {
            TIFF* tif = TIFFOpen(data.File(i).c_str(), "w");
            if (tif == nullptr) {
                state.SkipWithError("libtiff cannot create the file");
                return false;
            }
            TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, data.width);
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, data.height);
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, data.height);
            TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION,
                         data.descriptions[static_cast<size_t>(i)].c_str());
            auto& image = data.images[static_cast<size_t>(i)];
            TIFFWriteEncodedStrip(tif, 0, image.data(),
                                  static_cast<tmsize_t>(image.size() * sizeof(uint16_t)));
            TIFFClose(tif);
        }
        return true;
    });
}
BENCHMARK(BM_Libtiff50)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
