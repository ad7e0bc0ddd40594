// How many overheard frames the monitor takes per second: formatted by the
// channel set and written into channel 0's file-backed console, the path every
// device thread uses (here from the main thread, so without the hand-over).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "channels/KanaeleU.h"
#include "core/ConfigU.h"
#include "platform/Clock.h"
#include "platform/Dispatcher.h"
#include "platform/Registry.h"
#include "tests/support/SilentKlaenge.h"

namespace {

void BM_MonitorFrames(benchmark::State& state) {
    namespace fs = std::filesystem;
    using namespace tarvo;
    const fs::path dir =
        fs::temp_directory_path() / ("tarvo-monitor-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        platform::FileRegistry registry;
        core::TConfig config(registry, "0.01.000");
        config.SetConsoleRows(core::TConfig::kMaxConsoleRows);
        platform::SteadyClock clock;
        platform::LoopDispatcher dispatcher;
        test::SilentKlaenge klaenge;
        channels::TKanalContext ctx;
        ctx.dispatcher = &dispatcher;
        ctx.config = &config;
        ctx.clock = &clock;
        ctx.klaenge = &klaenge;
        ctx.bufferFolder = dir;
        channels::TKanaele kanaele(ctx, nullptr);

        // A mix as a busy channel gives it: text I frames, supervisory frames, UI beacons.
        channels::TMonitorFrame info;
        info.Geraet = 1;
        info.Port = 1;
        info.Von = "DL1XYZ-7";
        info.An = "DB0ABC";
        info.Via = "DB0DIG*";
        info.Typ = channels::kFrameI;
        info.PID = 0xF0;
        info.NR = 3;
        info.NS = 5;
        info.Daten = "Msg# 1234  TO ALL @ WW  Subject: weekly net, 42 lines of text\r";
        channels::TMonitorFrame rr = info;
        rr.Typ = channels::kFrameRR;
        rr.Daten.clear();
        channels::TMonitorFrame ui = info;
        ui.Typ = channels::kFrameUI;
        ui.An = "BEACON";
        ui.Daten = "=5130.00N/00700.00E- Tarvo on 438.300\r";

        std::int64_t n = 0;
        for (auto _ : state) {
            kanaele.MonitorFrame(info);
            kanaele.MonitorFrame(rr);
            kanaele.MonitorFrame(ui);
            n += 3;
        }
        state.SetItemsProcessed(n);
        state.counters["frames/s"] =
            benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsRate);
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_MonitorFrames)->Unit(benchmark::kMicrosecond);

void BM_FormatMonitorHeader(benchmark::State& state) {
    using namespace tarvo;
    channels::TMonitorFrame f;
    f.Von = "DL1XYZ-7";
    f.An = "DB0ABC";
    f.Typ = channels::kFrameI;
    f.PID = 0xF0;
    f.Daten = "Msg# 1234  TO ALL @ WW  Subject: weekly net\r";
    for (auto _ : state) benchmark::DoNotOptimize(channels::FormatMonitorFrame(f, 0x15E));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatMonitorHeader);

}  // namespace
