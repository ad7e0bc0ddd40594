#include "stations/StationenDatenbankU.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/DebOutU.h"
#include "platform/CompoundFile.h"
#include "platform/Files.h"
#include "stations/StationenDatenbankEintragU.h"
#include "tests/support/CollectingDebugSink.h"

namespace tarvo::stations {
namespace {

namespace fs = std::filesystem;

const fs::path kScripts = fs::path(TARVO_TEST_FIXTURES) / ".." / ".." / "stations" / "fixtures";

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int Mode(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 0777);
}

// Output of a command, or nullopt when it could not run or failed.
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

bool HaveOlefile() {
    return RunCommand("/usr/bin/python3 -c 'import olefile' 2>/dev/null").has_value();
}

class StationenDatenbank : public ::testing::Test {
  protected:
    StationenDatenbank() {
        dir_ = fs::temp_directory_path() /
               ("tarvo-stations-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = StationenDatenbankFile(dir_);
    }
    ~StationenDatenbank() override { fs::remove_all(dir_); }

    std::shared_ptr<TStationenDatenbank> Open(bool check = false) {
        TStationenDatenbankSetup setup;
        setup.file = file_;
        setup.check = check;
        setup.scheduleFlush = [this](std::function<void()> task) {
            scheduled_.push_back(std::move(task));
        };
        return TStationenDatenbank::Open(std::move(setup));
    }
    void RunScheduled() {
        auto tasks = std::move(scheduled_);
        scheduled_.clear();
        for (auto& t : tasks) t();
    }
    // The stations of a tree, written as a compound file in place of the database.
    void WriteFile(const platform::CompoundStorage& root) {
        fs::create_directories(file_.parent_path());
        ASSERT_FALSE(platform::SaveCompoundFile(file_, root));
    }

    fs::path dir_;
    fs::path file_;
    std::vector<std::function<void()>> scheduled_;
};

TEST_F(StationenDatenbank, FindEntryTriesTheSsidThenTheCallsignAlone) {
    auto db = Open();
    for (const char* key : {"DL1ABC", "DL1ABC-5", "DB0BOX-0"}) ASSERT_TRUE(db->CreateEntry(key));
    struct Case {
        const char* call;
        bool fallback;
        const char* found;  // "" none
    };
    const Case cases[] = {
        {"DL1ABC", false, "DL1ABC"},    // no "-0" of its own: the callsign alone
        {"DL1ABC-0", false, "DL1ABC"},  // SSID 0 is the callsign without SSID
        {"DL1ABC-5", false, "DL1ABC-5"},
        {"dl1abc-5", true, "DL1ABC-5"},
        {"DL1ABC-7", false, ""},
        {"DL1ABC-7", true, "DL1ABC"},
        {"DL1ABC-07", true, "DL1ABC"},
        {"DB0BOX", false, "DB0BOX-0"},
        {"DB0BOX-00", false, "DB0BOX-0"},
        {"DB0BOX-3", true, ""},
        {"DL9ZZZ", true, ""},
        {"", true, ""},
        {"DL1ABC-", true, ""},
        {"DL1ABC-16", true, ""},
        {"../DL1ABC", true, ""},
        {"DL1ABC-5-5", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.call) + (c.fallback ? " fallback" : ""));
        auto entry = db->FindEntry(c.call, c.fallback);
        EXPECT_EQ(entry ? entry->GetCall() : "", c.found);
    }
}

TEST_F(StationenDatenbank, KeysAreCallsignsOnly) {
    auto db = Open();
    const std::map<std::string, std::string> cases = {
        {"dl1abc", "DL1ABC"}, {"DL1ABC-05", "DL1ABC-5"}, {"", ""},         {"-5", ""},
        {"DL1ABC-16", ""},    {"DL1 ABC", ""},           {"A/B", ""},      {"X!", ""},
        {"ABCDEFGHIJK", ""},  {"DL1ABC-1-2", ""},        {"[ alle ]", ""},
    };
    for (const auto& [key, expected] : cases) {
        SCOPED_TRACE(key);
        auto entry = db->CreateEntry(key);
        EXPECT_EQ(entry ? entry->GetCall() : "", expected);
    }
    EXPECT_EQ(db->ListEntries(), (std::vector<std::string>{"DL1ABC", "DL1ABC-5"}));
}

TEST_F(StationenDatenbank, AnOpenStationIsOneObjectAndIsReadAgainAfterRelease) {
    auto db = Open();
    std::weak_ptr<core::IStationenDatenbankEintrag> first;
    {
        auto created = db->CreateStation("DL1ABC");
        created->SetName("Otto");
        created->SetType(2);
        auto again = db->OpenEntry("dl1abc");
        EXPECT_EQ(again.get(), created.get());
        // Creating an open station hands out the same object, nothing is replaced.
        EXPECT_EQ(db->CreateEntry("DL1ABC").get(), created.get());
        first = created;
    }
    EXPECT_TRUE(first.expired()) << "the database holds no entry alive";
    auto reopened = db->OpenStation("DL1ABC");
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->GetName(), "Otto");
    EXPECT_EQ(reopened->GetType(), 2);
    // Creating a stored station that is not open keeps what it holds.
    reopened.reset();
    EXPECT_EQ(db->CreateStation("DL1ABC")->GetName(), "Otto");
}

