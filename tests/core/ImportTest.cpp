#include "core/ImportU.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "channels/ConsoleU.h"
#include "core/ConfigU.h"
#include "platform/Clock.h"
#include "platform/CompoundFile.h"
#include "platform/Registry.h"
#include "resources/KlaengeU.h"
#include "resources/OrdnerU.h"
#include "resources/TexteU.h"
#include "stations/StationenDatenbankEintragU.h"
#include "stations/StationenDatenbankU.h"
#include "tests/support/FakeSoundOutput.h"
#include "tests/support/TempFolder.h"

namespace tarvo::core {
namespace {

namespace fs = std::filesystem;
using platform::Hive;
using test::TempFolder;

const fs::path kFixtures =
    fs::path(TARVO_TEST_FIXTURES) / ".." / ".." / "core" / "fixtures" / "import";
const fs::path kStationScripts =
    fs::path(TARVO_TEST_FIXTURES) / ".." / ".." / "stations" / "fixtures";
constexpr const char* kStamp = "20261211-093000";

std::optional<std::string> RunCommand(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    if (::pclose(pipe) != 0) return std::nullopt;
    return out;
}

std::string Wave() {
    std::string w = "RIFF";
    w += std::string("\x24\x00\x00\x00", 4);
    w += "WAVEfmt ";
    w += std::string(20, '\0');
    w += "data";
    w += std::string(4, '\0');
    return w;
}

bool Contains(const std::vector<std::string>& lines, std::string_view part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

// A copied installation in src, our profile in home.
class Import : public ::testing::Test {
  public:
    Import() {
        fs::create_directories(src_);
        fs::create_directories(data_);
    }

    // The independent writer's station database at p.
    static void WriteStations(const fs::path& p) {
        fs::create_directories(p.parent_path());
        const std::string script = (kStationScripts / "write_compound.py").string();
        ASSERT_TRUE(RunCommand("/usr/bin/python3 '" + script + "' '" + p.string() + "'") ||
                    RunCommand("python3 '" + script + "' '" + p.string() + "'"));
    }

    // A channel buffer of rows lines holding text, as the console writes it.
    static void WriteBuffer(const fs::path& p, int rows, std::string_view text) {
        fs::create_directories(p.parent_path());
        platform::SteadyClock clock;
        channels::TConsole c(clock);
        c.SetCols(80);
        ASSERT_FALSE(c.SetRows(rows));
        c.SetFileName(p);
        c.SetVirtualMemory(true);
        ASSERT_FALSE(c.Open());
        c.Write(text);
        c.Close();
    }

    // The old installation as the tests use it.
    void CopyInstallation() {
        fs::copy_file(kFixtures / "regedit4-cp1252.reg", src_ / "Tarvo-Benutzer.reg");
        fs::copy_file(kFixtures / "version5-utf16.reg", src_ / "Tarvo-Geraete.reg");
        TempFolder::Write(src_ / "Sound" / "Glocke.wav", Wave());
        TempFolder::Write(src_ / "Sound" / "DING.WAV", Wave());
        WriteStations(src_ / "Database" / "Stations.tvd");
        WriteBuffer(src_ / "Text Buffers" / "Buffer01.tvn", 1250, "Hallo vom alten Rechner\r\n");
        fs::create_directories(src_ / "Empfangen");
    }

    TImportReport Run(platform::IRegistry& registry) {
        TImportSetup setup;
        setup.source = src_;
        setup.registry = &registry;
        setup.settingsFile = settings_;
        setup.dataFolder = data_;
        setup.searchFolders = {docs_};
        setup.serialFolder = serial_;
        setup.replaceStations = replace_;
        setup.buffersInUse = buffersInUse_;
        setup.stamp = kStamp;
        return Importiere(setup);
    }

    TImportReport RunOnFile() {
        std::error_code ec;
        auto reg = platform::FileRegistry::Open(settings_, ec);
        EXPECT_TRUE(reg) << ec.message();
        return Run(*reg);
    }

    std::unique_ptr<platform::FileRegistry> Reopen() {
        std::error_code ec;
        auto reg = platform::FileRegistry::Open(settings_, ec);
        EXPECT_TRUE(reg) << ec.message();
        return reg;
    }

    TempFolder home_{"tarvo-import"};
    fs::path src_ = home_ / "alt";
    fs::path data_ = home_ / "data";
    fs::path docs_ = home_ / "Dokumente";
    fs::path serial_ = home_ / "by-id";
    fs::path settings_ = home_ / "tarvo.reg";
    std::function<bool(platform::CompoundStorage, const fs::path&)> replace_;
    bool buffersInUse_ = false;
};

TEST_F(Import, EveryValueLandsWhereTheProgramReadsIt) {
    CopyInstallation();
    const TImportReport report = RunOnFile();
    EXPECT_FALSE(report.failed) << report.Text();
    EXPECT_FALSE(report.damaged) << report.Text();

    auto reg = Reopen();
    {
        TConfig config(*reg, "0.01.000");
        EXPECT_EQ(config.Channels(), 12);
        EXPECT_EQ(config.Font(), "10x18");
        EXPECT_EQ(config.Monitor(), 478);
        EXPECT_FALSE(config.Dirty()) << "the old program's run state stays behind";
        EXPECT_EQ(config.UiDestination(), "CQ via DB0\xC4\xD6");
    }
    {
        resources::TTexte texte(*reg, std::shared_ptr<IStationenDatenbank>());
        EXPECT_EQ(texte.ReadGeneral(0), "Gr\xFC\xDF Gott, hier ist J\xF6rg an der \xD6se");
        EXPECT_EQ(texte.ReadGeneral(1),
                  "Tsch\xFC\xDF \x96 73 \x80 und Gr\xFC\xDF"
                  "e");
    }
    {
        resources::TOrdner ordner(*reg, platform::UserFolders{home_.path(), docs_, {}});
        EXPECT_EQ(ordner.GetReceiveFolder(), src_ / "Empfangen" / "");
        EXPECT_EQ(ordner.GetRemoteFolder(), docs_ / "Tarvo" / "")
            << "a Windows folder without a match is left out, never stored";
    }
    {
        auto sink = std::make_shared<test::FakeSoundOutput::Shared>();
        resources::TKlaenge klaenge(*reg, std::shared_ptr<IStationenDatenbank>(),
                                    std::make_unique<test::FakeSoundOutput>(sink));
        EXPECT_EQ(klaenge.LoadGeneral(6),
                  (resources::TSoundSetting{3, (data_ / "Sound" / "Glocke.wav").string(), 1}));
        EXPECT_EQ(klaenge.LoadGeneral(1), (resources::TSoundSetting{3, "", 0}))
            << "a wave file that is nowhere is left out";
    }
    // The device as the device set reads it, from the 64-bit Windows place.
    const std::string device = "\\Software\\Morvane\\Tarvo\\Geraete\\0";
    EXPECT_EQ(reg->ReadText(Hive::LocalMachine, device, ""), "TGeraetHostmodeSerial");
    EXPECT_EQ(reg->ReadDWord(Hive::LocalMachine, device, "Anschluss"), 3u);
    EXPECT_EQ(reg->ReadDWord(Hive::LocalMachine, device, "Baudrate"), 0x9600u);
    EXPECT_EQ(reg->ReadText(Hive::LocalMachine, device, "Init"),
              "I DL1\xC4"
              "BC");
    EXPECT_FALSE(reg->KeyExists(Hive::LocalMachine, device + "\\4"))
        << "a link of the old session is not restored here";
    EXPECT_EQ(reg->ReadDWord(Hive::CurrentUser,
                             "\\Software\\Morvane\\Tarvo\\Eigene Rufzeichen\\DL1ABC", "SSIDs"),
              3u);
    EXPECT_FALSE(reg->KeyExists(Hive::CurrentUser, "\\Software\\Microsoft"));

    {
        auto db = stations::TStationenDatenbank::Open(
            {stations::StationenDatenbankFile(data_), false, nullptr});
        EXPECT_EQ(db->ListEntries(), (std::vector<std::string>{"DB0ABC", "DL1XYZ", "DL1XYZ-5"}));
        auto box = db->OpenStation("DB0ABC");
        EXPECT_EQ(box->GetName(), "Mailbox Abc");
        EXPECT_EQ(box->GetPasswort("DL1TST", 0, 0), "geheim12345");
        int signal = 0, announcement = 0;
        std::string wave;
        box->GetSound(5, signal, wave, announcement);
        EXPECT_EQ(std::tie(signal, wave, announcement),
                  std::make_tuple(2, (data_ / "Sound" / "DING.WAV").string(), 1))
            << "the station's own wave file is mapped too";
    }
    {
        platform::SteadyClock clock;
        channels::TConsole c(clock);
        c.SetCols(80);
        ASSERT_FALSE(c.SetRows(1250));
        c.SetFileName(data_ / "Text Buffers" / "Buffer01.tvn");
        c.SetVirtualMemory(true);
        ASSERT_FALSE(c.Open());
        EXPECT_EQ(c.OpenOutcome(), channels::TConsoleOpen::Kept);
        const channels::TConsoleLine line = c.GetLine(c.WriteRow() - 1);
        EXPECT_EQ(line.chars.substr(0, line.length), "Hallo vom alten Rechner");
    }

    EXPECT_TRUE(Contains(report.mapped, "Glocke.WAV")) << report.Text();
    for (const char* part :
         {"tada.wav", "Freigabe f\xC3\xBCr G\xC3\xA4ste", "\"Dirty\"", "Geraete\\0\\4",
          "HKEY_CLASSES_ROOT\\Tarvo.Application", "Shell Folders"})
        EXPECT_TRUE(Contains(report.leftOut, part)) << part << "\n" << report.Text();
    EXPECT_TRUE(Contains(report.review, "COM3")) << "no adapter plugged in";
    ASSERT_FALSE(report.reportFile.empty());
    EXPECT_EQ(report.reportFile.parent_path(), data_);
    EXPECT_NE(TempFolder::Read(report.reportFile).find("tada.wav"), std::string::npos);
}

TEST_F(Import, AnIndependentReaderAcceptsTheStationFixture) {
    if (!RunCommand("/usr/bin/python3 -c 'import olefile' 2>/dev/null"))
        GTEST_SKIP() << "/usr/bin/python3 without olefile";
    const fs::path file = src_ / "Stations.tvd";
    WriteStations(file);
    const auto out =
        RunCommand("/usr/bin/python3 '" + (kStationScripts / "dump_compound.py").string() + "' '" +
                   file.string() + "'");
    ASSERT_TRUE(out);
    EXPECT_NE(out->find("DB0ABC/N\t"
                        "4d61696c626f7820416263"),
              std::string::npos)
        << *out;
}

// Values of the other platform, each on its own: what the program then reads.
TEST_F(Import, MapsPathsWhereAMatchExists) {
    struct Case {
        const char* name;
        const char* key;    // below \Software\Morvane\Tarvo
        const char* value;  // as exported, escaped
        std::function<void(const Import&)> prepare;
        std::function<std::string(const Import&)> expect;  // "" = left as it was
    };
    const std::string before = "/schon/da";
    const std::vector<Case> cases = {
        {"wave beside", "Klaenge\\03\" \"SignalWavFile", "C:\\\\Sounds\\\\DING.wav",
         [](const Import& t) { TempFolder::Write(t.src_ / "sounds" / "ding.wav", Wave()); },
         [](const Import& t) { return (t.data_ / "Sound" / "ding.wav").string(); }},
        {"wave in the sound folder", "Klaenge\\03\" \"SignalWavFile", "Ruf.wav",
         [](const Import& t) { TempFolder::Write(t.data_ / "Sound" / "ruf.WAV", Wave()); },
         [](const Import& t) { return (t.data_ / "Sound" / "ruf.WAV").string(); }},
        {"wave of this platform", "Klaenge\\03\" \"SignalWavFile", "/usr/share/x.wav", nullptr,
         [](const Import&) { return std::string("/usr/share/x.wav"); }},
        {"wave nowhere", "Klaenge\\03\" \"SignalWavFile", "C:\\\\fehlt.wav", nullptr,
         [](const Import&) { return std::string(); }},
        {"folder in documents", "Ordner\" \"Remote",
         "C:\\\\Users\\\\Otto\\\\Documents\\\\Tarvo\\\\",
         [](const Import& t) { fs::create_directories(t.docs_ / "tarvo"); },
         [](const Import& t) { return (t.docs_ / "tarvo").string(); }},
        {"folder beside, share", "Ordner\" \"Remote", "\\\\\\\\server\\\\funk\\\\Empfang",
         [](const Import& t) { fs::create_directories(t.src_ / "x" / "EMPFANG"); },
         [](const Import& t) { return (t.src_ / "x" / "EMPFANG").string(); }},
        {"documents folder itself", "Ordner\" \"Remote", "C:\\\\Users\\\\Otto\\\\Dokumente",
         [](const Import& t) { fs::create_directories(t.docs_); },
         [](const Import& t) { return t.docs_.string(); }},
        {"folder nowhere", "Ordner\" \"Remote", "E:\\\\weg", nullptr,
         [](const Import&) { return std::string(); }},
        {"folder of this platform", "Ordner\" \"Remote", "/srv/funk", nullptr,
         [](const Import&) { return std::string("/srv/funk"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(src_);
        fs::remove_all(data_);
        fs::remove_all(docs_);
        fs::create_directories(src_);
        if (c.prepare) c.prepare(*this);
        const std::string key = c.key;
        const std::string sub = key.substr(0, key.find('"'));
        const std::string name = key.substr(key.rfind('"') + 1);
        TempFolder::Write(src_ / "export.reg",
                          "Windows Registry Editor Version 5.00\r\n\r\n"
                          "[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo\\" +
                              sub + "]\r\n\"" + name + "\"=\"" + c.value + "\"\r\n");
        platform::FileRegistry reg;
        reg.WriteUtf8(Hive::CurrentUser, "\\Software\\Morvane\\Tarvo\\" + sub, name, before);
        const TImportReport report = Run(reg);
        const std::string expect = c.expect(*this);
        EXPECT_EQ(reg.ReadUtf8(Hive::CurrentUser, "\\Software\\Morvane\\Tarvo\\" + sub, name),
                  expect.empty() ? before : expect)
            << report.Text();
        if (expect.empty()) {
            EXPECT_EQ(report.leftOut.size(), 1u) << report.Text();
        }
    }
}

TEST_F(Import, MapsAComPortOnlyToASingleAdapter) {
    struct Case {
        const char* name;
        std::vector<std::string> adapters;
        const char* extra;   // more values of the device
        const char* expect;  // "Schnittstelle" afterwards; nullptr: none
    };
    const std::vector<Case> cases = {
        {"one adapter", {"usb-FTDI_TNC-if00-port0"}, "", "usb-FTDI_TNC-if00-port0"},
        {"no adapter", {}, "", nullptr},
        {"two adapters", {"usb-a-port0", "usb-b-port0"}, "", nullptr},
        {"path already given",
         {"usb-a-port0"},
         "\"Schnittstelle\"=\"/dev/ttyACM0\"\r\n",
         "/dev/ttyACM0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(serial_);
        fs::create_directories(serial_);
        for (const std::string& a : c.adapters) TempFolder::Write(serial_ / a, "");
        TempFolder::Write(
            src_ / "geraete.reg",
            std::string("Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\Tarvo\\Geraete\\0]\r\n"
                        "\"Anschluss\"=dword:00000002\r\n") +
                c.extra);
        platform::FileRegistry reg;
        const TImportReport report = Run(reg);
        const auto path = reg.ReadUtf8(Hive::LocalMachine, "\\Software\\Morvane\\Tarvo\\Geraete\\0",
                                       "Schnittstelle");
        if (!c.expect) {
            EXPECT_FALSE(path) << report.Text();
            EXPECT_TRUE(Contains(report.review, "COM2")) << report.Text();
        } else if (c.adapters.size() == 1 && std::string(c.extra).empty()) {
            EXPECT_EQ(path, (serial_ / c.expect).string());
        } else {
            EXPECT_EQ(path, c.expect);
        }
        EXPECT_EQ(reg.ReadDWord(Hive::LocalMachine, "\\Software\\Morvane\\Tarvo\\Geraete\\0",
                                "Anschluss"),
                  2u);
    }
}

TEST_F(Import, BacksUpWhatItReplacesAndNeverABackup) {
    CopyInstallation();
    {
        std::error_code ec;
        auto reg = platform::FileRegistry::Open(settings_, ec);
        reg->WriteDWord(Hive::CurrentUser, "\\Software\\Morvane\\Tarvo", "Channels", 4);
    }
    const std::string oldSettings = TempFolder::Read(settings_);
    const fs::path dbFile = stations::StationenDatenbankFile(data_);
    TempFolder::Write(dbFile, "die alte Datenbank");
    TempFolder::Write(data_ / "Sound" / "Glocke.wav", Wave());  // the same bytes

    const TImportReport first = RunOnFile();
    EXPECT_FALSE(first.failed) << first.Text();
    const fs::path settingsBackup = settings_.string() + ".bak-" + kStamp;
    const fs::path dbBackup = dbFile.string() + ".bak-" + kStamp;
    EXPECT_EQ(TempFolder::Read(settingsBackup), oldSettings);
    EXPECT_EQ(TempFolder::Read(dbBackup), "die alte Datenbank");
    EXPECT_FALSE(fs::exists(data_ / "Sound" / ("Glocke.wav.bak-" + std::string(kStamp))))
        << "an equal file needs no backup";
    EXPECT_EQ(Reopen()->ReadDWord(Hive::CurrentUser, "\\Software\\Morvane\\Tarvo", "Channels"),
              12u);

    // Again in the same second: the first backups stay as they are.
    TempFolder::Write(dbFile, "zwischendurch");
    const TImportReport second = RunOnFile();
    EXPECT_FALSE(second.failed) << second.Text();
    EXPECT_EQ(TempFolder::Read(dbBackup), "die alte Datenbank");
    EXPECT_TRUE(std::any_of(fs::directory_iterator(dbFile.parent_path()), fs::directory_iterator(),
                            [](const fs::directory_entry& e) {
                                return TempFolder::Read(e.path()) == "zwischendurch";
                            }));
    EXPECT_NE(first.reportFile, second.reportFile);
}

TEST_F(Import, HandsTheStationsToTheRunningDatabase) {
    WriteStations(src_ / "Stations.tvd");
    // The running consoles would write their own buffers over an imported one.
    WriteBuffer(src_ / "Text Buffers" / "Buffer01.tvn", 1250, "Hallo\r\n");
    buffersInUse_ = true;
    auto db = stations::TStationenDatenbank::Open(
        {stations::StationenDatenbankFile(data_), false, nullptr});
    db->CreateStation("DL9OLD")->SetName("bisher");
    auto held = db->OpenStation("DL9OLD");
    replace_ = [db](platform::CompoundStorage root, const fs::path& backup) {
        return db->ReplaceAll(std::move(root), backup);
    };
    platform::FileRegistry reg;
    const TImportReport report = Run(reg);
    EXPECT_FALSE(report.failed) << report.Text();
    EXPECT_EQ(db->ListEntries(), (std::vector<std::string>{"DB0ABC", "DL1XYZ", "DL1XYZ-5"}));
    EXPECT_EQ(held->GetName(), "") << "an open entry reads the new stations";
    const auto backup = platform::ReadCompound(
        TempFolder::Read(stations::StationenDatenbankFile(data_).string() + ".bak-" + kStamp),
        1 << 16);
    ASSERT_TRUE(backup.readable);
    EXPECT_TRUE(backup.root.Storage("DL9OLD"));
    // What the database wrote is what the next start reads.
    const auto onDisk =
        platform::ReadCompound(TempFolder::Read(stations::StationenDatenbankFile(data_)), 1 << 16);
    EXPECT_TRUE(onDisk.root.Storage("DB0ABC"));
    EXPECT_FALSE(onDisk.root.Storage("DL9OLD"));
    EXPECT_FALSE(fs::exists(data_ / "Text Buffers" / "Buffer01.tvn"));
    EXPECT_NE(report.Text().find("Buffer01.tvn"), std::string::npos) << report.Text();
}

TEST_F(Import, DamagedFilesAreReportedAndSkippedWhole) {
    // A version-5 export cut short in the middle of a UTF-16 character.
    std::string cut = TempFolder::Read(kFixtures / "version5-utf16.reg");
    cut.resize(cut.size() / 2 + 1);
    TempFolder::Write(src_ / "kaputt.reg", cut);
    TempFolder::Write(src_ / "halb.reg",
                      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo]\r\n"
                      "\"Channels\"=dword:00000007\r\n\"Font\"=\"07x09\r\n");
    fs::copy_file(kFixtures / "regedit4-cp1252.reg", src_ / "gut.reg");
    WriteStations(home_ / "ganz.tvd");
    std::string db = TempFolder::Read(home_ / "ganz.tvd");
    TempFolder::Write(src_ / "Database" / "Stations.tvd", db.substr(0, db.size() / 3));
    const fs::path dbFile = stations::StationenDatenbankFile(data_);
    TempFolder::Write(dbFile, "die alte Datenbank");
    TempFolder::Write(src_ / "Text Buffers" / "Buffer02.tvn", std::string(500, 'x'));
    WriteBuffer(home_ / "other" / "Buffer03.tvn", 600, "anders");
    fs::copy_file(home_ / "other" / "Buffer03.tvn", src_ / "Text Buffers" / "Buffer03.tvn");
    TempFolder::Write(src_ / "Sound" / "Glocke.wav", "kein RIFF");
    TempFolder::Write(src_ / "leer.tvs", "[Anderes]\r\n06=1,x.wav\r\n");

    platform::FileRegistry reg;
    const TImportReport report = Run(reg);
    EXPECT_TRUE(report.damaged);
    EXPECT_FALSE(report.failed) << report.Text();
    for (const char* name : {"kaputt.reg", "halb.reg", "Stations.tvd", "Buffer02.tvn",
                             "Buffer03.tvn", "Glocke.wav", "leer.tvs"})
        EXPECT_TRUE(Contains(report.leftOut, name)) << name << "\n" << report.Text();
    EXPECT_EQ(reg.ReadDWord(Hive::CurrentUser, "\\Software\\Morvane\\Tarvo", "Channels"), 12u)
        << "only the sound file's values";
    EXPECT_EQ(reg.ReadText(Hive::CurrentUser, "\\Software\\Morvane\\Tarvo", "Font"), "10x18");
    EXPECT_FALSE(reg.KeyExists(Hive::LocalMachine, "\\Software\\Morvane\\Tarvo\\Geraete"));
    EXPECT_EQ(TempFolder::Read(dbFile), "die alte Datenbank");
    EXPECT_FALSE(fs::exists(data_ / "Text Buffers"));
    EXPECT_FALSE(fs::exists(data_ / "leer.tvs"));
    EXPECT_FALSE(fs::exists(data_ / "Sound" / "leer.tvs"));
}

TEST_F(Import, NamesThatTryToLeaveStayInside) {
    TempFolder::Write(home_ / "geheim" / "Stations.tvd", "nicht von hier");
    fs::create_symlink(home_ / "geheim" / "Stations.tvd", src_ / "Stations.tvd");
    fs::create_directory_symlink(home_ / "geheim", src_ / "Database");
    TempFolder::Write(src_ / "Sound" / "a\nb.wav", Wave());
    TempFolder::Write(home_ / "passwd.wav", Wave());
    TempFolder::Write(src_ / "Sound" / "Schema.tvs",
                      "[Tarvo Sound Scheme]\r\n"
                      "06=1,..\\..\\..\\passwd.wav\r\n"
                      "08=1,C:\\Sound\\ab.wav\r\n"
                      "09=2,\r\n");

    platform::FileRegistry reg;
    const TImportReport report = Run(reg);
    EXPECT_TRUE(Contains(report.leftOut, "Stations.tvd")) << report.Text();
    EXPECT_FALSE(fs::exists(stations::StationenDatenbankFile(data_)));
    EXPECT_TRUE(fs::exists(data_ / "Sound" / "ab.wav")) << report.Text();
    const fs::path scheme = data_ / "Sound" / "Schema.tvs";
    ASSERT_TRUE(fs::exists(scheme)) << report.Text();
    const resources::TSoundScheme loaded =
        resources::ParseSoundScheme(TempFolder::Read(scheme), scheme.parent_path());
    EXPECT_EQ(loaded.at(8).waveFile, (data_ / "Sound" / "ab.wav").string());
    EXPECT_EQ(loaded.at(9).signal, resources::kSignalTones);
    EXPECT_TRUE(Contains(report.review, "passwd.wav")) << "never looked up outside the folder";
    // Nothing was written outside the data folder.
    for (const auto& e : fs::recursive_directory_iterator(home_.path())) {
        if (!e.is_regular_file() || e.is_symlink()) continue;
        const fs::path rel = e.path().lexically_relative(home_.path());
        const std::string top = rel.begin()->string();
        EXPECT_TRUE(top == "data" || top == "alt" || top == "geheim" || top == "passwd.wav")
            << e.path();
    }
    EXPECT_EQ(TempFolder::Read(home_ / "geheim" / "Stations.tvd"), "nicht von hier");
}

}  // namespace
}  // namespace tarvo::core
