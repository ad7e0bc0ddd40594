// Received lines in a console, recognised as mailbox list lines, all marked
// and turned into mailbox commands: no crash, every command line fits its
// frame unless one item alone is longer, and no command carries a line end.
//
// Input: byte 0 the frame size (plus 8), byte 1 bit 0 marks for erasing
// instead of reading; the rest is received text (CR ends a line).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "channels/BoxListU.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Clock.h"

using namespace tarvo;
using namespace tarvo::channels;

namespace {

class Kanal final : public IKanalForBoxlist {
  public:
    explicit Kanal(TConsole& console) : console_(console) {}
    TConsole& GetConsole() override { return console_; }
    std::shared_ptr<core::IVerbindung> GetVerbindung() const override { return nullptr; }

  private:
    TConsole& console_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t frame = data[0] + 8u;
    const bool erase = (data[1] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

    (void)ParseMessageListLine(text);

    platform::FakeClock clock(0, 1'700'000'000);
    TConsole console(clock);
    console.SetRows(64);
    console.SetLineBreak(TConsoleLineBreak::CR);
    if (console.Open()) return 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\r', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        const std::uint32_t serial = console.LineSerial();  // the row the line begins in
        console.Write(line);
        console.Write("\r");
        const int row = console.RowOfSerial(serial);
        if (row >= 0 && IsMessageListLine(line)) console.SetMailbox(true, row);
        start = end + 1;
    }

    Kanal kanal(console);
    TBoxList list(kanal, frame);
    if (erase)
        list.MarkErase(0, console.Rows() - 1, false, false);
    else
        list.MarkRead(0, console.Rows() - 1, false, false);
    for (const std::string& command : list.Commands()) {
        fuzz::Check(command.find_first_of("\r\n") == std::string::npos);
        fuzz::Check(command.size() + 1 <= frame || command.find(';') == std::string::npos);
    }
    list.Execute();
    return 0;
}
