#pragma once
// The device PC driver program without its window: serves the status channel from the device
// model, takes command lines from second instances and actions from the control channel, runs
// the panoramic and projection acquisitions on a worker thread, and hands answers to the
// operator program by starting it with "#FILEPARAM <answer file>".
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AcquisitionSteps.h"
#include "DeviceModel.h"

namespace talvern {
class LinkServer;
}  // namespace talvern

namespace zor::platform {
class CopyDataServer;
class StatusQueryServer;
}  // namespace zor::platform

namespace zor::device {

/// The name whose owner is the running driver program; second instances and the control
/// channel send their copy-data records there.
inline constexpr const char* kProgramName = "DeviceDriverHost";
/// The status channel the operator program polls.
inline constexpr const char* kStatusName = "CDeviceDriverHostApp";
/// Copy-data record kinds on kProgramName.
inline constexpr uint32_t kRecordCommandLine = 1;
inline constexpr uint32_t kRecordControl = 2;  ///< "<ticket> <action>"
/// Status query with this wParam asks for the result of the control action whose ticket is
/// the lParam: 1 accepted, 0 refused, -1 unknown ticket. The operator program always sends 0.
inline constexpr int32_t kControlResultWParam = 0x5A4F;

/// Answer codes the driver writes ("#ERR").
inline constexpr int kAnswerArchive = -51;
inline constexpr int kAnswerStarted = -52;
inline constexpr int kAnswerProjections = -54;
inline constexpr int kAnswerParameterError = 1;  ///< parameter file missing or malformed
inline constexpr int kAnswerWriteError = 3;      ///< the device could not deliver the images
inline constexpr int kAnswerAborted = 4;         ///< the acquisition was aborted on the device
inline constexpr const char* kAbortedByUser = "aborted by user";

struct DriverHostOptions {
    std::filesystem::path InstallDir;      ///< holds "work/" and the operator program
    std::filesystem::path ManagerProgram;  ///< empty: InstallDir/"zor_manager"
    int PanoramicExposureMs = 1500;        ///< how long state 5 lasts for a panoramic
    int ManagerWaitMs = 60000;             ///< longest wait for the operator program to end
    int LinkPort = 47310;                  ///< device link on 127.0.0.1; 0 any port, -1 none
};

class DriverHost {
public:
    /// Takes both names and starts serving. nullptr when a name is taken: `otherInstance` tells
    /// whether another driver program holds it; `why` gives the reason.
    static std::unique_ptr<DriverHost> Start(DriverHostOptions options,
                                             std::unique_ptr<AcquisitionSteps> steps,
                                             bool& otherInstance, std::string& why);
    ~DriverHost();  ///< stops serving, aborts a waiting acquisition and joins it
    DriverHost(const DriverHost&) = delete;
    DriverHost& operator=(const DriverHost&) = delete;

    DeviceModel& Model() { return m_Model; }
    /// A panel or control action; "answer <code> <message>" hands an answer over directly.
    ActionResult Control(const std::string& action);
    /// A command line with "#FILEPARAM <file>" starts a projection acquisition.
    ActionResult CommandLine(const std::string& commandLine);
    /// The answers handed over so far, "<code> <message>" each, oldest first.
    std::vector<std::string> Answers() const;
    /// The last thing the acquisition reported, for the panel.
    std::string LastMessage() const;
    bool JobRunning() const { return m_JobRunning; }
    /// The port the device link is served on; 0 when it is not served.
    int LinkPort() const;
    /// True while the operator program says its volume-selection phase runs (device link).
    bool VolumeSelection() const { return m_VolumeSelection; }

private:
    explicit DriverHost(DriverHostOptions options, std::unique_ptr<AcquisitionSteps> steps);
    class LinkDevice;
    int32_t StatusReply(int32_t wParam, int32_t lParam);
    void ControlRecord(const std::string& text);
    bool StartJob(void (DriverHost::*job)(std::string), std::string argument);
    void PanoramicJob(std::string unused);
    void ProjectionJob(std::string paramFile);
    bool Answer(int code, const std::string& message, const ProjectionSet* projections = nullptr);
    void Report(const std::string& message);

    DriverHostOptions m_Options;
    std::unique_ptr<AcquisitionSteps> m_Steps;
    DeviceModel m_Model;
    std::atomic<bool> m_Stopping{false};
    std::atomic<bool> m_JobRunning{false};
    std::atomic<bool> m_VolumeSelection{false};
    std::mutex m_JobMutex;  // guards m_Job
    std::thread m_Job;
    mutable std::mutex m_Mutex;  // guards the fields below
    std::map<int32_t, int32_t> m_ControlResults;
    std::vector<std::string> m_Answers;
    std::string m_LastMessage;
    int m_AnswerCount = 0;
    // Servers last: they are stopped first, before the state their handlers use goes away.
    std::unique_ptr<LinkDevice> m_LinkDevice;
    std::unique_ptr<talvern::LinkServer> m_LinkServer;
    std::unique_ptr<platform::StatusQueryServer> m_StatusServer;
    std::unique_ptr<platform::CopyDataServer> m_CopyDataServer;
};

}  // namespace zor::device
