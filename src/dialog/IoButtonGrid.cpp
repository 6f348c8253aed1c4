#include "dialog/IoButtonGrid.h"

namespace {

// The buttons keep clear of the frame: 10 px at the sides and bottom, 30 px below the top
// for the title.
PixelRect Inner(const PixelRect& box) {
    return {box.x + 10, box.y + 30, box.width - 20, box.height - 40};
}

} // namespace

IoButtonGrid::IoButtonGrid(const PixelRect& inputBox)
    : m_cellWidth((Inner(inputBox).width - 14) / 8),
      m_cellHeight((Inner(inputBox).height - 6) / 4) {}

PixelRect IoButtonGrid::Cell(const PixelRect& groupBox, int32_t index) const {
    const PixelRect inner = Inner(groupBox);
    return {inner.x + (index % 8) * (m_cellWidth + 2), inner.y + (index / 8) * (m_cellHeight + 2),
            m_cellWidth, m_cellHeight};
}
