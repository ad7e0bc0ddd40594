#include "ui/BefehlConnectU.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "tests/channels/ChannelFixture.h"

using namespace tarvo;
using ui::TDlgBefehl;
using ui::TDlgBefehlConnect;

namespace {

using test::ScriptedFunkKanal;

class BefehlConnectDialog : public test::ChannelFixture {
  protected:
    std::unique_ptr<TDlgBefehlConnect> Open(std::shared_ptr<channels::TKanal> kanal) {
        auto model = std::make_unique<channels::TBefehlConnect>(
            *config_, std::move(kanal), channels::TBefehlConnect::TRadioChannels{port1_, port2_},
            std::vector<std::string>{"N0CALL"});
        auto dlg = std::make_unique<TDlgBefehlConnect>(std::move(model));
        dlg->SetShowMessage([this](QWidget*, const std::string& title, const std::string& text) {
            messages_.push_back(title + ": " + text);
        });
        return dlg;
    }
    static void Type(TDlgBefehlConnect& dlg, const QString& station, const QString& myCall) {
        dlg.StationField()->setEditText(station);
        dlg.MyCallField()->setEditText(myCall);
    }

    std::shared_ptr<ScriptedFunkKanal> port1_ = std::make_shared<ScriptedFunkKanal>("Port 1", "1");
    std::shared_ptr<ScriptedFunkKanal> port2_ = std::make_shared<ScriptedFunkKanal>("Port 2", "2");
    std::vector<std::string> messages_;
};

TEST_F(BefehlConnectDialog, TypedCallsignsReachTheRadioChannelNormalised) {
    struct Case {
        const char* station;
        const char* myCall;
        const char* ziel;
        const char* sentMyCall;
    };
    const Case cases[] = {
        {"db0abc", "nocall-05", "DB0ABC", "NOCALL-5"},
        {"db0abc", "nocall-16", "DB0ABC", "NOCALL"},
        {"test-0 relay", "n0call", "TEST RELAY", "N0CALL"},
        {"x-", "x-", "X", "X"},
        {"x-abc", "x-abc", "X", "X"},
    };
    auto k1 = MakeKanal(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.station);
        auto dlg = Open(k1);
        dlg->RadioChannelList()->setCurrentRow(1);
        Type(*dlg, QString::fromLatin1(c.station), QString::fromLatin1(c.myCall));
        dlg->OkButton()->click();
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
        ASSERT_FALSE(port2_->ziele.empty());
        EXPECT_EQ(port2_->ziele.back(), c.ziel);
        EXPECT_EQ(port2_->mycalls.back(), c.sentMyCall);
        EXPECT_TRUE(port2_->reservedWhenAsked);
    }
    EXPECT_TRUE(port1_->ziele.empty());
    EXPECT_TRUE(messages_.empty());
    EXPECT_FALSE(k1->GetReserved());
}

TEST_F(BefehlConnectDialog, AFailedConnectKeepsTheDialogOpenWithItsTexts) {
    auto k1 = MakeKanal(1);
    auto dlg = Open(k1);
    dlg->show();
    port1_->result = 7;
    dlg->RadioChannelList()->setCurrentRow(0);
    Type(*dlg, QStringLiteral("db0abc relay"), QStringLiteral("n0call-3"));
    dlg->OkButton()->click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], "Verbinden: Alle Kan\xE4le sind belegt.");
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->StationField()->currentText(), QStringLiteral("db0abc relay"));
    EXPECT_EQ(dlg->MyCallField()->currentText(), QStringLiteral("n0call-3"));
    EXPECT_TRUE(k1->GetReserved());

    port1_->result = 0;
    dlg->OkButton()->click();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(k1->GetReserved());
}

TEST_F(BefehlConnectDialog, OkNeedsBothTextsAndFunctionKeysPickTheRadioChannel) {
    auto dlg = Open(MakeKanal(1));
    Type(*dlg, QStringLiteral("  "), QStringLiteral("N0CALL"));
    EXPECT_FALSE(dlg->OkButton()->isEnabled());
    Type(*dlg, QStringLiteral("DB0ABC"), QString());
    EXPECT_FALSE(dlg->OkButton()->isEnabled());
    Type(*dlg, QStringLiteral("DB0ABC"), QStringLiteral("N0CALL"));
    EXPECT_TRUE(dlg->OkButton()->isEnabled());

    QTest::keyClick(dlg.get(), Qt::Key_F2);
    EXPECT_EQ(dlg->RadioChannelList()->currentRow(), 1);
    QTest::keyClick(dlg.get(), Qt::Key_F1);
    EXPECT_EQ(dlg->RadioChannelList()->currentRow(), 0);
    QTest::keyClick(dlg.get(), Qt::Key_F9);  // no ninth radio channel: only a beep
    EXPECT_EQ(dlg->RadioChannelList()->currentRow(), 0);
}

TEST_F(BefehlConnectDialog, ChoosingAHistoryEntrySelectsItsRadioChannel) {
    auto k1 = MakeKanal(1);
    {
        auto dlg = Open(k1);
        dlg->RadioChannelList()->setCurrentRow(1);
        Type(*dlg, QStringLiteral("db0abc"), QStringLiteral("n0call"));
        dlg->OkButton()->click();
    }
    {
        auto dlg = Open(k1);
        dlg->RadioChannelList()->setCurrentRow(0);
        Type(*dlg, QStringLiteral("db0xyz"), QStringLiteral("n0call"));
        dlg->OkButton()->click();
    }
    auto dlg = Open(k1);
    ASSERT_EQ(dlg->StationField()->count(), 2);
    EXPECT_EQ(dlg->StationField()->itemText(1), QStringLiteral("DB0ABC"));
    EXPECT_EQ(dlg->RadioChannelList()->currentRow(), 0);  // the newest entry's
    dlg->StationField()->setCurrentIndex(1);
    emit dlg->StationField()->activated(1);
    EXPECT_EQ(dlg->RadioChannelList()->currentRow(), 1);

    // Typing completes from the history without case; what was typed stays as typed.
    QLineEdit* edit = dlg->StationField()->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("db0a"));
    EXPECT_EQ(edit->text(), QStringLiteral("db0aBC"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("BC"));
    QTest::keyClick(edit, Qt::Key_Backspace);  // removes the completion only
    EXPECT_EQ(edit->text(), QStringLiteral("db0a"));
    QTest::keyClicks(edit, QStringLiteral("q"));
    EXPECT_EQ(edit->text(), QStringLiteral("db0aq"));
}

TEST(BefehlDialog, KeysPressTheButtons) {
    struct Case {
        Qt::Key key;
        TDlgBefehl::TChoice choice;
    };
    const Case cases[] = {
        {Qt::Key_C, TDlgBefehl::kConnect},    {Qt::Key_V, TDlgBefehl::kConnect},
        {Qt::Key_D, TDlgBefehl::kDisconnect}, {Qt::Key_T, TDlgBefehl::kDisconnect},
        {Qt::Key_Slash, TDlgBefehl::kRemote}, {Qt::Key_X, TDlgBefehl::kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        TDlgBefehl dlg;
        dlg.show();
        QTest::keyClick(&dlg, c.key);
        EXPECT_EQ(dlg.Choice(), c.choice);
        EXPECT_EQ(dlg.isVisible(), c.choice == TDlgBefehl::kNone);
    }
}

}  // namespace
