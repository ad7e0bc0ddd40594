#include "platform/Clock.h"

#include <chrono>
#include <ctime>

namespace tarvo::platform {

std::uint64_t SteadyClock::SteadyMs() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::int64_t SteadyClock::UnixSeconds() const {
    const auto now = std::chrono::system_clock::now();
    return std::chrono::floor<std::chrono::seconds>(now).time_since_epoch().count();
}

std::int64_t SteadyClock::LocalSeconds() const {
    const std::int64_t now = UnixSeconds();
    const std::time_t t = static_cast<std::time_t>(now);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return now;
    return now + local.tm_gmtoff;
}

FakeClock::FakeClock(std::uint64_t steadyMs, std::int64_t unixSeconds)
    : steadyMs_(steadyMs), unixMs_(unixSeconds * 1000) {}

std::uint64_t FakeClock::SteadyMs() const {
    return steadyMs_.load();
}

std::int64_t FakeClock::UnixSeconds() const {
    const std::int64_t ms = unixMs_.load();
    // Round towards minus infinity so times before 1970 stay consistent.
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

void FakeClock::AdvanceMs(std::uint64_t ms) {
    steadyMs_.fetch_add(ms);
    unixMs_.fetch_add(static_cast<std::int64_t>(ms));
}

void FakeClock::SetSteadyMs(std::uint64_t ms) {
    steadyMs_.store(ms);
}

void FakeClock::SetUnixSeconds(std::int64_t seconds) {
    unixMs_.store(seconds * 1000);
}

std::int64_t FakeClock::LocalSeconds() const {
    return UnixSeconds() + localOffset_.load();
}

void FakeClock::SetLocalOffsetSeconds(std::int64_t offset) {
    localOffset_.store(offset);
}

}  // namespace tarvo::platform
