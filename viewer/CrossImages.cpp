#include "viewer/CrossImages.h"

#include <algorithm>

namespace zor::viewer {

void CrossImages::Resize(int count) {
    m_Slots.resize(static_cast<std::size_t>(std::max(0, count)));
}

void CrossImages::SetSlice(int index, ViewImage slice) {
    if (index < 0 || index >= Count())
        return;
    Slot& slot = m_Slots[static_cast<std::size_t>(index)];
    slot.slice = std::move(slice);
    MakeDisplayBitmap(slot.slice, slot.display);
}

const DisplayBitmap* CrossImages::Bitmap(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    const DisplayBitmap& bitmap = m_Slots[static_cast<std::size_t>(index)].display;
    return bitmap.Empty() ? nullptr : &bitmap;
}

}  // namespace zor::viewer
