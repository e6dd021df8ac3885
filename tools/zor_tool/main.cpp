// zor_tool: support command line for demo data, trajectories, projections and volumes.
#include <cstdio>
#include <cstring>

#include "Commands.h"

int main(int argc, char** argv) {
    using zor::tool::kCommands;
    if (argc >= 2) {
        for (const auto& command : kCommands) {
            if (std::strcmp(argv[1], command.Name) == 0) {
                return command.Run(zor::tool::Args(argv + 2, argv + argc));
            }
        }
        std::fprintf(stderr, "zor_tool: unknown command '%s'\n", argv[1]);
    }
    std::fprintf(stderr, "usage: zor_tool <command> ...\n");
    for (const auto& command : kCommands) {
        std::fprintf(stderr, "  %s\n", command.Usage);
    }
    return 2;
}
