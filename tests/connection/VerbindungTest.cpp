#include "connection/VerbindungU.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "channels/KanaeleU.h"
#include "connection/VerbindungAbstractU.h"
#include "core/ConfigU.h"
#include "platform/Dispatcher.h"
#include "platform/Registry.h"

namespace {

using namespace tarvo;
using connection::TVerbindung;

class FakeGeraet : public core::IGeraetFuerVerbindung {
  public:
    void Trenne(const std::shared_ptr<core::IVerbindung>& v) override {
        ++trenne;
        levels.push_back(v->DiscLevel());
    }
    void PactorBreakIn(const std::shared_ptr<core::IVerbindung>&) override {}
    void PactorChangeover(const std::shared_ptr<core::IVerbindung>&) override {}
    std::atomic<int> trenne{0};
    std::vector<int> levels;
};

class RecordingKlaenge : public core::IKlaenge {
  public:
    bool Play(int event, const std::shared_ptr<core::IVerbindung>&) override {
        std::lock_guard lock(mutex);
        events.push_back(event);
        return true;
    }
    std::vector<int> Take() {
        std::lock_guard lock(mutex);
        return std::exchange(events, {});
    }
    std::mutex mutex;
    std::vector<int> events;
};

// Records what the connection tells its channel.
class FakeKanal : public core::IKanalFuerVerbindung {
  public:
    explicit FakeKanal(int n = 3) : number(n) {}
    void Notify(const void*) override {}
    void Release() override {}
    std::uint8_t GetState() const override { return 0; }
    void StateChanged() override { ++stateChanges; }
    void Message(std::string_view text, int) override { Add("message:" + std::string(text)); }
    void Prompt(std::string_view text, int) override { Add("prompt:" + std::string(text)); }
    std::int64_t Received(std::string_view text) override {
        Add("received:" + std::string(text));
        return 0;
    }
    std::int64_t Echo(std::string_view text) override {
        Add("echo:" + std::string(text));
        return 0;
    }
    void Verbunden() override { Add("verbunden"); }
    void SetVerbindung(const std::shared_ptr<core::IVerbindung>& v) override {
        Add(v ? "attached" : "detached");
    }
    void Getrennt(std::uint8_t reason) override { Add("getrennt:" + std::to_string(reason)); }
    void Restored() override { Add("restored"); }
    void CallChange() override { ++callChanges; }
    void ModuleChanged() override {}
    int GetNummer() const override { return number; }
    void MarkBoxLine(std::int64_t) override {}

    std::vector<std::string> Log() {
        std::lock_guard lock(mutex);
        return log;
    }
    void Add(std::string s) {
        std::lock_guard lock(mutex);
        log.push_back(std::move(s));
    }
    int number;
    std::atomic<int> stateChanges{0}, callChanges{0};
    std::mutex mutex;
    std::vector<std::string> log;
};

class Verbindung : public ::testing::Test {
  protected:
    Verbindung() {
        config_ = std::make_unique<core::TConfig>(registry_, "0.01.000");
        ctx_.dispatcher = &dispatcher_;
        ctx_.config = config_.get();
        ctx_.registry = &registry_;
        ctx_.klaenge = &klaenge_;
        ctx_.versionText = "0.01.000";
        ctx_.connections = &list_;
        ctx_.channelCount = [] { return 8; };
        ctx_.channel = [this](int n) {
            kanal_ = std::make_shared<FakeKanal>(n);
            return kanal_;
        };
    }
    std::shared_ptr<TVerbindung> Make() { return TVerbindung::Create(device_, ctx_); }

    platform::FileRegistry registry_;
    std::unique_ptr<core::TConfig> config_;
    platform::LoopDispatcher dispatcher_;
    RecordingKlaenge klaenge_;
    channels::TConnectionsList list_;
    std::shared_ptr<FakeGeraet> device_ = std::make_shared<FakeGeraet>();
    std::shared_ptr<FakeKanal> kanal_;
    connection::TVerbindungContext ctx_;
};

TEST(VerbindungText, CaretExpansion) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"^^", "^"},
        {"^$41", "A"},
        {"x^$41^$42", "xAB"},
        {"^$4142", "A42"},
        {"^m", "\r"},
        {"^M^j", "\r\n"},
        {"^@", std::string(1, '\0')},
        {"^[", "^["},
        {"^$zz", "^$zz"},
        {"^$4", std::string(1, '\x04')},  // one digit at the very end
        {"^$", "^$"},
        {"end^", "end^"},
        {"^1", "^1"},
        {"a^^b^^^^", "a^b^^"},
    };
    for (const Case& c : cases) EXPECT_EQ(connection::ExpandCarets(c.in), c.out) << c.in;
}

