// How long the console widget takes to paint one full screen of 50 rows of 80
// columns, every row in several colours and one selection across some rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <string>

#include "channels/ConsoleU.h"
#include "platform/Clock.h"
#include "ui/ConsoleWidgetU.h"

namespace {

constexpr int kCols = 80;
constexpr int kRows = 50;

void FillConsole(tarvo::channels::TConsole& console) {
    const std::string words[] = {"DB0XYZ-1> ",  "Msg# 1234  ",   "TO ALL @ WW ",
                                 "weekly net ", "73 de DL1ABC ", "\xDCmlaute \xE4\xF6\xFC "};
    for (int r = 0; r < kRows; ++r) {
        std::string line;
        int w = r;
        while (line.size() < kCols - 14) {
            console.SetColor(static_cast<std::uint8_t>((r + w) % 16));
            const std::string& piece = words[w % 6];
            console.Write(piece);
            line += piece;
            ++w;
        }
        console.Write("\r\n");
    }
}

void PaintScreen(benchmark::State& state, bool selection) {
    tarvo::platform::SteadyClock clock;
    tarvo::channels::TConsole console(clock);
    console.SetCols(kCols);
    console.SetRows(kRows);
    if (console.Open()) {
        state.SkipWithError("cannot open the console");
        return;
    }
    FillConsole(console);
    tarvo::ui::TConsoleWidget widget(console);
    widget.SetConsoleFont("08x12");
    const QSize cell = widget.CellSize();
    const QSize view(widget.GutterWidth() + kCols * cell.width(), kRows * cell.height());
    widget.viewport()->resize(view);
    widget.resize(view + QSize(40, 40));
    console.SetViewSize(kCols, kRows);
    if (selection) {
        console.MoveCursorTo(10, 5, false);
        console.SelectTo(40, 30);
    }
    QImage image(view, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&image);
        widget.PaintRect(p, image.rect());
        p.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["rows"] = kRows;
}

void BM_ConsolePaintScreen(benchmark::State& state) {
    PaintScreen(state, false);
}
BENCHMARK(BM_ConsolePaintScreen)->Unit(benchmark::kMillisecond);

void BM_ConsolePaintScreenSelected(benchmark::State& state) {
    PaintScreen(state, true);
}
BENCHMARK(BM_ConsolePaintScreenSelected)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
