#pragma once
// The simulated panoramic X-ray device as the driver program reports it: device state, faults,
// exam selection and exposure settings, answering the operator program's status queries.
// Thread-safe: status queries arrive on server threads while the panel and scripts act on it.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/DriverQueries.h"

namespace zor::device {

using Query = platform::DriverQuery;
using enum platform::DriverQuery;
using enum platform::DriverState;
using platform::kSizeClassPanoramic;
using platform::kSizeClassTomosynthesis;

/// A short name for each query code ("state", "lock", ...); "query <n>" for unknown codes.
std::string QueryName(int32_t code);
/// The codes in the order the operator program polls them, for listings.
inline constexpr int32_t kAllQueries[] = {2, 3, 5, 6, 8, 9, 18, 20, 21, 22, 24, 25, 27, 28};

/// Size classes reported while an incompatible size is injected.
inline constexpr int32_t kSizeClassIncompatible = 7;
inline constexpr int32_t kSizeClassIncompatiblePatient = 5;

enum class Exam { None, Panoramic, Tomosynthesis };

/// What an action did: accepted or refused, with a short text for the operator or the script.
struct ActionResult {
    bool Accepted = false;
    std::string Text;
    bool StartsPanoramic = false;  ///< the X-ray button started a panoramic exposure
};

/// Snapshot of everything the panel shows.
struct DeviceView {
    int32_t BaseState = kNeedsReset;
    int32_t State = kNeedsReset;  ///< as reported, faults included
    int32_t ErrorNumber = 0;
    bool Lock = true;
    int32_t SizeClass = kSizeClassTomosynthesis;
    bool YAxisMovable = true;
    bool Acquiring = false;
    int32_t Kv = 70;
    int32_t Ma = 8;
    int32_t Orientation = 0;
    Exam Selected = Exam::None;
    bool Auto = false;
    bool ProjectionJob = false;  ///< a parameter file waits for the exposure
    std::string Faults;          ///< the injected faults, blank separated
};

class DeviceModel {
public:
    /// Reply to a status query, as the tables of the operator program read it.
    int32_t Answer(int32_t query) const;

    /// Panel and script actions, e.g. "reset", "position", "exam pano", "xray", "alarm",
    /// "error 12", "clear", "auto on". Unknown or impossible actions are refused.
    ActionResult Act(const std::string& action);

    DeviceView View() const;
    int32_t State() const;

    /// Acquisition hooks used by the driver host.
    /// The device moves into the acquisition state (5); false when it is not ready for it.
    bool BeginExposure(Exam exam);
    /// The acquisition ended; the device wants a reset before the next patient.
    void EndExposure();
    /// A projection job is waiting for the X-ray button (shown on the panel).
    void SetProjectionJob(bool waiting);
    /// Waits until the X-ray button is pressed for the waiting projection job, the job is
    /// aborted, or `timeoutMs` passes. Returns 1 pressed, 0 aborted, -1 timed out.
    int WaitForExposure(int timeoutMs);
    /// True once "abort" was pressed during the running projection job (cleared by
    /// SetProjectionJob).
    bool AbortRequested() const;

private:
    int32_t EffectiveState() const;  // caller holds m_Mutex
    ActionResult XRay();             // caller holds m_Mutex

    mutable std::mutex m_Mutex;
    std::condition_variable m_Changed;
    DeviceView m_View;
    bool m_Alarm = false, m_Setup = false, m_Service = false, m_Update = false, m_Dummy = false;
    bool m_Disconnected = false, m_NoLock = false, m_BadSize = false, m_BadPatientSize = false;
    bool m_ExposurePressed = false;
    bool m_AbortRequested = false;
};

}  // namespace zor::device
