// Any received lines through the PGP block collector on a stand-in engine: no
// crash, the buffer stays within its bound, and every block the engine gets
// begins with a begin line and ends with an end line.
//
// Input: byte 0 flags (bit 0 import keys, bit 1 the engine fails, bit 2 feed
// the data 300 times, so blocks pass the bound); the rest is the data, cut
// after each CR as the terminal text module cuts it.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "connection/PGPCheckU.h"
#include "fuzz/FuzzSupport.h"

using namespace tarvo;

namespace {

bool engineFails = false;

class StandInPGP final : public core::IPGP {
  public:
    std::string Decode(std::string_view block) override {
        const std::string_view body = block.substr(block.find_first_not_of('\n'));
        fuzz::Check(body.starts_with("-----BEGIN PGP "));
        fuzz::Check(block.back() == '\r');
        fuzz::Check(block.find("-----END PGP ") != std::string_view::npos);
        if (engineFails) throw std::runtime_error("kaputt");
        return "ok\r";
    }
    std::vector<core::TPGPKey> GetPrivateKeys() override { return {}; }
    std::string Sign(std::string_view, std::string_view, std::string_view,
                     std::string_view) override {
        return {};
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t flags = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    engineFails = (flags & 2) != 0;
    core::SetPGPFactory([] { return std::make_unique<StandInPGP>(); });
    connection::TPGPCheck check([flags] { return (flags & 1) != 0; });
    const int rounds = (flags & 4) ? 300 : 1;
    std::size_t longest = 0;
    for (int r = 0; r < rounds; ++r) {
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t cr = text.find('\r', start);
            if (cr == std::string_view::npos) cr = text.size() - 1;
            const std::string_view line = text.substr(start, cr + 1 - start);
            longest = std::max(longest, line.size());
            check.Receive(line, "DL1ABC");
            fuzz::Check(check.BufferSize() <= connection::kMaxPGPBlock + longest);
            start = cr + 1;
        }
    }
    return 0;
}
