#include "channels/KanalEingabeU.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "channels/KanalU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "platform/Files.h"

namespace tarvo::channels {

namespace {

constexpr unsigned kModifiers = kShiftKey | kAltKey | kCtrlKey;
constexpr std::size_t kHintWordMax = 11;
constexpr int kSecondsPerDay = 86400;

bool IsLetter(int key) {
    return key >= 'A' && key <= 'Z';
}

bool IsDigit(int key) {
    return key >= '0' && key <= '9';
}

bool IsLineEnd(char16_t c) {
    return c == u'\r' || c == u'\n' || c == u'\u2028' || c == u'\u2029';
}

std::string Decimal(std::int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string TwoDigits(int v) {
    std::string s = Decimal(v);
    if (s.size() < 2) s.insert(0, 2 - s.size(), '0');
    return s;
}

bool IsHintChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return c == '-' || (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
}

// "%d %s" with the singular exactly for 1.
std::string Count(std::int64_t n, std::string_view one, std::string_view many) {
    return Decimal(n) + " " + std::string(n == 1 ? one : many);
}

std::int64_t DayOf(std::int64_t seconds) {
    return seconds >= 0 ? seconds / kSecondsPerDay
                        : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
}

}  // namespace

// ---- keys ---------------------------------------------------------------------

TKanalKey KanalKey(int key, unsigned shift, bool consoleFocused) {
    TKanalKey out;
    if (key <= 0) return out;
    const unsigned mods = shift & kModifiers;
    using A = TKanalKeyAction;
    if (consoleFocused) {
        out.createBoxList = key < 255 && key != kVkF11 && key != kVkTab;
        if (key == kVkF11 && mods == 0) {
            out.action = A::ConsoleEndFocusInput;
        } else if (key == kVkTab && mods == 0) {
            out.action = A::FocusInput;
        } else if (key == kVkUp && mods == kCtrlKey) {
            out.action = A::BoxPreviousBlock;
        } else if (key == kVkDown && mods == kCtrlKey) {
            out.action = A::BoxNextBlock;
        } else if (key == kVkReturn) {
            out.action = A::BoxExecute;
        } else if (key == kVkSpace || key == 'R') {
            out.action = A::BoxMarkRead;
        } else if (key == 'E') {
            out.action = A::BoxMarkErase;
        } else if ((IsDigit(key) || IsLetter(key)) && (mods & (kAltKey | kCtrlKey)) == 0) {
            // Ctrl combinations stay with the console (Ctrl+C copies).
            out.action = A::Beep;
        }
        return out;
    }
    if (key == kVkPrior && mods == kCtrlKey) {
        out.action = A::ScrollLineUp;
    } else if (key == kVkNext && mods == kCtrlKey) {
        out.action = A::ScrollLineDown;
    } else if (key == kVkEnd && mods == kCtrlKey) {
        out.action = A::ScrollEndCaretEnd;
    } else if (key == kVkHome && mods == kCtrlKey) {
        out.action = A::ScrollTop;
    } else if (IsDigit(key) && (mods == kCtrlKey || mods == (kCtrlKey | kShiftKey))) {
        out.action = A::TextBlock;
        out.textKind = ((key - 39) % 10) + kFirstTextBlockKind;
        out.insert = (mods & kShiftKey) != 0;
    } else if (key == kVkTab && mods == kShiftKey) {
        out.action = A::FocusConsole;
    } else if (key == kVkF11 && mods == 0) {
        out.action = A::BoxLastLine;
        out.createBoxList = true;
    } else if (key == kVkPrior && mods == 0) {
        out.action = A::ScrollPageUp;
    } else if (key == kVkNext && mods == 0) {
        out.action = A::ScrollPageDown;
    }
    return out;
}

// ---- the input editor --------------------------------------------------------------

TInputLine InputLineAt(std::u16string_view text, std::size_t caret) {
    caret = std::min(caret, text.size());
    TInputLine line;
    std::size_t start = caret;
    while (start > 0 && !IsLineEnd(text[start - 1])) --start;
    std::size_t end = caret;
    while (end < text.size() && !IsLineEnd(text[end])) ++end;
    line.start = start;
    line.end = end;
    line.followed = end < text.size();
    line.next = end;
    if (line.followed) {
        line.next = end + 1;
        if (text[end] == u'\r' && line.next < text.size() && text[line.next] == u'\n') ++line.next;
    }
    return line;
}

TEditorKeyStep EditorKeyStep(std::u16string_view text, std::size_t caret, int key, unsigned shift) {
    TEditorKeyStep step;
    const unsigned mods = shift & kModifiers;
    const bool ctrl = (mods & kCtrlKey) != 0;
    const bool alt = (mods & kAltKey) != 0;
    const bool withShift = (mods & kShiftKey) != 0;
    using A = TEditorKeyAction;
    if (key == kVkReturn) {
        if (ctrl && !withShift) {
            step.action = A::Swallow;  // Ctrl+Return alone does nothing
            return step;
        }
        const TInputLine line = InputLineAt(text, caret);
        step.action = A::SendLine;
        step.lineStart = line.start;
        step.lineEnd = line.end;
        step.appendLine = !line.followed;
        step.caretAfter = line.next;
        step.send = std::u16string(text.substr(line.start, line.end - line.start));
        if (!ctrl) step.send += u'\r';
        return step;
    }
    if (key == kVkDown && mods == 0) {
        if (!InputLineAt(text, caret).followed) step.action = A::AppendLine;
        return step;
    }
    if (IsLetter(key) && ctrl && !alt) {
        if (withShift) {
            step.action = A::InsertText;
            step.insert = std::u16string{u'^', static_cast<char16_t>(key)};
        } else if (key != 'A' && key != 'C' && key != 'V' && key != 'X') {
            step.action = A::Swallow;  // Ctrl+Z and the rest never reach the text
        }
        return step;
    }
    if (key == kVkTab) {
        step.action = mods == kShiftKey ? A::FocusPrevious : A::Swallow;
        return step;
    }
    return step;
}

// ---- sending --------------------------------------------------------------------

bool WrapForStationType(std::int32_t type) {
    return type == core::kStationAutomatic || type == core::kStationMailbox ||
           type == core::kStationTerminal;
}

std::shared_ptr<core::IFunkKanal> FindFunkKanal(
    const std::vector<std::shared_ptr<core::IFunkKanal>>& all, std::string_view kennung) {
    if (kennung.empty()) return nullptr;
    for (const auto& f : all) {
        if (f && f->GetKennung() == kennung) return f;
    }
    return nullptr;
}

// ---- edit commands and the context menu ----------------------------------------------

TCommandStates CommandStates(const TCommandFacts& f) {
    TCommandStates s;
    const bool channel = f.channel > 0;
    s.disconnect = s.send = s.stop = channel;
    const bool input = f.focus == TKanalFocus::Input;
    const bool inChannel = input || f.focus == TKanalFocus::Console;
    s.cut = input && f.selection;
    s.copy = inChannel && f.selection;
    s.paste = s.del = input;
    s.pactor = f.connection && f.pactor;
    s.localEchoEnabled = f.connection;
    s.localEchoChecked = f.connection ? f.connectionLocalEcho : f.configLocalEcho;
    s.saveChecked = f.recording;
    s.showDosChecked = f.showDos;
    s.sendDosChecked = f.sendDos;
    return s;
}

TEditTarget EditTarget(TEditCommand command, TKanalFocus focus, int number, bool active) {
    if (command == TEditCommand::Copy) {
        if ((number == 0 && !active) || focus == TKanalFocus::Console) return TEditTarget::Console;
    }
    return focus == TKanalFocus::Input ? TEditTarget::Input : TEditTarget::None;
}

std::vector<TMenuItem> ContextMenuItems(bool onConsole, int number, bool cursorRowMailbox) {
    std::vector<TMenuItem> items;
    if (onConsole && number != 0 && cursorRowMailbox) {
        items.push_back(
            {TMenuCommand::BoxRead, core::Tr("TKanal", "Nachricht zum Lesen markieren")});
        items.push_back(
            {TMenuCommand::BoxErase, core::Tr("TKanal", "Nachricht zum Löschen markieren")});
        items.push_back({TMenuCommand::BoxUnmark, core::Tr("TKanal", "Markierung entfernen")});
        items.push_back({TMenuCommand::BoxRun, core::Tr("TKanal", "Befehle absenden")});
        items.push_back({TMenuCommand::Separator, ""});
    }
    if (!onConsole) items.push_back({TMenuCommand::Cut, core::Tr("TKanal", "A&usschneiden")});
    items.push_back({TMenuCommand::Copy, core::Tr("TKanal", "&Kopieren")});
    if (!onConsole) {
        items.push_back({TMenuCommand::Paste, core::Tr("TKanal", "E&infügen")});
        items.push_back({TMenuCommand::Delete, core::Tr("TKanal", "&Löschen")});
    }
    return items;
}

// ---- the mailbox message list ----------------------------------------------------------

std::pair<int, int> BoxRows(const TConsole& console) {
    const TConsoleSelection s = console.Selection();
    if (s.Empty()) {
        const int row = console.LineCursorRow();
        return {row, row};
    }
    const int last = console.Rows() - 1;
    return {std::clamp(s.firstRow, 0, last), std::clamp(s.lastRow, 0, last)};
}

void GoToLastBoxLine(TConsole& console) {
    const int cursor = console.LineCursorRow();
    if (console.GetLine(cursor).mailbox) {
        const int top = console.TopRow();
        const int bottom = top + std::max(1, console.VisibleRows()) - 1;
        if (cursor < top) console.ScrollLines(cursor - top);
        if (cursor > bottom) console.ScrollLines(cursor - bottom);
        return;
    }
    int row = console.Rows() - 1;
    while (row > 0 && !console.GetLine(row).mailbox) --row;
    if (row > 0) console.MoveCursorTo(0, row, false);
}

// ---- printing ------------------------------------------------------------------------------

TPrintRange PrintRange(const TConsole& console) {
    const int last = std::max(0, console.Rows() - 1);
    const TConsoleSelection s = console.Selection();
    if (!s.Empty()) return {std::clamp(s.firstRow, 0, last), std::clamp(s.lastRow, 0, last)};
    int first = 0;
    for (int row = last; row >= 0; --row) {
        if (console.GetLine(row).mark == kMarkConnect) {
            first = row;
            break;
        }
    }
    return {first, last};
}

TPrintLayout PrintLayout(int printableHeight, int dpiX, int dpiY, int lineHeight) {
    TPrintLayout layout;
    layout.top = static_cast<int>(std::lround(150.0 * dpiY / 254.0));
    layout.left = static_cast<int>(std::lround(200.0 * dpiX / 254.0));
    const int usable = printableHeight - 2 * layout.top;
    layout.linesPerPage = lineHeight > 0 ? std::max(1, usable / lineHeight) : 1;
    return layout;
}

int PrintPages(int first, int last, int linesPerPage) {
    const int rows = last - first + 1;
    if (rows <= 0) return 0;
    const int perPage = std::max(1, linesPerPage);
    return (rows - 1) / perPage + 1;
}

TRgb PrintColour(std::uint8_t code) {
    switch (code) {
        case kColourOwn:
            return {159, 0, 0};
        case kColourCode8:
            return {0, 108, 127};
        case kColourReceived:
            return {0, 0, 127};
        case kColourNotice:
            return {0, 0, 0};
        default:
            return {96, 96, 96};
    }
}

// ---- console hints ---------------------------------------------------------------------------

std::string HintWord(std::string_view line, int col) {
    if (col < 0 || static_cast<std::size_t>(col) >= line.size()) return {};
    const std::size_t at = static_cast<std::size_t>(col);
    if (!IsHintChar(line[at])) return {};
    std::size_t first = at;
    while (first > 0 && at - first + 1 < kHintWordMax && IsHintChar(line[first - 1])) --first;
    std::size_t end = at + 1;
    while (end < line.size() && end - first < kHintWordMax && IsHintChar(line[end])) ++end;
    std::string word(line.substr(first, end - first));
    for (char& c : word) c = core::AsciiUpper(c);
    return word;
}

std::string FormatAge(std::int64_t seconds) {
    const std::int64_t s = std::max<std::int64_t>(0, seconds);
    const std::int64_t days = s / kSecondsPerDay;
    const std::int64_t hours = s / 3600 % 24;
    const std::int64_t minutes = s / 60 % 60;
    std::string out;
    // The plural forms stand after "vor" ("vor 2 Tagen").
    if (days != 0)
        out += Count(days, core::Tr("TKanal", "Tag"), core::Tr("TKanal", "Tagen")) + ", ";
    if (days != 0 || hours != 0)
        out += Count(hours, core::Tr("TKanal", "Stunde"), core::Tr("TKanal", "Stunden")) + ", ";
    if (days != 0 || hours != 0 || minutes != 0)
        out += Count(minutes, core::Tr("TKanal", "Minute"), core::Tr("TKanal", "Minuten")) + ", ";
    out += Count(s % 60, core::Tr("TKanal", "Sekunde"), core::Tr("TKanal", "Sekunden"));
    return out;
}

std::string GutterHint(std::uint32_t stamp, std::int64_t now) {
    if (stamp == 0) return {};
    const std::int64_t day = DayOf(stamp), today = DayOf(now);
    std::string out;
    if (day == today) {
        out = core::Tr("TKanal", "Heute") + ", ";
    } else if (day == today - 1) {
        out = core::Tr("TKanal", "Gestern") + ", ";
    }
    const core::TDateTime t = core::UnixSecondsToDateTime(stamp);
    out += TwoDigits(t.day) + "." + TwoDigits(t.month) + "." + Decimal(t.year) + ", " +
           TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
    // A stamp ahead of the clock (the clock was set back) is no age at all.
    out += "\r" + core::FillArgs(core::Tr("TKanal", "(vor %1)"),
                                 {FormatAge(now - static_cast<std::int64_t>(stamp))});
    return out;
}

std::string ConsoleHintText(const TConsole& console, int kind, int row, int col, std::int64_t now,
                            core::IStationenDatenbank* stationen) {
    if (row < 0 || row >= console.Rows()) return {};
    const TConsoleLine line = console.GetLine(row);
    if (kind == 0) {
        if (!stationen) return {};
        const std::string word =
            HintWord(line.chars.substr(0, static_cast<std::size_t>(line.length)), col);
        if (word.empty()) return {};
        const auto entry = stationen->FindEntry(word, true);
        if (!entry) return {};
        return entry->GetCall() + "\r" + entry->GetName();
    }
    if (kind == 1) return GutterHint(line.stamp, now);
    return {};
}

// ---- saving to a file ------------------------------------------------------------------------

std::string ProposedSaveName(const core::IVerbindung* verbindung, int number) {
    std::string name;
    if (verbindung) name = platform::SafeFileName(verbindung->Call());
    if (name.empty()) name = "Kanal" + TwoDigits(number);
    return name + ".txt";
}

}  // namespace tarvo::channels
