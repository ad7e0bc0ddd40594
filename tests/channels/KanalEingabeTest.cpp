#include "channels/KanalEingabeU.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "channels/KanalU.h"
#include "core/MessageWindowU.h"
#include "tests/channels/ChannelFixture.h"
#include "tests/support/FakeMessageWindow.h"

namespace {

using namespace tarvo;
using namespace tarvo::channels;
using test::FakeKanalView;
using test::RecordingVerbindung;
using test::SentData;

constexpr unsigned kNone = 0;
constexpr unsigned kCtrlShift = kCtrlKey | kShiftKey;
constexpr std::int64_t kNow = 1'735'047'907;  // 24.12.2024 13:45:07, the fixture's clock

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// ---- fakes ---------------------------------------------------------------------

class FakeFunkKanal : public core::IFunkKanal {
  public:
    explicit FakeFunkKanal(std::string kennung) : kennung_(std::move(kennung)) {}
    std::string GetName() const override { return kennung_; }
    void SetName(std::string_view) override {}
    void SetPort(std::int32_t) override {}
    std::int32_t GetPort() const override { return 0; }
    std::uint8_t Verbinde(std::string&, std::string&, std::shared_ptr<core::IVerbindung>&,
                          std::shared_ptr<core::IKanal>&) override {
        return 1;
    }
    bool IsFlexnet() const override { return false; }
    std::string GetKennung() const override { return kennung_; }
    void SetKennung(std::string_view k) override { kennung_ = k; }
    bool SendUI(std::string_view ziel, std::string_view mycall, std::string_view data) override {
        frames.push_back(std::string(ziel) + "|" + std::string(mycall) + "|" + std::string(data));
        return true;
    }
    std::vector<std::string> frames;

  private:
    std::string kennung_;
};

class FakeTexte : public core::ITexte {
  public:
    void SendText(int, core::IVerbindung&) override {}
    std::string GetText(int kind, core::IVerbindung* v) override {
        asked.push_back(kind);
        askedFor = v;
        return texts[kind];
    }
    std::map<int, std::string> texts;
    std::vector<int> asked;
    core::IVerbindung* askedFor = nullptr;
};

class FakeEntry : public core::IStationenDatenbankEintrag {
  public:
    FakeEntry(std::string call, std::string name)
        : call_(std::move(call)), name_(std::move(name)) {}
    std::string GetCall() const override { return call_; }
    std::string GetName() const override { return name_; }
    std::uint8_t GetType() const override { return 0; }
    std::uint8_t GetIncomingPolicy() const override { return 0; }
    std::string GetPasswort(std::string_view, int, int) const override { return {}; }

  private:
    std::string call_, name_;
};

// Knows DL1ABC; with fallback also its SSIDs.
class FakeStationen : public core::IStationenDatenbank {
  public:
    std::shared_ptr<core::IStationenDatenbankEintrag> FindEntry(std::string_view call,
                                                                bool fallback) override {
        queries.push_back(std::string(call) + (fallback ? "+" : ""));
        const std::string base = core::BaseCallsign(call);
        if (call == "DL1ABC" || (fallback && base == "DL1ABC"))
            return std::make_shared<FakeEntry>("DL1ABC", "Hans");
        return nullptr;
    }
    std::vector<std::string> queries;
};

class RecordingBoxList : public IBoxList {
  public:
    explicit RecordingBoxList(std::vector<std::string>& log) : log_(log) {}
    ~RecordingBoxList() override { log_.push_back("freed"); }
    void MarkRead(int f, int l, bool a, bool t) override { Log("read", f, l, a, t); }
    void MarkErase(int f, int l, bool a, bool t) override { Log("erase", f, l, a, t); }
    void Unmark(int f, int l, bool a) override { Log("unmark", f, l, a, false); }
    void Execute() override { log_.push_back("execute"); }
    void PreviousBlock() override { log_.push_back("previous"); }
    void NextBlock() override { log_.push_back("next"); }

