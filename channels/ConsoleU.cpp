#include "channels/ConsoleU.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "platform/Files.h"

namespace tarvo::channels {

namespace {

// Header fields.
constexpr std::size_t kVersionAt = 64;
constexpr std::size_t kReservedAt = 68;
constexpr std::size_t kRowsAt = 72;
constexpr std::size_t kRingStartAt = 76;
constexpr std::size_t kWriteColAt = 80;
constexpr std::size_t kWriteRowAt = 84;
constexpr std::size_t kSerialAt = 88;
// Line fields.
constexpr std::size_t kStampAt = 4;
constexpr std::size_t kLengthAt = 8;
constexpr std::size_t kMailboxAt = 9;
constexpr std::size_t kMarkAt = 10;
constexpr std::size_t kEndColourAt = 11;

// A damaged file of absurd size is not copied beyond this.
constexpr std::uint64_t kMaxDamagedCopy = 64u << 20;

constexpr char kSignature[] = "Tarvo console text buffer\r\n\x1A";

std::uint32_t Get32(const std::byte* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void Put32(std::byte* p, std::uint32_t v) {
    p[0] = static_cast<std::byte>(v);
    p[1] = static_cast<std::byte>(v >> 8);
    p[2] = static_cast<std::byte>(v >> 16);
    p[3] = static_cast<std::byte>(v >> 24);
}

std::uint8_t Get8(const std::byte* p) {
    return static_cast<std::uint8_t>(*p);
}

bool ColourValid(std::uint8_t c) {
    return c < 16 || c == kConsoleClearedColour;
}

constexpr TRgb kDefaultPalette[16] = {
    {127, 0, 0}, {159, 0, 0}, {191, 0, 0},   {223, 0, 0},  {255, 0, 0}, {0, 127, 0},
    {0, 159, 0}, {0, 191, 0}, {0, 111, 111}, {95, 95, 95}, {0, 0, 127}, {0, 0, 159},
    {0, 0, 191}, {0, 0, 223}, {0, 0, 255},   {0, 0, 0},
};

}  // namespace

std::string ConsoleBufferFileName(int channel) {
    char name[16];
    std::snprintf(name, sizeof name, "Buffer%02X.tvn", static_cast<unsigned>(channel) & 0xFFu);
    return name;
}

std::uint64_t ConsoleLineSize(int cols) {
    return kConsoleLineHeaderSize + 2 * static_cast<std::uint64_t>(cols);
}

std::uint64_t ConsoleLayoutSize(int cols, int rows) {
    return kConsoleHeaderSize + ConsoleLineSize(cols) * static_cast<std::uint64_t>(rows);
}

// The historical allocation reserves 2 x 20 header bytes per line where the layout
// uses 20; files are made at that size so older readers find what they expect.
std::uint64_t ConsoleAllocSize(int cols, int rows) {
    return kConsoleHeaderSize +
           2 * (static_cast<std::uint64_t>(cols) + 20) * static_cast<std::uint64_t>(rows);
}

char ConsoleDosDisplayChar(char c) {
    switch (static_cast<unsigned char>(c)) {
        case 0x8E:
            return static_cast<char>(0xC4);  // Ä
        case 0x99:
            return static_cast<char>(0xD6);  // Ö
        case 0x9A:
            return static_cast<char>(0xDC);  // Ü
        case 0x84:
            return static_cast<char>(0xE4);  // ä
        case 0x94:
            return static_cast<char>(0xF6);  // ö
        case 0x81:
            return static_cast<char>(0xFC);  // ü
        case 0xE1:
            return static_cast<char>(0xDF);  // ß
        case 0xEF:
            return static_cast<char>(0xB4);  // acute accent
        default:
            return c;
    }
}

TConsole::TConsole(const platform::IClock& clock)
    : clock_(clock), owner_(std::this_thread::get_id()) {
    std::copy(std::begin(kDefaultPalette), std::end(kDefaultPalette), palette_);
}

TConsole::~TConsole() {
    Close();
}

void TConsole::SetCols(int cols) {
    assert(!Active());
    if (Active()) return;
    cols_ = std::clamp(cols, 1, kConsoleMaxCols);
}

std::error_code TConsole::SetRows(int rows) {
    rows = std::clamp(rows, 1, kConsoleMaxRows);
    if (!Active()) {
        rows_ = rows;
        return {};
    }
    Close();
    rows_ = rows;
    return Open();
}

void TConsole::SetFileName(const std::filesystem::path& p) {
    assert(!Active());
    if (!Active()) fileName_ = p;
}

void TConsole::SetVirtualMemory(bool on) {
    assert(!Active());
    if (!Active()) virtualMemory_ = on;
}

std::error_code TConsole::Open() {
    if (Active()) return {};
    const std::uint64_t alloc = ConsoleAllocSize(cols_, rows_);
    if (alloc > std::numeric_limits<std::size_t>::max())
        return std::make_error_code(std::errc::value_too_large);
    lineSize_ = ConsoleLineSize(cols_);
    outcome_ = TConsoleOpen::Fresh;
    damagedCopy_.clear();

    bool kept = false;
    std::error_code ec;
    if (virtualMemory_ && !fileName_.empty()) {
        ec = OpenFile(alloc, kept);
        if (!ec) base_ = file_->data();
    } else if (virtualMemory_) {
        file_ = platform::MappedFile::Anonymous(static_cast<std::size_t>(alloc), ec);
        if (file_) base_ = file_->data();
    } else {
        try {
            memory_.assign(static_cast<std::size_t>(alloc), std::byte{0});
            base_ = memory_.data();
        } catch (const std::bad_alloc&) {
            ec = std::make_error_code(std::errc::not_enough_memory);
        }
    }
    if (ec || !base_) {
        file_.reset();
        memory_.clear();
        base_ = nullptr;
        return ec ? ec : std::make_error_code(std::errc::not_enough_memory);
    }

    if (kept) {
        ringStart_ = static_cast<int>(Get32(base_ + kRingStartAt));
        writeCol_ = static_cast<int>(Get32(base_ + kWriteColAt));
        writeRow_ = static_cast<int>(Get32(base_ + kWriteRowAt));
        serial_ = Get32(base_ + kSerialAt);
        Put32(base_ + kVersionAt, kConsoleVersion);
    } else {
        ClearBuffer();
    }
    pushed_ = 0;
    selecting_ = false;
    cursor_ = anchor_ = selEnd_ = Pos{rows_ - 1, 0};
    left_ = 0;
    top_ = rows_ - 1;
    ClampTop();
    Touch(0, rows_ - 1);
    return {};
}

std::error_code TConsole::OpenFile(std::uint64_t alloc, bool& kept) {
    kept = false;
    std::error_code ec;
    // Mapped at its present size: a damaged file is copied as it is, not grown.
    file_ = platform::MappedFile::Open(fileName_, 0, ec);
    if (!file_) return ec ? ec : std::make_error_code(std::errc::io_error);
    const std::uint64_t size = file_->size();
    const std::byte* p = file_->data();

    bool damaged = false;
    if (size == 0) {
        outcome_ = TConsoleOpen::Fresh;
    } else if (size < kConsoleHeaderSize) {
        damaged = true;
    } else {
        const std::uint32_t version = Get32(p + kVersionAt);
        std::uint32_t rows = Get32(p + kRowsAt);
        if (rows == 0) rows = kConsoleDefaultFileRows;
        if (version != kConsoleVersion && version != kConsoleOldVersion) {
            damaged = true;
        } else if (rows != static_cast<std::uint32_t>(rows_)) {
            outcome_ = TConsoleOpen::OtherRows;
        } else if (!HeaderValid(p, size) || !LinesValid()) {
            damaged = true;
        } else {
            kept = true;
            outcome_ = TConsoleOpen::Kept;
        }
    }
    if (damaged) {
        outcome_ = TConsoleOpen::Damaged;
        KeepDamagedCopy(size);
    }
    if (!kept) {
        if ((ec = file_->Recreate(static_cast<std::size_t>(alloc)))) {
            file_.reset();
            return ec;
        }
    }
    if (!file_->data() || file_->size() < ConsoleLayoutSize(cols_, rows_)) {
        file_.reset();
        return std::make_error_code(std::errc::io_error);
    }
    return {};
}

bool TConsole::HeaderValid(const std::byte* p, std::uint64_t size) const {
    if (size < ConsoleLayoutSize(cols_, rows_)) return false;
    const std::uint32_t rows = static_cast<std::uint32_t>(rows_);
    if (Get32(p + kRingStartAt) >= rows) return false;
    if (Get32(p + kWriteRowAt) >= rows) return false;
    // A full line wraps at once, so the column stops short of Cols; Cols itself
    // is taken too and wraps on the next character.
    if (Get32(p + kWriteColAt) > static_cast<std::uint32_t>(cols_)) return false;
    return true;
}

// Runs on the freshly mapped file before any other member trusts it.
bool TConsole::LinesValid() const {
    const std::byte* p = file_->data() + kConsoleHeaderSize;
    for (int r = 0; r < rows_; ++r, p += lineSize_) {
        if (Get8(p + kLengthAt) > cols_) return false;
        if (Get8(p + kMailboxAt) > 1) return false;
        if (Get8(p + kMarkAt) > kConsoleMaxMark) return false;
        if (!ColourValid(Get8(p + kEndColourAt))) return false;
        const std::byte* colours = p + kConsoleLineHeaderSize + cols_;
        for (int c = 0; c < cols_; ++c)
            if (!ColourValid(Get8(colours + c))) return false;
    }
    return true;
}

void TConsole::KeepDamagedCopy(std::uint64_t size) {
    std::filesystem::path target = fileName_;
    target += ".bad";
    target = platform::UniqueFileName(target);
    if (target.empty()) return;
    const std::size_t n = static_cast<std::size_t>(std::min(size, kMaxDamagedCopy));
    const std::string_view bytes(reinterpret_cast<const char*>(file_->data()), n);
    if (!platform::WriteFileAtomic(target, bytes)) damagedCopy_ = target;
}

void TConsole::Close() {
    file_.reset();  // the file keeps its content
    memory_.clear();
    memory_.shrink_to_fit();
    base_ = nullptr;
}

std::error_code TConsole::Sync() {
    return file_ ? file_->Sync() : std::error_code{};
}

void TConsole::ClearBuffer() {
    std::memset(base_, 0, kConsoleHeaderSize);
    std::memcpy(base_, kSignature, sizeof kSignature - 1);
    Put32(base_ + kVersionAt, kConsoleVersion);
    Put32(base_ + kReservedAt, 0);
    Put32(base_ + kRowsAt, static_cast<std::uint32_t>(rows_));
    std::byte* line = base_ + kConsoleHeaderSize;
    for (int r = 0; r < rows_; ++r, line += lineSize_) {
        std::memset(line, 0, kConsoleLineHeaderSize);
        std::memset(line + kConsoleLineHeaderSize, ' ', static_cast<std::size_t>(cols_));
        std::memset(line + kConsoleLineHeaderSize + cols_, kConsoleClearedColour,
                    static_cast<std::size_t>(cols_));
    }
    ringStart_ = 0;
    writeCol_ = 0;
    writeRow_ = rows_ - 1;
    serial_ = 0;
    StoreHeaderPosition();
}

void TConsole::Clear() {
    if (!Active()) return;
    ClearBuffer();
    pushed_ = 0;
    edgeWrapped_ = false;
    selecting_ = false;
    cursor_ = anchor_ = selEnd_ = Pos{rows_ - 1, 0};
    top_ = rows_ - 1;
    ClampTop();
    Touch(0, rows_ - 1);
}

void TConsole::StoreHeaderPosition() {
    Put32(base_ + kRingStartAt, static_cast<std::uint32_t>(ringStart_));
    Put32(base_ + kWriteColAt, static_cast<std::uint32_t>(writeCol_));
    Put32(base_ + kWriteRowAt, static_cast<std::uint32_t>(writeRow_));
    Put32(base_ + kSerialAt, serial_);
}

std::byte* TConsole::LinePtr(int row) const {
    int index = ringStart_ + row;
    if (index >= rows_) index -= rows_;
    return base_ + kConsoleHeaderSize + static_cast<std::uint64_t>(index) * lineSize_;
}

void TConsole::NewLine(std::byte*& line) {
    line[kEndColourAt] = static_cast<std::byte>(colour_);
    if (writeRow_ < rows_ - 1) {
        ++writeRow_;
    } else {
        // The oldest line leaves; what pointed at text moves up with it.
        ringStart_ = ringStart_ + 1 == rows_ ? 0 : ringStart_ + 1;
        ++pushed_;
    }
    line = LinePtr(writeRow_);
    std::memset(line, 0, kConsoleLineHeaderSize);
    Put32(line, ++serial_);
    std::memset(line + kConsoleLineHeaderSize, ' ', static_cast<std::size_t>(cols_));
    std::memset(line + kConsoleLineHeaderSize + cols_, 0, static_cast<std::size_t>(cols_));
    // Kept current per line so a crash loses at most the line being written.
    Put32(base_ + kRingStartAt, static_cast<std::uint32_t>(ringStart_));
    Put32(base_ + kWriteRowAt, static_cast<std::uint32_t>(writeRow_));
    Put32(base_ + kSerialAt, serial_);
}

std::size_t TConsole::MoveCutWordDown(std::byte* line) {
    if (writeRow_ < 1) return 0;
    const std::size_t cols = static_cast<std::size_t>(cols_);
    std::byte* prev = LinePtr(writeRow_ - 1);
    std::byte* chars = prev + kConsoleLineHeaderSize;
    std::byte* colours = chars + cols;
    std::size_t blank = cols;
    for (std::size_t i = cols; i-- > 0;) {
        if (chars[i] == std::byte{' '}) {
            blank = i;
            break;
        }
    }
    if (blank == cols) return 0;  // one word longer than a row: it stays cut
    const std::size_t tail = cols - 1 - blank;
    std::memcpy(line + kConsoleLineHeaderSize, chars + blank + 1, tail);
    std::memcpy(line + kConsoleLineHeaderSize + cols, colours + blank + 1, tail);
    line[kLengthAt] = static_cast<std::byte>(tail);
    std::memset(chars + blank, ' ', cols - blank);
    std::memset(colours + blank, 0, cols - blank);
    prev[kLengthAt] = static_cast<std::byte>(blank);
    return tail;
}

void TConsole::Write(std::string_view text) {
    assert(std::this_thread::get_id() == owner_);
    if (!Active() || text.empty()) return;
    const int follow = FollowState();
    const std::int64_t pushedBefore = pushed_;
    const std::int64_t firstLine = pushed_ + writeRow_;
    bool touchPrevious = false;

    const bool crBreaks = lineBreak_ == TConsoleLineBreak::CR;
    const bool lfBreaks = lineBreak_ == TConsoleLineBreak::LF;
    const bool crIgnored = lfBreaks;
    const bool lfIgnored = crBreaks;
    const std::uint8_t colour = colour_;
    const std::size_t cols = static_cast<std::size_t>(cols_);

    std::byte* line = LinePtr(writeRow_);
    std::size_t col = static_cast<std::size_t>(writeCol_);
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char c = *p;
        if (c == '\r') {
            ++p;
            if (crIgnored) continue;
            edgeWrapped_ = false;
            col = 0;
            if (crBreaks) NewLine(line);
            continue;
        }
        if (c == '\n') {
            ++p;
            if (lfIgnored) continue;
            edgeWrapped_ = false;
            if (lfBreaks) col = 0;
            NewLine(line);
            continue;
        }
        if (col >= cols) {  // only from a file that stopped at the edge
            col = 0;
            NewLine(line);
        }
        if (edgeWrapped_ && col == 0) {
            // The row before was cut at the edge: a blank there ends it, a word
            // that goes on moves down whole.
            edgeWrapped_ = false;
            if (c == ' ') {
                ++p;
                continue;
            }
            col = MoveCutWordDown(line);
            touchPrevious = true;
        }
        const std::size_t room = std::min(cols - col, static_cast<std::size_t>(end - p));
        std::size_t n = 0;
        while (n < room && p[n] != '\r' && p[n] != '\n') ++n;
        std::memcpy(line + kConsoleLineHeaderSize + col, p, n);
        std::memset(line + kConsoleLineHeaderSize + cols + col, colour, n);
        col += n;
        p += n;
        line[kLengthAt] = static_cast<std::byte>(col);
        if (col == cols) {  // a full line wraps at once
            col = 0;
            NewLine(line);
            edgeWrapped_ = true;
        }
    }
    writeCol_ = static_cast<int>(col);
    Put32(base_ + kWriteColAt, static_cast<std::uint32_t>(writeCol_));

