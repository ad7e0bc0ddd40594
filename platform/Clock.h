#pragma once

// Time sources. Code that waits or stamps takes an IClock so that tests can drive
// time by hand with FakeClock.

#include <atomic>
#include <cstdint>

namespace tarvo::platform {

class IClock {
  public:
    virtual ~IClock() = default;
    // Monotonic milliseconds from an arbitrary origin; never goes back.
    virtual std::uint64_t SteadyMs() const = 0;
    // Wall-clock seconds since 1970-01-01 00:00 UTC; may jump when the user sets the clock.
    virtual std::int64_t UnixSeconds() const = 0;
    // The wall clock in the local time zone, as seconds counted like UnixSeconds.
    virtual std::int64_t LocalSeconds() const { return UnixSeconds(); }
};

class SteadyClock final : public IClock {
  public:
    std::uint64_t SteadyMs() const override;
    std::int64_t UnixSeconds() const override;
    std::int64_t LocalSeconds() const override;
};

// Time that moves only when told. Every member may be called from any thread.
class FakeClock final : public IClock {
  public:
    explicit FakeClock(std::uint64_t steadyMs = 0, std::int64_t unixSeconds = 0);

    std::uint64_t SteadyMs() const override;
    std::int64_t UnixSeconds() const override;
    // UnixSeconds plus the offset set for the local time zone (default 0).
    std::int64_t LocalSeconds() const override;
    void SetLocalOffsetSeconds(std::int64_t offset);

    // Moves both clocks forward; the wall clock keeps the milliseconds, so ten
    // steps of 100 ms advance it by one second.
    void AdvanceMs(std::uint64_t ms);
    void SetSteadyMs(std::uint64_t ms);
    // Sets only the wall clock, as when the user corrects the system time.
    void SetUnixSeconds(std::int64_t seconds);

  private:
    std::atomic<std::uint64_t> steadyMs_;
    std::atomic<std::int64_t> unixMs_;
    std::atomic<std::int64_t> localOffset_{0};
};

}  // namespace tarvo::platform
