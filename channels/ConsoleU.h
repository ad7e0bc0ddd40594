// The text model of a channel's output console: a ring of fixed-width lines with
// a colour code per character, kept in a buffer that may be a mapped file so the
// text outlives the program. Painting lives in the widget; everything it needs
// to paint (lines, colour runs, marks, selection, what changed) is read here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/MappedFile.h"

namespace tarvo::channels {

enum class TConsoleLineBreak { CRLF, CR, LF };

// Buffer layout; every integer 32-bit little-endian.
inline constexpr std::size_t kConsoleHeaderSize = 92;
inline constexpr std::size_t kConsoleSignatureSize = 64;
inline constexpr std::size_t kConsoleLineHeaderSize = 20;
inline constexpr std::uint32_t kConsoleVersion = 5;
inline constexpr std::uint32_t kConsoleOldVersion = 4;
// A row count of 0 in a header means this many.
inline constexpr int kConsoleDefaultFileRows = 1250;
// The line length is one byte, so no line can be wider.
inline constexpr int kConsoleMaxCols = 255;
inline constexpr int kConsoleMaxRows = 1'000'000;
// Colour codes 0..15 pick a palette entry; 255 marks a cleared character.
inline constexpr std::uint8_t kConsoleClearedColour = 255;
// Gutter images are a small list; a larger mark in a file is damage.
inline constexpr std::uint8_t kConsoleMaxMark = 63;

// "Buffer0A.tvn" for channel 10: two upper-case hex digits (channels 0..255).
std::string ConsoleBufferFileName(int channel);

// Bytes of a line, and what a buffer of that shape needs and what it is made with.
std::uint64_t ConsoleLineSize(int cols);
std::uint64_t ConsoleLayoutSize(int cols, int rows);
std::uint64_t ConsoleAllocSize(int cols, int rows);

struct TRgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const TRgb&, const TRgb&) = default;
};

// A view into one line of the buffer; valid until the next change of the console.
struct TConsoleLine {
    std::uint32_t serial = 0;
    std::uint32_t stamp = 0;  // local seconds since 1970; 0 = none
    int length = 0;
    bool mailbox = false;
    std::uint8_t mark = 0;
    std::uint8_t endColour = 0;
    std::string_view chars;                 // Cols bytes (code page 1252)
    const std::uint8_t* colours = nullptr;  // Cols codes
};

// Characters [first, first + count) of a line drawn in one colour code.
struct TColourRun {
    int first = 0;
    int count = 0;
    std::uint8_t colour = 0;
};

// Inclusive, in logical rows; all -1 when nothing is selected. lastCol may be -1
// when the selection ends at the start of its last row.
struct TConsoleSelection {
    int firstCol = -1, firstRow = -1, lastCol = -1, lastRow = -1;
    bool Empty() const { return firstRow < 0; }
};

// Logical rows [first, last] changed since the last TakeDirty; none when first > last.
struct TConsoleDirty {
    int first = 1, last = 0;
    bool Any() const { return first <= last; }
};

enum class TConsoleOpen {
    Fresh,      // no usable file, or no file at all: the console starts empty
    Kept,       // the file's text is shown as it was
    OtherRows,  // the file was made for another row count and started anew
    Damaged,    // the file failed a check; a copy lies beside it and it started anew
};

enum class TCursorMove { Left, Right, Up, Down, Home, End, PageUp, PageDown, Top, Bottom };

class TConsole {
  public:
    explicit TConsole(const platform::IClock& clock);
    ~TConsole();
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;

    // Shape and storage; Cols, FileName and VirtualMemory only while inactive.
    void SetCols(int cols);
    int Cols() const { return cols_; }
    // While active this reopens the buffer, which starts it anew.
    std::error_code SetRows(int rows);
    int Rows() const { return rows_; }
    void SetFileName(const std::filesystem::path& p);
    const std::filesystem::path& FileName() const { return fileName_; }
    void SetVirtualMemory(bool on);
    bool VirtualMemory() const { return virtualMemory_; }
    void SetLineBreak(TConsoleLineBreak mode) { lineBreak_ = mode; }
    TConsoleLineBreak LineBreak() const { return lineBreak_; }

    // Opens the buffer: the file's text when it passes every check, else empty.
    std::error_code Open();
    void Close();
    bool Active() const { return base_ != nullptr; }
    TConsoleOpen OpenOutcome() const { return outcome_; }
    // Where the damaged file was copied to; empty when it was not.
    const std::filesystem::path& DamagedCopy() const { return damagedCopy_; }
    // Flushes a mapped file to the disk.
    std::error_code Sync();

    // Text. Main thread only.
    void Write(std::string_view text);
    void SetColor(std::uint8_t code) { colour_ = code & 0x0F; }
    std::uint8_t Color() const { return colour_; }
    void SetMark(std::uint8_t mark, int row = -1);  // row -1: the write row
    void SetMailbox(bool on, int row = -1);
    void Clear();

    TConsoleLine GetLine(int row) const;
    char GetChars(int col, int row) const;
    std::uint8_t GetColours(int col, int row) const;
    int WriteColumn() const { return writeCol_; }
    int WriteRow() const { return writeRow_; }
    std::uint32_t LineSerial() const { return serial_; }

