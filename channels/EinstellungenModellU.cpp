#include "channels/EinstellungenModellU.h"

#include <algorithm>

#include "channels/KanaeleU.h"
#include "core/ConfigU.h"
#include "resources/TexteU.h"

namespace tarvo::channels {

namespace {

using C = core::TConfig;

constexpr std::array<TMonitorBoxInfo, kMonitorBoxCount> kMonitorBoxes = {{
    {"Status (SABM, UA, DM, RR, REJ...)", 0x02},
    {"Information (I)", 0x04},
    {"Inhalt", 0x08},
    {"Bin\xE4rdaten", C::kMonitorNoBinaryDetection},
    {"Unnumbered Information (UI)", 0x10},
    {"Lokale Meldungen", 0x40},
    {"Kanalnummer anzeigen", C::kMonitorPrefixDevicePort},
}};

bool Has(std::int32_t flags, int box) {
    return (flags & kMonitorBoxes[static_cast<std::size_t>(box)].bit) != 0;
}

TMonitorFrame SampleFrame(std::uint8_t typ, std::string von, std::string an) {
    TMonitorFrame f;
    f.Geraet = 0;
    f.Port = 1;
    f.Von = std::move(von);
    f.An = std::move(an);
    f.PID = 0xF0;
    f.Typ = typ;
    return f;
}

// Header, then the information when there is one, as the monitor writes them.
void AddFrame(std::vector<TMonitorSampleLine>& out, const TMonitorFrame& f, std::int32_t flags) {
    TMonitorLines lines = FormatMonitorFrame(f, flags);
    out.push_back({TMonitorSampleLine::Header, std::move(lines.header)});
    if (!lines.information.empty())
        out.push_back({TMonitorSampleLine::Information, std::move(lines.information)});
}

}  // namespace

const std::array<TMonitorBoxInfo, kMonitorBoxCount>& MonitorBoxes() {
    return kMonitorBoxes;
}

std::int32_t MonitorPageBits() {
    std::int32_t bits = 0;
    for (const auto& b : kMonitorBoxes) bits |= b.bit;
    return bits;
}

TMonitorChecks MonitorChecksFromFlags(std::int32_t flags) {
    TMonitorChecks checks{};
    for (int i = 0; i < kMonitorBoxCount; ++i) checks[static_cast<std::size_t>(i)] = Has(flags, i);
    return checks;
}

std::int32_t MonitorFlagsFromChecks(const TMonitorChecks& checks) {
    std::int32_t flags = 0;
    for (std::size_t i = 0; i < checks.size(); ++i)
        if (checks[i]) flags |= kMonitorBoxes[i].bit;
    return flags;
}

bool MonitorBoxEnabled(const TMonitorChecks& checks, int box) {
    switch (box) {
        case kBoxInhalt:
            return checks[kBoxInformation];
        case kBoxBinaerdaten:
            return checks[kBoxInformation] && checks[kBoxInhalt];
        default:
            return box >= 0 && box < kMonitorBoxCount;
    }
}

std::vector<TMonitorSampleLine> MonitorSampleLines(std::int32_t flags) {
    std::vector<TMonitorSampleLine> out;
    if (Has(flags, kBoxLokaleMeldungen)) {
        out.push_back({TMonitorSampleLine::Device, "[TNC Hostmode /dev/ttyUSB0: Init]"});
        out.push_back({TMonitorSampleLine::Device, "  M: ok"});
    }
    if (Has(flags, kBoxStatus)) {
        TMonitorFrame sabm = SampleFrame(kFrameSABM, "DL1ABC", "DB0TST");
        sabm.Hoch = sabm.Vorzeichenform = true;
        AddFrame(out, sabm, flags);
        TMonitorFrame ua = SampleFrame(kFrameUA, "DB0TST", "DL1ABC");
        ua.Vorzeichenform = true;
        AddFrame(out, ua, flags);
    }
    if (Has(flags, kBoxInformation)) {
        // Without "Inhalt" the device hands I frames over without their information.
        const bool inhalt = Has(flags, kBoxInhalt);
        TMonitorFrame text = SampleFrame(kFrameI, "DB0TST", "DL1ABC");
        text.Hoch = true;
        if (inhalt) text.Daten = "Willkommen auf DB0TST.";
        AddFrame(out, text, flags);
        TMonitorFrame bin = SampleFrame(kFrameI, "DB0TST", "DL1ABC");
        bin.NS = 1;
        bin.Hoch = true;
        if (inhalt) bin.Daten.assign("GIF89a\x10\x00\x10\x00\x80\x00\x00\xFF\xFF\xFF", 16);
        AddFrame(out, bin, flags);
    }
    if (Has(flags, kBoxUI)) {
        TMonitorFrame ui = SampleFrame(kFrameUI, "DL1ABC", "ID");
        ui.Via = "WIDE2";
        ui.Daten = "DL1ABC in JO62";
        AddFrame(out, ui, flags);
    }
    return out;
}

int IncomingConnectsIndex(int stored) {
    switch (stored) {
        case C::kIncomingIgnore:
            return 1;
        case C::kIncomingReject:
            return 2;
        default:
            return 0;
    }
}

int IncomingConnectsValue(int index) {
    switch (index) {
        case 1:
            return C::kIncomingIgnore;
        case 2:
            return C::kIncomingReject;
        default:
            return C::kIncomingAccept;
    }
}

int ClampChannelCount(int count) {
    return std::clamp(count, C::kMinChannels, C::kMaxChannels);
}

std::vector<TFontSizeEntry> FontSizeEntries(const std::vector<std::string>& families) {
    constexpr std::string_view kPrefix = "tarvo";
    std::vector<TFontSizeEntry> out;
    for (const std::string& family : families) {
        if (family.size() < kPrefix.size()) continue;
        const bool match = std::equal(
            kPrefix.begin(), kPrefix.end(), family.begin(),
            [](char p, char c) { return p == (c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c); });
        // The size starts at the seventh character; "Tarvo" or "Tarvo " alone has none.
        if (!match || family.size() <= kPrefix.size() + 1) continue;
        out.push_back({family, family.substr(kPrefix.size() + 1)});
    }
    return out;
}

int FontSizeSelection(const std::vector<TFontSizeEntry>& entries, std::string_view stored) {
    if (entries.empty()) return -1;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].size == stored) return static_cast<int>(i);
    return std::min(2, static_cast<int>(entries.size()) - 1);
}

