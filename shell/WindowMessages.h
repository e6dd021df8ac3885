#pragma once
// Window messages between threads: WM_USER + n as a posted Qt event carrying wParam.
#include <QCoreApplication>
#include <QEvent>
#include <cstdint>

#include "platform/WindowIds.h"

namespace zor::shell {

/// A posted window message WM_USER + n.
class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(MessageId id, intptr_t wParam)
        : QEvent(static_cast<QEvent::Type>(QEvent::User + ToInt(id))), m_WParam(wParam) {}
    int Number() const { return static_cast<int>(type()) - QEvent::User; }
    intptr_t WParam() const { return m_WParam; }

private:
    intptr_t m_WParam;
};

/// PostMessage: safe from any thread; the receiver handles it on its own thread.
inline void PostWindowMessage(QObject* receiver, MessageId id, intptr_t wParam) {
    QCoreApplication::postEvent(receiver, new WindowMessageEvent(id, wParam));
}

}  // namespace zor::shell
