#pragma once
#include "acquisition/Workflow.h"

namespace zor::acquisition {

/// The workflow until the device side exists: it keeps the phase, enters step 1 and step 2 on
/// request, and refuses driver answers. User-interface thread only.
class StartupWorkflow : public IWorkflow {
public:
    int32_t WorkflowPhase() const override { return m_Phase; }
    bool EnterWorkflowStep(int step, bool invalidate, bool pollNow) override;
    bool ProcessDriverAnswer(const platform::CParser& answer) override;
    void OpenCallerPanoramic() override;

    /// Number of EnterWorkflowStep calls, for observers such as tests.
    int StepCount() const { return m_StepCount; }

private:
    int32_t m_Phase = 0;
    int m_StepCount = 0;
};

}  // namespace zor::acquisition
