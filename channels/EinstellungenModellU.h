// The rules behind the settings window "Einstellungen" that need no display:
// the monitor check boxes and their flag bits, the sample monitor lines, the
// incoming-connects entries, the channel count, the font size list and the
// colour buttons of the three colour tabs.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "resources/KlaengeU.h"

namespace tarvo::resources {
class TTexte;
}

namespace tarvo::channels {

// ---- page "Monitor" -------------------------------------------------------------

// The check boxes, top to bottom.
enum TMonitorBox : int {
    kBoxStatus = 0,
    kBoxInformation,
    kBoxInhalt,
    kBoxBinaerdaten,
    kBoxUI,
    kBoxLokaleMeldungen,
    kBoxKanalnummer,
    kMonitorBoxCount,
};

struct TMonitorBoxInfo {
    std::string_view caption;  // code page 1252
    std::int32_t bit;
};
const std::array<TMonitorBoxInfo, kMonitorBoxCount>& MonitorBoxes();
// Every bit the page owns; storing clears all others.
std::int32_t MonitorPageBits();

using TMonitorChecks = std::array<bool, kMonitorBoxCount>;
TMonitorChecks MonitorChecksFromFlags(std::int32_t flags);
// A disabled box counts as it is checked: only the bits of checked boxes.
std::int32_t MonitorFlagsFromChecks(const TMonitorChecks& checks);
// "Inhalt" needs "Information (I)"; "Binärdaten" needs both.
bool MonitorBoxEnabled(const TMonitorChecks& checks, int box);

struct TMonitorSampleLine {
    enum Kind { Device, Header, Information } kind;
    std::string text;  // code page 1252, without line break
};
// What the monitor would show for these flags: a device message, a status
// frame pair, an I frame, a binary I frame and a UI frame, each as enabled.
std::vector<TMonitorSampleLine> MonitorSampleLines(std::int32_t flags);

// ---- page "Allgemein" -----------------------------------------------------------

// "annehmen", "ignorieren", "abweisen": the entry of a stored value (anything
// unknown selects the first), and the value of an entry.
int IncomingConnectsIndex(int stored);
int IncomingConnectsValue(int index);

int ClampChannelCount(int count);

// ---- page "Anzeige" -------------------------------------------------------------

struct TFontSizeEntry {
    std::string family;  // "Tarvo 08x12"
    std::string size;    // "08x12"
};
// The installed families that begin with "Tarvo" (any case), as size entries.
// Families with nothing after the prefix are left out.
std::vector<TFontSizeEntry> FontSizeEntries(const std::vector<std::string>& families);
// The stored size's entry, else the third, else the last there is; -1 for an
// empty list.
int FontSizeSelection(const std::vector<TFontSizeEntry>& entries, std::string_view stored);

struct TColourButton {
    std::string_view caption;  // code page 1252
    int colour;                // index into the configuration's colours
};
struct TColourTab {
    std::string_view caption;
    std::vector<TColourButton> buttons;  // top to bottom
};
// "Ausgabe", "Eingabe", "Monitor".
const std::vector<TColourTab>& ColourTabs();

// ---- page "Texte" ---------------------------------------------------------------

// Texts keep CR line ends; the editor shows and returns its own line breaks.
std::string TextForMemo(std::string_view stored);
std::string TextFromMemo(std::string_view memo);

// The general texts as the page edits them: each kind read when first shown,
// every shown kind written on Apply.
class TTextePage {
  public:
    explicit TTextePage(resources::TTexte& texte) : texte_(texte) {}
    // The kind's text for the editor.
    std::string Show(int kind);
    void Edit(int kind, std::string_view memo);
    void Apply();

  private:
    resources::TTexte& texte_;
    std::map<int, std::string> shown_;  // stored form
};

// ---- page "Klänge" ---------------------------------------------------------------

// The general sound settings as the page edits them; a scheme loaded into the
// page stays there until Apply.
class TKlaengePage {
  public:
    explicit TKlaengePage(resources::TKlaenge& klaenge) : klaenge_(klaenge) {}
    // The event's setting, read when first shown; signal and announcement at
    // least "keiner"/"keine".
    resources::TSoundSetting Show(int event);
    void Edit(int event, const resources::TSoundSetting& setting);
    void Apply();
    void LoadScheme(std::string_view text, const std::filesystem::path& folder);
    // Every event's setting as a scheme file.
    std::string SchemeText(const std::filesystem::path& folder);

  private:
    resources::TSoundSetting Current(int event) const;

    resources::TKlaenge& klaenge_;
    std::map<int, resources::TSoundSetting> shown_;
};

}  // namespace tarvo::channels
