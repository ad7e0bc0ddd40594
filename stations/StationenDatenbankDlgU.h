// What the station dialog does, without a display: the station list with its
// search, adding and removing stations, and the fields of the selected station
// (name, type, incoming policy, notes, texts, sounds, passwords, remote-command
// permissions), stored back when another station is selected or the dialog closes.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stations/StationenDatenbankEintragU.h"

namespace tarvo::stations {

class TStationenDatenbank;

// Text kinds a station may have its own version of (kind 2, the info text, is general only).
inline constexpr int kTextKinds = 14;
bool StationTextKind(int kind);
// "Begrüßung", "Abschied (//Q)", ..., "Textbaustein 10 (Strg+0)" (code page 1252).
std::string TextKindLabel(int kind);

// Sound events a station may have its own setting for.
inline constexpr int kStationSoundEvents = 14;
// "Verbindung: Aufbau", ... (code page 1252).
std::string SoundEventLabel(int event);
// Whether the event offers an announcement.
bool SoundEventAnnouncement(int event);
// Signal modes 0 not set, 1 none, 2 tones, 3 wave file; announcement modes
// 0 not set, 1 none, 2 voice, 3 Morse.
std::string SignalName(int signal);
std::string AnnouncementName(int announcement);
// "Benutzer"/"Sysop", "BayCom"/"MD5"/"DieBox".
std::string PasswordRoleName(int role);
std::string_view PasswordMethodName(int method);

struct TStationText {
    bool flag = true;  // "Vorher Standardtext senden"
    std::string text;
    friend bool operator==(const TStationText&, const TStationText&) = default;
};

struct TStationSound {
    int signal = 0;
    std::string waveFile;
    int announcement = 0;
    friend bool operator==(const TStationSound&, const TStationSound&) = default;
};

struct TStationFields {
    std::string name;
    std::string notes;
    int typeIndex = 0;  // 0 "Automatisch" .. 5 "Cluster"
    // "Firewall" checked: the station's own answer to incoming connects; the
    // combo index is 0 accept, 1 ignore, 2 reject.
    bool firewall = false;
    int policyIndex = 0;
    std::array<TStationText, kTextKinds> texts;
    std::array<TStationSound, kStationSoundEvents> sounds;
    TRemoteCommandList remote;  // keyword and "1" or "0"
};

struct TPasswordRow {
    std::string stream;
    std::string myCall;
    int role = 0;
    int method = 0;
};

class TStationenDatenbankDlgModell {
  public:
    // generalPolicy: the configuration's answer to incoming connects (1..3),
    // shown while a station has none of its own.
    TStationenDatenbankDlgModell(std::shared_ptr<TStationenDatenbank> database, int generalPolicy);
    // Stores the selected station.
    ~TStationenDatenbankDlgModell();

    const std::vector<std::string>& Keys() const { return keys_; }
    // The station to show for a search text as it is typed: the first key that
    // begins with it (without regard to case), else the first that contains it; -1 none.
    int Find(std::string_view text) const;

    // The upper-cased callsign for "Neues Rufzeichen...", or nothing for
    // "Ungültiges Rufzeichen".
    static std::optional<std::string> NewCall(std::string_view text);
    // Selects the station of the callsign, creating it when new; -1 when the
    // callsign is invalid.
    int Add(std::string_view text);
    // Deletes the station at the index; false (the dialog beeps) when it is in
    // use elsewhere.
    bool Remove(int index);

    // Stores the selected station, then loads the one at the index (-1: none).
    void Select(int index);
    int Selected() const { return selected_; }
    // "Einstellungen für %s:" (code page 1252); empty without a station.
    std::string Heading() const;
    TStationFields& Fields() { return fields_; }
    const TStationFields& Fields() const { return fields_; }
    // Writes the fields to the selected station.
    void Store();

    std::vector<TPasswordRow> Passwords() const;
    std::string Password(const std::string& stream) const;
    // Adds a password, or replaces the one of oldStream (removed first).
    bool SavePassword(const std::string& oldStream, std::string_view myCall, int role, int method,
                      std::string_view password);
    void DeletePassword(const std::string& stream);

  private:
    void Reload();
    void Load();

    std::shared_ptr<TStationenDatenbank> database_;
    int generalPolicy_;
    std::vector<std::string> keys_;
    int selected_ = -1;
    std::shared_ptr<TStationenDatenbankEintrag> entry_;
    TStationFields fields_;
    TStationFields loaded_;
};

}  // namespace tarvo::stations
