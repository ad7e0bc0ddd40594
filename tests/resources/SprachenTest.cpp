// The language decision at start and the language files' names.
#include "resources/SprachenU.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace tarvo::resources {

// Beside the enum, where the test's messages find it.
std::ostream& operator<<(std::ostream& os, TSprachAktion a) {
    static const char* const names[] = {"Deutsch", "Laden", "Fragen", "DeutschMitHinweis",
                                        "DeutschStill"};
    return os << names[static_cast<int>(a)];
}

namespace {

using A = TSprachAktion;
using F = TSprachDatei;

struct Case {
    const char* setting;
    const char* locale;
    F file;
    A standalone;  // what happens in a normal start
    A automation;  // and in the automation start mode
    const char* code;
};

TEST(Sprachen, DecisionFromSettingLocaleAndFile) {
    const Case cases[] = {
        // No setting: the locale decides; German and English ask nothing.
        {"", "de", F::Passend, A::Deutsch, A::Deutsch, ""},
        {"", "de", F::AndereVersion, A::Deutsch, A::Deutsch, ""},
        {"", "de", F::Fehlt, A::Deutsch, A::Deutsch, ""},
        {"", "en", F::Passend, A::Laden, A::Laden, "EN"},
        {"", "en", F::AndereVersion, A::DeutschMitHinweis, A::DeutschStill, "EN"},
        {"", "en", F::Fehlt, A::DeutschStill, A::DeutschStill, "EN"},
        {"", "C", F::Passend, A::Fragen, A::DeutschStill, ""},
        {"", "C", F::AndereVersion, A::Fragen, A::DeutschStill, ""},
        {"", "C", F::Fehlt, A::Fragen, A::DeutschStill, ""},
        {"", "fr", F::Passend, A::Fragen, A::DeutschStill, ""},
        {"", "", F::Passend, A::Fragen, A::DeutschStill, ""},
        {"", "de_AT", F::Passend, A::Deutsch, A::Deutsch, ""},
        {"", "en-GB", F::Passend, A::Laden, A::Laden, "EN"},
        {"", "ena", F::Passend, A::Fragen, A::DeutschStill, ""},
        // "DE" is built in, whatever the locale and the files.
        {"DE", "de", F::Passend, A::Deutsch, A::Deutsch, ""},
        {"DE", "en", F::AndereVersion, A::Deutsch, A::Deutsch, ""},
        {"DE", "C", F::Fehlt, A::Deutsch, A::Deutsch, ""},
        // Another code: its file decides, not the locale. A missing file is no
        // version conflict.
        {"XX", "de", F::Passend, A::Laden, A::Laden, "XX"},
        {"XX", "en", F::Passend, A::Laden, A::Laden, "XX"},
        {"XX", "C", F::Passend, A::Laden, A::Laden, "XX"},
        {"XX", "de", F::AndereVersion, A::DeutschMitHinweis, A::DeutschStill, "XX"},
        {"XX", "en", F::AndereVersion, A::DeutschMitHinweis, A::DeutschStill, "XX"},
        {"XX", "C", F::AndereVersion, A::DeutschMitHinweis, A::DeutschStill, "XX"},
        {"XX", "de", F::Fehlt, A::DeutschStill, A::DeutschStill, "XX"},
        {"XX", "en", F::Fehlt, A::DeutschStill, A::DeutschStill, "XX"},
        {"XX", "C", F::Fehlt, A::DeutschStill, A::DeutschStill, "XX"},
        // Anything but two letters A-Z is ignored: German, no file looked at.
        {"en", "en", F::Passend, A::DeutschStill, A::DeutschStill, ""},
        {"E", "C", F::Passend, A::DeutschStill, A::DeutschStill, ""},
        {"ENG", "C", F::Passend, A::DeutschStill, A::DeutschStill, ""},
        {"E1", "C", F::Passend, A::DeutschStill, A::DeutschStill, ""},
        {" EN", "C", F::Passend, A::DeutschStill, A::DeutschStill, ""},
        {"../", "C", F::Passend, A::DeutschStill, A::DeutschStill, ""},
        {"\xC4N", "C", F::Passend, A::DeutschStill, A::DeutschStill, ""},
    };
    for (const Case& c : cases) {
        for (bool automation : {false, true}) {
            std::vector<std::string> asked;
            const auto file = [&](const std::string& code) {
                asked.push_back(code);
                return c.file;
            };
            const TSprachEntscheidung d =
                TSprachen::Entscheide(c.setting, c.locale, file, automation);
            SCOPED_TRACE(testing::Message()
                         << "setting '" << c.setting << "' locale '" << c.locale << "' file "
                         << static_cast<int>(c.file) << (automation ? " automation" : ""));
            EXPECT_EQ(d.aktion, automation ? c.automation : c.standalone);
            EXPECT_EQ(d.code, c.code);
            // Only a valid code other than German is ever looked up.
            if (d.code.empty())
                EXPECT_TRUE(asked.empty());
            else
                EXPECT_EQ(asked, std::vector<std::string>{d.code});
        }
    }
}

TEST(Sprachen, FileNamesAndTheChoosersList) {
    EXPECT_EQ(TSprachen::Dateiname("EN"), "tarvo_en.qm");
    struct {
        const char* name;
        const char* code;
    } names[] = {
        {"tarvo_en.qm", "EN"}, {"tarvo_fr.qm", "FR"},  {"tarvo_EN.qm", ""}, {"tarvo_e.qm", ""},
        {"tarvo_eng.qm", ""},  {"tarvo_e1.qm", ""},    {"tarvo_en.ts", ""}, {"qtbase_en.qm", ""},
        {"tarvo_en.qm~", ""},  {"tarvo_\xE4n.qm", ""}, {"tarvo_.qm", ""},   {"", ""},
    };
    for (const auto& n : names) EXPECT_EQ(TSprachen::CodeAusDateiname(n.name), n.code) << n.name;

    EXPECT_EQ(TSprachen::Auswahl({}), std::vector<std::string>{"DE"});
    EXPECT_EQ(TSprachen::Auswahl({"tarvo_fr.qm", "readme", "tarvo_en.qm", "tarvo_de.qm",
                                  "tarvo_en.qm", "tarvo_x.qm"}),
              (std::vector<std::string>{"DE", "EN", "FR"}));
}

}  // namespace
}  // namespace tarvo::resources
