#include "channels/BoxListU.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "platform/Pattern.h"

namespace tarvo::channels {

namespace {

constexpr const char* kUnit = "BoxListU";
constexpr const char* kClass = "TBoxList";

// Lists that carry the sender after the number, and the board after "> ".
constexpr std::string_view kBoardListPattern =
    R"(^ *([0-9]+)[^ ]? +([0-9A-Z]+[0-9][A-Z]+) +((\> )([0-9A-Za-z_\-][0-9A-Za-z_\-]?[0-9A-Za-z_\-]?)"
    R"([0-9A-Za-z_\-]?[0-9A-Za-z_\-]?[0-9A-Za-z_\-]?[0-9A-Za-z_\-]?[0-9A-Za-z_\-]?)((\.*)([0-9]+))? +)?)"
    R"(([0-9][0-9]\.[0-9][0-9](\.[0-9][0-9])? +)?([0-9][0-9]\:[0-9][0-9] +)?([A-Z0-9]* +)?([0-9]* +)?)"
    R"(([0-9]* +)?(.*)$)";
constexpr std::size_t kGroupNumber = 1;
constexpr std::size_t kGroupBoard = 5;
constexpr std::size_t kGroupBoardNumber = 8;

// Lists of the form "3      10-Dec BN      23 ALL    @WW     TFKA   Subject":
// number, date, type and status, size, then the addressee.
constexpr std::string_view kNumberListPattern =
    R"(^ *([0-9]+) +[0-9]{1,2}-[A-Za-z]{3} +[A-Z][A-Z$]? +[0-9]+ +[^ ])";

platform::Pattern CompileOnce(std::string_view source) {
    auto p = platform::Pattern::Compile(source);
    TARVO_ASSERT(p.has_value(), kUnit);
    return std::move(*p);
}

const platform::Pattern& BoardListPattern() {
    static const platform::Pattern p = CompileOnce(kBoardListPattern);
    return p;
}

const platform::Pattern& NumberListPattern() {
    static const platform::Pattern p = CompileOnce(kNumberListPattern);
    return p;
}

std::int32_t PositiveNumber(std::string_view digits) {
    std::int32_t n = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size() || n <= 0) return 0;
    return n;
}

bool IsBoardChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

bool IsHeader(std::string_view text) {
    return text.empty() || (text[0] != ' ' && (text[0] < '0' || text[0] > '9'));
}

}  // namespace

std::optional<TMessageListLine> ParseMessageListLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    platform::SearchResult r = BoardListPattern().Search(line);
    if (r.status == platform::MatchStatus::Matched) {
        TMessageListLine out;
        out.board = std::string(r->Group(kGroupBoard));
        const std::string_view after = r->Group(kGroupBoardNumber);
        out.number = PositiveNumber(after.empty() ? r->Group(kGroupNumber) : after);
        return out;
    }
    r = NumberListPattern().Search(line);
    if (r.status != platform::MatchStatus::Matched) return std::nullopt;
    TMessageListLine out;
    out.number = PositiveNumber(r->Group(kGroupNumber));
    out.numberOnly = true;
    return out;
}

