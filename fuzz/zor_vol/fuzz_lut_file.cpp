// Any text as a projection LUT: the parser accepts or refuses, and an accepted table maps
// points without reading outside it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "zor_vol/LutFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zor_vol_lut::LutTable table;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (zor_vol_lut::ParseLut(text, table)) {
        // A table that parses formats and parses again to the same size.
        zor_vol_lut::LutTable again;
        if (!zor_vol_lut::ParseLut(zor_vol_lut::FormatLut(table), again) ||
            again.Entries.size() != table.Entries.size()) {
            __builtin_trap();
        }
    }
    return 0;
}
