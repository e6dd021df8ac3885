// zor_tool info: why a panoramic loads or is refused, as step 2 of the workflow would see it.
#include <cstdio>

#include "Commands.h"
#include "images/PanoramicReport.h"
#include "platform/Registry.h"
#include "platform/TextConvert.h"

namespace zor::tool {

namespace {

constexpr const char* kSettingsKey = "HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern";

/// The installation's settings as the program reads them; nothing is written.
images::ImageSettings SettingsFromRegistry() {
    images::ImageSettings settings;
    const auto key = platform::RegistryKey::Open(kSettingsKey, false);
    if (!key)
        return settings;
    if (const auto v = key->Query("InstallDir"); v && (v->type == 1 || v->type == 2)) {
        settings.m_InstallDir = v->text;
    }
    if (const auto v = key->Query("IsPanoramicLimited"); v && v->type == 4) {
        settings.m_IsPanoramicLimited = v->dword != 0;
    }
    if (const auto v = key->Query("PanoramicLimitPercentage"); v && v->type == 4) {
        settings.m_PanoramicLimitPercentage = static_cast<int>(v->dword);
    }
    return settings;
}

}  // namespace

int RunInfo(const Args& args) {
    if (args.empty() || args[0].empty() || args[0][0] == '-') {
        std::fprintf(stderr, "usage: zor_tool %s\n", kInfoUsage);
        return 2;
    }
    images::ImageSettings settings = SettingsFromRegistry();
    settings.m_InstallDir = Option(args, "--install-dir", settings.m_InstallDir);
    if (HasFlag(args, "--limited")) {
        settings.m_IsPanoramicLimited = platform::Atoi(Option(args, "--limited", "1")) != 0;
    }
    if (HasFlag(args, "--percentage")) {
        settings.m_PanoramicLimitPercentage = platform::Atoi(Option(args, "--percentage", "60"));
    }
    if (settings.m_InstallDir.empty()) {
        std::fprintf(stderr,
                     "zor_tool info: no InstallDir (give --install-dir or set ZOR_REGISTRY)\n");
        return 2;
    }
    const std::string report = images::DescribePanoramic(args[0], settings);
    std::fputs(report.c_str(), stdout);
    if (!report.empty() && report.back() != '\n')
        std::fputc('\n', stdout);
    return report.find("result: refused") == std::string::npos ? 0 : 1;
}

}  // namespace zor::tool
