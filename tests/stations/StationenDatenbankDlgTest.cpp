#include "stations/StationenDatenbankDlgU.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "stations/StationenDatenbankU.h"

namespace tarvo::stations {
namespace {

namespace fs = std::filesystem;

class StationDialog : public ::testing::Test {
  protected:
    StationDialog() {
        dir_ = fs::temp_directory_path() /
               ("tarvo-stationdlg-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        TStationenDatenbankSetup setup;
        setup.file = StationenDatenbankFile(dir_);
        db_ = TStationenDatenbank::Open(setup);
    }
    ~StationDialog() override { fs::remove_all(dir_); }

    fs::path dir_;
    std::shared_ptr<TStationenDatenbank> db_;
};

TEST_F(StationDialog, TheSearchFindsAStationAsItIsTyped) {
    for (int i = 0; i < 3000; ++i) db_->CreateStation("DL" + std::to_string(1000 + i));
    for (const char* key : {"DB0ABC", "DB0ABC-5", "OE1XYZ"}) db_->CreateStation(key);
    TStationenDatenbankDlgModell m(db_, 1);
    ASSERT_EQ(m.Keys().size(), 3003u);
    const std::pair<const char*, const char*> cases[] = {
        {"d", "DB0ABC"},
        {"db0abc-", "DB0ABC-5"},
        {"DL2", "DL2000"},
        {"dl3999", "DL3999"},
        {"oe", "OE1XYZ"},
        {"XYZ", "OE1XYZ"},  // inside the key
        {"  dl1500", "DL1500"},
        {"DL5", ""},
        {"", ""},
    };
    for (const auto& [typed, found] : cases) {
        SCOPED_TRACE(typed);
        const int i = m.Find(typed);
        EXPECT_EQ(i < 0 ? "" : m.Keys()[static_cast<std::size_t>(i)], found);
    }
}

TEST_F(StationDialog, NewCallsignsAreCheckedAndSelected) {
    const std::pair<const char*, const char*> cases[] = {
        {"dl1abc", "DL1ABC"},
        {" DB0BOX-07 ", "DB0BOX-7"},
        {"DL1ABC-16", ""},
        {"DL1_ABC", ""},
        {"", ""},
        {"DL1ÄBC", ""},
    };
    for (const auto& [typed, call] : cases) {
        SCOPED_TRACE(typed);
        EXPECT_EQ(TStationenDatenbankDlgModell::NewCall(typed).value_or(""), call);
    }
    db_->CreateStation("DL1ZZZ");
    TStationenDatenbankDlgModell m(db_, 1);
    m.Select(0);
    m.Fields().name = "Zacharias";
    const int i = m.Add("dl1abc");
    ASSERT_EQ(i, 0);
    EXPECT_EQ(m.Keys(), (std::vector<std::string>{"DL1ABC", "DL1ZZZ"}));
    EXPECT_EQ(m.Heading(), "Einstellungen f\xFCr DL1ABC:");
    EXPECT_EQ(db_->OpenStation("DL1ZZZ")->GetName(), "Zacharias") << "stored before switching";
    EXPECT_EQ(m.Add("DL1ZZZ"), 1) << "an existing station is selected";
    EXPECT_EQ(m.Add("DL 1"), -1);
}

TEST_F(StationDialog, SelectingStoresThePreviousStation) {
    db_->CreateStation("DL1AAA");
    db_->CreateStation("DL1BBB")->SetIncomingPolicy(3);
    TStationenDatenbankDlgModell m(db_, 2);
    m.Select(0);
    // Without a policy of its own the combo shows the general one.
    EXPECT_FALSE(m.Fields().firewall);
    EXPECT_EQ(m.Fields().policyIndex, 1);
    TStationFields& f = m.Fields();
    f.name = "Anna";
    f.notes = std::string(20000, 'n');
    f.typeIndex = 2;
    f.texts[0] = {false, "Moin %n"};
    f.texts[3] = {true, " \r\n"};  // only the general text: none of its own
    f.sounds[4] = {3, "weg.wav", 0};
    f.remote = {{"BIN", "1"}, {"RING", "0"}};
    m.Select(1);
    EXPECT_TRUE(m.Fields().firewall);
    EXPECT_EQ(m.Fields().policyIndex, 2);
    m.Fields().firewall = false;
    m.Select(0);

    auto a = db_->OpenStation("DL1AAA");
    EXPECT_EQ(a->GetName(), "Anna");
    EXPECT_EQ(a->GetNotes().size(), 16384u);
    EXPECT_EQ(a->GetType(), 2);
    EXPECT_EQ(a->GetIncomingPolicy(), 0);
    std::string text;
    bool flag = true;
    a->GetText(0, text, flag);
    EXPECT_EQ(text, "Moin %n");
    EXPECT_FALSE(flag);
    EXPECT_FALSE(db_->ReadStream("DL1AAA", "X03", 10));
    int signal = 0, announcement = 0;
    std::string wave;
    a->GetSound(4, signal, wave, announcement);
    EXPECT_EQ(signal, 3);
    EXPECT_EQ(wave, "weg.wav");
    bool enabled = false;
    EXPECT_TRUE(a->GetRemoteCommand("ring", enabled));
    EXPECT_FALSE(enabled);
    EXPECT_EQ(db_->OpenStation("DL1BBB")->GetIncomingPolicy(), 0) << "firewall unchecked";

    // The loaded fields show what was stored.
    EXPECT_EQ(m.Fields().texts[0], (TStationText{false, "Moin %n"}));
    EXPECT_EQ(m.Fields().remote, (TRemoteCommandList{{"BIN", "1"}, {"RING", "0"}}));
    m.Fields().sounds[4] = {};
    m.Select(-1);
    EXPECT_FALSE(db_->ReadStream("DL1AAA", "S04", 10)) << "no setting left: no stream";
}

TEST_F(StationDialog, OnlyWhatTheOperatorChangedIsStored) {
    db_->CreateStation("DL1AAA");
    TStationenDatenbankDlgModell m(db_, 1);
    m.Select(0);
    // Meanwhile a connection learns the station's type and //name sets its name.
    auto elsewhere = db_->OpenStation("DL1AAA");
    elsewhere->SetType(2);
    elsewhere->SetName("von Ferne");
    m.Fields().notes = "Notiz";
    m.Select(-1);
    EXPECT_EQ(elsewhere->GetType(), 2);
    EXPECT_EQ(elsewhere->GetName(), "von Ferne");
    EXPECT_EQ(elsewhere->GetNotes(), "Notiz");
}

TEST_F(StationDialog, RemovingAStation) {
    for (const char* key : {"DL1AAA", "DL1BBB", "DL1CCC"}) db_->CreateStation(key);
    TStationenDatenbankDlgModell m(db_, 1);
    auto held = db_->OpenEntry("DL1CCC");  // a connection uses it
    EXPECT_FALSE(m.Remove(2));
    m.Select(1);
    EXPECT_TRUE(m.Remove(1)) << "the dialog's own hold does not count";
    EXPECT_EQ(m.Selected(), -1);
    EXPECT_EQ(m.Keys(), (std::vector<std::string>{"DL1AAA", "DL1CCC"}));
    held.reset();
    EXPECT_TRUE(m.Remove(1));
    EXPECT_EQ(db_->ListEntries(), std::vector<std::string>{"DL1AAA"});
}

TEST_F(StationDialog, PasswordsAreAddedEditedAndRemoved) {
    db_->CreateStation("DB0BOX");
    TStationenDatenbankDlgModell m(db_, 1);
    m.Select(0);
    ASSERT_TRUE(m.SavePassword("", "DL1TST", 0, 0, "erstes"));
    ASSERT_TRUE(m.SavePassword("", "DL1TST-2", 1, 2, "zweites"));
    EXPECT_FALSE(m.SavePassword("", "", 0, 0, "x"));
    auto rows = m.Passwords();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].stream, "PSDDL1TST");
    EXPECT_EQ(rows[0].role, 1);
    EXPECT_EQ(rows[0].method, 2);
    EXPECT_EQ(m.Password("PUBDL1TST"), "erstes");
    // Editing another method replaces the old stream.
    ASSERT_TRUE(m.SavePassword("PUBDL1TST", "DL1TST", 0, 1, "neu"));
    rows = m.Passwords();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(m.Password("PUBDL1TST"), "");
    EXPECT_EQ(m.Password("PUMDL1TST"), "neu");
    m.DeletePassword("PUMDL1TST");
    EXPECT_EQ(m.Passwords().size(), 1u);
}

}  // namespace
}  // namespace tarvo::stations
