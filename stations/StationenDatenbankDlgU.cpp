#include "stations/StationenDatenbankDlgU.h"

#include <algorithm>

#include "core/GlobalU.h"
#include "core/InterfacesU.h"
#include "core/TrU.h"
#include "stations/StationenDatenbankU.h"

namespace tarvo::stations {

namespace {

// German sources, translated where shown.
constexpr std::array<const char*, kStationSoundEvents> kSoundEvents = {
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Verbindung: Aufbau"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Verbindung: Hergestellt (ausgehend)"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Verbindung: Hergestellt (ankommend)"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Verbindung: Abbau"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Verbindung: Getrennt"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Verbindung: Fehler"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Fernsteuerung: //RING"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Zeile empfangen (aktiver Kanal)"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Zeile empfangen (inaktiver Kanal)"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Zeile senden"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Dateiübertragung: Start"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Dateiübertragung: Erfolg"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Dateiübertragung: Abbruch"),
    TARVO_TR_NOOP("TStationenDatenbankDlg", "Dateiübertragung: Fehler"),
};

template <typename T, std::size_t N>
T Pick(const std::array<T, N>& names, int i) {
    return i >= 0 && static_cast<std::size_t>(i) < N ? names[static_cast<std::size_t>(i)] : T();
}

// A name of a table marked for translation, in the operator's language.
std::string Shown(const char* source) {
    return source && *source ? core::Tr("TStationenDatenbankDlg", source) : std::string();
}

bool Blank(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == '\r' || c == '\n' || c == ' '; });
}

}  // namespace

bool StationTextKind(int kind) {
    return kind >= 0 && kind < kTextKinds && kind != 2;
}

std::string TextKindLabel(int kind) {
    switch (kind) {
        case 0:
            return core::Tr("TStationenDatenbankDlg", "Begrüßung");
        case 1:
            return core::Tr("TStationenDatenbankDlg", "Abschied (//Q)");
        case 2:
            return core::Tr("TStationenDatenbankDlg", "Info über die Station (//I)");
        case 3:
            return core::Tr("TStationenDatenbankDlg", "Neuigkeiten (//NE)");
        default:
            break;
    }
    if (kind < 4 || kind >= kTextKinds) return {};
    const int n = kind - 3;
    return core::FillArgs(core::Tr("TStationenDatenbankDlg", "Textbaustein %1 (Strg+%2)"),
                          {std::to_string(n), std::to_string(n % 10)});
}

std::string SoundEventLabel(int event) {
    return Shown(Pick(kSoundEvents, event));
}

bool SoundEventAnnouncement(int event) {
    return event >= 0 && event <= 6;
}

std::string SignalName(int signal) {
    static constexpr std::array<const char*, 4> names = {
        "", TARVO_TR_NOOP("TStationenDatenbankDlg", "keiner"),
        TARVO_TR_NOOP("TStationenDatenbankDlg", "PC-Lautsprecher"),
        TARVO_TR_NOOP("TStationenDatenbankDlg", "Wave-Datei")};
    return Shown(Pick(names, signal));
}

std::string AnnouncementName(int announcement) {
    static constexpr std::array<const char*, 4> names = {
        "", TARVO_TR_NOOP("TStationenDatenbankDlg", "keine"),
        TARVO_TR_NOOP("TStationenDatenbankDlg", "Stimme"),
        TARVO_TR_NOOP("TStationenDatenbankDlg", "Telegrafie")};
    return Shown(Pick(names, announcement));
}

std::string PasswordRoleName(int role) {
    static constexpr std::array<const char*, 2> names = {
        TARVO_TR_NOOP("TStationenDatenbankDlg", "Benutzer"),
        TARVO_TR_NOOP("TStationenDatenbankDlg", "Sysop")};
    return Shown(Pick(names, role));
}

std::string_view PasswordMethodName(int method) {
    static constexpr std::array<std::string_view, 3> names = {"BayCom", "MD5", "DieBox"};
    return Pick(names, method);
}

TStationenDatenbankDlgModell::TStationenDatenbankDlgModell(
    std::shared_ptr<TStationenDatenbank> database, int generalPolicy)
    : database_(std::move(database)), generalPolicy_(generalPolicy) {
    Reload();
}

TStationenDatenbankDlgModell::~TStationenDatenbankDlgModell() {
    Store();
}

void TStationenDatenbankDlgModell::Reload() {
    keys_ = database_->ListEntries();
}

int TStationenDatenbankDlgModell::Find(std::string_view text) const {
    const std::string wanted = core::AsciiUpper(core::TrimControls(text));
    if (wanted.empty()) return -1;
    // Keys are sorted: the first with the prefix is where it would be inserted.
    auto it = std::lower_bound(keys_.begin(), keys_.end(), wanted);
    if (it != keys_.end() && it->starts_with(wanted)) return static_cast<int>(it - keys_.begin());
    for (std::size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i].find(wanted) != std::string::npos) return static_cast<int>(i);
    return -1;
}

std::optional<std::string> TStationenDatenbankDlgModell::NewCall(std::string_view text) {
    const std::string call = core::AsciiUpper(core::TrimControls(text));
    if (call.empty()) return std::nullopt;
    for (char c : call)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')) return std::nullopt;
    // The database takes callsigns only (and writes the SSID without leading zeros).
    return StationKey(call);
}

int TStationenDatenbankDlgModell::Add(std::string_view text) {
    const std::optional<std::string> call = NewCall(text);
    if (!call) return -1;
    Store();
    if (!std::binary_search(keys_.begin(), keys_.end(), *call)) {
        if (!database_->CreateStation(*call)) return -1;
        keys_.insert(std::lower_bound(keys_.begin(), keys_.end(), *call), *call);
        // The insertion moved the selected station's index.
        if (entry_) {
            auto it = std::lower_bound(keys_.begin(), keys_.end(), entry_->GetCall());
            selected_ = static_cast<int>(it - keys_.begin());
        }
    }
    const int index =
        static_cast<int>(std::lower_bound(keys_.begin(), keys_.end(), *call) - keys_.begin());
    Select(index);
    return index;
}