    const std::int64_t unix = clock_.LocalSeconds();
    const std::uint32_t now = static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(unix, 0, std::numeric_limits<std::uint32_t>::max()));
    int first = static_cast<int>(std::max<std::int64_t>(0, firstLine - pushed_));
    if (touchPrevious) first = std::max(0, std::min(first, writeRow_ - 1));
    for (int r = first; r <= writeRow_; ++r) Put32(LinePtr(r) + kStampAt, now);

    const std::int64_t shifted = pushed_ - pushedBefore;
    if (shifted > 0) {
        if (follow == 1) top_ = static_cast<int>(std::max<std::int64_t>(0, top_ - shifted));
        Touch(0, rows_ - 1);
    } else {
        Touch(first, writeRow_);
    }
    if (follow == 2) KeepWriteRowVisible();
    ClampTop();
}

void TConsole::KeepWriteRowVisible() {
    if (writeRow_ >= top_ + viewRows_) top_ = writeRow_ - viewRows_ + 1;
    if (writeRow_ < top_) top_ = writeRow_;
}

void TConsole::SetMark(std::uint8_t mark, int row) {
    if (!Active() || mark > kConsoleMaxMark) return;
    if (row == -1) row = writeRow_;
    if (row < 0 || row >= rows_) return;
    LinePtr(row)[kMarkAt] = static_cast<std::byte>(mark);
    Touch(row, row);
}

