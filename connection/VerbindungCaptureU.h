// What the 7Plus and GoText capture share: received lines cut at a cap, a
// file created under a free name in the receive folder (never through a link
// or over an existing file), typed text forwarded, and the report at the end
// (a capture that did not end by its stop line goes to the trash).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "connection/VerbindungAbstractU.h"
#include "connection/VerbindungTextSendU.h"
#include "platform/FileHandle.h"

namespace tarvo::connection {

// Longest line kept whole; a longer one is written in pieces of this size.
inline constexpr std::size_t kMaxCaptureLine = 8 * 1024;
// A capture that grows past this is given up (nothing sent over a radio link
// comes near it).
inline constexpr std::int64_t kMaxCaptureBytes = std::int64_t{64} << 20;

// A name from a start line as it may be stored: its safe last component
// (UTF-8), without leading dots, so it can neither leave the receive folder nor
// hide there; "" when nothing is left.
std::string CaptureName(std::string_view raw);

// Received text cut into lines at CR, at most kMaxCaptureLine bytes each.
class TCaptureLineBuffer {
  public:
    // Takes data up to and including its first CR, or until the line is full;
    // how many bytes it took.
    std::size_t Take(std::string_view data);
    // A complete line, or a full piece of a longer one, waits.
    bool Ready() const { return complete_ || text_.size() >= kMaxCaptureLine; }
    // It ended with CR.
    bool Complete() const { return complete_; }
    // It continues a piece handed out before: it is not the start of a line.
    bool Continued() const { return continued_; }
    // Without its CR, and without the LFs of a CR LF at the start of a line.
    const std::string& Text() const { return text_; }
    // Bytes taken for it, for the throughput.
    std::size_t Taken() const { return taken_; }
    void Next();
    std::size_t Size() const { return text_.size(); }

  private:
    std::string text_;
    std::size_t taken_ = 0;
    bool complete_ = false;
    bool continued_ = false;
};

class TVerbindungCapture : public TVerbindungAbstract {
  public:
    ~TVerbindungCapture() override;

    // Worker thread; public so that tests can drive one step at a time.
    void OnReceive() override;
    void OnUserSend() override;
    // Worker thread: nothing more of the received data is read after either.
    void Finish() override;
    void Fail() override;

    // The file the capture is written to; empty until it was created.
    const std::filesystem::path& Target() const { return target_; }
    std::size_t LineBufferSize() const { return lines_.Size(); }

  protected:
    // ok and failed are the words to a terminal at a regular end.
    TVerbindungCapture(TVerbindungAbstract* parent,
                       std::shared_ptr<core::IVerbindungFuerModul> connection,
                       TTextTransferContext context, std::string_view ok, std::string_view failed);

    // The receive folder; false (logged) when there is none or it cannot be made.
    bool ReceiveFolder(std::filesystem::path& folder);
    // Creates the file under the first free name made from path; false when it
    // cannot be created.
    bool CreateTarget(const std::filesystem::path& path);
    bool FileOpen() const { return file_.IsOpen(); }
    // Writes text, with CR LF when lineEnd; a failure or a file past its bound
    // fails the capture (false).
    bool Write(std::string_view text, bool lineEnd);
    bool Ended() const { return ended_; }
    void PlaySound(int event);

    // Each received item as it comes, before its bytes go into lines_.
    virtual void Received(core::IVerbindungFuerModul& /*connection*/, std::string_view /*item*/) {}
    // A line (or a piece of a long one) is ready in lines_; item is the
    // received item that completed it.
    virtual void Line(core::IVerbindungFuerModul& connection, std::string_view item) = 0;

    // Closes the file, reports the outcome and sends a capture that did not
    // end well to the trash; then the base.
    void Terminated(int endCode) override;

    TTextTransferContext context_;
    TCaptureLineBuffer lines_;

  private:
    platform::FileHandle file_;
    std::filesystem::path target_;
    std::int64_t written_ = 0;
    bool ended_ = false;
    std::string ok_, failed_;
};

}  // namespace tarvo::connection
