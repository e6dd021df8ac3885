#pragma once
// The device panel window for people: the device's buttons and faults, and what it reports.
#include <QWidget>

class QLabel;
class QSpinBox;

namespace zor::device {

class DriverHost;

class DevicePanel : public QWidget {
public:
    explicit DevicePanel(DriverHost& host);

private:
    void Act(const QString& action);
    void Refresh();

    DriverHost& m_Host;
    QLabel* m_State = nullptr;
    QLabel* m_Reply = nullptr;
    QSpinBox* m_ErrorNumber = nullptr;
};

}  // namespace zor::device
