// How many lines a channel console takes per second: a 30,000-row ring of 80
// columns in a mapped file, fed the way received text arrives (a few lines per
// write, carriage returns as line ends).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "channels/ConsoleU.h"
#include "platform/Clock.h"

namespace {

void BM_ConsoleWriteLines(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("tarvo-console-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    tarvo::platform::SteadyClock clock;
    tarvo::channels::TConsole console(clock);
    console.SetRows(30000);
    console.SetLineBreak(tarvo::channels::TConsoleLineBreak::CR);
    console.SetVirtualMemory(true);
    console.SetFileName(dir / tarvo::channels::ConsoleBufferFileName(1));
    if (console.Open()) {
        state.SkipWithError("cannot open the buffer file");
        return;
    }
    // Four lines of typical lengths, as one frame of received text.
    const std::string chunk =
        "DB0XYZ-1> Welcome to the mailbox, 42 new messages since your last visit.\r"
        "Msg# 1234  TO ALL @ WW  Subject: weekly net\r"
        "short\r"
        "A longer line that is just a little bit shorter than the eighty columns.\r";
    const std::int64_t linesPerChunk = 4;
    std::int64_t n = 0;
    for (auto _ : state) {
        console.Write(chunk);
        n += linesPerChunk;
    }
    benchmark::DoNotOptimize(console.LineSerial());
    state.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsRate);
    console.Close();
    fs::remove_all(dir);
}
BENCHMARK(BM_ConsoleWriteLines);

}  // namespace
