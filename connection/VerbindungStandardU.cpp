#include "connection/VerbindungStandardU.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <map>
#include <mutex>

#include "channels/BoxListU.h"
#include "connection/MD5U.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"

namespace tarvo::connection {

namespace {

constexpr const char* kUnit = "VerbindungStandardU";
constexpr int kPromptKind = 3;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool IsAlnum(char c) {
    return IsDigit(c) || IsUpper(c) || (c >= 'a' && c <= 'z');
}

bool StartsWithCaseless(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() &&
           core::AsciiLower(s.substr(0, prefix.size())) == core::AsciiLower(prefix);
}

std::string_view WithoutFinalCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

std::string WithoutLineBreaks(std::string s) {
    std::erase_if(s, [](char c) { return c == '\r' || c == '\n'; });
    return s;
}

// Patterns compiled once; a Pattern is immutable and so safe across threads.
const platform::Pattern& CompiledPattern(std::string_view source) {
    static std::mutex mutex;
    static std::map<std::string, platform::Pattern, std::less<>> patterns;
    std::lock_guard lock(mutex);
    auto it = patterns.find(source);
    if (it == patterns.end()) {
        auto compiled = platform::Pattern::Compile(source);
        TARVO_ASSERT(compiled.has_value(), kUnit);
        it = patterns.emplace(std::string(source), std::move(*compiled)).first;
    }
    return it->second;
}

std::optional<platform::Match> SearchLine(std::string_view source, std::string_view subject) {
    return SearchReceived(CompiledPattern(source), subject);
}

constexpr std::string_view kStationIdPattern = R"(\{.+-.+-(.*)\})";
constexpr std::string_view kLoginPattern = R"(.*Login: (\d\d)\.(\d\d)\.(\d\d) (\d\d):(\d\d).*)";
struct TRegistry {
    std::mutex mutex;
    std::map<std::string, TVerbindungAbstract::TModuleFactory, std::less<>> receive;
    std::map<std::int32_t, TVerbindungAbstract::TModuleFactory> send;
};

TRegistry& Registry() {
    static TRegistry registry;
    return registry;
}

TVerbindungAbstract::TModuleFactory ReceiveFactory(std::string_view prefix) {
    TRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    auto it = r.receive.find(prefix);
    return it == r.receive.end() ? nullptr : it->second;
}

TVerbindungAbstract::TModuleFactory SendFactory(std::int32_t protocol) {
    TRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    auto it = r.send.find(protocol);
    return it == r.send.end() ? nullptr : it->second;
}

}  // namespace

std::optional<platform::Match> SearchReceived(const platform::Pattern& pattern,
                                              std::string_view text) {
    platform::SearchResult r = pattern.Search(text);
    if (r.status != platform::MatchStatus::Matched) return std::nullopt;
    return std::move(r.match);
}

std::string_view StationTypeLogName(std::int32_t type) {
    if (type < core::kStationAutomatic || type > core::kStationCluster) return "[undef]";
    return core::StationTypeName(type);
}

// --- Station ID ---------------------------------------------------------------

bool IsStationId(std::string_view c) {
    if (c.size() < 6 || c.size() > kMaxStationIdLength) return false;
    if (c.front() != '{' || c.back() != '}') return false;
    if (c[1] == '-' || c[c.size() - 2] == '-') return false;
    if (std::count(c.begin(), c.end(), '-') != 2) return false;
    const std::size_t first = c.find('-');
    return c[first + 1] != '-';
}

bool StationIdAnnouncesDidadit(std::string_view stationId) {
    const auto m = SearchLine(kStationIdPattern, stationId);
    return m && m->Group(1).find('D') != std::string_view::npos;
}

// --- Connect text -------------------------------------------------------------

const std::array<TStationKeyword, 38> kStationKeywords{{
    {"DieBox", 2},
    {"BayBox", 2},
    {"BayCom-Mailbox", 2},
    {"TheBox", 2},
    {"BBS", 2},
    {"DVMS ", 2},
    {"[FBB", 2},
    {"[DP-", 2},
    {"3NET ", 1},
    {"(3)NET ", 1},
    {"XNet", 1},
    {"(X)Net", 1},
    {"X-Net", 1},
    {"DAMA", 1},
    {"DosNET", 1},
    {"LinuxNet", 1},
    {"PCNet", 1},
    {"(PC)Net", 1},
    {"Digi ", 1},
    {"TNN ", 1},
    {"RMNC/FlexNet", 1},
    {"PC/FlexNet", 1},
    {"TheNetNode", 1},
    {"SNET", 1},
    {"Digiware", 1},
    {"NetCHL", 1},
    {"BPQ", 1},
    {"TheNet", 1},
    {"SuperVozelj", 1},
    {"ItaNet", 1},
    {"[TNOS", 1},
    {"Node", 1},
    {"network", 1},
    {"Interlink", 1},
    {"FALCon/DigiWare", 1},
    {"Logins:", 2},
    {"Convers", 3},
    {"Mailbox", 2},
}};

const TStationKeyword* DetectStationKeyword(std::string_view line) {
    static const std::array<std::string, 38> lowered = [] {
        std::array<std::string, 38> a;
        for (std::size_t i = 0; i < a.size(); ++i)
            a[i] = core::AsciiLower(kStationKeywords[i].keyword);
        return a;
    }();
    const std::string text = core::AsciiLower(core::TrimControls(line));
    const TStationKeyword* best = nullptr;
    std::size_t bestPos = std::string::npos;
    for (std::size_t i = 0; i < lowered.size(); ++i) {
        const std::size_t pos = text.find(lowered[i]);
        if (pos < bestPos) {
            bestPos = pos;
            best = &kStationKeywords[i];
        }
    }
    return best;
}

bool IsMailboxIdentifier(std::string_view line) {
    const std::string_view t = core::TrimControls(line);
    if (t.size() > kMaxStationIdLength || !t.starts_with('[') || !t.ends_with("$]")) return false;
    const std::string_view inner = t.substr(1, t.size() - 3);
    if (inner.find_first_of("[]$") != std::string_view::npos) return false;
    const std::size_t features = inner.rfind('-');
    if (features == std::string_view::npos || features + 1 == inner.size() || features == 0)
        return false;
    if (!std::all_of(inner.begin() + static_cast<std::ptrdiff_t>(features + 1), inner.end(),
                     IsAlnum))
        return false;
    const std::size_t version = inner.rfind('-', features - 1);
    return version != std::string_view::npos && version > 0 && version + 1 < features;
}

// --- Password prompts ---------------------------------------------------------

TPasswordPrompt RecognizePasswordPrompt(std::string_view line, std::string_view remoteCall) {
    if (line.size() <= 13 || remoteCall.empty()) return {};
    const std::string_view body = WithoutFinalCr(line);
    if (body.empty() || !(IsDigit(body.back()) || body.back() == ']')) return {};
    const std::string upper = core::AsciiUpper(line);
    std::string key = core::AsciiUpper(core::BaseCallsign(remoteCall)) + "> ";
    std::size_t pos = upper.find(key);
    if (pos == std::string::npos) {
        key = core::AsciiUpper(remoteCall) + "> ";
        pos = upper.find(key);
    }
    if (pos == std::string::npos) return {};
    // The case of a challenge matters for its digest: cut the line as received.
    std::string rest(line.substr(pos + key.size()));
    if (rest.size() <= 4) return {};
    if (rest.back() == '\r') rest.pop_back();
    if (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
    if (rest.empty()) return {};
    if (IsDigit(rest.front())) return {TPromptKind::NumberPositions, rest};
    if (rest.front() == '[') {
        rest.erase(0, 1);
        if (!rest.empty() && rest.back() == ']') rest.pop_back();
        if (rest.size() == 10) return {TPromptKind::Challenge, rest};
    }
    return {};
}

std::string_view PasswordErrorText(TPasswordError error) {
    switch (error) {
        case TPasswordError::InvalidChars:
            return "Passwort-Prompt enth\xE4lt ung\xFCltige Zeichen.";
        case TPasswordError::TooManyPositions:
            return "Passwort-Prompt enth\xE4lt zu viele Positionen.";
        case TPasswordError::PasswordTooShort:
            return "Gespeichertes Passwort zu kurz.";
        case TPasswordError::WrongLength:
            return "Das in der Datenbank gespeicherte Passwort hat nicht die erforderliche "
                   "L\xE4nge "
                   "von 1620 Zeichen.";
        case TPasswordError::None:
            break;
    }
    return {};
}

std::string NumberNoiseAlphabet(std::string_view password, IRandom& random) {
    std::string distinct;
    for (char c : password)
        if (distinct.find(c) == std::string::npos) distinct += c;
    std::string noise;
    for (char c = '!'; c <= '~'; ++c)
        if (distinct.find(c) == std::string::npos) noise += c;
    const std::size_t limit = distinct.size() / 3 + 2;
    while (noise.size() > limit)
        noise.erase(random.Below(static_cast<std::uint32_t>(noise.size())), 1);
    return distinct + noise;
}

TNumberPositionsAnswer AnswerNumberPositions(std::string_view prompt, std::string_view password,
                                             IRandom& random) {
    TNumberPositionsAnswer result;
    constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
    std::array<std::uint32_t, 5> slots{};
    std::size_t slot = 0;
    for (char c : prompt) {
        if (c == ' ') {
            slot = std::min<std::size_t>(slot + 1, slots.size());
        } else if (IsDigit(c)) {
            if (slot >= slots.size()) {
                result.error = TPasswordError::TooManyPositions;
                return result;
            }
            const auto digit = static_cast<std::uint32_t>(c - '0');
            std::uint32_t& v = slots[slot];
            v = v > (kMax - digit) / 10 ? kMax : v * 10 + digit;  // saturates
        } else {
            result.error = TPasswordError::InvalidChars;
            return result;
        }
    }
    for (std::uint32_t position : slots) {
        if (position < 1) break;
        if (position > password.size()) {
            result.error = TPasswordError::PasswordTooShort;
            result.answer.clear();
            return result;
        }
        result.answer += password[position - 1];
    }
    if (password.empty()) return result;
    const std::string alphabet = NumberNoiseAlphabet(password, random);
    std::string noise;
    for (std::size_t i = 0; i < kNoiseLength; ++i)
        noise += alphabet[random.Below(static_cast<std::uint32_t>(alphabet.size()))];
    result.split = 1 + random.Below(kNoiseLength);
    result.text = noise.substr(0, result.split) + result.answer + noise.substr(result.split);
    return result;
}

std::string AnswerChallenge(std::string_view challenge, std::string_view password) {
    std::string text(challenge);
    text += password;
    return DigestToHex(MD5Of(text), HexCase::Lower);
}

std::optional<TLoginTime> ParseLoginLine(std::string_view line) {
    const auto m = SearchLine(kLoginPattern, line);
    if (!m) return std::nullopt;
    auto number = [&](std::size_t group) {
        const std::string_view g = m->Group(group);
        return (g[0] - '0') * 10 + (g[1] - '0');
    };
    TLoginTime t;
    t.day = number(1);
    t.month = number(2);
    t.year = number(3) % 100;
    t.hour = number(4);
    t.minute = number(5);
    return t;
}

std::string DatePasswordCharacters(std::string_view password) {
    std::string r;
    for (char c : password)
        if (IsAlnum(c)) r += c;
    return r;
}

TDateAnswer AnswerDateLogin(const TLoginTime& time, std::string_view password) {
    const std::string pw = DatePasswordCharacters(password);
    if (pw.size() != kDatePasswordLength) return {TPasswordError::WrongLength, {}};
    constexpr std::int64_t n = kDatePasswordLength;
    auto clamp = [](int v) { return static_cast<std::int64_t>(std::clamp(v, 0, 99)); };
    const std::int64_t day = clamp(time.day), month = clamp(time.month);
    const std::int64_t year = clamp(time.year) % 100, hour = clamp(time.hour);
    const std::int64_t minute = clamp(time.minute);

    std::array<std::int64_t, 5> m{3, 5, 7, 9, 11};
    const std::int64_t s = (minute + 1) * n / 60;  // 1-based start
    std::size_t found = 0;
    for (std::int64_t i = 0; i < 5 * n && found < m.size(); ++i) {
        const char c = pw[static_cast<std::size_t>((s - 1 + i) % n)];
        if (c >= '1' && c <= '9') m[found++] = c - '0';
    }
    const std::int64_t y = year * year;
    std::array<std::int64_t, 5> p{
        hour * m[0] + minute * m[1] + day * m[2] + month * m[3] + y * m[4] + m[2] * m[3],
        hour * m[1] + minute * m[3] + day * m[0] + month * m[4] + y * m[2] + m[0] * m[4],
        hour * m[2] + minute * m[0] + day * m[4] + month * m[1] + y * m[3] + m[1] * m[2],
        hour * m[3] + minute * m[4] + day * m[1] + month * m[2] + y * m[0] + m[3] * m[4],
        hour * m[4] + minute * m[2] + day * m[3] + month * m[0] + y * m[1] + m[0] * m[2],
    };
    TDateAnswer result;
    for (std::int64_t position : p) {
        if (position > n) position = position % n + 1;
        result.answer += pw[static_cast<std::size_t>(position - 1)];
    }
    return result;
}

std::string DateLoginNoise(std::string_view password, IRandom& random) {
    std::string noise;
    if (password.empty()) return noise;
    for (std::size_t i = 0; i < kNoiseLength; ++i)
        noise += password[random.Below(static_cast<std::uint32_t>(password.size()))];
    return noise;
}

std::string DateLoginText(std::string_view noise, std::size_t insertPosition,
                          std::string_view answer) {
    const std::size_t at = std::clamp<std::size_t>(insertPosition, 1, noise.size() + 1) - 1;
    std::string text = "PRIV ";
    text += noise.substr(0, at);
    text += answer;
    text += noise.substr(at);
    return text;
}

// --- Lines --------------------------------------------------------------------

bool IsRemoteCommandLine(std::string_view line) {
    return line.size() >= 3 && line[0] == '/' && line[1] == '/' && line[2] != '/' && line[2] != ' ';
}

std::optional<TOnwardConnect> ParseOnwardConnect(std::string_view line) {
    std::string s = core::AsciiUpper(WithoutFinalCr(line));
    if (s.size() <= 1 || s.front() == ' ') return std::nullopt;
    TOnwardConnect result;
    constexpr std::string_view kConnected = " CONNECTED TO ";
    constexpr std::string_view kReconnected = " RECONNECTED TO ";
    std::size_t pos = s.find(kConnected);
    std::size_t length = kConnected.size();
    if (pos == std::string::npos) {
        pos = s.find(kReconnected);
        length = kReconnected.size();
        result.reconnect = true;
    }
    if (pos == std::string::npos) return std::nullopt;
    s.erase(0, pos + length);
    const std::size_t colon = s.find(':');
    if (colon != std::string::npos && colon <= 8 && colon + 1 < s.size() &&
        (IsDigit(s[colon + 1]) || IsUpper(s[colon + 1])))
        s.erase(0, colon + 1);
    std::string_view call = core::TrimControls(s);
    call = call.substr(0, call.find(' '));
    if (call.empty()) return std::nullopt;
    result.call = std::string(call);
    return result;
}

bool RegisterReceiveModule(std::string_view prefix, TVerbindungAbstract::TModuleFactory factory) {
    if (std::find(kTransferHeaders.begin(), kTransferHeaders.end(), prefix) ==
        kTransferHeaders.end())
        return false;
    TRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    r.receive[std::string(prefix)] = std::move(factory);
    return true;
}

void RegisterSendModule(std::int32_t protocol, TVerbindungAbstract::TModuleFactory factory) {
    TRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    r.send[protocol] = std::move(factory);
}

void ClearModuleRegistry() {
    TRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    r.receive.clear();
    r.send.clear();
}

// --- The module ---------------------------------------------------------------

TVerbindungStandard::TVerbindungStandard(TVerbindungAbstract* parent,
                                         std::shared_ptr<core::IVerbindungFuerModul> connection)
    : TVerbindungAbstract(parent, std::move(connection)),
      random_(std::make_shared<TDefaultRandom>()) {}

TVerbindungStandard::~TVerbindungStandard() = default;

void TVerbindungStandard::SetRandom(std::shared_ptr<IRandom> random) {
    if (random) random_ = std::move(random);
}

void TVerbindungStandard::Init() {
    SetUseEvent(core::kWaitReceive, true);
    SetUseEvent(core::kWaitUserSend, true);
    SetUseEvent(core::kWaitSendJob, true);
    lineBuffer_.clear();
    stationIdBuffer_.clear();
    countdown_ = 3;
    stationIdDone_ = false;
    passwordLines_ = 0;
    pgpCheck_ = std::make_unique<TPGPCheck>();
    if (auto connection = Connection()) {
        hideStationId_ = connection->HideReceivedSid();
        StationTypeFromDatabase(*connection);
    }
}

std::shared_ptr<core::IStationenDatenbankEintrag> TVerbindungStandard::RemoteEntry(
    core::IVerbindungFuerModul& connection) const {
    const auto database = connection.StationenDatenbank();
    if (!database) return nullptr;
    // A key without SSID stands for all SSIDs of the station.
    return database->FindEntry(connection.Call(), true);
}

void TVerbindungStandard::StationTypeFromDatabase(core::IVerbindungFuerModul& connection) {
    const auto entry = RemoteEntry(connection);
    if (!entry || entry->GetType() == 0) return;
    savedStationType_ = connection.StationType();
    connection.SetStationType(entry->GetType());
}

void TVerbindungStandard::SetType(core::IVerbindungFuerModul& connection, std::int32_t type) {
    connection.SetStationType(type);
}

void TVerbindungStandard::CountDown() {
    if (countdown_ > std::numeric_limits<std::int32_t>::min()) --countdown_;
}

void TVerbindungStandard::OnUserSend() {
    const auto connection = Connection();
    if (!connection) return;
    if (auto item = connection->UserSendQueue().Pop())
        connection->LinkSendQueue().Push(std::move(*item));
}

void TVerbindungStandard::OnReceive() {
    const auto connection = Connection();
    if (!connection) return;
    core::TStringQueue& queue = connection->ReceiveQueue();
    while (!queue.IsEmpty()) {
        std::string item = queue.PopLine();
        if (item.empty()) continue;
        HandleItem(std::move(item));
    }
}

bool TVerbindungStandard::CollectStationId(core::IVerbindungFuerModul& connection,
                                           std::string& item) {
    if (stationIdDone_) return false;
    if (lineBuffer_.empty() && !collectingStationId_ && item.front() == '{')
        collectingStationId_ = true;
    if (!collectingStationId_) return false;

    const std::size_t end = item.find_first_of("}\r");
    if (end == std::string::npos && stationIdBuffer_.size() + item.size() <= kMaxStationIdLength) {
        // May still become a station ID with the next item.
        stationIdBuffer_ += item;
        if (hideStationId_) item.clear();
        return false;
    }
    collectingStationId_ = false;
    const std::size_t partLength = end == std::string::npos ? item.size() : end + 1;
    std::string candidate = std::move(stationIdBuffer_);
    stationIdBuffer_.clear();
    const bool fits = candidate.size() + partLength <= kMaxStationIdLength;
    if (fits) candidate.append(item, 0, partLength);
    if (!fits || !IsStationId(candidate)) {
        // Hidden parts come back, so nothing is lost.
        if (hideStationId_)
            item.insert(0, candidate, 0, candidate.size() - (fits ? partLength : 0));
        return false;
    }

    core::DebOutObj(GetName(), "OnReceive", "SID = " + candidate);
    std::size_t used = partLength;
    if (used < item.size() && item[used] == '\r') ++used;  // the station ID's own line end
    if (!hideStationId_) {
        connection.ShowReceived(std::string_view(item).substr(0, used));
        // The earlier parts of a split station ID were shown and buffered already.
        lineBuffer_.clear();
    }
    if (StationIdAnnouncesDidadit(candidate)) connection.SetBinMode(5);
    if (connection.SendSidEnabled() && connection.Outgoing()) connection.SendStationId();
    stationIdDone_ = true;
    // Text after the station ID goes on as received text.
    item.erase(0, used);
    return true;
}

void TVerbindungStandard::HandleItem(std::string item) {
    const auto connection = Connection();
    if (!connection) return;
    CollectStationId(*connection, item);
    std::size_t pos = 0;
    while (pos < item.size()) {
        const std::size_t room = kMaxLineLength - lineBuffer_.size();
        const std::size_t n = std::min(room, item.size() - pos);
        const std::string_view piece(item.data() + pos, n);
        const bool startsLine = lineBuffer_.empty();
        lineBuffer_.append(piece);
        const std::int64_t serial = connection->ShowReceived(piece);
        if (startsLine) lineSerial_ = serial;
        pos += n;
        if (lineBuffer_.back() == '\r')
            HandleLine(*connection, false);
        else if (lineBuffer_.size() >= kMaxLineLength)
            HandleLine(*connection, true);
    }
}

void TVerbindungStandard::HandleLine(core::IVerbindungFuerModul& connection, bool piece) {
    const std::string line = std::move(lineBuffer_);
    lineBuffer_.clear();
    const std::string_view body = WithoutFinalCr(line);

    if (pgpCheck_)
        if (auto result = pgpCheck_->Receive(line, connection.Call()))
            connection.KanalPrompt(*result, kPromptKind);
    if (passwordLines_ < 4) DateLogin(connection, body);
    const bool prompt = PasswordPrompt(connection, line);
    ConnectText(connection, body, prompt);

    const std::int32_t t = connection.StationType();
    const bool plainStation = t == core::kStationAutomatic || t == core::kStationTerminal;
    // A piece cut by the length cap does not begin a line: never a command or a header.
    if (!piece && plainStation && IsRemoteCommandLine(line)) {
        if (connection.RemoteCommandsEnabled()) {
            if (auto commands = connection.RemoteCommands()) commands->HandleLine(line);
        } else {
            connection.KanalPrompt(
                core::Tr("TVerbindungStandard", "Keine Auswertung von Fernsteuerbefehlen."),
                kPromptKind);
        }
    } else if (!piece && (plainStation || t == core::kStationDigi || t == core::kStationMailbox) &&
               StartReceiveModule(connection, line)) {
    } else if ((plainStation || t == core::kStationDigi) &&
               (body.starts_with("conversd @ ") || body.starts_with("kaconversd @ "))) {
        savedStationType_ = t;
        SetType(connection, core::kStationConvers);
    } else if (t == core::kStationConvers &&
               StartsWithCaseless(body, "Convers session terminated.")) {
        SetType(connection, savedStationType_);
        savedStationType_ = core::kStationConvers;
    } else {
        OtherLine(connection, body);
    }
    CountDown();
}

void TVerbindungStandard::DateLogin(core::IVerbindungFuerModul& connection, std::string_view line) {
    ++passwordLines_;
    const auto time = ParseLoginLine(line);
    const auto entry = RemoteEntry(connection);
    const std::string myCall = core::BaseCallsign(connection.MyCall());
    if (!time) {
        if (!entry || entry->GetPasswort(myCall, 0, 2).empty()) passwordLines_ = 4;
        return;
    }
    for (int role = 0; entry && role <= 1; ++role) {
        const std::string password = entry->GetPasswort(myCall, role, 2);
        if (password.empty()) continue;
        const TDateAnswer answer = AnswerDateLogin(*time, password);
        if (answer.error != TPasswordError::None) {
            connection.KanalPrompt(PasswordErrorText(answer.error), kPromptKind);
            continue;
        }
        std::string characters = DatePasswordCharacters(password);
        if (dateNoise_.empty() || characters != datePassword_) {
            dateNoise_ = DateLoginNoise(characters, *random_);
            dateInsert_ = 1 + random_->Below(kNoiseLength);
            datePassword_ = std::move(characters);
        }
        connection.SendData(DateLoginText(dateNoise_, dateInsert_, answer.answer) + "\r", true,
                            false, false, true);
    }
    passwordLines_ = 4;
}

bool TVerbindungStandard::PasswordPrompt(core::IVerbindungFuerModul& connection,
                                         std::string_view line) {
    const TPasswordPrompt prompt = RecognizePasswordPrompt(line, connection.Call());
    if (prompt.kind == TPromptKind::None) return false;
    const auto entry = RemoteEntry(connection);
    if (!entry) return true;
    const std::string myCall = core::BaseCallsign(connection.MyCall());
    const int method = prompt.kind == TPromptKind::NumberPositions ? 0 : 1;
    const int preferred = countdown_ <= 0 ? 1 : 0;
    std::string password = WithoutLineBreaks(entry->GetPasswort(myCall, preferred, method));
    if (password.empty())
        password = WithoutLineBreaks(entry->GetPasswort(myCall, 1 - preferred, method));
    if (password.empty()) return true;
    std::string answer;
    if (prompt.kind == TPromptKind::NumberPositions) {
        TNumberPositionsAnswer r = AnswerNumberPositions(prompt.text, password, *random_);
        if (r.error != TPasswordError::None) {
            connection.KanalPrompt(PasswordErrorText(r.error), kPromptKind);
            return true;
        }
        answer = std::move(r.text);
    } else {
        answer = AnswerChallenge(prompt.text, password);
    }
    connection.SendData(answer + "\r", true, false, false, true);
    return true;
}

void TVerbindungStandard::ConnectText(core::IVerbindungFuerModul& connection, std::string_view line,
                                      bool prompt) {
    const std::int32_t t = connection.StationType();
    if (prompt) {
        if (countdown_ <= 0) return;
        if (t == core::kStationAutomatic) {
            savedStationType_ = core::kStationAutomatic;
            SetType(connection, core::kStationMailbox);
        }
        core::DebOutObj(GetName(), "OnReceive",
                        "CText: Passwortabfrage erkannt => " +
                            std::string(StationTypeLogName(connection.StationType())));
        countdown_ = 0;
        return;
    }
    if (countdown_ <= 0) {
        if (t != core::kStationAutomatic) return;
        savedStationType_ = t;
        SetType(connection, core::kStationTerminal);
        core::DebOutObj(
            GetName(), "OnReceive",
            "CText: Nichts erkannt => " + std::string(StationTypeLogName(core::kStationTerminal)));
        return;
    }
    if (core::TrimControls(line).empty()) return;
    if (t != core::kStationAutomatic) {
        countdown_ = 0;
        return;
    }
    if (IsMailboxIdentifier(line)) {
        // Before the keywords: a name such as "BPQ" would make the box a digipeater.
        savedStationType_ = t;
        SetType(connection, core::kStationMailbox);
        core::DebOutObj(GetName(), "OnReceive",
                        "CText: Mailbox-Kennung erkannt => " +
                            std::string(StationTypeLogName(core::kStationMailbox)));
        countdown_ = 0;
        return;
    }
    const TStationKeyword* keyword = DetectStationKeyword(line);
    if (!keyword) return;
    savedStationType_ = t;
    SetType(connection, keyword->type);
    core::DebOutObj(GetName(), "OnReceive",
                    "CText: \"" + std::string(keyword->keyword) + "\" erkannt => " +
                        std::string(StationTypeLogName(keyword->type)));
    countdown_ = 0;
}

bool TVerbindungStandard::StartReceiveModule(core::IVerbindungFuerModul& connection,
                                             const std::string& line) {
    const auto header = std::find_if(kTransferHeaders.begin(), kTransferHeaders.end(),
                                     [&](std::string_view h) { return line.starts_with(h); });
    if (header == kTransferHeaders.end()) return false;
    const TModuleFactory factory = ReceiveFactory(*header);
    if (!factory) return false;
    if (line == unreadHeader_) {
        // A module left this header unread; starting it again could loop for ever.
        unreadHeader_.clear();
        return false;
    }
    core::TStringQueue& queue = connection.ReceiveQueue();
    queue.PushStringFront(line);  // the module reads its header itself
    try {
        RunModule(*this, factory);
    } catch (const std::exception& e) {
        core::DebOutObj(GetName(), "OnReceive", std::string("Transfer ended: ") + e.what());
    } catch (...) {
        core::DebOutObj(GetName(), "OnReceive", "Transfer ended by an exception");
    }
    unreadHeader_ = queue.PeekString() == line ? line : std::string();
    return true;
}

void TVerbindungStandard::OtherLine(core::IVerbindungFuerModul& connection, std::string_view line) {
    const std::int32_t t = connection.StationType();
    if (t == core::kStationMailbox) {
        if (channels::IsMessageListLine(line)) {
            if (auto kanal = connection.Kanal(); kanal && lineSerial_ >= 0)
                kanal->MarkBoxLine(lineSerial_);
        }
    }
    const auto onward = ParseOnwardConnect(line);
    if (!onward) return;
    if (!onward->reconnect) {
        if (connection.InfoboxConnect(onward->call)) {
            countdown_ = 3;
            passwordLines_ = 0;
            dateNoise_.clear();
            datePassword_.clear();
            StationTypeFromDatabase(connection);
        }
    } else if (connection.InfoboxReconnect(onward->call)) {
        savedStationType_ = t;
    }
}

void TVerbindungStandard::OnSendJob() {
    const auto connection = Connection();
    if (!connection) return;
    const std::string name = GetName();
    core::DebOutObj(name, "SendFile");
    TARVO_ASSERT(!connection->DateiSenden(), kUnit);
    const auto queue = connection->DateiSendenQueue();
    std::shared_ptr<core::IDateiSenden> job = queue ? queue->Current() : nullptr;
    if (!job) {
        core::DebOutObj(name, "SendFile", "end.");
        return;
    }
    connection->SetDateiSenden(job);
    auto finish = [&] {
        queue->Remove(job.get());
        job->Release();
        job.reset();
        if (auto running = connection->DateiSenden()) {
            running->Release();
            connection->SetDateiSenden(nullptr);
        }
    };
    try {
        if (const TModuleFactory factory = SendFactory(job->GetProtokoll()))
            RunModule(*this, factory);
        else
            core::SystemBeep();
    } catch (const std::exception& e) {
        core::DebOutObj(name, "SendFile", std::string("Transfer ended: ") + e.what());
    } catch (...) {
        core::DebOutObj(name, "SendFile", "Transfer ended by an exception");
    }
    finish();
}

}  // namespace tarvo::connection
