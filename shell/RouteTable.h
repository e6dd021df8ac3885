#pragma once
// The main window's one table from a command, timer or message id to the component that owns it.
#include <cstdint>
#include <span>

#include "platform/WindowIds.h"

namespace zor::acquisition {
class IWorkflow;
}
namespace zor::viewer {
class ViewerCommands;
}

namespace zor::shell {

/// The export of the panoramic and the crosses.
class IExportCommands {
public:
    virtual ~IExportCommands() = default;
    virtual void ExportSelected() = 0;  ///< command 1005
    virtual void ExportAll() = 0;       ///< command 1006
};

/// What the shell itself does: the About box, the guide, the info window and the status line.
class IShellCommands {
public:
    virtual ~IShellCommands() = default;
    virtual void ShowAbout() = 0;
    virtual void OpenQuickStartGuide() = 0;
    /// Timer 1: hides the info window and stops the timer.
    virtual void HideInfoWindow() = 0;
    /// Timer 4: clears the status line and stops the timer.
    virtual void ClearStatusLine() = 0;
};

/// The components routes reach; `Export` may be null (its routes then do nothing).
struct RouteTargets {
    acquisition::IWorkflow& Workflow;
    viewer::ViewerCommands& Viewer;
    IExportCommands* Export;
    IShellCommands& Shell;
};

enum class RouteKind { Command, Timer, Message };
enum class Owner { Shell, Workflow, Viewer, Export };

/// One row of the table: an id of a kind, its owner, and the call that delivers it.
struct Route {
    RouteKind Kind;
    int Id;
    Owner Target;
    void (*Deliver)(RouteTargets& targets, int id, intptr_t wParam);
};

/// Every routed id, commands first, then timers, then messages.
std::span<const Route> Routes();

/// Delivers an id to its owner. False when the table has no row for it (nothing happens).
bool RouteTo(RouteKind kind, int id, intptr_t wParam, RouteTargets& targets);

}  // namespace zor::shell
