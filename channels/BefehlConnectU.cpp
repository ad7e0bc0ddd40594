#include "channels/BefehlConnectU.h"

#include <algorithm>

#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "devices/GeraetU.h"

namespace tarvo::channels {

namespace {

bool AllDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The digits without leading zeros, as text: no integer to overflow.
std::string_view WithoutLeadingZeros(std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view("0") : digits.substr(first);
}

std::string TrimUpper(std::string_view text) {
    return core::AsciiUpper(core::TrimControls(text));
}

std::string JoinPath(const TStationText& s) {
    return s.digis.empty() ? s.call : s.call + " " + s.digis;
}

}  // namespace

std::string NormalizeMyCall(std::string_view text) {
    std::string call = TrimUpper(text);
    const std::size_t dash = call.find('-');
    if (dash == std::string::npos) return call;
    const std::string_view suffix = std::string_view(call).substr(dash + 1);
    std::string base = call.substr(0, dash);
    if (!AllDigits(suffix)) return base;
    const std::string_view digits = WithoutLeadingZeros(suffix);
    if (digits.size() > 2 || (digits.size() == 2 && digits > "15")) return base;
    return base + "-" + std::string(digits);
}

TStationText ParseStationText(std::string_view text) {
    const std::string all = TrimUpper(text);
    TStationText out;
    const std::size_t blank = all.find(' ');
    std::string call = all.substr(0, blank);
    if (blank != std::string::npos)
        out.digis = std::string(core::TrimControls(std::string_view(all).substr(blank + 1)));
    const std::size_t dash = call.find('-');
    if (dash != std::string::npos) {
        const std::string_view suffix = std::string_view(call).substr(dash + 1);
        const std::string_view digits = AllDigits(suffix) ? WithoutLeadingZeros(suffix) : "0";
        call =
            digits == "0" ? call.substr(0, dash) : call.substr(0, dash) + "-" + std::string(digits);
    }
    out.call = std::move(call);
    return out;
}

TConnectHistory TConnectHistory::FromCommaText(std::string_view text) {
    TConnectHistory h;
    for (const std::string& item : core::FromCommaText(text)) {
        if (h.entries_.size() >= kMaxEntries) break;
        const std::size_t hash = item.rfind('#');
        TEntry e;
        if (hash == std::string::npos) {
            e.text = item;
        } else {
            e.text = item.substr(0, hash);
            e.kennung = item.substr(hash + 1);
        }
        if (!e.text.empty()) h.entries_.push_back(std::move(e));
    }
    return h;
}

std::string TConnectHistory::ToCommaText() const {
    std::vector<std::string> items;
    items.reserve(entries_.size());
    for (const TEntry& e : entries_) items.push_back(e.text + "#" + e.kennung);
    return core::ToCommaText(items);
}

void TConnectHistory::Add(std::string_view text, std::string_view kennung) {
    std::erase_if(entries_, [&](const TEntry& e) { return core::EqualNoCase(e.text, text); });
    entries_.insert(entries_.begin(), TEntry{std::string(text), std::string(kennung)});
    if (entries_.size() > kMaxEntries) entries_.resize(kMaxEntries);
}

std::optional<std::size_t> TConnectHistory::Complete(std::string_view prefix) const {
    if (prefix.empty()) return std::nullopt;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::string& t = entries_[i].text;
        if (t.size() >= prefix.size() &&
            core::EqualNoCase(std::string_view(t).substr(0, prefix.size()), prefix))
            return i;
    }
    return std::nullopt;
}

std::vector<std::string> AddToCallHistory(std::vector<std::string> history, std::string_view call) {
    std::erase_if(history, [&](const std::string& c) { return core::EqualNoCase(c, call); });
    history.insert(history.begin(), std::string(call));
    if (history.size() > TConnectHistory::kMaxEntries) history.resize(TConnectHistory::kMaxEntries);
    return history;
}

TBefehlConnect::TBefehlConnect(core::TConfig& config, std::shared_ptr<core::IKanal> aktiv,
                               TRadioChannels radioChannels, std::vector<std::string> ownCalls)
    : config_(config),
      aktiv_(std::move(aktiv)),
      radioChannels_(std::move(radioChannels)),
      ownCalls_(std::move(ownCalls)) {
    uiMode_ = aktiv_ && aktiv_->GetNummer() == 0;
    stations_ = TConnectHistory::FromCommaText(config_.ReadString(
        platform::Hive::CurrentUser, kVerlaufKey, uiMode_ ? kVerlaufUi : kVerlaufStation));
    for (std::string& c : core::FromCommaText(
             config_.ReadString(platform::Hive::CurrentUser, kVerlaufKey, kVerlaufMyCall))) {
        if (myCalls_.size() >= TConnectHistory::kMaxEntries) break;
        if (!c.empty()) myCalls_.push_back(std::move(c));
    }
    if (aktiv_ && !uiMode_) aktiv_->SetReserved(true);
}

TBefehlConnect::~TBefehlConnect() {
    Close();
}

