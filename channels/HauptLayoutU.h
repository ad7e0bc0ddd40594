// The main window's rules apart from its widgets: which channel a function key
// selects, and how the five stacked panes share the height.
#pragma once

namespace tarvo::channels {

// F1..F10 select 1..10, with Shift 11..20, with Ctrl 21..30, with both 31..40;
// F12 the monitor (0). -1 when the key selects nothing: another key, Alt held,
// or a channel past count.
int FunctionKeyChannel(int functionKey, bool shift, bool ctrl, bool alt, int count);

// Heights from top to bottom; the splitters carry their docks.
struct TPaneHeights {
    int output = 0;
    int splitter1 = 0;
    int input = 0;
    int splitter2 = 0;
    int monitor = 0;

    int Total() const { return output + splitter1 + input + splitter2 + monitor; }
    friend bool operator==(const TPaneHeights&, const TPaneHeights&) = default;
};

inline constexpr int kMinOutputHeight = 4;
inline constexpr int kMinInputHeight = 16;
inline constexpr int kMinMonitorHeight = 4;
inline constexpr int kMinSplitterHeight = 4;
inline constexpr int kMinWindowWidth = 340;
inline constexpr int kMinWindowHeight = 280;

// The start layout in a client area of the given height: the stored monitor
// height applies when it is more than 3 and less than the height, then the
// stored input height when it is more than 3 and less than what the monitor
// leaves; the output pane takes the rest.
TPaneHeights InitialPanes(int clientHeight, int splitter1, int splitter2, int inputHeight,
                          int monitorHeight, int defaultHeight = 64);

// A new client height goes entirely to the output pane; when that would fall
// below its minimum, the input and then the monitor pane give way.
TPaneHeights ResizePanes(TPaneHeights panes, int clientHeight);

// A dock whose height changed (the channel bar wrapped): the output pane
// absorbs the difference as a resize would.
TPaneHeights SetSplitterHeights(TPaneHeights panes, int splitter1, int splitter2);

// Splitter 1 dragged by dy pixels (down is positive): the border between output
// and input moves; below 16 pixels of input the monitor gives way instead.
TPaneHeights DragSplitter1(TPaneHeights panes, int dy);

// Splitter 2 dragged by dy: the monitor changes by -dy, the output pane absorbs
// the move while it keeps its minimum, after that the input pane.
TPaneHeights DragSplitter2(TPaneHeights panes, int dy);

// What is placed: while the monitor is the active channel its console sits in
// the output pane, the empty monitor pane gives its height to the output pane
// (the stored height comes back with the next channel).
TPaneHeights ShownPanes(TPaneHeights panes, bool monitorPaneEmpty);

}  // namespace tarvo::channels
