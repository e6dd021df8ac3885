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

ViewImage* CrossImages::PrepareSlice(int index, int width, int height) {
    if (index < 0 || index >= Count())
        return nullptr;
    ViewImage& slice = m_Slots[static_cast<std::size_t>(index)].slice;
    if (!slice.HasData() || slice.storage == ImageStorage::External || slice.bitsPerPixel != 16 ||
        slice.width != width || slice.height != height) {
        slice = ViewImage::Slice16(width, height);
    }
    return &slice;
}

void CrossImages::UpdateBitmap(int index) {
    if (index < 0 || index >= Count())
        return;
    Slot& slot = m_Slots[static_cast<std::size_t>(index)];
    MakeDisplayBitmap(slot.slice, slot.display);
}

const DisplayBitmap* CrossImages::Bitmap(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    const DisplayBitmap& bitmap = m_Slots[static_cast<std::size_t>(index)].display;
    return bitmap.Empty() ? nullptr : &bitmap;
}

}  // namespace zor::viewer
