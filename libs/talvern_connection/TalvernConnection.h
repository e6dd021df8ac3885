#pragma once
// The device link library as the system calls it: CreateTalvernConnection gives the connection
// object, whose calls keep a TCP link to the X-ray device; DestroyTalvernConnection ends it.
// The line protocol is described in docs/platform.md ("Device link protocol").
#include <stdexcept>
#include <string>

/// Thrown by the calls of ITalvernConnection when an established link fails: the peer closed
/// it, did not answer within the call's time limit, or answered outside the protocol. The
/// connection is closed before the exception leaves the call (IsConnected() is then false).
class CTalvernConnectionException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// One link to the device. Every call may come from any thread; calls are serialised inside
/// the object, and each call (waiting for another caller included) returns or throws within
/// about one second, whatever the peer does.
class ITalvernConnection {
public:
    virtual ~ITalvernConnection() = default;

    /// Connects to `address`, "host" or "host:port" (host a numeric IPv4 address or
    /// "localhost"; default port kTalvernDefaultPort), replacing any link already open.
    /// `flags` must be 0. Never throws: an address that cannot be parsed, refused or silent
    /// peer, or a failed greeting leaves the object not connected, and LastError() says why.
    virtual void Connect(const char* address, int flags) = 0;
    /// Closes the link, if any; the next Connect starts afresh.
    virtual void Reset() = 0;
    /// True while a link is established; never blocks.
    virtual bool IsConnected() const = 0;
    /// Keep-alive: asks the device for its state (LastStatus()). Does nothing when not
    /// connected. Throws CTalvernConnectionException on a link fault.
    virtual void RefreshStatus() = 0;
    /// True when the device lets a running acquisition be aborted. Throws when not connected
    /// or on a link fault.
    virtual bool MayAbort() = 0;
    /// Asks the device to abort the running acquisition. Throws when not connected or on a
    /// link fault.
    virtual void RequestAbort() = 0;
    /// Tells the device that the volume-selection phase begins (true) or ends (false). Throws
    /// when not connected or on a link fault.
    virtual void SetVolumeSelection(bool on) = 0;

    /// The device state word of the last keep-alive ("" before the first one).
    virtual std::string LastStatus() const = 0;
    /// Why the last Connect failed or the last call threw; "" after a successful Connect.
    virtual std::string LastError() const = 0;
};

/// Port used when the address names none.
inline constexpr int kTalvernDefaultPort = 47310;
/// Device address used when the installation names none.
inline constexpr const char* kTalvernDefaultAddress = "127.0.0.1";

/// A new connection object, not connected; null when it cannot be created. The caller owns it
/// and releases it with DestroyTalvernConnection.
ITalvernConnection* CreateTalvernConnection();
/// Closes the link and frees `connection`; false for a null pointer.
bool DestroyTalvernConnection(ITalvernConnection* connection);
