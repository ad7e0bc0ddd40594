// What a DIDADIT sender spends per byte besides the link: the file's MD5 and
// every block framed (CRC-16 and escapes), over a file-sized buffer in blocks
// of the default size; and the receiver's side of it, splitting and decoding.
// Goal: well over 200 MB/s for encode + CRC + MD5.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "connection/MD5U.h"
#include "connection/VerbindungDidaditU.h"

namespace {

using namespace tarvo::connection;

const std::string& Data() {
    static const std::string data = [] {
        std::string s(4 << 20, '\0');
        std::uint32_t x = 1;
        for (auto& ch : s) {
            x = x * 1103515245u + 12345u;
            ch = static_cast<char>(x >> 24);
        }
        return s;
    }();
    return data;
}

void BM_DidaditEncodeCrcMd5(benchmark::State& state) {
    const std::string& data = Data();
    const auto blockSize = static_cast<std::size_t>(state.range(0));
    std::string frames;
    for (auto _ : state) {
        MD5Context context;
        MD5Update(context, data);
        const MD5Digest identity = MD5Final(context);
        for (std::size_t at = 0; at < data.size(); at += blockSize) {
            frames.clear();
            const std::string_view bytes = std::string_view(data).substr(at, blockSize);
            EncodeDidaditBlock(kDidaditData, identity,
                               DidaditDataPayload(static_cast<std::int32_t>(at), bytes), frames);
            benchmark::DoNotOptimize(frames.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_DidaditEncodeCrcMd5)->Arg(kDidaditDefaultBlockSize)->Arg(kDidaditMaxBlockSize);

void BM_DidaditSplitDecode(benchmark::State& state) {
    const std::string& data = Data();
    std::string stream;
    const MD5Digest identity = MD5Of("x");
    for (std::size_t at = 0; at < data.size(); at += kDidaditDefaultBlockSize)
        EncodeDidaditBlock(
            kDidaditData, identity,
            DidaditDataPayload(static_cast<std::int32_t>(at),
                               std::string_view(data).substr(at, kDidaditDefaultBlockSize)),
            stream);
    TDidaditBlock block;
    for (auto _ : state) {
        TDidaditSplitter splitter;
        // In link-sized pieces, as the receive queue hands them over.
        for (std::size_t at = 0; at < stream.size(); at += 256) {
            splitter.Append(std::string_view(stream).substr(at, 256));
            while (const auto body = splitter.Next())
                benchmark::DoNotOptimize(DecodeDidaditBlock(*body, block));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_DidaditSplitDecode);

}  // namespace
