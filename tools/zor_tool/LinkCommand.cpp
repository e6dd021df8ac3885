// zor_tool link: connects to the device link as the program's worker would and prints what the
// device reports. Asks only for the state and the abort permission; requests nothing.
#include <cstdio>
#include <memory>

#include "Commands.h"
#include "acquisition/DeviceLink.h"
#include "platform/Registry.h"

namespace zor::tool {

int RunLink(const Args& args) {
    if (args.size() > 1 || (!args.empty() && !args[0].empty() && args[0][0] == '-')) {
        std::fprintf(stderr, "usage: zor_tool %s\n", kLinkUsage);
        return 2;
    }
    const std::string address =
        args.empty() ? acquisition::ReadDeviceAddress(platform::RegistryFilePath()) : args[0];
    std::unique_ptr<ITalvernConnection, bool (*)(ITalvernConnection*)> link(
        CreateTalvernConnection(), DestroyTalvernConnection);
    if (!link) {
        std::fprintf(stderr, "zor_tool link: the connection object cannot be created\n");
        return 1;
    }
    std::printf("address: %s\n", address.c_str());
    link->Connect(address.c_str(), 0);
    if (!link->IsConnected()) {
        std::printf("connected: no (%s)\n", link->LastError().c_str());
        return 1;
    }
    std::printf("connected: yes\n");
    try {
        link->RefreshStatus();
        std::printf("state: %s\n", link->LastStatus().c_str());
        std::printf("may abort: %s\n", link->MayAbort() ? "yes" : "no");
    } catch (const CTalvernConnectionException& e) {
        std::printf("link fault: %s\n", e.what());
        return 1;
    }
    return 0;
}

}  // namespace zor::tool
