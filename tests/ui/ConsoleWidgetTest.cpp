#include "ui/ConsoleWidgetU.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channels/ConsoleU.h"
#include "platform/Clock.h"

using tarvo::channels::TConsole;
using tarvo::ui::TConsoleWidget;

namespace {

// The QApplication comes from the environment in MessageboxTest.cpp.
class ConsoleWidgetTest : public ::testing::Test {
  protected:
    static constexpr int kRows = 25;

    void SetUp() override {
        console_ = std::make_unique<TConsole>(clock_);
        console_->SetRows(kRows);
        ASSERT_FALSE(console_->Open());
        console_->SetPaletteEntry(0, {0, 0, 0});
        widget_ = std::make_unique<TConsoleWidget>(*console_);
        widget_->SetConsoleFont("10x18");
        widget_->SetBackgroundColor(Qt::white);
        const QSize cell = widget_->CellSize();
        // Room for the whole console, so no scroll bar takes space.
        widget_->resize(widget_->GutterWidth() + 80 * cell.width() + 40,
                        kRows * cell.height() + 40);
        widget_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(widget_.get()));
    }
    void TearDown() override {
        widget_.reset();
        console_.reset();
    }

    // Lines end with CR LF; they land just above the (empty) write row.
    void WriteLines(const std::vector<std::string>& lines) {
        for (const std::string& l : lines) console_->Write(l + "\r\n");
        widget_->SyncWithConsole();
    }
    int LineRow(int i, int count) const { return console_->WriteRow() - count + i; }

    QWidget* View() const { return widget_->viewport(); }
    // A point just right of the cell's left edge: rounds to that column.
    QPoint At(int col, int row) const { return widget_->CellOrigin(col, row) + QPoint(1, 2); }
    QRect Cell(int col, int row) const {
        return {widget_->CellOrigin(col, row), widget_->CellSize()};
    }

    tarvo::platform::SteadyClock clock_;
    std::unique_ptr<TConsole> console_;
    std::unique_ptr<TConsoleWidget> widget_;
};

bool WaitUntil(const std::function<bool()>& done, int ms = 2000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QTest::qWait(5);
    return done();
}

// The pixel of the cell furthest from white: the core of the glyph on a white ground.
QColor Darkest(const QImage& img, const QRect& cell) {
    QColor best(Qt::white);
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() + c.green() + c.blue() < best.red() + best.green() + best.blue()) best = c;
        }
    return best;
}

bool Near(const QColor& a, const QColor& b, int tolerance = 60) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

bool AllPixels(const QImage& img, const QRect& r, const QColor& c) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixelColor(x, y) != c) return false;
    return true;
}

TEST_F(ConsoleWidgetTest, RepaintsFollowChangesAndNothingRunsWhileIdle) {
    ASSERT_TRUE(WaitUntil([] { return !TConsoleWidget::RepaintPending(); }));
    // Idle: no timer is started, however long nothing happens.
    QTest::qWait(60);
    EXPECT_FALSE(TConsoleWidget::RepaintPending());

    // A burst of output schedules one repaint, which takes the changes.
    for (int i = 0; i < 50; ++i) console_->Write("zeile\r\n");
    EXPECT_TRUE(TConsoleWidget::RepaintPending());
    ASSERT_TRUE(WaitUntil([] { return !TConsoleWidget::RepaintPending(); }));
    EXPECT_FALSE(console_->TakeDirty().Any());
    QTest::qWait(60);
    EXPECT_FALSE(TConsoleWidget::RepaintPending());

    // A console that outlives its widget tells nobody.
    widget_.reset();
    console_->Write("danach\r\n");
    EXPECT_FALSE(TConsoleWidget::RepaintPending());
}

