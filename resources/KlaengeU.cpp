#include "resources/KlaengeU.h"

#include <algorithm>
#include <cstdio>

#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "platform/Registry.h"
#include "platform/Thread.h"

namespace tarvo::resources {

namespace {

constexpr std::string_view kClass = "TKlaenge";
constexpr std::string_view kUnit = "KlaengeU";
constexpr auto kHive = platform::Hive::CurrentUser;

constexpr std::array<TSoundEventRec, kSoundEventCount> kEvents = {{
    {TARVO_TR_NOOP("TKlaenge", "Verbindung: Aufbau"), 0, 1, 0, 0, 1},
    {TARVO_TR_NOOP("TKlaenge", "Verbindung: Hergestellt (ausgehend)"), 1, 1, 0, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "Verbindung: Hergestellt (ankommend)"), 2, 1, 0, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "Verbindung: Abbau"), 3, 1, 0, 0, 1},
    {TARVO_TR_NOOP("TKlaenge", "Verbindung: Getrennt"), 4, 1, 0, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "Verbindung: Fehler"), 5, 1, 0, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "Fernsteuerung: //RING"), 6, 1, 0, 1, 0},
    {TARVO_TR_NOOP("TKlaenge", "Zeile empfangen (aktiver Kanal)"), 7, 0, 0, 1, 1},
    {TARVO_TR_NOOP("TKlaenge", "Zeile empfangen (inaktiver Kanal)"), 8, 0, 0, 1, 1},
    {TARVO_TR_NOOP("TKlaenge", "Zeile senden"), 9, 0, 0, 1, 1},
    {TARVO_TR_NOOP("TKlaenge", "Dateiübertragung: Start"), 10, 0, 0, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "Dateiübertragung: Erfolg"), 11, 0, 0, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "Dateiübertragung: Abbruch"), 12, 0, 0, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "Dateiübertragung: Fehler"), 13, 0, 0, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "PGP: Signatur gültig"), 14, 0, 1, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "PGP: Unterzeichner/Echtheit unbekannt"), 15, 0, 1, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "PGP: Nachricht verändert"), 16, 0, 1, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "Kanalwechsel"), 17, 0, 1, 1, 1},
    {TARVO_TR_NOOP("TKlaenge", "Programmstart"), 18, 0, 1, 0, 0},
    {TARVO_TR_NOOP("TKlaenge", "Programmende"), 19, 0, 1, 0, 0},
}};

bool ValidEvent(int event) {
    return event >= 0 && event < kSoundEventCount;
}

int ModeOrZero(std::optional<std::uint32_t> v) {
    return v && *v <= 3 ? static_cast<int>(*v) : 0;
}

int ModeOrZero(int v) {
    return v >= 0 && v <= 3 ? v : 0;
}

// "07" or "7": the event, else -1.
int EventOfKey(std::string_view key) {
    if (key.empty() || key.size() > 2) return -1;
    int n = 0;
    for (char c : key) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return ValidEvent(n) ? n : -1;
}

std::string Absolute(const std::filesystem::path& folder, std::string_view name) {
    if (name.empty()) return {};
    return (folder / std::filesystem::path(std::string(name))).lexically_normal().string();
}

std::string RelativeTo(const std::filesystem::path& folder, const std::string& file) {
    if (file.empty() || folder.empty()) return file;
    const std::filesystem::path rel = std::filesystem::path(file).lexically_relative(folder);
    if (rel.empty() || *rel.begin() == "..") return file;
    return rel.string();
}

std::atomic<int> gInstances{0};

}  // namespace

const std::array<TSoundEventRec, kSoundEventCount>& SoundEvents() {
    return kEvents;
}

std::vector<platform::Tone> ToneSequence(int event) {
    using T = platform::Tone;
    auto times = [](int n, std::vector<T> part) {
        std::vector<T> out;
        for (int i = 0; i < n; ++i) out.insert(out.end(), part.begin(), part.end());
        return out;
    };
    switch (event) {
        case 0:
            return {{698, 20}, {0, 20}};
        case 1:
            return {{698, 80}, {523, 80}, {0, 160}};
        case 2:
            return {{523, 80}, {698, 80}, {0, 160}};
        case 3:
            return {{196, 20}, {0, 20}};
        case 4:
            return {{196, 160}, {0, 80}};
        case 5:
            return {{131, 160}, {0, 80}};
        case 6:
            return times(8, {{523, 20}, {659, 20}, {784, 20}});
        case 7:
            return {{1175, 20}, {0, 140}};
        case 8:
            return {{1047, 20}, {0, 140}};
        case 9:
            return {{748, 20}, {0, 140}};
        case 10:
            return {{523, 80}, {494, 80}, {523, 80}, {0, 80}};
        case 11:
            return {{494, 80}, {523, 80}, {494, 80}, {0, 80}};
        case 12:
            return {{262, 80}, {0, 80}};
        case 13:
            return {{196, 80}, {0, 80}};
        case 14:
            return {{196, 80}, {196, 784}};
        case 15:
            return times(2, {{262, 40}, {0, 40}});
        case 16:
            return times(4, {{262, 40}, {0, 40}});
        case 17:
            return {{200, 20}, {0, 20}};
        case 18:
            return {{0, 640}, {262, 160}, {330, 160}, {392, 160}, {523, 320}, {0, 160}};
        case 19:
            return {{523, 80}, {262, 160}};
        default:
            return {};
    }
}

