#include "ui/RichEditTarvoU.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMimeData>
#include <QPrinter>
#include <QStackedWidget>
#include <QTest>
#include <QTextBlock>
#include "ui/HauptPanesU.h"

#include "tests/channels/ChannelFixture.h"
#include "ui/KanalViewU.h"

namespace {

using namespace tarvo;

// Channels 0..2 in a window; channel 1 is active and connected.
class RichEditTarvo : public test::ChannelFixture {
  protected:
    RichEditTarvo() {
        panes_.window = &window_;
        panes_.channelBar = new ui::TChannelBar(&window_);
        panes_.outputPane = new QStackedWidget(&window_);
        panes_.inputPane = new QStackedWidget(&window_);
        panes_.monitorPane = new QStackedWidget(&window_);
        config_->SetChannels(2);
        view_ = std::make_unique<ui::TKanaeleView>(panes_,
                                                   [this](int n) { kanaele_->SetAktuellNr(n); });
        kanaele_ = std::make_unique<channels::TKanaele>(ctx_, view_.get());
        verbindung_ = std::make_shared<test::FakeVerbindung>();
        kanaele_->GetKanal(1)->SetVerbindung(verbindung_);
        editor_ = window_.findChild<ui::TRichEditTarvo*>(QStringLiteral("Eingabe01"));
    }
    ~RichEditTarvo() override {
        kanaele_.reset();
        view_.reset();
    }
    QColor LineColour(int block) const {
        const QTextBlock b = editor_->document()->findBlockByNumber(block);
        return b.begin().fragment().charFormat().foreground().color();
    }
    void Type(const QString& text) {
        QKeyEvent e(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(editor_, &e);
    }

    QMainWindow window_;
    ui::TKanalPanes panes_;
    std::unique_ptr<ui::TKanaeleView> view_;
    std::unique_ptr<channels::TKanaele> kanaele_;
    std::shared_ptr<test::FakeVerbindung> verbindung_;
    ui::TRichEditTarvo* editor_ = nullptr;
};

TEST_F(RichEditTarvo, TypedLinesReachTheConnection) {
    ASSERT_NE(editor_, nullptr);
    EXPECT_EQ(panes_.inputPane->currentWidget(), editor_);
    const QColor sent(192, 0, 0), fresh(0, 0, 0);  // the default input colours

    QTest::keyClicks(editor_, "one");
    QTest::keyClick(editor_, Qt::Key_Return);
    EXPECT_EQ(verbindung_->sent, "one\r");
    EXPECT_EQ(editor_->toPlainText(), "one\n");
    EXPECT_EQ(LineColour(0), sent);

    // Return on the first of two lines sends it again and goes to the second.
    QTest::keyClicks(editor_, "two");
    EXPECT_EQ(LineColour(1), fresh);
    editor_->moveCursor(QTextCursor::Start);
    QTest::keyClick(editor_, Qt::Key_Return);
    EXPECT_EQ(verbindung_->sent, "one\rone\r");
    EXPECT_EQ(editor_->document()->blockCount(), 2);
    EXPECT_EQ(editor_->textCursor().position(), 4);

    // Ctrl+Shift+Return: no carriage return; Ctrl+Return alone: nothing.
    QTest::keyClick(editor_, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(verbindung_->sent, "one\rone\rtwo");
    QTest::keyClick(editor_, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(verbindung_->sent, "one\rone\rtwo");
    EXPECT_EQ(editor_->toPlainText(), "one\ntwo\n");

    // Ctrl+Shift+C is the caret notation, sent as typed; Ctrl+B never reaches the text.
    QApplication::clipboard()->setText(QStringLiteral("clip"));
    QTest::keyClick(editor_, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(editor_, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(editor_->document()->lastBlock().text(), "^C");
    EXPECT_EQ(QApplication::clipboard()->text(), "clip");

    // Unicode goes out in code page 1252, "?" for what it cannot hold.
    for (const QString& s :
         {QStringLiteral(" \u00e4"), QStringLiteral("\u20ac"), QStringLiteral("\u03a9")})
        Type(s);
    QTest::keyClick(editor_, Qt::Key_Return);
    EXPECT_EQ(verbindung_->sent, "one\rone\rtwo^C \xE4\x80?\r");
}

TEST_F(RichEditTarvo, PasteArrivesAsPlainText) {
    auto* data = new QMimeData;
    data->setHtml(QStringLiteral("<b style=\"color:#00ff00\">fett</b>"));
    data->setText(QStringLiteral("fett"));
    QApplication::clipboard()->setMimeData(data);
    editor_->paste();
    EXPECT_EQ(editor_->toPlainText(), "fett");
    const QTextCharFormat f = editor_->document()->begin().begin().fragment().charFormat();
    EXPECT_NE(f.fontWeight(), QFont::Bold);
    EXPECT_EQ(f.foreground().color(), QColor(0, 0, 0));
}

TEST_F(RichEditTarvo, PrintsToAPdfFileWithoutAPrinter) {
    auto k = kanaele_->GetKanal(1);
    for (int i = 0; i < 150; ++i) k->WriteColoured(i % 2 ? 10 : 1, "Zeile \xE4\r");
    const channels::TConsole& c = k->Console();
    // All rows take several pages, one row one page.
    const std::pair<int, bool> cases[] = {{0, true}, {c.Rows() - 1, false}};
    for (const auto& [first, several] : cases) {
        const QString file = QString::fromStdString((dir_ / "print.pdf").string());
        QFile::remove(file);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        ASSERT_TRUE(ui::PrintConsoleRows(printer, c, first, c.Rows() - 1, false));
        QFile pdf(file);
        ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pdf.readAll();
        EXPECT_TRUE(bytes.startsWith("%PDF"));
        const qsizetype pages = bytes.count("/Type /Page\n") + bytes.count("/Type /Page ") +
                                bytes.count("/Type /Page/") + bytes.count("/Type /Page>");
        if (several) {
            EXPECT_GT(pages, 1);
        } else {
            EXPECT_EQ(pages, 1);
        }
    }
}

}  // namespace
