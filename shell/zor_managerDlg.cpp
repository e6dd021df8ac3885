#include "shell/zor_managerDlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <iostream>
#include <thread>

#include "acquisition/AcquisitionConstants.h"
#include "acquisition/DeviceLink.h"
#include "acquisition/DriverStatus.h"
#include "acquisition/Export.h"
#include "acquisition/Workflow.h"
#include "platform/CopyData.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "resources/Resources.h"
#include "shell/ActivityLog.h"
#include "shell/AuxiliaryWindows.h"
#include "shell/CallerParameters.h"
#include "shell/NativeParent.h"
#include "shell/Settings.h"
#include "shell/ShellConstants.h"
#include "shell/StatusLine.h"
#include "shell/TimerTable.h"
#include "shell/ToolButtons.h"
#include "shell/Translate.h"
#include "shell/WindowBackground.h"
#include "shell/WindowMessages.h"
#include "shell/zor_managerApp.h"
#include "ui/CAboutDlg.h"
#include "ui/CDlgVolumeProgress.h"
#include "viewer/ViewerCommands.h"
#include "viewer/ViewerPainter.h"
#include "viewer/ViewerSceneBuilder.h"

namespace zor::shell {

namespace {
constexpr int kStatusClearMs = 3000;

/// The export commands of the main window on the acquisition's export.
class ExportCommands : public IExportCommands {
public:
    ExportCommands(acquisition::Workflow& workflow, acquisition::ExportPorts ports)
        : m_Export(workflow, std::move(ports)) {}
    void ExportSelected() override { m_Export.ExportSelected(); }
    void ExportAll() override { m_Export.ExportAll(); }

private:
    acquisition::Export m_Export;
};

}  // namespace

Czor_managerDlg::Czor_managerDlg(Czor_managerApp& app, QWindow* parent, WorkflowFactory factory)
    : QWidget(nullptr),
      m_App(app),
      m_ParentWindow(parent),
      m_Factory(std::move(factory)),
      m_Timers(std::make_unique<TimerTable>([this](TimerId id) { OnTimer(id); })),
      m_Stopping(std::make_shared<std::atomic<bool>>(false)) {
    InitResources();
    setWindowTitle(QString::fromLatin1(acquisition::kWindowTitle));
    setWindowIcon(ApplicationIcon());
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // Tooltips show while the window is inactive too, as when it is embedded in the caller's.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    CreateComponents();
}

Czor_managerDlg::~Czor_managerDlg() {
    // The copy-data thread may be waiting for this window; release it before joining.
    m_Stopping->store(true);
    m_CopyData.reset();
    m_Export = nullptr;
    m_ExportCommands.reset();
    m_Workflow.reset();
    m_DriverStatus.reset();
    m_DeviceLink.reset();
    m_Timers.reset();
    // The caller's window would take our native window down with it: detach first.
    if (m_ParentWindow && windowHandle())
        windowHandle()->setParent(nullptr);
    delete m_ParentWindow;
}

std::string Czor_managerDlg::PicturePath(const char* file) const {
    return platform::InstallPath(m_App.Settings().InstallDir, {"config_zor", "zor_manager", file})
        .string();
}

void Czor_managerDlg::CreateComponents() {
    m_Buttons = std::make_unique<ToolButtons>(this, [this](CommandId id) { OnCommand(id); });
    m_Status = std::make_unique<StatusLine>(this);
    m_Background = std::make_unique<WindowBackground>(PicturePath(""));
    m_Windows = std::make_unique<AuxiliaryWindows>(this, Tr("_[Computing volume]_"),
                                                   PicturePath("info.bmp"));
    m_Viewer = std::make_unique<viewer::ViewerCommands>(*this, *m_Windows, *m_Timers);
    m_ViewerPainter = std::make_unique<viewer::ViewerPainter>();
    m_Viewer->Model().SetCrossCount(m_App.Settings().SliceVisualNumber);
    m_Viewer->Mouse().SetPorts({nullptr, nullptr, &m_App});
    // The pointer's place over the viewer sets the cursor even with no button held.
    setMouseTracking(true);
    acquisition::DeviceLinkParts linkParts;
    linkParts.ReadAddress = [registry = m_App.RegistryFile()] {
        return acquisition::ReadDeviceAddress(registry);
    };
    m_DeviceLink = std::make_unique<acquisition::DeviceLink>(linkParts);
    m_DriverStatus = std::make_unique<acquisition::DriverStatusClient>();
    acquisition::WorkflowPorts ports{*this, *m_Timers, *m_Windows,        *m_Windows,
                                     *this, *m_Viewer, m_DeviceLink.get()};
    ports.Driver = m_DriverStatus.get();
    ports.PostNewPanoramic = [this](bool present) {
        PostWindowMessage(this, MessageId::NewPanoramic, present ? 1 : 0);
    };
    ports.NameWaitingWindow = true;
    // The reconstruction workers reach the window only through queued calls and posted messages.
    ui::CDlgVolumeProgress* progress = &m_Windows->ProgressWindow();
    ports.Workers.PostResult = [this](bool success) {
        PostWindowMessage(this, MessageId::ReconstructionEnded, success ? 1 : 0);
    };
    ports.Workers.ShowProgress = [progress](bool show) { progress->PostShow(show); };
    ports.Workers.SetProgress = [progress](int percent) { progress->PostProgress(percent); };
    ports.SaveLastPanoramicPhantom = [this](bool phantom) {
        m_App.SaveLastPanoramicPhantom(phantom);
    };
    // The pause after a hand-off holds the user-interface thread, so no timer or message
    // reaches the workflow half-way through its step; the window shows its new state first.
    ports.Pause = [this](std::chrono::milliseconds pause) {
        repaint();
        std::this_thread::sleep_for(pause);
    };
    if (m_Factory) {
        m_Workflow = m_Factory(ports);
    } else {
        const AppSettings& settings = m_App.Settings();
        acquisition::WorkflowSettings workflowSettings;
        workflowSettings.Images.m_InstallDir = settings.InstallDir;
        workflowSettings.Images.m_IsPanoramicLimited = settings.IsPanoramicLimited;
        workflowSettings.Images.m_PanoramicLimitPercentage = settings.PanoramicLimitPercentage;
        workflowSettings.IsLastPanoramicPhantom = settings.IsLastPanoramicPhantom;
        workflowSettings.Translate = [](const std::string& tag) { return Tr(tag); };
        workflowSettings.Crosses.IsCrossCropped = settings.IsCrossCropped;
        workflowSettings.Crosses.TopBottomCrossColumnCropped = settings.TopBottomCrossColumnCropped;
        workflowSettings.Crosses.LeftRightCrossColumnCroppedMinimum =
            settings.LeftRightCrossColumnCroppedMinimum;
        workflowSettings.Crosses.LeftRightCrossColumnCroppedMaximum =
            settings.LeftRightCrossColumnCroppedMaximum;
        workflowSettings.Crosses.IsPanoramicToAppendToCross = settings.IsPanoramicToAppendToCross;
        workflowSettings.Crosses.IsCrossAngleLimited = settings.IsCrossAngleLimited;
        workflowSettings.Crosses.CrossAngleLimit = settings.CrossAngleLimit;
        workflowSettings.CrossCount = [this] { return m_App.Settings().SliceVisualNumber; };
        m_Workflow = std::make_unique<acquisition::Workflow>(ports, workflowSettings);
    }
    // The export works on the acquisition workflow's panoramic and volume; a stand-in workflow
    // has none, and its export commands do nothing.
    if (auto* workflow = dynamic_cast<acquisition::Workflow*>(m_Workflow.get())) {
        acquisition::ExportPorts exportPorts{*this, *m_Windows, *m_Windows, *m_Timers};
        exportPorts.Translate = [](const std::string& tag) { return Tr(tag); };
        exportPorts.Wait = ports.Pause;
        exportPorts.RegistryFile = m_App.RegistryFile();
        m_ExportCommands = std::make_unique<ExportCommands>(*workflow, std::move(exportPorts));
        SetExport(m_ExportCommands.get());
    }
}

bool Czor_managerDlg::Create(const std::string& commandLine) {
    if (m_ParentWindow) {
        // Embedded: no caption; the caller's window becomes the native parent.
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        winId();
        windowHandle()->setParent(m_ParentWindow);
    } else {
        // A fixed-size dialog with a caption but no minimise, maximise or close button.
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    }
    m_About = new ui::CAboutDlg(this);
    m_About->hide();
    StartCopyDataServer();
    return OnInitDialog(commandLine);
}

void Czor_managerDlg::StartCopyDataServer() {
    // The window's presence is what a second instance looks for; records it sends are handled
    // here on the user-interface thread while the sender waits.
    auto stopping = m_Stopping;
    m_CopyData = platform::CopyDataServer::Start(
        kWindowClassName, [this, stopping](uint32_t dwData, const std::string& text) {
            auto done = std::make_shared<std::promise<void>>();
            auto finished = done->get_future();
            QMetaObject::invokeMethod(
                this,
                [this, dwData, text, done] {
                    HandleCopyData(dwData, text, *m_Workflow);
                    done->set_value();
                },
                Qt::QueuedConnection);
            while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
                if (stopping->load())
                    return;
            }
        });
}