std::string GeneralSoundKey(int event) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "%02d", event);
    return std::string(core::TConfig::kRootKey) + "\\Klaenge\\" + suffix;
}

TSoundScheme ParseSoundScheme(std::string_view text, const std::filesystem::path& folder) {
    TSoundScheme scheme;
    bool inSection = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = core::TrimControls(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            inSection =
                close != std::string_view::npos &&
                core::EqualNoCase(core::TrimControls(line.substr(1, close - 1)), kSchemeSection);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos) continue;
        const int event = EventOfKey(core::TrimControls(line.substr(0, eq)));
        if (event < 0) continue;
        const std::string_view value = core::TrimControls(line.substr(eq + 1));
        TSchemeEntry entry;
        if (value.size() >= 2 && value[0] >= '0' && value[0] <= '9' && value[1] == ',') {
            const std::vector<std::string> items = core::FromCommaText(value);
            const std::string code = items.empty() ? std::string() : items[0];
            entry.signal = code == "1" ? kSignalWave : code == "2" ? kSignalTones : kSignalNone;
            if (items.size() > 1) entry.waveFile = Absolute(folder, items[1]);
        } else if (!value.empty()) {
            entry.signal = kSignalWave;
            entry.waveFile = Absolute(folder, value);
        }
        scheme[event] = std::move(entry);
    }
    return scheme;
}

std::string FormatSoundScheme(const TSoundScheme& scheme, const std::filesystem::path& folder) {
    std::string out = "[" + std::string(kSchemeSection) + "]\r\n";
    for (const auto& [event, entry] : scheme) {
        if (!ValidEvent(event)) continue;
        const char* code = entry.signal == kSignalWave    ? "1"
                           : entry.signal == kSignalTones ? "2"
                                                          : "0";
        char key[8];
        std::snprintf(key, sizeof key, "%02d", event);
        out += key;
        out += '=';
        out += core::ToCommaText({code, RelativeTo(folder, entry.waveFile)});
        out += "\r\n";
    }
    return out;
}

TKlaenge::TKlaenge(platform::IRegistry& registry, core::TStationenQuelle stationen,
                   std::unique_ptr<platform::ISoundOutput> output)
    : registry_(registry), stationen_(std::move(stationen)), output_(std::move(output)) {
    TARVO_ASSERT(output_, kUnit);
    TARVO_ASSERT(gInstances.fetch_add(1) == 0, kUnit);
    player_ = std::thread([this] { PlayerBody(); });
}

TKlaenge::~TKlaenge() {
    // The exit sound is short; a long wave file is cut.
    WaitIdle(std::chrono::milliseconds(1500));
    core::DebOutObj(kClass, "Destroy", "PlaySeqThread.Terminate");
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    stop_.store(true);
    output_->Abort();
    wake_.notify_all();
    if (player_.joinable()) player_.join();
    core::DebOutObj(kClass, "Destroy", "PlaySeqThread normal beendet.");
    gInstances.fetch_sub(1);
}

TSoundSetting TKlaenge::LoadGeneralLocked(int event) {
    const auto i = static_cast<std::size_t>(event);
    if (!cached_[i]) {
        const std::string key = GeneralSoundKey(event);
        TSoundSetting s;
        s.signal = ModeOrZero(registry_.ReadDWord(kHive, key, "Signal"));
        s.waveFile = registry_.ReadUtf8(kHive, key, "SignalWavFile").value_or(std::string());
        s.announcement = ModeOrZero(registry_.ReadDWord(kHive, key, "Announcement"));
        general_[i] = std::move(s);
        cached_[i] = true;
    }
    return general_[i];
}

TSoundSetting TKlaenge::LoadGeneral(int event) {
    if (!ValidEvent(event)) return {};
    std::lock_guard lock(mutex_);
    return LoadGeneralLocked(event);
}

void TKlaenge::SaveGeneral(int event, const TSoundSetting& setting) {
    if (!ValidEvent(event)) return;
    core::DebOutObj(kClass, "SaveSetting", "*");
    TSoundSetting s{ModeOrZero(setting.signal), setting.waveFile, ModeOrZero(setting.announcement)};
    std::lock_guard lock(mutex_);
    const std::string key = GeneralSoundKey(event);
    registry_.WriteDWord(kHive, key, "Signal", static_cast<std::uint32_t>(s.signal));
    registry_.WriteUtf8(kHive, key, "SignalWavFile", s.waveFile);
    registry_.WriteDWord(kHive, key, "Announcement", static_cast<std::uint32_t>(s.announcement));
    general_[static_cast<std::size_t>(event)] = std::move(s);
    cached_[static_cast<std::size_t>(event)] = true;
}

