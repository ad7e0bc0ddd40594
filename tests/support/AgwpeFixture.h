// The frames of a recorded AGWPE transcript (tests/support/fixtures), in order.
#pragma once

#include <string>
#include <vector>

#include "devices/AgwpeU.h"

namespace tarvo::test {

struct RecordedAgwpeFrame {
    double seconds = 0;       // since the capture started
    std::string station;      // "A", "L", ...
    bool fromEngine = false;  // "S>H"
    devices::agwpe::TFrame frame;
};

// Empty when the file cannot be read.
std::vector<RecordedAgwpeFrame> ReadAgwpeFixture(const std::string& name);

}  // namespace tarvo::test
