#include "stations/StationenDatenbankEintragU.h"

#include <algorithm>
#include <charconv>

#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "stations/StationenDatenbankU.h"

namespace tarvo::stations {

namespace {

constexpr std::string_view kClass = "TStationenDatenbankEintrag";
constexpr std::size_t kTLimit = 2;

// "S" or "X" and the number in two digits; empty outside 0..99.
std::string NumberedStream(char prefix, int number) {
    if (number < 0 || number > 99) return {};
    std::string name(1, prefix);
    name += static_cast<char>('0' + number / 10);
    name += static_cast<char>('0' + number % 10);
    return name;
}

std::optional<int> Decimal(std::string_view s) {
    int value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

// Comma text of the items that fits the limit, item `cut` shortened as far as needed.
std::string FittingCommaText(std::vector<std::string> items, std::size_t cut, std::size_t limit) {
    std::string text = core::ToCommaText(items);
    while (text.size() > limit && !items[cut].empty()) {
        std::string& item = items[cut];
        item.resize(item.size() - std::min(item.size(), text.size() - limit));
        text = core::ToCommaText(items);
    }
    return text;
}

}  // namespace

std::string PasswordStreamName(std::string_view myCall, int role, int method) {
    // Passwords belong to the own callsign without SSID, as the prompt answer looks them up.
    const std::optional<std::string> call = StationKey(myCall);
    if (role < 0 || role >= static_cast<int>(kPasswordRoles.size()) || method < 0 ||
        method >= static_cast<int>(kPasswordMethods.size()) || !call)
        return {};
    std::string name = "P";
    name += kPasswordRoles[static_cast<std::size_t>(role)];
    name += kPasswordMethods[static_cast<std::size_t>(method)];
    name += core::BaseCallsign(*call);
    return name;
}

std::optional<TPasswordStream> ParsePasswordStream(std::string_view name) {
    if (name.size() < 4 || name[0] != 'P') return std::nullopt;
    TPasswordStream p;
    const std::size_t role = kPasswordRoles.find(name[1]);
    const std::size_t method = kPasswordMethods.find(name[2]);
    p.role = role == std::string_view::npos ? 0 : static_cast<int>(role);
    p.method = method == std::string_view::npos ? 0 : static_cast<int>(method);
    p.myCall = std::string(name.substr(3));
    return p;
}

TRemoteCommandList ParseRemoteCommands(std::string_view commaText) {
    TRemoteCommandList list;
    for (const std::string& item : core::FromCommaText(commaText)) {
        const std::size_t eq = item.find('=');
        if (eq == 0 || eq == std::string::npos) continue;
        list.emplace_back(item.substr(0, eq), item.substr(eq + 1));
    }
    return list;
}

std::string WriteRemoteCommands(const TRemoteCommandList& list) {
    std::vector<std::string> items;
    items.reserve(list.size());
    for (const auto& [name, value] : list) items.push_back(name + "=" + value);
    return core::ToCommaText(items);
}

TStationenDatenbankEintrag::TStationenDatenbankEintrag(
    std::shared_ptr<TStationenDatenbank> database, std::string key)
    : database_(std::move(database)), key_(std::move(key)) {}

TStationenDatenbankEintrag::~TStationenDatenbankEintrag() {
    // Changes went into the database when they were made; only the cache slot is left.
    database_->ForgetEntry(key_);
}

std::string TStationenDatenbankEintrag::Read(std::string_view stream, std::size_t limit) const {
    return database_->ReadStream(key_, stream, limit).value_or(std::string());
}

void TStationenDatenbankEintrag::SetName(std::string_view name) {
    std::lock_guard<std::mutex> lock(lock_);
    database_->WriteStream(key_, "N", std::string(name), kNameLimit);
}

std::string TStationenDatenbankEintrag::GetName() const {
    std::lock_guard<std::mutex> lock(lock_);
    return Read("N", kNameLimit);
}

void TStationenDatenbankEintrag::SetNotes(std::string_view notes) {
    std::lock_guard<std::mutex> lock(lock_);
    database_->WriteStream(key_, "C", std::string(notes), kNotesLimit);
}

std::string TStationenDatenbankEintrag::GetNotes() const {
    std::lock_guard<std::mutex> lock(lock_);
    return Read("C", kNotesLimit);
}

void TStationenDatenbankEintrag::ReadT() const {
    if (tRead_) return;
    tRead_ = true;
    const std::string t = Read("T", kTLimit);
    if (t.size() >= 1) type_ = static_cast<std::uint8_t>(t[0]);
    if (t.size() >= 2) policy_ = static_cast<std::uint8_t>(t[1]);
}

void TStationenDatenbankEintrag::WriteT() {
    std::string t;
    t += static_cast<char>(type_);
    t += static_cast<char>(policy_);
    const bool ok = database_->WriteStream(key_, "T", std::move(t), kTLimit);
    core::DebOutObj(kClass, "SaveT", ok ? "CreateStream ok." : "CreateStream Fehler.");
}

void TStationenDatenbankEintrag::SetT(std::uint8_t TStationenDatenbankEintrag::*field,
                                      std::uint8_t value) {
    std::lock_guard<std::mutex> lock(lock_);
    ReadT();
    if (this->*field == value) return;
    this->*field = value;
    WriteT();
}

void TStationenDatenbankEintrag::SetType(std::uint8_t type) {
    SetT(&TStationenDatenbankEintrag::type_, type);
}

std::uint8_t TStationenDatenbankEintrag::GetType() const {
    std::lock_guard<std::mutex> lock(lock_);
    ReadT();
    return type_;
}

void TStationenDatenbankEintrag::SetIncomingPolicy(std::uint8_t policy) {
    SetT(&TStationenDatenbankEintrag::policy_, policy);
}

std::uint8_t TStationenDatenbankEintrag::GetIncomingPolicy() const {
    std::lock_guard<std::mutex> lock(lock_);
    ReadT();
    return policy_;
}

bool TStationenDatenbankEintrag::SetPasswort(std::string_view myCall, int role,
                                             std::string_view password, int method) {
    const std::string stream = PasswordStreamName(myCall, role, method);
    std::lock_guard<std::mutex> lock(lock_);
    // The log names the stream, never the password.
    const bool ok = !stream.empty() &&
                    database_->WriteStream(key_, stream, std::string(password), kStreamTextLimit);
    core::DebOutObj(kClass, "SetPasswort",
                    stream + (ok ? ": CreateStream ok." : ": CreateStream Fehler."));
    return ok;
}

std::string TStationenDatenbankEintrag::GetPasswort(std::string_view myCall, int role,
                                                    int method) const {
    const std::string stream = PasswordStreamName(myCall, role, method);
    if (stream.empty()) return {};
    std::lock_guard<std::mutex> lock(lock_);
    return Read(stream, kStreamTextLimit);
}

std::string TStationenDatenbankEintrag::GetPasswortByStream(std::string_view streamName) const {
    if (!ParsePasswordStream(streamName)) return {};
    std::lock_guard<std::mutex> lock(lock_);
    return Read(streamName, kStreamTextLimit);
}

void TStationenDatenbankEintrag::DeleteElement(std::string_view name) {
    std::lock_guard<std::mutex> lock(lock_);
    database_->RemoveStream(key_, name);
}

std::vector<std::string> TStationenDatenbankEintrag::ListPasswordStreams() const {
    std::vector<std::string> names;
    for (std::string& name : database_->StreamNames(key_))
        if (ParsePasswordStream(name)) names.push_back(std::move(name));
    return names;
}

void TStationenDatenbankEintrag::GetSound(int event, int& signal, std::string& waveFile,
                                          int& announcement) const {
    signal = 0;
    waveFile.clear();
    announcement = 0;
    const std::string stream = NumberedStream('S', event);
    if (stream.empty()) return;
    std::string data;
    {
        std::lock_guard<std::mutex> lock(lock_);
        data = Read(stream, kStreamTextLimit);
    }
    const std::vector<std::string> items = core::FromCommaText(data);
    if (items.size() != 3) return;
    const std::optional<int> s = Decimal(items[0]);
    if (!s) return;
    signal = *s;
    waveFile = items[1];
    announcement = Decimal(items[2]).value_or(0);
}

bool TStationenDatenbankEintrag::SetSound(int event, int signal, int announcement,
                                          std::string_view waveFile) {
    const std::string stream = NumberedStream('S', event);
    if (stream.empty()) return false;
    // Cut the file name, not the numbers, when the whole is too long.
    std::string text = FittingCommaText(
        {std::to_string(signal), std::string(waveFile), std::to_string(announcement)}, 1,
        kStreamTextLimit);
    std::lock_guard<std::mutex> lock(lock_);
    return database_->WriteStream(key_, stream, std::move(text), kStreamTextLimit);
}

void TStationenDatenbankEintrag::DeleteSound(int event) {
    const std::string stream = NumberedStream('S', event);
    if (stream.empty()) return;
    std::lock_guard<std::mutex> lock(lock_);
    database_->RemoveStream(key_, stream);
}

void TStationenDatenbankEintrag::GetText(int kind, std::string& text, bool& flag) const {
    text.clear();
    flag = true;
    const std::string stream = NumberedStream('X', kind);
    if (stream.empty()) return;
    std::optional<std::string> data;
    {
        std::lock_guard<std::mutex> lock(lock_);
        data = database_->ReadStream(key_, stream, kStreamTextLimit);
    }
    if (!data) return;
    const std::vector<std::string> items = core::FromCommaText(*data);
    if (!items.empty()) flag = items[0] != "0";
    if (items.size() >= 2) text = items[1];
}

bool TStationenDatenbankEintrag::SetText(int kind, std::string_view text, bool flag) {
    const std::string stream = NumberedStream('X', kind);
    if (stream.empty()) return false;
    std::string data = FittingCommaText({flag ? "1" : "0", std::string(text)}, 1, kStreamTextLimit);
    std::lock_guard<std::mutex> lock(lock_);
    return database_->WriteStream(key_, stream, std::move(data), kStreamTextLimit);
}

void TStationenDatenbankEintrag::DeleteText(int kind) {
    const std::string stream = NumberedStream('X', kind);
    if (stream.empty()) return;
    std::lock_guard<std::mutex> lock(lock_);
    database_->RemoveStream(key_, stream);
}

void TStationenDatenbankEintrag::ReadR() const {
    if (!remote_) remote_ = ParseRemoteCommands(Read("R", kStreamTextLimit));
}

void TStationenDatenbankEintrag::WriteR() {
    std::string text = WriteRemoteCommands(*remote_);
    // Whole items only: a cut item would read back as a different permission.
    while (text.size() > kStreamTextLimit && !remote_->empty()) {
        remote_->pop_back();
        text = WriteRemoteCommands(*remote_);
    }
    database_->WriteStream(key_, "R", std::move(text), kStreamTextLimit);
}

bool TStationenDatenbankEintrag::GetRemoteCommand(std::string_view keyword, bool& enabled) const {
    std::lock_guard<std::mutex> lock(lock_);
    ReadR();
    for (const auto& [name, value] : *remote_) {
        if (!core::EqualNoCase(name, keyword)) continue;
        if (value.empty()) return false;
        enabled = value == "1";
        return true;
    }
    return false;
}

void TStationenDatenbankEintrag::SetRemoteCommand(std::string_view keyword, bool enabled) {
    if (keyword.empty() || keyword.find('=') != std::string_view::npos) return;
    const std::string value = enabled ? "1" : "0";
    std::lock_guard<std::mutex> lock(lock_);
    ReadR();
    for (auto& [name, v] : *remote_) {
        if (!core::EqualNoCase(name, keyword)) continue;
        if (v == value) return;
        v = value;
        WriteR();
        return;
    }
    remote_->emplace_back(std::string(keyword), value);
    WriteR();
}

void TStationenDatenbankEintrag::DeleteRemoteCommand(std::string_view keyword) {
    std::lock_guard<std::mutex> lock(lock_);
    ReadR();
    const auto before = remote_->size();
    std::erase_if(*remote_,
                  [&](const auto& item) { return core::EqualNoCase(item.first, keyword); });
    if (remote_->size() != before) WriteR();
}

TRemoteCommandList TStationenDatenbankEintrag::RemoteCommands() const {
    std::lock_guard<std::mutex> lock(lock_);
    ReadR();
    return *remote_;
}

}  // namespace tarvo::stations