TEST(VerbindungText, StationId) {
    EXPECT_EQ(connection::StationIdText("0.01.000", true), "{Tarvo-0.01.000-D}\r");
    EXPECT_EQ(connection::StationIdText("0.01.000", false), "{Tarvo-0.01.000-D?}\r");
    EXPECT_EQ(connection::StationIdText("1.2 beta", true), "{Tarvo-1.2-D}\r");
    EXPECT_EQ(connection::StationIdText("1.2-rc1 x", true), "{Tarvo-1.2-D}\r");
}

TEST_F(Verbindung, SendDataPiecesEchoAndQueues) {
    auto v = Make();
    auto k = std::make_shared<FakeKanal>();
    v->SetKanal(k);
    v->SendData(std::string(600, 'x'), true, false, false, true);
    std::vector<std::size_t> sizes;
    while (!v->UserSendQueue().IsEmpty()) sizes.push_back(v->UserSendQueue().PopString().size());
    EXPECT_EQ(sizes, (std::vector<std::size_t>{256, 256, 88}));
    EXPECT_EQ(k->Log().size(), 1 + 3u);  // attached, then one echo per piece

    v->SetLocalEcho(false);
    v->SendData("ohne echo\r", true, false, false, false);
    EXPECT_EQ(v->LinkSendQueue().PopString(), "ohne echo\r");
    EXPECT_EQ(k->Log().size(), 4u);
    v->SetLocalEcho(true);
    v->SendData("^m", false, true, false, false);
    EXPECT_EQ(v->LinkSendQueue().PopString(), "\r");
    EXPECT_EQ(k->Log().size(), 4u);  // echo false: none

    const std::string words = std::string(70, 'a') + " " + std::string(20, 'b');
    v->SendData(words, false, false, true, false);
    EXPECT_EQ(v->LinkSendQueue().PopString(), std::string(70, 'a') + " \r" + std::string(20, 'b'));
    v->Release();
}

TEST_F(Verbindung, PathPut) {
    struct Case {
        const char* in;
        const char* call;
        const char* digis;
        const char* path;
    } cases[] = {
        {"a1 via b2 v c3", "A1", "B2 C3", "A1 B2 C3"},
        {"  db0abc  ", "DB0ABC", "", "DB0ABC"},
        {"DB0ABC VIA DB0DIG", "DB0ABC", "DB0DIG", "DB0ABC DB0DIG"},
        {"dl1xyz-7 db0a  db0b", "DL1XYZ-7", "DB0A DB0B", "DL1XYZ-7 DB0A DB0B"},
        {"", "", "", ""},
    };
    auto v = Make();
    for (const Case& c : cases) {
        v->SetPath(c.in);
        EXPECT_EQ(v->Call(), c.call) << c.in;
        EXPECT_EQ(v->Digis(), c.digis) << c.in;
        EXPECT_EQ(v->Path(), c.path) << c.in;
    }
    v->SetRealPath("dl1xyz v db0dig");
    EXPECT_EQ(v->RealPath(), "DL1XYZ DB0DIG");
    v->SetMyCall(" dl2abc-1 ");
    EXPECT_EQ(v->MyCall(), "DL2ABC-1");
    v->SetState(core::kLinkConnected);
    EXPECT_THROW(v->SetMyCall("X"), core::TarvoAssertion);
    v->Release();
}

