#include "ui/MessageboxU.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/ExceptionReportU.h"
#include "core/MessageWindowU.h"
#include "ui/SplashU.h"
#include "ui/UnhandledExceptionU.h"

using namespace tarvo;
using tarvo::ui::TDlgMessage;
using tarvo::ui::TDlgUnhandledException;

namespace {

// One application for all tests, ended before the exit handlers run: Qt's own
// globals are gone by then and an application destroyed later crashes.
class AppEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[9] = "ui_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const ::testing::Environment* const appEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

// Runs act on the modal window once it is up (and is not `except`, for nested
// windows).
void WhenShown(std::function<void(QWidget*)> act, QWidget* except = nullptr, int tries = 500) {
    QTimer::singleShot(tries == 500 ? 0 : 10, [act, except, tries] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w != except && w->isVisible()) return act(w);
        if (tries > 0) return WhenShown(act, except, tries - 1);
        ADD_FAILURE() << "no modal window";
    });
}

// As the operator would: to the widget that has the focus.
void Press(QWidget* window, Qt::Key key) {
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, key);
}

QPushButton* ButtonNamed(QWidget* window, const QString& caption) {
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    ADD_FAILURE() << "no button " << caption.toStdString();
    return nullptr;
}

void Click(QWidget* window, const QString& caption) {
    if (QPushButton* b = ButtonNamed(window, caption)) b->click();
}

