#include "connection/PGPClassU.h"

#include <algorithm>
#include <exception>

#include "connection/PGPCheckU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "platform/CodePage.h"

namespace tarvo::connection {

namespace {

constexpr const char* kUnit = "PGPClassU";
constexpr std::uint64_t kHourMs = 60ull * 60 * 1000;
constexpr std::string_view kSignedBegin = "-----BEGIN PGP SIGNED MESSAGE-----";
constexpr std::string_view kKeyBlockBegin = "-----BEGIN PGP PUBLIC KEY BLOCK-----";
constexpr std::string_view kSignatureBegin = "-----BEGIN PGP SIGNATURE-----";
// Comment lines longer than this are cut; the armour keeps its lines short.
constexpr std::size_t kMaxComment = 200;

std::string TwoDigits(int n) {
    return std::string{static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)};
}

std::string Bool(bool b) {
    return b ? "true" : "false";
}

std::string_view ValidityName(platform::PgpValidity v) {
    switch (v) {
        case platform::PgpValidity::Unknown:
            return "unknown";
        case platform::PgpValidity::Invalid:
            return "invalid";
        case platform::PgpValidity::Marginal:
            return "marginal";
        case platform::PgpValidity::Complete:
            return "complete";
    }
    return "???";
}

bool AtLeastMarginal(platform::PgpValidity v) {
    return v == platform::PgpValidity::Marginal || v == platform::PgpValidity::Complete;
}

// The label, then the signer wrapped so that the line stays inside the prompt,
// continuation lines indented under the signer.
std::string SignerLine(std::string_view label, std::string_view signer) {
    const int width =
        72 - static_cast<int>(core::kReplyPrefix.size()) - static_cast<int>(label.size());
    const std::string indent = "\r" + std::string(label.size(), ' ');
    std::string wrapped = core::WrapText(signer, indent, " ", width);
    // The blank a line was broken at goes.
    for (std::size_t at; (at = wrapped.find(" \r")) != std::string::npos;) wrapped.erase(at, 1);
    return std::string(label) + wrapped + "\r";
}

}  // namespace

// ---- the key import budget -----------------------------------------------------------

void TKeyImportBudget::Expire() {
    const std::uint64_t now = clock_.SteadyMs();
    std::erase_if(entries_, [now](const TEntry& e) { return now - e.at >= kHourMs; });
}

std::string TKeyImportBudget::Refusal(std::string_view station, int count) {
    std::lock_guard lock(mutex_);
    Expire();
    const std::string base = core::BaseCallsign(core::AsciiUpper(station));
    int mine = 0, all = 0;
    for (const TEntry& e : entries_) {
        all += e.count;
        if (e.station == base) mine += e.count;
    }
    if (mine + count > kMaxKeysPerStationHour)
        return core::FillArgs(
                   core::Tr("TPGP",
                            "Von dieser Station wurden in der letzten Stunde schon %1 Schlüssel "
                            "hinzugefügt (höchstens %2); keiner wurde hinzugefügt."),
                   {std::to_string(mine), std::to_string(kMaxKeysPerStationHour)}) +
               "\r";
    if (all + count > kMaxKeysPerHour)
        return core::FillArgs(core::Tr("TPGP",
                                       "In der letzten Stunde wurden schon %1 Schlüssel "
                                       "hinzugefügt (höchstens %2); keiner wurde hinzugefügt."),
                              {std::to_string(all), std::to_string(kMaxKeysPerHour)}) +
               "\r";
    return {};
}

void TKeyImportBudget::Add(std::string_view station, int count) {
    if (count <= 0) return;
    std::lock_guard lock(mutex_);
    Expire();
    entries_.push_back({clock_.SteadyMs(), core::BaseCallsign(core::AsciiUpper(station)), count});
}

// ---- text helpers ----------------------------------------------------------------------

std::string LineEndsToLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
        } else {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
    }
    return out;
}

std::string LineEndsToCr(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '\n', '\r');
    return out;
}

std::string AddArmourHeaders(std::string_view signedText, std::string_view version,
                             std::string_view comment) {
    std::size_t at = signedText.find(kSignatureBegin);
    if (at == std::string_view::npos) return std::string(signedText);
    at = signedText.find('\n', at);
    if (at == std::string_view::npos) return std::string(signedText);
    ++at;
    std::string headers = "Version: " + OneLine(version, false) + "\n";
    const std::string c = OneLine(comment.substr(0, kMaxComment), false);
    if (!c.empty()) headers += "Comment: " + c + "\n";
    std::string out(signedText);
    out.insert(at, headers);
    return out;
}

