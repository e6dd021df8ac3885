#include "shell/TimerTable.h"

#include <QTimer>

namespace zor::shell {

TimerTable::TimerTable(std::function<void(int)> onTick) : m_OnTick(std::move(onTick)) {}

TimerTable::~TimerTable() = default;

void TimerTable::SetTimer(int id, int periodMs) {
    auto& timer = m_Timers[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] { m_OnTick(id); });
    }
    timer->start(periodMs);
}

void TimerTable::KillTimer(int id) {
    if (auto it = m_Timers.find(id); it != m_Timers.end())
        it->second->stop();
}

bool TimerTable::IsActive(int id) const {
    auto it = m_Timers.find(id);
    return it != m_Timers.end() && it->second->isActive();
}

int TimerTable::Period(int id) const {
    return IsActive(id) ? m_Timers.at(id)->interval() : 0;
}

void TimerTable::Fire(int id) {
    m_OnTick(id);
}

}  // namespace zor::shell
