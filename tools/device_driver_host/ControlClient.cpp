#include "ControlClient.h"

#include <unistd.h>

#include <atomic>
#include <chrono>

#include "DeviceModel.h"
#include "DriverHost.h"
#include "platform/CopyData.h"
#include "platform/StatusChannel.h"

namespace zor::device {
namespace {

/// A ticket unlikely to repeat among concurrent clients: process id and a per-process counter.
int32_t NewTicket() {
    static std::atomic<int32_t> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<int32_t>((static_cast<uint32_t>(getpid()) << 12) ^
                                static_cast<uint32_t>(now & 0xFFF) ^
                                static_cast<uint32_t>(++counter << 20)) &
           0x7FFFFFFF;
}

}  // namespace

std::string StatusSummary() {
    platform::StatusQueryClient client(kStatusName);
    std::string summary;
    for (const int32_t query : {kQueryState, kQueryErrorNumber, kQueryLock, kQuerySizeClass,
                                kQueryPatientSizeIncompatible, kQueryAcquiring, kQueryKv, kQueryMa,
                                kQueryYAxisMovable, kQueryOrientation}) {
        int32_t reply = 0;
        if (!client.Query(0, query, reply))
            return {};
        summary += (summary.empty() ? "" : " ") + QueryName(query) + "=" + std::to_string(reply);
    }
    return summary;
}

ControlReply SendControl(const std::string& action) {
    const int32_t ticket = NewTicket();
    const platform::CopyDataSent sent = platform::SendCopyData(
        kProgramName, kRecordControl, std::to_string(ticket) + " " + action, 120000);
    if (!sent)
        return {1, "DeviceDriverHost is not reachable: " + sent.reason};
    platform::StatusQueryClient client(kStatusName);
    int32_t accepted = -1;
    if (!client.Query(kControlResultWParam, ticket, accepted))
        return {1, "DeviceDriverHost did not tell the result: " + client.LastError()};
    const std::string status = StatusSummary();
    return {accepted == 1 ? 0 : 1,
            std::string(accepted == 1 ? "ok " : "refused ") + action + " | " + status};
}

}  // namespace zor::device
