#include "shell/TimerTable.h"

#include <QTimer>

namespace zor::shell {

TimerTable::TimerTable(std::function<void(TimerId)> onTick) : m_OnTick(std::move(onTick)) {}

TimerTable::~TimerTable() = default;

void TimerTable::SetTimer(TimerId id, int periodMs) {
    auto& timer = m_Timers[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] { m_OnTick(id); });
    }
    timer->start(periodMs);
}

void TimerTable::KillTimer(TimerId id) {
    if (auto it = m_Timers.find(id); it != m_Timers.end())
        it->second->stop();
}

}  // namespace zor::shell
