#include "channels/ConsoleU.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "platform/Clock.h"

namespace fs = std::filesystem;
using namespace tarvo::channels;
using tarvo::platform::FakeClock;

namespace {

constexpr int kRows = 10;
constexpr int kCols = 80;

std::string Text(const TConsole& c, int row) {
    const TConsoleLine l = c.GetLine(row);
    return std::string(l.chars.substr(0, static_cast<std::size_t>(l.length)));
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Put32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

class ConsoleFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tarvo-console-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = dir_ / ConsoleBufferFileName(1);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::unique_ptr<TConsole> Make(int rows = kRows,
                                   TConsoleLineBreak mode = TConsoleLineBreak::CR) {
        auto c = std::make_unique<TConsole>(clock_);
        c->SetCols(kCols);
        c->SetRows(rows);
        c->SetLineBreak(mode);
        c->SetVirtualMemory(true);
        c->SetFileName(path_);
        return c;
    }
    std::unique_ptr<TConsole> Opened(int rows = kRows) {
        auto c = Make(rows);
        EXPECT_FALSE(c->Open());
        return c;
    }
    // A file holding a few written, coloured and marked lines.
    void MakeValidFile() {
        auto c = Opened();
        c->SetColor(3);
        c->Write("first\rsecond\r");
        c->SetMark(5, -1);
        c->Write("third");
    }

    FakeClock clock_{0, 1'700'000'000};
    fs::path dir_, path_;
};

bool IsEmpty(const TConsole& c) {
    for (int r = 0; r < c.Rows(); ++r)
        if (c.GetLine(r).length != 0 || c.GetLine(r).mark != 0) return false;
    return c.WriteRow() == c.Rows() - 1 && c.WriteColumn() == 0;
}

}  // namespace

TEST_F(ConsoleFile, TextColoursMarksAndStampsSurviveAReopen) {
    {
        auto c = Opened();
        EXPECT_EQ(c->OpenOutcome(), TConsoleOpen::Fresh);
        c->SetColor(1);
        c->Write("red ");
        c->SetColor(10);
        c->Write("blue\r");
        c->SetMark(5, -1);
        c->SetMailbox(true, -1);
        clock_.SetUnixSeconds(1'700'000'100);
        c->SetColor(15);
        c->Write("half");
        EXPECT_FALSE(c->Sync());
    }
    EXPECT_GE(fs::file_size(path_), ConsoleAllocSize(kCols, kRows));

    auto c = Opened();
    ASSERT_EQ(c->OpenOutcome(), TConsoleOpen::Kept);
    EXPECT_EQ(Text(*c, kRows - 2), "red blue");
    EXPECT_EQ(Text(*c, kRows - 1), "half");
    EXPECT_EQ(c->WriteRow(), kRows - 1);
    EXPECT_EQ(c->WriteColumn(), 4);
    EXPECT_EQ(c->LineSerial(), 1u);

    std::vector<TColourRun> runs;
    c->ColourRuns(kRows - 2, runs);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].first, 0);
    EXPECT_EQ(runs[0].count, 4);
    EXPECT_EQ(runs[0].colour, 1);
    EXPECT_EQ(runs[1].colour, 10);

