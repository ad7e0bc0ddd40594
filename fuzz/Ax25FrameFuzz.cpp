// Raw AX.25 frames as an engine hands them on, as arbitrary bytes: the decoder
// reads a stream of them (so it learns links as it goes) and what it gives
// the monitor stays within the frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "devices/Ax25FrameU.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tarvo::devices::ax25::TDecoder decoder;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tarvo::channels::TMonitorFrame f;
    if (!decoder.Decode(bytes, 1, 1, f)) return 0;
    if (f.Daten.size() >= size || f.Von.empty() || f.An.empty() || f.Von.size() > 9 ||
        f.An.size() > 9 || f.Via.size() > 8 * 11)
        std::abort();
    return 0;
}
