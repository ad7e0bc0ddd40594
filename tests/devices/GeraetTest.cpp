#include "devices/GeraetU.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/SynchronizeU.h"
#include "tests/devices/FakeGeraet.h"
#include "tests/support/CollectingDebugSink.h"

using namespace std::chrono_literals;
using namespace tarvo;
using devices::TGeraetStatus;
using test::FakeGeraet;

namespace {

class CountingView : public core::IUnhandledExceptionView {
  public:
    core::ExceptionChoice Show(const std::string& h, const std::string& m) override {
        headline = h;
        message = m;
        ++shown;
        return core::ExceptionChoice::Ignore;
    }
    std::string headline, message;
    int shown = 0;
};

class Geraet : public ::testing::Test {
  protected:
    void SetUp() override {
        ctx_.dispatcher = &dispatcher_;
        ctx_.clock = &clock_;
        ctx_.registry = &registry_;
        core::SetDebugSink(sink_);
    }
    void TearDown() override { core::SetDebugSink(nullptr); }

    std::shared_ptr<FakeGeraet> NewDevice(bool threaded = true) {
        auto d = std::make_shared<FakeGeraet>(ctx_, "TFakeGeraet");
        d->threaded = threaded;
        return d;
    }
    // The log lines of the device's DeInit, without prefix and CR.
    std::vector<std::string> DeInitLines() const {
        std::vector<std::string> out;
        const std::string tag = "] TFakeGeraet.DeInit: ";
        for (const std::string& line : sink_->Lines())
            if (auto at = line.find(tag); at != std::string::npos)
                out.push_back(line.substr(at + tag.size(), line.size() - at - tag.size() - 1));
        return out;
    }

    platform::LoopDispatcher dispatcher_;
    platform::FakeClock clock_{1000};
    platform::FileRegistry registry_;
    devices::TGeraetContext ctx_;
    std::shared_ptr<test::CollectingDebugSink> sink_ =
        std::make_shared<test::CollectingDebugSink>();
};

}  // namespace

TEST_F(Geraet, StatusTextIsTheNameAndTheDetail) {
    auto d = NewDevice(false);
    EXPECT_EQ(d->Status(), TGeraetStatus::Inaktiv);
    EXPECT_EQ(d->StatusText(), "Inaktiv");
    EXPECT_EQ(d->InfoText(), "");
    EXPECT_EQ(d->RegKey(), "");
    struct Case {
        TGeraetStatus status;
        const char* detail;
        const char* text;
    };
    const Case cases[] = {
        {TGeraetStatus::Bereit, "", "Bereit"},
        {TGeraetStatus::Bereit, "detail", "Bereit - detail"},
        {TGeraetStatus::Init, "", "Init"},
        {TGeraetStatus::Fehler, "COM3 fehlt", "Fehler - COM3 fehlt"},
        {TGeraetStatus::Inaktiv, "", "Inaktiv"},
    };
    for (const Case& c : cases) {
        d->SetStatus(c.status, c.detail);
        EXPECT_EQ(d->Status(), c.status);
        EXPECT_EQ(d->StatusText(), c.text);
    }
}

TEST(GeraetTexts, ConnectResults) {
    const std::pair<int, const char*> cases[] = {
        {0, ""},
        {1, "Unbekannter Fehler."},
        {2, "Das Ger\xE4t antwortet nicht."},
        {3, "Kein Ger\xE4t vorhanden."},
        {4, "Der Kanal ist bereits verbunden."},
        {5, "Keine freie SSID verf\xFCgbar."},
        {6, "Ger\xE4tefehler."},
        {7, "Alle Kan\xE4le sind belegt."},
        {8, "Gew\xE4hlte Betriebsarten sind nicht gleichzeitig m\xF6glich."},
        {9, "Unbehandelter Fehler."},
        {255, "Unbehandelter Fehler."},
    };
    for (const auto& [result, text] : cases)
        EXPECT_EQ(devices::ConnectResultText(static_cast<std::uint8_t>(result)), text) << result;
}

