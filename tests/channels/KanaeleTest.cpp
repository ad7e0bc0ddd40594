#include "channels/KanaeleU.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "tests/channels/ChannelFixture.h"

namespace {

using namespace tarvo;
using channels::TKanaele;
using channels::TMonitorFrame;

TMonitorFrame Frame(std::uint8_t typ, std::string daten = {}, std::uint8_t pid = 0xF0) {
    TMonitorFrame f;
    f.Geraet = 1;
    f.Port = 2;
    f.Von = "NOCALL";
    f.An = "ID";
    f.Typ = typ;
    f.PID = pid;
    f.Daten = std::move(daten);
    return f;
}

TEST(MonitorFormat, HeaderTable) {
    constexpr std::int32_t kPrefix = 0x100, kNoBinary = 0x80;
    struct Case {
        const char* name;
        TMonitorFrame frame;
        std::int32_t flags;
        const char* header;
        std::string info;
    };
    std::vector<Case> cases;
    {
        TMonitorFrame f = Frame(10, "Hallo");
        f.Via = "WIDE2";
        cases.push_back({"UI with prefix", f, kPrefix, "[102: NOCALL > ID v WIDE2 UIv]", "Hallo"});
        cases.push_back({"UI without prefix", f, 0, "[NOCALL > ID v WIDE2 UIv]", "Hallo"});
    }
    cases.push_back({"I with PID CF is binary", Frame(1, std::string(100, 'a'), 0xCF), 0,
                     "[NOCALL > ID I00v BIN100 $CF]", ""});
    cases.push_back({"I with PID CF, binary display off", Frame(1, std::string(100, 'a'), 0xCF),
                     kNoBinary, "[NOCALL > ID I00v $CF]", std::string(100, 'a')});
    {
        TMonitorFrame f = Frame(1, "Text");
        f.NR = 3;
        f.NS = 5;
        f.Hoch = true;
        cases.push_back({"I sequence digits, command", f, 0, "[NOCALL > ID I35^]", "Text"});
    }
    for (auto [typ, text] : {std::pair{2, "RR"}, {3, "RNR"}, {4, "REJ"}}) {
        TMonitorFrame f = Frame(static_cast<std::uint8_t>(typ));
        f.NR = 7;
        f.Vorzeichenform = true;
        cases.push_back({text, f, 0, nullptr, ""});
        cases.back().header = typ == 2   ? "[NOCALL > ID RR7-]"
                              : typ == 3 ? "[NOCALL > ID RNR7-]"
                                         : "[NOCALL > ID REJ7-]";
    }
    struct Mark {
        bool hoch, vorzeichen;
        const char* header;
    } marks[] = {{true, true, "[NOCALL > ID SABM+]"},
                 {false, true, "[NOCALL > ID SABM-]"},
                 {true, false, "[NOCALL > ID SABM^]"},
                 {false, false, "[NOCALL > ID SABMv]"}};
    for (const Mark& m : marks) {
        TMonitorFrame f = Frame(5);
        f.Hoch = m.hoch;
        f.Vorzeichenform = m.vorzeichen;
        cases.push_back({m.header, f, 0, m.header, ""});
    }
    {
        TMonitorFrame f = Frame(8);
        f.DAMA = true;
        cases.push_back({"DAMA", f, 0, "[NOCALL > ID UAv DAMA]", ""});
    }
    cases.push_back({"unknown type", Frame(42), 0, "[NOCALL > ID ???v]", ""});
    for (auto [typ, name] : {std::pair{6, "DISC"}, {7, "DM"}, {9, "FRMR"}}) {
        cases.push_back({name, Frame(static_cast<std::uint8_t>(typ)), 0, nullptr, ""});
        cases.back().header = typ == 6   ? "[NOCALL > ID DISCv]"
                              : typ == 7 ? "[NOCALL > ID DMv]"
                                         : "[NOCALL > ID FRMRv]";
    }
    {
        // Device numbers above 9 and ports above 99 keep all their digits.
        TMonitorFrame f = Frame(10);
        f.Geraet = 12;
        f.Port = 3;
        cases.push_back({"wide prefix", f, kPrefix, "[1203: NOCALL > ID UIv]", ""});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lines = channels::FormatMonitorFrame(c.frame, c.flags);
        EXPECT_EQ(lines.header, c.header);
        EXPECT_EQ(lines.information, c.info);
    }
}

TEST(MonitorFormat, BinaryClassifier) {
    struct Case {
        const char* name;
        std::string data;
        std::uint8_t pid;
        bool binary;
    } cases[] = {
        {"plain text", "Hallo Welt\r", 0xF0, false},
        {"empty", "", 0xF0, false},
        {"one NUL", std::string("ab\0cd", 5), 0xF0, true},
        {"one 0xC0", "ab\xC0", 0xF0, true},
        {"one 0x01 among text", "Hallo\x01Welt", 0xF0, false},
        {"four 0x01", "\x01\x01\x01\x01", 0xF0, true},
        {"three 0x01", "x\x01\x01\x01", 0xF0, false},
        {"0x7F and 0x01",
         "a\x7F"
         "b\x01",
         0xF0, true},
        {"umlauts in both code pages",
         "\xE4\xF6\xFC\xC4\xD6\xDC\xDF\x81\x84\x8E\x94\x99\x9A\xE1\x80", 0xF0, false},
        {"binary after byte 24 is not looked at", std::string(24, 'a') + std::string(10, '\0'),
         0xF0, false},
        {"binary within the first 24", std::string(23, 'a') + std::string(1, '\0'), 0xF0, true},
        {"other PID", "Hallo", 0xCC, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(channels::MonitorIsBinary(c.pid, c.data), c.binary) << c.name;
    }
    const auto& t = channels::MonitorCharClasses();
    EXPECT_EQ(t[13], 0);
    EXPECT_EQ(t[10], 1);
    EXPECT_EQ(t[0xFF], 3);
    EXPECT_EQ(t[0x00], 4);
}

class Kanaele : public test::ChannelFixture {
  protected:
    std::unique_ptr<TKanaele> Make() { return std::make_unique<TKanaele>(ctx_, nullptr); }
};

TEST_F(Kanaele, StartsWithChannelOneActive) {
    auto set = Make();
    EXPECT_EQ(set->Count(), core::TConfig::kDefaultChannels);
    EXPECT_EQ(set->AktuellNr(), 1);
    EXPECT_TRUE(set->GetKanal(1)->Active());
    EXPECT_EQ(set->GetFokussiert(), set->GetKanal(1));
    EXPECT_EQ(set->GetKanal(-1), nullptr);
    EXPECT_EQ(set->GetKanal(9), nullptr);
    EXPECT_EQ(TKanaele::Instance(), set.get());
    EXPECT_EQ(set->Font().family, "Tarvo 08x12");
    EXPECT_THROW(set->SetAktuellNr(9), core::TarvoAssertion);
    set->SetAktuellNr(3);
    EXPECT_FALSE(set->GetKanal(1)->Active());
    EXPECT_TRUE(set->GetKanal(3)->Active());
    EXPECT_EQ(klaenge_.Events(), std::vector<int>{17});
    set.reset();
    EXPECT_EQ(TKanaele::Instance(), nullptr);
}

TEST_F(Kanaele, FreeChannelsAreDistinctAcrossThreads) {
    auto set = Make();
    std::vector<std::shared_ptr<channels::TKanal>> got(10);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < got.size(); ++i)
        threads.emplace_back([&, i] { got[i] = set->FindFreeChannel(); });
    for (auto& t : threads) t.join();
    std::set<int> numbers;
    int none = 0;
    for (const auto& k : got) {
        if (k) {
            numbers.insert(k->GetNummer());
        } else {
            ++none;
        }
    }
    EXPECT_EQ(numbers, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(none, 2);
    got[0]->SetReserved(false);
    EXPECT_EQ(set->FindFreeChannel(), got[0]);
}

TEST_F(Kanaele, ShrinkingStopsAtAConnectedOrReservedChannel) {
    auto set = Make();
    auto five = set->GetKanal(5);
    auto v = std::make_shared<test::FakeVerbindung>();
    five->SetVerbindung(v);
    set->SetAktuellNr(7);
    set->SetCount(2);
    EXPECT_EQ(set->Count(), 5);
    EXPECT_EQ(config_->Channels(), 5);
    EXPECT_EQ(set->AktuellNr(), 2);
    EXPECT_FALSE(std::filesystem::exists(ctx_.bufferFolder / "Buffer06.tvn"));
    EXPECT_TRUE(std::filesystem::exists(ctx_.bufferFolder / "Buffer05.tvn"));

    // A reservation a device thread just made holds its channel too.
    v->state = core::kLinkDisconnected;
    five->Getrennt(0);
    auto four = set->GetKanal(4);
    four->SetReserved(true);
    set->SetCount(1);
    EXPECT_EQ(set->Count(), 4);
    EXPECT_TRUE(four->GetReserved());
    EXPECT_FALSE(four->Released());

    four->SetReserved(false);
    set->SetCount(1);
    EXPECT_EQ(set->Count(), 1);
    set->SetCount(3);
    EXPECT_EQ(set->Count(), 3);
    EXPECT_EQ(config_->Channels(), 3);
    EXPECT_NE(set->GetKanal(3), nullptr);
}

TEST_F(Kanaele, FocusedChannelIsForgottenWhenItGoes) {
    auto set = Make();
    set->SetAktuellNr(8);
    set->SetAktuellNr(2);
    set->SetFokussiert(set->GetKanal(8));
    set->SetCount(4);
    EXPECT_EQ(set->GetFokussiert(), set->GetKanal(2));
}

TEST_F(Kanaele, MonitorWritesFramesAndDeviceTextIntoChannelZero) {
    config_->SetMonitor(core::TConfig::kDefaultMonitor | core::TConfig::kMonitorPrefixDevicePort);
    auto set = Make();
    auto m = set->GetKanal(0);
    m->Console().Clear();
    TMonitorFrame f = Frame(10, "Hallo");
    f.Via = "WIDE2";
    set->MonitorFrame(f);
    TMonitorFrame nobody = f;
    nobody.Von.clear();
    set->MonitorFrame(nobody);  // no source: nothing
    set->MonitorText("Geraet 1", "bereit");
    EXPECT_EQ(ConsoleText(m->Console()), "[102: NOCALL > ID v WIDE2 UIv]|Hallo||Geraet 1|bereit|");
    const auto& c = m->Console();
    EXPECT_EQ(c.GetColours(0, c.WriteRow() - 5), channels::kColourReceived);
    EXPECT_EQ(c.GetColours(0, c.WriteRow() - 4), channels::kColourMonitorInfo);
    EXPECT_EQ(c.GetColours(0, c.WriteRow() - 2), channels::kColourDevice);
}

TEST_F(Kanaele, FramesOfTwoDevicesNeverInterleave) {
    config_->SetMonitor(core::TConfig::kDefaultMonitor & ~core::TConfig::kMonitorPrefixDevicePort);
    auto set = Make();
    auto m = set->GetKanal(0);
    m->Console().Clear();
    std::atomic<int> done{0};
    auto device = [&](const char* from) {
        TMonitorFrame f = Frame(10, std::string(from) + " info");
        f.Von = from;
        for (int i = 0; i < 50; ++i) set->MonitorFrame(f);
        ++done;
    };
    std::thread a(device, "AAAAAA"), b(device, "BBBBBB");
    ASSERT_TRUE(dispatcher_.RunUntil([&] { return done.load() == 2; }, std::chrono::seconds(10)));
    a.join();
    b.join();
    const auto& c = m->Console();
    int pairs = 0;
    for (int r = 0; r + 1 <= c.WriteRow(); ++r) {
        const std::string line(c.GetLine(r).chars.substr(0, 7));
        if (line == "[AAAAAA" || line == "[BBBBBB") {
            EXPECT_EQ(std::string(c.GetLine(r + 1).chars.substr(0, 6)), line.substr(1))
                << "row " << r;
            ++pairs;
        }
    }
    EXPECT_EQ(pairs, 100);
}

TEST(ConnectionsList, AddRemoveAndGet) {
    channels::TConnectionsList list;
    EXPECT_EQ(channels::TConnectionsList::Instance(), &list);
    auto a = std::make_shared<test::FakeVerbindung>();
    auto b = std::make_shared<test::FakeVerbindung>();
    list.Add(a);
    list.Add(a);
    list.Add(b);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(1), b);
    EXPECT_EQ(list.Get(2), nullptr);
    list.Lock();
    list.Remove(a.get());  // the lock may be taken again on the same thread
    list.Unlock();
    list.Remove(a.get());
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Get(0), b);
}

}  // namespace