  private:
    void Log(const char* what, int f, int l, bool a, bool t) {
        log_.push_back(std::string(what) + " " + std::to_string(f) + ".." + std::to_string(l) +
                       (a ? " advance" : "") + (t ? " toggle" : ""));
    }
    std::vector<std::string>& log_;
};

// ---- the input editor's keys ------------------------------------------------------

TEST(EditorKeys, RulesBeforeTheEditor) {
    using A = TEditorKeyAction;
    struct Case {
        const char16_t* text;
        std::size_t caret;
        int key;
        unsigned shift;
        A action;
        const char16_t* send = u"";
        std::size_t lineStart = 0, lineEnd = 0;
        bool appendLine = false;
        std::size_t caretAfter = 0;
        const char16_t* insert = u"";
    };
    const Case cases[] = {
        // Return on the first of two lines sends only it and goes to the second.
        {u"one\rtwo", 1, kVkReturn, kNone, A::SendLine, u"one\r", 0, 3, false, 4},
        {u"one\rtwo", 6, kVkReturn, kNone, A::SendLine, u"two\r", 4, 7, true, 7},
        {u"one\r\ntwo", 2, kVkReturn, kNone, A::SendLine, u"one\r", 0, 3, false, 5},
        {u"one\ntwo", 5, kVkReturn, kShiftKey, A::SendLine, u"two\r", 4, 7, true, 7},
        {u"one\u2029two", 0, kVkReturn, kAltKey, A::SendLine, u"one\r", 0, 3, false, 4},
        // Ctrl+Shift+Return sends without the carriage return.
        {u"one\u2029two", 0, kVkReturn, kCtrlShift, A::SendLine, u"one", 0, 3, false, 4},
        {u"", 0, kVkReturn, kNone, A::SendLine, u"\r", 0, 0, true, 0},
        {u"one", 3, kVkReturn, kCtrlKey, A::Swallow},
        {u"one", 3, kVkReturn, kCtrlKey | kAltKey, A::Swallow},
        // Down appends a line only from the last one, and only as a plain Down.
        {u"one\rtwo", 1, kVkDown, kNone, A::PassOn},
        {u"one\rtwo", 5, kVkDown, kNone, A::AppendLine},
        {u"one", 1, kVkDown, kShiftKey, A::PassOn},
        // Ctrl+Shift+letter is the caret notation, not a shortcut.
        {u"", 0, 'C', kCtrlShift, A::InsertText, u"", 0, 0, false, 0, u"^C"},
        {u"", 0, 'Z', kCtrlShift, A::InsertText, u"", 0, 0, false, 0, u"^Z"},
        {u"", 0, 'C', kCtrlShift | kAltKey, A::PassOn},
        {u"", 0, 'C', kCtrlKey, A::PassOn},
        {u"", 0, 'V', kCtrlKey, A::PassOn},
        {u"", 0, 'X', kCtrlKey, A::PassOn},
        {u"", 0, 'A', kCtrlKey, A::PassOn},
        {u"", 0, 'B', kCtrlKey, A::Swallow},
        {u"", 0, 'Z', kCtrlKey, A::Swallow},
        {u"", 0, 'Q', kCtrlKey | kAltKey, A::PassOn},  // AltGr
        {u"", 0, 'A', kNone, A::PassOn},
        {u"", 0, kVkTab, kNone, A::Swallow},
        {u"", 0, kVkTab, kCtrlKey, A::Swallow},
        {u"", 0, kVkTab, kShiftKey, A::FocusPrevious},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "key " << c.key << " shift " << c.shift << " caret " << c.caret);
        const TEditorKeyStep s = EditorKeyStep(c.text, c.caret, c.key, c.shift);
        EXPECT_EQ(s.action, c.action);
        EXPECT_EQ(s.insert, c.insert);
        if (c.action != A::SendLine) continue;
        EXPECT_EQ(s.send, c.send);
        EXPECT_EQ(s.lineStart, c.lineStart);
        EXPECT_EQ(s.lineEnd, c.lineEnd);
        EXPECT_EQ(s.appendLine, c.appendLine);
        if (!c.appendLine) {
            EXPECT_EQ(s.caretAfter, c.caretAfter);
        }
    }
}

// ---- KeyDown ------------------------------------------------------------------------

TEST(KanalKeys, Tables) {
    using A = TKanalKeyAction;
    struct Case {
        int key;
        unsigned shift;
        bool console;
        A action;
        bool createBox = false;
        int kind = 0;
        bool insert = false;
    };
    const Case cases[] = {
        // Console focused: F11 and Tab never make the mailbox list, every other key does.
        {kVkF11, kNone, true, A::ConsoleEndFocusInput},
        {kVkF11, kShiftKey, true, A::None},
        {kVkTab, kNone, true, A::FocusInput},
        {kVkTab, kShiftKey, true, A::None},
        {kVkUp, kCtrlKey, true, A::BoxPreviousBlock, true},
        {kVkDown, kCtrlKey, true, A::BoxNextBlock, true},
        {kVkUp, kNone, true, A::None, true},
        {kVkReturn, kCtrlShift, true, A::BoxExecute, true},
        {kVkSpace, kAltKey, true, A::BoxMarkRead, true},
        {'R', kNone, true, A::BoxMarkRead, true},
        {'E', kCtrlKey, true, A::BoxMarkErase, true},
        {'X', kNone, true, A::Beep, true},
        {'7', kShiftKey, true, A::Beep, true},
        {'X', kAltKey, true, A::None, true},
        {'C', kCtrlKey, true, A::None, true},  // the console copies
        {kVkF12, kNone, true, A::None, true},
        {300, kNone, true, A::None, false},
        // Editor (or anything else) focused.
        {kVkPrior, kCtrlKey, false, A::ScrollLineUp},
        {kVkNext, kCtrlKey, false, A::ScrollLineDown},
        {kVkEnd, kCtrlKey, false, A::ScrollEndCaretEnd},
        {kVkHome, kCtrlKey, false, A::ScrollTop},
        {kVkEnd, kNone, false, A::None},
        {'1', kCtrlKey, false, A::TextBlock, false, 4},
        {'9', kCtrlKey, false, A::TextBlock, false, 12},
        {'0', kCtrlKey, false, A::TextBlock, false, 13},
        {'3', kCtrlShift, false, A::TextBlock, false, 6, true},
        {'1', kCtrlKey | kAltKey, false, A::None},
        {'1', kNone, false, A::None},
        {kVkTab, kShiftKey, false, A::FocusConsole},
        {kVkTab, kNone, false, A::None},
        {kVkF11, kNone, false, A::BoxLastLine, true},
        {kVkPrior, kNone, false, A::ScrollPageUp},
        {kVkNext, kNone, false, A::ScrollPageDown},
        {kVkNext, kShiftKey, false, A::None},
        {kVkReturn, kNone, false, A::None},
        {'R', kNone, false, A::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.key << " shift " << c.shift
                                        << (c.console ? " console" : " editor"));
        const TKanalKey k = KanalKey(c.key, c.shift, c.console);
        EXPECT_EQ(k.action, c.action);
        EXPECT_EQ(k.createBoxList, c.createBox);
        if (c.action == A::TextBlock) {
            EXPECT_EQ(k.textKind, c.kind);
            EXPECT_EQ(k.insert, c.insert);
        }
    }
}