std::string OneLine(std::string_view text, bool utf8) {
    std::string out = utf8 ? platform::Utf8ToCp1252(text) : std::string(text);
    std::replace_if(
        out.begin(), out.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, ' ');
    return std::string(core::TrimControls(out));
}

std::string SignatureText(const platform::PgpSignature& s, bool detailed) {
    std::string signer;
    if (s.keyKnown)
        signer = "\"" + OneLine(s.signer, true) + "\"";
    else
        signer = (detailed ? "Unknown, ID=" : "Unbekannt (ID=") + OneLine(s.keyId, false) +
                 (detailed ? "" : ")");
    std::string out = SignerLine(detailed ? "Signer: " : "Unterzeichner: ", signer);
    const core::TDateTime t = core::UnixSecondsToDateTime(s.time);
    if (detailed) {
        out += "Checked: " + Bool(s.checked) + ".\r";
        out += "Verified: " + Bool(s.verified) + ".\r";
        out += "KeyValidity: " + std::string(ValidityName(s.validity)) + ".\r";
        out += "Date/Time: " + std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" +
               TwoDigits(t.day) + " " + TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" +
               TwoDigits(t.second) + " utc.\r";
        out += "KeyRevoked: " + Bool(s.revoked) + ".\r";
        out += "KeyDisabled: " + Bool(s.disabled) + ".\r";
        out += "KeyExpired: " + Bool(s.expired) + ".\r";
        return out;
    }
    if (!s.checked) return out + core::Tr("TPGP", "Die Unterschrift wurde nicht überprüft.") + "\r";
    if (!AtLeastMarginal(s.validity))
        out += core::Tr("TPGP", "Die Echtheit des Unterzeichnerschlüssels ist unbekannt.") + "\r";
    out +=
        (s.verified
             ? core::Tr("TPGP", "Die Unterschrift ist gültig.")
             : core::Tr("TPGP", "Die Unterschrift ist ungültig, die Nachricht wurde verändert.")) +
        "\r";
    out += core::FillArgs(
               core::Tr("TPGP", "Unterzeichnet am %1 um %2 utc."),
               {TwoDigits(t.day) + "." + TwoDigits(t.month) + "." + std::to_string(t.year),
                TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second)}) +
           "\r";
    if (s.revoked) out += core::Tr("TPGP", "Der Schlüssel wurde zurückgezogen.") + "\r";
    if (s.disabled) out += core::Tr("TPGP", "Der Schlüssel wurde deaktiviert.") + "\r";
    if (s.expired) out += core::Tr("TPGP", "Der Schlüssel ist abgelaufen.") + "\r";
    return out;
}

int SignatureSound(const platform::PgpSignature& s) {
    // A missing key says nothing about the text: unknown, not changed.
    if (s.checked && !s.verified) return kSoundPGPChanged;
    if (s.verified && s.keyKnown && AtLeastMarginal(s.validity)) return kSoundPGPValid;
    return kSoundPGPUnknown;
}

// ---- TPGP ------------------------------------------------------------------------------

TPGP::TPGP(TPGPOptions options)
    : options_(std::move(options)), thread_(std::this_thread::get_id()), engine_(options_.homeDir) {
    if (!options_.budget) {
        static const platform::SteadyClock clock;
        static const auto shared = std::make_shared<TKeyImportBudget>(clock);
        options_.budget = shared;
    }
}

void TPGP::CheckThread() const {
    TARVO_ASSERT(std::this_thread::get_id() == thread_, kUnit);
}

std::string TPGP::Decode(std::string_view block) {
    return DecodeFrom({}, block);
}

std::string TPGP::DecodeFrom(std::string_view station, std::string_view block) {
    CheckThread();
    std::string text = LineEndsToLf(block);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    const std::size_t start = text.find_first_not_of('\n');
    const std::string_view head =
        start == std::string::npos ? std::string_view{} : std::string_view(text).substr(start);
    if (head.starts_with(kSignedBegin)) return Verify(text);
    if (head.starts_with(kKeyBlockBegin)) return Import(station, text);
    throw platform::PgpError("Decode: weder signierte Nachricht noch Schl\xFCsselblock");
}

