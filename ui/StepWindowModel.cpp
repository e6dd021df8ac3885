#include "ui/StepWindowModel.h"

#include "zor_io/RegularFile.h"

namespace zor::ui {

namespace {
constexpr double kPictureX = 0.05;
constexpr double kPictureY[kStepSlots] = {0.16, 0.36, 0.56, 0.76};
constexpr double kLineX = 0.25;
constexpr double kLineY[kStepSlots] = {0.2, 0.4, 0.6, 0.8};

bool ValidSlot(int slot) {
    return slot >= 0 && slot < kStepSlots;
}
}  // namespace

StepWindowModel::StepWindowModel(QSize initialClientSize) : m_Initial(initialClientSize) {}

int StepWindowModel::SetStepBitmaps(const std::array<QString, kStepSlots>& paths) {
    m_Count = 0;
    m_BitmapsSet = true;
    m_LineVisible.fill(true);
    for (int slot = 0; slot < kStepSlots; ++slot) {
        if (paths[slot].isEmpty()) {
            m_Pictures[slot] = QImage();
            m_LineVisible[slot] = false;
            continue;
        }
        // Read through zor_io: a regular file of at most 64 MiB, never waiting on a FIFO.
        std::string bytes;
        QImage picture;
        if (zor::io::ReadWholeFile(paths[slot].toStdString(), bytes, 64u << 20) ==
                zor::io::ReadStatus::Ok &&
            picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                 static_cast<int>(bytes.size())) &&
            !picture.isNull()) {
            m_Pictures[slot] = std::move(picture);
            ++m_Count;
        }
    }
    return m_Count;
}

void StepWindowModel::SetLine(int slot, const QString& text) {
    if (ValidSlot(slot))
        m_Lines[slot] = text;
}

QString StepWindowModel::Line(int slot) const {
    return ValidSlot(slot) ? m_Lines[slot] : QString();
}

bool StepWindowModel::LineVisible(int slot) const {
    return ValidSlot(slot) && m_LineVisible[slot];
}

const QImage& StepWindowModel::Picture(int slot) const {
    static const QImage kNone;
    return ValidSlot(slot) ? m_Pictures[slot] : kNone;
}

QSize StepWindowModel::WindowSize() const {
    if (!m_BitmapsSet)
        return m_Initial;
    return {m_Initial.width(), StepWindowHeight(m_Initial.height(), m_Count)};
}

int StepWindowHeight(int initialHeight, int count) {
    return static_cast<int>(initialHeight * (count + 1.5) / 6);
}

QPoint StepPicturePosition(int slot, QSize initial) {
    if (!ValidSlot(slot))
        return {};
    return {static_cast<int>(kPictureX * initial.width()),
            static_cast<int>(kPictureY[slot] * initial.height())};
}

QPoint StepLinePosition(int slot, QSize initial) {
    if (!ValidSlot(slot))
        return {};
    return {static_cast<int>(kLineX * initial.width()),
            static_cast<int>(kLineY[slot] * initial.height())};
}

}  // namespace zor::ui
