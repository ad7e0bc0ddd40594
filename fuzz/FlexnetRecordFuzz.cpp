// Monitor and frame records as the FlexNet driver hands them out, as arbitrary
// bytes: the record comes first, the data it points to after it. Whatever the
// counts and lengths in a record say, only the driver's bytes may be read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "devices/FlexnetApiU.h"
#include "fuzz/FuzzSupport.h"

namespace fx = tarvo::devices::flexnet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Exactly as large as the driver's records, so reading past them is caught.
    std::vector<std::uint8_t> record(fx::kMonRecordSize);
    std::memcpy(record.data(), data, std::min(size, record.size()));
    const std::size_t rest = size > record.size() ? size - record.size() : 0;
    // The driver's data buffer holds one frame's information at most: a
    // claimed length beyond it must not be read.
    std::vector<std::uint8_t> info(data + size - rest, data + size);
    info.resize(fx::kMaxInfo);
    const std::uint8_t* p = (record[0] & 1) ? nullptr : info.data();
    std::memcpy(record.data() + fx::kMonData, &p, sizeof p);
    const fx::TMonitorRecord m = fx::DecodeMonitorRecord(record.data());
    tarvo::fuzz::Check(m.data.size() <= fx::kMaxInfo);
    tarvo::fuzz::Check(m.frame.Von.size() <= 9 && m.frame.An.size() <= 9);
    tarvo::fuzz::Check(m.frame.Via.size() <= fx::kMaxDigis * 11);

    std::vector<std::uint8_t> frame(fx::kFrameRecordSize);
    std::memcpy(frame.data(), data, std::min(size, frame.size()));
    tarvo::fuzz::Check(fx::DecodeFrameRecord(frame.data()).size() <= fx::kMaxInfo);
    return 0;
}
