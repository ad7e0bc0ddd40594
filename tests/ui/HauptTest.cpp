#include "ui/HauptU.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTest>
#include <QToolBar>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "channels/KanaeleU.h"
#include "channels/KanalU.h"
#include "channels/StatusU.h"
#include "core/ConfigU.h"
#include "core/GlobalU.h"
#include "core/SynchronizeU.h"
#include "filesend/DateiSendenQueueU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Registry.h"
#include "platform/qt/QtDispatcher.h"
#include "tests/support/FakeChannel.h"
#include "ui/ConsoleWidgetU.h"
#include "ui/DateiSendenDlgU.h"
#include "ui/EinstellungenU.h"
#include "ui/ErsteSchritteU.h"
#include "ui/GeraeteStatusU.h"
#include "ui/HauptPanesU.h"
#include "ui/HostmodeCommandlineU.h"
#include "ui/RichEditTarvoU.h"

using namespace tarvo;
using channels::TPaneHeights;

namespace {

constexpr const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// A started main window with 25 channels and no devices, in a folder of its own.
class Hauptfenster : public ::testing::Test {
  protected:
    Hauptfenster() {
        dir_ = std::filesystem::temp_directory_path() /
               ("tarvo-main-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
        previousFolder_ = core::ApplicationDataFolder();
        core::SetApplicationDataFolder(dir_);
        {
            core::TConfig config(registry_, "0.01.000");
            config.WriteBool(core::TConfig::Hive::CurrentUser, "", "SplashScreen", false);
            config.SetChannels(25);
            config.SetConsoleRows(core::TConfig::kMinConsoleRows);
            config.SetInputHeight(70);
            config.SetMonitorHeight(90);
        }
        Start();
    }
    ~Hauptfenster() override {
        window_.reset();
        system_.reset();
        // The shutdown signals the program's end; the next test starts afresh.
        core::QuitEvent().Reset();
        core::SetMainDispatcher(nullptr);
        core::SetApplicationDataFolder(previousFolder_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // A fresh main thread for every start: the shutdown closes the one before.
    void Start() {
        core::SetMainDispatcher(nullptr);
        dispatcher_ = std::make_unique<platform::QtDispatcher>();
        core::SetMainDispatcher(dispatcher_.get());
        window_.reset();
        system_ = std::make_unique<core::TSystem>(
            core::TSystemSetup{registry_, *dispatcher_, core::StartMode::Standalone});
        window_ =
            std::make_unique<ui::THauptfenster>(ui::THauptfensterSetup{*system_, kFont, quiet_});
        ASSERT_TRUE(window_->FormCreate());
        window_->resize(800, 600);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        QApplication::processEvents();
    }

    int Aktuell() const { return window_->Kanaele()->AktuellNr(); }
    QWidget* InputOf(int n) const {
        return window_->Panes()->findChild<QWidget*>(
            QStringLiteral("Eingabe%1").arg(n, 2, 10, QLatin1Char('0')));
    }
    // A drag of the bar by dy pixels, as the mouse does it.
    static void Drag(QWidget* bar, int dy) {
        const QPoint from(bar->width() / 2, bar->height() / 2);
        const QPoint global = bar->mapToGlobal(from);
        QMouseEvent press(QEvent::MouseButtonPress, from, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(bar, &press);
        QMouseEvent move(QEvent::MouseMove, from + QPoint(0, dy), global + QPoint(0, dy),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, from + QPoint(0, dy),
                            global + QPoint(0, dy), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &release);
    }

    std::filesystem::path dir_, previousFolder_;
    platform::FileRegistry registry_;
    std::unique_ptr<platform::QtDispatcher> dispatcher_;
    std::unique_ptr<core::TSystem> system_;
    std::unique_ptr<ui::THauptfenster> window_;
    bool quiet_ = false;
};

TEST_F(Hauptfenster, FunctionKeysSelectChannelsThatExist) {
    ASSERT_EQ(window_->Kanaele()->Count(), 25);
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int expected;  // the active channel afterwards
    };
    const Case cases[] = {
        {Qt::Key_F3, Qt::NoModifier, 3},
        {Qt::Key_F5, Qt::ShiftModifier, 15},
        {Qt::Key_F6, Qt::ControlModifier, 15},  // no channel 26
        {Qt::Key_F1, Qt::ControlModifier, 21},
        {Qt::Key_F2, Qt::AltModifier, 21},
        {Qt::Key_F1, Qt::ControlModifier | Qt::ShiftModifier, 21},  // no channel 31
        {Qt::Key_F12, Qt::NoModifier, 0},
        {Qt::Key_F10, Qt::NoModifier, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.key << " mods " << c.mods);
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window_.get();
        QTest::keyClick(target, c.key, c.mods);
        EXPECT_EQ(Aktuell(), c.expected);
    }
    // The commands follow the channel: the monitor has no connection to end.
    EXPECT_TRUE(window_->Action("ActionDisconnect")->isEnabled());
    QTest::keyClick(window_.get(), Qt::Key_F12);
    EXPECT_FALSE(window_->Action("ActionDisconnect")->isEnabled());
    EXPECT_FALSE(window_->Action("ActionSend")->isEnabled());
}

TEST_F(Hauptfenster, TheMonitorAsActiveChannelLeavesNoEmptyPaneBelow) {
    ui::TPaneStack* panes = window_->Panes();
    auto* monitor = window_->findChild<QWidget*>(QStringLiteral("Console00"));
    ASSERT_NE(monitor, nullptr);
    const TPaneHeights before = panes->Heights();
    ASSERT_EQ(panes->MonitorPane()->height(), 90);

    QTest::keyClick(window_.get(), Qt::Key_F12);
    QApplication::processEvents();
    ASSERT_EQ(Aktuell(), 0);
    EXPECT_EQ(panes->MonitorPane()->height(), 0);
    EXPECT_EQ(panes->OutputPane()->height(), before.output + before.monitor);
    EXPECT_EQ(monitor->height(), panes->OutputPane()->height());
    // Nothing below the monitor's console but the channel bar.
    EXPECT_EQ(panes->Splitter2()->geometry().bottom(), panes->height() - 1);

    QTest::keyClick(window_.get(), Qt::Key_F1);
    QApplication::processEvents();
    EXPECT_EQ(panes->MonitorPane()->height(), 90);
    EXPECT_EQ(panes->Heights(), before);
}

TEST_F(Hauptfenster, ChannelKeysWorkAnywhereInTheWindow) {
    window_->Kanaele()->SetAktuellNr(1);
    QApplication::processEvents();
    auto* console = window_->findChild<ui::TConsoleWidget*>(QStringLiteral("Console01"));
    ASSERT_NE(console, nullptr);
    // The focus on neither the console nor the editor: on a toolbar.
    window_->CommandBar()->setFocusPolicy(Qt::StrongFocus);
    window_->CommandBar()->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), window_->CommandBar());
    const int top = console->Console().TopRow();
    QTest::keyClick(window_->CommandBar(), Qt::Key_PageUp);
    EXPECT_LT(console->Console().TopRow(), top);
    QTest::keyClick(window_->CommandBar(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(console->Console().TopRow(), top);
}

TEST_F(Hauptfenster, CommandsFollowTheLinkAndTheSessionOnlySavesOnCommit) {
    auto v = std::make_shared<test::FakeVerbindung>();
    window_->Kanaele()->SetAktuellNr(2);
    QApplication::processEvents();
    // Without a connection "Lokales Echo" shows the setting and cannot be used.
    EXPECT_FALSE(window_->Action("ActionLocalEcho")->isEnabled());
    EXPECT_EQ(window_->Action("ActionLocalEcho")->isChecked(), window_->Config()->LocalEcho());
    EXPECT_FALSE(window_->Action("ActionPactorChangeover")->isEnabled());
    EXPECT_FALSE(window_->Action("ActionPactorBreakin")->isEnabled());
    window_->Kanaele()->GetKanal(2)->SetVerbindung(v);
    QApplication::processEvents();
    EXPECT_TRUE(window_->Action("ActionLocalEcho")->isEnabled());
    EXPECT_FALSE(window_->Action("ActionPactorChangeover")->isEnabled());
    window_->Kanaele()->GetKanal(2)->SetVerbindung(nullptr);

    // The desktop asks to save before a logout it may still cancel: the layout
    // reaches the settings, and the program goes on with its channels.
    window_->resize(700, 500);
    QApplication::processEvents();
    window_->CommitData();
    EXPECT_FALSE(system_->ShutdownDone());
    EXPECT_FALSE(core::QuitEvent().IsSet());
    ASSERT_NE(window_->Kanaele(), nullptr);
    EXPECT_EQ(registry_
                  .ReadDWord(platform::Hive::CurrentUser,
                             "\\Software\\Morvane\\Tarvo\\Windows\\Main", "DX")
                  .value_or(0),
              700u);
}

TEST_F(Hauptfenster, ResizingAndDraggingShareTheHeightByTheRules) {
    EXPECT_EQ(window_->minimumSize(), QSize(340, 280));
    ui::TPaneStack* panes = window_->Panes();
    const TPaneHeights start = panes->Heights();
    EXPECT_EQ(start.input, 70);
    EXPECT_EQ(start.monitor, 90);
    EXPECT_EQ(start.Total(), panes->height());
    EXPECT_EQ(panes->InputPane()->height(), 70);

    window_->resize(800, 700);
    QApplication::processEvents();
    const TPaneHeights taller = panes->Heights();
    EXPECT_EQ(taller.input, 70);
    EXPECT_EQ(taller.monitor, 90);
    EXPECT_EQ(taller.output, start.output + 100);

    // Splitter 1 down past the input's 16 pixels: then the monitor gives way.
    Drag(panes->Splitter1(), 80);
    EXPECT_EQ(panes->Heights().input, 16);
    EXPECT_EQ(panes->Heights().monitor, 90 - (80 - 54));
    EXPECT_EQ(panes->Heights().Total(), panes->height());
    // Splitter 2 up: the output pane pays.
    const int output = panes->Heights().output;
    Drag(panes->Splitter2(), -30);
    EXPECT_EQ(panes->Heights().output, output - 30);
    EXPECT_EQ(panes->Heights().monitor, 64 + 30);
    EXPECT_EQ(panes->MonitorPane()->height(), 94);
}

TEST_F(Hauptfenster, TheLayoutIsStoredAtShutdown) {
    Drag(window_->Panes()->Splitter1(), -20);
    ASSERT_EQ(window_->Panes()->Heights().input, 90);
    window_->TarvoDestroy();
    window_.reset();
    core::QuitEvent().Reset();
    core::TConfig config(registry_, "0.01.000");
    EXPECT_EQ(config.InputHeight(), 90);
    EXPECT_EQ(config.MonitorHeight(), 90);

    Start();
    EXPECT_EQ(window_->Panes()->Heights().input, 90);
}

TEST_F(Hauptfenster, CommandBarShortcutsAndHints) {
    const QAction* connect = window_->Action("ActionConnect");
    ASSERT_NE(connect, nullptr);
    EXPECT_EQ(connect->toolTip(), QStringLiteral("Verbinden (Alt+V)"));
    EXPECT_EQ(window_->Action("ActionStop")->toolTip(), QStringLiteral("Abbrechen (Alt+R)"));
    EXPECT_EQ(window_->Action("ActionPrint")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    EXPECT_TRUE(window_->CommandBar()->actions().contains(window_->Action("ActionSettings")));
    EXPECT_FALSE(window_->Action("ActionLanguage")->isEnabled());

    // The theme menu checks the theme in use; choosing one checks it instead.
    ASSERT_NE(window_->ThemeMenu(), nullptr);
    const QList<QAction*> themes = window_->ThemeMenu()->actions();
    ASSERT_GE(themes.size(), 4);
    int checked = 0;
    for (QAction* a : themes) checked += a->isChecked() ? 1 : 0;
    EXPECT_EQ(checked, 1);
    themes[3]->trigger();
    EXPECT_TRUE(themes[3]->isChecked());
}

TEST_F(Hauptfenster, StatusPanelsKeepTheirHintsAndShortenLongTexts) {
    const auto panel = [this](int i) {
        return window_->findChild<ui::TStatusPanel*>(QStringLiteral("StatusPanel%1").arg(i));
    };
    ASSERT_NE(panel(2), nullptr);
    EXPECT_EQ(panel(2)->toolTip(), QStringLiteral("eff. Baud"));
    EXPECT_EQ(panel(5)->toolTip(), QStringLiteral("Frack [100ms]"));
    EXPECT_EQ(panel(8)->toolTip(), QStringLiteral("Eigenes Rufzeichen"));

    const QString path = QStringLiteral("/home/op/Empfang/") + QString(200, QLatin1Char('x')) +
                         QStringLiteral("/letzte-datei.txt");
    panel(1)->setText(path);
    const QString shown = panel(1)->ShownText();
    EXPECT_LT(shown.size(), path.size());
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/home")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".txt")));
    panel(7)->setText(QString(100, QLatin1Char('F')));
    EXPECT_TRUE(panel(7)->ShownText().endsWith(QChar(0x2026)));

    // Every value a panel can hold is shown in full ("M7" was cut to "...").
    for (int i : {0, 2, 3, 4, 5, 6, 7, 8}) {
        for (const std::string& sample : channels::StatusPanelSamples(i)) {
            const QString text = QString::fromLatin1(sample.c_str());
            panel(i)->setText(text);
            EXPECT_EQ(panel(i)->ShownText(), text) << "panel " << i;
        }
    }
    EXPECT_NE(window_->findChild<QWidget*>(QStringLiteral("StatusPanel10")), nullptr);
}

TEST_F(Hauptfenster, TextDroppedOnAConnectedChannelOpensItsSendDialog) {
    auto v = std::make_shared<test::FakeVerbindung>();
    v->sendQueue = std::make_shared<filesend::TDateiSendenQueue>();
    window_->Kanaele()->GetKanal(2)->SetVerbindung(v);
    window_->Kanaele()->SetAktuellNr(2);
    QApplication::processEvents();
    const auto at = [this](const QWidget* w) {
        return w->mapTo(window_.get(), w->rect().center());
    };
    auto* console = window_->findChild<QWidget*>(QStringLiteral("Console02"));
    ASSERT_NE(console, nullptr);
    QMimeData mime;
    mime.setText(QStringLiteral("erste^X\nzweite"));
    const auto offered = [&](QPoint pos) {
        QDragMoveEvent move(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window_.get(), &move);
        return move.isAccepted();
    };
    QDragEnterEvent enter(at(console), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    EXPECT_TRUE(offered(at(console)));
    // Not over the monitor's button or an idle channel's button.
    ui::TChannelBar* bar = window_->Panes()->ChannelBar();
    const auto button = [&](int n) {
        for (QAction* a : bar->actions()) {
            if (a->data().toInt() == n) return bar->widgetForAction(a);
        }
        return static_cast<QWidget*>(nullptr);
    };
    EXPECT_FALSE(offered(at(button(0))));
    EXPECT_FALSE(offered(at(button(3))));
    EXPECT_TRUE(offered(at(button(2))));

    // Resting on the button of a connected channel selects it; a drop there goes there.
    window_->Kanaele()->SetAktuellNr(1);
    QDragEnterEvent again(at(button(2)), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &again);
    EXPECT_TRUE(offered(at(button(2))));
    for (int i = 0; i < 200 && Aktuell() != 2; ++i) QTest::qWait(10);
    EXPECT_EQ(Aktuell(), 2);
    window_->Kanaele()->SetAktuellNr(1);
    QApplication::sendEvent(window_.get(), &again);
    QDropEvent onButton(QPointF(at(button(2))), Qt::CopyAction, &mime, Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &onButton);
    EXPECT_EQ(Aktuell(), 2);
    const channels::TKanal* kanal = window_->Kanaele()->GetKanal(2).get();
    for (int i = 0; i < 200 && !ui::TDateiSendenDlg::For(kanal); ++i) QTest::qWait(10);
    ui::TDateiSendenDlg* dlg = ui::TDateiSendenDlg::For(kanal);
    ASSERT_NE(dlg, nullptr);
    // The text way: the text page with the text as it came, sent as text;
    // nothing went out on its own.
    EXPECT_EQ(dlg->Page(), ui::TDateiSendenDlg::kPageText);
    EXPECT_EQ(dlg->Protokoll(), filesend::kProtokollText);
    auto* text = dlg->findChild<QPlainTextEdit*>(QStringLiteral("Texteingabe"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->toPlainText(), QStringLiteral("erste^X\nzweite"));
    EXPECT_EQ(v->sent, "");
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Senden - DB0ABC"));

    window_->TarvoDestroy();  // an open dialog goes before the channels
    EXPECT_EQ(ui::TDateiSendenDlg::For(kanal), nullptr);
}

TEST_F(Hauptfenster, SendAndDroppedFilesOpenOneSendDialogPerChannel) {
    const std::filesystem::path file = dir_ / "bericht.txt";
    std::ofstream(file) << "Inhalt";
    auto v = std::make_shared<test::FakeVerbindung>();
    v->sendQueue = std::make_shared<filesend::TDateiSendenQueue>();
    v->SetBinMode(filesend::kProtokollDidadit);
    window_->Kanaele()->SetAktuellNr(2);
    window_->Kanaele()->GetKanal(2)->SetVerbindung(v);
    QApplication::processEvents();
    const channels::TKanal* kanal = window_->Kanaele()->GetKanal(2).get();

    // "Senden": the normal way, preset from the station's protocol.
    ASSERT_TRUE(window_->Action("ActionSend")->isEnabled());
    window_->Action("ActionSend")->trigger();
    ui::TDateiSendenDlg* dlg = ui::TDateiSendenDlg::For(kanal);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->Page(), ui::TDateiSendenDlg::kPageProtokoll);
    EXPECT_EQ(dlg->Protokoll(), filesend::kProtokollDidadit);
    // Asked again, the same dialog comes to the front; a drop does not change it.
    window_->Action("ActionSend")->trigger();
    window_->SendFiles({file});
    EXPECT_EQ(ui::TDateiSendenDlg::For(kanal), dlg);
    EXPECT_EQ(dlg->Dateien().Count(), 0);
    dlg->close();
    for (int i = 0; i < 200 && ui::TDateiSendenDlg::For(kanal); ++i) QTest::qWait(10);
    ASSERT_EQ(ui::TDateiSendenDlg::For(kanal), nullptr);

    // A file dropped on the console opens it the files way, with AutoBIN.
    auto* console = window_->findChild<QWidget*>(QStringLiteral("Console02"));
    ASSERT_NE(console, nullptr);
    const QPoint at = console->mapTo(window_.get(), console->rect().center());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);
    for (int i = 0; i < 200 && !ui::TDateiSendenDlg::For(kanal); ++i) QTest::qWait(10);
    dlg = ui::TDateiSendenDlg::For(kanal);
    ASSERT_NE(dlg, nullptr);
    ASSERT_EQ(dlg->Dateien().Count(), 1);
    EXPECT_EQ(dlg->Dateien().Items()[0].name, file);
    EXPECT_EQ(dlg->Protokoll(), filesend::kProtokollAutobin);
    EXPECT_TRUE(dlg->FinishEnabled());
    EXPECT_EQ(v->sendQueue->GetCount(), 0);  // nothing goes before "Fertigstellen"
    // Function keys in the dialog select channels as in the main window.
    QTest::keyClick(dlg, Qt::Key_F3);
    EXPECT_EQ(Aktuell(), 3);
    dlg->close();
    v->sendQueue->Release();
    window_->Kanaele()->GetKanal(2)->SetVerbindung(nullptr);
}

TEST_F(Hauptfenster, ToolbarTextAndThemeSurviveARestartAndSettingsOpenOnce) {
    window_->Action("ActionToolbarTextBottom")->trigger();
    EXPECT_EQ(window_->CommandBar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    const QList<QAction*> themes = window_->ThemeMenu()->actions();
    ASSERT_GE(themes.size(), 4);
    themes[1]->trigger();
    const QString chosen = themes[1]->data().toString();

    // One settings window, however often it is asked for.
    window_->Action("ActionSettings")->trigger();
    ui::TEinstellungenForm* form = ui::TEinstellungenForm::Instance();
    ASSERT_NE(form, nullptr);
    window_->Action("ActionSettings")->trigger();
    EXPECT_EQ(ui::TEinstellungenForm::Instance(), form);

    // The shutdown closes it before the devices go.
    window_->TarvoDestroy();
    EXPECT_EQ(ui::TEinstellungenForm::Instance(), nullptr);
    window_.reset();
    core::QuitEvent().Reset();
    Start();
    EXPECT_EQ(window_->CommandBar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_TRUE(window_->Action("ActionToolbarTextBottom")->isChecked());
    for (QAction* a : window_->ThemeMenu()->actions())
        EXPECT_EQ(a->isChecked(), a->data().toString() == chosen) << a->text().toStdString();
}

TEST_F(Hauptfenster, HelpTellsWhenItCannotShowTheManual) {
    std::vector<std::string> told;
    window_->showHelpMessage = [&](const std::string&, const std::string& text) {
        told.push_back(text);
    };
    bool asked = false;
    window_->openManual = [&](const std::filesystem::path& file) {
        asked = !file.empty();
        return false;
    };
    window_->Action("ActionHelpContents")->trigger();
    if (ui::THauptfenster::ManualFile().empty()) {
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0], "Die Datei \"Tarvo.html\" wurde nicht gefunden oder ist ung\xFCltig");
    } else {
        EXPECT_TRUE(asked);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0], "HTML Help ist nicht installiert");
    }
}

}  // namespace

namespace {

TEST_F(Hauptfenster, DeviceStatusAndCommandLineAreSingleWindowsOfTheirActions) {
    QAction* status = window_->Action("ActionDeviceStatus");
    ASSERT_TRUE(status->isCheckable());
    status->trigger();
    ASSERT_NE(window_->DeviceStatus(), nullptr);
    EXPECT_TRUE(window_->DeviceStatus()->isVisible());
    EXPECT_TRUE(status->isChecked());
    // Closed by its own frame: the check goes and the window is forgotten.
    window_->DeviceStatus()->close();
    EXPECT_FALSE(status->isChecked());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window_->DeviceStatus(), nullptr);
    status->trigger();
    EXPECT_TRUE(status->isChecked());
    status->trigger();
    EXPECT_FALSE(status->isChecked());

    QAction* commandLine = window_->Action("ActionCommandLine");
    ASSERT_TRUE(commandLine->isEnabled());
    commandLine->trigger();
    ui::THostmodeCommandlineForm* form = window_->CommandLine();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    commandLine->trigger();
    EXPECT_EQ(window_->CommandLine(), form);
}

TEST_F(Hauptfenster, FirstStepsAppearAtStartWhenDueUnlessTheRunIsQuiet) {
    EXPECT_EQ(window_->FirstSteps(), nullptr);  // not due: this version showed them
    for (const bool quiet : {true, false}) {
        SCOPED_TRACE(quiet);
        registry_.WriteText(platform::Hive::CurrentUser, std::string(core::TConfig::kRootKey),
                            "First steps", "");
        quiet_ = quiet;
        window_.reset();
        core::QuitEvent().Reset();
        Start();
        EXPECT_EQ(window_->FirstSteps() != nullptr, !quiet);
    }
    ui::TErsteSchritte* shown = window_->FirstSteps();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    window_->Action("ActionHelpFirstSteps")->trigger();
    EXPECT_EQ(window_->FirstSteps(), shown);
}

}  // namespace