TEST_F(ConsoleWidgetTest, MouseSelectsAcrossTwoLinesAndAClickInsideDropsIt) {
    WriteLines({"first line of text", "second line"});
    const int r0 = LineRow(0, 2), r1 = LineRow(1, 2);

    QTest::mousePress(View(), Qt::LeftButton, {}, At(6, r0));
    QTest::mouseMove(View(), At(4, r1));
    QTest::mouseMove(View(), At(6, r1));
    QTest::mouseRelease(View(), Qt::LeftButton, {}, At(6, r1));
    EXPECT_EQ(console_->SelectedText(), "line of text\r\nsecond");
    EXPECT_EQ(console_->LineCursorRow(), r1);
    EXPECT_EQ(console_->CursorColumn(), 6);

    // Half a cell or more to the right rounds up to the next boundary.
    const int half = widget_->CellSize().width() / 2;
    QTest::mousePress(View(), Qt::LeftButton, {}, widget_->CellOrigin(0, r0) + QPoint(half + 1, 2));
    QTest::mouseMove(View(), At(3, r0));
    QTest::mouseRelease(View(), Qt::LeftButton, {}, At(3, r0));
    EXPECT_EQ(console_->SelectedText(), "ir");

    // A press inside the selection may start a drag; released in place it clears.
    QTest::mousePress(View(), Qt::LeftButton, {}, At(2, r0));
    EXPECT_EQ(console_->SelectedText(), "ir");
    QTest::mouseRelease(View(), Qt::LeftButton, {}, At(2, r0));
    EXPECT_TRUE(console_->Selection().Empty());
}

TEST_F(ConsoleWidgetTest, RightClickKeepsASelectionItHitsAndAsksTheOwnerForTheMenu) {
    WriteLines({"alpha beta gamma"});
    const int r = LineRow(0, 1);
    console_->MoveCursorTo(6, r, false);
    console_->SelectTo(10, r);
    QSignalSpy menu(widget_.get(), &TConsoleWidget::ContextPopup);

    QTest::mousePress(View(), Qt::RightButton, {}, At(7, r));
    QTest::mouseRelease(View(), Qt::RightButton, {}, At(7, r));
    EXPECT_EQ(console_->SelectedText(), "beta");

    QContextMenuEvent ev(QContextMenuEvent::Mouse, At(7, r), View()->mapToGlobal(At(7, r)));
    QApplication::sendEvent(View(), &ev);
    ASSERT_EQ(menu.count(), 1);
    EXPECT_EQ(menu.at(0).at(1).toInt(), r);
    EXPECT_EQ(menu.at(0).at(2).toInt(), 7);

    // Outside the selection the click moves the cursor and drops it.
    QTest::mousePress(View(), Qt::RightButton, {}, At(1, r));
    EXPECT_TRUE(console_->Selection().Empty());
    EXPECT_EQ(console_->CursorColumn(), 1);
}

TEST_F(ConsoleWidgetTest, GutterClickNeedsPressAndReleaseInTheGutter) {
    WriteLines({"one", "two", "three"});
    const int r1 = LineRow(1, 3);
    QSignalSpy clicks(widget_.get(), &TConsoleWidget::GutterClicked);
    const QPoint gutter(3, widget_->CellOrigin(0, r1).y() + 3);

    QTest::mouseClick(View(), Qt::LeftButton, {}, gutter);
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), r1);
    EXPECT_EQ(console_->LineCursorRow(), r1);
    EXPECT_EQ(console_->CursorColumn(), 0);

    QTest::mousePress(View(), Qt::LeftButton, {}, gutter);
    QTest::mouseMove(View(), At(2, r1));
    QTest::mouseRelease(View(), Qt::LeftButton, {}, At(2, r1));
    EXPECT_EQ(clicks.count(), 1);

    // A gutter press on a selected row leaves the selection alone.
    console_->MoveCursorTo(1, r1, false);
    console_->SelectTo(3, r1);
    QTest::mouseClick(View(), Qt::LeftButton, {}, gutter);
    EXPECT_EQ(console_->SelectedText(), "wo");
}

