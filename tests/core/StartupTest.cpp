#include "core/StartupU.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "core/ExceptionReportU.h"

using namespace tarvo::core;

TEST(PlaceMainWindow, PulledIntoTheNearestWorkArea) {
    const TRect left{0, 0, 1920, 1040};  // primary, a task bar below
    const TRect right{1920, 0, 1280, 1024};
    const std::vector<TRect> screens{left, right};
    const struct {
        const char* what;
        std::optional<TRect> stored;
        TRect expected;
    } cases[] = {
        {"inside stays", TRect{100, 100, 800, 600}, TRect{100, 100, 800, 600}},
        {"off the left edge", TRect{-300, 50, 800, 600}, TRect{0, 50, 800, 600}},
        {"off the bottom", TRect{100, 900, 800, 600}, TRect{100, 440, 800, 600}},
        {"larger than the screen", TRect{-50, -50, 4000, 3000}, TRect{0, 0, 1920, 1040}},
        {"mostly on the second screen", TRect{2000, 500, 1000, 800}, TRect{2000, 224, 1000, 800}},
        {"larger than the second screen", TRect{2000, 0, 2000, 2000}, TRect{1920, 0, 1280, 1024}},
        {"on no screen: the nearest", TRect{5000, 100, 400, 300}, TRect{2800, 100, 400, 300}},
        {"missing: two thirds, centred", std::nullopt, TRect{320, 173, 1280, 693}},
        {"unreadable size: as missing", TRect{10, 10, 0, -5}, TRect{320, 173, 1280, 693}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaceMainWindow(c.stored, screens, left), c.expected) << c.what;
}

TEST(PlaceToolWindow, KeptOnTheScreenOrCentred) {
    const TRect screen{0, 0, 1920, 1080};
    using Corner = std::optional<std::pair<int, int>>;
    const struct {
        const char* what;
        Corner stored;
        int width, height;
        TRect expected;
    } cases[] = {
        {"inside stays", Corner{{100, 200}}, 400, 150, TRect{100, 200, 400, 150}},
        {"negative becomes 0", Corner{{-30, -5}}, 400, 150, TRect{0, 0, 400, 150}},
        {"past the right edge", Corner{{1800, 10}}, 400, 150, TRect{1520, 10, 400, 150}},
        {"past the bottom edge", Corner{{10, 1000}}, 400, 150, TRect{10, 930, 400, 150}},
        {"far beyond both", Corner{{2147483000, 2147483000}}, 400, 150, TRect{1520, 930, 400, 150}},
        {"larger than the screen keeps its corner on it", Corner{{50, 50}}, 2500, 150,
         TRect{0, 50, 2500, 150}},
        {"unreadable: centred", std::nullopt, 400, 150, TRect{760, 465, 400, 150}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaceToolWindow(c.stored, c.width, c.height, screen), c.expected) << c.what;
    // A screen that does not begin at 0 (a second monitor).
    EXPECT_EQ(PlaceToolWindow(Corner{{0, 0}}, 400, 150, TRect{1920, 0, 1280, 1024}),
              (TRect{1920, 0, 400, 150}));
}

TEST(TStepSequence, StartupStopsAtTheFirstFailure) {
    std::vector<std::string> ran;
    TStepSequence s("THauptfenster", "FormCreate");
    s.Add("one", [&] { ran.push_back("one"); });
    s.Add("font", [&] {
        throw TStartupFailure("Die erforderliche Datei \"tarvo.ttf\" kann nicht geladen werden.");
    });
    s.Add("three", [&] { ran.push_back("three"); });
    EXPECT_EQ(s.RunUntilFailure(),
              "Die erforderliche Datei \"tarvo.ttf\" kann nicht geladen werden.");
    EXPECT_EQ(ran, std::vector<std::string>{"one"});
}

TEST(TStepSequence, ShutdownGoesOnAfterAFailingStepAndRunsOnce) {
    std::vector<std::string> ran;
    TStepSequence s("THauptfenster", "TarvoDestroy");
    s.Add("Geraete.Free", [&] {
        ran.push_back("devices");
        throw std::runtime_error("stuck");
    });
    s.Add("Config.Free", [&] { ran.push_back("config"); });
    s.RunAll();
    s.RunAll();  // a signal after the window closed
    EXPECT_EQ(ran, (std::vector<std::string>{"devices", "config"}));
    EXPECT_TRUE(s.HasRun());
}

TEST(StartMode, FromTheCommandLine) {
    EXPECT_EQ(StartModeFromArgs({"tarvo"}), StartMode::Standalone);
    EXPECT_EQ(StartModeFromArgs({"tarvo", "--home", "x", "--automation"}), StartMode::Automation);
    EXPECT_STREQ(StartModeName(StartMode::Automation), "Automation");
}

TEST(ExceptionReport, HeadlineMessageAndClipboard) {
    const auto e = std::make_exception_ptr(std::runtime_error("line one\rline two"));
    EXPECT_EQ(ExceptionHeadline(e, "TKanal", "Received", "extra"),
              "std::runtime_error in TKanal.Received (extra)");
    EXPECT_EQ(ExceptionHeadline(nullptr, "", "", ""), "[unassigned] in [unknown]");
    EXPECT_EQ(ExceptionMessage(nullptr), "(no message)");
    EXPECT_EQ(ExceptionClipboardText("head", "line one\rline two\r\n"),
              "head\r\nline one\r\nline two\r\n\r\n");
}

#include "core/ConfigU.h"
#include "platform/Registry.h"

namespace {
// One start of the program against the same settings; returns what the start
// found. `end` says how the run ends.
enum class End { Orderly, Killed, StartupFailed };
TRunMark OneRun(tarvo::platform::IRegistry& reg, End end) {
    TConfig config(reg, "0.01.000");
    const TRunMark mark = MarkRunning(config, reg);
    EXPECT_TRUE(config.Dirty());
    if (end != End::StartupFailed) ClearForceDatabaseCheck(config);
    if (end != End::Killed) MarkOrderlyEnd(config, reg, end == End::StartupFailed, false);
    return mark;
}
}  // namespace

TEST(RunMark, OrderlyEndKilledProcessAndForcedCheck) {
    tarvo::platform::FileRegistry reg;
    EXPECT_FALSE(OneRun(reg, End::Orderly).databaseCheckDue);  // first start ever
    EXPECT_FALSE(OneRun(reg, End::Killed).databaseCheckDue);   // the previous end was orderly
    const TRunMark afterKill = OneRun(reg, End::Orderly);
    EXPECT_TRUE(afterKill.previousRunDirty);
    EXPECT_TRUE(afterKill.databaseCheckDue);
    EXPECT_FALSE(OneRun(reg, End::Orderly).databaseCheckDue);

    {
        TConfig config(reg, "0.01.000");
        config.SetForceDatabaseCheck(true);
    }
    const TRunMark forced = OneRun(reg, End::Orderly);
    EXPECT_FALSE(forced.previousRunDirty);
    EXPECT_TRUE(forced.databaseCheckDue);
    EXPECT_FALSE(OneRun(reg, End::Orderly).databaseCheckDue);  // cleared by the successful start

    OneRun(reg, End::StartupFailed);  // a failed start leaves the mark set
    EXPECT_TRUE(OneRun(reg, End::Orderly).previousRunDirty);
}