    const TConsoleLine prev = c->GetLine(kRows - 2), last = c->GetLine(kRows - 1);
    EXPECT_EQ(prev.stamp, 1'700'000'000u);
    EXPECT_EQ(prev.endColour, 10);
    EXPECT_EQ(last.stamp, 1'700'000'100u);
    EXPECT_EQ(last.mark, 5);
    EXPECT_TRUE(last.mailbox);
    EXPECT_EQ(last.serial, 1u);
    EXPECT_EQ(c->GetLine(0).stamp, 0u);  // never written

    // Writing goes on where it stopped.
    c->Write(" more");
    EXPECT_EQ(Text(*c, kRows - 1), "half more");
}

TEST_F(ConsoleFile, OtherRowCountStartsEmptyWithoutDamageCopy) {
    MakeValidFile();
    auto c = Opened(kRows + 2);
    EXPECT_EQ(c->OpenOutcome(), TConsoleOpen::OtherRows);
    EXPECT_TRUE(IsEmpty(*c));
    EXPECT_TRUE(c->DamagedCopy().empty());
    EXPECT_FALSE(fs::exists(path_.string() + ".bad"));

    // Changing Rows while active reopens, which starts anew too.
    c->Write("x");
    EXPECT_FALSE(c->SetRows(kRows));
    EXPECT_EQ(c->Rows(), kRows);
    EXPECT_TRUE(IsEmpty(*c));
}

TEST_F(ConsoleFile, RowCountZeroMeansTheDefault) {
    {
        auto c = Opened(kConsoleDefaultFileRows);
        c->Write("kept");
    }
    std::string bytes = ReadAll(path_);
    Put32(bytes, 72, 0);
    WriteAll(path_, bytes);
    auto c = Opened(kConsoleDefaultFileRows);
    EXPECT_EQ(c->OpenOutcome(), TConsoleOpen::Kept);
    EXPECT_EQ(Text(*c, kConsoleDefaultFileRows - 1), "kept");
}

TEST_F(ConsoleFile, FileOfLayoutSizeOrLargerIsKept) {
    MakeValidFile();
    const std::string valid = ReadAll(path_);
    const std::size_t layout = static_cast<std::size_t>(ConsoleLayoutSize(kCols, kRows));
    for (std::size_t size : {layout, layout + 12345}) {
        std::string bytes = valid;
        bytes.resize(size, '\0');
        WriteAll(path_, bytes);
        auto c = Opened();
        EXPECT_EQ(c->OpenOutcome(), TConsoleOpen::Kept) << size;
        EXPECT_EQ(Text(*c, kRows - 1), "third") << size;
    }
}

// Each fixture breaks one field of a valid file. The console must start empty,
// keep the damaged bytes beside the file, and stay inside its buffer while every
// line is read and a line is written (the sanitizer builds catch any stray read).
TEST_F(ConsoleFile, DamagedFilesStartEmptyAndLeaveACopy) {
    const std::size_t line = static_cast<std::size_t>(ConsoleLineSize(kCols));
    const std::size_t line0 = kConsoleHeaderSize;
    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
    } cases[] = {
        {"shorter than the header", [](std::string& s) { s.resize(50); }},
        {"one byte short of the lines",
         [](std::string& s) {
             s.resize(static_cast<std::size_t>(ConsoleLayoutSize(kCols, kRows)) - 1);
         }},
        {"unknown version", [](std::string& s) { Put32(s, 64, 3); }},
        {"huge version", [](std::string& s) { Put32(s, 64, 0xFFFFFFFF); }},
        {"ring start past the rows", [](std::string& s) { Put32(s, 76, kRows); }},
        {"write column past the line", [](std::string& s) { Put32(s, 80, kCols + 1); }},
        {"write row past the rows", [](std::string& s) { Put32(s, 84, 0x80000000u); }},
        {"line length past the columns",
         [&](std::string& s) { s[line0 + 3 * line + 8] = static_cast<char>(kCols + 1); }},
        {"mailbox flag not 0 or 1", [&](std::string& s) { s[line0 + 9] = 2; }},
        {"gutter mark out of range",
         [&](std::string& s) { s[line0 + 9 * line + 10] = static_cast<char>(200); }},
        {"end colour out of range", [&](std::string& s) { s[line0 + 11] = 16; }},
        {"character colour out of range",
         [&](std::string& s) { s[line0 + 5 * line + 20 + kCols + 79] = 0x40; }},
    };
    MakeValidFile();
    const std::string valid = ReadAll(path_);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        std::string bytes = valid;
        k.damage(bytes);
        WriteAll(path_, bytes);
        fs::remove(path_.string() + ".bad");

        auto c = Opened();
        EXPECT_EQ(c->OpenOutcome(), TConsoleOpen::Damaged);
        EXPECT_TRUE(IsEmpty(*c));
        EXPECT_EQ(c->DamagedCopy(), fs::path(path_.string() + ".bad"));
        EXPECT_EQ(ReadAll(path_.string() + ".bad"), bytes);
        EXPECT_GE(fs::file_size(path_), ConsoleAllocSize(kCols, kRows));
        c->Write("after\r");
        EXPECT_EQ(Text(*c, kRows - 2), "after");
    }
}

TEST_F(ConsoleFile, SecondDamageCopyDoesNotReplaceTheFirst) {
    WriteAll(path_, "garbage");
    { Opened(); }
    WriteAll(path_, "more garbage");
    auto c = Opened();
    EXPECT_EQ(ReadAll(path_.string() + ".bad"), "garbage");
    ASSERT_FALSE(c->DamagedCopy().empty());
    EXPECT_EQ(ReadAll(c->DamagedCopy()), "more garbage");
}

