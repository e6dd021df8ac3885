#pragma once
// The device side of the device link: LinkServer accepts the system's connections on loopback
// and answers the line protocol (docs/platform.md, "Device link protocol"), asking an
// ILinkHandler for what only the device knows. Used by the device simulator and by tests.
//
//     struct Device : talvern::ILinkHandler { ... };
//     Device device;
//     talvern::LinkServer server(device);
//     std::string why;
//     if (!server.Start(kTalvernDefaultPort, &why)) ...;   // 0: an ephemeral port, see Port()
//     ...
//     server.Stop();                                        // also done by the destructor
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace talvern {

/// What the device answers. Called on the server's own thread, one call at a time; the
/// handler must outlive the server's Stop().
class ILinkHandler {
public:
    virtual ~ILinkHandler() = default;
    /// "VOI 1" / "VOI 0": the volume-selection phase begins (true) or ends (false).
    virtual void OnVolumeSelection(bool on) = 0;
    /// "ABORT": the system asks to abort the running acquisition.
    virtual void OnAbortRequest() = 0;
    /// "MAYABORT": true when an abort may proceed now.
    virtual bool MayAbort() = 0;
    /// "PING": one word naming the device state, e.g. "ready" or "exposing". Blanks and
    /// control characters are sent as '_', an empty word as "unknown".
    virtual std::string Status() = 0;
};

/// Serves the link on 127.0.0.1 only, on one thread of its own, with at most kMaxClients
/// connections at once (a further one is closed at once). A client that sends a line longer
/// than kMaxLineBytes or a greeting of another version is disconnected. Not copyable.
class LinkServer {
public:
    static constexpr int kMaxClients = 16;

    explicit LinkServer(ILinkHandler& handler);
    ~LinkServer();
    LinkServer(const LinkServer&) = delete;
    LinkServer& operator=(const LinkServer&) = delete;

    /// Listens on 127.0.0.1:`port` (0: an ephemeral port) and starts serving. False when
    /// already started or the port cannot be bound; `error` (when given) then says why.
    bool Start(uint16_t port, std::string* error = nullptr);
    /// Closes the listening socket and every connection and joins the thread. Idempotent.
    void Stop();
    /// The port listened on; 0 when not started.
    uint16_t Port() const { return m_Port.load(); }
    /// Connections currently open (greeted or not).
    int ClientCount() const { return m_Clients.load(); }

private:
    struct Impl;
    struct ClientState;
    void Serve();
    bool Receive(ClientState& client);
    std::string Answer(ClientState& client, const std::string& line, bool& drop);
    ILinkHandler& m_Handler;
    std::unique_ptr<Impl> m_Impl;
    std::atomic<uint16_t> m_Port{0};
    std::atomic<int> m_Clients{0};
};

}  // namespace talvern
