#include "channels/StatusU.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "core/GlobalU.h"
#include "tests/support/ManualDispatcher.h"

using namespace tarvo::channels;
using tarvo::core::IKanal;
using tarvo::core::IStatus;
using tarvo::platform::IDispatcher;
using tarvo::platform::LoopDispatcher;
using namespace std::chrono_literals;

namespace {

// A channel that only counts and observes its status bar refreshes.
class FakeDisplay final : public IKanal {
  public:
    std::function<void()> onRefresh;
    int refreshes = 0;
    std::thread::id refreshThread;

    void RefreshStatusBar() override {
        ++refreshes;
        refreshThread = std::this_thread::get_id();
        if (onRefresh) onRefresh();
    }

    bool IsFree() const override { return false; }
    bool IsIdle() const override { return false; }
    bool HasConnection() const override { return true; }
    void SetActive(bool) override {}
    std::shared_ptr<tarvo::core::IVerbindung> GetVerbindung() const override { return nullptr; }
    void SetFont(const tarvo::core::TFontFace&) override {}
    void MonitorFrame(std::string_view, std::string_view, bool) override {}
    std::int64_t WriteColoured(std::uint8_t, std::string_view) override { return -1; }
    bool GetReserved() const override { return false; }
    void SetReserved(bool) override {}
    void Release() override {}
    void SetShowDOS(bool) override {}
    bool GetShowDOS() const override { return false; }
    void SetSendDOS(bool) override {}
    bool GetSendDOS() const override { return false; }
    int GetNummer() const override { return 1; }
    void ApplyColours() override {}
    void ClearConsole() override {}
    std::string GetHint() const override { return {}; }
    void PactorChangeover() override {}
    void PactorBreakin() override {}
    void SetConsoleRows(int) override {}
};

using tarvo::test::ManualDispatcher;

using Setter = void (IStatus::*)(std::int32_t);

// printf in the "C" locale, the reference for the panel's number formats.
std::string PrintfThroughput(std::int32_t bps) {
    if (bps <= 0) return {};
    double v = bps;
    const char* unit = "";
    if (bps >= 1000000) {
        v /= 1000000.0;
        unit = "M";
    } else if (bps >= 1000) {
        v /= 1000.0;
        unit = "k";
    }
    char buffer[64];
    const char* format = v >= 100 ? "%3.0f%sbit/s" : v >= 10 ? "%2.1f%sbit/s" : "%1.2f%sbit/s";
    std::snprintf(buffer, sizeof buffer, format, v, unit);
    return buffer;
}

}  // namespace

