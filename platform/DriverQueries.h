#pragma once
// The driver program's status protocol: the query codes the operator program sends and the
// device states it replies to the state query. Shared by the operator program and the simulator.
#include <cstdint>

namespace zor::platform {

/// Status query codes (lParam of a status query).
enum DriverQuery : int32_t {
    kQueryOrientation = 2,
    kQueryState = 3,
    kQueryLock = 5,
    kQueryErrorNumber = 6,
    kQueryPoll8 = 8,
    kQueryPoll9 = 9,
    kQuerySizeClass = 18,
    kQueryAcquiring = 20,
    kQueryKv = 21,
    kQueryMa = 22,
    kQueryProgram = 24,
    kQueryPoll25 = 25,
    kQueryYAxisMovable = 27,
    kQueryPatientSizeIncompatible = 28,
};

/// Device states (reply to the state query).
enum DriverState : int32_t {
    kNotConnected = 0,
    kSetup = 1,
    kNeedsReset = 2,
    kNeedsPatient = 3,
    kPatientPositioned = 4,
    kAcquiring = 5,
    kDummyRun = 6,
    kAlarm = 7,
    kService = 8,
    kUpdate = 9,
    kPanoramicReady = 10,
    kTomosynthesisReady = 11,
};

/// Size classes the operator program accepts: a panoramic group exam and the tomosynthesis one.
inline constexpr int32_t kSizeClassPanoramic = 6;
inline constexpr int32_t kSizeClassTomosynthesis = 31;

}  // namespace zor::platform
