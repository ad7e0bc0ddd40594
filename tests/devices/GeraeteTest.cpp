#include "devices/GeraeteU.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "devices/GeraetAgwpeU.h"
#include "devices/GeraetFlexnetU.h"
#include "tests/devices/FakeGeraet.h"
#include "tests/support/CollectingDebugSink.h"

using namespace std::chrono_literals;
using namespace tarvo;
using devices::kGeraeteKey;
using devices::kGeraeteNewKey;
using devices::TGeraete;
using devices::TGeraeteEdit;
using devices::TGeraetStatus;
using platform::Hive;
using test::FakeGeraet;

namespace {

constexpr Hive LM = Hive::LocalMachine;

std::string Key(const char* root, const std::string& name) {
    return std::string(root) + "\\" + name;
}

// "Class:subkey" of each device, the subkey being the tail of its RegKey.
std::vector<std::string> Describe(const TGeraete& set) {
    std::vector<std::string> out;
    for (const auto& d : set.Items()) {
        const std::string key = d->RegKey();
        out.push_back(d->ClassName() + ":" + key.substr(key.rfind('\\') + 1));
    }
    return out;
}

std::vector<std::string> StoredNames(const platform::IRegistry& reg) {
    std::vector<std::string> out;
    for (const auto& sub : reg.SubKeyNames(LM, kGeraeteKey))
        out.push_back(sub + "=" + reg.ReadText(LM, Key(kGeraeteKey, sub), "Name").value_or("?"));
    return out;
}

class Geraete : public ::testing::Test {
  protected:
    void SetUp() override {
        ctx_.dispatcher = &dispatcher_;
        ctx_.clock = &clock_;
        ctx_.registry = &registry_;
        devices::ClearRegisteredKinds();
        devices::RegisterDeviceKinds();
        devices::RegistriereGeraet(FakeGeraet::Kind("TGeraetHostmodeSerial", "Hostmode"));
        devices::RegistriereGeraet(FakeGeraet::Kind("TFakeGeraet"));
    }
    void TearDown() override { devices::ClearRegisteredKinds(); }

    void Store(const char* root, const std::string& sub, const std::string& className,
               const std::string& name = {}) {
        registry_.WriteText(LM, Key(root, sub), "", className);
        registry_.WriteText(LM, Key(root, sub), "Name", name.empty() ? sub : name);
    }
    std::unique_ptr<TGeraete> NewSet() {
        return std::make_unique<TGeraete>(ctx_, [this](bool ready) { lastReady_ = ready; });
    }
    FakeGeraet& Fake(const TGeraete& set, int i) { return dynamic_cast<FakeGeraet&>(*set.Item(i)); }

    platform::LoopDispatcher dispatcher_;
    platform::FakeClock clock_;
    platform::FileRegistry registry_;
    devices::TGeraetContext ctx_;
    std::optional<bool> lastReady_;
};

}  // namespace

TEST_F(Geraete, MissingKeyGivesAnEmptySetAndCreatesTheKey) {
    auto set = NewSet();
    set->Create();
    EXPECT_EQ(set->Count(), 0);
    EXPECT_TRUE(registry_.KeyExists(LM, kGeraeteKey));
    EXPECT_EQ(lastReady_, true);
    EXPECT_TRUE(set->GetFunkKanaele(256).empty());
}

struct LoadCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> stored;  // subkey, class value
    std::vector<std::string> loaded;                          // Describe()
};

class GeraeteLoad : public Geraete, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(GeraeteLoad, ReadsTheStoredDevices) {
    for (const auto& [sub, cls] : GetParam().stored) Store(kGeraeteKey, sub, cls);
    auto set = NewSet();
    set->Create();
    EXPECT_EQ(Describe(*set), GetParam().loaded);
    for (int i = 0; i < set->Count(); ++i) EXPECT_EQ(set->Item(i)->GetNummer(), i);
}

