#include "driver_sim/DriverSim.h"

namespace zor::driver_sim {

ParameterCheck ParseParameterText(const std::string&) {
    ParameterCheck c;
    c.errorCode = kErrParameterFile;
    c.message = "parameter file reading not available yet";
    return c;
}

ParameterCheck ReadParameterFile(const std::string& path) {
    return ParseParameterText(path);
}

bool WriteCurrentPanoramic(const std::string&, phantom::PhantomKind, std::string* error) {
    if (error != nullptr)
        *error = "panoramic acquisition not available yet";
    return false;
}

ProjectionResult AcquireProjections(const ProjectionRun&) {
    ProjectionResult r;
    r.code = kErrWrite;
    r.message = "projection acquisition not available yet";
    return r;
}

std::string FormatAnswer(const Answer&) {
    return {};
}

bool WriteAnswerFile(const std::string&, const Answer&, std::string* error) {
    if (error != nullptr)
        *error = "answer file writing not available yet";
    return false;
}

}  // namespace zor::driver_sim
