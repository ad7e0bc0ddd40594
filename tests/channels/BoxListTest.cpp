#include "channels/BoxListU.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string_view>

#include "channels/KanalU.h"
#include "tests/channels/ChannelFixture.h"

namespace {

using namespace tarvo;
using namespace tarvo::channels;
using test::FakeKanalView;
using test::RecordingVerbindung;

TEST(MessageListLine, WhatALineNames) {
    struct Case {
        const char* line;
        bool list;
        const char* board;
        std::int32_t number;
        bool numberOnly;
    };
    const Case cases[] = {
        {"1234  DL1ABC  > ALL     24.12.05 13:45 1234 Betreff", true, "ALL", 1234, false},
        {"  17  DB0XYZ  > TEST....57 24.12.05 Mit Punkten", true, "TEST", 57, false},
        {"12 DL1ABC  24.12.05 13:45  1234 Erste", true, "", 12, false},
        {"12 DL1ABC  24.12.05 13:45  1234 Erste\r", true, "", 12, false},  // CR of the line
        {"99999999999 DL1ABC Zu gross", true, "", 0, false},
        {"0 DL1ABC Null", true, "", 0, false},
        {"3      10-Dec BN      23 ALL    @WW     TFKA   Bulletin for all", true, "", 3, true},
        {"2      10-Dec PY      48 TFKA           TFKA   Test message one", true, "", 2, true},
        {"de LABBBS>", false, "", 0, false},
        {"Message: 2 Bid:  2_LABBBS Size: 48", false, "", 0, false},
        {"Hallo Welt", false, "", 0, false},
        {"", false, "", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto parsed = ParseMessageListLine(c.line);
        ASSERT_EQ(parsed.has_value(), c.list);
        if (!parsed) continue;
        EXPECT_EQ(parsed->board, c.board);
        EXPECT_EQ(parsed->number, c.number);
        EXPECT_EQ(parsed->numberOnly, c.numberOnly);
    }
}

TEST(MessageListLine, MegabyteLinesEndWithAnAnswer) {
    // Built to make the search backtrack; each must come back, list line or not.
    const std::size_t mb = 1 << 20;
    std::string alternating = "1 ";
    while (alternating.size() < mb) alternating += "A1";
    const std::string lines[] = {
        "1 DL1ABC " + std::string(mb, ' '),
        "1 " + std::string(mb, 'A'),
        alternating,
        std::string(mb, ' '),
        "1 DL1ABC > ALL " + std::string(mb, '9') + "x",
        std::string(mb, '1'),
    };
    for (const std::string& line : lines) (void)ParseMessageListLine(line);
    EXPECT_TRUE(IsMessageListLine("1 DL1ABC " + std::string(mb, 'x')));
}

class BoxList : public test::ChannelFixture {
  protected:
    void SetUp() override {
        kanal_ = MakeKanal(1, &view_);
        view_->focus = TKanalFocus::Console;
        verbindung_ = std::make_shared<RecordingVerbindung>();
        verbindung_->stationType = core::kStationMailbox;
        kanal_->SetVerbindung(verbindung_);
    }
    void TearDown() override { kanal_->Release(); }

    TConsole& Console() { return kanal_->Console(); }

    // Received lines as the text module shows them: list lines get their flag.
    void Show(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            const std::int64_t serial = kanal_->Received(line + "\r");
            if (IsMessageListLine(line)) kanal_->MarkBoxLine(serial);
        }
    }
    // The newest row whose text begins with prefix.
    int Row(std::string_view prefix) {
        for (int row = Console().WriteRow(); row >= 0; --row)
            if (BoxRowText(Console(), row).starts_with(prefix)) return row;
        ADD_FAILURE() << "no row " << prefix;
        return 0;
    }
    void Key(int key, int firstRow, int lastRow = -1) {
        Console().MoveCursorTo(0, firstRow, false);
        if (lastRow >= 0) Console().SelectTo(1, lastRow);
        kanal_->KeyDown(key, 0);
        EXPECT_EQ(key, 0);
    }
    // "R", "E" or "-" per row, "." for rows that are no list line.
    std::string Marks(const std::vector<int>& rows) {
        std::string out;
        for (int row : rows) {
            const TConsoleLine l = Console().GetLine(row);
            out += !l.mailbox                   ? '.'
                   : l.mark == kBoxMarkRead     ? 'R'
                   : l.mark == kBoxMarkErase    ? 'E'
                   : l.mark == kBoxMarkListLine ? '-'
                                                : '?';
        }
        return out;
    }
    std::vector<std::string> Sent() {
        std::vector<std::string> out;
        for (const auto& c : verbindung_->calls) {
            EXPECT_TRUE(c.echo);
            EXPECT_FALSE(c.expand);
            EXPECT_FALSE(c.wrap);
            EXPECT_FALSE(c.userQueue);  // straight to the link
            out.push_back(c.text);
        }
        verbindung_->calls.clear();
        return out;
    }

    FakeKanalView* view_ = nullptr;
    std::shared_ptr<TKanal> kanal_;
    std::shared_ptr<RecordingVerbindung> verbindung_;
};

const std::vector<std::string> kBoardX = {
    "DB0XYZ> L X",
    "Rubrik X @ DB0XYZ, 3 Nachrichten",
    "12 DL1ABC  24.12.05 13:45  1234 Erste",
    "15 DL2XYZ  24.12.05 14:00   567 Zweite",
    "16 DL3QQQ  24.12.05 14:10    89 Dritte",
    "DB0XYZ>",
};

TEST_F(BoxList, KeysMarkAndReturnSendsTheCommands) {
    struct Step {
        int key;
        const char* first;
        const char* last;  // a selection to this row, or the cursor alone
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        const char* marks;  // header, 12, 15, 16
        std::vector<std::string> sent;
    };
    const Case cases[] = {
        {"R twice toggles", {{'R', "12", nullptr}, {'R', "12", nullptr}}, ".---", {"\r"}},
        {"space marks for reading", {{' ', "15", nullptr}}, ".-R-", {"R X 15\r"}},
        {"E on a line marked read keeps one command",
         {{'R', "12", nullptr}, {'E', "12", nullptr}},
         ".E--",
         {"E X 12\r"}},
        {"read 12, erase 15",
         {{'R', "12", nullptr}, {'E', "15", nullptr}},
         ".RE-",
         {"R X 12;E X 15\r"}},
        {"a range with the header marks only list lines",
         {{'R', "Rubrik", "16"}},
         ".RRR",
         {"R X 12;R X 15;R X 16\r"}},
        {"a marked range toggles back",
         {{'E', "Rubrik", "16"}, {'E', "Rubrik", "16"}},
         ".---",
         {"\r"}},
        {"a partly marked range is marked",
         {{'R', "15", nullptr}, {'R', "Rubrik", "16"}},
         ".RRR",
         {"R X 12;R X 15;R X 16\r"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Console().Clear();
        Show(kBoardX);
        const std::vector<int> rows = {Row("Rubrik"), Row("12"), Row("15"), Row("16")};
        for (const Step& s : c.steps) Key(s.key, Row(s.first), s.last ? Row(s.last) : -1);
        Console().ClearSelection();
        EXPECT_EQ(Marks(rows), c.marks);
        Key(kVkReturn, Row("16"));
        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(Marks(rows), ".---");  // sent: the marks go
        EXPECT_FALSE(kanal_->HasBoxList());
        EXPECT_EQ(Console().FollowState(), 2);
    }
}

TEST_F(BoxList, BoardComesFromTheHeaderOrTheLineAboveIt) {
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        std::vector<std::string> sent;
    };
    const Case cases[] = {
        {"the prompt's command names it",
         {"DB0ABC> L TECHNIK", "Nr Call", "7 DL1ABC Text"},
         {"R TECHNIK 7\r"}},
        {"a bare prompt: the header",
         {"DB0ABC>", "Rubrik AMSAT-DL:", "7 DL1ABC Text"},
         {"R AMSAT-DL 7\r"}},
        {"an empty header line",
         {"Liste der Rubrik WETTER @ DB0ABC", "", "7 DL1ABC Text"},
         {"R WETTER 7\r"}},
        {"the list's own board wins",
         {"DB0ABC> L", "Neue Nachrichten:", "7 DL1ABC > ALL 24.12.05 x"},
         {"R ALL 7\r"}},
        {"no board: left out, the next item leads",
         {"7 DL1ABC kein Kopf", "DB0ABC>", "Rubrik ALL", "8 DL1ABC Text"},
         {"R ALL 8\r"}},
        {"nothing to say: a lone CR", {"0 DL1ABC Nummer null"}, {"\r"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Console().Clear();
        Show(c.lines);
        int first = Console().WriteRow() - static_cast<int>(c.lines.size());
        Key('R', first, Console().WriteRow() - 1);
        Key(kVkReturn, first);
        EXPECT_EQ(Sent(), c.sent);
    }
}

TEST_F(BoxList, MarkedLinesFollowTheirTextThroughTheRing) {
    // Fill the ring so that every new line moves the old ones up a row.
    for (int i = 0; i < Console().Rows(); ++i) Show({"fill"});
    Show(kBoardX);
    Key('R', Row("12"));
    Key('E', Row("15"));
    const int row12 = Row("12");
    Show({"more", "lines", "arrive"});
    ASSERT_EQ(Row("12"), row12 - 3);
    EXPECT_EQ(Marks({Row("12"), Row("15")}), "RE");
    Key(kVkReturn, 0);
    EXPECT_EQ(Sent(), std::vector<std::string>{"R X 12;E X 15\r"});

    // A marked line that has left the ring is skipped.
    Key('R', Row("16"));
    for (int i = 0; i < Console().Rows(); ++i) Show({"1 DL1ABC neu"});
    Key(kVkReturn, 0);
    EXPECT_EQ(Sent(), std::vector<std::string>{"\r"});
}

TEST_F(BoxList, ClearingTheConsoleForgetsTheMarks) {
    Show(kBoardX);
    Key('R', Row("12"));
    kanal_->ClearConsole();
    EXPECT_FALSE(kanal_->HasBoxList());
    Show(kBoardX);
    Key(kVkReturn, 0);
    EXPECT_EQ(Sent(), std::vector<std::string>{"\r"});
}

TEST_F(BoxList, LongCommandsAreSplitAtTheFrameSize) {
    std::vector<std::string> lines = {"DB0XYZ> L RUBRIK-LANG"};
    for (int n = 1000; n < 1060; ++n) lines.push_back(std::to_string(n) + " DL1ABC Text");
    Show(lines);
    Key('E', Row("1000"), Row("1059"));
    Key(kVkReturn, 0);
    const std::vector<std::string> sent = Sent();
    ASSERT_GT(sent.size(), 1u);
    std::string all;
    for (const std::string& s : sent) {
        EXPECT_LE(s.size(), kBoxFrameSize);
        ASSERT_EQ(s.back(), '\r');
        if (!all.empty()) all += ';';
        all += s.substr(0, s.size() - 1);
    }
    std::string expected;
    for (int n = 1000; n < 1060; ++n)
        expected += (n > 1000 ? ";E RUBRIK-LANG " : "E RUBRIK-LANG ") + std::to_string(n);
    EXPECT_EQ(all, expected);
}

TEST_F(BoxList, MegabyteLineOnTheChannel) {
    // The line wraps over far more rows than the ring holds.
    const std::string huge = "17 DL1ABC " + std::string(1 << 20, 'x');
    const std::int64_t serial = kanal_->Received(huge + "\r");
    kanal_->MarkBoxLine(serial);
    Show(kBoardX);
    Key('R', 0, Console().WriteRow());
    Key(kVkReturn, 0);
    EXPECT_EQ(Sent(), std::vector<std::string>{"R X 12;R X 15;R X 16\r"});
}

TEST_F(BoxList, NavigationMovesBetweenGroups) {
    Show({"DB0XYZ> L", "Rubrik A", "1 DL1ABC a", "2 DL1ABC b", "DB0XYZ> L", "Rubrik B",
          "3 DL1ABC c", "DB0XYZ>"});
    const int one = Row("1 "), three = Row("3 ");
    Console().MoveCursorTo(0, 0, false);
    int key = kVkDown;
    kanal_->KeyDown(key, kCtrlKey);
    EXPECT_EQ(Console().LineCursorRow(), one);
    key = kVkDown;
    kanal_->KeyDown(key, kCtrlKey);
    EXPECT_EQ(Console().LineCursorRow(), three);
    key = kVkDown;
    kanal_->KeyDown(key, kCtrlKey);  // no group below: stays
    EXPECT_EQ(Console().LineCursorRow(), three);
    key = kVkUp;
    kanal_->KeyDown(key, kCtrlKey);
    EXPECT_EQ(Console().LineCursorRow(), one);  // to the group's first line
}

// The recorded BBS session: which received lines are list lines, and what
// marking all of one list sends.
TEST_F(BoxList, RecordedMailboxList) {
    std::ifstream in(std::string(TARVO_TEST_FIXTURES) + "/../../channels/fixtures/bbs-session.txt");
    ASSERT_TRUE(in);
    // Lines like: +12.345 T>H f3.0 |...| "text\r"  (quotes inside as \")
    const auto received = [](const std::string& raw) -> std::optional<std::string> {
        const std::string_view open = "| \"", close = "\\r\"";
        if (raw.empty() || raw[0] != '+' || raw.find(" T>H f") == std::string::npos)
            return std::nullopt;
        const auto start = raw.rfind(open);
        if (start == std::string::npos || raw.size() < start + open.size() + close.size() ||
            raw.compare(raw.size() - close.size(), close.size(), close) != 0)
            return std::nullopt;
        std::string text =
            raw.substr(start + open.size(), raw.size() - close.size() - start - open.size());
        for (std::size_t at; (at = text.find("\\\"")) != std::string::npos;) text.erase(at, 1);
        return text;
    };
    std::vector<std::string> lines, listLines;
    for (std::string raw; std::getline(in, raw);) {
        const auto text = received(raw);
        if (!text) continue;
        const std::string& line = *text;
        lines.push_back(line);
        if (IsMessageListLine(line)) listLines.push_back(line.substr(0, 2));
    }
    ASSERT_GT(lines.size(), 80u);
    // "L", "LM", "LL 2" and "L 1-9" answered with these lines.
    EXPECT_EQ(listLines, (std::vector<std::string>{"3 ", "2 ", "2 ", "3 ", "2 ", "2 "}));

    // The answer to "L": both marked, the prompt too.
    Show({"de LABBBS>", "3      10-Dec BN      23 ALL    @WW     TFKA   Bulletin for all",
          "2      10-Dec PN      48 TFKA           TFKA   Test message one", "de LABBBS>"});
    const int first = Row("3 "), second = Row("2 ");
    Key('R', first - 1, second + 1);
    EXPECT_EQ(Marks({first - 1, first, second, second + 1}), ".RR.");
    Key('E', first);
    Key(kVkReturn, 0);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"K 3\r", "R 2\r"}));
}

}  // namespace
