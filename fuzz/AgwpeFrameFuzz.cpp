// What an engine sends, as arbitrary bytes: the frame reader cuts it into
// frames in pieces of every size, and every frame's data goes through the
// parsers of port lists, monitored frames and notices. Nothing may crash, and a
// frame may never be larger than the reader allows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "devices/AgwpeU.h"

using namespace tarvo::devices::agwpe;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses how the stream is cut, as the network would.
    const std::size_t piece = 1 + data[0] % 64;
    TReader reader;
    tarvo::channels::TMonitorFrame monitor;
    for (std::size_t pos = 1; pos < size; pos += piece) {
        reader.Append(data + pos, std::min(piece, size - pos));
        for (;;) {
            TFrame f;
            const TReader::Result r = reader.Next(f);
            if (r == TReader::Result::TooLarge) return 0;
            if (r == TReader::Result::NeedMore) break;
            if (f.data.size() > kMaxDataLen || f.callFrom.size() > kCallField ||
                f.callTo.size() > kCallField)
                std::abort();
            ParsePortList(f.data, 33);
            // The information is a part of this frame's data, never more.
            if (ParseMonitor(f.data, 1, monitor) && monitor.Daten.size() > f.data.size())
                std::abort();
            DisconnectReason(f.data);
            IsOutgoingNotice(f.data);
            SameCall(f.callFrom, f.callTo);
            ReadU32(f.data);
        }
        if (reader.Buffered() > kHeaderSize + kMaxDataLen) std::abort();
    }
    return 0;
}
