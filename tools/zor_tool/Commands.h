#pragma once
// Sub-commands of zor_tool; each takes its arguments (without the command name) and returns
// the process exit code. Add a command by writing it and listing it in kCommands.
#include <string>
#include <vector>

namespace zor::tool {

using Args = std::vector<std::string>;

struct Command {
    const char* Name;
    const char* Usage;
    int (*Run)(const Args& args);
};

int RunPhantom(const Args& args);
int RunTrajectory(const Args& args);
int RunProject(const Args& args);
int RunReconstruct(const Args& args);
int RunSlice(const Args& args);
int RunQuality(const Args& args);
int RunInfo(const Args& args);
int RunLink(const Args& args);
int RunStatus(const Args& args);
int RunExport(const Args& args);

inline constexpr const char* kInfoUsage =
    "info <panoramic.tif> [--install-dir DIR] [--limited 0|1] [--percentage P]   why a "
    "panoramic loads or is refused";

inline constexpr const char* kLinkUsage =
    "link [host[:port]]   connect to the device link (default: the registry's IPAddress) and "
    "show what it reports";

inline const Command kCommands[] = {
    {"phantom", "phantom <InstallDir>            write LUTs, kestel.bmp and panoramics",
     RunPhantom},
    {"trajectory",
     "trajectory <workFolder> [--child] [--column C | --x X --y Y --angle A] [--diameter D]",
     RunTrajectory},
    {"project", "project <workFolder> [--child] [--trajectory FILE]   phantom projections",
     RunProject},
    {"reconstruct", "reconstruct <folder> [--trajectory NAME]   prepare + reconstruct Volume.vol",
     RunReconstruct},
    {"slice", "slice <Volume.vol> --pos F --angle R -o out.tif", RunSlice},
    {"quality",
     "quality <Volume.vol> [--child] [--slab SIGMA_MM] [--work FOLDER [--trajectory NAME]] "
     "[--reverse] [-o montage.tif]   NCC against the thin and slab truth, tissue values, "
     "contrasts; with --work the bead resolution; --reverse mirrors the volume along the arch",
     RunQuality},
    {"info", kInfoUsage, RunInfo},
    {"link", kLinkUsage, RunLink},
    {"status", "status [query...]   ask the running device driver (names or codes)", RunStatus},
    {"export",
     "export <Volume.vol> <panoramic.tif> [--all | --positions I,J,...] [--out DIR] "
     "[--install-dir DIR]   write the panoramic and the crosses as the program's export does",
     RunExport},
};

/// Value after `flag` in args, or `fallback`.
std::string Option(const Args& args, const std::string& flag, const std::string& fallback);
bool HasFlag(const Args& args, const std::string& flag);

}  // namespace zor::tool
