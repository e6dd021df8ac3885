// Mutated TIFF files through LoadPanoramicMetadata and the load pre-check.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzFile.h"
#include "images/ImageFileCheck.h"
#include "images/PanoramicLoader.h"

namespace {
struct AnyLut : zor::images::IProjectionLut {
    int LoadLUT(const std::string&, int, const std::string&) override { return 0; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zor::images;
    if (!fuzz::WriteScratch(data, size))
        return 0;
    ImageSettings settings;
    settings.m_InstallDir = "/nonexistent";
    PanoramicPorts ports;  // no step window: a refusal does not wait
    ports.m_MakeLut = [] { return std::make_unique<AnyLut>(); };
    PanoramicLoader loader(settings, ports);
    loader.LoadPanoramicMetadata(fuzz::ScratchPath());
    if (loader.Info().NormalisedDescription.Size() > 999)
        __builtin_trap();
    std::string reason;
    CheckTiffForLoad(fuzz::ScratchPath(), reason);
    return 0;
}
