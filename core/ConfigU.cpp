#include "core/ConfigU.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "core/DebOutU.h"
#include "core/GlobalU.h"

namespace tarvo::core {

namespace {

constexpr platform::Hive kUser = platform::Hive::CurrentUser;

// Sub keys and value names.
constexpr std::string_view kRoot = "";
constexpr std::string_view kPgp = "\\PGP";
constexpr std::string_view kSid = "\\SID";
constexpr std::string_view kColors = "\\Colors";
constexpr std::string_view kWindowsMain = "\\Windows\\Main";
constexpr std::string_view kToolbar = "\\Toolbar";
constexpr std::string_view kUi = "\\UI";

// 0x00BBGGRR from red, green, blue.
constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return r | (g << 8) | (b << 16);
}

constexpr std::array<std::uint32_t, TConfig::kColorCount> kDefaultColors = {
    Rgb(255, 255, 255),  // 00 background of the channel consoles
    Rgb(0, 0, 0),        // 01 notices
    Rgb(0, 0, 127),      // 02 received text
    Rgb(159, 0, 0),      // 03 own text
    Rgb(0, 108, 127),    // 04 colour code 8
    Rgb(255, 255, 255),  // 05 background of the input editors
    Rgb(0, 0, 0),        // 06 input not yet sent
    Rgb(192, 0, 0),      // 07 input already sent
    Rgb(255, 255, 255),  // 08 background of the monitor console
    Rgb(0, 0, 127),      // 09 monitor headers
    Rgb(159, 0, 0),      // 10 highlighted monitor headers
    Rgb(0, 127, 0),      // 11 monitored information
    Rgb(96, 96, 96),     // 12 device messages
};

constexpr std::uint32_t kColorMask = 0xFFFFFF;

std::string KeyPath(std::string_view subKey) {
    std::string key(TConfig::kRootKey);
    if (!subKey.empty() && subKey.front() != '\\') key += '\\';
    key += subKey;
    return key;
}

std::string Quoted(std::string_view prefix, std::string_view name) {
    std::string text(prefix);
    text += " '";
    text += name;
    text += '\'';
    return text;
}

// A decimal integer with an optional sign filling the whole text; nullopt otherwise.
std::optional<std::int32_t> ParseInt(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool AcceptedFont(std::string_view name) {
    return std::find(TConfig::kFontNames.begin(), TConfig::kFontNames.end(), name) !=
           TConfig::kFontNames.end();
}

std::string ColorName(int index) {
    char name[16];
    std::snprintf(name, sizeof name, "%2.2d", index);
    return name;
}

}  // namespace

std::uint32_t TConfig::DefaultColor(int index) {
    if (index < 0 || index >= kColorCount) return 0;
    return kDefaultColors[static_cast<std::size_t>(index)];
}

// ---- creation and freeing ---------------------------------------------------

TConfig::TConfig(platform::IRegistry& registry, std::string versionText) : registry_(registry) {
    DebOutObj("TConfig", "Create", "begin...");
    {
        std::lock_guard lock(mutex_);
        monitor_ = ParseInt(ReadStringLocked(kUser, kRoot, "Monitor")).value_or(kDefaultMonitor);
        if (monitor_ == 1) monitor_ = kDefaultMonitor;
        font_.reset();

        std::string code = "00";
        if (versionText.size() >= 3) code = {versionText[0], versionText[2]};
        firstStepsCode_ = code;
        if (ReadStringLocked(kUser, kRoot, "First steps") != code) {
            WriteStringLocked(kUser, kRoot, "First steps", code);
            firstStepsDue_ = true;
        } else {
            firstStepsDue_ = false;
        }
    }
    DebOutObj("TConfig", "Create", "end.");
}

bool TConfig::FirstStepsDue() const {
    std::lock_guard lock(mutex_);
    return firstStepsDue_;
}

void TConfig::SetFirstStepsDue(bool due) {
    std::lock_guard lock(mutex_);
    WriteStringLocked(kUser, kRoot, "First steps", due ? std::string() : firstStepsCode_);
    firstStepsDue_ = due;
}

TConfig::~TConfig() {
    DebOutObj("TConfig", "Destroy", "begin...");
    {
        std::lock_guard lock(mutex_);
        WriteStringLocked(kUser, kRoot, "Monitor", std::to_string(monitor_));
    }
    DebOutObj("TConfig", "Destroy", "end.");
}

// ---- generic operations (unlocked) --------------------------------------------

bool TConfig::OpenKey(Hive hive, const std::string& key) const {
    return registry_.CreateKey(hive, key);
}

bool TConfig::ValueExistsLocked(Hive hive, std::string_view subKey, std::string_view name) const {
    const std::string key = KeyPath(subKey);
    if (!OpenKey(hive, key)) return false;
    return registry_.GetValue(hive, key, name).has_value();
}

std::string TConfig::ReadStringLocked(Hive hive, std::string_view subKey,
                                      std::string_view name) const {
    const std::string key = KeyPath(subKey);
    if (!OpenKey(hive, key)) return {};
    return registry_.ReadText(hive, key, name).value_or(std::string());
}

bool TConfig::WriteStringLocked(Hive hive, std::string_view subKey, std::string_view name,
                                std::string_view value) {
    const std::string key = KeyPath(subKey);
    if (!OpenKey(hive, key)) return false;
    return registry_.WriteText(hive, key, name, value);
}

bool TConfig::ReadBoolLocked(Hive hive, std::string_view subKey, std::string_view name,
                             bool defaultValue) const {
    const std::string key = KeyPath(subKey);
    if (!OpenKey(hive, key)) return defaultValue;
    const auto text = registry_.ReadText(hive, key, name);
    if (!text) return defaultValue;
    return *text == "1";
}

std::int32_t TConfig::ReadIntegerLocked(Hive hive, std::string_view subKey,
                                        std::string_view name) const {
    const std::string key = KeyPath(subKey);
    if (!OpenKey(hive, key)) throw TarvoConfigError("Can not open key");
    const auto value = registry_.GetValue(hive, key, name);
    if (!value) throw TarvoConfigError(Quoted("Failed to get data for", name));
    if (value->type != platform::kRegDword)
        throw TarvoConfigError(Quoted("Invalid data type for", name));
    return static_cast<std::int32_t>(value->number);
}

std::int32_t TConfig::ReadIntegerDefaultLocked(Hive hive, std::string_view subKey,
                                               std::string_view name,
                                               std::int32_t defaultValue) const {
    const std::string key = KeyPath(subKey);
    if (!OpenKey(hive, key)) return defaultValue;
    const auto value = registry_.ReadDWord(hive, key, name);
    if (!value) return defaultValue;
    return static_cast<std::int32_t>(*value);
}

void TConfig::WriteIntegerLocked(Hive hive, std::string_view subKey, std::string_view name,
                                 std::int32_t value) {
    const std::string key = KeyPath(subKey);
    if (!OpenKey(hive, key)) throw TarvoConfigError("Can not open key");
    if (!registry_.WriteDWord(hive, key, name, static_cast<std::uint32_t>(value)))
        throw TarvoConfigError(Quoted("Failed to set data for", name));
}

// ---- generic operations (public, locked) --------------------------------------

bool TConfig::ValueExists(Hive hive, std::string_view subKey, std::string_view name) const {
    std::lock_guard lock(mutex_);
    return ValueExistsLocked(hive, subKey, name);
}

std::string TConfig::ReadString(Hive hive, std::string_view subKey, std::string_view name) const {
    std::lock_guard lock(mutex_);
    return ReadStringLocked(hive, subKey, name);
}

bool TConfig::WriteString(Hive hive, std::string_view subKey, std::string_view name,
                          std::string_view value) {
    std::lock_guard lock(mutex_);
    return WriteStringLocked(hive, subKey, name, value);
}

bool TConfig::ReadBool(Hive hive, std::string_view subKey, std::string_view name,
                       bool defaultValue) const {
    std::lock_guard lock(mutex_);
    return ReadBoolLocked(hive, subKey, name, defaultValue);
}

bool TConfig::WriteBool(Hive hive, std::string_view subKey, std::string_view name, bool value) {
    std::lock_guard lock(mutex_);
    return WriteStringLocked(hive, subKey, name, value ? "1" : "0");
}

std::int32_t TConfig::ReadInteger(Hive hive, std::string_view subKey, std::string_view name) const {
    std::lock_guard lock(mutex_);
    return ReadIntegerLocked(hive, subKey, name);
}

std::int32_t TConfig::ReadIntegerDefault(Hive hive, std::string_view subKey, std::string_view name,
                                         std::int32_t defaultValue) const {
    std::lock_guard lock(mutex_);
    return ReadIntegerDefaultLocked(hive, subKey, name, defaultValue);
}

void TConfig::WriteInteger(Hive hive, std::string_view subKey, std::string_view name,
                           std::int32_t value) {
    std::lock_guard lock(mutex_);
    WriteIntegerLocked(hive, subKey, name, value);
}

// ---- shorthands -----------------------------------------------------------------

bool TConfig::GetBool(std::string_view subKey, std::string_view name, bool defaultValue) const {
    std::lock_guard lock(mutex_);
    return ReadBoolLocked(kUser, subKey, name, defaultValue);
}

void TConfig::PutBool(std::string_view subKey, std::string_view name, bool value) {
    std::lock_guard lock(mutex_);
    WriteStringLocked(kUser, subKey, name, value ? "1" : "0");
}

std::string TConfig::GetString(std::string_view subKey, std::string_view name) const {
    std::lock_guard lock(mutex_);
    return ReadStringLocked(kUser, subKey, name);
}

void TConfig::PutString(std::string_view subKey, std::string_view name, std::string_view value) {
    std::lock_guard lock(mutex_);
    WriteStringLocked(kUser, subKey, name, value);
}

std::int32_t TConfig::GetInteger(std::string_view subKey, std::string_view name,
                                 std::int32_t defaultValue) const {
    std::lock_guard lock(mutex_);
    return ReadIntegerDefaultLocked(kUser, subKey, name, defaultValue);
}

void TConfig::PutInteger(std::string_view subKey, std::string_view name, std::int32_t value) {
    std::lock_guard lock(mutex_);
    WriteIntegerLocked(kUser, subKey, name, value);
}

// ---- typed values -------------------------------------------------------------

std::int32_t TConfig::Monitor() const {
    std::lock_guard lock(mutex_);
    return monitor_;
}

void TConfig::SetMonitor(std::int32_t flags) {
    std::lock_guard lock(mutex_);
    if (flags == monitor_) return;
    monitor_ = flags;
    WriteStringLocked(kUser, kRoot, "Monitor", std::to_string(flags));
}

bool TConfig::SplashScreen() const {
    return GetBool(kRoot, "SplashScreen", true);
}

std::string TConfig::Font() const {
    std::lock_guard lock(mutex_);
    if (!font_) {
        std::string name = ReadStringLocked(kUser, kRoot, "Font");
        font_ = AcceptedFont(name) ? std::move(name) : std::string(kDefaultFont);
    }
    return *font_;
}

void TConfig::SetFont(std::string_view name) {
    std::lock_guard lock(mutex_);
    font_ = AcceptedFont(name) ? std::string(name) : std::string(kDefaultFont);
    WriteStringLocked(kUser, kRoot, "Font", name);
}

std::string TConfig::ConsoleFontFamily() const {
    return "Tarvo " + Font();
}

bool TConfig::HighColor() const {
    const bool defaultValue = ColourLevel() == 2;  // outside the lock
    return GetBool(kRoot, "HighColor", defaultValue);
}
void TConfig::SetHighColor(bool value) {
    PutBool(kRoot, "HighColor", value);
}

bool TConfig::Timestamp() const {
    return GetBool(kRoot, "Timestamp", false);
}

int TConfig::IncomingConnects() const {
    const std::string text = GetString(kRoot, "IncomingConnects");
    if (text == "2") return kIncomingIgnore;
    if (text == "3") return kIncomingReject;
    return kIncomingAccept;
}

void TConfig::SetIncomingConnects(int mode) {
    std::string text;
    if (mode >= kIncomingAccept && mode <= kIncomingReject) text = std::to_string(mode);
    PutString(kRoot, "IncomingConnects", text);
}

int TConfig::Channels() const {
    return std::clamp<std::int32_t>(GetInteger(kRoot, "Channels", kDefaultChannels), kMinChannels,
                                    kMaxChannels);
}
void TConfig::SetChannels(int channels) {
    PutInteger(kRoot, "Channels", std::clamp(channels, kMinChannels, kMaxChannels));
}

bool TConfig::LocalEcho() const {
    return GetBool(kRoot, "LocalEcho", true);
}
void TConfig::SetLocalEcho(bool value) {
    PutBool(kRoot, "LocalEcho", value);
}

bool TConfig::Dirty() const {
    return GetBool(kRoot, "Dirty", false);
}
void TConfig::SetDirty(bool value) {
    PutBool(kRoot, "Dirty", value);
}

bool TConfig::ForceDatabaseCheck() const {
    return GetBool(kRoot, "ForceDatabaseCheck", false);
}
void TConfig::SetForceDatabaseCheck(bool value) {
    PutBool(kRoot, "ForceDatabaseCheck", value);
}

int TConfig::ConsoleRows() const {
    return std::clamp<std::int32_t>(GetInteger(kRoot, "ConsoleRows", kDefaultConsoleRows),
                                    kMinConsoleRows, kMaxConsoleRows);
}
void TConfig::SetConsoleRows(int rows) {
    PutInteger(kRoot, "ConsoleRows", std::clamp(rows, kMinConsoleRows, kMaxConsoleRows));
}

int TConfig::AutobinMaxMB() const {
    return std::clamp<std::int32_t>(GetInteger(kRoot, "AutobinMaxMB", kDefaultAutobinMaxMB),
                                    kMinAutobinMaxMB, kMaxAutobinMaxMB);
}
void TConfig::SetAutobinMaxMB(int megabytes) {
    PutInteger(kRoot, "AutobinMaxMB", std::clamp(megabytes, kMinAutobinMaxMB, kMaxAutobinMaxMB));
}

bool TConfig::PgpCollectPublicKeys() const {
    return GetBool(kPgp, "CollectPublicKeys", true);
}
void TConfig::SetPgpCollectPublicKeys(bool value) {
    PutBool(kPgp, "CollectPublicKeys", value);
}
bool TConfig::PgpDetailedOutput() const {
    return GetBool(kPgp, "DetailedOutput", false);
}
void TConfig::SetPgpDetailedOutput(bool value) {
    PutBool(kPgp, "DetailedOutput", value);
}
std::string TConfig::PgpComment() const {
    return GetString(kPgp, "Comment");
}
void TConfig::SetPgpComment(std::string_view comment) {
    PutString(kPgp, "Comment", comment);
}

bool TConfig::SendSid() const {
    return GetBool(kSid, "SendSID", true);
}
void TConfig::SetSendSid(bool value) {
    PutBool(kSid, "SendSID", value);
}
bool TConfig::HideSentSid() const {
    return GetBool(kSid, "HideSentSID", true);
}
void TConfig::SetHideSentSid(bool value) {
    PutBool(kSid, "HideSentSID", value);
}
bool TConfig::HideReceivedSid() const {
    return GetBool(kSid, "HideReceivedSID", true);
}
void TConfig::SetHideReceivedSid(bool value) {
    PutBool(kSid, "HideReceivedSID", value);
}

std::uint32_t TConfig::Color(int index) const {
    if (index < 0 || index >= kColorCount) return 0;
    const std::uint32_t defaultValue = DefaultColor(index);
    const std::string name = ColorName(index);
    std::lock_guard lock(mutex_);
    if (!ValueExistsLocked(kUser, kColors, name)) return defaultValue;
    const auto value = static_cast<std::uint32_t>(
        ReadIntegerDefaultLocked(kUser, kColors, name, static_cast<std::int32_t>(defaultValue)));
    return value & kColorMask;
}

void TConfig::SetColor(int index, std::uint32_t color) {
    if (index < 0 || index >= kColorCount) return;
    PutInteger(kColors, ColorName(index), static_cast<std::int32_t>(color & kColorMask));
}

int TConfig::InputHeight() const {
    return std::clamp<std::int32_t>(GetInteger(kWindowsMain, "InputHeight", kDefaultPaneHeight),
                                    kMinPaneHeight, kMaxPaneHeight);
}
void TConfig::SetInputHeight(int pixels) {
    PutInteger(kWindowsMain, "InputHeight", std::clamp(pixels, kMinPaneHeight, kMaxPaneHeight));
}

int TConfig::MonitorHeight() const {
    return std::clamp<std::int32_t>(GetInteger(kWindowsMain, "MonitorHeight", kDefaultPaneHeight),
                                    kMinPaneHeight, kMaxPaneHeight);
}
void TConfig::SetMonitorHeight(int pixels) {
    PutInteger(kWindowsMain, "MonitorHeight", std::clamp(pixels, kMinPaneHeight, kMaxPaneHeight));
}

std::int32_t TConfig::ToolbarThemeValue() const {
    return GetInteger(kToolbar, "Theme", kDefaultTheme);
}
void TConfig::SetToolbarThemeValue(std::int32_t value) {
    PutInteger(kToolbar, "Theme", value);
}

std::optional<std::string> TConfig::ThemeForValue(std::int32_t value,
                                                  const std::vector<std::string>& available) {
    switch (value) {
        case 0:
            return "NewDefaultTheme";
        case 1:
            return "OfficeXP";
        case 2:
            return "Roma";
        case 3:
            return "NewOfficeXPTheme";
        default:
            break;
    }
    if (value >= 100) {
        const auto position = static_cast<std::size_t>(value - 100);
        if (position < available.size()) return available[position];
    }
    return std::nullopt;
}

std::optional<std::string> TConfig::ToolbarTheme(const std::vector<std::string>& available) const {
    return ThemeForValue(ToolbarThemeValue(), available);
}

std::int32_t TConfig::ValueForTheme(std::string_view theme,
                                    const std::vector<std::string>& available) {
    if (theme == "Default") return 0;
    if (theme == "OfficeXP") return 1;
    if (theme == "Roma") return 2;
    const auto it = std::find(available.begin(), available.end(), theme);
    if (it == available.end()) return 99;
    return 100 + static_cast<std::int32_t>(it - available.begin());
}

void TConfig::SetToolbarTheme(std::string_view theme, const std::vector<std::string>& available) {
    SetToolbarThemeValue(ValueForTheme(theme, available));
}

TConfig::ToolbarText TConfig::ToolbarTextMode() const {
    const std::int32_t value =
        GetInteger(kToolbar, "Text", static_cast<std::int32_t>(ToolbarText::Right));
    if (value < 0 || value > 2) return ToolbarText::Right;
    return static_cast<ToolbarText>(value);
}
void TConfig::SetToolbarTextMode(ToolbarText mode) {
    const int value = static_cast<int>(mode);
    PutInteger(kToolbar, "Text",
               value >= 0 && value <= 2 ? value : static_cast<int>(ToolbarText::Right));
}

std::string TConfig::UiDestination() const {
    return GetString(kUi, "Destination");
}
void TConfig::SetUiDestination(std::string_view value) {
    PutString(kUi, "Destination", value);
}
std::string TConfig::UiPort() const {
    return GetString(kUi, "Port");
}
void TConfig::SetUiPort(std::string_view value) {
    PutString(kUi, "Port", value);
}
std::string TConfig::UiMyCall() const {
    return GetString(kUi, "MyCall");
}
void TConfig::SetUiMyCall(std::string_view value) {
    PutString(kUi, "MyCall", value);
}

}  // namespace tarvo::core
