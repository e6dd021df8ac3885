#include "platform/ExitSignalWatch.h"

#include <unistd.h>

#include "platform/Signals.h"

namespace zor::platform {

std::unique_ptr<QSocketNotifier> WatchExitSignals(std::function<void()> onExitSignal) {
    const int fd = InstallExitSignalPipe();
    if (fd < 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated,
                     [fd, onExitSignal = std::move(onExitSignal)] {
                         char signalNumbers[16];
                         while (read(fd, signalNumbers, sizeof signalNumbers) > 0) {
                         }
                         onExitSignal();
                     });
    return notifier;
}

}  // namespace zor::platform
