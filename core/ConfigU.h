// The configuration store: the program's general settings, one registry value
// per setting under HKEY_CURRENT_USER "\Software\Morvane\Tarvo".
//
// Values are read on demand, so a change made by the settings pages is seen at
// once by every reader; only `Monitor` (read at creation) and `Font` (read on
// first use) are cached. Every access creates the key it touches when it is
// missing, so reading also creates missing keys. Every operation is safe from
// any thread.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace tarvo::core {

// What the raising generic operations throw: "Can not open key", "Failed to get
// data for 'Name'", "Invalid data type for 'Name'", "Failed to set data for 'Name'".
class TarvoConfigError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TConfig {
  public:
    using Hive = platform::Hive;

    // The key every subkey path is appended to.
    static constexpr std::string_view kRootKey = "\\Software\\Morvane\\Tarvo";

    // Monitor flags: the default, and the two bits with a meaning of their own.
    static constexpr std::int32_t kDefaultMonitor = 350;
    static constexpr std::int32_t kMonitorNoBinaryDetection = 0x80;
    static constexpr std::int32_t kMonitorPrefixDevicePort = 0x100;

    // `IncomingConnects`.
    static constexpr int kIncomingAccept = 1;  // "annehmen"
    static constexpr int kIncomingIgnore = 2;  // "ignorieren"
    static constexpr int kIncomingReject = 3;  // "abweisen"

    // `Channels` and `ConsoleRows`: defaults and the range a read is clamped to.
    static constexpr int kDefaultChannels = 8, kMinChannels = 1, kMaxChannels = 40;
    static constexpr int kDefaultConsoleRows = 1250, kMinConsoleRows = 500, kMaxConsoleRows = 30000;
    // `InputHeight` and `MonitorHeight` in pixels.
    static constexpr int kDefaultPaneHeight = 64, kMinPaneHeight = 0, kMaxPaneHeight = 10000;

    // `Font`: the console font size names; the font used is "Tarvo " + name.
    static constexpr std::string_view kDefaultFont = "08x12";
    static constexpr std::array<std::string_view, 6> kFontNames = {"07x09", "08x09", "08x12",
                                                                   "08x13", "08x15", "10x18"};

    // `\Colors` "00" to "12", each 0x00BBGGRR.
    static constexpr int kColorCount = 13;
    enum ColorIndex : int {
        kColorChannelBackground = 0,
        kColorChannelNotice = 1,    // colour code 15
        kColorChannelReceived = 2,  // colour code 10
        kColorChannelOwn = 3,       // colour code 1
        kColorChannelCode8 = 4,
        kColorInputBackground = 5,
        kColorInputUnsent = 6,
        kColorInputSent = 7,
        kColorMonitorBackground = 8,
        kColorMonitorHeader = 9,            // colour code 10
        kColorMonitorHeaderHighlight = 10,  // colour code 1
        kColorMonitorInfo = 11,             // colour code 5
        kColorMonitorDevice = 12,           // colour code 6
    };
    // The default of a colour; 0 for an index outside 0..12.
    static std::uint32_t DefaultColor(int index);

    // `\Toolbar` `Theme`: the default stored value and the fixed theme names.
    static constexpr std::int32_t kDefaultTheme = 1;
    // `\Toolbar` `Text`.
    enum class ToolbarText : int { None = 0, Right = 1, Below = 2 };

    // Reads `Monitor` into the cache and settles first steps. versionText is the
    // program's version text ("0.01.000"); its first and third characters make the
    // first-steps code.
    TConfig(platform::IRegistry& registry, std::string versionText);
    // Writes the cached monitor flags back to `Monitor`.
    ~TConfig();

    TConfig(const TConfig&) = delete;
    TConfig& operator=(const TConfig&) = delete;

    // ---- generic operations ------------------------------------------------
    // subKey is appended to kRootKey ("" for the root, "\PGP", "\Windows\Main";
    // a missing leading backslash is supplied). Names are ASCII; string values
    // are code page 1252 text.

