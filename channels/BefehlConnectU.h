// What the connect dialog does with its fields: callsign forms, the histories
// and the connect itself, apart from the widgets that show them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/InterfacesU.h"

namespace tarvo::core {
class TConfig;
}

namespace tarvo::channels {

// Trimmed and upper-cased; a "-" suffix that is a number 0..15 is written
// without leading zeros, any other suffix is dropped ("nocall-05" → "NOCALL-5",
// "nocall-16" → "NOCALL", "x-" → "X").
std::string NormalizeMyCall(std::string_view text);

struct TStationText {
    std::string call;
    std::string digis;  // the path after the callsign, blank separated
    friend bool operator==(const TStationText&, const TStationText&) = default;
};
// The first word is the callsign, whose suffix is kept (without leading zeros)
// only when it is a number above 0; the rest, trimmed, is the path.
TStationText ParseStationText(std::string_view text);

// A connect history: newest first, at most 50 entries, each with the
// identifier of the radio channel it was last used with.
class TConnectHistory {
  public:
    static constexpr std::size_t kMaxEntries = 50;

    struct TEntry {
        std::string text;
        std::string kennung;
    };

    // Comma text of "entry#kennung" pairs; split at the last "#", so that an
    // entry may hold a "#" itself. A pair without "#" has no identifier.
    static TConnectHistory FromCommaText(std::string_view text);
    std::string ToCommaText() const;

    const std::vector<TEntry>& Entries() const { return entries_; }
    // Moves the text to the top (an equal entry, compared without case, goes).
    void Add(std::string_view text, std::string_view kennung);
    // The first entry that begins with prefix, compared without case.
    std::optional<std::size_t> Complete(std::string_view prefix) const;

  private:
    std::vector<TEntry> entries_;
};

// The own-callsign history: newest first, at most 50, without duplicates.
std::vector<std::string> AddToCallHistory(std::vector<std::string> history, std::string_view call);

// The registry key the dialog keeps its histories under, and its values.
inline constexpr std::string_view kVerlaufKey = "\\Verlauf";
inline constexpr std::string_view kVerlaufMyCall = "Eigenes Rufzeichen";
inline constexpr std::string_view kVerlaufStation = "Station";
inline constexpr std::string_view kVerlaufUi = "UI-Destination";

// The dialog's state for one active channel. On channel 0 it sets the UI
// destination instead of connecting.
class TBefehlConnect {
  public:
    using TRadioChannels = std::vector<std::shared_ptr<core::IFunkKanal>>;

    // Reads the histories; reserves the active channel while the model lives.
    TBefehlConnect(core::TConfig& config, std::shared_ptr<core::IKanal> aktiv,
                   TRadioChannels radioChannels, std::vector<std::string> ownCalls);
    ~TBefehlConnect();
    TBefehlConnect(const TBefehlConnect&) = delete;
    TBefehlConnect& operator=(const TBefehlConnect&) = delete;

    bool UiMode() const { return uiMode_; }
    // "Verbinden" or "UI-Ziel einstellen", "Station" or "UI-Ziel" (code page 1252).
    std::string Title() const;
    std::string StationLabel() const;

    const TConnectHistory& StationHistory() const { return stations_; }
    // The history, then the own callsigns not in it.
    std::vector<std::string> MyCallChoices() const;
    const TRadioChannels& RadioChannels() const { return radioChannels_; }
    // The names shown in the list.
    std::vector<std::string> RadioChannelNames() const;

    // Start values: the UI destination in UI mode, else the newest entries.
    std::string InitialStation() const;
    std::string InitialMyCall() const;
    // The radio channel index a history entry was last used with (the stored
    // UI port in UI mode at start); nullopt when none of them matches.
    std::optional<std::size_t> RadioChannelOfEntry(std::size_t entry) const;
    std::optional<std::size_t> InitialRadioChannel() const;

    bool OkEnabled(std::string_view station, std::string_view myCall) const;

    struct TResult {
        bool close = false;
        std::string message;    // shown with the title "Verbinden" when not empty
        int channel = -1;       // the channel that got the connection
        std::uint8_t code = 0;  // the connect result
    };
    // Texts as typed (UTF-8 reduced to code page 1252 by the caller).
    TResult Ok(std::string_view station, std::string_view myCall,
               std::optional<std::size_t> radioChannel);

    // Stores the histories and releases the channel; runs once.
    void Close();

  private:
    core::TConfig& config_;
    std::shared_ptr<core::IKanal> aktiv_;
    TRadioChannels radioChannels_;
    std::vector<std::string> ownCalls_;
    bool uiMode_ = false;
    bool closed_ = false;
    TConnectHistory stations_;
    std::vector<std::string> myCalls_;
};

}  // namespace tarvo::channels