std::vector<LoadCase> LoadCases() {
    std::vector<LoadCase> cases = {
        {"OlderHostmodeForms",
         {{"0", "2"}, {"1", "TGeraetHostmode"}, {"2", "tgeraethostmodeserial"}},
         {"TGeraetHostmodeSerial:0", "TGeraetHostmodeSerial:1", "TGeraetHostmodeSerial:2"}},
        {"UnknownClassBetweenGoodOnes",
         {{"0", "TFakeGeraet"}, {"1", "TUnbekannt"}, {"2", "TFakeGeraet"}},
         {"TFakeGeraet:0", "TFakeGeraet:2"}},
        {"EmptyClassValueSkipped", {{"0", ""}, {"1", "TFakeGeraet"}}, {"TFakeGeraet:1"}},
        {"FlexnetAsOne", {{"0", "1"}}, {"TGeraetFlexnet:0"}},
    };
    // Written backwards, so only the numeric order of the names can give 0..11.
    LoadCase twelve{"TwelveKeepTheirOrder", {}, {}};
    for (int i = 11; i >= 0; --i) twelve.stored.emplace_back(std::to_string(i), "TFakeGeraet");
    for (int i = 0; i < 12; ++i) twelve.loaded.push_back("TFakeGeraet:" + std::to_string(i));
    cases.push_back(twelve);
    LoadCase many{"AtMost33", {}, {}};
    for (int i = 0; i < 40; ++i) many.stored.emplace_back(std::to_string(i), "TFakeGeraet");
    for (int i = 0; i < 33; ++i) many.loaded.push_back("TFakeGeraet:" + std::to_string(i));
    cases.push_back(many);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Table, GeraeteLoad, ::testing::ValuesIn(LoadCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Geraete, LastRegisteredKindWinsAndAThrowingConstructorIsSkipped) {
    devices::RegistriereGeraet({"tfakegeraet", "Zweite", [](const devices::TGeraetContext& ctx) {
                                    auto d = std::make_shared<FakeGeraet>(ctx, "TZweite");
                                    return std::shared_ptr<devices::TGeraet>(d);
                                }});
    devices::RegistriereGeraet({"TWirft", "Wirft", [](const devices::TGeraetContext&) {
                                    throw std::runtime_error("kein Speicher");
                                    return std::shared_ptr<devices::TGeraet>();
                                }});
    Store(kGeraeteKey, "0", "TWirft");
    Store(kGeraeteKey, "1", "TFakeGeraet");
    auto set = NewSet();
    set->Create();
    EXPECT_EQ(Describe(*set), (std::vector<std::string>{"TZweite:1"}));
}

TEST_F(Geraete, FlexnetFromAnOldConfigurationReportsAMissingDriver) {
    const std::string key = Key(kGeraeteKey, "0");
    registry_.WriteText(LM, key, "", "1");
    registry_.WriteText(LM, "Software\\FlexNet", "Home", "/nonexistent/flexnet");
    auto set = NewSet();
    set->Create();
    ASSERT_EQ(set->Count(), 1);
    devices::TGeraet& flex = *set->Item(0);
    EXPECT_EQ(flex.GetBezeichnung(), "PC/FlexNet");
    ASSERT_TRUE(dispatcher_.RunUntil(
        [&] { return flex.Status() == TGeraetStatus::Fehler && !flex.ThreadRunning(); },
        std::chrono::seconds(15)));
    EXPECT_EQ(flex.StatusText(), "Fehler - DLL nicht gefunden");
    EXPECT_EQ(lastReady_, false);
    EXPECT_TRUE(set->GetFunkKanaele(256).empty());
    test::FakeFunkKanal port("x");
    std::string ziel = "DB0ABC", mycall = "DL1XYZ";
    EXPECT_EQ(flex.Verbinde(port, ziel, nullptr, mycall), devices::kConnectDeviceError);

    ASSERT_TRUE(set->Save());
    EXPECT_EQ(registry_.ReadText(LM, key, ""), "TGeraetFlexnet");
    set->Destroy();
}

TEST_F(Geraete, AcceptedPageStoresTheNewOrder) {
    const char* const names[] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) Store(kGeraeteKey, std::to_string(i), "TFakeGeraet", names[i]);
    auto set = NewSet();
    set->Create();
    ASSERT_EQ(set->Count(), 3);
    auto removed = set->Item(0);

    TGeraeteEdit edit(*set);
    EXPECT_EQ(edit.Move(2, -1), 1);  // A C B
    EXPECT_EQ(edit.Remove(0), 0);    // C B, A to be stopped
    auto d = set->CreateGeraet(*devices::FindKind("TFakeGeraet"));
    dynamic_cast<FakeGeraet&>(*d).name = "D";
    EXPECT_EQ(edit.Add(d), 2);  // C B D
    EXPECT_TRUE(edit.IsNew(d.get()));
    ASSERT_EQ(edit.Removed().size(), 1u);
    edit.Apply(*set);

    EXPECT_EQ(StoredNames(registry_), (std::vector<std::string>{"0=C", "1=B", "2=D"}));
    EXPECT_FALSE(registry_.KeyExists(LM, kGeraeteNewKey));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(set->Item(i)->GetNummer(), i);
        EXPECT_EQ(set->Item(i)->RegKey(), Key(kGeraeteKey, std::to_string(i)));
        EXPECT_EQ(Fake(*set, i).applied, 1);
    }
    EXPECT_EQ(set->Item(2)->Status(), TGeraetStatus::Bereit);  // the new one was started
    // The removed one no longer reports to the set.
    removed->SetStatus(TGeraetStatus::Fehler);
    EXPECT_EQ(lastReady_, true);

    auto again = NewSet();
    again->Create();
    EXPECT_EQ(Describe(*again),
              (std::vector<std::string>{"TFakeGeraet:0", "TFakeGeraet:1", "TFakeGeraet:2"}));
    EXPECT_EQ(Fake(*again, 0).name, "C");
    EXPECT_EQ(Fake(*again, 2).name, "D");
}

