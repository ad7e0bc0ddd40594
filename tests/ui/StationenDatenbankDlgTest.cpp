// The station dialog over a real station database: the search field selects
// as it is typed, and what the pages show is stored when the station changes.
#include "ui/StationenDatenbankDlgU.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <filesystem>

#include "stations/StationenDatenbankU.h"

namespace {

using namespace tarvo;
namespace fs = std::filesystem;

TEST(StationenDatenbankDlg, SearchSelectsAndEditsAreStored) {
    // The QApplication comes from the environment in MessageboxTest.cpp.
    const fs::path dir =
        fs::temp_directory_path() / ("tarvo-stationdlg-ui-" + std::to_string(getpid()));
    fs::remove_all(dir);
    stations::TStationenDatenbankSetup setup;
    setup.file = stations::StationenDatenbankFile(dir);
    auto db = stations::TStationenDatenbank::Open(setup);
    for (int i = 0; i < 2000; ++i) db->CreateStation("DL" + std::to_string(1000 + i));
    {
        ui::TStationenDatenbankDlg dlg(db, 1, {"DL1TST"});
        ASSERT_EQ(dlg.StationList()->count(), 2000);
        QTest::keyClicks(dlg.SearchField(), "dl25");
        ASSERT_EQ(dlg.StationList()->currentRow(), 1500);
        EXPECT_EQ(dlg.Model().Heading(), "Einstellungen f\xFCr DL2500:");
        dlg.NameField()->setText(QString::fromUtf8("J\xC3\xBCrgen"));
        dlg.StationList()->setCurrentRow(3);
        EXPECT_EQ(db->OpenStation("DL2500")->GetName(), "J\xFCrgen");
        dlg.NameField()->setText(QStringLiteral("Vier"));
        dlg.reject();
    }
    EXPECT_EQ(db->OpenStation("DL1003")->GetName(), "Vier") << "closing stores the station";
    db.reset();
    fs::remove_all(dir);
}

}  // namespace
