#include "ui/KanalViewU.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QStackedWidget>
#include "ui/HauptPanesU.h"

#include "tests/channels/ChannelFixture.h"

namespace {

using namespace tarvo;

class KanalView : public test::ChannelFixture {
  protected:
    KanalView() {
        panes_.window = &window_;
        panes_.channelBar = new ui::TChannelBar(&window_);
        panes_.outputPane = new QStackedWidget(&window_);
        panes_.monitorPane = new QStackedWidget(&window_);
        for (int i = 0; i < channels::kStatusPanelCount; ++i)
            panes_.statusPanels.push_back(new QLabel(&window_));
        config_->SetChannels(3);
        view_ = std::make_unique<ui::TKanaeleView>(panes_,
                                                   [this](int n) { kanaele_->SetAktuellNr(n); });
        kanaele_ = std::make_unique<channels::TKanaele>(ctx_, view_.get());
    }
    ~KanalView() override {
        kanaele_.reset();
        view_.reset();
    }
    QAction* Button(int n) {
        return window_.findChild<QAction*>(
            QStringLiteral("ChannelButton%1").arg(n, 2, 10, QLatin1Char('0')));
    }

    QMainWindow window_;
    ui::TKanalPanes panes_;
    std::unique_ptr<ui::TKanaeleView> view_;
    std::unique_ptr<channels::TKanaele> kanaele_;
};

TEST_F(KanalView, ToolbarReadsChannelsThenMonitorAndClicksSelect) {
    QStringList names;
    for (QAction* a : panes_.channelBar->actions()) names << a->objectName();
    EXPECT_EQ(names, (QStringList{"ChannelButton01", "ChannelButton02", "ChannelButton03",
                                  "ChannelButton00"}));
    EXPECT_EQ(Button(0)->text(), "Monitor");
    EXPECT_TRUE(Button(1)->isChecked());

    Button(3)->trigger();
    EXPECT_EQ(kanaele_->AktuellNr(), 3);
    EXPECT_TRUE(Button(3)->isChecked());
    EXPECT_FALSE(Button(1)->isChecked());
    Button(3)->trigger();  // clicking the active one keeps it checked
    EXPECT_TRUE(Button(3)->isChecked());
    EXPECT_EQ(panes_.statusPanels[0]->text(), "Getrennt");
}

TEST_F(KanalView, ShowingDosUmlautsReachesTheConsole) {
    auto* console = window_.findChild<ui::TConsoleWidget*>(QStringLiteral("Console02"));
    ASSERT_NE(console, nullptr);
    kanaele_->GetKanal(2)->SetShowDOS(true);
    EXPECT_TRUE(console->ShowDOS());
    kanaele_->GetKanal(2)->SetShowDOS(false);
    EXPECT_FALSE(console->ShowDOS());
}

TEST_F(KanalView, MonitorConsoleMovesIntoTheOutputPaneWhileSelected) {
    auto* monitor = window_.findChild<ui::TConsoleWidget*>(QStringLiteral("Console00"));
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->parentWidget(), panes_.monitorPane);
    Button(0)->trigger();
    EXPECT_EQ(monitor->parentWidget(), panes_.outputPane);
    EXPECT_EQ(panes_.outputPane->currentWidget(), monitor);
    EXPECT_EQ(panes_.statusPanels[0]->text(), "Monitor");
    Button(2)->trigger();
    EXPECT_EQ(monitor->parentWidget(), panes_.monitorPane);
    EXPECT_EQ(panes_.outputPane->currentWidget()->objectName(), "Console02");
}

TEST_F(KanalView, ReleasedChannelLeavesNoWidgetBehind) {
    kanaele_->SetCount(1);
    EXPECT_EQ(Button(3), nullptr);
    EXPECT_EQ(window_.findChild<ui::TConsoleWidget*>(QStringLiteral("Console03")), nullptr);
    EXPECT_NE(Button(1), nullptr);
}

}  // namespace