std::string_view BoxRowText(const TConsole& console, int row) {
    const TConsoleLine line = console.GetLine(row);
    std::string_view text = line.chars.substr(0, static_cast<std::size_t>(line.length));
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::string BoardFromHeader(const TConsole& console, int row) {
    int header = row - 1;
    while (header >= 0 && !IsHeader(BoxRowText(console, header))) --header;
    if (header < 0) return {};
    std::string_view text = BoxRowText(console, header);
    if (header > 0) {
        const std::string_view above = BoxRowText(console, header - 1);
        if (!above.empty() && above.back() != '>') text = above;
    }
    text = text.substr(0, text.find('@'));
    std::size_t end = text.size();
    while (end > 0 && !IsBoardChar(text[end - 1])) --end;
    std::size_t start = end;
    while (start > 0 && IsBoardChar(text[start - 1])) --start;
    return std::string(text.substr(start, end - start));
}

// ---- TBoxList -----------------------------------------------------------------

TBoxList::TBoxList(IKanalForBoxlist& kanal, std::size_t frameSize)
    : kanal_(kanal),
      console_(kanal.GetConsole()),
      frameSize_(std::max<std::size_t>(frameSize, 2)) {}

TBoxList::~TBoxList() {
    ClearMarks();
}

std::map<std::uint32_t, int> TBoxList::RowsOfMarks() const {
    // One pass over the ring instead of a search per mark; the newest line
    // with a serial wins, as after a cleared console serials start again.
    std::map<std::uint32_t, int> rows;
    if (commands_.empty()) return rows;
    const int last = std::min(console_.WriteRow(), console_.Rows() - 1);
    for (int row = 0; row <= last; ++row) {
        const TConsoleLine line = console_.GetLine(row);
        if (line.mailbox && commands_.contains(line.serial)) rows[line.serial] = row;
    }
    return rows;
}

void TBoxList::Mark(int firstRow, int lastRow, bool advance, bool toggle, TBoxCommand::Kind kind) {
    const std::uint8_t mark = kind == TBoxCommand::Read ? kBoxMarkRead : kBoxMarkErase;
    firstRow = std::max(firstRow, 0);
    lastRow = std::min(lastRow, console_.Rows() - 1);
    if (toggle) {
        bool allMarked = true;
        for (int row = firstRow; row <= lastRow && allMarked; ++row) {
            const TConsoleLine line = console_.GetLine(row);
            allMarked = !line.mailbox || line.mark == mark;
        }
        if (allMarked) {
            Unmark(firstRow, lastRow, false);
            Advance(advance);
            return;
        }
    }
    for (int row = firstRow; row <= lastRow; ++row) {
        const TConsoleLine line = console_.GetLine(row);
        if (!line.mailbox) continue;
        commands_[line.serial] = kind;
        console_.SetMark(mark, row);
    }
    Advance(advance);
}

void TBoxList::Advance(bool advance) {
    if (advance && console_.Selection().Empty()) console_.MoveCursor(TCursorMove::Down, false);
}

void TBoxList::MarkRead(int firstRow, int lastRow, bool advance, bool toggle) {
    Mark(firstRow, lastRow, advance, toggle, TBoxCommand::Read);
}

void TBoxList::MarkErase(int firstRow, int lastRow, bool advance, bool toggle) {
    Mark(firstRow, lastRow, advance, toggle, TBoxCommand::Erase);
}

void TBoxList::Unmark(int firstRow, int lastRow, bool advance) {
    firstRow = std::max(firstRow, 0);
    lastRow = std::min(lastRow, console_.Rows() - 1);
    for (int row = firstRow; row <= lastRow; ++row) {
        const TConsoleLine line = console_.GetLine(row);
        if (!line.mailbox) continue;
        commands_.erase(line.serial);
        console_.SetMark(kBoxMarkListLine, row);
    }
    Advance(advance);
}

void TBoxList::ClearMarks() {
    for (const auto& [serial, row] : RowsOfMarks()) console_.SetMark(kBoxMarkListLine, row);
}

std::vector<TBoxCommand> TBoxList::Marked() const {
    std::vector<TBoxCommand> out;
    for (const auto& [serial, kind] : commands_) out.push_back({serial, kind});
    return out;
}

std::vector<std::string> TBoxList::Commands() const {
    // In the order the lines stand in the console.
    std::vector<std::pair<int, TBoxCommand::Kind>> order;
    for (const auto& [serial, row] : RowsOfMarks()) order.emplace_back(row, commands_.at(serial));
    std::sort(order.begin(), order.end());

    std::vector<std::string> lines;
    std::string joined;
    auto flush = [&] {
        if (!joined.empty()) lines.push_back(std::move(joined));
        joined.clear();
    };
    for (const auto& [row, kind] : order) {
        const auto entry = ParseMessageListLine(BoxRowText(console_, row));
        if (!entry || entry->number <= 0) continue;
        if (entry->numberOnly) {
            // These mailboxes take one command a line, and kill with K.
            flush();
            lines.push_back((kind == TBoxCommand::Read ? "R " : "K ") +
                            std::to_string(entry->number));
            continue;
        }
        const std::string board =
            entry->board.empty() ? BoardFromHeader(console_, row) : entry->board;
        if (board.empty()) continue;
        std::string item = std::string(kind == TBoxCommand::Read ? "R " : "E ") + board + " " +
                           std::to_string(entry->number);
        // The line with its CR stays within one frame.
        if (!joined.empty() && joined.size() + 1 + item.size() + 1 > frameSize_) flush();
        if (!joined.empty()) joined += ';';
        joined += item;
    }
    flush();
    return lines;
}

void TBoxList::Execute() {
    ClearMarks();
    std::vector<std::string> lines = Commands();
    if (lines.empty()) lines.emplace_back();
    const auto verbindung = kanal_.GetVerbindung();
    for (const std::string& line : lines) {
        core::DebOutObj(kClass, "Execute", line);
        // Board names come from received text: sent as they are, no carets.
        if (verbindung) verbindung->SendData(line + "\r", true, false, false, false);
    }
}

void TBoxList::GoToRow(int row) {
    console_.MoveCursorTo(0, row, false);
    console_.ScrollLines(row - (console_.TopRow() + console_.VisibleRows() / 2));
}

void TBoxList::NextBlock() {
    const int rows = console_.Rows();
    int row = console_.LineCursorRow();
    while (row < rows && console_.GetLine(row).mailbox) ++row;
    while (row < rows && !console_.GetLine(row).mailbox) ++row;
    if (row < rows) GoToRow(row);
}

void TBoxList::PreviousBlock() {
    int row = console_.LineCursorRow();
    while (row >= 0 && console_.GetLine(row).mailbox) --row;
    while (row >= 0 && !console_.GetLine(row).mailbox) --row;
    if (row < 0) return;
    while (row > 0 && console_.GetLine(row - 1).mailbox) --row;
    GoToRow(row);
}

}  // namespace tarvo::channels
