// Global services of the process: version, folders, the quit event, file
// helpers, text wrapping, time conversion and the program's exceptions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Demangle.h"
#include "platform/Event.h"

namespace tarvo::core {

using platform::DemangledTypeName;

// Before the system's own words to a station: replies, results, refusals.
inline constexpr std::string_view kReplyPrefix = "<Tarvo>: ";

// The program's own exception: "Class.Method: message". Logged when raised.
class TarvoException : public std::runtime_error {
  public:
    TarvoException(std::string_view className, std::string_view method,
                   std::string_view message = {});
};

// A programming error, named by unit and line.
class TarvoAssertion : public std::logic_error {
  public:
    TarvoAssertion(std::string_view unit, int line);
};

#define TARVO_ASSERT(condition, unit)                                            \
    do {                                                                         \
        if (!(condition)) throw ::tarvo::core::TarvoAssertion((unit), __LINE__); \
    } while (false)

// "%d.%0.2d.%0.3d" from the build's version; "?.??.???" when unknown.
const std::string& VersionText();
// Builds not meant for handing on ("Nicht zur Weitergabe bestimmt").
bool PrivateBuild();

// The application-data folder (ends without separator); set once at start.
const std::filesystem::path& ApplicationDataFolder();
void SetApplicationDataFolder(std::filesystem::path folder);

// 0 below 16 bits per pixel, 2 otherwise (1 stood for the old 256-colour case).
int ColourLevel();
void SetColourLevel(int level);

// Set at the start of shutdown; every waiting worker also waits on it.
platform::Event& QuitEvent();

// File helpers, logged under their names.
std::filesystem::path UniqueFileName(const std::filesystem::path& p);
bool RecycleFile(const std::filesystem::path& p);
// Moves source to destination without replacing anything; with unique set, a
// taken name becomes "name (n).ext" and destination tells the name used.
bool MoveFileQam(const std::filesystem::path& source, std::filesystem::path& destination,
                 bool unique);
// "<data>/Incomplete Files/<name>.tvf", created empty when it does not exist yet;
// empty on failure. The name is made safe first.
std::filesystem::path CreateIncompleteFile(std::string_view name);
// The same with a fresh random name of 32 upper-case hex digits.
std::filesystem::path CreateIncompleteFileUnique();
// The system's text for an error number (at most 100 characters), or "Nr. n".
std::string SystemErrorText(int code);

// The callsign without SSID: the text before the first "-".
std::string BaseCallsign(std::string_view callsign);

// Breaks text after break characters so no line runs past maxColumn; a line
// without a break character is never broken. An empty set of break characters
// means CR, LF, blank, comma, hyphen and full stop.
std::string WrapText(std::string_view text, std::string_view breakString,
                     std::string_view breakChars, int maxColumn);

// Text as lines: CR LF, a lone CR and a lone LF each end a line; a line end at
// the very end opens no further line.
std::vector<std::string> TextLines(std::string_view text);

struct TDateTime {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
    bool operator==(const TDateTime&) const = default;
};

// Seconds since 1970-01-01 00:00 of a local date and time (no time zones).
// Dates before 1970 give 0, dates after 2106-02-07 06:28:15 give that last second.
std::int64_t DateTimeToUnixSeconds(const TDateTime& t);
// The inverse; 0 or less gives 1970-01-01 00:00, clamped at the same end.
TDateTime UnixSecondsToDateTime(std::int64_t seconds);

// ASCII case and trimming for callsigns, keywords and protocol text: a locale's
// rules could turn other letters into A to Z.
char AsciiUpper(char c);
std::string AsciiUpper(std::string_view s);
std::string AsciiLower(std::string_view s);
bool EqualNoCase(std::string_view a, std::string_view b);
// Without blanks and control characters at both ends.
std::string_view TrimControls(std::string_view s);

// A list as comma text: items separated by commas; an item with a blank, a
// comma, a double quote or a control character is quoted, inner quotes doubled.
std::string ToCommaText(const std::vector<std::string>& items);
// The inverse; unquoted items also end at a blank, as comma text always read.
std::vector<std::string> FromCommaText(std::string_view text);

// The system beep; the user interface sets who sounds it (nothing until then).
void SetBeepHandler(std::function<void()> handler);
void SystemBeep();

// Date and time as the operator reads them: "24.12.2026 13:45:07"; the time is
// left out at midnight exactly.
std::string FormatDateTime(const TDateTime& t);

// Expands the '%' placeholders of a text the operator wrote: "%%" gives '%',
// '%' and any other character go to placeholder, which appends what they stand
// for (or nothing); a '%' at the end vanishes, and LF characters are dropped.
std::string ExpandPlaceholders(
    std::string_view text, const std::function<void(char letter, std::string& out)>& placeholder);

}  // namespace tarvo::core