    // Whether the value exists (of any type); false when the key cannot be opened.
    bool ValueExists(Hive hive, std::string_view subKey, std::string_view name) const;
    // Empty when the value is missing, not a string, or the key cannot be opened.
    std::string ReadString(Hive hive, std::string_view subKey, std::string_view name) const;
    // False when the key cannot be opened or the value cannot be stored.
    bool WriteString(Hive hive, std::string_view subKey, std::string_view name,
                     std::string_view value);
    // Exactly "1" is true, any other string false; missing, not a string, or a key
    // that cannot be opened gives defaultValue.
    bool ReadBool(Hive hive, std::string_view subKey, std::string_view name,
                  bool defaultValue) const;
    // Stores "1" or "0". False when the key cannot be opened or the value cannot be stored.
    bool WriteBool(Hive hive, std::string_view subKey, std::string_view name, bool value);
    // A stored integer (DWORD, as its 32-bit pattern). Throws TarvoConfigError:
    // "Can not open key", "Failed to get data for 'Name'" when the value is
    // missing, "Invalid data type for 'Name'" when it is not an integer.
    std::int32_t ReadInteger(Hive hive, std::string_view subKey, std::string_view name) const;
    // Any failure gives defaultValue.
    std::int32_t ReadIntegerDefault(Hive hive, std::string_view subKey, std::string_view name,
                                    std::int32_t defaultValue) const;
    // Throws TarvoConfigError "Can not open key", or "Failed to set data for 'Name'"
    // when the name is not acceptable.
    void WriteInteger(Hive hive, std::string_view subKey, std::string_view name,
                      std::int32_t value);

    // ---- typed values (HKEY_CURRENT_USER) -----------------------------------

    // `Monitor`: the cached flags. The setter also writes them at once.
    std::int32_t Monitor() const;
    void SetMonitor(std::int32_t flags);

    // Whether the first-steps window is due (settled at creation).
    bool FirstStepsDue() const;
    // The operator's "Nicht mehr anzeigen": not due stores this version's code,
    // due clears it, so the window comes again at the next start.
    void SetFirstStepsDue(bool due);

    // `SplashScreen`, default true. Written by the settings pages (generic operations).
    bool SplashScreen() const;

    // `Font`: one of kFontNames; anything else reads as "08x12". Read once, then
    // cached. The setter stores name as given and caches it when it is one of the
    // six (otherwise "08x12").
    std::string Font() const;
    void SetFont(std::string_view name);
    // The console font family: "Tarvo " + Font().
    std::string ConsoleFontFamily() const;

    // `HighColor`: default true exactly when the colour level is 2.
    bool HighColor() const;
    void SetHighColor(bool value);

    // `Timestamp`, default false. Written by the settings pages (generic operations).
    bool Timestamp() const;

    // `IncomingConnects`: kIncomingAccept, kIncomingIgnore or kIncomingReject; any
    // other stored text reads as accept. Writing another number stores "".
    int IncomingConnects() const;
    void SetIncomingConnects(int mode);

    // The setters of integers raise like WriteInteger; the other setters do
    // nothing when the key cannot be opened.

    // `Channels`: default 8, read and written clamped to 1..40.
    int Channels() const;
    void SetChannels(int channels);

    // `LocalEcho`, default true.
    bool LocalEcho() const;
    void SetLocalEcho(bool value);

    // `Dirty`, default false: set while the program runs.
    bool Dirty() const;
    void SetDirty(bool value);

    // `ForceDatabaseCheck`, default false.
    bool ForceDatabaseCheck() const;
    void SetForceDatabaseCheck(bool value);

    // `ConsoleRows`: default 1250, read and written clamped to 500..30000.
    int ConsoleRows() const;
    void SetConsoleRows(int rows);

    // `AutobinMaxMB`: the largest file AutoBIN may write to the disk, in MiB;
    // default 100, read and written clamped to 1..2047.
    static constexpr int kDefaultAutobinMaxMB = 100, kMinAutobinMaxMB = 1, kMaxAutobinMaxMB = 2047;
    int AutobinMaxMB() const;
    void SetAutobinMaxMB(int megabytes);

    // `\PGP`.
    bool PgpCollectPublicKeys() const;  // default true
    void SetPgpCollectPublicKeys(bool value);
    bool PgpDetailedOutput() const;  // default false
    void SetPgpDetailedOutput(bool value);
    std::string PgpComment() const;  // default empty
    void SetPgpComment(std::string_view comment);

