// Sending the connection's running text job: the text before, the file in
// pieces of at most 256 bytes with CR line ends, the text after. The remote
// stops it with an abort line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "connection/VerbindungAbstractU.h"
#include "core/InterfacesU.h"

namespace tarvo::core {
class TStream;
}

namespace tarvo::connection {

// The protocol number of text send jobs.
inline constexpr std::int32_t kTextProtocol = 1;
// What one round puts on the link at most.
inline constexpr std::size_t kTextPieceSize = 256;

// What the text modules need besides their connection; null members stay silent.
struct TTextTransferContext {
    core::IKlaenge* klaenge = nullptr;
    // Where captured files are stored; without it nothing is captured.
    std::function<std::filesystem::path()> receiveFolder;
    // Takes a partial capture away (the trash); without it the file is deleted.
    std::function<bool(const std::filesystem::path&)> recycle;
};

// Turns CR LF and lone LF line ends into CR, across pieces: a piece that
// begins with the LF of a CR that ended the previous piece loses that LF.
class TLineEndFilter {
  public:
    std::string Filter(std::string_view piece);

  private:
    bool afterCr_ = false;
};

// "#ABORT#", "//ABORT" or "//CUT" as a whole line (its CR and LFs around it
// not counted), whatever the case.
bool IsTextAbortLine(std::string_view line);
// The start of a line that may still become an abort line.
bool MayBecomeTextAbortLine(std::string_view start);

class TVerbindungTextSend : public TVerbindungAbstract {
  public:
    TVerbindungTextSend(TVerbindungAbstract* parent,
                        std::shared_ptr<core::IVerbindungFuerModul> connection,
                        TTextTransferContext context = {});
    ~TVerbindungTextSend() override;

    // Worker thread; public so that tests can drive one step at a time.
    void OnReceive() override;
    void OnLinkSendQueueEmpty() override;

  protected:
    void Init() override;
    void Terminated(int endCode) override;

  private:
    void PlaySound(int event);
    // Shows the held start of a line that turned out to be no abort line.
    void ShowPending(core::IVerbindungFuerModul& connection);

    TTextTransferContext context_;
    std::shared_ptr<core::IDateiSenden> job_;
    core::TStream* stream_ = nullptr;
    TLineEndFilter filter_;
    std::int64_t consumed_ = 0;
    // Received text of the current line held back while it may be an abort line.
    std::string pending_;
    bool lineStart_ = true;  // the next received byte begins a line
    bool stopped_ = false;   // the remote aborted: nothing more is read
};

// Registers text send and the 7Plus and GoText capture with the terminal text module.
void RegisterTextModules(const TTextTransferContext& context);
// The context of the running program: its sounds, the receive folder, the trash.
TTextTransferContext TextProgramContext(core::IKlaenge* klaenge);
void UnregisterTextModules();

}  // namespace tarvo::connection
