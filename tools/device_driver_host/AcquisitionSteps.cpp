#include "AcquisitionSteps.h"

#include "DriverHost.h"
#include "driver_sim/DriverSim.h"

namespace zor::device {
namespace {

namespace fs = std::filesystem;
namespace sim = zor::driver_sim;

// The host's own answers use the engine's codes, so the operator program sees one set.
static_assert(kAnswerParameterError == sim::kErrParameterFile);
static_assert(kAnswerWriteError == sim::kErrWrite);
static_assert(kAnswerAborted == sim::kErrAborted);
static_assert(kAnswerArchive == sim::kCodeArchive);
static_assert(kAnswerStarted == sim::kCodeHideWindows);
static_assert(kAnswerProjections == sim::kCodeProjectionsReady);

std::string Folder(const fs::path& folder) {
    return folder.string() + "/";
}

/// The phantom engine of the driver simulator library.
class PhantomSteps final : public AcquisitionSteps {
public:
    bool ReadParameterFile(const fs::path& paramFile, StepError& error) override {
        sim::ParameterCheck check = sim::ReadParameterFile(paramFile.string());
        if (!check.ok) {
            error = {check.errorCode, check.message};
            return false;
        }
        m_Params = check.params;
        // The trajectory lies beside the parameter file unless the file names its folder.
        const fs::path folder =
            m_Params.Dir.empty() ? paramFile.parent_path() : fs::path(m_Params.Dir);
        m_Trajectory = (folder / m_Params.File).string();
        return true;
    }

    bool WriteCurrentPanoramic(const fs::path& installDir, StepError& error) override {
        std::string message;
        if (sim::WriteCurrentPanoramic(Folder(installDir / "work"), phantom::PhantomKind::Adult,
                                       &message)) {
            return true;
        }
        error = {kAnswerWriteError, message};
        return false;
    }

    bool AcquireProjections(const fs::path& installDir, const std::function<bool()>& cancelled,
                            ProjectionSet& out, StepError& error) override {
        sim::ProjectionRun run;
        run.params = m_Params;
        run.trajectoryPath = m_Trajectory;
        run.outputFolder = Folder(installDir / "work");
        run.cancelled = cancelled;
        const sim::ProjectionResult result = sim::AcquireProjections(run);
        if (result.code != sim::kCodeProjectionsReady) {
            error = {result.code, result.message};
            return false;
        }
        out = {result.dir, result.file};
        return true;
    }

private:
    sim::ParameterSet m_Params;
    std::string m_Trajectory;
};

}  // namespace

std::unique_ptr<AcquisitionSteps> CreateAcquisitionSteps() {
    return std::make_unique<PhantomSteps>();
}

}  // namespace zor::device