void TConsole::SetMailbox(bool on, int row) {
    if (!Active()) return;
    if (row == -1) row = writeRow_;
    if (row < 0 || row >= rows_) return;
    LinePtr(row)[kMailboxAt] = static_cast<std::byte>(on ? 1 : 0);
    Touch(row, row);
}

void TConsole::SetPaletteEntry(std::uint8_t code, TRgb rgb) {
    if (palette_[code & 0x0F] == rgb) return;
    palette_[code & 0x0F] = rgb;
    Touch(0, rows_ - 1);
}

void TConsole::SetBackground(TRgb rgb) {
    if (background_ == rgb) return;
    background_ = rgb;
    Touch(0, rows_ - 1);
}

int TConsole::RowOfSerial(std::uint32_t serial) const {
    if (!Active()) return -1;
    for (int row = writeRow_; row >= 0; --row) {
        if (Get32(LinePtr(row)) == serial) return row;
    }
    return -1;
}

TConsoleLine TConsole::GetLine(int row) const {
    TConsoleLine out;
    if (!Active() || row < 0 || row >= rows_) return out;
    const std::byte* p = LinePtr(row);
    out.serial = Get32(p);
    out.stamp = Get32(p + kStampAt);
    // The mapping is shared memory: never trust a length beyond the line.
    out.length = std::min<int>(Get8(p + kLengthAt), cols_);
    out.mailbox = Get8(p + kMailboxAt) != 0;
    out.mark = Get8(p + kMarkAt);
    out.endColour = Get8(p + kEndColourAt);
    out.chars = std::string_view(reinterpret_cast<const char*>(p + kConsoleLineHeaderSize),
                                 static_cast<std::size_t>(cols_));
    out.colours = reinterpret_cast<const std::uint8_t*>(p + kConsoleLineHeaderSize + cols_);
    return out;
}

