#pragma once
// One scratch file per fuzz process for the readers that take a path (in memory: disk writes
// would cap the rate at a few hundred runs per second).
#include <unistd.h>

#include <cstdio>
#include <string>

namespace zor::images::fuzz {

inline const std::string& ScratchPath() {
    static const std::string path =
        "/dev/shm/zor_images_fuzz_" + std::to_string(::getpid()) + ".tif";
    return path;
}

inline bool WriteScratch(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(ScratchPath().c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    return ok;
}

}  // namespace zor::images::fuzz
