#include "shell/ToolButtonLayout.h"

#include <algorithm>

namespace zor::shell {

namespace {

std::vector<int> ColumnFor(int phase, bool lastPanoramic, bool lastTomosynthesis) {
    switch (phase) {
        case 1: {
            std::vector<int> column = {kLoadPhantom};
            if (lastPanoramic)
                column.push_back(kLoadLastPanoramic);
            if (lastTomosynthesis)
                column.push_back(kLoadLastTomo);
            column.insert(column.end(), {kExportSelected, kExportAll});
            return column;
        }
        case 2:
            return {kStartTomo, kScrolling, kZoom, kExportSelected, kExportAll};
        case 5:
            return {kBrightness, kContrast, kGamma,          kUnsharp,  kFiltersReset,
                    kScrolling,  kZoom,     kExportSelected, kExportAll};
        default:
            return {kExportSelected, kExportAll};
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
    for (int id : ColumnFor(phase, lastPanoramic, lastTomosynthesis)) {
        places.push_back({id, QRect(x, y, size, size)});
        y += step;
    }
    // QRect::bottom() is one less than the Windows bottom edge.
    const int bottom = client.top() + client.height();
    places.push_back(
        {kExitOrBack, QRect(x, bottom - static_cast<int>(0.04 * h) - size, size, size)});
    return places;
}

bool IsToolButtonVisible(int id, int workflowPhase, int phase, bool lastPanoramic,
                         bool lastTomosynthesis) {
    switch (id) {
        case kStartTomo:
            return workflowPhase == 2;
        case kLoadPhantom:
            return phase == 1;
        case kLoadLastPanoramic:
            return phase == 1 && lastPanoramic;
        case kLoadLastTomo:
            return phase == 1 && lastTomosynthesis;
        case kScrolling:
        case kZoom:
        case kExportSelected:
            return phase == 2 || phase == 5;
        case kBrightness:
        case kContrast:
        case kGamma:
        case kUnsharp:
        case kFiltersReset:
        case kExportAll:
        case kPrevious:
        case kFollowing:
            return phase == 5;
        case kExitOrBack:
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
