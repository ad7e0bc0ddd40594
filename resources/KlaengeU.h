// Sound events: which events sound, with what, for which station; a player
// thread plays them one after the other so that sounds never overlap.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/InterfacesU.h"
#include "platform/Sound.h"

namespace tarvo::platform {
class IRegistry;
}

namespace tarvo::resources {

inline constexpr int kSoundEventCount = 20;
inline constexpr int kSoundProgramStart = 18;
inline constexpr int kSoundProgramEnd = 19;

struct TSoundEventRec {
    const char* name;  // German (UTF-8); shown through core::Tr("TKlaenge", name)
    int number;
    std::uint8_t announcement;  // the page offers an announcement
    std::uint8_t generalOnly;   // no per-station setting
    std::uint8_t skippable;     // dropped while another sound plays
    std::uint8_t lowPriority;   // does not keep skippable events out
};
const std::array<TSoundEventRec, kSoundEventCount>& SoundEvents();

// Signal modes: 0 not set (inherit), 1 none, 2 tone sequence, 3 wave file.
enum TSignal : int { kSignalInherit = 0, kSignalNone = 1, kSignalTones = 2, kSignalWave = 3 };
// Announcement modes: 0 not set, 1 none, 2 voice, 3 telegraphy.
enum TAnnouncement : int { kAnnounceInherit = 0, kAnnounceNone = 1 };

struct TSoundSetting {
    int signal = 0;
    std::string waveFile;  // UTF-8 path
    int announcement = 0;
    bool operator==(const TSoundSetting&) const = default;
};

// The tone sequence of an event; empty for any other number.
std::vector<platform::Tone> ToneSequence(int event);

// The settings key of an event: "\Software\Morvane\Tarvo\Klaenge\00".
std::string GeneralSoundKey(int event);

// Sound schemes (".tvs"): one signal and wave file per event.
inline constexpr std::string_view kSchemeSection = "Tarvo Sound Scheme";
struct TSchemeEntry {
    int signal = kSignalNone;  // kSignalNone, kSignalTones or kSignalWave
    std::string waveFile;      // absolute, or empty
    bool operator==(const TSchemeEntry&) const = default;
};
using TSoundScheme = std::map<int, TSchemeEntry>;
// The events the text lists, file names made absolute against folder.
// Unknown sections, keys and events are ignored.
TSoundScheme ParseSoundScheme(std::string_view text, const std::filesystem::path& folder);
// The scheme as INI text, file names relative to folder where they lie below it.
std::string FormatSoundScheme(const TSoundScheme& scheme, const std::filesystem::path& folder);

struct TSoundItem {
    int event = -1;
    TSoundSetting setting;
};

class TKlaenge final : public core::IKlaenge {
  public:
    // Items waiting beyond this are dropped.
    static constexpr std::size_t kQueueLimit = 32;

    // Starts the player thread.
    // stationen is asked at each use: the database opens after the sounds.
    TKlaenge(platform::IRegistry& registry, core::TStationenQuelle stationen,
             std::unique_ptr<platform::ISoundOutput> output);
    TKlaenge(platform::IRegistry& registry, std::shared_ptr<core::IStationenDatenbank> stationen,
             std::unique_ptr<platform::ISoundOutput> output)
        : TKlaenge(
              registry, [stationen] { return stationen; }, std::move(output)) {}
    // Lets what is queued finish for a short while, then stops the player.
    ~TKlaenge() override;
    TKlaenge(const TKlaenge&) = delete;
    TKlaenge& operator=(const TKlaenge&) = delete;

    // What the event plays for the connection: the station's own setting
    // (exact callsign, then without SSID), the general one where it has none.
    TSoundItem Resolve(int event, const core::IVerbindung* verbindung);
    // True when the event was queued.
    bool Play(int event, const std::shared_ptr<core::IVerbindung>& verbindung) override;
    // Plays a file at once, without waiting (the page's play button).
    void PlayFile(const std::string& waveFile);

    // The general setting (cached after the first read).
    TSoundSetting LoadGeneral(int event);
    void SaveGeneral(int event, const TSoundSetting& setting);
    // The station's setting (exact key); zeros when it has none or is not known.
    TSoundSetting LoadStation(std::string_view key, int event) const;

    // 0 idle, 1 playing a low-priority event, 2 playing another.
    int PlayerState() const;
    // Until the player has nothing queued and plays nothing; false when the
    // time ran out first.
    bool WaitIdle(std::chrono::milliseconds timeout);

  private:
    TSoundSetting LoadGeneralLocked(int event);
    void FillFromGeneralLocked(TSoundItem& item);
    bool Enqueue(TSoundItem item, bool skippable, bool lowPriority);
    void PlayerBody();
    void PlayItem(const TSoundItem& item);

    platform::IRegistry& registry_;
    core::TStationenQuelle stationen_;
    std::unique_ptr<platform::ISoundOutput> output_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::array<bool, kSoundEventCount> cached_{};
    std::array<TSoundSetting, kSoundEventCount> general_{};
    std::deque<TSoundItem> queue_;
    int state_ = 0;
    bool stopping_ = false;
    bool noDeviceSaid_ = false;
    std::atomic<bool> stop_{false};
    std::thread player_;
};

}  // namespace tarvo::resources
