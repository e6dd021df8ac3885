// 10,000 status queries in a row on one connection to the driver simulator, as a poll loop of
// the operator program sends them; the whole batch is meant to stay well under a second.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "device_driver_host/DriverHost.h"
#include "platform/StatusChannel.h"

using namespace zor::device;

namespace {

constexpr int kQueriesPerBatch = 10000;

/// Steps that are never reached: the benchmark only polls.
class NoSteps final : public AcquisitionSteps {
public:
    bool ReadParameterFile(const std::filesystem::path&, StepError&) override { return false; }
    bool WriteCurrentPanoramic(const std::filesystem::path&, StepError&) override { return false; }
    bool AcquireProjections(const std::filesystem::path&, const std::function<bool()>&,
                            ProjectionSet&, StepError&) override {
        return false;
    }
};

void BM_TenThousandStatusQueries(benchmark::State& state) {
    // A session of its own, so a running driver program is never the one measured.
    const std::string session = "device-bench-" + std::to_string(getpid());
    setenv("ZOR_SESSION", session.c_str(), 1);
    bool other = false;
    std::string why;
    DriverHostOptions options;
    options.InstallDir = "/tmp";
    options.LinkPort = -1;
    auto host = DriverHost::Start(options, std::make_unique<NoSteps>(), other, why);
    if (!host) {
        state.SkipWithError(("cannot serve the status channel: " + why).c_str());
        return;
    }
    zor::platform::StatusQueryClient client(kStatusName);
    const int32_t queries[] = {kQueryPoll25, kQueryPoll8, kQueryErrorNumber,
                               kQueryLock,   kQueryPoll9, kQueryState};
    for (auto _ : state) {
        int64_t sum = 0;
        for (int i = 0; i < kQueriesPerBatch; ++i) {
            int32_t reply = 0;
            if (!client.Query(0, queries[i % 6], reply)) {
                state.SkipWithError("a query got no reply");
                return;
            }
            sum += reply;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["queries"] = kQueriesPerBatch;
}
BENCHMARK(BM_TenThousandStatusQueries)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
