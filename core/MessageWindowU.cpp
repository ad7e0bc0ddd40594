#include "core/MessageWindowU.h"

#include <algorithm>

namespace tarvo::core {

MessageButtonRow MessageButtonsFor(unsigned buttons) {
    buttons &= kMessageButtonMask;
    MessageButtonRow row;
    for (int bit = 0; bit < static_cast<int>(kMessageButtons.size()); ++bit)
        if (HasMessageButton(buttons, bit)) row.bits.push_back(bit);
    row.defaultBit = DefaultMessageButton(buttons);
    row.cancelBit = CancelMessageButton(buttons);
    row.closeResult = MessageCancelResult(buttons);
    return row;
}

std::vector<int> MessageButtonLefts(std::size_t count, int panelWidth) {
    // More buttons than the table holds cannot come from a button set.
    count = std::min(count, kMessageButtons.size());
    const int n = static_cast<int>(count);
    std::vector<int> lefts;
    if (n == 0) return lefts;
    panelWidth = std::clamp(panelWidth, 0, 1 << 20);
    const int rowWidth =
        n * kMessageButtonWidth + (n - 1) * (kMessageButtonPitch - kMessageButtonWidth);
    const int first = std::max(0, panelWidth / 2 - rowWidth / 2);
    lefts.reserve(count);
    for (int i = 0; i < n; ++i) lefts.push_back(first + i * kMessageButtonPitch);
    return lefts;
}

}  // namespace tarvo::core
