#include "shell/zor_managerApp.h"

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <iostream>

#include "langpack/Language.h"
#include "platform/CopyData.h"
#include "platform/ExitSignalWatch.h"
#include "platform/NamedObject.h"
#include "platform/Parser.h"
#include "platform/Registry.h"
#include "platform/TextConvert.h"
#include "shell/MessageBox.h"
#include "shell/NativeParent.h"
#include "shell/ShellConstants.h"
#include "shell/Translate.h"
#include "shell/zor_managerDlg.h"

namespace zor::shell {

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const auto& a : arguments) {
        if (!line.empty())
            line.push_back(' ');
        line += a;
    }
    return line;
}

Czor_managerApp::Czor_managerApp(std::vector<std::string> arguments)
    : m_CommandLine(JoinCommandLine(arguments)), m_RegistryFile(platform::RegistryFilePath()) {}

Czor_managerApp::~Czor_managerApp() = default;

bool Czor_managerApp::CheckSingleInstance() {
    std::string why;
    const bool windowFound = platform::NamedObjectExists(kWindowClassName, &why);
    bool alreadyExists = false;
    m_Mutex = platform::NamedObject::Create(kMutexName, alreadyExists, &why);
    if (m_Mutex)
        return true;
    if (!alreadyExists) {
        // Without its named objects the program could run twice or never get a command line.
        std::cerr << "zor_manager: cannot take the name " << kMutexName << ": " << why << '\n';
        m_StartExitCode = 1;
        return false;
    }
    // Another instance runs: hand it this command line if it already has its window.
    m_StartExitCode = 0;
    if (!windowFound)
        return false;
    const platform::CopyDataSent sent = platform::SendCopyData(kWindowClassName, 1, m_CommandLine);
    if (sent)
        return false;
    m_StartExitCode = 1;
    if (sent.result == platform::CopyDataResult::TooLarge) {
        std::cerr << "zor_manager: the command line (" << m_CommandLine.size()
                  << " bytes) is too long to hand to the running program (limit "
                  << platform::kMaxCopyDataBytes - 1 << ")\n";
    } else {
        std::cerr << "zor_manager: the command line could not be handed to the running program: "
                  << sent.reason << '\n';
    }
    return false;
}

bool Czor_managerApp::InitInstance() {
    // From here on SIGTERM, SIGINT and SIGHUP end the program through its exit command.
    WatchExitSignals();
    if (!CheckSingleInstance())
        return false;

    std::string reason;
    if (LoadSettings(m_Settings, m_RegistryFile, &reason) != SettingsStatus::Ok) {
        ShowMessageBox(reason.empty() ? kInstallDirNotFound : kInstallDirNotFound + ("\n" + reason),
                       MessageIcon::Error);
        return false;
    }

    const std::string languageFile =
        LanguageFilePath(m_Settings.InstallDir, ReadLanguageNumber(m_Settings.InstallDir));
    CLanguage::Initialize(platform::Utf8ToWide(languageFile).c_str(), L"_[", L"]_");

    platform::CInputParser parser(m_CommandLine);
    parser.Parse();
    parser.FindValue("#HANDLE", m_ParentHandle);
    const int handle = platform::Atoi(m_ParentHandle);
    QWindow* parent = handle > 0 ? FindForeignWindow(static_cast<uint64_t>(handle)) : nullptr;

    m_MainWindow = std::make_unique<Czor_managerDlg>(*this, parent, m_WorkflowFactory);
    if (!m_MainWindow->Create(m_CommandLine)) {
        m_MainWindow.reset();
        return false;
    }
    return true;
}

void Czor_managerApp::WatchExitSignals() {
    m_SignalNotifier = platform::WatchExitSignals([this] {
        if (m_MainWindow) {
            m_MainWindow->ExitCommand();
        } else {
            QCoreApplication::quit();
        }
    });
}

int Czor_managerApp::ExitInstance() {
    m_SignalNotifier.reset();
    m_MainWindow.reset();
    if (m_Settings.SliceVisualNumber < 1)
        m_Settings.SliceVisualNumber = kDefaultSliceVisualNumber;
    SaveSliceVisualNumber();
    return 0;
}

bool Czor_managerApp::SaveSliceVisualNumber() {
    // Part of the exit sequence: a short lock wait, and the failure goes to standard error
    // only, since nobody may be left to close a message box (an exit signal, a session end).
    std::string reason;
    if (WriteSettingDword(kSliceVisualNumberValue,
                          static_cast<uint32_t>(m_Settings.SliceVisualNumber), m_RegistryFile,
                          &reason, kExitLockWait)) {
        return true;
    }
    std::fprintf(stderr, "%s\n%s\n", kInstallDirNotFound, reason.c_str());
    std::fflush(stderr);
    return false;
}

bool Czor_managerApp::SaveLastPanoramicPhantom(bool phantom) {
    std::string reason;
    if (!WriteSettingDword(kIsLastPanoramicPhantomValue, phantom ? 1 : 0, m_RegistryFile,
                           &reason)) {
        ShowMessageBox(kInstallDirNotFound + ("\n" + reason), MessageIcon::Error);
        return false;
    }
    m_Settings.IsLastPanoramicPhantom = phantom;
    return true;
}

bool Czor_managerApp::SaveMainWindowHandle(uint64_t handle) {
    std::string reason;
    if (WriteSettingDword(kMainWindowHandleValue, static_cast<uint32_t>(handle), m_RegistryFile,
                          &reason)) {
        return true;
    }
    ShowMessageBox(kInstallDirNotFound + ("\n" + reason), MessageIcon::Error);
    return false;
}

void Czor_managerApp::ReportError(const std::string& titleTag, const std::string& textTag) {
    ShowMessageBox(Tr(titleTag) + "\n" + Tr(textTag), MessageIcon::Error);
}

}  // namespace zor::shell
