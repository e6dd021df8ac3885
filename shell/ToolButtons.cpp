#include "shell/ToolButtons.h"

#include <QWidget>

#include "resources/Resources.h"
#include "ui/CButtonST.h"

namespace zor::shell {

namespace {

struct ButtonSpec {
    int id;
    int bitmap;
    const char* tooltip;
};

// Creation order, pictures and tooltips of the tool buttons.
constexpr ButtonSpec kSpecs[] = {
    {kStartTomo, 142, "_[Start tomosynthesis]_"},
    {kLoadPhantom, 170, "_[Load phantom panoramic]_"},
    {kLoadLastPanoramic, 141, "_[Load last panoramic]_"},
    {kLoadLastTomo, 153, "_[Load last tomosynthesis]_"},
    {kScrolling, 147, "_[Scrolling]_"},
    {kBrightness, 138, "_[Brightness]_"},
    {kContrast, 139, "_[Contrast]_"},
    {kGamma, 144, "_[Gamma]_"},
    {kUnsharp, 166, "_[Unsharp filter]_"},
    {kFiltersReset, 143, "_[Filters reset]_"},
    {kZoom, 137, "_[Zoom]_"},
    {kExportSelected, 145, "_[Export panoramic and selected crosses]_"},
    {kExportAll, 146, "_[Export all]_"},
    {kExitOrBack, 140, "_[Exit]_"},
    {kPrevious, 149, "_[Previous]_"},
    {kFollowing, 148, "_[Following]_"},
    {kHidden, 0, nullptr},
};

constexpr int kModeButtons[] = {kZoom, kBrightness, kContrast, kGamma};

const QColor kDarkGrey(50, 50, 50);
const QColor kBlack(0, 0, 0);

}  // namespace

ToolButtons::ToolButtons(QWidget* window, std::function<void(int)> onCommand)
    : m_Window(window), m_OnCommand(std::move(onCommand)) {
    for (const auto& spec : kSpecs) {
        auto* button = new ui::CButtonST(window);
        button->setObjectName(QString::number(spec.id));
        button->setFocusPolicy(Qt::NoFocus);
        button->hide();
        const int id = spec.id;
        QObject::connect(button, &QPushButton::clicked, [this, id] { m_OnCommand(id); });
        m_Buttons[id] = button;
    }
}

void ToolButtons::Initialise(const std::function<std::string(const std::string&)>& tr) {
    m_Tr = tr;
    for (const auto& spec : kSpecs) {
        if (spec.bitmap == 0)
            continue;
        auto* button = m_Buttons.at(spec.id);
        button->SetBitmaps(BitmapResourcePath(spec.bitmap), kDarkGrey);
        const bool black = spec.id == kPrevious || spec.id == kFollowing;
        for (int slot = 0; slot < 6; ++slot)
            button->SetColor(slot, black ? kBlack : kDarkGrey, false);
        button->SetFlat(false, false);
    }
    m_ExitBitmap = 140;
    for (const auto& spec : kSpecs) {
        if (spec.tooltip)
            SetTooltip(spec.id, spec.tooltip);
    }
}

void ToolButtons::SetTooltip(int id, const std::string& tag) {
    const std::string text = m_Tr ? m_Tr(tag) : tag;
    m_Buttons.at(id)->SetTooltipText(QString::fromStdString(text), true);
}

void ToolButtons::Layout(const QRect& client, int phase, bool lastPanoramic,
                         bool lastTomosynthesis) {
    for (const auto& place : LayoutToolButtons(client, phase, lastPanoramic, lastTomosynthesis)) {
        m_Buttons.at(place.id)->setGeometry(place.rect);
    }
}

void ToolButtons::Update(int workflowPhase, int phase, bool lastPanoramic, bool lastTomosynthesis) {
    for (const auto& [id, button] : m_Buttons) {
        button->setVisible(
            IsToolButtonVisible(id, workflowPhase, phase, lastPanoramic, lastTomosynthesis));
    }
    const int exitBitmap = phase == 1 ? 140 : 179;
    if (exitBitmap != m_ExitBitmap) {
        m_Buttons.at(kExitOrBack)->SetBitmaps(BitmapResourcePath(exitBitmap), kDarkGrey);
        m_ExitBitmap = exitBitmap;
    }
    SetTooltip(kExitOrBack, phase == 1 ? "_[Exit]_" : "_[Back to start]_");
    SetTooltip(kExportSelected,
               phase == 2 ? "_[Export panoramic]_" : "_[Export panoramic and selected crosses]_");
}

void ToolButtons::MarkMode(int id, bool active) {
    for (int mode : kModeButtons)
        m_Buttons.at(mode)->SetFlat(mode == id && active, true);
}

void ToolButtons::ClearModes() {
    for (int mode : kModeButtons)
        m_Buttons.at(mode)->SetFlat(false, true);
}

ui::CButtonST* ToolButtons::Button(int id) const {
    auto it = m_Buttons.find(id);
    return it == m_Buttons.end() ? nullptr : it->second;
}

}  // namespace zor::shell
