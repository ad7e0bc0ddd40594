// The language of the user interface: which one to use at start, and the
// language files beside the program. German is built in; every other language
// comes from a file whose version must match the program's.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::resources {

// What the Qt layer found for the file of a language.
enum class TSprachDatei {
    Passend,        // present, of this program's version
    AndereVersion,  // present, but of another version or unreadable
    Fehlt,          // no such file
};

enum class TSprachAktion {
    Deutsch,            // the built-in German, nothing to load
    Laden,              // load the file of `code`
    Fragen,             // show the chooser, then decide again with its answer
    DeutschMitHinweis,  // German, with the version notice for `code`
    DeutschStill,       // German without a word: no usable file, or a setting that is no code
};

struct TSprachEntscheidung {
    TSprachAktion aktion = TSprachAktion::Deutsch;
    std::string code;  // the language meant; empty for Deutsch, Fragen and a bad setting
    bool operator==(const TSprachEntscheidung&) const = default;
};

class TSprachen {
  public:
    static constexpr std::string_view kDeutsch = "DE";
    // The setting under TConfig::kRootKey (current user).
    static constexpr std::string_view kValueName = "Sprache";

    // Exactly two letters A to Z.
    static bool IstCode(std::string_view code);

    // setting: the stored "Sprache"; localeLanguage: the primary language of the
    // user's locale ("de", "en", "C", ...); datei: the state of a language's file;
    // automation: the automation start mode, in which nobody answers a dialog.
    static TSprachEntscheidung Entscheide(
        std::string_view setting, std::string_view localeLanguage,
        const std::function<TSprachDatei(const std::string&)>& datei, bool automation);

    // "tarvo_en.qm" for "EN".
    static std::string Dateiname(std::string_view code);
    // "EN" for "tarvo_en.qm"; empty when the name is not that of a language file.
    static std::string CodeAusDateiname(std::string_view name);
    // What the chooser lists: "DE" first, then the codes of the files found,
    // sorted, each once.
    static std::vector<std::string> Auswahl(const std::vector<std::string>& dateinamen);
};

}  // namespace tarvo::resources