TEST(ConsoleBufferFileName, TwoUpperCaseHexDigits) {
    EXPECT_EQ(ConsoleBufferFileName(10), "Buffer0A.tvn");
    EXPECT_EQ(ConsoleBufferFileName(0), "Buffer00.tvn");
    EXPECT_EQ(ConsoleBufferFileName(255), "BufferFF.tvn");
}

namespace {

class ConsoleText : public ::testing::Test {
  protected:
    void Open(TConsoleLineBreak mode, int rows = kRows) {
        c_ = std::make_unique<TConsole>(clock_);
        c_->SetRows(rows);
        c_->SetLineBreak(mode);
        ASSERT_FALSE(c_->Open());
        c_->SetViewSize(kCols, 4);
    }
    // The text of the last n rows, oldest first, joined by '|'.
    std::string Tail(int n) const {
        std::string out;
        for (int r = c_->Rows() - n; r < c_->Rows(); ++r) {
            if (!out.empty() || r != c_->Rows() - n) out += '|';
            out += Text(*c_, r);
        }
        return out;
    }
    void WriteNumbered(int from, int to) {
        for (int i = from; i < to; ++i) c_->Write("line " + std::to_string(i) + "\r");
    }

    FakeClock clock_{0, 1000};
    std::unique_ptr<TConsole> c_;
};

}  // namespace

TEST_F(ConsoleText, LineBreakModes) {
    const std::string full(80, 'x');
    const struct {
        TConsoleLineBreak mode;
        std::string text;
        std::string tail;  // last three rows
        int writeCol;
    } cases[] = {
        {TConsoleLineBreak::CR, "a\r\nb", "|a|b", 1},
        {TConsoleLineBreak::LF, "a\r\nb", "|a|b", 1},
        {TConsoleLineBreak::CRLF, "a\r\nb", "|a|b", 1},
        {TConsoleLineBreak::CRLF, "abc\rX", "||X", 1},  // carriage return alone overwrites
        {TConsoleLineBreak::CRLF, "ab\ncd", "|ab|  cd", 4},
        {TConsoleLineBreak::CR, "a\nb", "||ab", 2},
        {TConsoleLineBreak::LF, "a\rb", "||ab", 2},
        // The full line has wrapped before the carriage return arrives.
        {TConsoleLineBreak::CR, full + "\r", full + "||", 0},
        {TConsoleLineBreak::CRLF, full + "\r\n", full + "||", 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.text.substr(0, 12));
        Open(k.mode);
        c_->Write(k.text);
        EXPECT_EQ(Tail(3), k.tail);
        EXPECT_EQ(c_->WriteColumn(), k.writeCol);
    }
}

TEST_F(ConsoleText, LongLineWrapsAfterTheLastColumn) {
    Open(TConsoleLineBreak::CR);
    const std::string text = std::string(80, 'a') + "bcdef";
    c_->Write(text);
    EXPECT_EQ(Tail(2), std::string(80, 'a') + "|bcdef");
    EXPECT_EQ(c_->WriteColumn(), 5);
    EXPECT_EQ(c_->GetLine(kRows - 1).serial, 1u);

    // Written in pieces the wrap is the same.
    Open(TConsoleLineBreak::CR);
    for (char ch : text) c_->Write(std::string(1, ch));
    EXPECT_EQ(Tail(2), std::string(80, 'a') + "|bcdef");
}

