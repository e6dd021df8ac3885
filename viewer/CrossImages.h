#pragma once
// The crosses' pictures as the viewer draws them: one slot per shown cross, each with its
// 16-bit slice record and the display bitmap made from it.
#include <vector>

#include "viewer/ViewImage.h"

namespace zor::viewer {

/// The cross slots the cross view fills and the painter reads; user-interface thread. A slot's
/// display bitmap keeps its storage while the slice's size stays.
class CrossImages {
public:
    /// Number of slots (the crosses shown); new slots are empty, dropped ones freed.
    void Resize(int count);
    int Count() const { return static_cast<int>(m_Slots.size()); }
    /// Puts `slice` into slot `index` (ignored outside 0 .. Count() - 1) and converts it for
    /// display; a record without data empties the slot's bitmap.
    void SetSlice(int index, ViewImage slice);
    /// Slot `index`'s 16-bit record, made a zero-filled width x height slice when it is missing or
    /// of another size, so its pixels can be written in place; null outside 0 .. Count() - 1.
    ViewImage* PrepareSlice(int index, int width, int height);
    /// Converts slot `index`'s record for display again after its pixels were written.
    void UpdateBitmap(int index);
    /// The slot's display bitmap; null when the slot is empty or `index` is outside.
    const DisplayBitmap* Bitmap(int index) const;
    /// Whether the crosses are drawn at all (a volume is shown).
    bool Visible() const { return m_Visible; }
    void SetVisible(bool visible) { m_Visible = visible; }

private:
    struct Slot {
        ViewImage slice;
        DisplayBitmap display;
    };
    std::vector<Slot> m_Slots;
    bool m_Visible = false;
};

}  // namespace zor::viewer
