#include "core/GlobalU.h"

#include <cstdio>
#include <mutex>
#include <random>
#include <system_error>

#include "core/DebOutU.h"
#include "platform/Files.h"

#ifndef TARVO_VERSION_MAJOR
#define TARVO_VERSION_UNKNOWN 1
#endif
#ifndef TARVO_PRIVATE_BUILD
#define TARVO_PRIVATE_BUILD 0
#endif

namespace tarvo::core {

namespace fs = std::filesystem;

namespace {

std::mutex& GlobalsMutex() {
    static std::mutex m;
    return m;
}
fs::path& DataFolder() {
    static fs::path folder;
    return folder;
}
std::atomic<int>& Colours() {
    static std::atomic<int> level{2};
    return level;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr std::int64_t kLastSecond = 0xFFFFFFFFll;  // 2106-02-07 06:28:15

}  // namespace

TarvoException::TarvoException(std::string_view className, std::string_view method,
                               std::string_view message)
    : std::runtime_error(std::string(className) + "." + std::string(method) +
                         (message.empty() ? std::string() : ": " + std::string(message))) {
    DebOut(std::string("EXCEPTION: ") + what());
}

TarvoAssertion::TarvoAssertion(std::string_view unit, int line)
    : std::logic_error("Assertion failed (" + std::string(unit) + ", line " + std::to_string(line) +
                       ")") {
    DebOut(std::string("EXCEPTION: ") + what());
}

const std::string& VersionText() {
    static const std::string text = [] {
#ifdef TARVO_VERSION_UNKNOWN
        return std::string("?.??.???");
#else
        char buf[48];
        std::snprintf(buf, sizeof buf, "%d.%.2d.%.3d", TARVO_VERSION_MAJOR, TARVO_VERSION_MINOR,
                      TARVO_VERSION_PATCH);
        return std::string(buf);
#endif
    }();
    return text;
}

bool PrivateBuild() {
    return TARVO_PRIVATE_BUILD != 0;
}

const fs::path& ApplicationDataFolder() {
    std::lock_guard lock(GlobalsMutex());
    return DataFolder();
}

void SetApplicationDataFolder(fs::path folder) {
    std::lock_guard lock(GlobalsMutex());
    DataFolder() = std::move(folder);
}

int ColourLevel() {
    return Colours().load();
}

void SetColourLevel(int level) {
    Colours().store(level < 0 ? 0 : level > 2 ? 2 : level);
}

platform::Event& QuitEvent() {
    // Never destroyed: worker threads may still wait on it at process exit.
    static auto* quit = new platform::Event(platform::Event::Manual, false);
    return *quit;
}

fs::path UniqueFileName(const fs::path& p) {
    return platform::UniqueFileName(p);
}

bool RecycleFile(const fs::path& p) {
    const std::error_code ec = platform::MoveToTrash(p);
    if (ec) DebOutObj("GlobalU", "RecycleFile", p.string() + ": " + ec.message());
    return !ec;
}

bool MoveFileQam(const fs::path& source, fs::path& destination, bool unique) {
    DebOut("MoveFileQam: Quelle: " + source.string());
    DebOut(
        "MoveFileQam: Ziel (urspr\xFC"
        "nglich): " +
        destination.string());
    if (source.empty() || destination.empty()) {
        DebOut("MoveFileQam: Quell- oder Zieldateiname leer...");
        return false;
    }
    // A concurrent writer may take a unique name between the check and the move;
    // then the next one is tried. The bound only stops a pathological loop.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const fs::path candidate = unique ? platform::UniqueFileName(destination) : destination;
        if (candidate.empty()) break;
        const std::error_code ec = platform::MoveNoReplace(source, candidate);
        if (!ec) {
            destination = candidate;
            DebOut("MoveFileQam: Ziel (endg\xFCltig): " + destination.string());
            return true;
        }
        DebOut("MoveFileQam: Fehler: " + std::to_string(ec.value()) + ", " +
               SystemErrorText(ec.value()));
        if (ec != std::errc::file_exists) {
            DebOut("MoveFileQam: Unbekannter Fehler, Exit...");
            return false;
        }
        if (!unique) return false;
    }
    return false;
}

fs::path CreateIncompleteFile(std::string_view name) {
    DebOut("CreateIncompleteFile: begin...");
    const fs::path folder = ApplicationDataFolder() / "Incomplete Files";
    fs::path result;
    if (!platform::EnsureFolder(folder)) {
        if (auto p = platform::SafeJoin(folder, std::string(name) + ".tvf")) {
            DebOut("CreateIncompleteFile: " + p->string());
            if (!platform::CreateExclusive(*p)) result = *p;
        }
    }
    DebOut("CreateIncompleteFile: end.");
    return result;
}

fs::path CreateIncompleteFileUnique() {
    static std::mutex m;
    static std::mt19937_64 rng{std::random_device{}()};
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::uint64_t a, b;
        {
            std::lock_guard lock(m);
            a = rng();
            b = rng();
        }
        char name[40];
        std::snprintf(name, sizeof name, "%016llX%016llX", static_cast<unsigned long long>(a),
                      static_cast<unsigned long long>(b));
        fs::path p = CreateIncompleteFile(name);
        if (!p.empty()) return p;
    }
    return {};
}