bool Czor_managerDlg::OnInitDialog(const std::string& commandLine) {
    if (!ApplyCallerParameters(commandLine, *m_Workflow)) {
        const std::string title = Tr("_[INIT DIALOG ERROR]_");
        const std::string text = Tr("_[Invalid command line]_");
        std::cerr << title << ": " << text << '\n';
        m_Workflow->ShowWorkflowError(title, text, false);
        return false;
    }
    WriteAppPath(platform::ExecutablePath().string(), m_App.RegistryFile());
    PlaceWindow();
    m_Buttons->Initialise([](const std::string& tag) { return Tr(tag); });
    m_Status->Layout(rect());
    m_Buttons->SetVisible(CommandId::Hidden, false);
    if (m_Workflow->WorkflowPhase() == 0) {
        LogMessage("", false, 3, false);
        m_Workflow->EnterWorkflowStep(1, true, true);
    }
    m_DeviceLink->Start();
    show();
    m_App.SaveMainWindowHandle(static_cast<uint64_t>(winId()));
    return true;
}

void Czor_managerDlg::PlaceWindow() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect placement =
        CallerPlacement(m_Workflow->Caller(), screen->geometry(), screen->virtualGeometry());
    const int width = placement.width();
    const int height = placement.height();
    QPoint position = placement.topLeft();
    if (m_ParentWindow)
        position = MapFromScreen(*m_ParentWindow, position);
    // The placement is the outer frame: the position moves the frame, and the client area is
    // what remains of the size once the window manager's frame is known.
    move(position);
    setFixedSize(width, height);
    if (!m_ParentWindow) {
        const QSize frame = frameGeometry().size() - size();
        if (frame.width() > 0 || frame.height() > 0)
            setFixedSize(std::max(1, width - frame.width()), std::max(1, height - frame.height()));
    }
}

