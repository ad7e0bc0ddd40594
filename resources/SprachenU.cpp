#include "resources/SprachenU.h"

#include <algorithm>

namespace tarvo::resources {

namespace {

constexpr std::string_view kPrefix = "tarvo_";
constexpr std::string_view kSuffix = ".qm";

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameLanguage(std::string_view locale, std::string_view code) {
    // "de", "de_AT" and "de-CH" all count as German.
    if (locale.size() < 2 || (locale.size() > 2 && locale[2] != '_' && locale[2] != '-'))
        return false;
    return Lower(locale[0]) == Lower(code[0]) && Lower(locale[1]) == Lower(code[1]);
}

}  // namespace

bool TSprachen::IstCode(std::string_view code) {
    return code.size() == 2 &&
           std::all_of(code.begin(), code.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

TSprachEntscheidung TSprachen::Entscheide(
    std::string_view setting, std::string_view localeLanguage,
    const std::function<TSprachDatei(const std::string&)>& datei, bool automation) {
    std::string code(setting);
    if (code.empty()) {
        if (SameLanguage(localeLanguage, "de")) return {TSprachAktion::Deutsch, {}};
        if (!SameLanguage(localeLanguage, "en"))
            return {automation ? TSprachAktion::DeutschStill : TSprachAktion::Fragen, {}};
        code = "EN";
    }
    // A hand-edited or damaged value must not pick a file name of its own.
    if (!IstCode(code)) return {TSprachAktion::DeutschStill, {}};
    if (code == kDeutsch) return {TSprachAktion::Deutsch, {}};
    switch (datei ? datei(code) : TSprachDatei::Fehlt) {
        case TSprachDatei::Passend:
            return {TSprachAktion::Laden, code};
        case TSprachDatei::AndereVersion:
            // In the automation start nobody sees the notice, and a modal one
            // would hold up the client waiting for the program.
            return {automation ? TSprachAktion::DeutschStill : TSprachAktion::DeutschMitHinweis,
                    code};
        case TSprachDatei::Fehlt:
            break;
    }
    // No file is no version conflict: nothing to tell.
    return {TSprachAktion::DeutschStill, code};
}

std::string TSprachen::Dateiname(std::string_view code) {
    std::string name(kPrefix);
    for (char c : code) name += Lower(c);
    name += kSuffix;
    return name;
}

std::string TSprachen::CodeAusDateiname(std::string_view name) {
    if (name.size() != kPrefix.size() + 2 + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix))
        return {};
    std::string code{Upper(name[kPrefix.size()]), Upper(name[kPrefix.size() + 1])};
    // Only lower-case names are ours; "tarvo_EN.qm" would be another file.
    if (Lower(code[0]) != name[kPrefix.size()] || Lower(code[1]) != name[kPrefix.size() + 1])
        return {};
    return IstCode(code) ? code : std::string();
}

std::vector<std::string> TSprachen::Auswahl(const std::vector<std::string>& dateinamen) {
    std::vector<std::string> codes;
    for (const std::string& name : dateinamen) {
        std::string code = CodeAusDateiname(name);
        if (!code.empty() && code != kDeutsch) codes.push_back(std::move(code));
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    codes.insert(codes.begin(), std::string(kDeutsch));
    return codes;
}

}  // namespace tarvo::resources