std::string TPGP::Verify(const std::string& text) {
    core::DebOutObj("TPGP", "Decode", "Decoding");
    const std::vector<platform::PgpSignature> signatures = engine_.Verify(text);
    const bool detailed = options_.detailedOutput && options_.detailedOutput();
    std::string out;
    int sound = kSoundPGPValid;
    for (const auto& s : signatures) {
        out += SignatureText(s, detailed);
        const int mine = SignatureSound(s);
        // The worst of several signatures sounds.
        if (mine == kSoundPGPChanged || sound == kSoundPGPValid) sound = mine;
    }
    if (options_.klaenge) options_.klaenge->Play(sound, nullptr);
    return out;
}

std::string TPGP::Import(std::string_view station, const std::string& text) {
    const auto found = engine_.KeysIn(text);
    const int count = static_cast<int>(found.size());
    core::DebOutObj("TPGP", "CheckSignature",
                    std::to_string(count) + " Schl\xFCssel von " + std::string(station));
    if (count == 0) return {};
    if (count > kMaxKeysPerBlock)
        return core::FillArgs(
                   core::Tr(
                       "TPGP",
                       "Der Block enthält %1 Schlüssel (höchstens %2); keiner wurde hinzugefügt."),
                   {std::to_string(count), std::to_string(kMaxKeysPerBlock)}) +
               "\r";
    if (std::string refusal = options_.budget->Refusal(station, count); !refusal.empty())
        return refusal;
    std::vector<platform::PgpKeyInfo> added;
    try {
        added = engine_.Import(text);
    } catch (const platform::PgpError& e) {
        core::DebOutObj("TPGP", "CheckSignature", std::string("FEHLER: ") + e.what());
        return core::Tr("TPGP",
                        "Die Schlüssel können nicht zum Schlüsselbund hinzugefügt werden:") +
               "\r" + OneLine(e.what(), false) + "\r";
    }
    options_.budget->Add(station, static_cast<int>(added.size()));
    if (added.empty()) return {};
    std::string out =
        core::Tr("TPGP", "Folgende Schlüssel wurden dem Schlüsselring hinzugefügt:") + "\r";
    for (const auto& key : added) out += "\"" + OneLine(key.userId, true) + "\"\r";
    return out;
}

std::vector<core::TPGPKey> TPGP::GetPrivateKeys() {
    CheckThread();
    std::vector<core::TPGPKey> keys;
    for (const auto& key : engine_.SecretKeys())
        keys.push_back({key.fingerprint, OneLine(key.userId, true) + " [" + key.algorithm + "]"});
    return keys;
}

std::string TPGP::Sign(std::string_view fingerprint, std::string_view passphrase,
                       std::string_view comment, std::string_view text) {
    CheckThread();
    std::string input = LineEndsToLf(text);
    // Callers may end the text with a zero byte for the signer.
    while (!input.empty() && input.back() == '\0') input.pop_back();
    const std::string signedText = engine_.ClearSign(fingerprint, passphrase, input);
    return LineEndsToCr(AddArmourHeaders(signedText, "Tarvo " + options_.versionText, comment));
}

// ---- start-up --------------------------------------------------------------------------

bool InstallPGP(TPGPOptions options) {
    SetCollectPublicKeysSetting(options.collectPublicKeys);
    const auto version =
        options.engineVersion ? options.engineVersion() : platform::PgpEngineVersion();
    if (!version) {
        core::DebOutObj("PGPApiU", "InitPGPDLL", "PGP nicht installiert.");
        core::SetPGPFactory(nullptr);
        return false;
    }
    core::DebOutObj("PGPApiU", "InitPGPDLL", "Version = " + *version);
    auto shared = std::make_shared<const TPGPOptions>(std::move(options));
    core::SetPGPFactory([shared]() -> std::unique_ptr<core::IPGP> {
        try {
            return std::make_unique<TPGP>(*shared);
        } catch (const std::exception& e) {
            core::DebOutObj("TPGP", "create", e.what());
            return nullptr;
        }
    });
    return true;
}

void UninstallPGP() {
    core::SetPGPFactory(nullptr);
    SetCollectPublicKeysSetting(nullptr);
}

}  // namespace tarvo::connection
