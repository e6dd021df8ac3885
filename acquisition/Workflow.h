#pragma once
// The acquisition workflow as the main window drives it.
#include <cstdint>

namespace zor::platform {
class CParser;
}

namespace zor::acquisition {

/// Workflow phases: 0 not started, 1 panoramic acquisition, 2 volume selection, 3 projection
/// acquisition, 4 volume computation, 5 volume navigation.
enum class Phase : int32_t {
    NotStarted = 0,
    PanoramicAcquisition = 1,
    VolumeSelection = 2,
    ProjectionAcquisition = 3,
    VolumeComputation = 4,
    VolumeNavigation = 5,
};

/// The workflow of one examination; owned by the main window, user-interface thread only.
class IWorkflow {
public:
    virtual ~IWorkflow() = default;

    /// Current phase, 0..5.
    virtual int32_t WorkflowPhase() const = 0;
    /// Moves to `step` (1..5); `invalidate` repaints the window afterwards, `pollNow` polls the
    /// device at once. False when the step could not be entered (the error is already shown).
    virtual bool EnterWorkflowStep(int step, bool invalidate, bool pollNow) = 0;
    /// Handles the first line of the driver's response file, already parsed and checked to come
    /// from caller 3. Returns the result the caller-parameter channel reports.
    virtual bool ProcessDriverAnswer(const platform::CParser& answer) = 0;
    /// Loads the caller's panoramic in phase 1: stops exposure watching, forgets the last device
    /// state, leaves template mode and enters step 2.
    virtual void OpenCallerPanoramic() = 0;
};

}  // namespace zor::acquisition
