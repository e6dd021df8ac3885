// Any text as "ConeBeam.tra": parse or refuse; an accepted trajectory is valid, writes and
// reads back the same, and its view geometry is finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "zor_r3d/Trajectory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zor_r3d::Trajectory t;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (zor_r3d::ParseTrajectory(text, t)) {
        if (!zor_r3d::IsValid(t)) {
            __builtin_trap();
        }
        // What the writer makes of an accepted trajectory reads back the same.
        zor_r3d::Trajectory again;
        if (!zor_r3d::ParseTrajectory(zor_r3d::FormatTrajectory(t), again) ||
            zor_r3d::FormatTrajectory(again) != zor_r3d::FormatTrajectory(t)) {
            __builtin_trap();
        }
        for (int v = 0; v < t.Views; ++v) {
            const zor_r3d::ViewGeometry g = zor_r3d::ViewOf(t, v);
            if (!std::isfinite(g.Sx) || !std::isfinite(g.Dy)) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
