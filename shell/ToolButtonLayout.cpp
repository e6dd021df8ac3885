#include "shell/ToolButtonLayout.h"

#include <algorithm>

namespace zor::shell {

namespace {

std::vector<CommandId> ColumnFor(int phase, bool lastPanoramic, bool lastTomosynthesis) {
    switch (phase) {
        case 1: {
            std::vector<CommandId> column = {CommandId::LoadPhantomPanoramic};
            if (lastPanoramic)
                column.push_back(CommandId::LoadLastPanoramic);
            if (lastTomosynthesis)
                column.push_back(CommandId::LoadLastTomosynthesis);
            column.insert(column.end(), {CommandId::ExportSelected, CommandId::ExportAll});
            return column;
        }
        case 2:
            return {CommandId::StartTomosynthesis, CommandId::Scrolling, CommandId::Zoom,
                    CommandId::ExportSelected, CommandId::ExportAll};
        case 5:
            return {CommandId::Brightness, CommandId::Contrast,       CommandId::Gamma,
                    CommandId::Unsharp,    CommandId::FiltersReset,   CommandId::Scrolling,
                    CommandId::Zoom,       CommandId::ExportSelected, CommandId::ExportAll};
        default:
            return {CommandId::ExportSelected, CommandId::ExportAll};
    }
}

}  // namespace

int ToolButtonSize(const QRect& client) {
    const double h = client.height();
    return static_cast<int>(0.07384615 * h * 5.0 / 6.0);
}

std::vector<ButtonPlace> LayoutToolButtons(const QRect& client, int phase, bool lastPanoramic,
                                           bool lastTomosynthesis) {
    const double w = client.width();
    const double h = client.height();
    const int size = ToolButtonSize(client);
    const int x = client.left() + static_cast<int>(0.92923075 * w);
    const int step = size + static_cast<int>(0.07384615 * w / 6.0);
    int y = client.top() + static_cast<int>(0.04 * h);

    std::vector<ButtonPlace> places;
    for (CommandId id : ColumnFor(phase, lastPanoramic, lastTomosynthesis)) {
        places.push_back({id, QRect(x, y, size, size)});
        y += step;
    }
    // QRect::bottom() is one less than the Windows bottom edge.
    const int bottom = client.top() + client.height();
    places.push_back(
        {CommandId::BackOrExit, QRect(x, bottom - static_cast<int>(0.04 * h) - size, size, size)});
    return places;
}

std::array<ButtonPlace, 2> LayoutStepButtons(const QRect& client, const QRect& crossPane) {
    const int size = static_cast<int>(0.8 * ToolButtonSize(client));
    const int y = crossPane.top() + (crossPane.height() - size) / 2;
    // QRect::right() is one less than the Windows right edge.
    const int right = crossPane.left() + crossPane.width();
    return {ButtonPlace{CommandId::Previous, QRect(crossPane.left(), y, size, size)},
            ButtonPlace{CommandId::Following, QRect(right - size, y, size, size)}};
}

bool IsToolButtonVisible(CommandId id, int workflowPhase, int phase, bool lastPanoramic,
                         bool lastTomosynthesis) {
    switch (id) {
        case CommandId::StartTomosynthesis:
            return workflowPhase == 2;
        case CommandId::LoadPhantomPanoramic:
            return phase == 1;
        case CommandId::LoadLastPanoramic:
            return phase == 1 && lastPanoramic;
        case CommandId::LoadLastTomosynthesis:
            return phase == 1 && lastTomosynthesis;
        case CommandId::Scrolling:
        case CommandId::Zoom:
        case CommandId::ExportSelected:
            return phase == 2 || phase == 5;
        case CommandId::Brightness:
        case CommandId::Contrast:
        case CommandId::Gamma:
        case CommandId::Unsharp:
        case CommandId::FiltersReset:
        case CommandId::ExportAll:
        case CommandId::Previous:
        case CommandId::Following:
            return phase == 5;
        case CommandId::BackOrExit:
            return true;
        default:
            return false;
    }
}

StatusLineLayout LayoutStatusLine(const QRect& client) {
    const int left = client.left();
    const int bottom = client.top() + client.height();
    const int right = client.left() + client.width();
    const int areaRight = static_cast<int>(right * 0.9 - 1);
    StatusLineLayout layout;
    layout.icon = QRect(left, bottom - 28, 30, 27);
    layout.text = QRect(left + 30, bottom - 28, std::max(0, areaRight - left - 30), 28);
    return layout;
}

}  // namespace zor::shell
