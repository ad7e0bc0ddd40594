// Throughput of the three checksums over file-sized buffers, as the transfer
// protocols feed them (AutoBIN reads 4096 bytes at a time, DIDADIT 65536).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "connection/CrcU.h"
#include "connection/MD5U.h"

namespace {

std::string Data() {
    std::string s(1 << 20, '\0');
    std::uint32_t x = 1;
    for (auto& ch : s) {
        x = x * 1103515245u + 12345u;
        ch = static_cast<char>(x >> 24);
    }
    return s;
}

template <typename Feed>
void Run(benchmark::State& state, Feed feed) {
    static const std::string data = Data();
    const auto piece = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        for (std::size_t at = 0; at < data.size(); at += piece)
            feed(std::string_view(data).substr(at, piece));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_Crc16(benchmark::State& state) {
    std::uint16_t crc = tarvo::connection::kCrc16Start;
    Run(state, [&](std::string_view piece) { tarvo::connection::Crc16Update(piece, crc); });
    benchmark::DoNotOptimize(crc);
}
BENCHMARK(BM_Crc16)->Arg(4096)->Arg(65536);

void BM_Crc32(benchmark::State& state) {
    std::uint32_t crc = tarvo::connection::kCrc32Start;
    Run(state, [&](std::string_view piece) { tarvo::connection::Crc32Update(piece, crc); });
    benchmark::DoNotOptimize(crc);
}
BENCHMARK(BM_Crc32)->Arg(1024)->Arg(65536);

void BM_Md5(benchmark::State& state) {
    tarvo::connection::MD5Context context;
    Run(state, [&](std::string_view piece) { tarvo::connection::MD5Update(context, piece); });
    benchmark::DoNotOptimize(tarvo::connection::MD5Final(context));
}
BENCHMARK(BM_Md5)->Arg(4096)->Arg(65536);

}  // namespace
