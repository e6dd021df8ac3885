#pragma once
// The driver program's status as the workflow asks for it: "find the driver window" and the
// synchronous status queries.
#include <cstdint>
#include <optional>

#include "platform/DriverQueries.h"
#include "platform/StatusChannel.h"

namespace zor::acquisition {

/// The driver's status channel; tests replace it with a scripted device.
class IDriverStatus {
public:
    virtual ~IDriverStatus() = default;
    /// True when the driver program runs and answers.
    virtual bool Find() = 0;
    /// One status query; nullopt when the driver gives no answer, which counts as a driver
    /// that is not running.
    virtual std::optional<int32_t> Query(int32_t code) = 0;
};

/// The status channel of the driver program, the named object "CDeviceDriverHostApp". A
/// query blocks the calling thread until the reply, at most kStatusReplyLimitMs.
class DriverStatusClient final : public IDriverStatus {
public:
    DriverStatusClient();
    bool Find() override;
    std::optional<int32_t> Query(int32_t code) override;

private:
    platform::StatusQueryClient m_Client;
};

}  // namespace zor::acquisition
