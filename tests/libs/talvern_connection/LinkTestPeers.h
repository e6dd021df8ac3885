#pragma once
// Device-side peers for the device link tests: a recording LinkServer handler, and a raw
// loopback peer that misbehaves on purpose (silent, closing mid-call).
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
    std::atomic<int> VolumeSelectionOn{0};
    std::atomic<int> VolumeSelectionOff{0};
    std::atomic<bool> LastVolumeSelection{false};
    std::atomic<int> AbortRequests{0};
    std::atomic<bool> AbortPermitted{true};
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

/// A loopback listener on an ephemeral port that runs `serve` on each accepted connection (on
/// its own thread); with no `serve` it never accepts, so connections wait in the backlog and
/// nothing is ever answered. The connection's descriptor is closed after `serve` returns.
class RawPeer {
public:
    using Serve = std::function<void(int fd)>;
    explicit RawPeer(Serve serve = nullptr);
    ~RawPeer();
    uint16_t Port() const { return m_Port; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_Port); }
    int Accepted() const { return m_Accepted.load(); }

private:
    int m_Listen = -1;
    int m_Wake = -1;
    uint16_t m_Port = 0;
    std::atomic<int> m_Accepted{0};
    std::thread m_Thread;
    std::vector<std::thread> m_Served;
};

/// Reads one line from a blocking descriptor; "" on end of file.
std::string ReadRawLine(int fd);
/// Writes all of `text`.
void WriteRaw(int fd, const std::string& text);
/// A TCP port on 127.0.0.1 that nothing listens on (bound once, then released).
uint16_t UnusedPort();

}  // namespace zor::test
