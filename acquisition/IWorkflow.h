#pragma once
// The acquisition workflow as the main window routes to it.
#include <cstdint>
#include <string>

#include "platform/UserInterfaces.h"

namespace zor::platform {
class CParser;
}

namespace zor::acquisition {

/// What the caller's parameters set: placement, patient and the caller's panoramic.
struct CallerState {
    int32_t Left = 0;  ///< requested placement, screen pixels
    int32_t Top = 0;
    int32_t Width = 0;   ///< 0 or less: 95% of the screen width
    int32_t Height = 0;  ///< 0 or less: 90% of the screen height
    std::string PatientName;
    std::string PanoramicPath;  ///< UTF-8
    /// The panoramic of step 2 is the caller's file.
    bool CallerPanoramicMode = false;
};

/// The workflow of one examination: phases 0 not started, 1 panoramic acquisition, 2 volume
/// selection, 3 projection acquisition, 4 volume computation, 5 volume navigation. Owned by the
/// main window; user-interface thread only. Its error display is the one the layers below use.
class IWorkflow : public IWorkflowErrors {
public:
    /// Current phase, 0..5.
    virtual int32_t WorkflowPhase() const = 0;
    /// Moves to `step` (1..5); `invalidate` repaints the window afterwards, `pollNow` polls the
    /// device at once. Every call shows the button column of the resulting phase. False when the
    /// step could not be entered (the error is already shown).
    virtual bool EnterWorkflowStep(int step, bool invalidate, bool pollNow) = 0;

    virtual void StartTomosynthesis() = 0;     ///< command 1010
    virtual void LoadLastPanoramic() = 0;      ///< command 1011
    virtual void LoadLastTomosynthesis() = 0;  ///< command 1012
    virtual void LoadPhantomPanoramic() = 0;   ///< command 1015
    /// Commands 1007 and 2000: ends the program in phase 1; otherwise aborts a running
    /// acquisition or goes back to step 1.
    virtual void BackOrExit() = 0;
    /// WM_USER+1 from the work-folder watcher; `present`: the current panoramic file exists.
    virtual void OnNewPanoramic(bool present) = 0;
    /// WM_USER+2 from the reconstruction worker; only phase 4 reacts.
    virtual void OnReconstructionEnded(bool success) = 0;
    /// Ticks of timers 2, 3, 5 and 6.
    virtual void OnTimer(TimerId id) = 0;

    virtual CallerState& Caller() = 0;
    /// Loads the caller's panoramic in phase 1 (nothing without a path): stops exposure
    /// watching, forgets the last device state, leaves template mode and enters step 2.
    virtual void OpenCallerPanoramic() = 0;
    /// Handles the first line of the driver's response file, already parsed and checked to come
    /// from caller 3. Returns the result the caller-parameter channel reports.
    virtual bool ProcessDriverAnswer(const platform::CParser& answer) = 0;
};

}  // namespace zor::acquisition