TEST_F(Verbindung, DisconnectEscalatesOverFourRequests) {
    auto v = Make();
    klaenge_.Take();
    v->Disconnect();
    EXPECT_EQ(v->DiscLevel(), core::kDiscEnd);
    EXPECT_TRUE(v->DiscTimerRunning());
    EXPECT_EQ(device_->trenne, 0);
    v->Disconnect();
    EXPECT_EQ(v->DiscLevel(), core::kDiscCancel);
    EXPECT_FALSE(v->DiscTimerRunning());
    EXPECT_EQ(device_->trenne, 1);
    v->Disconnect();
    EXPECT_EQ(v->DiscLevel(), core::kDiscKill);
    v->Disconnect();
    EXPECT_EQ(v->DiscLevel(), core::kDiscKill);
    EXPECT_EQ(device_->trenne, 3);
    EXPECT_EQ(device_->levels,
              (std::vector<int>{core::kDiscCancel, core::kDiscKill, core::kDiscKill}));
    EXPECT_EQ(klaenge_.Take(), (std::vector<int>{3, 3}));

    v->DiscLevelDone();
    EXPECT_EQ(v->DiscLevel(), core::kDiscKilled);
    EXPECT_EQ(v->State(), core::kLinkDisconnecting);
    v->Release();
}

TEST_F(Verbindung, DiscLevelDoneAtNoneChangesOnlyTheState) {
    auto v = Make();
    v->DiscLevelDone();
    EXPECT_EQ(v->DiscLevel(), core::kDiscNone);
    EXPECT_EQ(v->State(), core::kLinkDisconnecting);
    v->Release();
}

TEST_F(Verbindung, GracefulEndWaitsForQueuesAndAcknowledgements) {
    auto v = Make();
    v->Disconnect();
    v->LinkSendQueue().PushString("still going out");
    dispatcher_.RunFor(std::chrono::milliseconds(1200));
    EXPECT_EQ(device_->trenne, 0);
    v->LinkSendQueue().PopString();
    dispatcher_.RunFor(std::chrono::milliseconds(600));
    EXPECT_EQ(device_->trenne, 0) << "unacked frames unknown: keep waiting";
    v->Status()->SetUnacked(0);
    dispatcher_.RunFor(std::chrono::milliseconds(600));
    EXPECT_EQ(device_->trenne, 1);
    EXPECT_EQ(device_->levels.back(), core::kDiscEnd);
    EXPECT_FALSE(v->DiscTimerRunning());
    v->Release();
}

TEST_F(Verbindung, WithoutDeviceADisconnectGoesToKill) {
    auto v = Make();
    device_.reset();
    v->Disconnect();
    EXPECT_EQ(v->DiscLevel(), core::kDiscKill);
    v->Release();
}

TEST_F(Verbindung, OnwardConnectHistory) {
    auto v = Make();
    v->SetPath("DB0AAA DB0DIG");
    EXPECT_FALSE(v->InfoboxConnect("DB0BBB")) << "only a digipeater connects onward";
    v->SetStationType(core::kStationDigi);
    ASSERT_TRUE(v->InfoboxConnect("DB0BBB"));
    EXPECT_EQ(v->Call(), "DB0BBB");
    EXPECT_EQ(v->Digis(), "DB0DIG DB0AAA");
    EXPECT_EQ(v->StationType(), core::kStationAutomatic);
    v->SetStationType(core::kStationDigi);
    ASSERT_TRUE(v->InfoboxConnect("DB0CCC"));
    EXPECT_EQ(v->Digis(), "DB0DIG DB0AAA DB0BBB");
    EXPECT_EQ(v->InfoboxHistory(), (std::vector<std::string>{"DB0AAA", "DB0BBB"}));

    EXPECT_FALSE(v->InfoboxReconnect("DB0XXX"));
    ASSERT_TRUE(v->InfoboxReconnect("DB0AAA"));
    EXPECT_EQ(v->Call(), "DB0AAA");
    EXPECT_EQ(v->Digis(), "DB0DIG");
    EXPECT_TRUE(v->InfoboxHistory().empty());
    EXPECT_EQ(v->StationType(), core::kStationDigi);
    EXPECT_FALSE(v->InfoboxReconnect("DB0AAA")) << "empty history";
    v->Release();
}

TEST_F(Verbindung, ReconnectRemovesOnlyWholeCallsigns) {
    auto v = Make();
    v->SetPath("AB X1AB");  // the digipeater list ends in "AB", but inside a callsign
    v->SetStationType(core::kStationDigi);
    ASSERT_TRUE(v->InfoboxConnect("CD"));
    EXPECT_EQ(v->Digis(), "X1AB AB");
    v->SetDigis("X1AB");
    ASSERT_TRUE(v->InfoboxReconnect("AB"));
    EXPECT_EQ(v->Digis(), "X1AB");
    v->Release();
}