TEST(GeraetKinds, RegisteredInOrderAndLogged) {
    auto sink = std::make_shared<test::CollectingDebugSink>();
    core::SetDebugSink(sink);
    devices::ClearRegisteredKinds();
    devices::RegistriereGeraet(FakeGeraet::Kind("TEins", "Eins"));
    devices::RegistriereGeraet(FakeGeraet::Kind("TZwei", "Zwei"));
    core::SetDebugSink(nullptr);
    const auto kinds = devices::RegisteredKinds();
    ASSERT_EQ(kinds.size(), 2u);
    EXPECT_EQ(kinds[0].className, "TEins");
    EXPECT_EQ(kinds[1].bezeichnung, "Zwei");
    const auto lines = sink->Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("] RegistriereGeraet: 2: Zwei\r"), std::string::npos);
    devices::ClearRegisteredKinds();
    EXPECT_TRUE(devices::RegisteredKinds().empty());
}

TEST_F(Geraet, StatusHandlerRunsOnTheMainThreadBeforeSetStatusReturns) {
    auto d = NewDevice(false);
    std::vector<std::string> seen;  // main thread only
    const auto mainId = std::this_thread::get_id();
    d->SetStatusHandler([&](devices::TGeraet& g) {
        EXPECT_EQ(std::this_thread::get_id(), mainId);
        seen.push_back(g.StatusText() + "|" + g.InfoText());
    });
    std::atomic<bool> done{false};
    std::size_t seenWhenReturned = 0;
    std::thread worker([&] {
        d->SetInfo("COM1, 9600");
        d->SetStatus(TGeraetStatus::Bereit, "TF 2.7");
        seenWhenReturned = seen.size();  // the main thread waits in RunUntil meanwhile
        done = true;
    });
    EXPECT_TRUE(dispatcher_.RunUntil([&] { return done.load(); }, 10s));
    worker.join();
    EXPECT_EQ(seenWhenReturned, 2u);
    EXPECT_EQ(seen, (std::vector<std::string>{"Inaktiv|COM1, 9600", "Bereit - TF 2.7|COM1, 9600"}));

    // Once shutdown has begun a worker is not held up and the status is kept.
    dispatcher_.BeginShutdown();
    std::thread([&] { d->SetStatus(TGeraetStatus::Fehler, "x"); }).join();
    EXPECT_EQ(d->StatusText(), "Fehler - x");
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(Geraet, DeInitWithoutThreadReturnsAtOnce) {
    auto d = NewDevice();
    d->DeInit();
    EXPECT_EQ(DeInitLines(),
              (std::vector<std::string>{"begin...", "Kein Ger\xE4te-Thread vorhanden."}));
    EXPECT_TRUE(d->IsTerminated());
}

TEST_F(Geraet, DeInitEndsAWorkerThatFollowsTheStop) {
    auto d = NewDevice();
    d->SetRegKey("\\Software\\Morvane\\Tarvo\\Geraete\\4");
    d->Init();
    EXPECT_TRUE(d->ThreadRunning());
    EXPECT_FALSE(d->IsTerminated());
    d->DeInit();
    EXPECT_FALSE(d->ThreadRunning());
    EXPECT_TRUE(d->IsTerminated());
    const auto lines = DeInitLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "begin...");
    EXPECT_EQ(lines.back(), "Ger\xE4te-Thread normal beendet.");
    bool initNamesKey = false;
    for (const auto& l : sink_->Lines()) initNamesKey |= l.find("TFakeGeraet.Init: 4\r") != l.npos;
    EXPECT_TRUE(initNamesKey);

    // A second start works like the first.
    d->Init();
    EXPECT_TRUE(d->ThreadRunning());
    d->DeInit();
    EXPECT_FALSE(d->ThreadRunning());
}

TEST_F(Geraet, DeInitServesAWorkerWaitingForTheMainThread) {
    auto d = NewDevice();
    int handled = 0;
    d->SetStatusHandler([&](devices::TGeraet&) { ++handled; });
    d->run = [](FakeGeraet& g) {
        while (!g.IsTerminated()) g.StopEvent().Wait(100ms);
        g.SetStatus(TGeraetStatus::Inaktiv);  // blocks until the main thread ran it
    };
    d->Init();
    d->DeInit();
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(DeInitLines().back(), "Ger\xE4te-Thread normal beendet.");
}

