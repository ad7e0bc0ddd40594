// The prepared texts a station sends: greeting, farewell, info, news and the
// operator's ten text blocks. A general version of each lives in the settings,
// optional per-station versions in the station database.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/InterfacesU.h"

namespace tarvo::platform {
class IRegistry;
}

namespace tarvo::resources {

inline constexpr int kTextGreeting = 0;
inline constexpr int kTextQuit = 1;
inline constexpr int kTextInfo = 2;
inline constexpr int kTextNews = 3;
inline constexpr int kFirstTextBlock = 4;
inline constexpr int kLastTextKind = 13;
inline constexpr int kTextKindCount = 14;

struct TTextTypRec {
    std::string name;  // code page 1252
    int kind = 0;
    std::uint8_t generalOnly = 0;
};
// Fills the record for kinds 0 to 13; any other kind leaves it as it is.
void TextTyp(int kind, TTextTypRec& rec);

// The settings key of a kind's general text: "\Software\Morvane\Tarvo\Texte\00".
std::string GeneralTextKey(int kind);

// Expands "%%" and "%n"/"%N" and drops LF; '%' with any other character
// vanishes with it. name and call are taken as literal text: carets in them
// are doubled, since the text is sent with caret escapes expanded.
std::string ExpandText(std::string_view text, std::string_view name, std::string_view call);

class TTexte final : public core::ITexte {
  public:
    // stationen is asked at each use: the database opens after the texts.
    TTexte(platform::IRegistry& registry, core::TStationenQuelle stationen);
    TTexte(platform::IRegistry& registry, std::shared_ptr<core::IStationenDatenbank> stationen)
        : TTexte(registry, [stationen] { return stationen; }) {}
    TTexte(const TTexte&) = delete;
    TTexte& operator=(const TTexte&) = delete;

    std::string ReadGeneral(int kind) const;
    void WriteGeneral(int kind, std::string_view text);
    // Back to the default text.
    void ResetGeneral(int kind);
    // The station's text (exact key); false when the station is not known.
    bool ReadStation(std::string_view key, int kind, bool& flag, std::string& text) const;
    // With a key the station's text, else the general one (flag false); LF removed.
    bool Load(std::string_view key, int kind, bool& flag, std::string& text) const;
    void Save(int kind, std::string_view text) { WriteGeneral(kind, text); }
    void Delete(int kind) { ResetGeneral(kind); }

    // The text of that kind for the connection, expanded.
    std::string BuildText(int kind, const core::IVerbindung* verbindung) const;
    // Builds the text and sends it on the connection (echoed, caret escapes
    // expanded, through the user send queue). The lock is not held while
    // sending: the echo waits for the main thread, which may be building a text.
    void SendKind(int kind, core::IVerbindung& verbindung);

    void SendText(int kind, core::IVerbindung& verbindung) override { SendKind(kind, verbindung); }
    std::string GetText(int kind, core::IVerbindung* verbindung) override {
        return BuildText(kind, verbindung);
    }

  private:
    std::string ReadGeneralLocked(int kind) const;

    platform::IRegistry& registry_;
    core::TStationenQuelle stationen_;
    mutable std::mutex mutex_;
};

}  // namespace tarvo::resources