TSoundSetting TKlaenge::LoadStation(std::string_view key, int event) const {
    core::DebOutObj(kClass, "Load", key.empty() ? std::string_view("*") : key);
    TSoundSetting s;
    const auto db = stationen_ ? stationen_() : nullptr;
    if (!db || key.empty() || !ValidEvent(event)) return s;
    const auto entry = db->FindEntry(key, false);
    if (!entry) return s;
    entry->GetSound(event, s.signal, s.waveFile, s.announcement);
    s.signal = ModeOrZero(s.signal);
    s.announcement = ModeOrZero(s.announcement);
    return s;
}

TSoundItem TKlaenge::Resolve(int event, const core::IVerbindung* v) {
    TSoundItem item;
    if (!ValidEvent(event)) return item;
    item.event = event;
    const auto db = v && stationen_ ? stationen_() : nullptr;
    if (!kEvents[static_cast<std::size_t>(event)].generalOnly && db) {
        const std::string call = v->Call();
        // The callsign with its SSID first, then without.
        if (const auto entry = call.empty() ? nullptr : db->FindEntry(call, true)) {
            TSoundSetting& s = item.setting;
            entry->GetSound(event, s.signal, s.waveFile, s.announcement);
            s.signal = ModeOrZero(s.signal);
            s.announcement = ModeOrZero(s.announcement);
            if (s.signal == kSignalInherit) s.waveFile.clear();
        }
    }
    std::lock_guard lock(mutex_);
    FillFromGeneralLocked(item);
    return item;
}

void TKlaenge::FillFromGeneralLocked(TSoundItem& item) {
    TSoundSetting& s = item.setting;
    if (item.event < 0 || (s.signal != kSignalInherit && s.announcement != kAnnounceInherit))
        return;
    const TSoundSetting general = LoadGeneralLocked(item.event);
    if (s.signal == kSignalInherit) {
        s.signal = general.signal;
        s.waveFile = general.waveFile;
    }
    if (s.announcement == kAnnounceInherit) s.announcement = general.announcement;
}

bool TKlaenge::Play(int event, const std::shared_ptr<core::IVerbindung>& v) {
    if (!ValidEvent(event)) return false;
    const TSoundEventRec& rec = kEvents[static_cast<std::size_t>(event)];
    return Enqueue(Resolve(event, v.get()), rec.skippable != 0, rec.lowPriority != 0);
}

bool TKlaenge::Enqueue(TSoundItem item, bool skippable, bool lowPriority) {
    std::lock_guard lock(mutex_);
    const TSoundSetting& s = item.setting;
    // The announcement counts as a reason to queue, though nothing speaks it.
    if (s.signal <= kSignalNone && s.announcement <= kAnnounceNone) return false;
    if (skippable && !(state_ == 0 || (state_ == 1 && !lowPriority))) return false;
    if (stopping_ || queue_.size() >= kQueueLimit) return false;
    queue_.push_back(std::move(item));
    wake_.notify_one();
    return true;
}

void TKlaenge::PlayFile(const std::string& waveFile) {
    TSoundItem item;
    item.setting.signal = kSignalWave;
    item.setting.waveFile = waveFile;
    Enqueue(std::move(item), false, false);
}

int TKlaenge::PlayerState() const {
    std::lock_guard lock(mutex_);
    return state_;
}

bool TKlaenge::WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, timeout, [this] { return queue_.empty() && state_ == 0; });
}

void TKlaenge::PlayerBody() {
    platform::SetCurrentThreadName("TPlaySeqThread");
    try {
        for (;;) {
            TSoundItem item;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_) break;
                item = std::move(queue_.front());
                queue_.pop_front();
                const bool low =
                    item.event >= 0 && kEvents[static_cast<std::size_t>(item.event)].lowPriority;
                state_ = low ? 1 : 2;
            }
            PlayItem(item);
            {
                std::lock_guard lock(mutex_);
                state_ = 0;
            }
            idle_.notify_all();
        }
    } catch (...) {
        core::ShowUnhandledException(std::current_exception(), "TPlaySeqThread", "Execute");
        std::lock_guard lock(mutex_);
        state_ = 0;
    }
    idle_.notify_all();
}

void TKlaenge::PlayItem(const TSoundItem& item) {
    platform::Pcm pcm;
    if (item.setting.signal == kSignalWave) {
        if (item.setting.waveFile.empty()) return;
        std::string error;
        auto decoded = platform::DecodeWaveFile(item.setting.waveFile, error);
        if (!decoded) {
            core::DebOutObjFmt(kClass, "Execute", "%s: %s", item.setting.waveFile.c_str(),
                               error.c_str());
            return;
        }
        pcm = std::move(*decoded);
    } else if (item.setting.signal == kSignalTones) {
        pcm = platform::SynthesiseTones(ToneSequence(item.event));
    } else {
        return;
    }
    if (!platform::PlayPcm(*output_, pcm, stop_) && !stop_.load()) {
        std::lock_guard lock(mutex_);
        if (noDeviceSaid_) return;
        noDeviceSaid_ = true;
        core::DebOutObj(kClass, "Execute", "no sound device: sounds stay silent");
    }
}

}  // namespace tarvo::resources
