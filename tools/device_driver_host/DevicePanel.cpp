#include "DevicePanel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "DriverHost.h"

namespace zor::device {
namespace {

/// Refresh period of the state display; the device changes on other threads too.
constexpr int kRefreshMs = 250;

const char* ExamName(Exam exam) {
    switch (exam) {
        case Exam::Panoramic:
            return "panoramic group";
        case Exam::Tomosynthesis:
            return "tomosynthesis";
        case Exam::None:
            break;
    }
    return "none";
}

}  // namespace

DevicePanel::DevicePanel(DriverHost& host) : m_Host(host) {
    setWindowTitle("DeviceDriverHost - device panel");
    auto* layout = new QVBoxLayout(this);

    auto addButtons = [this](const QString& title,
                             std::initializer_list<std::pair<const char*, const char*>> buttons) {
        auto* box = new QGroupBox(title, this);
        auto* grid = new QGridLayout(box);
        int index = 0;
        for (const auto& [label, action] : buttons) {
            auto* button = new QPushButton(label, box);
            const QString text = action;
            connect(button, &QPushButton::clicked, this, [this, text] { Act(text); });
            grid->addWidget(button, index / 4, index % 4);
            ++index;
        }
        return box;
    };
    layout->addWidget(addButtons("Device", {{"Reset", "reset"},
                                            {"Patient positioned", "position"},
                                            {"Release patient", "release"},
                                            {"Panoramic exam", "exam pano"},
                                            {"Tomosynthesis exam", "exam tomo"},
                                            {"X-ray", "xray"},
                                            {"Abort", "abort"}}));
    QGroupBox* faults = addButtons("Faults", {{"Alarm", "alarm"},
                                              {"Setup", "setup"},
                                              {"Service", "service"},
                                              {"Update", "update"},
                                              {"Dummy run", "dummy"},
                                              {"Disconnect", "disconnect"},
                                              {"No lock", "nolock"},
                                              {"Incompatible size", "size"},
                                              {"Incompatible patient", "patientsize"},
                                              {"Clear faults", "clear"}});
    auto* faultGrid = static_cast<QGridLayout*>(faults->layout());
    m_ErrorNumber = new QSpinBox(faults);
    m_ErrorNumber->setRange(1, 9999);
    auto* error = new QPushButton("Error n.", faults);
    connect(error, &QPushButton::clicked, this,
            [this] { Act(QString("error %1").arg(m_ErrorNumber->value())); });
    faultGrid->addWidget(m_ErrorNumber, 3, 0);
    faultGrid->addWidget(error, 3, 1);
    layout->addWidget(faults);

    auto* automatic = new QCheckBox("Fully automatic device", this);
    connect(automatic, &QCheckBox::toggled, this,
            [this](bool on) { Act(on ? "auto on" : "auto off"); });
    layout->addWidget(automatic);

    m_State = new QLabel(this);
    m_State->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_Reply = new QLabel(this);
    layout->addWidget(m_State);
    layout->addWidget(m_Reply);

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &DevicePanel::Refresh);
    timer->start(kRefreshMs);
    Refresh();
}

void DevicePanel::Act(const QString& action) {
    const ActionResult result = m_Host.Control(action.toStdString());
    m_Reply->setText(QString::fromStdString((result.Accepted ? "" : "refused: ") + result.Text));
    Refresh();
}

void DevicePanel::Refresh() {
    const DeviceView view = m_Host.Model().View();
    m_State->setText(QString("State %1   error %2   lock %3   size class %4\n"
                             "exam %5   kV %6   mA %7   Y axis %8   acquiring %9\n"
                             "faults: %10\n%11%12")
                         .arg(view.State)
                         .arg(view.ErrorNumber)
                         .arg(view.Lock ? "yes" : "no")
                         .arg(view.SizeClass)
                         .arg(ExamName(view.Selected))
                         .arg(view.Kv)
                         .arg(view.Ma)
                         .arg(view.YAxisMovable ? "movable" : "fixed")
                         .arg(view.Acquiring ? "yes" : "no")
                         .arg(view.Faults.empty() ? "none" : QString::fromStdString(view.Faults))
                         .arg(view.ProjectionJob ? "projection job waits for X-ray\n" : "")
                         .arg(QString::fromStdString(m_Host.LastMessage())));
}

}  // namespace zor::device
