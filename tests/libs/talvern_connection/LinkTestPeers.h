#pragma once
// Device-side peers: a recording LinkServer handler and a raw loopback peer that misbehaves.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "talvern_connection/LinkServer.h"

namespace zor::test {

/// Records what the device was told and answers from its fields.
struct RecordingDevice : talvern::ILinkHandler {
    std::atomic<int> VolumeSelectionOn{0}, VolumeSelectionOff{0}, AbortRequests{0};
    std::atomic<bool> LastVolumeSelection{false}, AbortPermitted{true};
    std::mutex Lock;
    std::string State = "ready";

    void OnVolumeSelection(bool on) override {
        (on ? VolumeSelectionOn : VolumeSelectionOff)++;
        LastVolumeSelection = on;
    }
    void OnAbortRequest() override { AbortRequests++; }
    bool MayAbort() override { return AbortPermitted; }
    std::string Status() override {
        std::lock_guard lock(Lock);
        return State;
    }
};

/// Runs `serve` on each accepted connection, then closes it; without `serve` it never accepts.
class RawPeer {
public:
    using Serve = std::function<void(int fd)>;
    explicit RawPeer(Serve serve = nullptr);
    ~RawPeer();
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_Port); }

private:
    int m_Listen = -1;
    uint16_t m_Port = 0;
    std::thread m_Thread;
    std::vector<std::thread> m_Served;
};

/// Answers each line with the next reply; with `hold` it then waits silently for the client.
RawPeer::Serve Replies(std::vector<std::string> replies, bool hold = false);
std::string ReadRawLine(int fd);  // "" at end of file
void WriteRaw(int fd, const std::string& text);
uint16_t UnusedPort();  // bound once, then released

}  // namespace zor::test
