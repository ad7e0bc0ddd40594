// How long the settings file takes to read and write, for a store the size of a
// busy installation (many devices, stations and channels).
#include <benchmark/benchmark.h>

#include "platform/RegistryFormat.h"

namespace {

std::string BigStore(int keys) {
    tarvo::platform::FileRegistry reg;
    for (int i = 0; i < keys; ++i) {
        const std::string key = "\\Software\\Morvane\\Tarvo\\Bench\\" + std::to_string(i);
        reg.WriteUtf8(tarvo::platform::Hive::CurrentUser, key, "Name",
                      "Station " + std::to_string(i));
        reg.WriteDWord(tarvo::platform::Hive::CurrentUser, key, "Flags",
                       static_cast<std::uint32_t>(i));
        reg.WriteBinary(tarvo::platform::Hive::CurrentUser, key, "Blob",
                        std::vector<std::uint8_t>(32, 0x5A));
    }
    return reg.Serialize();
}

void BM_ParseSettings(benchmark::State& state) {
    const std::string text = BigStore(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(tarvo::platform::regfile::Parse(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseSettings)->Arg(100)->Arg(2000);

void BM_SerializeSettings(benchmark::State& state) {
    const auto parsed = tarvo::platform::regfile::Parse(BigStore(static_cast<int>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(tarvo::platform::regfile::Serialize(parsed.tree));
}
BENCHMARK(BM_SerializeSettings)->Arg(100)->Arg(2000);

}  // namespace
