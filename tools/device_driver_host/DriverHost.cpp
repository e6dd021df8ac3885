#include "DriverHost.h"

#include <signal.h>

#include <charconv>
#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/CopyData.h"
#include "platform/NamedObject.h"
#include "platform/Parser.h"
#include "platform/Process.h"
#include "platform/StatusChannel.h"
#include "talvern_connection/LinkServer.h"

namespace zor::device {
namespace {

namespace fs = std::filesystem;

/// Control tickets remembered for the result query; older ones are forgotten.
constexpr size_t kKeptControlResults = 256;

/// True while the process exists and is not a zombie waiting for its parent to reap it.
bool ProcessAlive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text))
        return false;
    const size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

bool WaitForExit(pid_t pid, int limitMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (ProcessAlive(pid)) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

/// The device's state as one word for the device link's keep-alive.
std::string StateWord(int32_t state) {
    switch (state) {
        case kNotConnected:
            return "not_connected";
        case kSetup:
            return "setup";
        case kNeedsReset:
            return "reset";
        case kNeedsPatient:
            return "positioning";
        case kAcquiring:
            return "exposing";
        case kDummyRun:
            return "dummy_run";
        case kAlarm:
            return "alarm";
        case kService:
            return "service";
        case kUpdate:
            return "update";
        default:
            return "ready";
    }
}

}  // namespace

/// What the device link asks of the device.
class DriverHost::LinkDevice final : public talvern::ILinkHandler {
public:
    explicit LinkDevice(DriverHost& host) : m_Host(host) {}
    void OnVolumeSelection(bool on) override { m_Host.m_VolumeSelection = on; }
    void OnAbortRequest() override { m_Host.m_Model.Act("abort"); }
    // The device lets the operator abort at any time; a running exposure is stopped on the
    // device itself (the operator program then shows how).
    bool MayAbort() override { return true; }
    std::string Status() override { return StateWord(m_Host.m_Model.State()); }

private:
    DriverHost& m_Host;
};

DriverHost::DriverHost(DriverHostOptions options, std::unique_ptr<AcquisitionSteps> steps)
    : m_Options(std::move(options)), m_Steps(std::move(steps)) {
    if (m_Options.ManagerProgram.empty())
        m_Options.ManagerProgram = m_Options.InstallDir / "zor_manager";
}

std::unique_ptr<DriverHost> DriverHost::Start(DriverHostOptions options,
                                              std::unique_ptr<AcquisitionSteps> steps,
                                              bool& otherInstance, std::string& why) {
    otherInstance = false;
    std::unique_ptr<DriverHost> host(new DriverHost(std::move(options), std::move(steps)));
    DriverHost* self = host.get();
    // The program's own name first: it decides which instance runs.
    host->m_CopyDataServer = platform::CopyDataServer::Start(
        kProgramName,
        [self](uint32_t kind, const std::string& text) {
            if (kind == kRecordCommandLine)
                self->CommandLine(text);
            else if (kind == kRecordControl)
                self->ControlRecord(text);
        },
        &why);
    if (!host->m_CopyDataServer) {
        otherInstance = platform::NamedObjectExists(kProgramName);
        return nullptr;
    }
    host->m_StatusServer = platform::StatusQueryServer::Start(
        kStatusName, [self](int32_t w, int32_t l) { return self->StatusReply(w, l); }, &why);
    if (!host->m_StatusServer)
        return nullptr;
    // The device link is a convenience of the device: without its port the device still runs.
    if (host->m_Options.LinkPort >= 0) {
        host->m_LinkDevice = std::make_unique<LinkDevice>(*host);
        host->m_LinkServer = std::make_unique<talvern::LinkServer>(*host->m_LinkDevice);
        std::string linkWhy;
        if (!host->m_LinkServer->Start(static_cast<uint16_t>(host->m_Options.LinkPort), &linkWhy)) {
            host->Report("the device link is not served: " + linkWhy);
            host->m_LinkServer.reset();
        }
    }
    return host;
}

DriverHost::~DriverHost() {
    m_Stopping = true;
    m_LinkServer.reset();
    m_StatusServer.reset();
    m_CopyDataServer.reset();
    const std::lock_guard lock(m_JobMutex);
    if (m_Job.joinable())
        m_Job.join();
}

int32_t DriverHost::StatusReply(int32_t wParam, int32_t lParam) {
    if (wParam == kControlResultWParam) {
        const std::lock_guard lock(m_Mutex);
        const auto found = m_ControlResults.find(lParam);
        return found == m_ControlResults.end() ? -1 : found->second;
    }
    return m_Model.Answer(lParam);
}

void DriverHost::ControlRecord(const std::string& text) {
    int32_t ticket = 0;
    const size_t blank = text.find(' ');
    const std::string head = text.substr(0, blank);
    const auto [ptr, ec] = std::from_chars(head.data(), head.data() + head.size(), ticket);
    if (ec != std::errc() || blank == std::string::npos)
        return;
    const ActionResult result = Control(text.substr(blank + 1));
    const std::lock_guard lock(m_Mutex);
    m_ControlResults[ticket] = result.Accepted ? 1 : 0;
    while (m_ControlResults.size() > kKeptControlResults)
        m_ControlResults.erase(m_ControlResults.begin());
}

ActionResult DriverHost::Control(const std::string& action) {
    std::istringstream in(action);
    std::string verb;
    in >> verb;
    if (verb == "answer") {
        int code = 0;
        if (!(in >> code))
            return {false, "usage: answer <code> <message>", false};
        std::string message;
        std::getline(in >> std::ws, message);
        const bool handed = Answer(code, message);
        return {handed, handed ? "answer handed over" : "the answer could not be handed over",
                false};
    }
    ActionResult result = m_Model.Act(action);
    // The exposure begins before the reply, so whoever pressed X-ray sees state 5 at once.
    if (result.StartsPanoramic) {
        if (!m_Model.BeginExposure(Exam::Panoramic))
            return {false, "the device is not ready for the panoramic exposure", false};
        if (!StartJob(&DriverHost::PanoramicJob, {})) {
            m_Model.EndExposure();
            return {false, "an acquisition is already running", false};
        }
    }
    return result;
}

