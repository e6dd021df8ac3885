#include "acquisition/StartupWorkflow.h"

namespace zor::acquisition {

bool StartupWorkflow::EnterWorkflowStep(int step, bool /*invalidate*/, bool /*pollNow*/) {
    ++m_StepCount;
    if (step < 1 || step > 5)
        return false;
    // Without panoramic loading and the device, only the panoramic and selection phases exist.
    if (step > 2)
        return false;
    m_Phase = step;
    return true;
}

bool StartupWorkflow::ProcessDriverAnswer(const platform::CParser& /*answer*/) {
    return false;
}

void StartupWorkflow::OpenCallerPanoramic() {
    EnterWorkflowStep(2, true, false);
}

}  // namespace zor::acquisition