TEST_F(StationenDatenbank, ConcurrentCreatorsShareOneStation) {
    auto db = Open();
    std::vector<std::shared_ptr<core::IStationenDatenbankEintrag>> got(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < got.size(); ++i)
        threads.emplace_back([&, i] {
            got[i] = db->CreateEntry(i % 2 ? "DL1ABC" : "DL1ABC-0");
            std::static_pointer_cast<TStationenDatenbankEintrag>(got[i])->SetName(
                "n" + std::to_string(i));
        });
    for (auto& t : threads) t.join();
    for (std::size_t i = 2; i < got.size(); ++i) EXPECT_EQ(got[i].get(), got[i % 2].get());
    EXPECT_NE(db->OpenStation("DL1ABC")->GetName(), "");
}

TEST_F(StationenDatenbank, AStationInUseCannotBeDeleted) {
    auto db = Open();
    auto entry = db->CreateEntry("DL1ABC");
    EXPECT_FALSE(db->DeleteEntry("dl1abc"));
    EXPECT_TRUE(db->OpenEntry("DL1ABC"));
    entry.reset();
    EXPECT_TRUE(db->DeleteEntry("dl1abc"));
    EXPECT_FALSE(db->OpenEntry("DL1ABC"));
    EXPECT_FALSE(db->DeleteEntry("DL1ABC"));
}

TEST_F(StationenDatenbank, StreamsReadBackCutToTheirLimits) {
    auto db = Open();
    auto e = db->CreateStation("DL1ABC");
    e->SetName(std::string(300, 'n'));
    e->SetNotes(std::string(20000, 'c'));
    e->SetPasswort("DL1TST", 0, std::string(5000, 'p'), 0);
    const std::string longText(5000, 't');
    ASSERT_TRUE(e->SetText(3, longText, false));
    e.reset();
    db->Flush();
    db.reset();
    // What is stored is what reads back: nothing beyond the limit sits in the file.
    auto again = Open();
    auto r = again->OpenStation("DL1ABC");
    EXPECT_EQ(r->GetName(), std::string(200, 'n'));
    EXPECT_EQ(*again->ReadStream("DL1ABC", "N", 1000), std::string(200, 'n'));
    EXPECT_EQ(*again->ReadStream("DL1ABC", "C", 100000), std::string(16384, 'c'));
    EXPECT_EQ(r->GetPasswort("DL1TST", 0, 0), std::string(4096, 'p'));
    std::string text;
    bool flag = true;
    r->GetText(3, text, flag);
    EXPECT_FALSE(flag) << "a long text keeps its flag";
    EXPECT_GT(text.size(), 4000u);
    EXPECT_EQ(text, longText.substr(0, text.size()));
}