char TConsole::GetChars(int col, int row) const {
    if (col < 0 || col >= cols_) return ' ';
    const TConsoleLine l = GetLine(row);
    return l.chars.empty() ? ' ' : l.chars[static_cast<std::size_t>(col)];
}

std::uint8_t TConsole::GetColours(int col, int row) const {
    if (col < 0 || col >= cols_) return kConsoleClearedColour;
    const TConsoleLine l = GetLine(row);
    return l.colours ? l.colours[col] : kConsoleClearedColour;
}

void TConsole::ColourRuns(int row, std::vector<TColourRun>& out) const {
    out.clear();
    const TConsoleLine l = GetLine(row);
    for (int c = 0; c < l.length;) {
        const std::uint8_t code = l.colours[c];
        int n = 1;
        while (c + n < l.length && l.colours[c + n] == code) ++n;
        out.push_back({c, n, code});
        c += n;
    }
}

void TConsole::Touch(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, rows_ - 1);
    Changed();
    if (first > last) return;
    if (dirty_.Any()) {
        dirty_.first = std::min(dirty_.first, first);
        dirty_.last = std::max(dirty_.last, last);
    } else {
        dirty_ = {first, last};
    }
}

TConsoleDirty TConsole::TakeDirty() {
    const TConsoleDirty d = dirty_;
    dirty_ = {};
    return d;
}

