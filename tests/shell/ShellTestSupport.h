#pragma once
// Temporary installations and a recording workflow for the shell tests.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/IWorkflow.h"
#include "platform/Parser.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace zor::test {

/// An InstallDir tree and registry file; sets ZOR_REGISTRY, ZOR_SESSION and XDG_RUNTIME_DIR.
class TempInstall {
public:
    TempInstall();
    ~TempInstall();
    const std::filesystem::path& Root() const { return m_Dir.Path(); }
    std::filesystem::path Registry() const { return m_Dir / "registry.reg"; }
    std::filesystem::path Runtime() const { return m_Dir / "runtime"; }
    /// InstallDir as stored in the registry, ending with '/'.
    std::string InstallDir() const { return (m_Dir / "install").string() + "/"; }
    const std::string& Session() const { return m_Session; }
    /// Writes a registry file holding the settings key with only `installDirLine` in it
    /// (e.g. "\"InstallDir\"=\"/x/\""); `extra` is appended verbatim.
    void WriteRegistry(const std::string& installDirLine, const std::string& extra = {}) const;
    /// The registry with a valid InstallDir line.
    void WriteDefaultRegistry(const std::string& extra = {}) const;
    void WriteIni(const std::string& text) const;
    /// The value `name` of the program's settings key, if the registry file holds it.
    std::optional<platform::RegValue> Value(const char* name) const;

private:
    TempDir m_Dir{"zor-shell"};
    std::string m_Session;
};

/// A workflow that records what reaches it, by the name of the entry point.
class RecordingWorkflow : public acquisition::IWorkflow {
public:
    int32_t Phase = 0;
    bool AnswerResult = true;
    std::vector<std::string> Calls;
    std::vector<std::pair<std::string, std::string>> LastAnswer;
    acquisition::CallerState CallerValues;

    int32_t WorkflowPhase() const override { return Phase; }
    bool EnterWorkflowStep(int step, bool, bool) override {
        Calls.push_back("step " + std::to_string(step));
        Phase = step;
        return true;
    }
    void StartTomosynthesis() override { Calls.push_back("start"); }
    void LoadLastPanoramic() override { Calls.push_back("last panoramic"); }
    void LoadLastTomosynthesis() override { Calls.push_back("last tomosynthesis"); }
    void LoadPhantomPanoramic() override { Calls.push_back("phantom"); }
    void BackOrExit() override { Calls.push_back("back or exit"); }
    void OnNewPanoramic(bool present) override {
        Calls.push_back(std::string("new panoramic ") + (present ? "1" : "0"));
    }
    void OnReconstructionEnded(bool success) override {
        Calls.push_back(std::string("reconstruction ") + (success ? "1" : "0"));
    }
    void OnTimer(TimerId id) override { Calls.push_back("timer " + std::to_string(ToInt(id))); }
    acquisition::CallerState& Caller() override { return CallerValues; }
    void OpenCallerPanoramic() override { Calls.push_back("caller panoramic"); }
    bool ProcessDriverAnswer(const platform::CParser& answer) override {
        Calls.push_back("answer");
        LastAnswer = answer.Pairs();
        return AnswerResult;
    }
    void ShowWorkflowError(const std::string& title, const std::string& text, bool) override {
        Calls.push_back("error " + title + ": " + text);
    }
};

}  // namespace zor::test
