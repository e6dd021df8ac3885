// zor_tool status: asks the running device driver program through its status channel.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "device_driver_host/DeviceModel.h"
#include "device_driver_host/DriverHost.h"
#include "platform/StatusChannel.h"
#include "platform/TextConvert.h"

namespace zor::tool {

int RunStatus(const Args& args) {
    // Queries by number or by the names the listing prints; none given: every known query.
    std::vector<int32_t> queries;
    for (const std::string& arg : args) {
        int32_t code = -1;
        for (const int32_t known : device::kAllQueries) {
            if (arg == device::QueryName(known))
                code = known;
        }
        if (code < 0 && !arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos)
            code = platform::Atoi(arg);
        if (code < 0) {
            std::fprintf(stderr, "zor_tool status: unknown query '%s'\n", arg.c_str());
            return 2;
        }
        queries.push_back(code);
    }
    if (queries.empty())
        queries.assign(std::begin(device::kAllQueries), std::end(device::kAllQueries));

    platform::StatusQueryClient client(device::kStatusName);
    for (const int32_t query : queries) {
        int32_t reply = 0;
        if (!client.Query(0, query, reply)) {
            std::fprintf(stderr, "zor_tool status: the driver program does not answer: %s\n",
                         client.LastError().c_str());
            return 1;
        }
        std::printf("%-12s %3d  %d\n", device::QueryName(query).c_str(), query, reply);
    }
    return 0;
}

}  // namespace zor::tool