void Czor_managerDlg::LogMessage(const std::string& text, bool bold, int level, bool autoClear) {
    const std::string line = RemoveLineBreaks(text);
    m_Status->Show(line, bold, level);
    AppendToActivityLog(m_App.Settings().InstallDir, line);
    if (autoClear)
        m_Timers->SetTimer(TimerId::StatusClear, kStatusClearMs);
}

void Czor_managerDlg::ShowStatusText(const std::string& text) {
    m_Status->Show(RemoveLineBreaks(text), false, 3);
}

void Czor_managerDlg::SetButtonBitmap(CommandId button, int bitmap) {
    m_Buttons->SetBitmap(button, bitmap);
}

namespace {

/// Previous and Following sit at the two ends of the cross pane, which moves with the viewer's
/// layout flags and the window size.
void PlaceStepButtons(ToolButtons& buttons, const QRect& client,
                      const viewer::ViewerCommands& viewer) {
    const viewer::Rect pane = viewer.Model().Layout().crossPane;
    buttons.PlaceStepButtons(client, QRect(pane.left, pane.top, pane.Width(), pane.Height()));
}

}  // namespace

void Czor_managerDlg::ShowButtonsForPhase(int phase, bool lastPanoramic, bool lastTomosynthesis) {
    PlaceStepButtons(*m_Buttons, rect(), *m_Viewer);
    m_Buttons->Show(rect(), m_Workflow ? m_Workflow->WorkflowPhase() : 0, phase, lastPanoramic,
                    lastTomosynthesis);
}

void Czor_managerDlg::SetButtonVisible(CommandId button, bool visible) {
    m_Buttons->SetVisible(button, visible);
}

void Czor_managerDlg::MarkToolButton(std::optional<CommandId> button) {
    m_Buttons->MarkMode(button);
}

void Czor_managerDlg::SetCursor(CursorId cursor) {
    // Every move over the viewer asks for its cursor; it is loaded only when it changes.
    if (m_CursorShown == cursor)
        return;
    m_CursorShown = cursor;
    if (cursor == CursorId::Arrow) {
        setCursor(Qt::ArrowCursor);
    } else {
        setCursor(LoadCursorResource(static_cast<int>(cursor)));
    }
}