ActionResult DriverHost::CommandLine(const std::string& commandLine) {
    platform::CInputParser parser(commandLine);
    parser.Parse();
    std::string paramFile;
    if (!parser.FindValue("#FILEPARAM", paramFile) || paramFile.empty())
        return {false, "no #FILEPARAM on the command line", false};
    if (!StartJob(&DriverHost::ProjectionJob, paramFile)) {
        Answer(kAnswerWriteError, "device busy: an acquisition is already running");
        return {false, "an acquisition is already running", false};
    }
    return {true, "projection acquisition started", false};
}

bool DriverHost::StartJob(void (DriverHost::*job)(std::string), std::string argument) {
    const std::lock_guard lock(m_JobMutex);
    if (m_JobRunning || m_Stopping)
        return false;
    if (m_Job.joinable())
        m_Job.join();
    m_JobRunning = true;
    m_Job = std::thread([this, job, argument = std::move(argument)]() mutable {
        (this->*job)(std::move(argument));
        m_JobRunning = false;
    });
    return true;
}

void DriverHost::PanoramicJob(std::string) {
    // The device reports the running acquisition for a moment, as a real exposure does.
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_Options.PanoramicExposureMs);
    while (!m_Stopping && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    StepError error;
    if (m_Steps->WriteCurrentPanoramic(m_Options.InstallDir, error))
        Report("panoramic written to work/cur_pano.tif");
    else
        Report(error.Message);
    m_Model.EndExposure();
}

void DriverHost::ProjectionJob(std::string paramFile) {
    StepError error;
    if (!m_Steps->ReadParameterFile(paramFile, error)) {
        Report(error.Message);
        Answer(error.Code, error.Message);
        return;
    }
    Report("parameter file read; waiting for the X-ray button");
    m_Model.SetProjectionJob(true);
    int pressed = -1;
    while (pressed < 0 && !m_Stopping)
        pressed = m_Model.WaitForExposure(200);
    if (pressed != 1) {
        m_Model.SetProjectionJob(false);
        if (pressed == 0) {
            Report(kAbortedByUser);
            Answer(kAnswerAborted, kAbortedByUser);
        }
        return;
    }
    if (!m_Model.BeginExposure(Exam::Tomosynthesis)) {
        m_Model.SetProjectionJob(false);
        Report("tomosynthesis exposure refused: the device is not ready");
        Answer(kAnswerWriteError, "device not ready for the tomosynthesis exposure");
        return;
    }
    Answer(kAnswerStarted, "acquisition started");
    Answer(kAnswerArchive, "projections acquisition in progress");
    ProjectionSet projections;
    const bool acquired = m_Steps->AcquireProjections(
        m_Options.InstallDir, [this] { return m_Stopping || m_Model.AbortRequested(); },
        projections, error);
    const bool aborted = m_Model.AbortRequested() || error.Code == kAnswerAborted;
    m_Model.EndExposure();
    m_Model.SetProjectionJob(false);
    if (aborted) {
        Report(kAbortedByUser);
        Answer(kAnswerAborted, kAbortedByUser);
    } else if (!acquired) {
        Report(error.Message);
        Answer(error.Code, error.Message);
    } else {
        Report("projections ready in " + projections.Folder);
        Answer(kAnswerProjections, "projections ready", &projections);
    }
}

bool DriverHost::Answer(int code, const std::string& message, const ProjectionSet* projections) {
    // One file per answer: the operator program reads it while its second instance runs.
    int number = 0;
    {
        const std::lock_guard lock(m_Mutex);
        number = ++m_AnswerCount;
        m_Answers.push_back(std::to_string(code) + " " + message);
    }
    const fs::path file =
        m_Options.InstallDir / "work" / ("driver_answer_" + std::to_string(number) + ".txt");
    {
        std::ofstream out(file, std::ios::trunc);
        out << "#CALLER 3 #ERR " << code;
        if (projections)
            out << " #DIR " << projections->Folder << " #FILE " << projections->Pattern;
        if (!message.empty())
            out << " #MSG " << message;
        out << '\n';
        if (!out) {
            Report("cannot write the answer file " + file.string());
            return false;
        }
    }
    std::cout << "answer " << code << ' ' << message << std::endl;
    pid_t pid = -1;
    const int started = platform::SpawnDetached(
        m_Options.ManagerProgram, {"#FILEPARAM", file.string()}, m_Options.InstallDir, &pid);
    if (started <= 32) {
        Report("cannot start " + m_Options.ManagerProgram.string());
        return false;
    }
    if (!WaitForExit(pid, m_Options.ManagerWaitMs)) {
        Report("the operator program did not take the answer in time");
        return false;
    }
    return true;
}

void DriverHost::Report(const std::string& message) {
    std::cerr << "DeviceDriverHost: " << message << std::endl;
    const std::lock_guard lock(m_Mutex);
    m_LastMessage = message;
}

int DriverHost::LinkPort() const {
    return m_LinkServer ? m_LinkServer->Port() : 0;
}

std::vector<std::string> DriverHost::Answers() const {
    const std::lock_guard lock(m_Mutex);
    return m_Answers;
}

std::string DriverHost::LastMessage() const {
    const std::lock_guard lock(m_Mutex);
    return m_LastMessage;
}

}  // namespace zor::device
