#include "channels/HauptLayoutU.h"

#include <algorithm>

namespace tarvo::channels {

int FunctionKeyChannel(int functionKey, bool shift, bool ctrl, bool alt, int count) {
    if (alt) return -1;
    if (functionKey == 12) return 0;
    if (functionKey < 1 || functionKey > 10) return -1;
    const int base = shift && ctrl ? 30 : ctrl ? 20 : shift ? 10 : 0;
    const int n = base + functionKey;
    return n <= count ? n : -1;
}

TPaneHeights InitialPanes(int clientHeight, int splitter1, int splitter2, int inputHeight,
                          int monitorHeight, int defaultHeight) {
    TPaneHeights p;
    p.splitter1 = std::max(kMinSplitterHeight, splitter1);
    p.splitter2 = std::max(kMinSplitterHeight, splitter2);
    p.monitor = monitorHeight > 3 && monitorHeight < clientHeight ? monitorHeight : defaultHeight;
    p.input =
        inputHeight > 3 && inputHeight < clientHeight - p.monitor ? inputHeight : defaultHeight;
    p.input = std::max(kMinInputHeight, p.input);
    return ResizePanes(p, clientHeight);
}

TPaneHeights ResizePanes(TPaneHeights p, int clientHeight) {
    p.output = clientHeight - (p.splitter1 + p.input + p.splitter2 + p.monitor);
    if (p.output >= kMinOutputHeight) return p;
    int deficit = kMinOutputHeight - p.output;
    const int fromInput = std::clamp(p.input - kMinInputHeight, 0, deficit);
    p.input -= fromInput;
    deficit -= fromInput;
    const int fromMonitor = std::clamp(p.monitor - kMinMonitorHeight, 0, deficit);
    p.monitor -= fromMonitor;
    deficit -= fromMonitor;
    // A client area too small for all minimums: the output pane holds what is left.
    p.output = std::max(0, kMinOutputHeight - deficit);
    return p;
}

TPaneHeights SetSplitterHeights(TPaneHeights p, int splitter1, int splitter2) {
    const int total = p.Total();
    p.splitter1 = std::max(kMinSplitterHeight, splitter1);
    p.splitter2 = std::max(kMinSplitterHeight, splitter2);
    return ResizePanes(p, total);
}

TPaneHeights DragSplitter1(TPaneHeights p, int dy) {
    const int up = kMinOutputHeight - p.output;  // the most it may move up (<= 0)
    const int down =
        std::max(0, p.input - kMinInputHeight) + std::max(0, p.monitor - kMinMonitorHeight);
    dy = std::clamp(dy, std::min(0, up), std::max(0, down));
    p.output += dy;
    p.input -= dy;
    if (p.input < kMinInputHeight) {
        p.monitor -= kMinInputHeight - p.input;
        p.input = kMinInputHeight;
    }
    return p;
}

TPaneHeights DragSplitter2(TPaneHeights p, int dy) {
    const int up =
        std::max(0, p.output - kMinOutputHeight) + std::max(0, p.input - kMinInputHeight);
    const int down = std::max(0, p.monitor - kMinMonitorHeight);
    dy = std::clamp(dy, -up, down);
    p.monitor -= dy;
    if (dy >= 0) {
        p.output += dy;
        return p;
    }
    const int take = -dy;
    const int fromOutput = std::min(take, std::max(0, p.output - kMinOutputHeight));
    p.output -= fromOutput;
    p.input -= take - fromOutput;
    return p;
}

TPaneHeights ShownPanes(TPaneHeights panes, bool monitorPaneEmpty) {
    if (!monitorPaneEmpty) return panes;
    panes.output += panes.monitor;
    panes.monitor = 0;
    return panes;
}

}  // namespace tarvo::channels
