#pragma once
// The device status link as the workflow uses it: a worker keeps the connection object
// connected to the device address from the registry, and the workflow asks it to abort and
// tells it when volume selection begins and ends.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "talvern_connection/TalvernConnection.h"

namespace zor::acquisition {

/// The registry value holding the device address, under
/// HKEY_LOCAL_MACHINE\software\vordal\orvix\talvern.
inline constexpr const char* kDeviceAddressValue = "IPAddress";

/// The device address the worker connects to: `IPAddress` when it is REG_SZ or REG_EXPAND_SZ
/// (an empty value gives ""), otherwise (no file, no key, no value, another type)
/// kTalvernDefaultAddress. Cut to 31 bytes, the longest address the library takes.
std::string ReadDeviceAddress(const std::filesystem::path& registryFile);

/// What the worker is made of; tests replace the parts.
struct DeviceLinkParts {
    /// Creates the connection object (null: the worker ends at once, the link stays absent).
    std::function<ITalvernConnection*()> Create = CreateTalvernConnection;
    /// Releases it when the worker ends.
    std::function<bool(ITalvernConnection*)> Destroy = DestroyTalvernConnection;
    /// Read on every cycle that finds the link down.
    std::function<std::string()> ReadAddress;  ///< empty: ReadDeviceAddress(RegistryFilePath())
    std::chrono::milliseconds Cycle{5000};     ///< keep-alive period
};

/// The device link as the workflow sees it (user-interface thread); tests replace it with a
/// recorder.
class IDeviceLink {
public:
    virtual ~IDeviceLink() = default;
    /// The abort sequence; true when the abort may go on (always without a connection).
    virtual bool AbortAllowed() = 0;
    /// Volume selection begins (true) or ends (false); false when the device was not told.
    virtual bool SetVolumeSelection(bool on) = 0;
    virtual bool IsConnected() const = 0;
};

/// Owns the link worker thread and the connection object it creates. Start, Stop and the
/// workflow calls belong to the user-interface thread; the worker runs on its own thread.
/// Every workflow call checks that the object exists and is connected, and is bounded by the
/// library's one-second call limit. Nothing is thrown out of this class.
class DeviceLink final : public IDeviceLink {
public:
    explicit DeviceLink(DeviceLinkParts parts = {});
    /// Stops the worker (Stop with its default wait).
    ~DeviceLink() override;
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    /// Starts the worker; false when it runs already or has run (one worker per object).
    bool Start();
    /// Sets the stop flag, which also wakes the worker from its cycle's sleep, and waits at most
    /// `wait` for it to end. True when it ended in time (or never ran); otherwise the worker is
    /// left running detached and ends on its own after its current library call.
    bool Stop(std::chrono::milliseconds wait = std::chrono::milliseconds(20000));

    /// The abort sequence: when connected, requests the abort, refreshes the status and returns
    /// the device's permission. True (allowed) without a connection, also when the link fails
    /// during the sequence.
    bool AbortAllowed() override;
    /// Tells the device that volume selection begins (true) or ends (false); false when there
    /// was no connection to tell or the link failed.
    bool SetVolumeSelection(bool on) override;
    /// True when the connection object exists and reports a connection.
    bool IsConnected() const override;

private:
    struct State;
    std::shared_ptr<State> m_State;
};

}  // namespace zor::acquisition
