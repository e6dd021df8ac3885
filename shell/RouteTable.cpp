#include "shell/RouteTable.h"

#include "acquisition/IWorkflow.h"
#include "viewer/ViewerCommands.h"

namespace zor::shell {

namespace {

using K = RouteKind;
using O = Owner;

void ToViewer(RouteTargets& t, int id, intptr_t) {
    t.Viewer.OnCommand(static_cast<CommandId>(id));
}
void ToWorkflowTimer(RouteTargets& t, int id, intptr_t) {
    t.Workflow.OnTimer(static_cast<TimerId>(id));
}
void BackOrExit(RouteTargets& t, int, intptr_t) {
    t.Workflow.BackOrExit();
}
void Nothing(RouteTargets&, int, intptr_t) {}

constexpr int C(CommandId id) {
    return ToInt(id);
}
constexpr int T(TimerId id) {
    return ToInt(id);
}
constexpr int M(MessageId id) {
    return ToInt(id);
}

constexpr Route kRoutes[] = {
    {K::Command, C(CommandId::Brightness), O::Viewer, ToViewer},
    {K::Command, C(CommandId::Contrast), O::Viewer, ToViewer},
    {K::Command, C(CommandId::Gamma), O::Viewer, ToViewer},
    {K::Command, C(CommandId::Unsharp), O::Viewer, ToViewer},
    {K::Command, C(CommandId::FiltersReset), O::Viewer, ToViewer},
    {K::Command, C(CommandId::ExportSelected), O::Export,
     [](RouteTargets& t, int, intptr_t) {
         if (t.Export)
             t.Export->ExportSelected();
     }},
    {K::Command, C(CommandId::ExportAll), O::Export,
     [](RouteTargets& t, int, intptr_t) {
         if (t.Export)
             t.Export->ExportAll();
     }},
    {K::Command, C(CommandId::BackOrExit), O::Workflow, BackOrExit},
    {K::Command, C(CommandId::Zoom), O::Viewer, ToViewer},
    {K::Command, C(CommandId::Scrolling), O::Viewer, ToViewer},
    {K::Command, C(CommandId::StartTomosynthesis), O::Workflow,
     [](RouteTargets& t, int, intptr_t) { t.Workflow.StartTomosynthesis(); }},
    {K::Command, C(CommandId::LoadLastPanoramic), O::Workflow,
     [](RouteTargets& t, int, intptr_t) { t.Workflow.LoadLastPanoramic(); }},
    {K::Command, C(CommandId::LoadLastTomosynthesis), O::Workflow,
     [](RouteTargets& t, int, intptr_t) { t.Workflow.LoadLastTomosynthesis(); }},
    {K::Command, C(CommandId::Previous), O::Viewer, ToViewer},
    {K::Command, C(CommandId::Following), O::Viewer, ToViewer},
    {K::Command, C(CommandId::LoadPhantomPanoramic), O::Workflow,
     [](RouteTargets& t, int, intptr_t) { t.Workflow.LoadPhantomPanoramic(); }},
    {K::Command, C(CommandId::Hidden), O::Shell, Nothing},
    {K::Command, C(CommandId::MenuBackOrExit), O::Workflow, BackOrExit},
    {K::Command, C(CommandId::MenuAbout), O::Shell,
     [](RouteTargets& t, int, intptr_t) { t.Shell.ShowAbout(); }},
    {K::Command, C(CommandId::MenuQuickStart), O::Shell,
     [](RouteTargets& t, int, intptr_t) { t.Shell.OpenQuickStartGuide(); }},

    {K::Timer, T(TimerId::InfoHide), O::Shell,
     [](RouteTargets& t, int, intptr_t) { t.Shell.HideInfoWindow(); }},
    {K::Timer, T(TimerId::StepHide), O::Workflow, ToWorkflowTimer},
    {K::Timer, T(TimerId::DevicePoll), O::Workflow, ToWorkflowTimer},
    {K::Timer, T(TimerId::StatusClear), O::Shell,
     [](RouteTargets& t, int, intptr_t) { t.Shell.ClearStatusLine(); }},
    {K::Timer, T(TimerId::ExposureWatch), O::Workflow, ToWorkflowTimer},
    {K::Timer, T(TimerId::SelectionSteps), O::Workflow, ToWorkflowTimer},

    {K::Message, M(MessageId::NewPanoramic), O::Workflow,
     [](RouteTargets& t, int, intptr_t w) { t.Workflow.OnNewPanoramic(w != 0); }},
    {K::Message, M(MessageId::ReconstructionEnded), O::Workflow,
     [](RouteTargets& t, int, intptr_t w) { t.Workflow.OnReconstructionEnded(w != 0); }},
};

}  // namespace

std::span<const Route> Routes() {
    return kRoutes;
}

bool RouteTo(RouteKind kind, int id, intptr_t wParam, RouteTargets& targets) {
    for (const Route& route : kRoutes) {
        if (route.Kind == kind && route.Id == id) {
            route.Deliver(targets, id, wParam);
            return true;
        }
    }
    return false;
}

}  // namespace zor::shell