struct InterruptCase {
    const char* name;
    bool oldPresent;
    bool newComplete;
    std::vector<std::string> loadedNames;
};

class GeraeteInterrupted : public Geraete, public ::testing::WithParamInterface<InterruptCase> {};

// A crash can stop a save between any two registry writes; the file always
// holds one of these states.
TEST_P(GeraeteInterrupted, StartUpLoadsAWholeSet) {
    const InterruptCase& c = GetParam();
    if (c.oldPresent) {
        Store(kGeraeteKey, "0", "TFakeGeraet", "alt0");
        Store(kGeraeteKey, "1", "TFakeGeraet", "alt1");
    }
    Store(kGeraeteNewKey, "0", "TFakeGeraet", "neu0");
    if (c.newComplete) registry_.WriteDWord(LM, kGeraeteNewKey, devices::kGeraeteCompleteValue, 1);
    auto set = NewSet();
    set->Create();
    std::vector<std::string> names;
    for (int i = 0; i < set->Count(); ++i) names.push_back(Fake(*set, i).name);
    EXPECT_EQ(names, c.loadedNames);
    EXPECT_FALSE(registry_.KeyExists(LM, kGeraeteNewKey));
    EXPECT_FALSE(registry_.GetValue(LM, kGeraeteKey, devices::kGeraeteCompleteValue));
}

