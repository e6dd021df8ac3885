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
#include <future>

#include "acquisition/StartupWorkflow.h"
#include "platform/CopyData.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "resources/Resources.h"
#include "shell/ActivityLog.h"
#include "shell/NativeParent.h"
#include "shell/Settings.h"
#include "shell/ShellConstants.h"
#include "shell/StatusLine.h"
#include "shell/TimerTable.h"
#include "shell/ToolButtons.h"
#include "shell/Translate.h"
#include "shell/WindowMessages.h"
#include "shell/zor_managerApp.h"
#include "ui/CAboutDlg.h"
#include "ui/CButtonST.h"
#include "ui/CDlgMsg.h"
#include "ui/CDlgMsgBmp.h"
#include "ui/CDlgVolumeProgress.h"

namespace zor::shell {

namespace {
constexpr const char* kPictureFolder = "\\config_zor\\\\zor_manager\\";
constexpr int kStatusClearMs = 3000;
constexpr int kStepHideMs = 5000;
}  // namespace

Czor_managerDlg::Czor_managerDlg(Czor_managerApp& app, QWindow* parent)
    : QWidget(nullptr),
      m_App(app),
      m_ParentWindow(parent),
      m_Workflow(std::make_unique<acquisition::StartupWorkflow>()),
      m_Timers(std::make_unique<TimerTable>([this](int id) { OnTimer(id); })),
      m_Stopping(std::make_shared<std::atomic<bool>>(false)) {
    InitResources();
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setWindowIcon(ApplicationIcon());
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // Pictures that cannot be loaded are simply absent; their areas get a plain colour.
    m_Background.load(QString::fromStdString(PicturePath("background.JPG")));
    m_Panel.load(QString::fromStdString(PicturePath("panel.JPG")));
    m_Buttons = std::make_unique<ToolButtons>(this, [this](int id) { OnCommand(id); });
    m_Status = std::make_unique<StatusLine>(this);
}

Czor_managerDlg::~Czor_managerDlg() {
    // The copy-data thread may be waiting for this window; release it before joining.
    m_Stopping->store(true);
    m_CopyData.reset();
    m_Timers.reset();
    // The caller's window would take our native window down with it: detach first.
    if (m_ParentWindow && windowHandle())
        windowHandle()->setParent(nullptr);
    delete m_ParentWindow;
}

std::string Czor_managerDlg::PicturePath(const char* file) const {
    return platform::JoinRaw(platform::JoinRaw(m_App.Settings().InstallDir, kPictureFolder), file);
}

bool Czor_managerDlg::Create(const std::string& commandLine) {
    if (m_ParentWindow) {
        // Embedded: no caption; the caller's window becomes the native parent.
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        winId();
        windowHandle()->setParent(m_ParentWindow);
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
                    OnCopyData(dwData, text);
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
    if (!ApplyCallerParameters(commandLine)) {
        m_App.ReportError("_[INIT DIALOG ERROR]_", "_[Invalid command line]_");
        return false;
    }
    m_ProgressWindow = new ui::CDlgVolumeProgress(this);
    m_ProgressWindow->SetText(QString::fromStdString(Tr("_[Computing volume]_")));
    m_ProgressWindow->SetPicture(QString::fromStdString(PicturePath("info.bmp")));
    m_ProgressWindow->hide();
    m_InfoWindow = new ui::CDlgMsg(this);
    m_InfoWindow->hide();
    m_StepWindow = new ui::CDlgMsgBmp(this);
    m_StepWindow->hide();

    WriteAppPath(platform::ExecutablePath().string(), m_App.RegistryFile());
    PlaceWindow();
    m_Buttons->Initialise([](const std::string& tag) { return Tr(tag); });
    m_Client = rect();
    m_Status->Layout(m_Client);
    m_Buttons->Button(1020)->hide();
    if (m_Workflow->WorkflowPhase() == 0) {
        LogMessage("", false, 3, false);
        m_Workflow->EnterWorkflowStep(1, true, true);
        LayoutToolButtons(1, m_LastPanoramic, m_LastTomosynthesis);
        UpdateToolButtons(1, m_LastPanoramic, m_LastTomosynthesis);
    }
    show();
    m_App.SaveMainWindowHandle(static_cast<uint64_t>(winId()));
    m_ErrorPicture = PicturePath("Error.bmp");
    m_Initialised = true;
    return true;
}

void Czor_managerDlg::PlaceWindow() {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int width = m_Caller.Width < 1 ? static_cast<int>(screen.width() * 0.95) : m_Caller.Width;
    const int height =
        m_Caller.Height < 1 ? static_cast<int>(screen.height() * 0.9) : m_Caller.Height;
    QPoint position(m_Caller.Left, m_Caller.Top);
    if (m_ParentWindow)
        position = MapFromScreen(*m_ParentWindow, position);
    setGeometry(position.x(), position.y(), width, height);
}

bool Czor_managerDlg::ApplyCallerParameters(const std::string& text) {
    return shell::ApplyCallerParameters(text, m_Caller, *m_Workflow);
}

void Czor_managerDlg::OnCopyData(uint32_t dwData, const std::string& text) {
    if (dwData != 1)
        return;
    ApplyCallerParameters(text);
    if (m_Caller.CallerPanoramicMode && m_Workflow->WorkflowPhase() == 1 &&
        !m_Caller.PanoramicPath.empty()) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_Workflow->OpenCallerPanoramic();
        QGuiApplication::restoreOverrideCursor();
    }
}

void Czor_managerDlg::LogMessage(const std::string& text, bool bold, int level, bool autoClear) {
    const std::string line = RemoveLineBreaks(text);
    m_Status->Show(line, bold, level);
    AppendToActivityLog(m_App.Settings().InstallDir, line);
    if (autoClear)
        m_Timers->SetTimer(4, kStatusClearMs);
}

void Czor_managerDlg::ShowWorkflowError(const std::string& title, const std::string& text,
                                        bool restart) {
    if (restart)
        m_Workflow->EnterWorkflowStep(1, true, true);
    m_InfoWindow->hide();
    m_StepWindow->hide();
    m_StepWindow->SetTitle(QString::fromStdString(title));
    m_StepWindow->SetLine(0, QString::fromStdString(text));
    for (int slot = 1; slot < 4; ++slot)
        m_StepWindow->SetLine(slot, QString());
    m_StepWindow->SetStepBitmaps(QString::fromStdString(m_ErrorPicture), {}, {}, {});
    m_StepWindow->CentreInParent();
    m_StepWindow->show();
    m_StepWindow->raise();
    LogMessage(text + "  ", false, 0, false);
    m_Timers->SetTimer(2, kStepHideMs);
}

void Czor_managerDlg::LayoutToolButtons(int phase, bool lastPanoramic, bool lastTomosynthesis) {
    m_LastPanoramic = lastPanoramic;
    m_LastTomosynthesis = lastTomosynthesis;
    m_Buttons->Layout(m_Client, phase, lastPanoramic, lastTomosynthesis);
}

void Czor_managerDlg::UpdateToolButtons(int phase, bool lastPanoramic, bool lastTomosynthesis) {
    m_Buttons->Update(m_Workflow->WorkflowPhase(), phase, lastPanoramic, lastTomosynthesis);
}

void Czor_managerDlg::OnCommand(int id) {
    switch (id) {
        case 1008:
        case 1000:
        case 1001:
        case 1002:
            ToggleMode(id);
            break;
        case 1009:
            EndModes();
            break;
        case 1007:
        case kMenuBackOrExit:
            BackOrExit();
            break;
        case kMenuAbout:
            ShowAbout();
            break;
        case kMenuQuickStart:
            OpenQuickStartGuide();
            break;
        default:
            // Commands whose work lives in components that are not built yet do nothing.
            break;
    }
}

void Czor_managerDlg::ToggleMode(int buttonId) {
    m_ZoomMode = buttonId == 1008;
    m_BrightnessMode = buttonId == 1000;
    m_ContrastMode = buttonId == 1001;
    m_GammaMode = buttonId == 1002;
    m_Buttons->MarkMode(buttonId, true);
    const int cursor = m_ZoomMode ? 150 : (m_GammaMode ? 168 : 167);
    setCursor(LoadCursorResource(cursor));
}

void Czor_managerDlg::EndModes() {
    m_ZoomMode = m_BrightnessMode = m_ContrastMode = m_GammaMode = false;
    m_Buttons->ClearModes();
    setCursor(Qt::ArrowCursor);
}

bool Czor_managerDlg::IsModeActive(int buttonId) const {
    switch (buttonId) {
        case 1008:
            return m_ZoomMode;
        case 1000:
            return m_BrightnessMode;
        case 1001:
            return m_ContrastMode;
        case 1002:
            return m_GammaMode;
        default:
            return false;
    }
}

void Czor_managerDlg::BackOrExit() {
    if (m_Workflow->WorkflowPhase() == 1) {
        ExitCommand();
        return;
    }
    if (m_Caller.CallerPanoramicMode) {
        setWindowTitle(QString::fromLatin1(kWindowTitle));
        m_Caller.PatientName.clear();
        m_Caller.CallerPanoramicMode = false;
    }
    LogMessage("", false, 3, false);
    EndModes();
    m_Workflow->EnterWorkflowStep(1, true, true);
    LayoutToolButtons(1, m_LastPanoramic, m_LastTomosynthesis);
    UpdateToolButtons(1, m_LastPanoramic, m_LastTomosynthesis);
    update();
}

void Czor_managerDlg::OnTimer(int id) {
    switch (id) {
        case 1:
            m_InfoWindow->hide();
            m_Timers->KillTimer(1);
            break;
        case 2:
            m_StepWindow->hide();
            m_Timers->KillTimer(2);
            break;
        case 4:
            LogMessage("", false, 3, false);
            m_Timers->KillTimer(4);
            break;
        default:
            // Device polling, exposure watch and selection instructions belong to the workflow.
            break;
    }
}

bool Czor_managerDlg::event(QEvent* e) {
    if (e->type() == QEvent::User + kMsgReconstructionEnded) {
        OnReconstructionEnded(static_cast<WindowMessageEvent*>(e)->WParam() != 0);
        return true;
    }
    if (e->type() == QEvent::User + kMsgNewPanoramic)
        return true;  // handled by the workflow
    return QWidget::event(e);
}

void Czor_managerDlg::OnReconstructionEnded(bool success) {
    if (m_Workflow->WorkflowPhase() != 4)
        return;
    if (success) {
        m_Workflow->EnterWorkflowStep(5, true, false);
    } else {
        ShowWorkflowError("RECOSTRUCTION ERROR", "On reconstruction error", true);
    }
}

std::vector<std::pair<QString, int>> Czor_managerDlg::ContextMenuEntries() const {
    const char* last = m_Workflow->WorkflowPhase() == 1 ? "_[Exit]_" : "_[Back to start]_";
    return {{QString::fromStdString(Tr("_[About DTS]_")), kMenuAbout},
            {QString::fromStdString(Tr("_[Quick start guide]_")), kMenuQuickStart},
            {QString(), 0},
            {QString::fromStdString(Tr(last)), kMenuBackOrExit}};
}

void Czor_managerDlg::mousePressEvent(QMouseEvent* event) {
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
        OnCommand(chosen->data().toInt());
}

void Czor_managerDlg::ShowAbout() {
    m_About->ShowCentred();
    m_About->raise();
}

void Czor_managerDlg::OpenQuickStartGuide() {
    const std::string docs = platform::JoinRaw(m_App.Settings().InstallDir, "\\docs\\");
    platform::OpenDocument(platform::JoinRaw(docs, "Talvern_Quick_Start_Guide_DTS.pdf"), docs);
}

void Czor_managerDlg::ExitCommand() {
    hide();
    QCoreApplication::quit();
}

void Czor_managerDlg::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape do nothing in the main window.
    event->accept();
}

