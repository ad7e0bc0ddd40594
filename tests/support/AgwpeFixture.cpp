#include "tests/support/AgwpeFixture.h"

#include <fstream>
#include <sstream>

namespace tarvo::test {

std::vector<RecordedAgwpeFrame> ReadAgwpeFixture(const std::string& name) {
    std::vector<RecordedAgwpeFrame> out;
    std::ifstream in(std::string(TARVO_TEST_FIXTURES) + "/" + name);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        // "+SSS.mmm <station> <dir> | <hex> | <decoded>"
        std::istringstream words(line);
        std::string time, station, dir;
        words >> time >> station >> dir;
        const std::size_t a = line.find(" | ");
        const std::size_t b = a == std::string::npos ? a : line.find(" | ", a + 3);
        if (b == std::string::npos) continue;
        std::istringstream hex(line.substr(a + 3, b - a - 3));
        std::string bytes, h;
        while (hex >> h) bytes += static_cast<char>(std::stoi(h, nullptr, 16));
        devices::agwpe::TReader reader;
        reader.Append(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        RecordedAgwpeFrame r{std::stod(time), station, dir == "S>H", {}};
        if (reader.Next(r.frame) == devices::agwpe::TReader::Result::Frame)
            out.push_back(std::move(r));
    }
    return out;
}

}  // namespace tarvo::test
