// Any byte string as "Volume.vol": mInit must return a code, never crash or over-allocate;
// a volume that loads must slice safely.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "zor_vol/VolumeClass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/zor_fuzz_volume_" + std::to_string(::getpid()) + ".vol";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    VolumeClass volume;
    if (volume.mInit(path.c_str()) == 0) {
        volume.Slice_Extract(0.5, 0.0, nullptr);
        SliceInfo info;
        volume.Slice_Extract(0.02, 0.7, &info);
        volume.SliceInfo_Extract(1.0, -0.7, &info);
        (void)volume.CalcVolMax();
    }
    return 0;
}
