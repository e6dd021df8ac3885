#pragma once
// Window messages between threads: WM_USER + n as a posted Qt event carrying wParam.
#include <QCoreApplication>
#include <QEvent>
#include <cstdint>

namespace zor::shell {

inline constexpr int kMsgNewPanoramic = 1;         ///< WM_USER+1, wParam 1 when cur_pano.tif exists
inline constexpr int kMsgReconstructionEnded = 2;  ///< WM_USER+2, wParam non-zero on success

/// A posted window message WM_USER + n.
class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(int n, intptr_t wParam)
        : QEvent(static_cast<QEvent::Type>(QEvent::User + n)), m_WParam(wParam) {}
    int Number() const { return static_cast<int>(type()) - QEvent::User; }
    intptr_t WParam() const { return m_WParam; }

private:
    intptr_t m_WParam;
};

/// PostMessage: safe from any thread; the receiver handles it on its own thread.
inline void PostWindowMessage(QObject* receiver, int n, intptr_t wParam) {
    QCoreApplication::postEvent(receiver, new WindowMessageEvent(n, wParam));
}

}  // namespace zor::shell
