#include "core/SystemU.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "channels/KanaeleU.h"
#include "connection/VerbindungStandardU.h"
#include "core/ConfigU.h"
#include "core/GlobalU.h"
#include "core/SynchronizeU.h"
#include "devices/GeraeteU.h"
#include "filesend/DateiSendenPraeprozessorU.h"
#include "platform/Dispatcher.h"
#include "platform/Registry.h"
#include "resources/KlaengeU.h"
#include "resources/TexteU.h"
#include "tests/support/CollectingDebugSink.h"
#include "tests/support/FakeAgwpeEngine.h"
#include "tests/support/FakeModulConnection.h"
#include "tests/support/FakeSoundOutput.h"
#include "tests/support/SystemHome.h"

using namespace std::chrono_literals;
using namespace tarvo;

namespace {

// The step names logged under "THauptfenster.<method>: ", in order.
std::vector<std::string> Steps(const std::vector<std::string>& lines, const std::string& method) {
    const std::string tag = "THauptfenster." + method + ": ";
    std::vector<std::string> out;
    for (const std::string& l : lines) {
        if (const auto at = l.find(tag); at != std::string::npos) {
            std::string step = l.substr(at + tag.size());
            while (!step.empty() && (step.back() == '\r' || step.back() == '\n')) step.pop_back();
            out.push_back(step);
        }
    }
    return out;
}

// Whether the names appear in this order (others may lie between).
bool InOrder(const std::vector<std::string>& steps, const std::vector<std::string>& names) {
    std::size_t at = 0;
    for (const std::string& s : steps) {
        if (at < names.size() && s == names[at]) ++at;
    }
    return at == names.size();
}

class System : public ::testing::Test {
  protected:
    System() { core::SetDebugSink(sink_); }
    ~System() override { core::SetDebugSink(nullptr); }

    platform::LoopDispatcher dispatcher_;
    test::SystemHome home_{dispatcher_, "tarvo-system-"};
    platform::FileRegistry registry_;
    std::shared_ptr<test::CollectingDebugSink> sink_ =
        std::make_shared<test::CollectingDebugSink>();
};

TEST_F(System, StartsAndStopsWithoutADisplay) {
    test::FakeAgwpeEngine engine;
    ASSERT_TRUE(engine.Ok());
    // A settings file as an operator has it: four channels, one AGWPE device.
    const std::filesystem::path file = home_.WriteAgwpeSettings(engine.Port());
    std::error_code ec;
    const auto settings = platform::FileRegistry::Open(file, ec);
    ASSERT_TRUE(settings) << ec.message();
    platform::FileRegistry& registry = *settings;

    core::TSystem system({registry, dispatcher_, core::StartMode::Automation});
    std::atomic<bool> allReady{false};
    core::TSystemView view;
    view.devicesReady = [&](bool ready) { allReady = ready; };
    system.SetView(std::move(view));
    ASSERT_EQ(system.Start(), std::nullopt);
    EXPECT_TRUE(system.StartupDone());
    ASSERT_NE(system.Kanaele(), nullptr);
    EXPECT_EQ(system.Kanaele()->Count(), 4);
    ASSERT_NE(system.Kanaele()->GetKanal(4), nullptr);
    ASSERT_NE(system.Geraete(), nullptr);
    ASSERT_EQ(system.Geraete()->Items().size(), 1u);
    const auto device = system.Geraete()->Item(0);
    EXPECT_TRUE(dispatcher_.RunUntil(
        [&] {
            return device->Status() == devices::TGeraetStatus::Bereit &&
                   !device->GetFunkKanaele(8).empty();
        },
        10s))
        << device->StatusText();
    EXPECT_TRUE(engine.Connected());
    EXPECT_TRUE(dispatcher_.RunUntil([&] { return allReady.load(); }, 5s));
    EXPECT_EQ(registry.ReadText(platform::Hive::CurrentUser, "\\Software\\Morvane\\Tarvo", "Dirty")
                  .value_or("?"),
              "1");

    system.Shutdown();
    EXPECT_TRUE(system.ShutdownDone());
    EXPECT_EQ(system.Geraete(), nullptr);
    EXPECT_EQ(system.Kanaele(), nullptr);
    EXPECT_EQ(system.Config(), nullptr);
    EXPECT_TRUE(core::QuitEvent().IsSet());

    const auto lines = sink_->Lines();
    EXPECT_TRUE(InOrder(
        Steps(lines, "FormCreate"),
        {"begin...", "StartMode", "Config", "Ordner", "Klaenge", "Texte", "RemoteCommandManager",
         "ConnectionsList", "MyCalls", "StationenDatenbank", "ForceDatabaseCheck", "Kanaele",
         "Geraete", "Bereit", "ErsteSchritte", "Layout", "end."}));
    EXPECT_TRUE(InOrder(Steps(lines, "TarvoDestroy"),
                        {"begin...", "Spiele Klang ab...", "QuitEvent.SetEvent",
                         "ErsteSchritte.Release", "Geraete.Free", "Kanaele.Free", "MyCalls.Release",
                         "Ordner.Free", "StationenDatenbank.Free", "Texte.Free",
                         "ConnectionsList.Free", "Klaenge.Free", "Dirty", "Config.Free", "end."}));
    // An orderly end clears the mark of an unclean one, on disk.
    const auto reread = platform::FileRegistry::Open(file, ec);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->ReadText(platform::Hive::CurrentUser, "\\Software\\Morvane\\Tarvo", "Dirty")
                  .value_or("?"),
              "0");
}