// Positions that left the ring sit at the start of the oldest line.
int TConsole::RowOf(const Pos& p) const {
    return p.line < pushed_ ? 0 : static_cast<int>(p.line - pushed_);
}

int TConsole::LineCursorRow() const {
    return std::min(RowOf(cursor_), rows_ - 1);
}

void TConsole::MoveCursorTo(int col, int row, bool extend) {
    if (extend) {
        SelectTo(col, row);
        return;
    }
    col = std::clamp(col, 0, cols_);
    row = std::clamp(row, 0, rows_ - 1);
    cursor_ = anchor_ = selEnd_ = Pos{pushed_ + row, col};
    selecting_ = false;
    ShowCursor();
    Touch(0, rows_ - 1);
}

void TConsole::MoveCursor(TCursorMove move, bool extend) {
    int col = cursor_.line < pushed_ ? 0 : cursor_.col;
    int row = LineCursorRow();
    switch (move) {
        case TCursorMove::Left:
            --col;
            break;
        case TCursorMove::Right:
            ++col;
            break;
        case TCursorMove::Up:
            --row;
            break;
        case TCursorMove::Down:
            ++row;
            break;
        case TCursorMove::Home:
            col = 0;
            break;
        case TCursorMove::End:
            col = GetLine(row).length;
            break;
        case TCursorMove::PageUp:
            row -= PageRows();
            break;
        case TCursorMove::PageDown:
            row += PageRows();
            break;
        case TCursorMove::Top:
            col = row = 0;
            ScrollToTop();
            break;
        case TCursorMove::Bottom:
            col = writeCol_;
            row = writeRow_;
            ScrollToEnd();
            break;
    }
    MoveCursorTo(col, std::clamp(row, 0, rows_ - 1), extend);
}

