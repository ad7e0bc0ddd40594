// The operator's side of a channel without widgets: what the keys of the
// channel and of its input editor do, what a sent line becomes, the context
// menu, the print range, the console's hints and the save-file name. The
// widgets only carry out what these functions decide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "channels/ConsoleU.h"
#include "core/InterfacesU.h"
#include "core/TrU.h"

namespace tarvo::channels {

class TKanal;

// ---- keys ---------------------------------------------------------------------

// Key codes as the channel sees them: the letters are 'A'..'Z' and the digits
// '0'..'9', the other keys the numbers below; every key a keyboard names lies
// below 255. 0 is no key (or one already handled).
inline constexpr int kVkBack = 8;
inline constexpr int kVkTab = 9;
inline constexpr int kVkReturn = 13;
inline constexpr int kVkShift = 16;
inline constexpr int kVkControl = 17;
inline constexpr int kVkMenu = 18;
inline constexpr int kVkEscape = 27;
inline constexpr int kVkSpace = 32;
inline constexpr int kVkPrior = 33;  // page up
inline constexpr int kVkNext = 34;   // page down
inline constexpr int kVkEnd = 35;
inline constexpr int kVkHome = 36;
inline constexpr int kVkLeft = 37;
inline constexpr int kVkUp = 38;
inline constexpr int kVkRight = 39;
inline constexpr int kVkDown = 40;
inline constexpr int kVkInsert = 45;
inline constexpr int kVkDelete = 46;
inline constexpr int kVkF1 = 112;
inline constexpr int kVkF11 = 122;
inline constexpr int kVkF12 = 123;

// Modifiers held with a key.
inline constexpr unsigned kShiftKey = 1;
inline constexpr unsigned kAltKey = 2;
inline constexpr unsigned kCtrlKey = 4;

// What KeyDown does with a key, before the control with the focus sees it.
enum class TKanalKeyAction {
    None,
    // The console has the focus.
    ConsoleEndFocusInput,  // F11
    FocusInput,            // Tab
    BoxPreviousBlock,      // Ctrl+Up
    BoxNextBlock,          // Ctrl+Down
    BoxExecute,            // Return: send, free the list, focus input, scroll to the end
    BoxMarkRead,           // Space, R: with advance and toggle
    BoxMarkErase,          // E: with advance and toggle
    Beep,                  // any other digit or letter
    // The input editor (or anything else) has the focus.
    ScrollLineUp,       // Ctrl+PgUp
    ScrollLineDown,     // Ctrl+PgDn
    ScrollEndCaretEnd,  // Ctrl+End
    ScrollTop,          // Ctrl+Home
    TextBlock,          // Ctrl+1 .. Ctrl+0, with Shift to insert
    FocusConsole,       // Shift+Tab
    BoxLastLine,        // F11
    ScrollPageUp,       // PgUp
    ScrollPageDown,     // PgDn
};

struct TKanalKey {
    TKanalKeyAction action = TKanalKeyAction::None;
    // The channel's mailbox list is made first when it does not exist yet.
    bool createBoxList = false;
    int textKind = 0;     // TextBlock: text kind 4..13
    bool insert = false;  // TextBlock: insert at the editor's caret instead of sending
    // A handled key goes no further.
    bool Consumed() const { return action != TKanalKeyAction::None; }
};

// The key tables of KeyDown. Modifiers mean exactly that combination unless the
// action says otherwise.
TKanalKey KanalKey(int key, unsigned shift, bool consoleFocused);

// ---- the input editor ------------------------------------------------------------

// The line of the editor text that holds the caret: from after the previous
// line end (CR, LF, U+2028, U+2029) up to the next one or the end.
struct TInputLine {
    std::size_t start = 0;
    std::size_t end = 0;
    bool followed = false;  // another line comes after it
    std::size_t next = 0;   // where that line starts (after CR LF as one)
};
TInputLine InputLineAt(std::u16string_view text, std::size_t caret);

enum class TEditorKeyAction {
    PassOn,         // the editor handles the key as usual
    SendLine,       // colour the line as sent, go on (appendLine / caretAfter), raise send
    AppendLine,     // append an empty line and put the caret on it
    InsertText,     // insert `insert` at the caret
    Swallow,        // the key does nothing
    FocusPrevious,  // the focus goes to the previous control
};

struct TEditorKeyStep {
    TEditorKeyAction action = TEditorKeyAction::PassOn;
    std::size_t lineStart = 0, lineEnd = 0;  // SendLine: the line coloured as sent
    bool appendLine = false;                 // SendLine: no line follows, one is appended
    std::size_t caretAfter = 0;              // SendLine otherwise: the next line's start
    std::u16string send;                     // SendLine: the text raised
    std::u16string insert;                   // InsertText
};

// The editor's own key rules, applied after KeyDown and before the editor.
// Down only counts without modifiers (Shift+Down still selects); Ctrl with Alt
// is AltGr on many keyboards and passes on.
TEditorKeyStep EditorKeyStep(std::u16string_view text, std::size_t caret, int key, unsigned shift);

// ---- sending ----------------------------------------------------------------------

// Messages of a monitor line that cannot go out as a UI frame (code page 1252).
// German sources; shown through core::Tr("TKanal", ...).
inline constexpr const char* kUiNoDestination =
    TARVO_TR_NOOP("TKanal", "Kein Ziel für UI-Pakete ausgewählt.");
inline constexpr const char* kUiNoMyCall =
    TARVO_TR_NOOP("TKanal", "Kein eigenes Rufzeichen für UI-Pakete ausgewählt.");
inline constexpr const char* kUiNoChannel =
    TARVO_TR_NOOP("TKanal", "Kein Kanal für UI-Pakete ausgewählt.");
inline constexpr std::string_view kUiMessageTitle = "Tarvo";

// The sound of a sent line.
inline constexpr int kSoundSendLine = 9;

// Sent lines are wrapped for "Automatisch", "Mailbox" and "Terminal" only.
bool WrapForStationType(std::int32_t type);

// The radio channel with that identifier; null when none has it (or it is "").
std::shared_ptr<core::IFunkKanal> FindFunkKanal(
    const std::vector<std::shared_ptr<core::IFunkKanal>>& all, std::string_view kennung);

// Text blocks 1..10 are the text kinds 4..13.
inline constexpr int kFirstTextBlockKind = 4;
inline constexpr int kLastTextBlockKind = 13;

// ---- edit commands and the context menu --------------------------------------------

enum class TKanalFocus { Other, Console, Input };
enum class TEditCommand { Cut, Copy, Paste, Delete, SelectAll };
enum class TEditTarget { None, Input, Console };

// Where an edit command of the main window acts.
TEditTarget EditTarget(TEditCommand command, TKanalFocus focus, int number, bool active);

// What the main window's commands depend on.
struct TCommandFacts {
    int channel = 0;  // the active channel
    // The control with the focus, when it belongs to a channel, and whether it
    // holds selected text.
    TKanalFocus focus = TKanalFocus::Other;
    bool selection = false;
    bool connection = false;  // the active channel holds one
    bool pactor = false;      // ... on a PACTOR link
    bool connectionLocalEcho = false;
    bool configLocalEcho = false;  // the setting, shown without a connection
    bool recording = false;
    bool showDos = false;
    bool sendDos = false;
};
struct TCommandStates {
    bool disconnect = false, send = false, stop = false;
    bool cut = false, copy = false, paste = false, del = false;
    bool pactor = false;  // ChangeOver, BreakIn and their menu
    bool localEchoEnabled = false, localEchoChecked = false;
    bool saveChecked = false, showDosChecked = false, sendDosChecked = false;
    friend bool operator==(const TCommandStates&, const TCommandStates&) = default;
};
// Which commands of the main window are usable and checked.
TCommandStates CommandStates(const TCommandFacts& facts);

enum class TMenuCommand {
    BoxRead,
    BoxErase,
    BoxUnmark,
    BoxRun,
    Separator,
    Cut,
    Copy,
    Paste,
    Delete,
};
struct TMenuItem {
    TMenuCommand command;
    std::string caption;  // code page 1252, '&' marks the accelerator
};
// The context menu of the console (onConsole) or the input editor.
std::vector<TMenuItem> ContextMenuItems(bool onConsole, int number, bool cursorRowMailbox);

// ---- the mailbox message list ---------------------------------------------------------

// A channel's mailbox message list (rows are console rows).
class IBoxList {
  public:
    virtual ~IBoxList() = default;
    virtual void MarkRead(int firstRow, int lastRow, bool advance, bool toggle) = 0;
    virtual void MarkErase(int firstRow, int lastRow, bool advance, bool toggle) = 0;
    virtual void Unmark(int firstRow, int lastRow, bool advance) = 0;
    // Sends the marked commands.
    virtual void Execute() = 0;
    virtual void PreviousBlock() = 0;
    virtual void NextBlock() = 0;
};

// The rows a mailbox command acts on: the selection's rows, or the line
// cursor's row for both.
std::pair<int, int> BoxRows(const TConsole& console);

// The line cursor's row when it is a message-list line (scrolled into view),
// else the last message-list line above row 0 (cursor to its column 0).
void GoToLastBoxLine(TConsole& console);

// ---- printing ---------------------------------------------------------------------------

struct TPrintRange {
    int first = 0;
    int last = 0;
};
// The selection's rows; else from the last line with the connect mark (or row
// 0) to the last row.
TPrintRange PrintRange(const TConsole& console);

struct TPrintLayout {
    int top = 0;           // top and bottom margin, printer pixels
    int left = 0;          // left margin
    int linesPerPage = 1;  // at least 1, also on a page too small for one line
};
TPrintLayout PrintLayout(int printableHeight, int dpiX, int dpiY, int lineHeight);
// Pages for rows [first, last]; every row is printed.
int PrintPages(int first, int last, int linesPerPage);
// The printed colour of a colour code.
TRgb PrintColour(std::uint8_t code);

// ---- console hints --------------------------------------------------------------------------

// The word under the column of a line's used characters: "-", digits and
// letters, at most 11, upper case; "" when the column is on none of them.
std::string HintWord(std::string_view line, int col);
// "1 Tag, 0 Stunden, 5 Minuten, 1 Sekunde"; less than 0 counts as 0.
std::string FormatAge(std::int64_t seconds);
// "Heute, 24.12.2024, 13:45:07\r(vor 5 Sekunden)"; "" without a stamp. Both in
// local seconds.
std::string GutterHint(std::uint32_t stamp, std::int64_t now);
// The hint of the console for kind 0 (text), 1 (gutter) or 2 (outside).
std::string ConsoleHintText(const TConsole& console, int kind, int row, int col, std::int64_t now,
                            core::IStationenDatenbank* stationen);

// ---- saving to a file ------------------------------------------------------------------------

// The file name offered by the save dialog (UTF-8): the connection's callsign,
// else "Kanal%2.2d", as a safe file name, plus ".txt".
std::string ProposedSaveName(const core::IVerbindung* verbindung, int number);

enum class TSaveAnswer { Overwrite = 0, Append = 1, Cancel = 2 };

// German sources of the save dialog's texts; shown translated (context "TKanal").
inline constexpr const char* kSaveTitle = TARVO_TR_NOOP("TKanal", "Speichern");
inline constexpr const char* kSaveFilter =
    TARVO_TR_NOOP("TKanal", "Text Dateien (*.txt)|*.txt|Alle Dateien (*.*)|*.*");
inline constexpr std::string_view kSaveDefaultExt = "txt";
// %1 is the file name.
inline constexpr const char* kOverwriteQuestion =
    TARVO_TR_NOOP("TKanal",
                  "Soll die bereits existierende Datei \"%1\" überschrieben werden oder möchten "
                  "Sie den Text an diese anhängen?");
inline constexpr const char* kOverwriteButton = TARVO_TR_NOOP("TKanal", "&Überschreiben");
inline constexpr const char* kAppendButton = TARVO_TR_NOOP("TKanal", "&Anhängen");
inline constexpr const char* kCancelButton = TARVO_TR_NOOP("TKanal", "Abbrechen");
inline constexpr const char* kSaveOpenError =
    TARVO_TR_NOOP("TKanal", "Datei kann nicht zum Schreiben geöffnet werden.");

}  // namespace tarvo::channels
