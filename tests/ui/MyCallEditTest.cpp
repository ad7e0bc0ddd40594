#include "ui/MyCallEditU.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using tarvo::devices::TMyCall;
using tarvo::ui::TMyCallEdit;

namespace {

// The application comes from the ui test program's environment.
class MyCallEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QApplication::instance()) GTEST_SKIP() << "no QApplication";
    }
};

}  // namespace

TEST_F(MyCallEditTest, OkFollowsTheFieldAndTheBoxes) {
    TMyCallEdit dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Eigenes Rufzeichen"));
    EXPECT_TRUE(dialog.SSIDBox(0)->isChecked());  // a new entry starts with SSID 0
    EXPECT_FALSE(dialog.OkButton()->isEnabled());

    QTest::keyClicks(dialog.CallField(), "dl1abc");
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    dialog.SSIDBox(0)->setChecked(false);
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    dialog.SSIDBox(4)->setChecked(true);
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    EXPECT_EQ(dialog.Result(), TMyCall("DL1ABC", 1u << 4));

    QTest::keyClicks(dialog.CallField(), "-16");
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    EXPECT_FALSE(dialog.SSIDBox(4)->isEnabled());
    QTest::keyClick(dialog.CallField(), Qt::Key_Backspace);
    QTest::keyClick(dialog.CallField(), Qt::Key_Backspace);
    QTest::keyClicks(dialog.CallField(), "15");
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    EXPECT_EQ(dialog.Result(), TMyCall("DL1ABC", 1u << 15));

    dialog.CallField()->clear();
    EXPECT_TRUE(dialog.SSIDBox(4)->isEnabled());
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
}

TEST_F(MyCallEditTest, EditingShowsTheEntry) {
    TMyCallEdit dialog(TMyCall("DB0XYZ", 0b1010));
    EXPECT_EQ(dialog.CallField()->text(), QStringLiteral("DB0XYZ"));
    EXPECT_FALSE(dialog.SSIDBox(0)->isChecked());
    EXPECT_TRUE(dialog.SSIDBox(1)->isChecked());
    EXPECT_TRUE(dialog.SSIDBox(3)->isChecked());
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
}
