// Split-set parts laid out byte for byte as a sending station writes them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::test {

struct SplitSet {
    std::string fileName = "data.bin";
    std::string date = "20261210203000";
    std::size_t partSize = 1000;
};

// The content of part files 1..n (index 0 is part 1).
std::vector<std::string> MakeSplitParts(std::string_view data, const SplitSet& set);

// One part with the header text given as is (its CRC line made to match), for
// hostile headers: the data and both CRC lines follow as for a real part.
std::string MakeSplitPart(std::string_view headerText, std::string_view data,
                          std::string_view runningCrcLine = "00000000\n");

}  // namespace tarvo::test