TEST_F(System, AWindowAddsItsStepsWhereTheyBelong) {
    core::TSystem system({registry_, dispatcher_, core::StartMode::Standalone});
    core::TStepSequence& s = system.StartupSteps();
    std::vector<std::string> ran;
    s.InsertAfter("ConnectionsList", "Schriften", [&] { ran.push_back("fonts"); });
    s.Extend(
        "Layout", [&] { ran.push_back(system.StartupDone() ? "late" : "layout"); }, true);
    s.Extend("Bereit", [&] { ran.push_back("splash closes"); });
    const auto names = s.Names();
    EXPECT_TRUE(InOrder(names, {"ConnectionsList", "Schriften", "MyCalls"}));
    ASSERT_EQ(system.Start(), std::nullopt);
    EXPECT_EQ(ran, (std::vector<std::string>{"fonts", "splash closes", "layout"}));
    EXPECT_TRUE(system.StartupDone());
}

}  // namespace

namespace {

TEST_F(System, StartAndExitSoundsPlayAndTheGreetingTextIsReady) {
    for (const char* key :
         {"\\Software\\Morvane\\Tarvo\\Klaenge\\18", "\\Software\\Morvane\\Tarvo\\Klaenge\\19"})
        registry_.WriteDWord(platform::Hive::CurrentUser, key, "Signal", 2);
    auto sink = std::make_shared<test::FakeSoundOutput::Shared>();
    {
        core::TSystem system({registry_, dispatcher_, core::StartMode::Automation});
        system.SetSoundOutput([sink] { return std::make_unique<test::FakeSoundOutput>(sink); });
        ASSERT_EQ(system.Start(), std::nullopt);
        ASSERT_NE(system.Texte(), nullptr);
        EXPECT_EQ(system.Texte()->GetText(0, nullptr), "\rHallo ?...\r");
        system.Shutdown();
        EXPECT_EQ(system.Klaenge(), nullptr);
    }
    std::lock_guard lock(sink->mutex);
    EXPECT_EQ(sink->ends, 2);
}

// What a connection's text module finds when a "#DIDADIT#" line arrives: the
// receiving module while the system runs, plain text after its shutdown.
TEST_F(System, DidaditIsThereWhileTheSystemRuns) {
    auto runsReceiver = [] {
        auto fake = std::make_shared<test::FakeModulConnection>();
        auto text =
            connection::TVerbindungAbstract::Create<connection::TVerbindungStandard>(nullptr, fake);
        fake->receiveQueue.PushString("#DIDADIT#\r");
        fake->endEvent.Set();  // the transfer ends at its first wait
        text->OnReceive();
        text->Close();
        const auto names = fake->ModuleNames();
        return std::find(names.begin(), names.end(), "TVerbindungDidaditReceive") != names.end();
    };
    {
        core::TSystem system({registry_, dispatcher_, core::StartMode::Standalone});
        ASSERT_EQ(system.Start(), std::nullopt);
        EXPECT_TRUE(runsReceiver());
        system.Shutdown();
    }
    EXPECT_FALSE(runsReceiver());
}

TEST_F(System, PartFilesOfAnEarlierRunGoAtStart) {
    const std::filesystem::path orphan = filesend::TempFolder() / "part-Xy12Ab";
    std::filesystem::create_directories(orphan.parent_path());
    std::ofstream(orphan) << "alt";
    core::TSystem system({registry_, dispatcher_, core::StartMode::Standalone});
    ASSERT_EQ(system.Start(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(orphan));
    system.Shutdown();
}

}  // namespace