TEST(KanalEdit, TargetOfTheEditCommands) {
    using F = TKanalFocus;
    using T = TEditTarget;
    struct Case {
        TEditCommand command;
        F focus;
        int number;
        bool active;
        T target;
    };
    const Case cases[] = {
        {TEditCommand::Copy, F::Console, 1, true, T::Console},
        {TEditCommand::Copy, F::Input, 1, true, T::Input},
        {TEditCommand::Copy, F::Other, 1, true, T::None},
        // The inactive monitor copies from its console wherever the focus is.
        {TEditCommand::Copy, F::Input, 0, false, T::Console},
        {TEditCommand::Copy, F::Input, 0, true, T::Input},
        {TEditCommand::Cut, F::Input, 1, true, T::Input},
        {TEditCommand::Cut, F::Console, 1, true, T::None},
        {TEditCommand::Paste, F::Other, 0, false, T::None},
        {TEditCommand::SelectAll, F::Input, 2, true, T::Input},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EditTarget(c.command, c.focus, c.number, c.active), c.target)
            << static_cast<int>(c.command) << " " << static_cast<int>(c.focus) << " " << c.number;
}

TEST(KanalCommands, EnabledByFocusSelectionAndLink) {
    using F = TKanalFocus;
    const auto facts = [](int channel, F focus, bool selection) {
        TCommandFacts f;
        f.channel = channel;
        f.focus = focus;
        f.selection = selection;
        return f;
    };
    // Edit commands: {cut, copy, paste, delete}.
    const struct {
        TCommandFacts facts;
        bool cut, copy, paste, del;
    } edit[] = {
        {facts(1, F::Input, false), false, false, true, true},
        {facts(1, F::Input, true), true, true, true, true},
        {facts(1, F::Console, true), false, true, false, false},
        {facts(1, F::Console, false), false, false, false, false},
        {facts(0, F::Console, true), false, true, false, false},
        {facts(1, F::Other, true), false, false, false, false},
    };
    for (const auto& c : edit) {
        SCOPED_TRACE(testing::Message() << "focus " << static_cast<int>(c.facts.focus)
                                        << " selection " << c.facts.selection);
        const TCommandStates s = CommandStates(c.facts);
        EXPECT_EQ(s.cut, c.cut);
        EXPECT_EQ(s.copy, c.copy);
        EXPECT_EQ(s.paste, c.paste);
        EXPECT_EQ(s.del, c.del);
    }

    // ChangeOver and BreakIn only on a PACTOR link; the echo follows the
    // connection, without one the setting (disabled).
    TCommandFacts f = facts(2, F::Input, false);
    f.configLocalEcho = true;
    TCommandStates s = CommandStates(f);
    EXPECT_FALSE(s.pactor);
    EXPECT_FALSE(s.localEchoEnabled);
    EXPECT_TRUE(s.localEchoChecked);
    EXPECT_TRUE(s.disconnect);
    f.connection = true;
    s = CommandStates(f);
    EXPECT_FALSE(s.pactor);
    EXPECT_TRUE(s.localEchoEnabled);
    EXPECT_FALSE(s.localEchoChecked);
    f.pactor = true;
    f.connectionLocalEcho = true;
    s = CommandStates(f);
    EXPECT_TRUE(s.pactor);
    EXPECT_TRUE(s.localEchoChecked);
    // A PACTOR flag without a connection (left over) enables nothing.
    f.connection = false;
    EXPECT_FALSE(CommandStates(f).pactor);
    // The monitor has no connection to end or send on.
    s = CommandStates(facts(0, F::Input, false));
    EXPECT_FALSE(s.disconnect || s.send || s.stop);
}

TEST(KanalMenu, ItemsByControlAndMailboxRow) {
    using M = TMenuCommand;
    struct Case {
        bool console;
        int number;
        bool mailbox;
        std::vector<M> items;
    };
    const Case cases[] = {
        {true, 1, true, {M::BoxRead, M::BoxErase, M::BoxUnmark, M::BoxRun, M::Separator, M::Copy}},
        {true, 0, true, {M::Copy}},
        {true, 2, false, {M::Copy}},
        {false, 1, true, {M::Cut, M::Copy, M::Paste, M::Delete}},
    };
    for (const Case& c : cases) {
        std::vector<M> got;
        for (const TMenuItem& i : ContextMenuItems(c.console, c.number, c.mailbox))
            got.push_back(i.command);
        EXPECT_EQ(got, c.items) << c.console << " " << c.number << " " << c.mailbox;
    }
    EXPECT_EQ(ContextMenuItems(false, 1, false)[2].caption, "E&inf\xFCgen");
}