INSTANTIATE_TEST_SUITE_P(
    States, GeraeteInterrupted,
    ::testing::Values(InterruptCase{"NewWrittenOldDeleted", false, true, {"neu0"}},
                      InterruptCase{"OnlyAPartOfTheNewLeft", false, false, {"neu0"}},
                      InterruptCase{"NewCompleteOldNotYetReplaced", true, true, {"neu0"}},
                      InterruptCase{"NewNotComplete", true, false, {"alt0", "alt1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Geraete, RadioChannelsNeverExceedTheRoomGiven) {
    for (int i = 0; i < 3; ++i) Store(kGeraeteKey, std::to_string(i), "TFakeGeraet");
    auto set = NewSet();
    set->Create();
    Fake(*set, 0).channels = 20;
    Fake(*set, 1).channels = 40;  // offers more than a device may
    Fake(*set, 1).offerMoreThanAsked = true;
    Fake(*set, 2).channels = 5;
    const std::pair<int, std::size_t> cases[] = {{256, 58}, {100, 58}, {30, 30}, {53, 53},
                                                 {1, 1},    {0, 0},    {-1, 0}};
    for (const auto& [room, count] : cases) {
        const auto list = set->GetFunkKanaele(room);
        EXPECT_EQ(list.size(), count) << room;
    }
    const auto list = set->GetFunkKanaele(256);
    EXPECT_EQ(list[19]->GetName(), "0:19");
    EXPECT_EQ(list[20]->GetName(), "1:0");
    EXPECT_EQ(list[53]->GetName(), "2:0");
}

TEST_F(Geraete, IndicatorAndSubscribersFollowTheStatus) {
    for (int i = 0; i < 3; ++i) Store(kGeraeteKey, std::to_string(i), "TFakeGeraet");
    auto set = NewSet();
    std::vector<const void*> senders;
    auto subscriber = std::make_shared<core::TSubscriberAdapter>(
        [&](const void* sender) { senders.push_back(sender); });
    set->Subscribe(subscriber);
    set->Create();
    Fake(*set, 1).SetStatus(TGeraetStatus::Fehler, "COM2");
    EXPECT_EQ(lastReady_, false);
    EXPECT_EQ(devices::AllReadyText(*lastReady_), "Ein Ger\xE4t ist nicht bereit|");
    EXPECT_FALSE(set->AllReady());
    ASSERT_FALSE(senders.empty());
    EXPECT_EQ(senders.back(), set->Item(1).get());

    Fake(*set, 1).SetStatus(TGeraetStatus::Bereit);
    EXPECT_EQ(lastReady_, true);
    EXPECT_EQ(devices::AllReadyText(*lastReady_), "Alle Ger\xE4te sind bereit|");

    senders.clear();
    set->Neunummerierung();
    ASSERT_EQ(senders.size(), 4u);
    EXPECT_EQ(senders[0], nullptr);  // the list changed
    EXPECT_EQ(senders[3], set->Item(2).get());
    set->Unsubscribe(subscriber);
    subscriber->Detach();
}

TEST_F(Geraete, DestroyStopsEveryDevice) {
    for (int i = 0; i < 2; ++i) Store(kGeraeteKey, std::to_string(i), "TFakeGeraet");
    auto set = NewSet();
    set->Create();
    std::vector<std::shared_ptr<devices::TGeraet>> kept = set->Items();
    for (const auto& d : kept) {
        dynamic_cast<FakeGeraet&>(*d).threaded = true;
        d->Init();
        EXPECT_TRUE(d->ThreadRunning());
    }
    set->Destroy();
    EXPECT_EQ(set->Count(), 0);
    for (const auto& d : kept) EXPECT_FALSE(d->ThreadRunning());
    set->Destroy();  // once is enough
}

// Added on the settings page while the program runs: the page shows where the
// engine is, and the worker started by the page is the one stopped at the end.
TEST_F(Geraete, AnAgwpeDeviceAddedWhileRunningShowsItsEngineAndStopsItsWorker) {
    auto sink = std::make_shared<test::CollectingDebugSink>();
    core::SetDebugSink(sink);
    auto set = NewSet();
    set->Create();
    TGeraeteEdit edit(*set);
    auto device = set->CreateGeraet(*devices::FindKind("TGeraetAgwpe"));
    auto& agwpe = dynamic_cast<devices::TGeraetAgwpe&>(*device);
    devices::TGeraetAgwpeParameter p;
    p.Hostname = "127.0.0.1";
    p.Port = 1;  // nobody listens: the device keeps trying
    agwpe.SetParameter(p);
    EXPECT_EQ(device->InfoText(), "127.0.0.1:1");
    ASSERT_EQ(edit.Add(device), 0);
    edit.Apply(*set);
    EXPECT_TRUE(device->ThreadRunning());
    set->Destroy();
    EXPECT_FALSE(device->ThreadRunning());
    core::SetDebugSink(nullptr);
    bool stopped = false;
    for (const auto& line : sink->Lines()) {
        EXPECT_EQ(line.find("Kein Ger\xE4te-Thread vorhanden."), std::string::npos) << line;
        stopped |=
            line.find("TGeraetAgwpe.DeInit: Ger\xE4te-Thread normal beendet.") != std::string::npos;
    }
    EXPECT_TRUE(stopped);
}

// ---- the settings page's decisions ------------------------------------------------------

TEST(GeraeteEditRules, MoveAndSelection) {
    struct Move {
        int index, delta, count, target;
    };
    for (const Move& m : {Move{1, -1, 3, 0}, Move{0, -1, 3, -1}, Move{2, 1, 3, -1},
                          Move{1, 1, 3, 2}, Move{-1, 1, 3, -1}, Move{0, 1, 0, -1}})
        EXPECT_EQ(devices::MoveTarget(m.index, m.delta, m.count), m.target)
            << m.index << " " << m.delta << " " << m.count;
    struct Sel {
        int index, count, selected;
    };
    // The item that now has the same index, else the one before it.
    for (const Sel& s : {Sel{0, 2, 0}, Sel{2, 2, 1}, Sel{1, 2, 1}, Sel{0, 0, -1}})
        EXPECT_EQ(devices::SelectionAfterRemove(s.index, s.count), s.selected);
    EXPECT_TRUE(devices::CanAddGeraet(32));
    EXPECT_FALSE(devices::CanAddGeraet(33));
}

TEST_F(Geraete, EditStopsAtTheLimitAndFreesNewDevicesAtOnce) {
    Store(kGeraeteKey, "0", "TFakeGeraet", "alt");
    auto set = NewSet();
    set->Create();
    TGeraeteEdit edit(*set);
    const auto kind = *devices::FindKind("TFakeGeraet");
    while (edit.CanAdd()) ASSERT_GE(edit.Add(set->CreateGeraet(kind)), 0);
    EXPECT_EQ(edit.Count(), 33);
    EXPECT_EQ(edit.Add(set->CreateGeraet(kind)), -1);
    EXPECT_EQ(edit.Count(), 33);
    EXPECT_EQ(edit.Remove(32), 31);
    EXPECT_TRUE(edit.Removed().empty());  // a new device just goes
    EXPECT_EQ(edit.Remove(40), 31);       // outside: nothing happens
    EXPECT_EQ(edit.Count(), 32);

    auto old = set->Item(0);
    edit.Discard();
    EXPECT_EQ(dynamic_cast<FakeGeraet&>(*old).discarded, 1);
    EXPECT_EQ(set->Count(), 1);  // the set itself is untouched
}
