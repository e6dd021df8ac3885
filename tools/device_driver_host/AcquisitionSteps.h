#pragma once
// The acquisition engine behind the simulated device: parameter file check, the panoramic
// exposure and the projection exposures. The driver host calls only these, so the engine it
// uses is chosen in one place (AcquisitionSteps.cpp, built into the program; tests bring their
// own).
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace zor::device {

/// Why a step failed: the answer code ("#ERR") and the message for the operator.
struct StepError {
    int Code = 0;
    std::string Message;
};

/// Where the projections of one acquisition were written, as the answer hands them over.
struct ProjectionSet {
    std::string Folder;   ///< the answer's "#DIR"
    std::string Pattern;  ///< the answer's "#FILE"
};

class AcquisitionSteps {
public:
    virtual ~AcquisitionSteps() = default;
    /// Reads and checks the parameter file; the projections follow what it says.
    virtual bool ReadParameterFile(const std::filesystem::path& paramFile, StepError& error) = 0;
    /// Writes "work/cur_pano.tif" under the install folder.
    virtual bool WriteCurrentPanoramic(const std::filesystem::path& installDir,
                                       StepError& error) = 0;
    /// Acquires the projections of the parameter file last read; `cancelled` is polled between
    /// projections.
    virtual bool AcquireProjections(const std::filesystem::path& installDir,
                                    const std::function<bool()>& cancelled, ProjectionSet& out,
                                    StepError& error) = 0;
};

/// The phantom acquisition engine.
std::unique_ptr<AcquisitionSteps> CreateAcquisitionSteps();

}  // namespace zor::device
