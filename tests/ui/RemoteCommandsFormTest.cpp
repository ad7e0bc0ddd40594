// The remote-command permissions: the general page writes the global values,
// the station page keeps only what the operator set for the station.
#include "ui/RemoteCommandsFormU.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTreeWidget>

#include "platform/Registry.h"

namespace {

using namespace tarvo;

class RemoteCommandsForm : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QApplication::instance()) GTEST_SKIP() << "no QApplication";
    }
    QTreeWidgetItem* Row(ui::TRemoteCommandsForm& page, const QString& name) {
        const auto found = page.Tree()->findItems(name, Qt::MatchExactly, 0);
        return found.isEmpty() ? nullptr : found.front();
    }
    platform::FileRegistry registry_;
    std::shared_ptr<stations::TRemoteCommandManager> manager_ =
        std::make_shared<stations::TRemoteCommandManager>(registry_, core::TStationenQuelle());
};

TEST_F(RemoteCommandsForm, GeneralPageWritesTheGlobalValues) {
    ui::TRemoteCommandsForm page(manager_, false, nullptr);
    ASSERT_EQ(page.Tree()->topLevelItemCount(), 16);
    EXPECT_EQ(page.Tree()->topLevelItem(0)->text(0), QStringLiteral("BINmode"));
    ASSERT_NE(Row(page, "Read"), nullptr);
    EXPECT_EQ(Row(page, "Read")->checkState(0), Qt::Unchecked);
    EXPECT_EQ(Row(page, "Help")->checkState(0), Qt::Checked);
    Row(page, "Read")->setCheckState(0, Qt::Checked);
    Row(page, "Help")->setCheckState(0, Qt::Unchecked);
    page.Apply();
    EXPECT_TRUE(manager_->GetDefaultEnabled("read"));
    EXPECT_FALSE(manager_->GetDefaultEnabled("help"));
}

TEST_F(RemoteCommandsForm, StationPageKeepsOnlyWhatIsSet) {
    ui::TRemoteCommandsForm page(manager_, true, nullptr);
    page.SetStation({{"read", "1"}, {"ECHO", "0"}});
    EXPECT_EQ(Row(page, "Read")->checkState(0), Qt::Checked);
    EXPECT_EQ(Row(page, "Echo")->checkState(0), Qt::Unchecked);
    EXPECT_EQ(Row(page, "Help")->checkState(0), Qt::PartiallyChecked);
    Row(page, "Echo")->setCheckState(0, Qt::PartiallyChecked);
    Row(page, "DIR")->setCheckState(0, Qt::Checked);
    EXPECT_EQ(page.Station(), (stations::TRemoteCommandList{{"DIR", "1"}, {"READ", "1"}}));
    // The station page never touches the global values.
    page.Apply();
    EXPECT_FALSE(manager_->GetDefaultEnabled("dir"));
}

}  // namespace