// A guard closes whatever stays open, so a fault fails instead of hanging.
class ModalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        guard_.setSingleShot(true);
        QObject::connect(&guard_, &QTimer::timeout, [] {
            ADD_FAILURE() << "modal window left open";
            while (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        guard_.start(10000);
    }
    void TearDown() override { guard_.stop(); }

    QTimer guard_;
};

enum class Act { Enter, Esc, Close, EscThenClose, HelpThenEnter };
const char* const kActNames[] = {"Enter", "Esc", "Close", "EscThenClose", "HelpThenEnter"};

struct RunCase {
    unsigned buttons;
    Act act;
    int result;
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << "set " << c.buttons << ", " << kActNames[static_cast<int>(c.act)];
}

std::string RunCaseName(const ::testing::TestParamInfo<RunCase>& info) {
    return "Set" + std::to_string(info.param.buttons) + "_" +
           kActNames[static_cast<int>(info.param.act)];
}

class MessageboxRun : public ModalTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(MessageboxRun, KeysAndClosingAnswer) {
    const RunCase c = GetParam();
    WhenShown([act = c.act](QWidget* w) {
        switch (act) {
            case Act::Enter:
                Press(w, Qt::Key_Return);
                break;
            case Act::Esc:
                Press(w, Qt::Key_Escape);
                break;
            case Act::Close:
                w->close();
                break;
            case Act::EscThenClose:
                Press(w, Qt::Key_Escape);
                EXPECT_TRUE(w->isVisible()) << "Esc without a cancel button must do nothing";
                w->close();
                break;
            case Act::HelpThenEnter:
                Click(w, QStringLiteral("&Hilfe"));
                EXPECT_TRUE(w->isVisible()) << "a button without a result must not end it";
                Press(w, Qt::Key_Return);
                break;
        }
    });
    TDlgMessage dlg;
    core::IMessageWindow& window = dlg;
    EXPECT_EQ(window.Run("Frage", "Wirklich?", c.buttons), c.result);
    EXPECT_FALSE(dlg.isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Sets, MessageboxRun,
    ::testing::Values(RunCase{3, Act::Enter, core::mrYes}, RunCase{3, Act::Esc, core::mrNo},
                      RunCase{3, Act::Close, core::mrNo}, RunCase{4, Act::Enter, core::mrOk},
                      RunCase{4, Act::Esc, core::mrOk}, RunCase{4, Act::Close, core::mrOk},
                      RunCase{12, Act::Enter, core::mrOk}, RunCase{12, Act::Esc, core::mrCancel},
                      RunCase{32 | 64, Act::Enter, core::mrRetry},
                      RunCase{32 | 64, Act::EscThenClose, core::mrCancel},
                      RunCase{4 | 256, Act::HelpThenEnter, core::mrOk}),
    RunCaseName);

TEST_F(ModalTest, MessageboxLaysOutButtonsAndShowsTextLiterally) {
    WhenShown([](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Frage ä"));
        auto* label = w->findChild<QLabel*>(QStringLiteral("text"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_TRUE(label->wordWrap());
        EXPECT_EQ(label->text(), QStringLiteral("<b>Sender</b> grüßt\nZeile 2\nZeile 3"));

        std::vector<QPushButton*> buttons;
        for (QPushButton* b : w->findChildren<QPushButton*>()) buttons.push_back(b);
        std::sort(buttons.begin(), buttons.end(),
                  [](QPushButton* a, QPushButton* b) { return a->x() < b->x(); });
        ASSERT_EQ(buttons.size(), 3u);
        const std::vector<int> lefts =
            core::MessageButtonLefts(3, buttons[0]->parentWidget()->width());
        const QString captions[] = {"&Ja", "&Nein", "&Ok"};
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(buttons[i]->text(), captions[i]);
            EXPECT_EQ(buttons[i]->geometry(), QRect(lefts[i], buttons[0]->y(), 79, 23));
        }
        EXPECT_TRUE(buttons[2]->isDefault());
        w->close();
    });
    EXPECT_EQ(TDlgMessage::Run(nullptr, "Frage \xE4",
                               "<b>Sender</b> gr\xFC\xDFt\r\nZeile 2\rZeile 3", 1 | 2 | 4),
              core::mrNo);
}

TEST_F(ModalTest, HugeTextScrollsInsteadOfGrowingTheWindow) {
    std::string text;
    while (text.size() < 100000) text += "Zeile einer langen Nachricht von DB0XYZ\r";
    WhenShown([](QWidget* w) {
        EXPECT_LT(w->height(), 700);
        auto* label = w->findChild<QLabel*>(QStringLiteral("text"));
        ASSERT_NE(label, nullptr);
        EXPECT_LT(label->text().size(), 20000);
        EXPECT_TRUE(label->text().endsWith(QChar(0x2026)));
        Press(w, Qt::Key_Return);
    });
    EXPECT_EQ(TDlgMessage::Run(nullptr, "Nachricht", text, 4), core::mrOk);
}

TEST_F(ModalTest, QuestionAskedWhileOneIsOpenGetsItsOwnWindow) {
    TDlgMessage dlg;
    int inner = -1;
    WhenShown([&](QWidget* outer) {
        WhenShown([](QWidget* w) { Press(w, Qt::Key_Return); }, outer);
        inner = dlg.Run("Zweite", "Ok?", 4);
        EXPECT_TRUE(outer->isVisible());
        QStringList captions;
        for (QPushButton* b : outer->findChildren<QPushButton*>()) captions << b->text();
        EXPECT_EQ(captions, (QStringList{"&Ja", "&Nein"})) << "the open question was rebuilt";
        Press(outer, Qt::Key_Escape);
    });
    EXPECT_EQ(dlg.Run("Erste", "Ja oder nein?", 3), core::mrNo);
    EXPECT_EQ(inner, core::mrOk);
    // Reused afterwards with another set.
    WhenShown([](QWidget* w) { Press(w, Qt::Key_Return); });
    EXPECT_EQ(dlg.Run("Dritte", "Nochmal?", 32 | 64), core::mrRetry);
}

TEST_F(ModalTest, ExceptionReportCopiesCrLfTextAndShowsRemoteTextLiterally) {
    const std::string headline = "std::runtime_error in TKanal.Empfang (\xE4)";
    const std::string message = "<b>laut</b> von DB0XYZ\rZeile 2";
    QGuiApplication::clipboard()->setText(QString());
    WhenShown([](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Uuups..."));
        for (QLabel* l : w->findChildren<QLabel*>()) EXPECT_EQ(l->textFormat(), Qt::PlainText);
        auto* report = w->findChild<QLabel*>(QStringLiteral("text"));
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(report->text(),
                  QStringLiteral(
                      "std::runtime_error in TKanal.Empfang (ä)\n<b>laut</b> von DB0XYZ\nZeile 2"));

        Click(w, QStringLiteral("Fehlermeldung in die Zwischenablage &kopieren"));
        EXPECT_EQ(QGuiApplication::clipboard()->text(),
                  QStringLiteral("std::runtime_error in TKanal.Empfang (ä)\r\n"
                                 "<b>laut</b> von DB0XYZ\r\nZeile 2\r\n"));
        EXPECT_TRUE(w->isVisible()) << "copying must leave the report open";
        Click(w, QStringLiteral("Tarvo &beenden"));
    });
    TDlgUnhandledException dlg;
    core::IUnhandledExceptionView& view = dlg;
    EXPECT_EQ(view.Show(headline, message), core::ExceptionChoice::Quit);
}

struct ChoiceCase {
    const char* name;
    std::function<void(QWidget*)> act;
    core::ExceptionChoice choice;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class ExceptionChoiceTest : public ModalTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(ExceptionChoiceTest, Answers) {
    WhenShown(GetParam().act);
    TDlgUnhandledException dlg;
    EXPECT_EQ(dlg.Show("E in X.Y", "kaputt"), GetParam().choice);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, ExceptionChoiceTest,
    ::testing::Values(
        ChoiceCase{"IgnoreButton",
                   [](QWidget* w) { Click(w, QStringLiteral("Fehler &ignorieren")); },
                   core::ExceptionChoice::Ignore},
        ChoiceCase{"QuitButton", [](QWidget* w) { Click(w, QStringLiteral("Tarvo &beenden")); },
                   core::ExceptionChoice::Quit},
        ChoiceCase{"Enter", [](QWidget* w) { Press(w, Qt::Key_Return); },
                   core::ExceptionChoice::Ignore},
        ChoiceCase{"Esc", [](QWidget* w) { Press(w, Qt::Key_Escape); },
                   core::ExceptionChoice::Ignore},
        ChoiceCase{"Close", [](QWidget* w) { w->close(); }, core::ExceptionChoice::Ignore}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Splash, ShowsVersionStatusAndPrivateNoticeThenClosesLater) {
    ui::TSplash plain("Version 1.0", false);
    EXPECT_EQ(plain.findChild<QLabel*>(QStringLiteral("private")), nullptr);

    ui::TSplash s("Version 1.0 \xE4", true);
    s.show();
    EXPECT_EQ(s.findChild<QLabel*>(QStringLiteral("title"))->text(),
              QStringLiteral("Tarvo Terminal"));
    EXPECT_EQ(s.findChild<QLabel*>(QStringLiteral("version"))->text(),
              QStringLiteral("Version 1.0 ä"));
    auto* notice = s.findChild<QLabel*>(QStringLiteral("private"));
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(), QStringLiteral("Nicht zur Weitergabe bestimmt"));
    EXPECT_TRUE(notice->font().bold());
    EXPECT_EQ(notice->palette().color(QPalette::WindowText), QColor(Qt::red));

    auto* status = s.findChild<QLabel*>(QStringLiteral("status"));
    s.SetStatus("Lade Einstellungen f\xFCr\rKanal 1");
    EXPECT_EQ(status->text(), QStringLiteral("Lade Einstellungen für Kanal 1"));
    EXPECT_EQ(status->textFormat(), Qt::PlainText);
    s.SetStatus(std::string(100000, 'x'));
    EXPECT_TRUE(status->text().endsWith(QChar(0x2026)));
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->width());

    s.CloseLater(20);
    EXPECT_TRUE(s.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !s.isVisible(); }, 3000));
}

}  // namespace
