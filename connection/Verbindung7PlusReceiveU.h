// Capturing one 7Plus part from the text stream, from its start line
// " go_7+. " to its stop line, into the receive folder as NAME.pNN (or
// NAME.7pl for a file of one part). Nothing is decoded here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "connection/VerbindungCaptureU.h"

namespace tarvo::connection {

inline constexpr std::string_view k7PlusHeader = " go_7+. ";
// The protocol number the progress record of a capture carries.
inline constexpr std::int32_t k7PlusProtocol = 3;

// The start line's columns (counted from 1): the part number at 9 to 11, the
// part count at 16 to 18, the original name at 20 to 31, a hex number at 41 to
// 44 whose 64th part is the number of lines. Unreadable numbers are -1 (the
// line count 0).
struct T7PlusHeader {
    int part = -1;
    int count = -1;
    std::string name;
    std::int64_t lines = 0;
};
T7PlusHeader Parse7PlusHeader(std::string_view line);

// The stored name: the safe original name (the stem instead when it has none)
// with its extension replaced by ".7pl" for a single part, else by ".p" and
// the part number in upper-case hex, at least two digits.
std::string SevenPlusFileName(const T7PlusHeader& header, std::string_view stem);

class TVerbindung7PlusReceive : public TVerbindungCapture {
  public:
    TVerbindung7PlusReceive(TVerbindungAbstract* parent,
                            std::shared_ptr<core::IVerbindungFuerModul> connection,
                            TTextTransferContext context = {});
    ~TVerbindung7PlusReceive() override;

    std::int64_t LinesReceived() const { return linesReceived_; }

  protected:
    void Init() override;
    void Terminated(int endCode) override;
    void Line(core::IVerbindungFuerModul& connection, std::string_view item) override;

  private:
    T7PlusHeader header_;
    std::shared_ptr<core::IDateiSenden> record_;
    std::int64_t linesReceived_ = 0;
};

}  // namespace tarvo::connection
