#include "tests/support/TncSimulatorAutobin.h"

#include <cstdio>

#include "connection/CrcU.h"

namespace tarvo::test {

namespace {

// Answers are short; anything longer without a line end is not one.
constexpr std::size_t kMaxInput = 4096;

}  // namespace

SimAutobinSender::SimAutobinSender(std::string name, std::string data)
    : name_(std::move(name)), data_(std::move(data)) {}

std::string SimAutobinSender::Announce() const {
    // 1 January 2026, 12:00, as DOS packs it.
    constexpr unsigned kDate = ((2026 - 1980) << 9 | 1 << 5 | 1) << 16 | 12 << 11;
    char date[9];
    std::snprintf(date, sizeof date, "%08X", kDate);
    return "#BIN#" + std::to_string(data_.size()) + "#|" +
           std::to_string(connection::Crc16(data_)) + "#$" + date + "#" + name_ + "\r";
}

std::string SimAutobinSender::Receive(std::string_view bytes) {
    if (done_) return {};
    in_.append(bytes);
    std::size_t cr;
    while ((cr = in_.find('\r')) != std::string::npos) {
        const std::string line = in_.substr(0, cr);
        in_.erase(0, cr + 1);
        if (line.starts_with("#OK#")) {
            done_ = sent_ = true;
            return data_;
        }
        if (line.starts_with("#NO#") || line.starts_with("#ABORT#")) {
            done_ = true;
            return {};
        }
    }
    if (in_.size() > kMaxInput) in_.clear();
    return {};
}

}  // namespace tarvo::test