bool TStationenDatenbankDlgModell::Remove(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= keys_.size()) return false;
    const std::string key = keys_[static_cast<std::size_t>(index)];
    const bool selected = index == selected_;
    if (selected) Select(-1);  // the dialog's own hold on it goes first
    if (!database_->DeleteEntry(key)) {
        if (selected) Select(index);
        return false;
    }
    keys_.erase(keys_.begin() + index);
    if (selected_ > index) --selected_;
    return true;
}

void TStationenDatenbankDlgModell::Select(int index) {
    Store();
    entry_.reset();
    selected_ = -1;
    fields_ = {};
    loaded_ = {};
    if (index < 0 || static_cast<std::size_t>(index) >= keys_.size()) return;
    entry_ = database_->OpenStation(keys_[static_cast<std::size_t>(index)]);
    if (!entry_) return;
    selected_ = index;
    Load();
}

std::string TStationenDatenbankDlgModell::Heading() const {
    if (!entry_) return {};
    return core::FillArgs(core::Tr("TStationenDatenbankDlg", "Einstellungen für %1:"),
                          {entry_->GetCall()});
}

void TStationenDatenbankDlgModell::Load() {
    TStationFields& f = fields_;
    f.name = entry_->GetName();
    f.notes = entry_->GetNotes();
    const int type = entry_->GetType();
    f.typeIndex = type <= 5 ? type : 0;
    const int policy = entry_->GetIncomingPolicy();
    f.firewall = policy >= 1 && policy <= 3;
    const int shown = f.firewall ? policy : generalPolicy_;
    f.policyIndex = shown >= 1 && shown <= 3 ? shown - 1 : 0;
    for (int k = 0; k < kTextKinds; ++k) {
        if (!StationTextKind(k)) continue;
        auto& t = f.texts[static_cast<std::size_t>(k)];
        entry_->GetText(k, t.text, t.flag);
    }
    for (int e = 0; e < kStationSoundEvents; ++e) {
        auto& s = f.sounds[static_cast<std::size_t>(e)];
        entry_->GetSound(e, s.signal, s.waveFile, s.announcement);
    }
    f.remote = entry_->RemoteCommands();
    loaded_ = f;
}

void TStationenDatenbankDlgModell::Store() {
    if (!entry_) return;
    const TStationFields& f = fields_;
    if (f.name != loaded_.name) entry_->SetName(f.name);
    if (f.notes != loaded_.notes) entry_->SetNotes(f.notes.substr(0, kNotesLimit));
    // Only what the operator changed: a connection may have set other fields meanwhile.
    if (f.typeIndex != loaded_.typeIndex)
        entry_->SetType(
            static_cast<std::uint8_t>(f.typeIndex >= 0 && f.typeIndex <= 5 ? f.typeIndex : 0));
    if (f.firewall != loaded_.firewall || f.policyIndex != loaded_.policyIndex) {
        const int policy = f.firewall ? f.policyIndex + 1 : 0;
        entry_->SetIncomingPolicy(
            static_cast<std::uint8_t>(policy >= 1 && policy <= 3 ? policy : 0));
    }
    for (int k = 0; k < kTextKinds; ++k) {
        const auto& t = f.texts[static_cast<std::size_t>(k)];
        if (!StationTextKind(k) || t == loaded_.texts[static_cast<std::size_t>(k)]) continue;
        // Nothing but the general text: no text of its own.
        if (t.flag && Blank(t.text))
            entry_->DeleteText(k);
        else
            entry_->SetText(k, t.text, t.flag);
    }
    for (int e = 0; e < kStationSoundEvents; ++e) {
        const auto& s = f.sounds[static_cast<std::size_t>(e)];
        if (s == loaded_.sounds[static_cast<std::size_t>(e)]) continue;
        if (s == TStationSound{})
            entry_->DeleteSound(e);
        else
            entry_->SetSound(e, s.signal, s.announcement, s.waveFile);
    }
    if (f.remote != loaded_.remote) {
        for (const auto& [name, value] : loaded_.remote) entry_->DeleteRemoteCommand(name);
        for (const auto& [name, value] : f.remote) entry_->SetRemoteCommand(name, value == "1");
    }
    loaded_ = f;
}

std::vector<TPasswordRow> TStationenDatenbankDlgModell::Passwords() const {
    std::vector<TPasswordRow> rows;
    if (!entry_) return rows;
    for (const std::string& stream : entry_->ListPasswordStreams()) {
        const auto p = ParsePasswordStream(stream);
        rows.push_back({stream, p->myCall, p->role, p->method});
    }
    return rows;
}

std::string TStationenDatenbankDlgModell::Password(const std::string& stream) const {
    return entry_ ? entry_->GetPasswortByStream(stream) : std::string();
}

bool TStationenDatenbankDlgModell::SavePassword(const std::string& oldStream,
                                                std::string_view myCall, int role, int method,
                                                std::string_view password) {
    if (!entry_ || PasswordStreamName(myCall, role, method).empty()) return false;
    if (!oldStream.empty()) entry_->DeleteElement(oldStream);
    return entry_->SetPasswort(myCall, role, password, method);
}

void TStationenDatenbankDlgModell::DeletePassword(const std::string& stream) {
    if (entry_ && ParsePasswordStream(stream)) entry_->DeleteElement(stream);
}

}  // namespace tarvo::stations
