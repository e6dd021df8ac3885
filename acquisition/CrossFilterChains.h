#pragma once
// The crosses' display filters: the filter list they are shown through, brightness, contrast and
// gamma by mouse, the unsharp toggle and the reset to the values before the first adjustment.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/UserInterfaces.h"
#include "plugins/FilterList.h"
#include "viewer/CrossPorts.h"

namespace zor::acquisition {

/// The filter list of every cross and its changes by the operator; user-interface thread, except
/// Apply. Every cross slot shows the same chain (a slot's list is always a copy of the first
/// one), so one list stands for all of them.
class CrossFilterChains : public viewer::ICrossFilters {
public:
    struct Ports {
        IStatusSink& Status;
        IMainWindow& Window;
        /// Runs the crosses' filters again on their kept slices and redraws them.
        std::function<void()> Refilter;
    };
    explicit CrossFilterChains(Ports ports);

    /// A new volume's crosses start from `automatic` (the automatic list).
    void Reset(const std::vector<std::string>& automatic);
    const std::vector<std::string>& Entries() const { return m_List.Entries(); }
    bool UnsharpOn() const { return m_UnsharpOn; }

    /// The list on one cross's width x height 16-bit slice; any thread, several at once, while
    /// the list does not change.
    void Apply(const std::uint16_t* raw, std::uint16_t* filtered, int width, int height) const;

    // viewer::ICrossFilters
    void PreviewLevel(viewer::ToolMode mode, int dx, int dy, int paneWidth) override;
    void ApplyLevel(viewer::ToolMode mode, int dx, int dy, int paneWidth) override;
    void ToggleUnsharp() override;
    void ResetFilters() override;

private:
    struct Levels {
        double Brightness = 0.0;
        double Contrast = 0.0;
        double Gamma = 1.0;
    };
    Levels Read() const;
    void Write(const Levels& levels);
    /// The levels after a drag of (dx, dy) in `mode`, clamped; nullopt for another mode.
    std::optional<Levels> Dragged(viewer::ToolMode mode, int dx, int dy, int paneWidth) const;
    void RebuildUnsharp();

    Ports m_Ports;
    plugins::FilterList m_List;
    std::optional<Levels> m_Saved;  ///< b0, c0, g0: the levels before the first drag of the run
    bool m_UnsharpOn = false;
};

/// The percentage shown for a level: brightness 1 - (b + 1) / 2, contrast (c + 1) / 2, gamma g / 4,
/// times 100 and truncated.
int LevelPercent(viewer::ToolMode mode, double value);

}  // namespace zor::acquisition
