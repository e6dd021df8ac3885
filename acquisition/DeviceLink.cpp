#include "acquisition/DeviceLink.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Registry.h"

namespace zor::acquisition {

namespace {

constexpr const char* kSettingsKey = "HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern";
/// The library takes the address as 8-bit text of at most this many bytes.
constexpr size_t kMaxAddressBytes = 31;

}  // namespace

std::string ReadDeviceAddress(const std::filesystem::path& registryFile) {
    std::string address = kTalvernDefaultAddress;
    if (const auto key = platform::RegistryKey::Open(kSettingsKey, false, registryFile)) {
        const auto value = key->Query(kDeviceAddressValue);
        if (value && (value->type == static_cast<uint32_t>(platform::RegType::Sz) ||
                      value->type == static_cast<uint32_t>(platform::RegType::ExpandSz))) {
            address = value->text;
        }
    }
    if (address.size() > kMaxAddressBytes)
        address.resize(kMaxAddressBytes);
    return address;
}

struct DeviceLink::State {
    DeviceLinkParts Parts;

    /// Guards Object against the worker's destroy while a workflow call uses it. The worker's
    /// own calls go without it: only the worker ever destroys the object.
    mutable std::mutex ObjectLock;
    ITalvernConnection* Object = nullptr;

    std::mutex StopLock;  // guards the three fields below
    std::condition_variable Wake;
    bool StopRequested = false;
    bool Finished = false;

    std::thread Worker;
    bool Started = false;

    /// Sleeps one cycle or until Stop(); true when the stop flag is set.
    bool SleepCycle() {
        std::unique_lock lock(StopLock);
        return Wake.wait_for(lock, Parts.Cycle, [this] { return StopRequested; });
    }
    bool StopSet() {
        std::lock_guard lock(StopLock);
        return StopRequested;
    }
    void Run();
};

void DeviceLink::State::Run() {
    ITalvernConnection* link = nullptr;
    {
        std::lock_guard lock(ObjectLock);
        if (!Object)
            Object = Parts.Create();
        link = Object;
    }
    // A fault right after a fault waits out the cycle first, so that a peer failing every
    // exchange is retried once per cycle, never in a tight loop; a single fault (a restarted
    // device) is retried at once.
    bool lastCycleFailed = false;
    while (link && !StopSet()) {
        try {
            std::string address;
            if (!link->IsConnected())
                address = Parts.ReadAddress();
            if (!link->IsConnected())
                link->Connect(address.c_str(), 0);
            link->RefreshStatus();
            lastCycleFailed = false;
            SleepCycle();
        } catch (const CTalvernConnectionException&) {
            link->Reset();
            if (lastCycleFailed)
                SleepCycle();
            lastCycleFailed = true;
        }
    }
    if (link) {
        std::lock_guard lock(ObjectLock);
        Parts.Destroy(Object);
        Object = nullptr;
    }
    std::lock_guard lock(StopLock);
    Finished = true;
    Wake.notify_all();
}

DeviceLink::DeviceLink(DeviceLinkParts parts) : m_State(std::make_shared<State>()) {
    if (!parts.ReadAddress) {
        parts.ReadAddress = [] { return ReadDeviceAddress(platform::RegistryFilePath()); };
    }
    m_State->Parts = std::move(parts);
}

DeviceLink::~DeviceLink() {
    Stop();
}

bool DeviceLink::Start() {
    if (m_State->Started)
        return false;
    m_State->Started = true;
    // The thread shares the state, so a worker left running by Stop() outlives this object
    // safely.
    m_State->Worker = std::thread([state = m_State] { state->Run(); });
    return true;
}

bool DeviceLink::Stop(std::chrono::milliseconds wait) {
    State& s = *m_State;
    if (!s.Worker.joinable())
        return true;
    bool finished = false;
    {
        std::unique_lock lock(s.StopLock);
        s.StopRequested = true;
        s.Wake.notify_all();
        finished = s.Wake.wait_for(lock, wait, [&s] { return s.Finished; });
    }
    if (finished)
        s.Worker.join();
    else
        s.Worker.detach();
    return finished;
}

bool DeviceLink::AbortAllowed() {
    std::lock_guard lock(m_State->ObjectLock);
    ITalvernConnection* link = m_State->Object;
    if (!link || !link->IsConnected())
        return true;
    try {
        link->RequestAbort();
        link->RefreshStatus();
        return link->MayAbort();
    } catch (const CTalvernConnectionException&) {
        // The device cannot be asked any more: as without a connection.
        return true;
    }
}

bool DeviceLink::SetVolumeSelection(bool on) {
    std::lock_guard lock(m_State->ObjectLock);
    ITalvernConnection* link = m_State->Object;
    if (!link || !link->IsConnected())
        return false;
    try {
        link->SetVolumeSelection(on);
        return true;
    } catch (const CTalvernConnectionException&) {
        return false;
    }
}

bool DeviceLink::IsConnected() const {
    std::lock_guard lock(m_State->ObjectLock);
    return m_State->Object && m_State->Object->IsConnected();
}

}  // namespace zor::acquisition