void TConsole::SelectTo(int col, int row) {
    col = std::clamp(col, 0, cols_);
    row = std::clamp(row, 0, rows_);
    selEnd_ = Pos{pushed_ + row, col};
    selecting_ = true;
    cursor_ = Pos{pushed_ + std::min(row, rows_ - 1), col};
    ShowCursor();
    Touch(0, rows_ - 1);
}

void TConsole::ClearSelection() {
    if (!selecting_) return;
    selecting_ = false;
    anchor_ = selEnd_ = cursor_;
    Touch(0, rows_ - 1);
}

void TConsole::NormalizedSelection(Pos& from, Pos& to) const {
    auto clampPos = [this](Pos p) { return p.line < pushed_ ? Pos{pushed_, 0} : p; };
    Pos a = clampPos(anchor_), b = clampPos(selEnd_);
    const bool aFirst = a.line < b.line || (a.line == b.line && a.col <= b.col);
    from = aFirst ? a : b;
    to = aFirst ? b : a;
}

bool TConsole::HaveSelection() const {
    if (!selecting_) return false;
    Pos from, to;
    NormalizedSelection(from, to);
    return from.line != to.line || from.col != to.col;
}

TConsoleSelection TConsole::Selection() const {
    if (!HaveSelection()) return {};
    Pos from, to;
    NormalizedSelection(from, to);
    return {from.col, RowOf(from), to.col - 1, RowOf(to)};
}