TEST_F(Verbindung, SaveAndRestoreRoundTrip) {
    const std::string key = "\\Software\\Morvane\\Tarvo\\Geraete\\1\\Verbindungen";
    {
        auto v = Make();
        v->SetHandle(4);
        v->SetPath("DB0ABC DB0DIG");
        v->SetRealPath("DB0ABC DB0DIG");
        v->SetMyCall("DL1XYZ-2");
        v->SetOutgoing(true);
        v->SetStationType(core::kStationDigi);
        v->InfoboxConnect("DB0NXT");
        v->SetStationType(core::kStationMailbox);
        v->SetBinMode(5);
        v->SetLocalEcho(false);
        v->SetKanal(std::make_shared<FakeKanal>(6));
        v->SetState(core::kLinkConnected);
        v->Save(key);
        v->Release();
    }
    auto r = Make();
    r->Restore(key, 4);
    EXPECT_EQ(r->Call(), "DB0NXT");
    EXPECT_EQ(r->Digis(), "DB0DIG DB0ABC");
    EXPECT_EQ(r->MyCall(), "DL1XYZ-2");
    EXPECT_TRUE(r->Outgoing());
    EXPECT_EQ(r->InfoboxHistory(), std::vector<std::string>{"DB0ABC"});
    EXPECT_EQ(r->StationType(), core::kStationMailbox);
    EXPECT_EQ(r->BinMode(), 5);
    EXPECT_FALSE(r->LocalEcho());
    EXPECT_TRUE(r->RemoteCommandsEnabled());
    ASSERT_NE(kanal_, nullptr);
    EXPECT_EQ(kanal_->number, 6);
    EXPECT_EQ(r->Kanal(), kanal_);
    EXPECT_TRUE(r->Restored());
    EXPECT_FALSE(registry_.KeyExists(platform::Hive::LocalMachine, key + "\\4"));
    ASSERT_TRUE(dispatcher_.RunUntil([&] { return !r->WorkerRunning(); }, std::chrono::seconds(5)));
    auto log = kanal_->Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "restored"), log.end());
    r->Release();
}

TEST_F(Verbindung, RestoreOfALinkNotUpStartsNoWorkerAndChannelZeroIsNone) {
    const std::string key = "\\Software\\Test\\Links";
    const std::string sub = key + "\\7";
    registry_.WriteText(platform::Hive::LocalMachine, sub, "C", "DB0ABC");
    registry_.WriteDWord(platform::Hive::LocalMachine, sub, "S", 2);
    registry_.WriteDWord(platform::Hive::LocalMachine, sub, "K", 0);
    registry_.WriteDWord(platform::Hive::LocalMachine, sub, "T", 9);  // out of range: automatic
    auto v = Make();
    v->Restore(key, 7);
    EXPECT_EQ(v->State(), core::kLinkConnecting);
    EXPECT_FALSE(v->WorkerRunning());
    EXPECT_EQ(v->Kanal(), nullptr);
    EXPECT_EQ(v->StationType(), core::kStationAutomatic);
    EXPECT_EQ(v->Handle(), 7);
    v->Release();
}

TEST_F(Verbindung, RestoreKeepsWhatIsKnownForMissingTexts) {
    const std::string key = "\\Software\\Test\\Links";
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> stored;
        const char *call, *digis, *realPath, *myCall;
    };
    const Case cases[] = {
        {"none stored", {}, "DB0ABC", "DB0DIG", "DB0ABC DB0DIG", "DL1XYZ-2"},
        {"only the path", {{"C", "DB0NEW"}}, "DB0NEW", "", "DB0ABC DB0DIG", "DL1XYZ-2"},
        {"only the own call", {{"M", "DL1XYZ-3"}}, "DB0ABC", "DB0DIG", "DB0ABC DB0DIG", "DL1XYZ-3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        registry_.WriteDWord(platform::Hive::LocalMachine, key + "\\5", "S", 2);
        for (const auto& [name, value] : c.stored)
            registry_.WriteText(platform::Hive::LocalMachine, key + "\\5", name, value);
        auto v = Make();
        // What the device knows of the link before it restores it.
        v->SetPath("DB0ABC DB0DIG");
        v->SetRealPath("DB0ABC DB0DIG");
        v->SetMyCall("DL1XYZ-2");
        v->Restore(key, 5);
        EXPECT_EQ(v->Call(), c.call);
        EXPECT_EQ(v->Digis(), c.digis);
        EXPECT_EQ(v->RealPath(), c.realPath);
        EXPECT_EQ(v->MyCall(), c.myCall);
        v->Release();
    }
}

