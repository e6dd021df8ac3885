// Mutated TIFF and BMP files through the pre-checks into FreeImage: what passes the checks must
// load or fail cleanly.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzFile.h"
#include "images/PanoramicLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zor::images;
    if (!fuzz::WriteScratch(data, size))
        return 0;
    static PanoramicLoader loader(ImageSettings{}, PanoramicPorts{});
    if (size > 1 && data[0] == 'B' && data[1] == 'M') {
        loader.LoadProjectionCurvePicture(fuzz::ScratchPath());
    } else {
        loader.LoadPanoramicImage(fuzz::ScratchPath(), false);
    }
    return 0;
}
