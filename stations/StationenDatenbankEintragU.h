// One station of the station database, shared by everyone who has it open.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/InterfacesU.h"

namespace tarvo::stations {

class TStationenDatenbank;

// Read limits of the station's streams; writes are cut to them as well.
inline constexpr std::size_t kNameLimit = 200;
inline constexpr std::size_t kNotesLimit = 16384;
inline constexpr std::size_t kStreamTextLimit = 4096;

// Password roles and methods as stored in the stream names.
inline constexpr std::string_view kPasswordRoles = "US";     // Benutzer, Sysop
inline constexpr std::string_view kPasswordMethods = "BMD";  // BayCom, MD5, DieBox

struct TPasswordStream {
    std::string myCall;
    int role = 0;
    int method = 0;
};
// "P" + role letter + method letter + own callsign; empty when the parts do not
// make a stream name.
std::string PasswordStreamName(std::string_view myCall, int role, int method);
// The parts of a password stream name; nothing when it is none.
std::optional<TPasswordStream> ParsePasswordStream(std::string_view name);

// The remote-command permissions: keyword=1 (enabled) or =0 (locked).
using TRemoteCommandList = std::vector<std::pair<std::string, std::string>>;
TRemoteCommandList ParseRemoteCommands(std::string_view commaText);
std::string WriteRemoteCommands(const TRemoteCommandList& list);

class TStationenDatenbankEintrag final : public core::IStationenDatenbankEintrag {
  public:
    // Only the database creates entries.
    TStationenDatenbankEintrag(std::shared_ptr<TStationenDatenbank> database, std::string key);
    ~TStationenDatenbankEintrag() override;
    TStationenDatenbankEintrag(const TStationenDatenbankEintrag&) = delete;
    TStationenDatenbankEintrag& operator=(const TStationenDatenbankEintrag&) = delete;

    std::string GetCall() const override { return key_; }
    void SetName(std::string_view name);
    std::string GetName() const override;
    void SetNotes(std::string_view notes);
    std::string GetNotes() const;
    // Type 0..5, incoming policy 0 general, 1 accept, 2 ignore, 3 reject.
    void SetType(std::uint8_t type);
    std::uint8_t GetType() const override;
    void SetIncomingPolicy(std::uint8_t policy);
    std::uint8_t GetIncomingPolicy() const override;

    // False when the own callsign, role or method make no stream name.
    bool SetPasswort(std::string_view myCall, int role, std::string_view password, int method);
    std::string GetPasswort(std::string_view myCall, int role, int method) const override;
    std::string GetPasswortByStream(std::string_view streamName) const;
    // Removes an element of the station (a password stream); errors are ignored.
    void DeleteElement(std::string_view name);
    std::vector<std::string> ListPasswordStreams() const;

    void GetSound(int event, int& signal, std::string& waveFile, int& announcement) const override;
    bool SetSound(int event, int signal, int announcement, std::string_view waveFile);
    void DeleteSound(int event);
    void GetText(int kind, std::string& text, bool& flag) const override;
    bool SetText(int kind, std::string_view text, bool flag);
    void DeleteText(int kind);

    // True when the station has a setting for the keyword (without regard to case).
    bool GetRemoteCommand(std::string_view keyword, bool& enabled) const;
    void SetRemoteCommand(std::string_view keyword, bool enabled);
    void DeleteRemoteCommand(std::string_view keyword);
    TRemoteCommandList RemoteCommands() const;

  private:
    void ReadT() const;  // under lock_
    void WriteT();       // under lock_
    // Sets the type or the policy; "T" is written only when it changes.
    void SetT(std::uint8_t TStationenDatenbankEintrag::*field, std::uint8_t value);
    void ReadR() const;  // under lock_
    void WriteR();       // under lock_
    std::string Read(std::string_view stream, std::size_t limit) const;

    const std::shared_ptr<TStationenDatenbank> database_;
    const std::string key_;
    mutable std::mutex lock_;
    mutable bool tRead_ = false;
    mutable std::uint8_t type_ = 0;
    mutable std::uint8_t policy_ = 0;
    mutable std::optional<TRemoteCommandList> remote_;
};

}  // namespace tarvo::stations
