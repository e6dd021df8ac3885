#include "shell/zor_managerDlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <future>

#include "acquisition/StartupWorkflow.h"
#include "platform/CopyData.h"
#include "platform/Process.h"
#include "shell/Settings.h"
#include "shell/ShellConstants.h"
#include "shell/zor_managerApp.h"

namespace zor::shell {

Czor_managerDlg::Czor_managerDlg(Czor_managerApp& app, QWindow* parent)
    : QWidget(nullptr),
      m_App(app),
      m_ParentWindow(parent),
      m_Workflow(std::make_unique<acquisition::StartupWorkflow>()),
      m_Stopping(std::make_shared<std::atomic<bool>>(false)) {
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

Czor_managerDlg::~Czor_managerDlg() {
    // The copy-data thread may be waiting for this window; release it before joining.
    m_Stopping->store(true);
    m_CopyData.reset();
    delete m_ParentWindow;
}

bool Czor_managerDlg::Create(const std::string& commandLine) {
    if (m_ParentWindow) {
        // Embedded: no caption; the caller's window becomes the native parent.
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        winId();
        windowHandle()->setParent(m_ParentWindow);
    }
    // The window's presence is what a second instance looks for; records it sends are handled
    // here on the user-interface thread while the sender waits.
    auto stopping = m_Stopping;
    m_CopyData = platform::CopyDataServer::Start(
        kWindowClassName, [this, stopping](uint32_t dwData, const std::string& text) {
            auto done = std::make_shared<std::promise<void>>();
            auto finished = done->get_future();
            QMetaObject::invokeMethod(
                this, [this, dwData, text, done] {
                    OnCopyData(dwData, text);
                    done->set_value();
                },
                Qt::QueuedConnection);
            while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
                if (stopping->load()) return;
            }
        });
    return OnInitDialog(commandLine);
}

bool Czor_managerDlg::OnInitDialog(const std::string& commandLine) {
    if (!ApplyCallerParameters(commandLine)) {
        m_App.ReportError("_[INIT DIALOG ERROR]_", "_[Invalid command line]_");
        return false;
    }
    WriteAppPath(platform::ExecutablePath().string(), m_App.RegistryFile());
    PlaceWindow();
    if (m_Workflow->WorkflowPhase() == 0) m_Workflow->EnterWorkflowStep(1, true, true);
    show();
    m_App.SaveMainWindowHandle(static_cast<uint64_t>(winId()));
    m_Initialised = true;
    return true;
}

void Czor_managerDlg::PlaceWindow() {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int width = m_Caller.Width < 1 ? static_cast<int>(screen.width() * 0.95) : m_Caller.Width;
    const int height = m_Caller.Height < 1 ? static_cast<int>(screen.height() * 0.9) : m_Caller.Height;
    QPoint position(m_Caller.Left, m_Caller.Top);
    if (m_ParentWindow) position = m_ParentWindow->mapFromGlobal(position);
    setGeometry(position.x(), position.y(), width, height);
}

bool Czor_managerDlg::ApplyCallerParameters(const std::string& text) {
    return shell::ApplyCallerParameters(text, m_Caller, *m_Workflow);
}

void Czor_managerDlg::OnCopyData(uint32_t dwData, const std::string& text) {
    if (dwData != 1) return;
    ApplyCallerParameters(text);
    if (m_Caller.CallerPanoramicMode && m_Workflow->WorkflowPhase() == 1 &&
        !m_Caller.PanoramicPath.empty()) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_Workflow->OpenCallerPanoramic();
        QGuiApplication::restoreOverrideCursor();
    }
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

void Czor_managerDlg::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0));
    // Start-up measurements end the program at its first paint (see docs/benchmarks.md).
    static const bool quitAfterFirstPaint = std::getenv("ZOR_QUIT_AFTER_FIRST_PAINT") != nullptr;
    if (quitAfterFirstPaint) QMetaObject::invokeMethod(this, [this] { ExitCommand(); }, Qt::QueuedConnection);
}

}  // namespace zor::shell
