#include "shell/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace zor::shell {

void ShowMessageBox(const std::string& text, MessageIcon icon) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    if (!qApp || QGuiApplication::platformName() == QLatin1String("offscreen"))
        return;
    const QString message = QString::fromStdString(text);
    switch (icon) {
        case MessageIcon::Error:
            QMessageBox::critical(nullptr, QString(), message);
            break;
        case MessageIcon::Warning:
            QMessageBox::warning(nullptr, QString(), message);
            break;
        case MessageIcon::Information:
            QMessageBox::information(nullptr, QString(), message);
            break;
    }
}

}  // namespace zor::shell
