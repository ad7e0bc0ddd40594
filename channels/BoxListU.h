// The mailbox message list of a channel: lines of a received message list are
// marked in the console for reading or erasing, and the marks go out as one
// mailbox command line ("R ALL 12;E ALL 15").
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "channels/ConsoleU.h"
#include "channels/KanalEingabeU.h"
#include "core/InterfacesU.h"

namespace tarvo::channels {

// Gutter marks of message-list lines: unmarked, to read, to erase.
enum TBoxMark : std::uint8_t {
    kBoxMarkRead = 2,
    kBoxMarkErase = 3,
    kBoxMarkListLine = 4,
};

// A mailbox line longer than one frame reaches some mailboxes cut in two.
inline constexpr std::size_t kBoxFrameSize = 256;

// What a received line of a message list names.
struct TMessageListLine {
    // The board after "> "; empty when the list leaves it to its header.
    std::string board;
    // The message number (after the board's dots when it has one); 0 when it
    // is no number above 0.
    std::int32_t number = 0;
    // The list form of mailboxes that take the number alone ("R 12", "K 12"),
    // one command a line.
    bool numberOnly = false;
};

// The line (without its CR) as a message-list line; nullopt when it is none,
// also when the search gives up under its limits (remote text may be built to
// make it backtrack).
std::optional<TMessageListLine> ParseMessageListLine(std::string_view line);
inline bool IsMessageListLine(std::string_view line) {
    return ParseMessageListLine(line).has_value();
}

// A console row's text without the blanks after it.
std::string_view BoxRowText(const TConsole& console, int row);

// The board of a list without board column: the header above the list line
// at `row` (the first row up that is empty or begins with neither a blank nor
// a digit), or the row above the header when that has text and is no prompt
// (ends with '>'); of it, the last run of letters, digits, '_' and '-' before
// any '@'. "" when there is none.
std::string BoardFromHeader(const TConsole& console, int row);

// The channel as its box list sees it.
class IKanalForBoxlist {
  public:
    virtual ~IKanalForBoxlist() = default;
    virtual TConsole& GetConsole() = 0;
    virtual std::shared_ptr<core::IVerbindung> GetVerbindung() const = 0;
};

// One mark: the console line (by its serial, which stays with the text while
// the ring moves on) and what to do with the message.
struct TBoxCommand {
    enum Kind : std::uint8_t { Read = 0, Erase = 1 };
    std::uint32_t serial = 0;
    Kind kind = Read;
};

class TBoxList final : public IBoxList {
  public:
    explicit TBoxList(IKanalForBoxlist& kanal, std::size_t frameSize = kBoxFrameSize);
    // Takes back every mark it set.
    ~TBoxList() override;
    TBoxList(const TBoxList&) = delete;
    TBoxList& operator=(const TBoxList&) = delete;

    void MarkRead(int firstRow, int lastRow, bool advance, bool toggle) override;
    void MarkErase(int firstRow, int lastRow, bool advance, bool toggle) override;
    void Unmark(int firstRow, int lastRow, bool advance) override;
    void Execute() override;
    void PreviousBlock() override;
    void NextBlock() override;
    void ClearMarks();

    // The command lines Execute sends, each without its CR, at most one frame
    // with it; an empty list when no mark gives a command. Marks stay.
    std::vector<std::string> Commands() const;
    std::vector<TBoxCommand> Marked() const;

  private:
    void Mark(int firstRow, int lastRow, bool advance, bool toggle, TBoxCommand::Kind kind);
    void Advance(bool advance);
    // Current rows of the marked serials; lines that left the ring are missing.
    std::map<std::uint32_t, int> RowsOfMarks() const;
    void GoToRow(int row);

    IKanalForBoxlist& kanal_;
    TConsole& console_;
    std::size_t frameSize_;
    std::map<std::uint32_t, TBoxCommand::Kind> commands_;
};

}  // namespace tarvo::channels
