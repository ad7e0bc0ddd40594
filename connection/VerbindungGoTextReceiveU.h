// Capturing a text file from the text stream, from its start line
// " go_text. NAME" (or " go_info. NAME") to its stop line, into the receive
// folder. The lines are shown as they come, except those of 7Plus correction
// and error files.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "connection/VerbindungCaptureU.h"

namespace tarvo::connection {

inline constexpr std::string_view kGoTextHeader = " go_text. ";
inline constexpr std::string_view kGoInfoHeader = " go_info. ";

// The name a start line gives (without its CR): everything after the first
// blank once one leading blank is dropped; nullopt without a blank.
std::optional<std::string> GoTextName(std::string_view line);

class TVerbindungGoTextReceive : public TVerbindungCapture {
  public:
    TVerbindungGoTextReceive(TVerbindungAbstract* parent,
                             std::shared_ptr<core::IVerbindungFuerModul> connection,
                             TTextTransferContext context = {});
    ~TVerbindungGoTextReceive() override;

  protected:
    void Init() override;
    void Received(core::IVerbindungFuerModul& connection, std::string_view item) override;
    void Line(core::IVerbindungFuerModul& connection, std::string_view item) override;

  private:
    bool show_ = true;
};

}  // namespace tarvo::connection