std::string TBefehlConnect::Title() const {
    return uiMode_ ? core::Tr("TDlgBefehlConnect", "UI-Ziel einstellen")
                   : core::Tr("TDlgBefehlConnect", "Verbinden");
}

std::string TBefehlConnect::StationLabel() const {
    return uiMode_ ? core::Tr("TDlgBefehlConnect", "UI-Ziel")
                   : core::Tr("TDlgBefehlConnect", "Station");
}

std::vector<std::string> TBefehlConnect::MyCallChoices() const {
    std::vector<std::string> out = myCalls_;
    for (const std::string& c : ownCalls_) {
        const bool known = std::any_of(
            out.begin(), out.end(), [&](const std::string& o) { return core::EqualNoCase(o, c); });
        if (!known) out.push_back(c);
    }
    return out;
}

std::vector<std::string> TBefehlConnect::RadioChannelNames() const {
    std::vector<std::string> out;
    out.reserve(radioChannels_.size());
    for (const auto& rc : radioChannels_) out.push_back(rc ? rc->GetName() : std::string());
    return out;
}

std::string TBefehlConnect::InitialStation() const {
    if (uiMode_) return config_.UiDestination();
    return stations_.Entries().empty() ? std::string() : stations_.Entries().front().text;
}

std::string TBefehlConnect::InitialMyCall() const {
    if (uiMode_) {
        std::string stored = config_.UiMyCall();
        if (!stored.empty()) return stored;
    }
    const std::vector<std::string> choices = MyCallChoices();
    return choices.empty() ? std::string() : choices.front();
}

std::optional<std::size_t> TBefehlConnect::RadioChannelOfEntry(std::size_t entry) const {
    if (entry >= stations_.Entries().size()) return std::nullopt;
    const std::string& kennung = stations_.Entries()[entry].kennung;
    for (std::size_t i = 0; i < radioChannels_.size(); ++i) {
        if (radioChannels_[i] && !kennung.empty() && radioChannels_[i]->GetKennung() == kennung)
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> TBefehlConnect::InitialRadioChannel() const {
    if (radioChannels_.empty()) return std::nullopt;
    if (uiMode_) {
        const std::string port = config_.UiPort();
        for (std::size_t i = 0; i < radioChannels_.size(); ++i) {
            if (radioChannels_[i] && !port.empty() && radioChannels_[i]->GetKennung() == port)
                return i;
        }
    } else if (auto i = RadioChannelOfEntry(0)) {
        return i;
    }
    return 0;
}

bool TBefehlConnect::OkEnabled(std::string_view station, std::string_view myCall) const {
    return !radioChannels_.empty() && !core::TrimControls(station).empty() &&
           !core::TrimControls(myCall).empty();
}

TBefehlConnect::TResult TBefehlConnect::Ok(std::string_view station, std::string_view myCall,
                                           std::optional<std::size_t> radioChannel) {
    const std::string ownCall = NormalizeMyCall(myCall);
    std::string mycall = ownCall;  // the device may change its copy
    const TStationText st = ParseStationText(station);
    core::DebOutObj("TDlgBefehlConnect", "BtnOkClick",
                    "MyCall='" + mycall + "' Call='" + st.call + "' Digis='" + st.digis + "'");
    TResult r;
    if (!radioChannel || *radioChannel >= radioChannels_.size() || !radioChannels_[*radioChannel]) {
        r.message = core::Tr("TDlgBefehlConnect", "Kein Kanal ausgewählt.");
        return r;
    }
    core::IFunkKanal& funk = *radioChannels_[*radioChannel];
    const std::string kennung = funk.GetKennung();
    std::string ziel = JoinPath(st);
    if (uiMode_) {
        config_.SetUiDestination(ziel);
        config_.SetUiMyCall(mycall);
        config_.SetUiPort(kennung);
        if (aktiv_) aktiv_->RefreshStatusBar();
        r.close = true;
    } else {
        std::shared_ptr<core::IVerbindung> verbindung;
        std::shared_ptr<core::IKanal> kanal = aktiv_;
        r.code = funk.Verbinde(ziel, mycall, verbindung, kanal);
        if (r.code != devices::kConnectOk) {
            r.message = devices::ConnectResultText(r.code);
            return r;
        }
        r.channel = kanal ? kanal->GetNummer() : -1;
        r.close = true;
    }
    myCalls_ = AddToCallHistory(std::move(myCalls_), ownCall);
    stations_.Add(JoinPath(st), kennung);
    return r;
}

void TBefehlConnect::Close() {
    if (closed_) return;
    closed_ = true;
    config_.WriteString(platform::Hive::CurrentUser, kVerlaufKey, kVerlaufMyCall,
                        core::ToCommaText(myCalls_));
    config_.WriteString(platform::Hive::CurrentUser, kVerlaufKey,
                        uiMode_ ? kVerlaufUi : kVerlaufStation, stations_.ToCommaText());
    if (aktiv_ && !uiMode_) aktiv_->SetReserved(false);
}

}  // namespace tarvo::channels