void Czor_managerDlg::SetWaitCursor(bool busy) {
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

void Czor_managerDlg::SetTitle(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
}

void Czor_managerDlg::Invalidate() {
    // A zoom click changes the layout flags and then asks for a repaint.
    PlaceStepButtons(*m_Buttons, rect(), *m_Viewer);
    update();
}

void Czor_managerDlg::Close() {
    ExitCommand();
}

void Czor_managerDlg::OnCommand(CommandId id) {
    Route(RouteKind::Command, ToInt(id), 0);
}

void Czor_managerDlg::OnTimer(TimerId id) {
    Route(RouteKind::Timer, ToInt(id), 0);
}

void Czor_managerDlg::Route(RouteKind kind, int id, intptr_t wParam) {
    RouteTargets targets{*m_Workflow, *m_Viewer, m_Export, *this};
    RouteTo(kind, id, wParam, targets);
}

bool Czor_managerDlg::event(QEvent* e) {
    const int number = static_cast<int>(e->type()) - QEvent::User;
    if (number == ToInt(MessageId::NewPanoramic) ||
        number == ToInt(MessageId::ReconstructionEnded)) {
        Route(RouteKind::Message, number, static_cast<WindowMessageEvent*>(e)->WParam());
        return true;
    }
    return QWidget::event(e);
}

void Czor_managerDlg::HideInfoWindow() {
    m_Windows->HideInfo();
    m_Timers->KillTimer(TimerId::InfoHide);
}

void Czor_managerDlg::ClearStatusLine() {
    LogMessage("", false, 3, false);
    m_Timers->KillTimer(TimerId::StatusClear);
}

std::vector<std::pair<QString, int>> Czor_managerDlg::ContextMenuEntries() const {
    const char* last = m_Workflow->WorkflowPhase() == 1 ? "_[Exit]_" : "_[Back to start]_";
    return {{QString::fromStdString(Tr("_[About DTS]_")), ToInt(CommandId::MenuAbout)},
            {QString::fromStdString(Tr("_[Quick start guide]_")), ToInt(CommandId::MenuQuickStart)},
            {QString(), 0},
            {QString::fromStdString(Tr(last)), ToInt(CommandId::MenuBackOrExit)}};
}

namespace {

viewer::Point PointOf(const QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    return {p.x(), p.y()};
}

}  // namespace

void Czor_managerDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_Viewer->Mouse().OnButtonDown(PointOf(event), m_Workflow->WorkflowPhase());
        return;
    }
    if (event->button() != Qt::RightButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    QMenu menu(this);
    for (const auto& [text, command] : ContextMenuEntries()) {
        if (command == 0) {
            menu.addSeparator();
        } else {
            menu.addAction(text)->setData(command);
        }
    }
    if (QAction* chosen = menu.exec(event->globalPosition().toPoint()))
        Route(RouteKind::Command, chosen->data().toInt(), 0);
}

void Czor_managerDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_Viewer->Mouse().OnButtonUp(PointOf(event), m_Workflow->WorkflowPhase());
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void Czor_managerDlg::mouseMoveEvent(QMouseEvent* event) {
    const bool held = (event->buttons() & Qt::LeftButton) != 0;
    m_Viewer->Mouse().OnMouseMove(PointOf(event), held, m_Workflow->WorkflowPhase());
}

void Czor_managerDlg::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click stands for the second press, as the viewer's gestures expect.
    if (event->button() == Qt::LeftButton) {
        m_Viewer->Mouse().OnDoubleClick(PointOf(event), m_Workflow->WorkflowPhase());
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void Czor_managerDlg::ShowAbout() {
    m_About->ShowCentred();
    m_About->raise();
}

void Czor_managerDlg::OpenQuickStartGuide() {
    const std::filesystem::path docs = platform::InstallPath(m_App.Settings().InstallDir, {"docs"});
    platform::OpenDocument(docs / "Talvern_Quick_Start_Guide_DTS.pdf", docs);
}

void Czor_managerDlg::ExitCommand() {
    hide();
    // The link's worker wakes at once; only a library call in progress (at most a second) and,
    // at worst, a stuck one (given up after 20 s) can hold the exit.
    m_DeviceLink->Stop();
    QCoreApplication::quit();
}

void Czor_managerDlg::closeEvent(QCloseEvent* event) {
    // The program ends only through its exit command.
    event->ignore();
}

void Czor_managerDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_Status->Layout(rect());
    m_Buttons->Relayout(rect());
    m_Viewer->SetViewerArea({0, 0, width(), height()});
    PlaceStepButtons(*m_Buttons, rect(), *m_Viewer);
}

void Czor_managerDlg::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    update();
}

void Czor_managerDlg::paintEvent(QPaintEvent* /*event*/) {
    viewer::ViewerScene scene =
        viewer::SceneOf(*m_Viewer, m_Workflow->WorkflowPhase(), m_Viewer->CrossViewShown());
    m_Background->FillScene(scene);
    scene.lineColour = 0x808080;
    m_ViewerPainter->Paint(scene, m_ViewerImage);
    QPainter painter(this);
    if (m_ViewerImage.isNull()) {
        m_Background->Paint(painter, rect());
    } else {
        painter.drawImage(0, 0, m_ViewerImage);
    }
    // Start-up measurements end the program at its first paint (see docs/benchmarks.md).
    static const bool quitAfterFirstPaint = std::getenv("ZOR_QUIT_AFTER_FIRST_PAINT") != nullptr;
    if (quitAfterFirstPaint) {
        QMetaObject::invokeMethod(
            this, [this] { ExitCommand(); }, Qt::QueuedConnection);
    }
}

}  // namespace zor::shell
