// Any bytes as a console buffer file: opening never reads outside the file,
// every line reads back within its bounds, and the console takes new text.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "channels/ConsoleU.h"
#include "platform/Clock.h"

namespace fs = std::filesystem;
using namespace tarvo::channels;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path dir = [] {
        fs::path d =
            fs::temp_directory_path() / ("tarvo-console-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    const fs::path file = dir / ConsoleBufferFileName(1);
    fs::remove_all(dir);
    fs::create_directories(dir);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    tarvo::platform::FakeClock clock(0, 1'700'000'000);
    TConsole console(clock);
    console.SetRows(8);
    console.SetLineBreak(TConsoleLineBreak::CR);
    console.SetVirtualMemory(true);
    console.SetFileName(file);
    if (console.Open()) return 0;

    std::vector<TColourRun> runs;
    for (int r = 0; r < console.Rows(); ++r) {
        const TConsoleLine l = console.GetLine(r);
        if (l.length < 0 || l.length > console.Cols()) std::abort();
        unsigned sum = 0;
        for (int c = 0; c < l.length; ++c)
            sum += static_cast<unsigned char>(l.chars[c]) + l.colours[c];
        if (sum == 0xFFFFFFFFu) std::abort();  // keeps the reads
        console.ColourRuns(r, runs);
        int covered = 0;
        for (const TColourRun& run : runs) covered += run.count;
        if (covered != l.length) std::abort();
    }
    if (console.WriteColumn() < 0 || console.WriteColumn() > console.Cols()) std::abort();
    if (console.WriteRow() < 0 || console.WriteRow() >= console.Rows()) std::abort();
    console.MoveCursorTo(0, 0, false);
    console.SelectTo(console.Cols(), console.Rows());
    (void)console.SelectedText();
    console.SetMark(5, -1);
    console.Write("\rfuzz line\r");  // a line of its own after any kept text
    // The new line stands just above the write row, wherever the kept text left it.
    const int row = console.WriteRow() - 1;
    if (row < 0 || console.GetLine(row).chars.substr(0, 9) != "fuzz line") std::abort();
    return 0;
}