const std::vector<TColourTab>& ColourTabs() {
    static const std::vector<TColourTab> tabs = {
        {"Ausgabe",
         {{"Empfangener Text", C::kColorChannelReceived},
          {"Gesendeter Text", C::kColorChannelOwn},
          {"Verbindungsstatus", C::kColorChannelNotice},
          {"Lokale Meldungen", C::kColorChannelCode8},
          {"Hintergrund", C::kColorChannelBackground}}},
        {"Eingabe",
         {{"Neuer Text", C::kColorInputUnsent},
          {"Gesendeter Text", C::kColorInputSent},
          {"Hintergrund", C::kColorInputBackground}}},
        {"Monitor",
         {{"Kopfzeile (empfangen)", C::kColorMonitorHeader},
          {"Kopfzeile (gesendet)", C::kColorMonitorHeaderHighlight},
          {"Daten", C::kColorMonitorInfo},
          {"Lokale Meldungen", C::kColorMonitorDevice},
          {"Hintergrund", C::kColorMonitorBackground}}},
    };
    return tabs;
}

std::string TextForMemo(std::string_view stored) {
    std::string out;
    for (char c : stored) {
        if (c == '\n') continue;
        out += c;
        if (c == '\r') out += '\n';
    }
    return out;
}

std::string TextFromMemo(std::string_view memo) {
    std::string out;
    for (std::size_t i = 0; i < memo.size(); ++i) {
        const char c = memo[i];
        if (c == '\r' && i + 1 < memo.size() && memo[i + 1] == '\n') continue;
        out += c == '\n' ? '\r' : c;
    }
    return out;
}

std::string TTextePage::Show(int kind) {
    auto it = shown_.find(kind);
    if (it == shown_.end()) it = shown_.emplace(kind, texte_.ReadGeneral(kind)).first;
    return TextForMemo(it->second);
}

void TTextePage::Edit(int kind, std::string_view memo) {
    shown_[kind] = TextFromMemo(memo);
}

void TTextePage::Apply() {
    for (const auto& [kind, text] : shown_) texte_.WriteGeneral(kind, text);
}

resources::TSoundSetting TKlaengePage::Current(int event) const {
    if (auto it = shown_.find(event); it != shown_.end()) return it->second;
    resources::TSoundSetting s = klaenge_.LoadGeneral(event);
    s.signal = std::max(s.signal, static_cast<int>(resources::kSignalNone));
    s.announcement = std::max(s.announcement, static_cast<int>(resources::kAnnounceNone));
    return s;
}

resources::TSoundSetting TKlaengePage::Show(int event) {
    resources::TSoundSetting s = Current(event);
    shown_[event] = s;
    return s;
}

void TKlaengePage::Edit(int event, const resources::TSoundSetting& setting) {
    shown_[event] = setting;
}

void TKlaengePage::Apply() {
    for (const auto& [event, s] : shown_) klaenge_.SaveGeneral(event, s);
}

void TKlaengePage::LoadScheme(std::string_view text, const std::filesystem::path& folder) {
    for (const auto& [event, entry] : resources::ParseSoundScheme(text, folder)) {
        resources::TSoundSetting s = Show(event);
        s.signal = entry.signal;
        s.waveFile = entry.waveFile;
        shown_[event] = std::move(s);
    }
}

std::string TKlaengePage::SchemeText(const std::filesystem::path& folder) {
    resources::TSoundScheme scheme;
    for (int e = 0; e < resources::kSoundEventCount; ++e) {
        const resources::TSoundSetting s = Current(e);
        scheme[e] = {s.signal, s.signal == resources::kSignalWave ? s.waveFile : std::string()};
    }
    return resources::FormatSoundScheme(scheme, folder);
}

}  // namespace tarvo::channels