TEST_F(ConsoleWidgetTest, KeysMoveTheCursorExtendWithShiftAndCopyWithCtrl) {
    WriteLines({"first", "second"});
    const int r0 = LineRow(0, 2);
    widget_->setFocus();
    QTest::mouseClick(View(), Qt::LeftButton, {}, At(0, r0));

    QTest::keyClick(widget_.get(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(widget_.get(), Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(console_->SelectedText(), "first\r\nsecond");

    QApplication::clipboard()->clear();
    QTest::keyClick(widget_.get(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());  // Ctrl exactly
    QTest::keyClick(widget_.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("first\r\nsecond"));

    // Without Shift a move drops the selection.
    QTest::keyClick(widget_.get(), Qt::Key_Home);
    EXPECT_TRUE(console_->Selection().Empty());
    EXPECT_EQ(console_->CursorColumn(), 0);
    QTest::keyClick(widget_.get(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(console_->LineCursorRow(), 0);
    QTest::keyClick(widget_.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(console_->LineCursorRow(), console_->WriteRow());
    EXPECT_EQ(console_->CursorColumn(), console_->WriteColumn());
}

TEST_F(ConsoleWidgetTest, PaintShowsRunColoursSelectionGutterAndTheRestBlank) {
    const QColor green(0, 127, 0), blue(0, 0, 255);
    console_->SetColor(5);
    console_->Write("MMMM");
    console_->SetColor(14);
    console_->Write("WWWW\r\n");
    console_->SetMark(3, console_->WriteRow() - 1);
    console_->Write("MM");
    widget_->SyncWithConsole();
    const int r = console_->WriteRow() - 1;

    QImage img = View()->grab().toImage();
    EXPECT_TRUE(Near(Darkest(img, Cell(1, r)), green))
        << Darkest(img, Cell(1, r)).name().toStdString();
    EXPECT_TRUE(Near(Darkest(img, Cell(5, r)), blue))
        << Darkest(img, Cell(5, r)).name().toStdString();
    // Past the line's length the row is only background.
    EXPECT_TRUE(AllPixels(img, Cell(9, r), Qt::white));
    EXPECT_TRUE(AllPixels(img, Cell(40, r), Qt::white));
    // The mark is drawn in the gutter; an unmarked row has the plain gutter colour.
    const int gw = widget_->GutterWidth();
    EXPECT_FALSE(AllPixels(img, QRect(0, Cell(0, r).y(), gw - 2, Cell(0, r).height()),
                           widget_->GutterColor()));
    EXPECT_TRUE(AllPixels(img, QRect(0, Cell(0, r - 1).y(), gw - 2, Cell(0, r - 1).height()),
                          widget_->GutterColor()));
    EXPECT_TRUE(AllPixels(img, QRect(gw - 2, Cell(0, r).y(), 1, Cell(0, r).height()),
                          widget_->GutterLineColor()));
    // The write position's bar: grey, two pixels, ending two above the cell's bottom.
    const QRect w = Cell(console_->WriteColumn(), console_->WriteRow());
    EXPECT_EQ(img.pixelColor(w.left() + 2, w.bottom() - 3), QColor(128, 128, 128));
    EXPECT_EQ(img.pixelColor(w.left() + 2, w.bottom() - 1), QColor(Qt::white));

    // Selected characters in the highlight colours.
    console_->MoveCursorTo(4, r, false);
    console_->SelectTo(6, r);
    widget_->SyncWithConsole();
    img = View()->grab().toImage();
    const QColor hl = widget_->palette().color(QPalette::Highlight);
    const QRect sel = Cell(4, r);
    EXPECT_EQ(img.pixelColor(sel.left(), sel.top()), hl);
    EXPECT_EQ(img.pixelColor(Cell(6, r).left() + 1, sel.top()), QColor(Qt::white));
}

TEST_F(ConsoleWidgetTest, MailboxRowIsHighlightedOnlyWithFocus) {
    WriteLines({"Msg# 1 TO ALL"});
    const int r = LineRow(0, 1);
    console_->SetMailbox(true, r);
    console_->MoveCursorTo(0, r, false);
    widget_->SetMailboxColor(QColor(216, 216, 216));
    widget_->SyncWithConsole();
    const QRect blank = Cell(30, r);

    widget_->clearFocus();
    QImage img = View()->grab().toImage();
    EXPECT_TRUE(AllPixels(img, blank, Qt::white));

    widget_->activateWindow();
    widget_->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return widget_->hasFocus(); }));
    img = View()->grab().toImage();
    EXPECT_TRUE(AllPixels(img, blank, QColor(216, 216, 216)));
}

TEST_F(ConsoleWidgetTest, ShowDosShowsDosUmlautsAsTheirLetters) {
    EXPECT_EQ(tarvo::ui::ConsoleDisplayText("\x84\x94\x81\xE1", true), QStringLiteral("äöüß"));
    EXPECT_EQ(tarvo::ui::ConsoleDisplayText("\xE4\x80", false), QStringLiteral("ä€"));
    EXPECT_EQ(tarvo::ui::ConsoleFontPixelSize("10x18"), 18);
    EXPECT_EQ(tarvo::ui::ConsoleFontPixelSize("07x09"), 9);
    EXPECT_EQ(tarvo::ui::ConsoleFontPixelSize("Courier"), 0);
    EXPECT_EQ(tarvo::ui::ConsoleFontPixelSize("8x"), 0);
}

class ConsoleWidgetScrollTest : public ConsoleWidgetTest {
  protected:
    void SetUp() override {
        ConsoleWidgetTest::SetUp();
        ASSERT_FALSE(console_->SetRows(200));
        for (int i = 0; i < 200; ++i) console_->Write("line " + std::to_string(i) + "\r\n");
        widget_->SyncWithConsole();
    }
};

TEST_F(ConsoleWidgetScrollTest, WheelScrollsBackAndTheScrollBarFollows) {
    const int bottom = console_->TopRow();
    ASSERT_EQ(console_->FollowState(), 2);
    EXPECT_EQ(widget_->verticalScrollBar()->value(), bottom);

    const QPoint p = At(5, bottom + 2);
    QWheelEvent up(p, View()->mapToGlobal(p), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(View(), &up);
    const int n = qRound(120.0 / widget_->CellSize().height());
    EXPECT_EQ(console_->TopRow(), bottom - 3 * qRound(n / 3.0));
    EXPECT_EQ(console_->FollowState(), 1);
    EXPECT_EQ(widget_->verticalScrollBar()->value(), console_->TopRow());

    // Scrolled back, new text leaves the same text in view (the ring is full, so
    // its row number goes down with the line that left) and the bar moves along.
    auto topText = [&] { return std::string(console_->GetLine(console_->TopRow()).chars); };
    const std::string shown = topText();
    console_->Write("more\r\n");
    widget_->SyncWithConsole();
    EXPECT_EQ(topText(), shown);
    EXPECT_EQ(widget_->verticalScrollBar()->value(), console_->TopRow());

    // The scroll bar drives the console.
    widget_->verticalScrollBar()->setValue(10);
    EXPECT_EQ(console_->TopRow(), 10);
    EXPECT_EQ(console_->FollowState(), 1);
}

TEST_F(ConsoleWidgetScrollTest, DraggingAboveTheViewKeepsScrollingAndSelecting) {
    const int top = console_->TopRow();
    QTest::mousePress(View(), Qt::LeftButton, {}, At(2, top + 3));
    QTest::mouseMove(View(), QPoint(At(2, top).x(), -5));
    // Three lines a tick: well past what the single move gave.
    ASSERT_TRUE(WaitUntil([&] { return console_->TopRow() <= top - 9; }));
    QTest::mouseRelease(View(), Qt::LeftButton, {}, QPoint(At(2, top).x(), -5));
    const int stopped = console_->TopRow();
    const tarvo::channels::TConsoleSelection s = console_->Selection();
    EXPECT_EQ(s.lastRow, top + 3);
    EXPECT_LT(s.firstRow, top - 8);
    EXPECT_LE(s.firstRow, stopped);
    QTest::qWait(60);
    EXPECT_EQ(console_->TopRow(), stopped);  // the release ends the scrolling
}

}  // namespace
