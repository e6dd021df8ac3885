#include "DeviceModel.h"

#include <charconv>
#include <chrono>
#include <sstream>
#include <vector>

namespace zor::device {
namespace {

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

bool ToInt(const std::string& text, int32_t& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

ActionResult Accept(std::string text) {
    return {true, std::move(text), false};
}
ActionResult Refuse(std::string text) {
    return {false, std::move(text), false};
}

bool ReadyState(int32_t state) {
    return state == kPatientPositioned || state == kPanoramicReady || state == kTomosynthesisReady;
}

int32_t PositionedState(Exam exam) {
    switch (exam) {
        case Exam::Panoramic:
            return kPanoramicReady;
        case Exam::Tomosynthesis:
            return kTomosynthesisReady;
        case Exam::None:
            break;
    }
    return kPatientPositioned;
}

}  // namespace

std::string QueryName(int32_t code) {
    switch (code) {
        case kQueryOrientation:
            return "orientation";
        case kQueryState:
            return "state";
        case kQueryLock:
            return "lock";
        case kQueryErrorNumber:
            return "error";
        case kQueryPoll8:
            return "poll8";
        case kQueryPoll9:
            return "poll9";
        case kQuerySizeClass:
            return "size";
        case kQueryAcquiring:
            return "acquiring";
        case kQueryKv:
            return "kv";
        case kQueryMa:
            return "ma";
        case kQueryProgram:
            return "program";
        case kQueryPoll25:
            return "poll25";
        case kQueryYAxisMovable:
            return "yaxis";
        case kQueryPatientSizeIncompatible:
            return "patientsize";
        default:
            return "query " + std::to_string(code);
    }
}

int32_t DeviceModel::EffectiveState() const {
    if (m_Disconnected)
        return kNotConnected;
    if (m_Setup)
        return kSetup;
    if (m_Update)
        return kUpdate;
    if (m_Service)
        return kService;
    if (m_Alarm)
        return kAlarm;
    if (m_Dummy)
        return kDummyRun;
    return m_View.BaseState;
}

int32_t DeviceModel::Answer(int32_t query) const {
    const std::lock_guard lock(m_Mutex);
    switch (query) {
        case kQueryOrientation:
            return m_View.Orientation;
        case kQueryState:
            return EffectiveState();
        case kQueryLock:
            return m_NoLock ? 0 : 1;
        case kQueryErrorNumber:
            return m_View.ErrorNumber;
        case kQuerySizeClass:
            if (m_BadPatientSize)
                return kSizeClassIncompatiblePatient;
            if (m_BadSize)
                return kSizeClassIncompatible;
            return m_View.Selected == Exam::Panoramic ? kSizeClassPanoramic
                                                      : kSizeClassTomosynthesis;
        case kQueryAcquiring:
            return m_View.Acquiring ? 1 : 0;
        case kQueryKv:
            return m_View.Kv;
        case kQueryMa:
            return m_View.Ma;
        case kQueryProgram:
            return static_cast<int32_t>(m_View.Selected);
        case kQueryYAxisMovable:
            return m_View.YAxisMovable ? 1 : 0;
        case kQueryPatientSizeIncompatible:
            return m_BadPatientSize ? 1 : 0;
        default:  // 8, 9, 25 and anything unknown: acknowledged without meaning
            return 0;
    }
}

DeviceView DeviceModel::View() const {
    const std::lock_guard lock(m_Mutex);
    DeviceView view = m_View;
    view.State = EffectiveState();
    view.Lock = !m_NoLock;
    view.SizeClass = m_BadPatientSize                   ? kSizeClassIncompatiblePatient
                     : m_BadSize                        ? kSizeClassIncompatible
                     : view.Selected == Exam::Panoramic ? kSizeClassPanoramic
                                                        : kSizeClassTomosynthesis;
    const std::pair<bool, const char*> faults[] = {{m_Disconnected, "disconnect"},
                                                   {m_Setup, "setup"},
                                                   {m_Update, "update"},
                                                   {m_Service, "service"},
                                                   {m_Alarm, "alarm"},
                                                   {m_Dummy, "dummy"},
                                                   {m_NoLock, "nolock"},
                                                   {m_BadSize, "size"},
                                                   {m_BadPatientSize, "patientsize"},
                                                   {m_View.ErrorNumber > 0, "error"}};
    for (const auto& [on, name] : faults) {
        if (on)
            view.Faults += (view.Faults.empty() ? "" : " ") + std::string(name);
    }
    return view;
}

int32_t DeviceModel::State() const {
    const std::lock_guard lock(m_Mutex);
    return EffectiveState();
}

ActionResult DeviceModel::Act(const std::string& action) {
    const std::vector<std::string> words = Words(action);
    if (words.empty())
        return Refuse("empty action");
    const std::string& verb = words[0];
    const std::string argument = words.size() > 1 ? words[1] : std::string();
    int32_t number = 0;
    const bool hasNumber = words.size() == 2 && ToInt(argument, number);

    std::unique_lock lock(m_Mutex);
    ActionResult result = Refuse("unknown action '" + action + "'");
    int32_t& base = m_View.BaseState;
    const bool busy = m_View.Acquiring;

    // Faults and their clearing.
    bool* fault = nullptr;
    if (verb == "alarm")
        fault = &m_Alarm;
    else if (verb == "setup")
        fault = &m_Setup;
    else if (verb == "service")
        fault = &m_Service;
    else if (verb == "update")
        fault = &m_Update;
    else if (verb == "dummy")
        fault = &m_Dummy;
    else if (verb == "disconnect")
        fault = &m_Disconnected;
    else if (verb == "nolock")
        fault = &m_NoLock;
    else if (verb == "size")
        fault = &m_BadSize;
    else if (verb == "patientsize")
        fault = &m_BadPatientSize;

    if (fault && words.size() == 1) {
        *fault = true;
        result = Accept(verb + " injected");
    } else if (verb == "error" && hasNumber && number >= 0) {
        m_View.ErrorNumber = number;
        result = Accept("error number " + argument);
    } else if (verb == "clear" && words.size() == 1) {
        m_Alarm = m_Setup = m_Service = m_Update = m_Dummy = false;
        m_Disconnected = m_NoLock = m_BadSize = m_BadPatientSize = false;
        m_View.ErrorNumber = 0;
        result = Accept("faults cleared");
    } else if (verb == "reset" && words.size() == 1) {
        if (busy) {
            result = Refuse("acquisition running");
        } else {
            base = kNeedsPatient;
            if (!m_View.ProjectionJob)
                m_View.Selected = Exam::None;
            result = Accept("device reset");
        }
    } else if (verb == "position" && words.size() == 1) {
        if (base == kNeedsPatient) {
            base = PositionedState(m_View.Selected);
            result = Accept("patient positioned, headrest closed");
        } else {
            result = Refuse(base == kNeedsReset ? "reset the device first"
                                                : "patient already positioned");
        }
    } else if (verb == "release" && words.size() == 1) {
        if (ReadyState(base)) {
            base = kNeedsPatient;
            result = Accept("patient released");
        } else {
            result = Refuse("no patient positioned");
        }
    } else if (verb == "exam" && words.size() == 2 &&
               (argument == "pano" || argument == "tomo" || argument == "none")) {
        if (busy || (m_View.ProjectionJob && argument != "tomo")) {
            result = Refuse("the exam cannot change now");
        } else {
            m_View.Selected = argument == "pano"   ? Exam::Panoramic
                              : argument == "tomo" ? Exam::Tomosynthesis
                                                   : Exam::None;
            if (ReadyState(base))
                base = PositionedState(m_View.Selected);
            result = Accept("exam " + argument);
        }
    } else if (verb == "xray" && words.size() == 1) {
        result = XRay();
    } else if (verb == "abort" && words.size() == 1) {
        if (m_View.ProjectionJob) {
            m_AbortRequested = true;
            result = Accept("acquisition aborted");
        } else {
            result = Refuse("no acquisition to abort");
        }
    } else if (verb == "auto" && (words.size() == 1 || argument == "on" || argument == "off")) {
        m_View.Auto = argument != "off";
        result = Accept(m_View.Auto ? "auto on" : "auto off");
    } else if ((verb == "kv" || verb == "ma") && hasNumber && number > 0) {
        (verb == "kv" ? m_View.Kv : m_View.Ma) = number;
        result = Accept(verb + " " + argument);
    } else if ((verb == "yaxis" || verb == "orientation") && hasNumber &&
               (number == 0 || number == 1)) {
        if (verb == "yaxis")
            m_View.YAxisMovable = number == 1;
        else
            m_View.Orientation = number;
        result = Accept(verb + " " + argument);
    } else if (verb == "status" && words.size() == 1) {
        result = Accept("status");
    }

    // A fully automatic device resets and positions the patient by itself.
    if (m_View.Auto && !busy && (base == kNeedsReset || base == kNeedsPatient))
        base = PositionedState(m_View.Selected);
    lock.unlock();
    m_Changed.notify_all();
    return result;
}

ActionResult DeviceModel::XRay() {
    const int32_t state = EffectiveState();
    if (state != m_View.BaseState)
        return Refuse("device not ready: state " + std::to_string(state));
    if (m_View.ErrorNumber > 0)
        return Refuse("device in error " + std::to_string(m_View.ErrorNumber));
    if (m_NoLock)
        return Refuse("the driver has no lock");
    if (m_BadSize || m_BadPatientSize)
        return Refuse("incompatible size");
    if (state == kPanoramicReady && !m_View.ProjectionJob) {
        ActionResult result = Accept("panoramic exposure");
        result.StartsPanoramic = true;
        return result;
    }
    if (state == kTomosynthesisReady && m_View.ProjectionJob) {
        m_ExposurePressed = true;
        return Accept("tomosynthesis exposure");
    }
    return Refuse("device not ready for an exposure: state " + std::to_string(state));
}

bool DeviceModel::BeginExposure(Exam exam) {
    const std::lock_guard lock(m_Mutex);
    const int32_t wanted = exam == Exam::Panoramic ? kPanoramicReady : kTomosynthesisReady;
    if (EffectiveState() != wanted || m_View.Acquiring)
        return false;
    m_View.BaseState = kAcquiring;
    m_View.Acquiring = true;
    return true;
}

void DeviceModel::EndExposure() {
    {
        const std::lock_guard lock(m_Mutex);
        m_View.Acquiring = false;
        m_View.Selected = Exam::None;
        m_View.BaseState = m_View.Auto ? kPatientPositioned : kNeedsReset;
    }
    m_Changed.notify_all();
}

void DeviceModel::SetProjectionJob(bool waiting) {
    {
        const std::lock_guard lock(m_Mutex);
        m_View.ProjectionJob = waiting;
        m_ExposurePressed = false;
        m_AbortRequested = false;
        if (waiting) {
            // The parameter file loads the tomosynthesis program on the device.
            m_View.Selected = Exam::Tomosynthesis;
            if (ReadyState(m_View.BaseState) || (m_View.Auto && !m_View.Acquiring))
                m_View.BaseState = kTomosynthesisReady;
        }
    }
    m_Changed.notify_all();
}

int DeviceModel::WaitForExposure(int timeoutMs) {
    std::unique_lock lock(m_Mutex);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (m_AbortRequested)
            return 0;
        if (m_ExposurePressed)
            return 1;
        // The automatic device presses the X-ray button itself once it is ready.
        if (m_View.Auto && EffectiveState() == kTomosynthesisReady)
            return 1;
        if (m_Changed.wait_until(lock, until) == std::cv_status::timeout)
            return -1;
    }
}

bool DeviceModel::AbortRequested() const {
    const std::lock_guard lock(m_Mutex);
    return m_AbortRequested;
}

}  // namespace zor::device