TEST_F(Verbindung, ReceivedDataIsHeldBackAtTheSoftBoundAndEndsTheLinkPastTheHardBound) {
    auto v = Make();  // no worker yet: nothing drains
    auto k = std::make_shared<FakeKanal>();
    v->SetKanal(k);
    const std::string chunk(4096, 'x');
    while (v->ReceiveQueue().Bytes() + chunk.size() < TVerbindung::kReceiveSoftBound) {
        v->DataReceived(chunk);
        ASSERT_FALSE(v->ReceiveBlocked());
    }
    v->DataReceived(chunk);
    EXPECT_TRUE(v->ReceiveBlocked());
    // The worker drains: blocked until it is below the resume mark.
    while (v->ReceiveQueue().Bytes() >= TVerbindung::kReceiveResumeBelow) {
        EXPECT_TRUE(v->ReceiveBlocked());
        v->ReceiveQueue().PopString();
    }
    EXPECT_FALSE(v->ReceiveBlocked());

    // A device that cannot hold back (AGWPE) goes on delivering.
    while (v->ReceiveQueue().Bytes() + chunk.size() <= TVerbindung::kReceiveHardBound)
        v->DataReceived(chunk);
    EXPECT_EQ(device_->trenne, 0);
    v->DataReceived(chunk);
    v->DataReceived(chunk);
    EXPECT_LE(v->ReceiveQueue().Bytes(), TVerbindung::kReceiveHardBound);
    ASSERT_TRUE(dispatcher_.RunUntil([&] { return device_->trenne > 0; }, std::chrono::seconds(5)));
    dispatcher_.RunFor(std::chrono::milliseconds(50));
    EXPECT_EQ(device_->trenne, 1);
    EXPECT_EQ(device_->levels, std::vector<int>{core::kDiscCancel});
    const auto log = k->Log();
    EXPECT_EQ(std::count_if(
                  log.begin(), log.end(),
                  [](const std::string& s) { return s.starts_with("prompt:Empfangspuffer voll"); }),
              1);
    v->Release();
}

// A device that holds data back while the link says so never reaches the hard
// bound, however fast it could deliver.
TEST_F(Verbindung, AWorkingWorkerTakesALargeTransferAtFullSpeed) {
    std::atomic<std::size_t> taken{0};
    ctx_.runModules = [&](const std::shared_ptr<core::IVerbindungFuerModul>& m) {
        platform::Event* events[] = {m->WaitHandle(core::kWaitEnd),
                                     m->WaitHandle(core::kWaitReceive)};
        while (platform::WaitAny(events, std::chrono::seconds(10)).Signalled(1))
            taken += m->ReceiveQueue().PopString().size();
    };
    auto v = Make();
    v->LinkEstablished();
    const std::string chunk(256, 'y');
    constexpr std::size_t kTotal = 16u << 20;
    for (std::size_t sent = 0; sent < kTotal; sent += chunk.size()) {
        while (v->ReceiveBlocked()) std::this_thread::yield();
        v->DataReceived(chunk);
    }
    ASSERT_TRUE(dispatcher_.RunUntil([&] { return taken == kTotal; }, std::chrono::seconds(60)));
    dispatcher_.RunFor(std::chrono::milliseconds(10));
    EXPECT_EQ(device_->trenne, 0);
    v->Release();
}