void Czor_managerDlg::closeEvent(QCloseEvent* event) {
    // The program ends only through its exit command.
    event->ignore();
}

void Czor_managerDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_Client = rect();
    m_Status->Layout(m_Client);
    if (m_Initialised) {
        const int phase = m_Workflow->WorkflowPhase();
        LayoutToolButtons(phase, m_LastPanoramic, m_LastTomosynthesis);
    }
}

void Czor_managerDlg::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    update();
}

void Czor_managerDlg::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const int split = static_cast<int>(0.9 * width());
    const QRect images(0, 0, split, height());
    const QRect panel(split, 0, width() - split, height());
    if (m_Background.isNull()) {
        painter.fillRect(images, QColor(0, 0, 0));
    } else {
        painter.drawImage(images, m_Background);
    }
    if (m_Panel.isNull()) {
        painter.fillRect(panel, QColor(50, 50, 50));
    } else {
        painter.drawImage(panel, m_Panel);
    }
    // Start-up measurements end the program at its first paint (see docs/benchmarks.md).
    static const bool quitAfterFirstPaint = std::getenv("ZOR_QUIT_AFTER_FIRST_PAINT") != nullptr;
    if (quitAfterFirstPaint) {
        QMetaObject::invokeMethod(
            this, [this] { ExitCommand(); }, Qt::QueuedConnection);
    }
}

}  // namespace zor::shell
