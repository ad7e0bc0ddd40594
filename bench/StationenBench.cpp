// The station database of a large installation: 10,000 stations with name,
// type, a text and a password each, loaded from its file, saved again, and a
// lookup by callsign among them (goal: load and save under 1 s together,
// lookup under 10 µs).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "stations/StationenDatenbankEintragU.h"
#include "stations/StationenDatenbankU.h"

namespace {

namespace fs = std::filesystem;
using tarvo::stations::TStationenDatenbank;
using tarvo::stations::TStationenDatenbankSetup;

constexpr int kStations = 10000;

std::string Call(int i) {
    return "DL" + std::to_string(i % 10) + std::string(1, static_cast<char>('A' + i / 1000 % 26)) +
           std::string(1, static_cast<char>('A' + i / 26 % 26)) +
           std::string(1, static_cast<char>('A' + i % 26)) + "-" + std::to_string(i % 16);
}

struct Store {
    fs::path dir = fs::temp_directory_path() / ("tarvo-bench-stations-" + std::to_string(getpid()));
    fs::path file = dir / "Stations.tvd";
    Store() {
        fs::remove_all(dir);
        TStationenDatenbankSetup setup;
        setup.file = file;
        auto db = TStationenDatenbank::Open(setup);
        for (int i = 0; i < kStations; ++i) {
            auto e = db->CreateStation(Call(i));
            if (!e) continue;
            e->SetName("Station " + std::to_string(i));
            e->SetType(static_cast<std::uint8_t>(i % 6));
            e->SetText(0, "Hallo %n, hier ist die Station " + std::to_string(i), i % 2 == 0);
            e->SetPasswort("DL1TST", 0, "Passwort" + std::to_string(i), 0);
        }
        db->Flush();
    }
    ~Store() { fs::remove_all(dir); }
    std::shared_ptr<TStationenDatenbank> Open() const {
        TStationenDatenbankSetup setup;
        setup.file = file;
        return TStationenDatenbank::Open(setup);
    }
};

const Store& TheStore() {
    static Store store;
    return store;
}

void BM_LoadStations(benchmark::State& state) {
    const Store& s = TheStore();
    for (auto _ : state) benchmark::DoNotOptimize(s.Open());
    state.counters["stations"] = static_cast<double>(s.Open()->ListEntries().size());
    state.counters["file_kB"] = static_cast<double>(fs::file_size(s.file)) / 1024.0;
}
BENCHMARK(BM_LoadStations)->Unit(benchmark::kMillisecond);

void BM_SaveStations(benchmark::State& state) {
    const Store& s = TheStore();
    auto db = s.Open();
    auto e = db->OpenStation(Call(5));
    int n = 0;
    for (auto _ : state) {
        e->SetName("Station " + std::to_string(++n));  // something to write
        db->Flush();
    }
}
BENCHMARK(BM_SaveStations)->Unit(benchmark::kMillisecond);

void BM_FindStation(benchmark::State& state) {
    auto db = TheStore().Open();
    int i = 0;
    for (auto _ : state) {
        auto entry = db->FindEntry(Call(i * 7919 % kStations), true);
        benchmark::DoNotOptimize(entry);
        ++i;
    }
}
BENCHMARK(BM_FindStation)->Unit(benchmark::kMicrosecond);

void BM_FindStationAndPassword(benchmark::State& state) {
    auto db = TheStore().Open();
    int i = 0;
    for (auto _ : state) {
        auto entry = db->FindEntry(Call(i * 7919 % kStations), true);
        benchmark::DoNotOptimize(entry ? entry->GetPasswort("DL1TST", 0, 0) : std::string());
        ++i;
    }
}
BENCHMARK(BM_FindStationAndPassword)->Unit(benchmark::kMicrosecond);

}  // namespace