TEST_F(Geraet, QuitEventEndsTheWorker) {
    auto d = NewDevice();
    d->Init();
    core::QuitEvent().Set();
    EXPECT_TRUE(d->IsTerminated());
    // It ends on its own, without DeInit.
    for (int i = 0; i < 10000 && d->ThreadRunning(); ++i) std::this_thread::sleep_for(1ms);
    core::QuitEvent().Reset();
    EXPECT_FALSE(d->ThreadRunning());
    d->DeInit();
    EXPECT_EQ(DeInitLines().back(), "Kein Ger\xE4te-Thread vorhanden.");
}

TEST_F(Geraet, DeInitLeavesAWorkerBehindThatIgnoresTheStop) {
    auto d = NewDevice();
    std::atomic<int> starts{0};
    std::atomic<bool> release{false}, oldSawTerminated{false};
    d->run = [&](FakeGeraet& g) {
        if (++starts == 1) {
            // Stuck, as in a read that never returns; bounded so a fault cannot hang.
            for (int i = 0; i < 30000 && !release; ++i) std::this_thread::sleep_for(1ms);
            oldSawTerminated = g.IsTerminated();
            return;
        }
        while (!g.IsTerminated()) g.StopEvent().Wait(100ms);
    };
    d->Init();
    const std::uint64_t start = clock_.SteadyMs();
    std::atomic<bool> deInitDone{false};
    std::thread ticker([&] {
        while (!deInitDone) {
            clock_.AdvanceMs(100);
            std::this_thread::sleep_for(1ms);
        }
    });
    d->DeInit();
    deInitDone = true;
    ticker.join();

    EXPECT_GT(clock_.SteadyMs() - start, 8000u);
    const auto lines = DeInitLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Ger\xE4te-Thread wird abgebrochen...");
    EXPECT_EQ(lines.back(), "Ger\xE4te-Thread wurde abgebrochen.");
    EXPECT_FALSE(d->ThreadRunning());
    EXPECT_TRUE(d->IsTerminated());

    // A new start runs beside the one left behind, which stays terminated.
    d->Init();
    EXPECT_TRUE(d->ThreadRunning());
    EXPECT_FALSE(d->IsTerminated());
    release = true;
    d->DeInit();
    EXPECT_EQ(DeInitLines().back(), "Ger\xE4te-Thread normal beendet.");

    // The worker left behind keeps the device alive until it ends.
    std::weak_ptr<FakeGeraet> weak = d;
    d.reset();
    for (int i = 0; i < 10000 && !weak.expired(); ++i) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(weak.expired());
    EXPECT_TRUE(oldSawTerminated);
}

TEST_F(Geraet, AnExceptionInRunIsReportedOnceAndEndsTheWorker) {
    core::SetMainDispatcher(&dispatcher_);
    CountingView view;
    core::SetUnhandledExceptionView(&view);
    auto d = NewDevice();
    d->run = [](FakeGeraet&) { throw std::runtime_error("Schnittstelle weg"); };
    d->Init();
    EXPECT_TRUE(dispatcher_.RunUntil([&] { return !d->ThreadRunning(); }, 10s));
    dispatcher_.RunFor(20ms);
    core::SetUnhandledExceptionView(nullptr);
    core::SetMainDispatcher(nullptr);

    EXPECT_EQ(view.shown, 1);
    EXPECT_EQ(view.headline, "std::runtime_error in TFakeGeraet.Execute");
    EXPECT_EQ(view.message, "Schnittstelle weg");
    EXPECT_TRUE(d->IsTerminated());
    EXPECT_EQ(d->Status(), TGeraetStatus::Fehler);
    EXPECT_EQ(d->StatusText(), "Fehler - Schnittstelle weg");
    d->DeInit();
    EXPECT_EQ(DeInitLines().back(), "Kein Ger\xE4te-Thread vorhanden.");
}

TEST_F(Geraet, SaveNeedsARegKeyAndWritesTheClassName) {
    auto d = NewDevice(false);
    EXPECT_THROW(d->TGeraet::Save(), core::TarvoAssertion);
    d->SetRegKey("\\Software\\Morvane\\Tarvo\\Geraete\\0");
    d->TGeraet::Save();
    EXPECT_EQ(registry_.ReadText(platform::Hive::LocalMachine, d->RegKey(), ""), "TFakeGeraet");
}
