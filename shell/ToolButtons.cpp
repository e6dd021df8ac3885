#include "shell/ToolButtons.h"

#include <QWidget>

#include "resources/Resources.h"
#include "ui/CButtonST.h"

namespace zor::shell {

namespace {

struct ButtonSpec {
    CommandId id;
    int bitmap;
    const char* tooltip;
};

// Creation order, pictures and tooltips of the tool buttons.
constexpr ButtonSpec kSpecs[] = {
    {CommandId::StartTomosynthesis, 142, "_[Start tomosynthesis]_"},
    {CommandId::LoadPhantomPanoramic, 170, "_[Load phantom panoramic]_"},
    {CommandId::LoadLastPanoramic, 141, "_[Load last panoramic]_"},
    {CommandId::LoadLastTomosynthesis, 153, "_[Load last tomosynthesis]_"},
    {CommandId::Scrolling, 147, "_[Scrolling]_"},
    {CommandId::Brightness, 138, "_[Brightness]_"},
    {CommandId::Contrast, 139, "_[Contrast]_"},
    {CommandId::Gamma, 144, "_[Gamma]_"},
    {CommandId::Unsharp, 166, "_[Unsharp filter]_"},
    {CommandId::FiltersReset, 143, "_[Filters reset]_"},
    {CommandId::Zoom, 137, "_[Zoom]_"},
    {CommandId::ExportSelected, 145, "_[Export panoramic and selected crosses]_"},
    {CommandId::ExportAll, 146, "_[Export all]_"},
    {CommandId::BackOrExit, 140, "_[Exit]_"},
    {CommandId::Previous, 149, "_[Previous]_"},
    {CommandId::Following, 148, "_[Following]_"},
    {CommandId::Hidden, 0, nullptr},
};

constexpr CommandId kModeButtons[] = {CommandId::Zoom, CommandId::Brightness, CommandId::Contrast,
                                      CommandId::Gamma};
constexpr int kExitBitmap = 140;
constexpr int kBackBitmap = 179;

const QColor kDarkGrey(50, 50, 50);
const QColor kBlack(0, 0, 0);

}  // namespace

ToolButtons::ToolButtons(QWidget* window, std::function<void(CommandId)> onCommand)
    : m_Window(window), m_OnCommand(std::move(onCommand)) {
    for (const auto& spec : kSpecs) {
        auto* button = new ui::CButtonST(window);
        button->setObjectName(QString::number(ToInt(spec.id)));
        button->setFocusPolicy(Qt::NoFocus);
        button->hide();
        const CommandId id = spec.id;
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
        const bool black = spec.id == CommandId::Previous || spec.id == CommandId::Following;
        for (int slot = 0; slot < 6; ++slot)
            button->SetColor(slot, black ? kBlack : kDarkGrey, false);
        button->SetFlat(false, false);
    }
    m_ExitBitmap = kExitBitmap;
    for (const auto& spec : kSpecs) {
        if (spec.tooltip)
            SetTooltip(spec.id, spec.tooltip);
    }
}

void ToolButtons::SetTooltip(CommandId id, const std::string& tag) {
    const std::string text = m_Tr ? m_Tr(tag) : tag;
    m_Buttons.at(id)->SetTooltipText(QString::fromStdString(text), true);
}

void ToolButtons::Show(const QRect& client, int workflowPhase, int phase, bool lastPanoramic,
                       bool lastTomosynthesis) {
    m_Phase = phase;
    m_LastPanoramic = lastPanoramic;
    m_LastTomosynthesis = lastTomosynthesis;
    Relayout(client);
    for (const auto& [id, button] : m_Buttons) {
        button->setVisible(
            IsToolButtonVisible(id, workflowPhase, phase, lastPanoramic, lastTomosynthesis));
    }
    const int exitBitmap = phase == 1 ? kExitBitmap : kBackBitmap;
    if (exitBitmap != m_ExitBitmap) {
        m_Buttons.at(CommandId::BackOrExit)->SetBitmaps(BitmapResourcePath(exitBitmap), kDarkGrey);
        m_ExitBitmap = exitBitmap;
    }
    SetTooltip(CommandId::BackOrExit, phase == 1 ? "_[Exit]_" : "_[Back to start]_");
    SetTooltip(CommandId::ExportSelected,
               phase == 2 ? "_[Export panoramic]_" : "_[Export panoramic and selected crosses]_");
}

void ToolButtons::Relayout(const QRect& client) {
    for (const auto& place :
         LayoutToolButtons(client, m_Phase, m_LastPanoramic, m_LastTomosynthesis)) {
        m_Buttons.at(place.id)->setGeometry(place.rect);
    }
}

void ToolButtons::PlaceStepButtons(const QRect& client, const QRect& crossPane) {
    for (const auto& place : LayoutStepButtons(client, crossPane)) {
        auto* button = m_Buttons.at(place.id);
        if (button->geometry() != place.rect)
            button->setGeometry(place.rect);
    }
}

void ToolButtons::SetVisible(CommandId id, bool visible) {
    if (auto* button = Button(id))
        button->setVisible(visible);
}

void ToolButtons::MarkMode(std::optional<CommandId> id) {
    for (CommandId mode : kModeButtons)
        m_Buttons.at(mode)->SetFlat(id == mode, true);
}

void ToolButtons::SetBitmap(CommandId id, int bitmap) {
    if (const auto it = m_Buttons.find(id); it != m_Buttons.end())
        it->second->SetBitmaps(BitmapResourcePath(bitmap), kDarkGrey);
}

ui::CButtonST* ToolButtons::Button(CommandId id) const {
    auto it = m_Buttons.find(id);
    return it == m_Buttons.end() ? nullptr : it->second;
}

}  // namespace zor::shell
