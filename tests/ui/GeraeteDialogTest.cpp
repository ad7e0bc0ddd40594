#include "ui/GeraeteDialogU.h"

#include <gtest/gtest.h>

#include "tests/ui/WidgetLookup.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>
#include <string>
#include <vector>

#include "tests/devices/FakeGeraet.h"

using namespace tarvo;

namespace {

constexpr platform::Hive LM = platform::Hive::LocalMachine;

// Runs act on the next modal window once it is up.
void OnModal(std::function<void(QWidget*)> act, int tries = 500) {
    QTimer::singleShot(10, [act, tries] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->isVisible()) return act(w);
        if (tries > 0) return OnModal(act, tries - 1);
        ADD_FAILURE() << "no modal window";
    });
}

using test::Button;
using test::Click;

std::vector<QString> Column(QTreeWidget* list, int column) {
    std::vector<QString> out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out.push_back(list->topLevelItem(i)->text(column));
    return out;
}

class GeraeteDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        devices::ClearRegisteredKinds();
        devices::RegisterDeviceKinds();
        devices::RegistriereGeraet(test::FakeGeraet::Kind("TFakeGeraet", "Fake"));
        ctx_.dispatcher = &dispatcher_;
        ctx_.clock = &clock_;
        ctx_.registry = &registry_;
        // A fault closes what stays open instead of hanging.
        guard_.setSingleShot(true);
        QObject::connect(&guard_, &QTimer::timeout, [] {
            ADD_FAILURE() << "modal window left open";
            while (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        guard_.start(10000);
    }
    void TearDown() override {
        guard_.stop();
        devices::ClearRegisteredKinds();
    }

    platform::LoopDispatcher dispatcher_;
    platform::FakeClock clock_;
    platform::FileRegistry registry_;
    devices::TGeraetContext ctx_;
    QTimer guard_;
};

}  // namespace

TEST_F(GeraeteDialogTest, AddsMovesAndRemovesADevice) {
    for (const char* n : {"0", "1"}) {
        const std::string key = std::string(devices::kGeraeteKey) + "\\" + n;
        registry_.WriteText(LM, key, "", "TFakeGeraet");
        registry_.WriteText(LM, key, "Name", n[0] == '0' ? "A" : "B");
    }
    devices::TGeraete set(ctx_, nullptr);
    set.Create();
    ui::TGeraeteDialog dlg(set);
    dlg.show();
    QTreeWidget* list = dlg.List();
    EXPECT_EQ(Column(list, 0), (std::vector<QString>{"Fake", "Fake"}));
    EXPECT_EQ(Column(list, 2), (std::vector<QString>{"Bereit", "Bereit"}));

    // Add: the kinds in registration order, the first selected.
    OnModal([](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Gerät hinzufügen"));
        auto* kinds = w->findChild<QListWidget*>(QStringLiteral("kinds"));
        ASSERT_NE(kinds, nullptr);
        ASSERT_EQ(kinds->count(), 4);
        EXPECT_EQ(kinds->item(0)->text(), QStringLiteral("Hostmode"));
        EXPECT_EQ(kinds->item(1)->text(), QStringLiteral("AGWPE"));
        EXPECT_EQ(kinds->item(2)->text(), QStringLiteral("PC/FlexNet"));
        EXPECT_EQ(kinds->currentRow(), 0);
        kinds->setCurrentRow(3);
        Click(w, QStringLiteral("&Hinzufügen"));
    });
    Click(&dlg, QStringLiteral("&Hinzufügen"));
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(2)->text(2), QStringLiteral("Inaktiv"));  // not started yet
    const devices::TGeraet* added = dlg.Edit().Order()[2].get();

    // Up twice: Ctrl+Up in the list, then the arrow button.
    list->setFocus();
    EXPECT_EQ(list->indexOfTopLevelItem(list->currentItem()), 2);
    QTest::keyClick(list, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(list->indexOfTopLevelItem(list->currentItem()), 1);
    dlg.findChild<QToolButton*>(QStringLiteral("up"))->click();
    EXPECT_EQ(list->indexOfTopLevelItem(list->currentItem()), 0);
    EXPECT_EQ(dlg.Edit().Order()[0].get(), added);
    EXPECT_FALSE(dlg.findChild<QToolButton*>(QStringLiteral("up"))->isEnabled());

    // Without a settings dialog for the kind there is a note.
    OnModal([](QWidget* w) {
        auto* text = w->findChild<QLabel*>(QStringLiteral("text"));
        ASSERT_NE(text, nullptr);
        EXPECT_TRUE(text->text().contains(QStringLiteral("keine Einstellungen")));
        Click(w, QStringLiteral("&Ok"));
    });
    Click(&dlg, QStringLiteral("&Eigenschaften"));

    // Remove the last one (B): the one before it is selected then.
    list->setCurrentItem(list->topLevelItem(2));
    OnModal([](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Entfernen"));
        Click(w, QStringLiteral("&Ja"));
    });
    Click(&dlg, QStringLiteral("Ent&fernen"));
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->indexOfTopLevelItem(list->currentItem()), 1);
    // Nothing changes before OK.
    EXPECT_EQ(set.Count(), 2);
    EXPECT_NE(set.Item(0).get(), added);

    Click(&dlg, QStringLiteral("OK"));
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(set.Count(), 2);
    EXPECT_EQ(set.Item(0).get(), added);
    EXPECT_EQ(set.Item(0)->Status(), devices::TGeraetStatus::Bereit);
    const std::string key0 = std::string(devices::kGeraeteKey) + "\\0";
    const std::string key1 = std::string(devices::kGeraeteKey) + "\\1";
    EXPECT_EQ(registry_.ReadText(LM, key0, ""), "TFakeGeraet");
    EXPECT_EQ(registry_.ReadText(LM, key0, "Name"), "");
    EXPECT_EQ(registry_.ReadText(LM, key1, "Name"), "A");
    EXPECT_EQ(registry_.SubKeyNames(LM, devices::kGeraeteKey).size(), 2u);
    set.Destroy();
}
