#pragma once
// Window timers by id, with SetTimer/KillTimer semantics.
#include <QObject>
#include <functional>
#include <map>
#include <memory>

class QTimer;

namespace zor::shell {

/// Timers of one window, addressed by the system's ids; ticks call `onTick(id)` on the thread
/// that owns the table (the user-interface thread). Setting a running id restarts it.
class TimerTable {
public:
    explicit TimerTable(std::function<void(int id)> onTick);
    ~TimerTable();

    void SetTimer(int id, int periodMs);
    void KillTimer(int id);
    bool IsActive(int id) const;
    /// Period of an active timer, 0 when it is stopped.
    int Period(int id) const;
    /// Runs the tick of `id` now, as if the timer had fired (drives tests without waiting).
    void Fire(int id);

private:
    std::function<void(int)> m_OnTick;
    std::map<int, std::unique_ptr<QTimer>> m_Timers;
};

}  // namespace zor::shell