std::string SystemErrorText(int code) {
    std::string text = std::generic_category().message(code);
    if (text.empty() || text.rfind("Unknown error", 0) == 0) return "Nr. " + std::to_string(code);
    if (text.size() > 100) text.resize(100);
    return text;
}

std::string BaseCallsign(std::string_view callsign) {
    return std::string(callsign.substr(0, callsign.find('-')));
}

std::vector<std::string> TextLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string WrapText(std::string_view text, std::string_view breakString,
                     std::string_view breakChars, int maxColumn) {
    static constexpr std::string_view kDefaultBreaks = "\r\n ,-.";
    if (breakChars.empty()) breakChars = kDefaultBreaks;
    auto isBreak = [&](char c) { return breakChars.find(c) != std::string_view::npos; };

    std::string result;
    const std::size_t len = text.size();
    std::size_t pos = 0, lineStart = 0;
    std::size_t breakPos = std::string_view::npos;
    long column = 1;
    while (pos < len) {
        if (isBreak(text[pos])) breakPos = pos;
        ++pos;
        ++column;
        if (column > maxColumn && breakPos != std::string_view::npos && breakPos > lineStart) {
            result.append(text.substr(lineStart, breakPos - lineStart + 1));
            column = static_cast<long>(pos - breakPos);
            while (pos < len && isBreak(text[pos])) ++pos;
            if (pos + 1 < len) result.append(breakString);
            lineStart = breakPos + 1;
            breakPos = std::string_view::npos;
        }
    }
    if (lineStart < len) result.append(text.substr(lineStart));
    return result;
}

std::int64_t DateTimeToUnixSeconds(const TDateTime& t) {
    if (t.year < 1970) return 0;
    if (t.year > 2106) return kLastSecond;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return 0;
    const std::int64_t s = DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600ll +
                           t.minute * 60ll + t.second;
    return s < 0 ? 0 : s > kLastSecond ? kLastSecond : s;
}

TDateTime UnixSecondsToDateTime(std::int64_t seconds) {
    if (seconds <= 0) return {};
    if (seconds > kLastSecond) seconds = kLastSecond;
    std::int64_t days = seconds / 86400;
    const std::int64_t rest = seconds % 86400;
    // civil_from_days
    days += 719468;
    const std::int64_t era = days / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    TDateTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest % 3600 / 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

namespace {
void AppendDigits(std::string& out, int value, int width) {
    char buf[12];
    int n = 0;
    unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 && n < 11);
    while (n < width) buf[n++] = '0';
    while (n > 0) out += buf[--n];
}
}  // namespace

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string AsciiUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

std::string_view TrimControls(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

std::string ToCommaText(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ',';
        const std::string& item = items[i];
        // Also a lone empty item: unquoted it would read back as no item.
        bool quote = item.empty();
        for (unsigned char c : item) quote = quote || c <= ' ' || c == ',' || c == '"';
        if (!quote) {
            out += item;
            continue;
        }
        out += '"';
        for (char c : item) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

std::vector<std::string> FromCommaText(std::string_view text) {
    std::vector<std::string> items;
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
    };
    skipBlanks();
    while (i < text.size()) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            while (i < text.size() && text[i] != ',' && static_cast<unsigned char>(text[i]) > ' ')
                item += text[i++];
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (i < text.size() && text[i] == ',') {
            ++i;
            skipBlanks();
            if (i == text.size()) items.emplace_back();
        }
    }
    return items;
}

namespace {
std::mutex gBeepMutex;
std::function<void()> gBeep;
}  // namespace

void SetBeepHandler(std::function<void()> handler) {
    std::lock_guard lock(gBeepMutex);
    gBeep = std::move(handler);
}

void SystemBeep() {
    std::function<void()> beep;
    {
        std::lock_guard lock(gBeepMutex);
        beep = gBeep;
    }
    DebOut("SystemBeep");
    if (beep) beep();
}

std::string FormatDateTime(const TDateTime& t) {
    std::string out;
    AppendDigits(out, t.day, 2);
    out += '.';
    AppendDigits(out, t.month, 2);
    out += '.';
    AppendDigits(out, t.year, 4);
    if (t.hour == 0 && t.minute == 0 && t.second == 0) return out;
    out += ' ';
    AppendDigits(out, t.hour, 2);
    out += ':';
    AppendDigits(out, t.minute, 2);
    out += ':';
    AppendDigits(out, t.second, 2);
    return out;
}

std::string ExpandPlaceholders(
    std::string_view text, const std::function<void(char letter, std::string& out)>& placeholder) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') continue;
        if (c != '%') {
            out += c;
            continue;
        }
        if (++i >= text.size()) break;
        if (text[i] == '%')
            out += '%';
        else
            placeholder(text[i], out);
    }
    return out;
}

}  // namespace tarvo::core