TEST_F(Verbindung, AFailingModuleStartsAgainOrTheLinkEnds) {
    struct Case {
        const char* name;
        int failures;  // the module throws this often, then serves the link
        bool linkEnded;
    };
    const Case cases[] = {
        {"fails once", 1, false},
        {"fails as often as it may start again", TVerbindung::kMaxModuleRestarts, false},
        {"fails for ever", 1000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> runs{0};
        std::atomic<bool> serving{false};
        ctx_.runModules = [&](const std::shared_ptr<core::IVerbindungFuerModul>& m) {
            if (++runs <= c.failures) throw std::runtime_error("module fault");
            serving = true;
            m->WaitHandle(core::kWaitEnd)->Wait(std::chrono::seconds(10));
        };
        device_ = std::make_shared<FakeGeraet>();
        auto v = Make();
        auto k = std::make_shared<FakeKanal>();
        v->SetKanal(k);
        v->LinkEstablished();
        ASSERT_TRUE(dispatcher_.RunUntil([&] { return serving || !v->WorkerRunning(); },
                                         std::chrono::seconds(5)));
        if (c.linkEnded) {
            ASSERT_TRUE(
                dispatcher_.RunUntil([&] { return device_->trenne > 0; }, std::chrono::seconds(5)));
            EXPECT_EQ(runs, TVerbindung::kMaxModuleRestarts + 1);
            EXPECT_EQ(device_->levels, std::vector<int>{core::kDiscCancel});
            const auto log = k->Log();
            EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& s) {
                return s.starts_with("prompt:Interner Fehler");
            }));
        } else {
            EXPECT_TRUE(serving);
            EXPECT_TRUE(v->WorkerRunning());
            EXPECT_EQ(device_->trenne, 0);
        }
        v->Release();
    }
}

// The terminal text module itself fails on a line: it starts again and serves
// the rest of the link.
TEST_F(Verbindung, TheTextModuleStartsAgainAfterItFailed) {
    class ThrowingKanal : public FakeKanal {
      public:
        std::int64_t Received(std::string_view text) override {
            if (text == "boom\r") throw std::runtime_error("channel fault");
            return FakeKanal::Received(text);
        }
    };
    ctx_.runModules = connection::TVerbindungAbstract::RunStandard;
    auto v = Make();
    auto k = std::make_shared<ThrowingKanal>();
    v->SetKanal(k);
    v->LinkEstablished();
    v->DataReceived("boom\r");
    v->DataReceived("hello\r");
    const auto shown = [&] {
        const auto log = k->Log();
        return std::find(log.begin(), log.end(), "received:hello\r") != log.end();
    };
    ASSERT_TRUE(dispatcher_.RunUntil(shown, std::chrono::seconds(5)));
    EXPECT_TRUE(v->WorkerRunning());
    EXPECT_EQ(device_->trenne, 0);
    v->Release();
}

// A call the main thread serves while it waits for the worker may come back
// into the connection.
TEST_F(Verbindung, ACallServedWhileTheWorkerEndsMayComeBack) {
    std::weak_ptr<TVerbindung> weak;
    std::atomic<bool> served{false};
    ctx_.runModules = [&](const std::shared_ptr<core::IVerbindungFuerModul>& m) {
        m->WaitHandle(core::kWaitEnd)->Wait(std::chrono::seconds(10));
        dispatcher_.Call([&] {
            if (auto v = weak.lock()) v->Getrennt(core::kDisconnectNormal);
            served = true;
        });
    };
    auto v = Make();
    weak = v;
    auto k = std::make_shared<FakeKanal>();
    v->SetKanal(k);
    v->LinkEstablished();
    v->Release();
    EXPECT_TRUE(served);
    EXPECT_FALSE(v->WorkerRunning());
    EXPECT_EQ(k->Log().back(), "getrennt:0");
}

TEST_F(Verbindung, GetrenntDrainsTheReceiveQueueWhileAWorkerRuns) {
    std::atomic<int> shown{0};
    ctx_.runModules = [&](const std::shared_ptr<core::IVerbindungFuerModul>& v) {
        platform::Event* events[] = {v->WaitHandle(core::kWaitEnd),
                                     v->WaitHandle(core::kWaitReceive)};
        for (;;) {
            const auto r = platform::WaitAny(events, std::chrono::seconds(10));
            if (!r.Signalled(1)) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            v->ShowReceived(v->ReceiveQueue().PopString());
            ++shown;
        }
    };
    auto v = Make();
    auto k = std::make_shared<FakeKanal>();
    v->SetKanal(k);
    v->SetOutgoing(true);
    v->LinkEstablished();
    EXPECT_TRUE(v->WorkerRunning());
    for (int i = 0; i < 20; ++i) v->DataReceived("line\r");
    std::thread device([&] { v->Getrennt(core::kDisconnectLinkFailure); });
    device.join();
    EXPECT_EQ(shown, 20);
    EXPECT_FALSE(v->WorkerRunning());
    EXPECT_EQ(v->State(), core::kLinkDisconnected);
    EXPECT_EQ(v->Kanal(), nullptr);
    const auto log = k->Log();
    EXPECT_EQ(log.front(), "attached");
    EXPECT_EQ(log[1], "verbunden");
    EXPECT_EQ(log.back(), "getrennt:1");
    EXPECT_EQ(klaenge_.Take(), (std::vector<int>{0, 1, 5}));
    EXPECT_EQ(list_.Count(), 0);
    v->Release();
}