    // Palette: the low four bits of a colour code pick the entry.
    void SetPaletteEntry(std::uint8_t code, TRgb rgb);
    TRgb GetPaletteEntry(std::uint8_t code) const { return palette_[code & 0x0F]; }
    void SetBackground(TRgb rgb);
    TRgb Background() const { return background_; }

    // The row whose line carries that serial, searched from the write row
    // upwards; -1 when it has left the ring (or was never there).
    int RowOfSerial(std::uint32_t serial) const;

    // Painting helpers. Runs cover the line's used columns; out is reused.
    void ColourRuns(int row, std::vector<TColourRun>& out) const;
    // Selected columns [from, to) of a row; from == to when none.
    std::pair<int, int> SelectedColumns(int row) const;
    // Row drawn in the mailbox highlight (with focus).
    bool Highlighted(int row) const;
    // Counts every visible change; a widget repaints when it moved.
    std::uint64_t ChangeCount() const { return changes_; }
    // Called on every change (main thread), so that a view schedules its
    // repaint instead of polling; none to stop.
    void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }
    TConsoleDirty TakeDirty();

    // Line cursor: column 0..Cols, row 0..Rows-1.
    int CursorColumn() const { return cursor_.col; }
    int LineCursorRow() const;
    // Moves the cursor; with extend the selection runs from the anchor to it,
    // without it the anchor moves along and the selection goes.
    void MoveCursorTo(int col, int row, bool extend);
    void MoveCursor(TCursorMove move, bool extend);

    // Selection, anchored on the text so it stays put while the ring advances.
    void SelectTo(int col, int row);  // from the anchor; row may be Rows (past the end)
    void ClearSelection();
    TConsoleSelection Selection() const;
    bool InSelection(int col, int row) const;
    bool RowInSelection(int row) const;
    bool SelectionReachesEnd() const;
    std::string SelectedText() const;

    // View: first visible column and row, and how many fit the window.
    void SetViewSize(int cols, int rows);
    int VisibleRows() const { return viewRows_; }
    int VisibleCols() const { return viewCols_; }
    int TopRow() const { return top_; }
    int LeftCol() const { return left_; }
    void SetLeftCol(int col);
    // Scrolls by n lines (negative: up); keepCursor pulls the cursor into view.
    void ScrollLines(int n, bool keepCursor = false);
    void ScrollLineUp() { ScrollLines(-1); }
    void ScrollLineDown() { ScrollLines(1); }
    void ScrollPageUp() { ScrollLines(-PageRows()); }
    void ScrollPageDown() { ScrollLines(PageRows()); }
    void ScrollToTop();
    void ScrollToEnd();
    // 0 at the very top, 1 scrolled back, 2 the write row is visible.
    int FollowState() const;

  private:
    struct Pos {
        std::int64_t line = 0;  // rows pushed out so far + logical row
        int col = 0;
    };

    std::error_code OpenFile(std::uint64_t alloc, bool& kept);
    bool HeaderValid(const std::byte* p, std::uint64_t size) const;
    bool LinesValid() const;
    void KeepDamagedCopy(std::uint64_t size);
    void ClearBuffer();

    std::byte* LinePtr(int row) const;
    void NewLine(std::byte*& line);
    // After a wrap at the edge: the cut word of the row before moves to the
    // write row; its length, 0 when that row has no blank.
    std::size_t MoveCutWordDown(std::byte* line);
    void StoreHeaderPosition();
    void Touch(int first, int last);
    void Changed();
    int PageRows() const { return viewRows_ > 1 ? viewRows_ - 1 : 1; }
    int MaxTop() const;
    void ClampTop();
    void ShowCursor();
    void KeepWriteRowVisible();
    int RowOf(const Pos& p) const;
    bool HaveSelection() const;
    void NormalizedSelection(Pos& from, Pos& to) const;

    const platform::IClock& clock_;
    std::thread::id owner_;

    int cols_ = 80;
    int rows_ = 25;
    std::filesystem::path fileName_;
    bool virtualMemory_ = false;
    TConsoleLineBreak lineBreak_ = TConsoleLineBreak::CRLF;

    std::unique_ptr<platform::MappedFile> file_;
    std::vector<std::byte> memory_;
    std::byte* base_ = nullptr;
    std::uint64_t lineSize_ = 0;
    TConsoleOpen outcome_ = TConsoleOpen::Fresh;
    std::filesystem::path damagedCopy_;

    int ringStart_ = 0;
    int writeCol_ = 0;
    int writeRow_ = 0;
    std::uint32_t serial_ = 0;
    std::int64_t pushed_ = 0;   // lines that left the ring since opening
    bool edgeWrapped_ = false;  // the write row began by a wrap at the edge
    std::uint8_t colour_ = 0;
    TRgb palette_[16];
    TRgb background_{255, 255, 255};

    Pos cursor_, anchor_, selEnd_;
    bool selecting_ = false;

    int viewCols_ = 80, viewRows_ = 25;
    int top_ = 0, left_ = 0;

    std::uint64_t changes_ = 0;
    std::function<void()> onChange_;
    TConsoleDirty dirty_;
};

// The character a DOS-umlaut display shows for a stored byte.
char ConsoleDosDisplayChar(char c);

}  // namespace tarvo::channels
