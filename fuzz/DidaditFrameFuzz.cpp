// Received data as the transfer modules cut it into blocks: the splitter fed in
// pieces of any size, each body decoded, and the payload parsers on what comes
// out. Every block that decodes encodes back to a frame that decodes the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "connection/VerbindungDidaditU.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvo::connection;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    // The first byte chooses the piece size the data arrives in.
    const std::size_t piece = input.empty() ? 1 : static_cast<std::uint8_t>(input[0]) % 64 + 1;
    TDidaditSplitter splitter;
    TDidaditBlock block;
    for (std::size_t at = 0; at < input.size(); at += piece) {
        splitter.Append(input.substr(at, piece));
        while (const auto body = splitter.Next()) {
            if (body->empty() || body->size() > kMaxFrameBody) std::abort();
            if (body->find(kFrameEnd) != std::string_view::npos) std::abort();
            if (!DecodeDidaditBlock(*body, block)) continue;
            const std::string frame = EncodeDidaditBlock(block.type, block.identity, block.payload);
            const auto again =
                DecodeDidaditBlock(std::string_view(frame).substr(1, frame.size() - 2));
            if (!again || again->type != block.type || again->payload != block.payload ||
                again->identity != block.identity)
                std::abort();
            if (block.type == kDidaditData) {
                if (const auto d = ParseDidaditData(block.payload);
                    d && d->bytes.size() != d->length)
                    std::abort();
            }
            if (block.type == kDidaditReq) (void)ParseDidaditRequests(block.payload);
            if (block.type == kDidaditInfo || block.type == kDidaditStart)
                (void)ParseDidaditLines(block.payload);
            if (block.type == kDidaditErr) (void)DidaditErrIsWarning(block.payload);
        }
        if (splitter.Pending() > kMaxFrameBody + piece) std::abort();
    }
    return 0;
}
