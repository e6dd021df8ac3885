#pragma once
// Window timers by id, with SetTimer/KillTimer semantics.
#include <QObject>
#include <functional>
#include <map>
#include <memory>

#include "platform/UserInterfaces.h"

class QTimer;

namespace zor::shell {

/// Timers of one window, addressed by the system's ids; ticks call `onTick(id)` on the thread
/// that owns the table (the user-interface thread). Setting a running id restarts it.
class TimerTable : public ITimers {
public:
    explicit TimerTable(std::function<void(TimerId id)> onTick);
    ~TimerTable() override;

    void SetTimer(TimerId id, int periodMs) override;
    void KillTimer(TimerId id) override;

private:
    std::function<void(TimerId)> m_OnTick;
    std::map<TimerId, std::unique_ptr<QTimer>> m_Timers;
};

}  // namespace zor::shell