bool TConsole::InSelection(int col, int row) const {
    if (!HaveSelection()) return false;
    Pos from, to;
    NormalizedSelection(from, to);
    const std::int64_t line = pushed_ + row;
    const bool afterFrom = line > from.line || (line == from.line && col >= from.col);
    const bool beforeTo = line < to.line || (line == to.line && col < to.col);
    return afterFrom && beforeTo;
}

bool TConsole::RowInSelection(int row) const {
    const TConsoleSelection s = Selection();
    return !s.Empty() && row >= s.firstRow && row <= s.lastRow;
}

bool TConsole::SelectionReachesEnd() const {
    const TConsoleSelection s = Selection();
    return !s.Empty() && s.lastRow >= rows_;
}

std::pair<int, int> TConsole::SelectedColumns(int row) const {
    const TConsoleSelection s = Selection();
    if (s.Empty() || row < s.firstRow || row > s.lastRow) return {0, 0};
    const int from = row == s.firstRow ? s.firstCol : 0;
    const int to = row == s.lastRow ? s.lastCol + 1 : cols_;
    return {std::clamp(from, 0, cols_), std::clamp(std::max(from, to), 0, cols_)};
}

std::string TConsole::SelectedText() const {
    std::string out;
    const TConsoleSelection s = Selection();
    if (s.Empty() || !Active()) return out;
    const int last = std::min(s.lastRow, rows_ - 1);
    for (int r = s.firstRow; r <= last; ++r) {
        const TConsoleLine l = GetLine(r);
        const std::string_view used = l.chars.substr(0, static_cast<std::size_t>(l.length));
        std::size_t from = r == s.firstRow ? static_cast<std::size_t>(s.firstCol) : 0;
        std::size_t to = r == s.lastRow ? static_cast<std::size_t>(s.lastCol + 1) : used.size();
        from = std::min(from, used.size());
        to = std::clamp(to, from, used.size());
        std::string_view piece = used.substr(from, to - from);
        while (!piece.empty() && piece.back() == ' ') piece.remove_suffix(1);
        if (r != s.firstRow) out += "\r\n";
        out += piece;
    }
    return out;
}

bool TConsole::Highlighted(int row) const {
    if (!GetLine(row).mailbox) return false;
    if (!HaveSelection()) return row == LineCursorRow();
    return RowInSelection(row);
}

void TConsole::SetViewSize(int cols, int rows) {
    // A view that followed the text keeps following through a resize.
    const bool follow = FollowState() == 2;
    viewCols_ = std::max(cols, 1);
    viewRows_ = std::max(rows, 1);
    if (follow) KeepWriteRowVisible();
    ClampTop();
    SetLeftCol(left_);
    Touch(0, rows_ - 1);
}

void TConsole::SetLeftCol(int col) {
    left_ = std::clamp(col, 0, std::max(0, cols_ - viewCols_));
    Changed();
}

void TConsole::Changed() {
    ++changes_;
    if (onChange_) onChange_();
}

int TConsole::MaxTop() const {
    return std::max(0, rows_ - viewRows_);
}

void TConsole::ClampTop() {
    top_ = std::clamp(top_, 0, MaxTop());
}

void TConsole::ShowCursor() {
    const int row = LineCursorRow();
    if (row < top_) top_ = row;
    if (row >= top_ + viewRows_) top_ = row - viewRows_ + 1;
    ClampTop();
}

void TConsole::ScrollLines(int n, bool keepCursor) {
    top_ = static_cast<int>(std::clamp<std::int64_t>(std::int64_t{top_} + n, 0, MaxTop()));
    if (keepCursor) {
        const int row = LineCursorRow();
        const int inView = std::clamp(row, top_, std::min(top_ + viewRows_, rows_) - 1);
        if (inView != row) {
            cursor_ = Pos{pushed_ + inView, cursor_.col};
            if (!selecting_) anchor_ = selEnd_ = cursor_;
        }
    }
    Touch(0, rows_ - 1);
}

void TConsole::ScrollToTop() {
    ScrollLines(-top_);
}

void TConsole::ScrollToEnd() {
    ScrollLines(MaxTop() - top_);
}

int TConsole::FollowState() const {
    if (writeRow_ >= top_ && writeRow_ < top_ + viewRows_) return 2;
    return top_ == 0 ? 0 : 1;
}

}  // namespace tarvo::channels