TEST(StatusFormat, Throughput) {
    struct Case {
        std::int32_t bps;
        const char* text;
    };
    const Case cases[] = {
        {9600, "9.60kbit/s"},
        {1200, "1.20kbit/s"},
        {57600, "57.6kbit/s"},
        {300, "300bit/s"},
        {45, "45.0bit/s"},
        {1, "1.00bit/s"},
        {999, "999bit/s"},
        {1000, "1.00kbit/s"},
        {1000000, "1.00Mbit/s"},
        {INT32_MAX, "2147Mbit/s"},
        // Rounding carries past a scale boundary without changing the format.
        {9999, "10.00kbit/s"},
        {99999, "100.0kbit/s"},
        {999999, "1000kbit/s"},
        // Exact halves round to even, as printf rounds them.
        {100500, "100kbit/s"},
        {101500, "102kbit/s"},
        {10250, "10.2kbit/s"},
        {10750, "10.8kbit/s"},
        {1125, "1.12kbit/s"},
        // Inexact halves follow the stored value: 1.005 lies below, 1.135 above.
        {1005, "1.00kbit/s"},
        {1135, "1.14kbit/s"},
        {0, ""},
        {-9600, ""},
        {INT32_MIN, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatThroughput(c.bps), c.text) << c.bps;
}

TEST(StatusFormat, ThroughputMatchesPrintfAroundEveryBoundary) {
    const std::pair<std::int32_t, std::int32_t> ranges[] = {
        {-5, 2000},        {9900, 10100},       {99000, 101000},
        {999000, 1001000}, {9990000, 10010000}, {99900000, 100100000},
    };
    for (auto [from, to] : ranges)
        for (std::int32_t bps = from; bps <= to; ++bps)
            ASSERT_EQ(FormatThroughput(bps), PrintfThroughput(bps)) << bps;
}

TEST(StatusFormat, ThroughputMeterMeasuresTheTrafficInItsWindow) {
    TThroughputMeter m(10000);
    EXPECT_EQ(m.Sample(0), 0) << "nothing moved yet";
    m.Count(1000, 500);
    EXPECT_EQ(m.Sample(1000), 8000) << "a burst is measured from the sample before it";
    EXPECT_EQ(m.Sample(2000), 4000);
    EXPECT_EQ(m.Sample(30000), 0) << "quiet for a window";
    m.Count(500, 31000);
    EXPECT_EQ(m.Sample(20000), 0) << "a clock that went back starts afresh";
    m.Count(250, 20000);
    EXPECT_EQ(m.Sample(21000), 2000);
}

TEST(StatusPanels, EachValueFillsOnlyItsPanelOnceChanged) {
    struct Case {
        Setter set;
        std::int32_t value;
        std::size_t panel;
        const char* text;
    };
    const Case cases[] = {
        {&IStatus::SetTries, 0, 3, "T0"},
        {&IStatus::SetTries, 12, 3, "T12"},
        {&IStatus::SetTries, -2, 3, ""},
        {&IStatus::SetUnacked, 0, 4, "U0"},
        {&IStatus::SetUnacked, 5, 4, "U5"},
        {&IStatus::SetUnacked, 99, 4, "U99"},
        {&IStatus::SetUnacked, 100, 4, "100"},
        {&IStatus::SetUnacked, 150, 4, "150"},
        {&IStatus::SetUnacked, -2, 4, ""},
        {&IStatus::SetFrack, 0, 5, "dama"},
        {&IStatus::SetFrack, 30, 5, "F30"},
        {&IStatus::SetFrack, -2, 5, ""},
        {&IStatus::SetMaxFrame, 0, 6, "M0"},
        {&IStatus::SetMaxFrame, 7, 6, "M7"},
        {&IStatus::SetMaxFrame, -2, 6, ""},
        {&IStatus::SetLinkFlags, 6 | 0x08 | 0x10, 7, "reject busy rbusy"},
        {&IStatus::SetLinkFlags, 3, 7, "frmr"},
        {&IStatus::SetLinkFlags, 7, 7, "polling"},
        {&IStatus::SetLinkFlags, 0x08, 7, "busy"},
        {&IStatus::SetLinkFlags, 0x10, 7, "rbusy"},
        {&IStatus::SetLinkFlags, 3 | 0x10, 7, "frmr rbusy"},
        {&IStatus::SetLinkFlags, 7 | 0x08, 7, "polling busy"},
        // Other state codes and higher bits show nothing.
        {&IStatus::SetLinkFlags, 0, 7, ""},
        {&IStatus::SetLinkFlags, 1, 7, ""},
        {&IStatus::SetLinkFlags, 0x20 | 6, 7, "reject"},
        {&IStatus::SetLinkFlags, -2, 7, ""},
        {&IStatus::SetThroughput, 9600, 2, "9.60kbit/s"},
        {&IStatus::SetThroughput, -1, 2, ""},
    };
    LoopDispatcher main;
    for (const Case& c : cases) {
        auto status = std::make_shared<TStatus>(main);
        (status.get()->*c.set)(c.value);
        const TStatusPanels p = FormatStatusPanels(*status, false);
        for (std::size_t i = 0; i < p.panel.size(); ++i) {
            if (i == c.panel)
                EXPECT_EQ(p.panel[i], std::optional<std::string>(c.text)) << c.value;
            else
                EXPECT_EQ(p.panel[i], std::nullopt) << "panel " << i << " for " << c.value;
        }
    }
}

TEST(StatusPanels, NewConnectionFullShowsEmptyPanelsPartialTouchesNone) {
    LoopDispatcher main;
    auto status = std::make_shared<TStatus>(main);
    const TStatusPanels partial = FormatStatusPanels(*status, false);
    for (const auto& panel : partial.panel) EXPECT_EQ(panel, std::nullopt);

    const TStatusPanels full = FormatStatusPanels(*status, true);
    for (std::size_t i = 0; i < full.panel.size(); ++i)
        EXPECT_EQ(full.panel[i],
                  i >= 2 && i <= 7 ? std::optional<std::string>("") : std::optional<std::string>())
            << i;
}

TEST(StatusPanels, ChangedFlagsAreStickyAndFullShowsEveryValue) {
    LoopDispatcher main;
    auto status = std::make_shared<TStatus>(main);
    status->SetTries(3);
    status->SetTries(-1);  // back to unknown: still changed, shown empty
    status->SetMaxFrame(4);

    TStatusPanels p = FormatStatusPanels(*status, false);
    EXPECT_EQ(p.panel[3], "");
    EXPECT_EQ(p.panel[6], "M4");
    for (std::size_t i : {0, 1, 2, 4, 5, 7, 8}) EXPECT_EQ(p.panel[i], std::nullopt) << i;

    status->SetUnacked(2);
    status->SetFrack(0);
    status->SetLinkFlags(0x08);
    status->SetThroughput(1200);
    p = FormatStatusPanels(*status, true);
    const std::optional<std::string> expected[9] = {
        std::nullopt, std::nullopt, "1.20kbit/s", "", "U2", "dama", "M4", "busy", std::nullopt};
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(p.panel[i], expected[i]) << i;
}

namespace {

struct StatusRefresh : ::testing::Test {
    ManualDispatcher main;
    std::shared_ptr<TStatus> status = std::make_shared<TStatus>(main);
    std::shared_ptr<FakeDisplay> display = std::make_shared<FakeDisplay>();

    // Runs the posted request, which arms the timer.
    void Arm() {
        status->SetUnacked(status->GetUnacked() + 1);
        main.RunPending();
        ASSERT_EQ(main.timers.size(), 1u);
    }
};

}  // namespace

TEST_F(StatusRefresh, BurstPostsOneRequestAndArmsOneSingleShotTimer) {
    status->SetDisplay(display);
    status->SetUnacked(1);
    status->SetTries(2);
    status->SetUnacked(3);
    EXPECT_EQ(main.PostCount(), 1u);
    EXPECT_TRUE(main.timers.empty());  // the worker never arms it itself

    main.RunPending();
    ASSERT_EQ(main.timers.size(), 1u);
    EXPECT_EQ(main.timers.begin()->second.interval, kStatusRefreshDelay);
    EXPECT_FALSE(main.timers.begin()->second.periodic);

    // A change while the timer runs asks again, but arms nothing more.
    status->SetFrack(5);
    EXPECT_EQ(main.PostCount(), 2u);
    main.RunPending();
    EXPECT_EQ(main.started.size(), 1u);
    EXPECT_EQ(display->refreshes, 0);

    main.FireTimers();
    EXPECT_EQ(display->refreshes, 1);

    // After the refresh the next change arms a fresh timer.
    status->SetFrack(6);
    main.RunPending();
    EXPECT_EQ(main.started.size(), 2u);
    main.FireTimers();
    EXPECT_EQ(display->refreshes, 2);
}

TEST_F(StatusRefresh, SettingTheSameValueTwiceRequestsNoSecondRefresh) {
    status->SetDisplay(display);
    status->SetMaxFrame(4);
    main.RunPending();
    main.FireTimers();
    ASSERT_EQ(display->refreshes, 1);

    status->SetMaxFrame(4);
    status->SetThroughput(0);  // the initial values count as set already
    status->SetTries(-1);
    EXPECT_EQ(main.PostCount(), 1u);
    EXPECT_EQ(main.RunPending(), 0u);
    EXPECT_TRUE(main.timers.empty());
    EXPECT_FALSE(status->TriesChanged());
}

TEST_F(StatusRefresh, NoRefreshWithoutDisplay) {
    status->SetTries(1);
    EXPECT_EQ(main.PostCount(), 0u);

    // Attaching refreshes nothing by itself: the channel then refreshes in full.
    status->SetDisplay(display);
    main.RunPending();
    EXPECT_TRUE(main.timers.empty());
    EXPECT_EQ(display->refreshes, 0);
}

TEST_F(StatusRefresh, DisplayIsHeldWeakly) {
    status->SetDisplay(display);
    EXPECT_EQ(status->GetDisplay(), display);
    std::weak_ptr<FakeDisplay> watch = display;
    display.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(status->GetDisplay(), nullptr);

    status->SetTries(1);
    EXPECT_EQ(main.PostCount(), 0u);
}

TEST_F(StatusRefresh, DetachingOrReleasingStopsTheArmedTimer) {
    struct Case {
        const char* name;
        bool release;
        bool fromWorker;
    };
    const Case cases[] = {
        {"display none, main thread", false, false},
        {"display none, worker thread", false, true},
        {"release, main thread", true, false},
        {"release, worker thread", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualDispatcher loop;
        auto s = std::make_shared<TStatus>(loop);
        auto d = std::make_shared<FakeDisplay>();
        s->SetDisplay(d);
        s->SetLinkFlags(3);
        loop.RunPending();
        ASSERT_EQ(loop.started.size(), 1u);
        // A timer event already on its way when the stop comes.
        const IDispatcher::Task late = loop.timers.begin()->second.task;

        auto detach = [&] {
            if (c.release)
                s->Release();
            else
                s->SetDisplay(nullptr);
        };
        if (c.fromWorker) {
            std::thread(detach).join();
            EXPECT_TRUE(loop.stopped.empty());  // only the main thread stops timers
            loop.RunPending();
        } else {
            detach();
        }
        EXPECT_EQ(loop.stopped, loop.started);
        EXPECT_TRUE(loop.timers.empty());

        late();
        EXPECT_EQ(d->refreshes, 0);
        EXPECT_EQ(s->GetDisplay(), nullptr);
    }
}

TEST_F(StatusRefresh, ReattachingBeforeThePostedStopKeepsTheRefresh) {
    status->SetDisplay(display);
    Arm();
    std::thread([&] {
        status->SetDisplay(nullptr);
        status->SetDisplay(display);
    }).join();
    main.RunPending();
    EXPECT_TRUE(main.stopped.empty());
    main.FireTimers();
    EXPECT_EQ(display->refreshes, 1);
}

TEST_F(StatusRefresh, AfterReleaseSettingIsAnErrorAndNothingAttaches) {
    status->SetDisplay(display);
    status->Release();
    status->Release();  // a second release changes nothing
    EXPECT_THROW(status->SetUnacked(1), tarvo::core::TarvoAssertion);
    EXPECT_THROW(status->SetThroughput(9600), tarvo::core::TarvoAssertion);
    EXPECT_EQ(status->GetUnacked(), -1);

    status->SetDisplay(display);
    EXPECT_EQ(status->GetDisplay(), nullptr);
    main.RunPending();
    EXPECT_TRUE(main.timers.empty());
}

TEST_F(StatusRefresh, ReleasedBeforeItsRequestRunsDoesNothing) {
    status->SetDisplay(display);
    status->SetUnacked(1);
    status->Release();
    main.RunPending();
    EXPECT_TRUE(main.started.empty());
    EXPECT_EQ(display->refreshes, 0);
}

TEST_F(StatusRefresh, StatusGoneBeforeItsRequestOrTimerDoesNothing) {
    status->SetDisplay(display);
    status->SetUnacked(1);
    status.reset();
    main.RunPending();
    EXPECT_TRUE(main.started.empty());

    status = std::make_shared<TStatus>(main);
    status->SetDisplay(display);
    Arm();
    const IDispatcher::Task late = main.timers.begin()->second.task;
    status.reset();  // on the main thread: its timer goes with it
    EXPECT_EQ(main.stopped, main.started);
    late();
    EXPECT_EQ(display->refreshes, 0);
}

TEST_F(StatusRefresh, DisplayReadingTheValuesDuringRefreshDoesNotDeadlock) {
    TStatusPanels seen;
    display->onRefresh = [&] { seen = FormatStatusPanels(*status, false); };
    status->SetDisplay(display);
    status->SetUnacked(12);
    status->SetLinkFlags(6 | 0x10);
    main.RunPending();
    main.FireTimers();
    ASSERT_EQ(display->refreshes, 1);
    EXPECT_EQ(seen.panel[4], "U12");
    EXPECT_EQ(seen.panel[7], "reject rbusy");
    EXPECT_EQ(seen.panel[3], std::nullopt);
}

TEST(StatusThreads, ThousandChangesFromAWorkerGiveOneRefresh) {
    LoopDispatcher main;
    auto status = std::make_shared<TStatus>(main);
    auto display = std::make_shared<FakeDisplay>();
    std::int32_t seen = -1;
    display->onRefresh = [&] { seen = status->GetUnacked(); };
    status->SetDisplay(display);

    std::thread worker([&] {
        for (std::int32_t i = 0; i < 1000; ++i) status->SetUnacked(i);
    });
    worker.join();

    ASSERT_TRUE(main.RunUntil([&] { return display->refreshes > 0; }, 5s));
    main.RunFor(3 * kStatusRefreshDelay);  // room for a wrong second refresh
    EXPECT_EQ(display->refreshes, 1);
    EXPECT_EQ(seen, 999);
    EXPECT_EQ(display->refreshThread, std::this_thread::get_id());
}

TEST(StatusThreads, ChangesWhileTheLoopRunsAreNeverLost) {
    LoopDispatcher main;
    auto status = std::make_shared<TStatus>(main);
    auto display = std::make_shared<FakeDisplay>();
    std::int32_t seenUnacked = -1, seenTries = -1;
    std::atomic<int> refreshes{0};
    display->onRefresh = [&] {
        seenUnacked = status->GetUnacked();
        seenTries = status->GetTries();
        ++refreshes;
    };
    status->SetDisplay(display);

    // Each round of changes begins only after a refresh has shown the one before,
    // so every round needs a request of its own to reach the display.
    constexpr std::int32_t kRounds = 5, kPerRound = 2000;
    constexpr std::int32_t kLast = kRounds * kPerRound - 1;
    std::atomic<bool> done{false}, stuck{false};
    std::thread worker([&] {
        for (std::int32_t r = 0; r < kRounds && !stuck; ++r) {
            for (std::int32_t i = 0; i < kPerRound; ++i) {
                status->SetUnacked(r * kPerRound + i);
                status->SetTries(i % 7);
            }
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (refreshes <= r && !stuck) {
                if (std::chrono::steady_clock::now() > deadline) stuck = true;
                std::this_thread::sleep_for(1ms);
            }
        }
        done = true;
    });
    // The loop keeps running while the worker changes and waits.
    main.RunUntil([&] { return done && (stuck || seenUnacked == kLast); }, 30s);
    const bool sawLast = seenUnacked == kLast && seenTries == (kPerRound - 1) % 7;
    worker.join();
    EXPECT_FALSE(stuck);
    EXPECT_TRUE(sawLast);
    EXPECT_EQ(display->refreshThread, std::this_thread::get_id());
}

TEST(StatusThreads, NoRefreshAfterDetachOrReleaseFromAWorker) {
    for (bool release : {false, true}) {
        SCOPED_TRACE(release ? "release" : "display none");
        LoopDispatcher main;
        auto status = std::make_shared<TStatus>(main);
        auto display = std::make_shared<FakeDisplay>();
        status->SetDisplay(display);
        status->SetFrack(10);
        main.RunPending();  // the timer is armed now
        std::thread([&] {
            if (release)
                status->Release();
            else
                status->SetDisplay(nullptr);
        }).join();
        main.RunFor(3 * kStatusRefreshDelay);
        EXPECT_EQ(display->refreshes, 0);
    }
}