TEST_F(StationenDatenbank, TypeAndPermissionsAreWrittenOnlyWhenChanged) {
    auto db = Open();
    auto e = db->CreateStation("DL1ABC");
    RunScheduled();
    e->SetType(0);
    e->SetIncomingPolicy(0);
    EXPECT_FALSE(db->ReadStream("DL1ABC", "T", 2)) << "nothing changed, no T stream";
    EXPECT_TRUE(scheduled_.empty());
    e->SetType(3);
    EXPECT_EQ(*db->ReadStream("DL1ABC", "T", 2), std::string("\x03\x00", 2));
    e->SetRemoteCommand("BIN", true);
    RunScheduled();
    e->SetRemoteCommand("bin", true);
    EXPECT_TRUE(scheduled_.empty()) << "the same permission again writes nothing";
    e->SetRemoteCommand("bin", false);
    EXPECT_EQ(*db->ReadStream("DL1ABC", "R", 100), "BIN=0");
    bool enabled = true;
    EXPECT_TRUE(e->GetRemoteCommand("Bin", enabled));
    EXPECT_FALSE(enabled);
    e->DeleteRemoteCommand("BIN");
    EXPECT_FALSE(e->GetRemoteCommand("BIN", enabled));
}

TEST_F(StationenDatenbank, ChangesReachTheFileInOneDelayedWrite) {
    auto db = Open();
    const std::string before = ReadAll(file_);
    auto e = db->CreateStation("DL1ABC");
    e->SetName("Otto");
    e->SetNotes("Notiz");
    e->SetPasswort("DL1TST", 1, "pw", 1);
    ASSERT_EQ(scheduled_.size(), 1u) << "a burst of changes asks for one write";
    EXPECT_EQ(ReadAll(file_), before) << "nothing written per change";
    RunScheduled();
    EXPECT_NE(ReadAll(file_), before);
    EXPECT_EQ(Mode(file_), 0600);
    e->SetName("Anna");
    EXPECT_EQ(scheduled_.size(), 1u) << "the next change asks again";
    // Shutdown writes what is still pending and asks for no more delayed writes.
    scheduled_.clear();
    EXPECT_TRUE(db->Close());
    EXPECT_EQ(Open()->OpenStation("DL1ABC")->GetName(), "Anna");
    // A holder that outlives it changes the station once more; letting go writes it.
    e->SetName("Berta");
    EXPECT_TRUE(scheduled_.empty());
    db.reset();
    e.reset();
    EXPECT_EQ(Open()->OpenStation("DL1ABC")->GetName(), "Berta");
}