// ---- printing -------------------------------------------------------------------------

TEST(KanalPrint, PagesHoldEveryRow) {
    struct Case {
        int first, last, perPage, pages;
    };
    const Case cases[] = {
        {0, 0, 10, 1},  {0, 9, 10, 1},  {0, 10, 10, 2},  // 11 rows: the last one gets its page
        {5, 24, 10, 2}, {0, 20, 10, 3}, {0, 3, 0, 4},    // less than one line: one per page
        {3, 2, 10, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrintPages(c.first, c.last, c.perPage), c.pages)
            << c.first << ".." << c.last << " / " << c.perPage;
}

TEST(KanalPrint, LayoutFromThePrinter) {
    struct Case {
        int height, dpiX, dpiY, lineHeight;
        int top, left, perPage;
    };
    const Case cases[] = {
        {3300, 300, 300, 50, 177, 236, 58},
        {3300, 600, 300, 50, 177, 472, 58},
        {300, 300, 300, 50, 177, 236, 1},  // the margins leave no room
        {1000, 300, 300, 0, 177, 236, 1},
    };
    for (const Case& c : cases) {
        const TPrintLayout l = PrintLayout(c.height, c.dpiX, c.dpiY, c.lineHeight);
        EXPECT_EQ(l.top, c.top);
        EXPECT_EQ(l.left, c.left);
        EXPECT_EQ(l.linesPerPage, c.perPage) << c.height << " " << c.lineHeight;
    }
    EXPECT_EQ(PrintColour(kColourOwn), (TRgb{159, 0, 0}));
    EXPECT_EQ(PrintColour(kColourCode8), (TRgb{0, 108, 127}));
    EXPECT_EQ(PrintColour(kColourReceived), (TRgb{0, 0, 127}));
    EXPECT_EQ(PrintColour(kColourNotice), (TRgb{0, 0, 0}));
    EXPECT_EQ(PrintColour(kColourMonitorInfo), (TRgb{96, 96, 96}));
}

TEST(KanalPrint, RangeIsTheSelectionOrTheTextSinceTheLastConnect) {
    platform::FakeClock clock;
    struct Case {
        std::vector<int> connectMarks;
        int selFirst, selLast;  // -1: no selection; selLast may pass the end
        int first, last;
    };
    const Case cases[] = {
        {{}, -1, -1, 0, 24}, {{7}, -1, -1, 7, 24}, {{3, 12}, -1, -1, 12, 24},
        {{12}, 4, 6, 4, 6},  {{}, 20, 25, 20, 24},
    };
    for (const Case& c : cases) {
        TConsole console(clock);
        ASSERT_FALSE(console.Open());
        for (int row : c.connectMarks) console.SetMark(kMarkConnect, row);
        console.SetMark(kMarkDisconnect, 20);
        if (c.selFirst >= 0) {
            console.MoveCursorTo(0, c.selFirst, false);
            console.SelectTo(2, c.selLast);
        }
        const TPrintRange r = PrintRange(console);
        EXPECT_EQ(r.first, c.first);
        EXPECT_EQ(r.last, c.last);
    }
}

// ---- hints ------------------------------------------------------------------------------

TEST(KanalHint, AgeInDaysHoursMinutesSeconds) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0 Sekunden"},
        {1, "1 Sekunde"},
        {59, "59 Sekunden"},
        {60, "1 Minute, 0 Sekunden"},
        {61, "1 Minute, 1 Sekunde"},
        {3600, "1 Stunde, 0 Minuten, 0 Sekunden"},
        {7322, "2 Stunden, 2 Minuten, 2 Sekunden"},
        {86400 + 301, "1 Tag, 0 Stunden, 5 Minuten, 1 Sekunde"},
        {2 * 86400 + 3600 + 1, "2 Tagen, 1 Stunde, 0 Minuten, 1 Sekunde"},
        {-5, "0 Sekunden"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(FormatAge(seconds), text) << seconds;
}

TEST(KanalHint, GutterTellsDayTimeAndAge) {
    struct Case {
        std::int64_t now;
        std::int64_t stamp;
        const char* hint;
    };
    const Case cases[] = {
        {kNow, kNow - 5, "Heute, 24.12.2024, 13:45:02\r(vor 5 Sekunden)"},
        {kNow, kNow - 86701,
         "Gestern, 23.12.2024, 13:40:06\r(vor 1 Tag, 0 Stunden, 5 Minuten, 1 Sekunde)"},
        {kNow, kNow - 2 * 86400,
         "22.12.2024, 13:45:07\r(vor 2 Tagen, 0 Stunden, 0 Minuten, 0 Sekunden)"},
        // The calendar day decides, not the age.
        {1'735'084'830, 1'735'084'799, "Gestern, 24.12.2024, 23:59:59\r(vor 31 Sekunden)"},
        // A stamp ahead of the clock.
        {kNow, kNow + 60, "Heute, 24.12.2024, 13:46:07\r(vor 0 Sekunden)"},
        {kNow, 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GutterHint(static_cast<std::uint32_t>(c.stamp), c.now), c.hint) << c.stamp;
}

TEST(KanalHint, WordAroundTheColumn) {
    struct Case {
        const char* line;
        int col;
        const char* word;
    };
    const Case cases[] = {
        {"de DL1ABC-10 k", 5, "DL1ABC-10"},
        {"de DL1ABC-10 k", 3, "DL1ABC-10"},
        {"de DL1ABC-10 k", 11, "DL1ABC-10"},
        {"de dl1abc k", 4, "DL1ABC"},
        {"de DL1ABC-10 k", 2, ""},
        {"de DL1ABC-10 k", 40, ""},
        {"de DL1ABC-10 k", -1, ""},
        {"ABCDEFGHIJKLMNOP", 0, "ABCDEFGHIJK"},   // at most 11, rightwards
        {"ABCDEFGHIJKLMNOP", 15, "FGHIJKLMNOP"},  // leftwards first
        {"ABCDEFGHIJKLMNOP", 8, "ABCDEFGHIJK"},
        {"x\xE4y", 0, "X"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HintWord(c.line, c.col), c.word) << c.line << " " << c.col;
}

TEST(KanalSaveName, ProposedIsASafeFileName) {
    struct Case {
        const char* call;  // null: no connection
        int number;
        const char* name;
    };
    const Case cases[] = {
        {"DB0ABC-3", 1, "DB0ABC-3.txt"}, {nullptr, 3, "Kanal03.txt"},
        {nullptr, 12, "Kanal12.txt"},    {"../../etc/passwd", 1, "passwd.txt"},
        {"..", 2, "Kanal02.txt"},        {"", 4, "Kanal04.txt"},
    };
    for (const Case& c : cases) {
        test::FakeVerbindung v;
        if (c.call) v.call = c.call;
        EXPECT_EQ(ProposedSaveName(c.call ? &v : nullptr, c.number), c.name);
    }
}

TEST(KanalBox, LastMessageListLine) {
    platform::FakeClock clock;
    struct Case {
        std::vector<int> mailboxRows;
        int cursor;
        int cursorAfter;
    };
    const Case cases[] = {
        {{5, 9, 10}, 2, 10},  // the last one
        {{5, 9}, 5, 5},       // the cursor is on one: it stays
        {{0}, 3, 3},          // row 0 does not count
        {{}, 3, 3},
    };
    for (const Case& c : cases) {
        TConsole console(clock);
        ASSERT_FALSE(console.Open());
        for (int row : c.mailboxRows) console.SetMailbox(true, row);
        console.MoveCursorTo(4, c.cursor, false);
        GoToLastBoxLine(console);
        EXPECT_EQ(console.LineCursorRow(), c.cursorAfter);
    }
}

// ---- the channel --------------------------------------------------------------------------

class KanalEingabe : public test::ChannelFixture {
  protected:
    KanalEingabe() {
        ctx_.messages = &messages_;
        ctx_.texte = &texte_;
        ctx_.stationen = stationen_;
        ctx_.funkKanaele = [this] { return funk_; };
        ctx_.receiveFolder = [this] { return dir_; };
        ctx_.boxList = [this](TKanal&) { return std::make_unique<RecordingBoxList>(boxLog_); };
    }
    std::shared_ptr<RecordingVerbindung> Attach(TKanal& k,
                                                std::int32_t type = core::kStationMailbox) {
        auto v = std::make_shared<RecordingVerbindung>();
        v->stationType = type;
        k.SetVerbindung(v);
        return v;
    }
    // The row a line was written to: the one above the write row.
    int LastLineRow(const TKanal& k) const { return k.Console().WriteRow() - 1; }

    test::FakeMessageWindow messages_;
    FakeTexte texte_;
    std::shared_ptr<FakeStationen> stationen_ = std::make_shared<FakeStationen>();
    std::vector<std::shared_ptr<core::IFunkKanal>> funk_;
    std::vector<std::string> boxLog_;
};

TEST_F(KanalEingabe, TypedLineGoesOutWrappedByStationType) {
    auto k = MakeKanal(1);
    // 0 Automatisch, 1 Digi, 2 Mailbox, 3 Convers, 4 Terminal, 5 Cluster.
    const bool wrap[] = {true, false, true, false, true, false};
    for (std::int32_t type = 0; type <= 5; ++type) {
        auto v = Attach(*k, type);
        k->SendInput("hallo ^C\r");
        ASSERT_EQ(v->calls.size(), 1u) << type;
        const SentData& d = v->calls[0];
        EXPECT_EQ(d.text, "hallo ^C\r");
        EXPECT_TRUE(d.echo);
        EXPECT_TRUE(d.expand);
        EXPECT_EQ(d.wrap, wrap[type]) << type;
        EXPECT_TRUE(d.userQueue);
    }
    EXPECT_EQ(klaenge_.Events(), std::vector<int>(6, kSoundSendLine));
}

TEST_F(KanalEingabe, DosUmlautsOnlyWhenAskedFor) {
    auto k = MakeKanal(1);
    auto v = Attach(*k);
    k->SendInput("\xE4\xF6\xFC\xDF\r");
    k->SetSendDOS(true);
    k->SendInput("\xE4\xF6\xFC\xDF\r");
    ASSERT_EQ(v->calls.size(), 2u);
    EXPECT_EQ(v->calls[0].text, "\xE4\xF6\xFC\xDF\r");
    EXPECT_EQ(v->calls[1].text, "\x84\x94\x81\xE1\r");
}

TEST_F(KanalEingabe, NothingGoesOutWithoutConnectionOrText) {
    auto k = MakeKanal(1);
    k->SendInput("hallo\r");
    auto v = Attach(*k);
    k->SendInput("");
    EXPECT_TRUE(v->calls.empty());
    EXPECT_TRUE(klaenge_.Events().empty());
    EXPECT_TRUE(messages_.Questions().empty());
}

TEST_F(KanalEingabe, MonitorLineIsAUiFrame) {
    auto p1 = std::make_shared<FakeFunkKanal>("P1");
    auto p2 = std::make_shared<FakeFunkKanal>("P2");
    funk_ = {p2, p1};
    struct Case {
        const char* destination;
        const char* myCall;
        const char* port;
        std::string_view message;  // empty: the frame goes out on P1
    };
    // What the operator reads (code page 1252).
    const std::string_view noDestination = "Kein Ziel f\xFCr UI-Pakete ausgew\xE4hlt.";
    const std::string_view noMyCall = "Kein eigenes Rufzeichen f\xFCr UI-Pakete ausgew\xE4hlt.";
    const std::string_view noChannel = "Kein Kanal f\xFCr UI-Pakete ausgew\xE4hlt.";
    const Case cases[] = {
        {"", "DL1XYZ", "P1", noDestination}, {"", "", "", noDestination},
        {"CQ", "", "P1", noMyCall},          {"CQ", "DL1XYZ", "P9", noChannel},
        {"CQ", "DL1XYZ", "", noChannel},     {"CQ", "DL1XYZ", "P1", {}},
    };
    auto monitor = MakeKanal(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.destination) + "/" + c.myCall + "/" + c.port);
        config_->SetUiDestination(c.destination);
        config_->SetUiMyCall(c.myCall);
        config_->SetUiPort(c.port);
        const std::size_t asked = messages_.Questions().size();
        p1->frames.clear();
        monitor->SendInput("hallo\r");
        if (c.message.empty()) {
            EXPECT_EQ(messages_.Questions().size(), asked);
            EXPECT_EQ(p1->frames, std::vector<std::string>{"CQ|DL1XYZ|hallo\r"});
        } else {
            ASSERT_EQ(messages_.Questions().size(), asked + 1);
            const auto& q = messages_.Questions().back();
            EXPECT_EQ(q.title, "Tarvo");
            EXPECT_EQ(q.text, c.message);
            EXPECT_EQ(q.buttons, 1u << core::kBitOk);
            EXPECT_TRUE(p1->frames.empty());
        }
        EXPECT_TRUE(p2->frames.empty());
    }
}

TEST_F(KanalEingabe, TextBlocksSendOrInsert) {
    struct Case {
        int key;
        unsigned shift;
        std::string stored;
        bool connected;
        int kind;  // asked for; 0: none
        const char* sent;
        const char* inserted;
    };
    const Case cases[] = {
        {'1', kCtrlKey, "Hallo", true, 4, "Hallo\r", ""},
        {'0', kCtrlKey, "Ende\r", true, 13, "Ende\r", ""},
        {'5', kCtrlShift, "abc", true, 8, "", "abc"},
        {'5', kCtrlShift, "abc", false, 8, "", "abc"},
        {'2', kCtrlKey, "", true, 5, "", ""},
        {'3', kCtrlKey, "x", false, 6, "", ""},
        {'1', kCtrlKey | kAltKey, "Hallo", true, 0, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << char(c.key) << " shift " << c.shift
                                        << (c.connected ? " connected" : ""));
        FakeKanalView* view = nullptr;
        auto k = MakeKanal(1, &view);
        std::shared_ptr<RecordingVerbindung> v;
        if (c.connected) v = Attach(*k);
        texte_.texts.clear();
        texte_.asked.clear();
        if (c.kind) texte_.texts[c.kind] = c.stored;
        int key = c.key;
        k->KeyDown(key, c.shift);
        EXPECT_EQ(key, c.kind ? 0 : c.key);
        EXPECT_EQ(texte_.asked, c.kind ? std::vector<int>{c.kind} : std::vector<int>{});
        if (c.kind) {
            EXPECT_EQ(texte_.askedFor, v.get());
        }
        std::string sent;
        if (v) {
            for (const SentData& d : v->calls) {
                sent += d.text;
                EXPECT_TRUE(d.expand && d.echo && d.userQueue && d.wrap);
            }
        }
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(view->inserted, c.inserted);
        k->Release();
    }
}

TEST_F(KanalEingabe, ConsoleKeysDriveTheMailboxList) {
    FakeKanalView* view = nullptr;
    auto k = MakeKanal(1, &view);
    view->focus = TKanalFocus::Console;
    const int row = k->Console().LineCursorRow();
    const std::string rows = std::to_string(row) + ".." + std::to_string(row);
    struct Step {
        int key;
        unsigned shift;
        bool consumed;
        std::vector<std::string> log;  // what the list was told, in order
    };
    const Step steps[] = {
        {kVkF11, kNone, true, {}},  // no list for F11
        {kVkShift, kShiftKey, false, {}},
        {'R', kNone, true, {"read " + rows + " advance toggle"}},
        {'E', kShiftKey, true, {"erase " + rows + " advance toggle"}},
        {kVkUp, kCtrlKey, true, {"previous"}},
        {kVkDown, kCtrlKey, true, {"next"}},
        {'C', kCtrlKey, false, {}},
        {'Q', kNone, true, {}},
        {kVkReturn, kNone, true, {"execute", "freed"}},
        {kVkTab, kNone, true, {}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.key);
        boxLog_.clear();
        int key = s.key;
        k->KeyDown(key, s.shift);
        EXPECT_EQ(key == 0, s.consumed);
        EXPECT_EQ(boxLog_, s.log);
    }
    EXPECT_EQ(view->beeps, 1);
    EXPECT_EQ(view->inputFocuses, 3);  // F11, Return, Tab
    EXPECT_FALSE(k->HasBoxList());
    // The first key after Return makes a new list.
    int key = kVkLeft;
    k->KeyDown(key, kNone);
    EXPECT_TRUE(k->HasBoxList());
}

TEST_F(KanalEingabe, GutterClickAndMenuMarkTheRows) {
    auto k = MakeKanal(1);
    TConsole& c = k->Console();
    k->GutterClick(7);
    c.MoveCursorTo(0, 3, false);
    c.SelectTo(5, 5);
    k->GutterClick(7);  // the selection wins over the clicked row
    k->MenuCommand(TMenuCommand::BoxErase, true);
    k->MenuCommand(TMenuCommand::BoxUnmark, true);
    EXPECT_EQ(boxLog_, (std::vector<std::string>{"read 7..7 toggle", "read 3..5 toggle",
                                                 "erase 3..5", "unmark 3..5"}));
}

TEST_F(KanalEingabe, EditorKeysScrollTheConsoleAndMoveTheFocus) {
    FakeKanalView* view = nullptr;
    auto k = MakeKanal(1, &view);
    TConsole& c = k->Console();
    c.SetViewSize(80, 5);
    c.ScrollToEnd();
    const int end = c.TopRow();
    struct Step {
        int key;
        unsigned shift;
        int top;  // expected afterwards
    };
    const Step steps[] = {
        {kVkPrior, kNone, end - 4}, {kVkPrior, kCtrlKey, end - 5}, {kVkNext, kCtrlKey, end - 4},
        {kVkHome, kCtrlKey, 0},     {kVkNext, kNone, 4},           {kVkEnd, kCtrlKey, end},
    };
    for (const Step& s : steps) {
        int key = s.key;
        k->KeyDown(key, s.shift);
        EXPECT_EQ(key, 0);
        EXPECT_EQ(c.TopRow(), s.top) << s.key << " " << s.shift;
    }
    EXPECT_EQ(view->caretToEnd, 1);
    int key = kVkTab;
    k->KeyDown(key, kShiftKey);
    EXPECT_EQ(view->consoleFocuses, 1);
    EXPECT_TRUE(boxLog_.empty());
}

TEST_F(KanalEingabe, ConsoleHintsNameTheStationAndTheLineAge) {
    auto k = MakeKanal(1);
    k->WriteColoured(kColourReceived, "de dl1abc-3 k\r");
    const int row = LastLineRow(*k);
    clock_.AdvanceMs((86400 + 301) * 1000);
    EXPECT_EQ(k->ConsoleHint(0, row, 5), "DL1ABC\rHans");
    EXPECT_EQ(stationen_->queries, std::vector<std::string>{"DL1ABC-3+"});
    EXPECT_EQ(k->ConsoleHint(0, row, 1), "");  // "DE" is nobody
    EXPECT_EQ(k->ConsoleHint(0, row, 2), "");
    EXPECT_EQ(k->ConsoleHint(1, row, 0),
              "Gestern, 24.12.2024, 13:45:07\r(vor 1 Tag, 0 Stunden, 5 Minuten, 1 Sekunde)");
    EXPECT_EQ(k->ConsoleHint(1, 0, 0), "");  // an empty line has no stamp
    EXPECT_EQ(k->ConsoleHint(2, row, 0), "");
}

TEST_F(KanalEingabe, ShowHintPrintAndCopyGoThroughTheView) {
    FakeKanalView* view = nullptr;
    auto k = MakeKanal(1, &view);
    k->ShowHint();
    EXPECT_EQ(view->buttonHint, "");  // no hint yet
    auto v = Attach(*k);
    k->ShowHint();
    EXPECT_EQ(view->buttonHint, "DB0ABC\rName: Unbekannt\rTyp: Mailbox");

    k->Verbunden();
    k->WriteColoured(kColourReceived, "eins\r");
    const int connectRow = k->Console().WriteRow() - 2;
    EXPECT_EQ(k->Console().GetLine(connectRow).mark, kMarkConnect);
    k->Print();
    EXPECT_EQ(view->printed, std::make_pair(connectRow, k->Console().Rows() - 1));

    TConsole& c = k->Console();
    c.MoveCursorTo(0, LastLineRow(*k), false);
    c.SelectTo(4, LastLineRow(*k));
    view->focus = TKanalFocus::Console;
    k->Copy();
    EXPECT_EQ(view->clipboard, "eins");
    view->focus = TKanalFocus::Input;
    k->Copy();
    k->Cut();
    k->Delete();
    view->focus = TKanalFocus::Other;
    k->Paste();
    EXPECT_EQ(view->inputEdits, (std::vector<TEditCommand>{TEditCommand::Copy, TEditCommand::Cut,
                                                           TEditCommand::Delete}));
}

// ---- saving ------------------------------------------------------------------------------

class KanalSave : public KanalEingabe {
  protected:
    KanalSave() {
        k_ = MakeKanal(1, &view_);
        k_->SetActive(true);
        for (const char* line : {"eins   \r", "zwei\r", "drei\r"}) k_->WriteColoured(10, line);
        first_ = LastLineRow(*k_) - 2;
        file_ = dir_ / "save.txt";
        view_->saveFile = file_;
    }
    void Select(int fromRow, int toCol, int toRow) {
        k_->Console().MoveCursorTo(0, fromRow, false);
        k_->Console().SelectTo(toCol, toRow);
    }

    FakeKanalView* view_ = nullptr;
    std::shared_ptr<TKanal> k_;
    int first_ = 0;
    std::filesystem::path file_;
};

TEST_F(KanalSave, SelectionAboveTheLastRowIsWrittenOnce) {
    Select(first_, 4, first_ + 1);
    k_->ToggleSaveToFile();
    EXPECT_EQ(ReadAll(file_), "eins\r\nzwei");
    EXPECT_FALSE(k_->Recording());
    EXPECT_FALSE(view_->savingChecked);
    EXPECT_TRUE(k_->Console().Selection().Empty());
    EXPECT_EQ(view_->proposedName, "Kanal01.txt");
    EXPECT_EQ(view_->saveFolder, dir_);
    k_->WriteColoured(10, "vier\r");
    EXPECT_EQ(ReadAll(file_), "eins\r\nzwei");
}

TEST_F(KanalSave, WithoutSelectionOrToTheEndRecordingGoesOn) {
    for (bool select : {true, false}) {
        SCOPED_TRACE(select);
        std::filesystem::remove(file_);
        if (select) Select(LastLineRow(*k_), 0, k_->Console().Rows());
        k_->ToggleSaveToFile();
        EXPECT_TRUE(k_->Recording());
        EXPECT_TRUE(view_->savingChecked);
        EXPECT_EQ(view_->panels[1], "save.txt");
        k_->WriteColoured(10, "vier\r");
        EXPECT_EQ(ReadAll(file_), select ? "drei\r\nvier\r\n" : "vier\r\n");
        k_->ToggleSaveToFile();  // stops
        EXPECT_FALSE(k_->Recording());
        EXPECT_FALSE(view_->savingChecked);
        EXPECT_EQ(view_->panels[1], "");
    }
    EXPECT_EQ(view_->saveDialogs, 2);
}

TEST_F(KanalSave, ExistingFileIsOverwrittenAppendedOrLeftAlone) {
    struct Case {
        TSaveAnswer answer;
        const char* content;
        bool recording;
    };
    const Case cases[] = {
        {TSaveAnswer::Cancel, "alt", false},
        {TSaveAnswer::Overwrite, "zwei", false},
        {TSaveAnswer::Append, "altzwei", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        WriteAll(file_, "alt");
        Select(first_ + 1, 4, first_ + 1);
        view_->overwriteAnswer = c.answer;
        view_->overwriteAsked.clear();
        k_->ToggleSaveToFile();
        EXPECT_EQ(view_->overwriteAsked, file_);
        EXPECT_EQ(ReadAll(file_), c.content);
        EXPECT_EQ(k_->Recording(), c.recording);
        // A cancel leaves the selection as it was.
        EXPECT_EQ(k_->Console().Selection().Empty(), c.answer != TSaveAnswer::Cancel);
        k_->Console().ClearSelection();
    }
}

TEST_F(KanalSave, CancelledDialogAndUnwritableFile) {
    view_->saveFile.reset();
    Select(first_, 4, first_);
    k_->ToggleSaveToFile();
    EXPECT_FALSE(k_->Recording());
    EXPECT_FALSE(k_->Console().Selection().Empty());
    EXPECT_TRUE(messages_.Questions().empty());

    view_->saveFile = dir_ / "no-such-folder" / "x.txt";
    k_->ToggleSaveToFile();
    EXPECT_FALSE(k_->Recording());
    ASSERT_EQ(messages_.Questions().size(), 1u);
    EXPECT_EQ(messages_.Questions()[0].title, "Speichern");
    EXPECT_EQ(messages_.Questions()[0].text,
              "Datei kann nicht zum Schreiben ge\xF6"
              "ffnet werden.");
}

TEST_F(KanalSave, ProposesTheCallOfTheConnection) {
    auto v = Attach(*k_);
    v->call = "DB0ABC-3";
    view_->saveFile.reset();
    k_->ToggleSaveToFile();
    EXPECT_EQ(view_->proposedName, "DB0ABC-3.txt");
}

}  // namespace