TEST_F(Verbindung, GetrenntWithoutWorkerDoesNotWait) {
    auto v = Make();
    auto k = std::make_shared<FakeKanal>();
    v->SetKanal(k);
    v->DataReceived("nobody reads this\r");
    v->Getrennt(core::kDisconnectNormal);  // returns at once: nothing could drain it
    EXPECT_EQ(k->Log().back(), "getrennt:0");
    EXPECT_EQ(v->State(), core::kLinkDisconnected);
    v->Release();
}

TEST_F(Verbindung, ReleaseStopsTheWorkerBeforeAnythingGoes) {
    std::atomic<bool> sawEnd{false};
    ctx_.runModules = [&](const std::shared_ptr<core::IVerbindungFuerModul>& v) {
        sawEnd = v->WaitHandle(core::kWaitEnd)->Wait(std::chrono::seconds(10));
    };
    auto v = Make();
    v->LinkEstablished();
    EXPECT_EQ(v->WaitHandle(2), nullptr);
    EXPECT_EQ(v->WaitHandle(9), nullptr);
    EXPECT_EQ(v->WaitHandle(127), nullptr);
    ASSERT_NE(v->WaitHandle(core::kWaitSendJob), nullptr);
    v->Release();
    EXPECT_TRUE(sawEnd);
    EXPECT_FALSE(v->WorkerRunning());
    v->Release();  // a second time: nothing
}

TEST_F(Verbindung, GreetingSendsTheStationId) {
    config_->SetSendSid(true);
    ctx_.runModules = [](const std::shared_ptr<core::IVerbindungFuerModul>&) {};
    auto v = Make();
    v->SetSendGreeting(true);
    v->LinkEstablished();
    ASSERT_TRUE(dispatcher_.RunUntil([&] { return !v->WorkerRunning(); }, std::chrono::seconds(5)));
    EXPECT_EQ(v->UserSendQueue().PopString(), "{Tarvo-0.01.000-D?}\r");
    v->Release();
}

TEST_F(Verbindung, AutomationClientsWaitForTextAcrossItems) {
    auto v = Make();
    ASSERT_TRUE(v->AddApplication(1));
    v->DataReceived("Hallo Wel");
    v->DataReceived("t und mehr");
    v->WaitForText(1, "Welt");
    EXPECT_EQ(v->ReceiveText(1), " und mehr");

    for (core::TApplicationKey k = 2; k <= 16; ++k) EXPECT_TRUE(v->AddApplication(k));
    EXPECT_FALSE(v->AddApplication(17));
    try {
        v->ReceiveText(17);
        FAIL() << "a seventeenth client must not be served";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Application not found.");
    }
    v->RemoveApplication(3);
    EXPECT_TRUE(v->AddApplication(17));
    v->Release();
    EXPECT_THROW(v->ReceiveText(1), std::logic_error);
}

TEST_F(Verbindung, AClientThatDoesNotReadStaysBounded) {
    auto v = Make();
    v->AddApplication(1);
    const std::string chunk(4096, 'x');
    for (int i = 0; i < 1000; ++i) v->DataReceived(chunk);
    EXPECT_LE(v->ApplicationBytes(1), TVerbindung::kMaxApplicationBytes);
    EXPECT_GT(v->ApplicationBytes(1), TVerbindung::kMaxApplicationBytes / 2);
    v->DataReceived("END");
    v->WaitForText(1, "END");  // the newest text is what stays
    v->Release();
}

}  // namespace