TEST_F(StationenDatenbank, ADamagedFileIsKeptAsBackupAndItsReadableStationsStay) {
    // Two stations; one stream large enough to lie in sectors of its own.
    platform::CompoundStorage root;
    auto* a = root.CreateStorage("DL1AAA");
    a->SetStream("N", "Anna");
    a->SetStream("C", std::string(10000, 'x'));
    root.CreateStorage("DL1BBB")->SetStream("N", "Bert");
    std::string bytes = platform::WriteCompound(root);
    ASSERT_FALSE(bytes.empty());

    // The directory entry of the large stream: name "C", size 10000. Its start
    // sector now points far past the end of the file.
    std::string damagedStream = bytes;
    bool found = false;
    for (std::size_t off = 512; off + 128 <= damagedStream.size(); off += 128) {
        const char* d = damagedStream.data() + off;
        std::uint32_t size = 0;
        std::memcpy(&size, d + 120, 4);
        if (d[0] == 'C' && d[1] == 0 && d[2] == 0 && d[64] == 4 && size == 10000) {
            const std::uint32_t bad = 0x00FFFFF0;
            std::memcpy(damagedStream.data() + off + 116, &bad, 4);
            found = true;
        }
    }
    ASSERT_TRUE(found);

    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> stations;
    };
    const Case cases[] = {
        {"a stream that cannot be read", damagedStream, {"DL1AAA", "DL1BBB"}},
        {"no compound file at all", "Dies ist keine Datenbank.\n", {}},
        {"a cut file", bytes.substr(0, 700), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(file_.parent_path());
        fs::create_directories(file_.parent_path());
        { std::ofstream(file_, std::ios::binary) << c.bytes; }
        auto db = Open();
        ASSERT_EQ(db->Backups().size(), 1u);
        EXPECT_EQ(ReadAll(db->Backups()[0]), c.bytes) << "the damaged file stays as it was";
        EXPECT_EQ(Mode(db->Backups()[0]), 0600);
        EXPECT_EQ(db->Backups()[0].filename(), "Stations.tvd.damaged");
        EXPECT_EQ(db->ListEntries(), c.stations);
        if (!c.stations.empty()) {
            EXPECT_EQ(db->OpenStation("DL1AAA")->GetName(), "Anna");
            EXPECT_EQ(db->OpenStation("DL1BBB")->GetName(), "Bert");
        }
        // The file in place is whole again and holds what could be read.
        const platform::CompoundRead now = platform::ReadCompound(ReadAll(file_), 1 << 20);
        EXPECT_TRUE(now.readable);
        EXPECT_EQ(now.skipped, 0u);
        EXPECT_EQ(now.root.Size(), c.stations.size());
    }
}

TEST_F(StationenDatenbank, TheRepairRunKeepsABackupAndCompacts) {
    platform::CompoundStorage root;
    auto* s = root.CreateStorage("DL1AAA");
    s->SetStream("N", "Anna");
    s->SetStream("C", "");
    s->SetStream("X01", std::string(70000, 'y'));
    root.CreateStorage("[ alle ]");
    root.SetStream("stray", "x");
    WriteFile(root);
    const std::string original = ReadAll(file_);
    auto db = Open(true);
    ASSERT_EQ(db->Backups().size(), 1u);
    EXPECT_EQ(ReadAll(db->Backups()[0]), original);
    EXPECT_EQ(db->ListEntries(), std::vector<std::string>{"DL1AAA"});
    EXPECT_EQ(db->StreamNames("DL1AAA"), (std::vector<std::string>{"N", "X01"}));
    EXPECT_EQ(db->ReadStream("DL1AAA", "X01", 1 << 20)->size(), 65536u);
    EXPECT_EQ(db->Backups()[0].filename(), "Stations.tvd.bak");
    // A clean opening keeps no backup; the next repair replaces the copy.
    db.reset();
    EXPECT_TRUE(Open()->Backups().empty());
    EXPECT_EQ(Open(true)->Backups()[0].filename(), "Stations.tvd.bak");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(file_.parent_path())) ++files;
    EXPECT_EQ(files, 2u) << "the file and one copy";
}

TEST_F(StationenDatenbank, AnUnreadableFileStopsTheOpening) {
    fs::create_directories(file_);  // a folder where the file should be
    try {
        Open();
        FAIL() << "opened";
    } catch (const TStationenDatenbankError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("OpenStorage/CreateDocfile: ", 0), 0u) << e.what();
    }
}

TEST_F(StationenDatenbank, PasswordsNeverReachTheDebugLog) {
    auto log = std::make_shared<test::CollectingDebugSink>();
    core::SetDebugSink(log);
    {
        auto db = Open();
        auto e = db->CreateStation("DB0BOX");
        e->SetPasswort("DL1TST", 1, "Geheimnis42", 2);
        EXPECT_EQ(e->GetPasswort("dl1tst", 1, 2), "Geheimnis42");
        EXPECT_EQ(e->GetPasswortByStream("PSDDL1TST"), "Geheimnis42");
        EXPECT_EQ(e->ListPasswordStreams(), std::vector<std::string>{"PSDDL1TST"});
        e->DeleteElement("PSDDL1TST");
        EXPECT_EQ(e->GetPasswort("DL1TST", 1, 2), "");
    }
    core::SetDebugSink(nullptr);
    bool logged = false;
    for (const std::string& line : log->Lines()) {
        EXPECT_EQ(line.find("Geheimnis42"), std::string::npos) << line;
        logged = logged || line.find("SetPasswort") != std::string::npos;
    }
    EXPECT_TRUE(logged);
}

