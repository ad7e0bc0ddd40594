#include "ui/ImportU.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/ConfigU.h"
#include "core/GlobalU.h"
#include "core/SynchronizeU.h"
#include "core/SystemU.h"
#include "platform/Registry.h"
#include "platform/qt/QtDispatcher.h"
#include "stations/StationenDatenbankU.h"
#include "tests/support/TempFolder.h"

using namespace tarvo;
namespace fs = std::filesystem;

namespace {

const fs::path kStationScripts =
    fs::path(TARVO_TEST_FIXTURES) / ".." / ".." / "stations" / "fixtures";

// A started system without a window, its settings in a file.
class ImportRunning : public ::testing::Test {
  protected:
    ImportRunning() {
        previousFolder_ = core::ApplicationDataFolder();
        core::SetApplicationDataFolder(home_ / "data");
        std::error_code ec;
        registry_ = platform::FileRegistry::Open(settings_, ec);
        core::SetMainDispatcher(&dispatcher_);
        system_ = std::make_unique<core::TSystem>(
            core::TSystemSetup{*registry_, dispatcher_, core::StartMode::Standalone});
        EXPECT_FALSE(system_->Start());
    }
    ~ImportRunning() override {
        system_.reset();
        core::QuitEvent().Reset();
        core::SetMainDispatcher(nullptr);
        core::SetApplicationDataFolder(previousFolder_);
    }

    test::TempFolder home_{"tarvo-ui-import"};
    fs::path settings_ = home_ / "tarvo.reg";
    fs::path previousFolder_;
    std::unique_ptr<platform::FileRegistry> registry_;
    platform::QtDispatcher dispatcher_;
    std::unique_ptr<core::TSystem> system_;
};

TEST_F(ImportRunning, TheRunningProgramKeepsWhatWasImported) {
    const fs::path src = home_ / "alt";
    test::TempFolder::Write(src / "export.reg",
                            "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo]\r\n"
                            "\"Monitor\"=\"478\"\r\n\"Font\"=\"10x18\"\r\n");
    fs::create_directories(src / "Database");
    const std::string script = (kStationScripts / "write_compound.py").string();
    ASSERT_EQ(std::system(("/usr/bin/python3 '" + script + "' '" +
                           (src / "Database" / "Stations.tvd").string() + "'")
                              .c_str()),
              0);
    system_->Stationen()->CreateStation("DL9OLD");

    const core::TImportReport report = ui::ImportIntoRunning(*system_, src, settings_);
    EXPECT_FALSE(report.failed) << report.Text();
    EXPECT_EQ(system_->Config()->Monitor(), 478);
    EXPECT_EQ(system_->Config()->Font(), "10x18");
    EXPECT_TRUE(system_->Stationen()->OpenStation("DB0ABC"));
    EXPECT_FALSE(system_->Stationen()->OpenStation("DL9OLD"));
    EXPECT_EQ(report.backups.size(), 2u) << report.Text();

    // The shutdown writes the running program's state; the import stays.
    system_->Shutdown();
    system_.reset();
    registry_.reset();
    std::error_code ec;
    auto reg = platform::FileRegistry::Open(settings_, ec);
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->ReadText(platform::Hive::CurrentUser, "\\Software\\Morvane\\Tarvo", "Monitor"),
              "478");
    auto db = stations::TStationenDatenbank::Open(
        {stations::StationenDatenbankFile(home_ / "data"), false, nullptr});
    EXPECT_EQ(db->ListEntries(), (std::vector<std::string>{"DB0ABC", "DL1XYZ", "DL1XYZ-5"}));
}

TEST(DlgImport, ShowsTheReportReadOnlyAndCloses) {
    ui::TDlgImport dialog(QStringLiteral("Importiert:\n  a → b\n"));
    EXPECT_TRUE(dialog.ReportView()->isReadOnly());
    EXPECT_EQ(dialog.ReportView()->toPlainText(), QStringLiteral("Importiert:\n  a → b\n"));
    QPushButton* close = nullptr;
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Schließen")) close = b;
    ASSERT_TRUE(close);
    dialog.show();
    close->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

}  // namespace