    // `\SID`, each default true.
    bool SendSid() const;
    void SetSendSid(bool value);
    bool HideSentSid() const;
    void SetHideSentSid(bool value);
    bool HideReceivedSid() const;
    void SetHideReceivedSid(bool value);

    // `\Colors`: 0x00BBGGRR, masked to 24 bits on reading and writing. The value
    // is read only when it exists; a value that is not an integer gives the
    // default. An index outside 0..12 reads 0 and writes nothing.
    std::uint32_t Color(int index) const;
    void SetColor(int index, std::uint32_t color);

    // `\Windows\Main` pane heights: default 64, clamped to 0..10000.
    int InputHeight() const;
    void SetInputHeight(int pixels);
    int MonitorHeight() const;
    void SetMonitorHeight(int pixels);

    // `\Toolbar` `Theme` as stored (default 1), unclamped.
    std::int32_t ToolbarThemeValue() const;
    void SetToolbarThemeValue(std::int32_t value);
    // The theme the stored value selects: 0 "NewDefaultTheme", 1 "OfficeXP",
    // 2 "Roma", 3 "NewOfficeXPTheme", 100 and above available[value - 100];
    // nullopt ("keep the current theme") for any other value, also for a position
    // past the end of available.
    static std::optional<std::string> ThemeForValue(std::int32_t value,
                                                    const std::vector<std::string>& available);
    std::optional<std::string> ToolbarTheme(const std::vector<std::string>& available) const;
    // The value stored for a theme at shutdown: "Default" 0, "OfficeXP" 1, "Roma" 2,
    // any other 100 + its position in available (99 when it is not listed, which
    // reads back as "keep").
    static std::int32_t ValueForTheme(std::string_view theme,
                                      const std::vector<std::string>& available);
    void SetToolbarTheme(std::string_view theme, const std::vector<std::string>& available);

    // `\Toolbar` `Text`: 0..2; any other stored value reads as Right (1).
    ToolbarText ToolbarTextMode() const;
    void SetToolbarTextMode(ToolbarText mode);

    // `\UI`, each default empty.
    std::string UiDestination() const;
    void SetUiDestination(std::string_view value);
    std::string UiPort() const;
    void SetUiPort(std::string_view value);
    std::string UiMyCall() const;
    void SetUiMyCall(std::string_view value);

  private:
    // The unlocked work of the generic operations; the caller holds mutex_.
    bool OpenKey(Hive hive, const std::string& key) const;
    bool ValueExistsLocked(Hive hive, std::string_view subKey, std::string_view name) const;
    std::string ReadStringLocked(Hive hive, std::string_view subKey, std::string_view name) const;
    bool WriteStringLocked(Hive hive, std::string_view subKey, std::string_view name,
                           std::string_view value);
    bool ReadBoolLocked(Hive hive, std::string_view subKey, std::string_view name,
                        bool defaultValue) const;
    std::int32_t ReadIntegerLocked(Hive hive, std::string_view subKey, std::string_view name) const;
    std::int32_t ReadIntegerDefaultLocked(Hive hive, std::string_view subKey, std::string_view name,
                                          std::int32_t defaultValue) const;
    void WriteIntegerLocked(Hive hive, std::string_view subKey, std::string_view name,
                            std::int32_t value);

    // Locked shorthands for HKEY_CURRENT_USER.
    bool GetBool(std::string_view subKey, std::string_view name, bool defaultValue) const;
    void PutBool(std::string_view subKey, std::string_view name, bool value);
    std::string GetString(std::string_view subKey, std::string_view name) const;
    void PutString(std::string_view subKey, std::string_view name, std::string_view value);
    std::int32_t GetInteger(std::string_view subKey, std::string_view name,
                            std::int32_t defaultValue) const;
    // Raises like WriteInteger.
    void PutInteger(std::string_view subKey, std::string_view name, std::int32_t value);

    platform::IRegistry& registry_;
    mutable std::mutex mutex_;  // serialises the registry access and guards the caches
    std::int32_t monitor_ = kDefaultMonitor;
    bool firstStepsDue_ = false;
    std::string firstStepsCode_;
    mutable std::optional<std::string> font_;  // empty until the first read
};

}  // namespace tarvo::core