TEST(PasswordStream, NamesAndTheirParts) {
    EXPECT_EQ(PasswordStreamName("dl1tst", 1, 2), "PSDDL1TST");
    EXPECT_EQ(PasswordStreamName("DL1TST", 0, 1), "PUMDL1TST");
    EXPECT_EQ(PasswordStreamName("DL1TST", 2, 0), "");
    EXPECT_EQ(PasswordStreamName("DL1TST-3", 0, 0), "PUBDL1TST");
    EXPECT_EQ(PasswordStreamName("", 0, 0), "");
    EXPECT_EQ(PasswordStreamName("DL1/TST", 0, 0), "");
    const auto p = ParsePasswordStream("PSDDL1TST");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->myCall, "DL1TST");
    EXPECT_EQ(p->role, 1);
    EXPECT_EQ(p->method, 2);
    const auto odd = ParsePasswordStream("PXYDL1");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->role, 0);
    EXPECT_EQ(odd->method, 0);
    EXPECT_FALSE(ParsePasswordStream("PUB"));
    EXPECT_FALSE(ParsePasswordStream("XUBDL1"));
}

TEST_F(StationenDatenbank, SoundAndTextStreamsAsStored) {
    auto db = Open();
    auto e = db->CreateStation("DL1ABC");
    struct SoundCase {
        std::string stored;
        int signal;
        const char* file;
        int announcement;
    };
    const SoundCase sounds[] = {
        {"2,ding.wav,1", 2, "ding.wav", 1},
        {"1,\"mit blank.wav\",0", 1, "mit blank.wav", 0},
        {"2,ding.wav", 0, "", 0},  // two items: no sound of its own
        {"x,ding.wav,1", 0, "", 0},
        {"2,ding.wav,y", 2, "ding.wav", 0},
        {"", 0, "", 0},
    };
    for (const SoundCase& c : sounds) {
        SCOPED_TRACE(c.stored);
        db->WriteStream("DL1ABC", "S04", c.stored, 4096);
        int signal = -1, announcement = -1;
        std::string file = "?";
        e->GetSound(4, signal, file, announcement);
        EXPECT_EQ(signal, c.signal);
        EXPECT_EQ(file, c.file);
        EXPECT_EQ(announcement, c.announcement);
    }
    struct TextCase {
        std::optional<std::string> stored;
        const char* text;
        bool flag;
    };
    const TextCase texts[] = {
        {std::nullopt, "", true},   {"0,Hallo", "Hallo", false},
        {"1,Hallo", "Hallo", true}, {"x,Hallo", "Hallo", true},
        {"0", "", false},           {"\"0\",\"a, b\"", "a, b", false},
    };
    for (const TextCase& c : texts) {
        SCOPED_TRACE(c.stored.value_or("(none)"));
        if (c.stored)
            db->WriteStream("DL1ABC", "X07", *c.stored, 4096);
        else
            e->DeleteText(7);
        std::string text = "?";
        bool flag = !c.flag;
        e->GetText(7, text, flag);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(flag, c.flag);
    }
    // Round trips through the setters.
    ASSERT_TRUE(e->SetSound(13, 1, 2, "a \"b\".wav"));
    int signal = 0, announcement = 0;
    std::string file;
    e->GetSound(13, signal, file, announcement);
    EXPECT_EQ(std::tie(signal, file, announcement),
              std::make_tuple(1, std::string("a \"b\".wav"), 2));
    EXPECT_FALSE(e->SetSound(100, 1, 1, "x"));
}

