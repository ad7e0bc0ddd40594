// The simple binary transfer: one header line announces length, CRC-16, DOS
// date and name, the receiver answers "#OK#" or "#NO#", then the raw bytes
// follow until the announced length has arrived.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection/VerbindungAbstractU.h"
#include "core/GlobalU.h"

namespace tarvo::core {
class TConfig;
class TStream;
}  // namespace tarvo::core

namespace tarvo::connection {

class TFileStreamQam;

inline constexpr std::string_view kAutobinHeader = "#BIN#";
// The protocol number of send jobs and of a connection's BinMode.
inline constexpr std::int32_t kAutobinProtocol = 2;
// Lengths travel as decimal numbers that peers keep in 32 signed bits.
inline constexpr std::int64_t kAutobinMaxLength = 0x7FFFFFFF;
// No frame on the link is longer.
inline constexpr std::size_t kAutobinFrame = 256;
// Frames queued each time the link send queue runs empty.
inline constexpr int kAutobinFramesPerRound = 5;
// Answer text the sender keeps while looking for a line end.
inline constexpr std::size_t kAutobinMaxReply = 4096;

// What a header line says. A CRC of 0 is taken as "no check" (some senders
// always send 0); a date of 0 or one that is no valid DOS date as no date.
struct TAutobinHeader {
    std::int64_t length = -1;  // -1: missing, not decimal digits, or above kAutobinMaxLength
    std::optional<std::uint16_t> crc;
    std::optional<std::uint32_t> date;  // DOS packed: date high, time low
    std::string name;                   // as sent, path and all
};

// The line after "#BIN#" (with or without its final CR); nullopt when it does
// not begin with the marker.
std::optional<TAutobinHeader> ParseAutobinHeader(std::string_view line);
// "#BIN#<len>#|<crc>#$<DATE>#<name>" and a CR; the date as 8 upper-case hex digits.
std::string AutobinHeaderLine(std::int64_t length, std::uint16_t crc, std::uint32_t date,
                              std::string_view name);
// The name to store a received file under: the last component after "/", "\"
// or ":", made safe; without a usable name (none, only dots) "<call>.dat".
std::string AutobinStoreName(std::string_view sentName, std::string_view call);

// DOS packed date and time; 0 for dates outside 1980..2107.
std::uint32_t DosDateTime(const core::TDateTime& t);
// nullopt for 0 and for fields that make no date (month 13, 31 February, 24:00).
std::optional<core::TDateTime> FromDosDateTime(std::uint32_t packed);

// Sends "SP\-" lines while a file goes out: whole lines only, each in one
// frame, so the receiver never takes chat for file data.
class TAutobinChat {
  public:
    // Typed text in; the frames to send out ("SP\-", at most 251 bytes, CR).
    std::vector<std::string> Add(std::string_view text);
    // What waits for its line end; emptied.
    std::string TakeRest();

  private:
    std::string pending_;
};

// What the modules need besides their connection; null members stay silent.
struct TAutobinContext {
    core::IKlaenge* klaenge = nullptr;
    // Takes a completely received file (the record's stream is the file in
    // "Incomplete Files", its send name the name to store it under).
    std::function<void(const std::shared_ptr<core::IVerbindung>&, core::IDateiSenden&)> postProcess;
    // The most bytes a received file may take; asked at each header.
    std::function<std::int64_t()> maxReceiveBytes = [] { return std::int64_t{100} << 20; };
    // Some receivers never answer an empty file: the sender gives up then.
    std::chrono::milliseconds emptyFileAnswerTime{30000};
};

class TVerbindungAutobinSend : public TVerbindungAbstract {
  public:
    TVerbindungAutobinSend(TVerbindungAbstract* parent,
                           std::shared_ptr<core::IVerbindungFuerModul> connection,
                           TAutobinContext context = {});
    ~TVerbindungAutobinSend() override;

    bool Waiting() const { return waiting_; }

  protected:
    void Init() override;
    void OnReceive() override;
    void OnUserSend() override;
    void OnLinkSendQueueEmpty() override;
    void OnTimeout() override;
    void Terminated(int endCode) override;

  private:
    // The complete reply lines so far.
    void ReplyLines();
    void Line(std::string_view line);
    bool Ending() const;

    TAutobinContext context_;
    std::shared_ptr<core::IDateiSenden> job_;
    core::TStream* stream_ = nullptr;
    bool waiting_ = false;
    bool stopped_ = false;
    bool skipLine_ = false;  // inside a reply line too long to be an answer
    std::string reply_;
    TAutobinChat chat_;
    std::int64_t position_ = 0;
};

class TVerbindungAutobinReceive : public TVerbindungAbstract {
  public:
    TVerbindungAutobinReceive(TVerbindungAbstract* parent,
                              std::shared_ptr<core::IVerbindungFuerModul> connection,
                              TAutobinContext context = {});
    ~TVerbindungAutobinReceive() override;

    const TAutobinHeader& Header() const { return header_; }

  protected:
    void Init() override;
    void OnReceive() override;
    void OnUserSend() override;
    void Terminated(int endCode) override;

  private:
    // The refusal: its reason in the channel, "#NO#" to the sender.
    void Refuse(const std::string& reason);
    // Why the file cannot be taken; empty when it can.
    std::string CheckRoom() const;
    void WriteBuffered(std::string_view bytes);
    bool FlushBuffer();

    TAutobinContext context_;
    TAutobinHeader header_;
    bool error_ = false;
    bool refused_ = false;
    bool stopped_ = false;
    std::uint16_t crc_ = 0;
    std::int64_t remaining_ = 0;
    std::shared_ptr<core::IDateiSenden> record_;
    TFileStreamQam* file_ = nullptr;  // owned by the record
    std::string buffer_;              // written in large pieces
};

// Registers the send and receive modules with the terminal text module.
void RegisterAutobinModules(const TAutobinContext& context);
// The context of the running program: its sounds, received files moved to the
// receive folder, and the limit from the settings.
TAutobinContext AutobinProgramContext(core::IKlaenge* klaenge, const core::TConfig* config);
void UnregisterAutobinModules();

}  // namespace tarvo::connection
