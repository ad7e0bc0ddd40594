#include "resources/TexteU.h"

#include <algorithm>
#include <cstdio>

#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "platform/Registry.h"

namespace tarvo::resources {

namespace {

constexpr std::string_view kClass = "TTexte";
constexpr auto kHive = platform::Hive::CurrentUser;

bool ValidKind(int kind) {
    return kind >= 0 && kind <= kLastTextKind;
}

std::string WithoutLf(std::string text) {
    std::erase(text, '\n');
    return text;
}

void AppendLiteral(std::string& out, std::string_view text) {
    for (char c : text) {
        if (c == '\n') continue;
        out += c;
        if (c == '^') out += '^';
    }
}

}  // namespace

void TextTyp(int kind, TTextTypRec& rec) {
    if (!ValidKind(kind)) return;
    rec.kind = kind;
    rec.generalOnly = kind == kTextInfo ? 1 : 0;
    switch (kind) {
        case kTextGreeting:
            rec.name = core::Tr("TTexte", "Begrüßung");
            break;
        case kTextQuit:
            rec.name = core::Tr("TTexte", "Abschied (//Q)");
            break;
        case kTextInfo:
            rec.name = core::Tr("TTexte", "Info über die Station (//I)");
            break;
        case kTextNews:
            rec.name = core::Tr("TTexte", "Neuigkeiten (//NE)");
            break;
        default: {
            const int n = kind - 3;
            rec.name = core::FillArgs(core::Tr("TTexte", "Textbaustein %1 (Strg+%2)"),
                                      {std::to_string(n), std::to_string(n % 10)});
        }
    }
}

std::string GeneralTextKey(int kind) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "%02d", kind);
    return std::string(core::TConfig::kRootKey) + "\\Texte\\" + suffix;
}

std::string ExpandText(std::string_view text, std::string_view name, std::string_view call) {
    return core::ExpandPlaceholders(text, [&](char letter, std::string& out) {
        if (letter == 'n' || letter == 'N') AppendLiteral(out, name.empty() ? call : name);
    });
}

TTexte::TTexte(platform::IRegistry& registry, core::TStationenQuelle stationen)
    : registry_(registry), stationen_(std::move(stationen)) {}

std::string TTexte::ReadGeneralLocked(int kind) const {
    if (!ValidKind(kind)) return {};
    const std::string key = GeneralTextKey(kind);
    // A missing value (never written, or reset) gives the default text; a value
    // that is there but not text gives an empty one.
    if (!registry_.GetValue(kHive, key, "Text")) {
        if (kind == kTextGreeting) return "\rHallo %n...\r";
        if (kind == kTextQuit) return "<Tarvo>: Tsch\xFCss...\r";
        return {};
    }
    return registry_.ReadText(kHive, key, "Text").value_or(std::string());
}

std::string TTexte::ReadGeneral(int kind) const {
    std::lock_guard lock(mutex_);
    return ReadGeneralLocked(kind);
}

void TTexte::WriteGeneral(int kind, std::string_view text) {
    if (!ValidKind(kind)) return;
    std::lock_guard lock(mutex_);
    core::DebOutObj(kClass, "Save", "*");
    registry_.WriteText(kHive, GeneralTextKey(kind), "Text", text);
}

void TTexte::ResetGeneral(int kind) {
    if (!ValidKind(kind)) return;
    std::lock_guard lock(mutex_);
    const std::string key = GeneralTextKey(kind);
    registry_.DeleteValue(kHive, key, "Text");
    registry_.DeleteValue(kHive, key, "StandardText");
}

bool TTexte::ReadStation(std::string_view key, int kind, bool& flag, std::string& text) const {
    const auto db = stationen_ ? stationen_() : nullptr;
    if (!db || key.empty()) return false;
    const auto entry = db->FindEntry(key, false);
    if (!entry) return false;
    entry->GetText(kind, text, flag);
    return true;
}

bool TTexte::Load(std::string_view key, int kind, bool& flag, std::string& text) const {
    core::DebOutObj(kClass, "Load", key.empty() ? std::string_view("*") : key);
    if (!key.empty()) {
        if (!ReadStation(key, kind, flag, text)) return false;
        text = WithoutLf(std::move(text));
        return true;
    }
    std::lock_guard lock(mutex_);
    flag = false;
    text = WithoutLf(ReadGeneralLocked(kind));
    return true;
}

std::string TTexte::BuildText(int kind, const core::IVerbindung* v) const {
    if (!ValidKind(kind)) return {};
    std::shared_ptr<core::IStationenDatenbankEintrag> entry;
    std::string call;
    if (v) {
        call = v->Call();
        // The callsign with its SSID first, then without.
        const auto db = stationen_ ? stationen_() : nullptr;
        if (db && !call.empty()) entry = db->FindEntry(call, true);
    }
    bool flag = true;
    std::string stationText;
    if (entry) {
        entry->GetText(kind, stationText, flag);
        stationText = WithoutLf(std::move(stationText));
    }
    std::string combined;
    if (!entry || flag) {
        bool unused = false;
        Load({}, kind, unused, combined);
    }
    combined += stationText;
    const std::string name = entry ? entry->GetName() : std::string();
    return ExpandText(combined, name, v ? std::string_view(call) : std::string_view("?"));
}

void TTexte::SendKind(int kind, core::IVerbindung& v) {
    const std::string text = BuildText(kind, &v);
    if (text.empty()) return;
    v.SendData(text, true, true, false, true);
}

}  // namespace tarvo::resources