TEST_F(StationenDatenbank, ReadsAFileOfAnIndependentWriter) {
    fs::create_directories(file_.parent_path());
    const std::string script = (kScripts / "write_compound.py").string();
    ASSERT_TRUE(RunCommand("python3 '" + script + "' '" + file_.string() + "'") ||
                RunCommand("/usr/bin/python3 '" + script + "' '" + file_.string() + "'"));
    auto db = Open();
    EXPECT_EQ(db->ListEntries(), (std::vector<std::string>{"DB0ABC", "DL1XYZ", "DL1XYZ-5"}))
        << "\"[ alle ]\" goes at opening";
    auto box = db->OpenStation("DB0ABC");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->GetName(), "Mailbox Abc");
    EXPECT_EQ(box->GetType(), 2);
    EXPECT_EQ(box->GetIncomingPolicy(), 1);
    EXPECT_EQ(box->GetPasswort("DL1TST", 0, 0), "geheim12345");
    EXPECT_EQ(box->GetPasswort("DL1TST", 1, 1), "md5secret");
    bool enabled = false;
    EXPECT_TRUE(box->GetRemoteCommand("bin", enabled));
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(box->GetRemoteCommand("QUIT", enabled));
    EXPECT_FALSE(enabled);
    std::string text;
    bool flag = true;
    box->GetText(0, text, flag);
    EXPECT_EQ(text, "Hallo Box");
    EXPECT_FALSE(flag);
    int signal = 0, announcement = 0;
    std::string wave;
    box->GetSound(5, signal, wave, announcement);
    EXPECT_EQ(std::tie(signal, wave, announcement), std::make_tuple(2, std::string("ding.wav"), 1));
    std::string notes;
    for (int i = 0; i < 5000; ++i) notes += static_cast<char>((i * 7) % 251);
    EXPECT_EQ(db->OpenStation("DL1XYZ-5")->GetNotes(), notes);
    EXPECT_EQ(db->FindEntry("DL1XYZ-9", true)->GetName(), "Otto allgemein");
}

TEST_F(StationenDatenbank, AnIndependentReaderSeesWhatTarvoWrote) {
    if (!HaveOlefile()) GTEST_SKIP() << "/usr/bin/python3 without olefile";
    std::map<std::string, std::string> wrote;
    {
        auto db = Open();
        for (int i = 0; i < 40; ++i) {
            const std::string key = "DL" + std::to_string(i) + "ABC";
            auto e = db->CreateStation(key);
            e->SetName("Name " + std::to_string(i));
            e->SetType(static_cast<std::uint8_t>(i % 6));
            if (i % 3 == 0) e->SetNotes(std::string(5000 + i, static_cast<char>('a' + i % 26)));
            if (i % 4 == 0) e->SetPasswort("DL1TST", i % 2, "pw\xE4" + std::to_string(i), i % 3);
            if (i % 5 == 0) e->SetText(i % 14, "Text, \"" + std::to_string(i) + "\"", i % 2);
            e->SetName(i % 7 ? "Name " + std::to_string(i) : "");
        }
        db->Flush();
        for (const std::string& key : db->ListEntries())
            for (const std::string& stream : db->StreamNames(key))
                wrote[key + "/" + stream] = *db->ReadStream(key, stream, 1 << 20);
    }
    const auto out = RunCommand("/usr/bin/python3 '" + (kScripts / "dump_compound.py").string() +
                                "' '" + file_.string() + "'");
    ASSERT_TRUE(out);
    std::map<std::string, std::string> read;
    std::istringstream lines(*out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        std::string bytes;
        for (std::size_t i = tab + 1; i + 1 < line.size(); i += 2)
            bytes += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
        read[line.substr(0, tab)] = bytes;
    }
    EXPECT_EQ(read, wrote);
}

}  // namespace
}  // namespace tarvo::stations