TEST_F(ConsoleText, LongLinesBreakAtTheLastBlankBeforeTheEdge) {
    const std::string a70(70, 'a'), b39(39, 'b'), x79(79, 'x');
    const struct {
        const char* what;
        std::string text;
        std::string tail;  // last two rows
    } cases[] = {
        {"a word across the edge moves down whole", a70 + " msg may not be",
         a70 + " msg may|not be"},
        {"a blank at the edge goes", x79 + " next", x79 + "|next"},
        {"a blank right after the edge goes", a70 + " " + b39.substr(0, 9) + " next",
         a70 + " " + b39.substr(0, 9) + "|next"},
        {"a word longer than a row is cut", std::string(85, 'w'), std::string(80, 'w') + "|wwwww"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        Open(TConsoleLineBreak::CR);
        c_->Write(k.text);
        EXPECT_EQ(Tail(2), k.tail);
        // Arriving in pieces, as from the air, it breaks the same.
        Open(TConsoleLineBreak::CR);
        for (char ch : k.text) c_->Write(std::string(1, ch));
        EXPECT_EQ(Tail(2), k.tail);
        EXPECT_EQ(c_->WriteColumn(), static_cast<int>(k.tail.size() - k.tail.find('|') - 1));
    }
}

TEST_F(ConsoleText, NewLinesAreBlankAndStampsCoverOnlyTouchedLines) {
    Open(TConsoleLineBreak::CR);
    c_->SetColor(4);
    c_->Write("old\r");
    clock_.SetUnixSeconds(2000);
    c_->Write("a\rb");
    EXPECT_EQ(c_->GetLine(kRows - 3).stamp, 1000u);  // "old", not touched again
    EXPECT_EQ(c_->GetLine(kRows - 2).stamp, 2000u);
    EXPECT_EQ(c_->GetLine(kRows - 1).stamp, 2000u);
    EXPECT_EQ(c_->GetLine(kRows - 2).endColour, 4);
    EXPECT_EQ(c_->GetColours(1, kRows - 1), 0);  // blanked by the new line
    EXPECT_EQ(c_->GetChars(1, kRows - 1), ' ');
    EXPECT_EQ(c_->GetColours(0, 0), kConsoleClearedColour);  // never written

    // The stamp is the wall time; before 1970 there is none.
    clock_.SetUnixSeconds(-5);
    c_->Write("!");
    EXPECT_EQ(c_->GetLine(kRows - 1).stamp, 0u);
}

TEST_F(ConsoleText, SelectedTextTrimsAndJoins) {
    Open(TConsoleLineBreak::CR);
    c_->Write("hello world   \rsecond line\rthird\r");
    const int r = kRows - 4;  // "hello world"
    c_->MoveCursorTo(6, r, false);
    c_->SelectTo(3, r + 2);
    EXPECT_EQ(c_->SelectedText(), "world\r\nsecond line\r\nthi");
    const TConsoleSelection s = c_->Selection();
    EXPECT_EQ(s.firstCol, 6);
    EXPECT_EQ(s.firstRow, r);
    EXPECT_EQ(s.lastCol, 2);
    EXPECT_EQ(s.lastRow, r + 2);
    EXPECT_TRUE(c_->InSelection(0, r + 1));
    EXPECT_FALSE(c_->InSelection(3, r + 2));
    EXPECT_EQ(c_->SelectedColumns(r), std::make_pair(6, kCols));
    EXPECT_EQ(c_->SelectedColumns(r + 2), std::make_pair(0, 3));
    EXPECT_FALSE(c_->SelectionReachesEnd());

    // Backwards gives the same; past the end reaches it.
    c_->MoveCursorTo(3, r + 2, false);
    c_->SelectTo(6, r);
    EXPECT_EQ(c_->SelectedText(), "world\r\nsecond line\r\nthi");
    c_->SelectTo(0, kRows);
    EXPECT_TRUE(c_->SelectionReachesEnd());
    EXPECT_EQ(c_->LineCursorRow(), kRows - 1);

    c_->ClearSelection();
    EXPECT_TRUE(c_->Selection().Empty());
    EXPECT_EQ(c_->SelectedText(), "");
}

TEST_F(ConsoleText, SelectionStaysOnItsTextWhileTheRingAdvances) {
    Open(TConsoleLineBreak::CR);
    WriteNumbered(0, kRows);  // rows 0..8 hold "line 1".."line 9"
    c_->MoveCursorTo(0, 3, false);
    c_->SelectTo(6, 4);
    ASSERT_EQ(c_->SelectedText(), "line 4\r\nline 5");

    WriteNumbered(kRows, kRows + 2);
    EXPECT_EQ(c_->SelectedText(), "line 4\r\nline 5");
    EXPECT_EQ(c_->Selection().firstRow, 1);
    EXPECT_EQ(c_->LineCursorRow(), 2);

    // Once its first line has left, the rest stays selected from row 0.
    WriteNumbered(kRows + 2, kRows + 4);
    EXPECT_EQ(c_->SelectedText(), "line 5");
    EXPECT_EQ(c_->Selection().firstRow, 0);
    EXPECT_EQ(c_->Selection().firstCol, 0);
    EXPECT_EQ(c_->LineCursorRow(), 0);

    // Gone entirely, it disappears.
    WriteNumbered(kRows + 4, kRows + 6);
    EXPECT_TRUE(c_->Selection().Empty());
    EXPECT_FALSE(c_->RowInSelection(0));
}

TEST_F(ConsoleText, ViewFollowsOnlyWhenTheBottomIsVisible) {
    Open(TConsoleLineBreak::CR, 20);
    WriteNumbered(0, 20);
    EXPECT_EQ(c_->FollowState(), 2);
    EXPECT_EQ(c_->TopRow(), 16);

    c_->ScrollLines(-5);
    EXPECT_EQ(c_->FollowState(), 1);
    const std::string shown = Text(*c_, c_->TopRow());
    WriteNumbered(20, 23);
    EXPECT_EQ(Text(*c_, c_->TopRow()), shown);  // same text, three rows higher
    EXPECT_EQ(c_->TopRow(), 8);

    c_->ScrollToEnd();
    WriteNumbered(23, 25);
    EXPECT_EQ(c_->FollowState(), 2);
    EXPECT_EQ(c_->TopRow(), 16);

    c_->ScrollToTop();
    EXPECT_EQ(c_->FollowState(), 0);
    WriteNumbered(25, 26);
    EXPECT_EQ(c_->TopRow(), 0);
}

TEST_F(ConsoleText, CursorMovesStopAtTheEdgesAndShiftExtends) {
    Open(TConsoleLineBreak::CR);
    c_->Write("abcdef\r");
    EXPECT_EQ(c_->LineCursorRow(), kRows - 2);  // moved up with its text
    c_->MoveCursor(TCursorMove::End, false);
    EXPECT_EQ(c_->CursorColumn(), 6);
    c_->MoveCursor(TCursorMove::Left, true);
    c_->MoveCursor(TCursorMove::Left, true);
    EXPECT_EQ(c_->SelectedText(), "ef");
    c_->MoveCursor(TCursorMove::Home, false);
    EXPECT_TRUE(c_->Selection().Empty());
    c_->MoveCursor(TCursorMove::Left, false);
    EXPECT_EQ(c_->CursorColumn(), 0);
    c_->MoveCursor(TCursorMove::Top, false);
    EXPECT_EQ(c_->LineCursorRow(), 0);
    EXPECT_EQ(c_->TopRow(), 0);
    c_->MoveCursor(TCursorMove::Up, false);
    EXPECT_EQ(c_->LineCursorRow(), 0);
    c_->MoveCursor(TCursorMove::Bottom, false);
    EXPECT_EQ(c_->LineCursorRow(), kRows - 1);
    EXPECT_EQ(c_->FollowState(), 2);
}

TEST_F(ConsoleText, DirtyRangeCoversWhatChanged) {
    Open(TConsoleLineBreak::CR);
    c_->TakeDirty();
    const std::uint64_t before = c_->ChangeCount();
    c_->Write("abc");
    TConsoleDirty d = c_->TakeDirty();
    EXPECT_EQ(d.first, kRows - 1);
    EXPECT_EQ(d.last, kRows - 1);
    EXPECT_GT(c_->ChangeCount(), before);
    EXPECT_FALSE(c_->TakeDirty().Any());

    c_->Write("\r");  // the ring advances: every row moved
    d = c_->TakeDirty();
    EXPECT_EQ(d.first, 0);
    EXPECT_EQ(d.last, kRows - 1);
}

TEST_F(ConsoleText, MailboxRowsHighlightUnderTheCursorOrSelection) {
    Open(TConsoleLineBreak::CR);
    c_->Write("msg 1\rmsg 2\r");
    c_->SetMailbox(true, kRows - 3);
    c_->SetMailbox(true, kRows - 2);
    c_->MoveCursorTo(0, kRows - 3, false);
    EXPECT_TRUE(c_->Highlighted(kRows - 3));
    EXPECT_FALSE(c_->Highlighted(kRows - 2));
    c_->SelectTo(2, kRows - 2);
    EXPECT_TRUE(c_->Highlighted(kRows - 3));
    EXPECT_TRUE(c_->Highlighted(kRows - 2));
    EXPECT_FALSE(c_->Highlighted(kRows - 1));  // no mailbox flag
}
