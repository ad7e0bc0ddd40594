// The link values of one connection, and how the channel turns them into the
// status bar panels. Devices set the values from their threads; the channel
// showing the connection is asked to refresh at most every 100 ms.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/InterfacesU.h"
#include "platform/Dispatcher.h"

namespace tarvo::channels {

// Delay between a change and the refresh it asks for; bursts within it coalesce.
inline constexpr std::chrono::milliseconds kStatusRefreshDelay{100};

// Create with std::make_shared: posted work and the timer hold a weak_ptr to it.
// The dispatcher must outlive the status.
class TStatus final : public core::IStatus, public std::enable_shared_from_this<TStatus> {
  public:
    explicit TStatus(platform::IDispatcher& mainDispatcher);
    ~TStatus() override;
    TStatus(const TStatus&) = delete;
    TStatus& operator=(const TStatus&) = delete;

    // Stops displaying for good; any thread. Later setters are a programming error.
    void Release() override;
    std::shared_ptr<core::IKanal> GetDisplay() const override;
    // Held weakly: the channel owns the connection that owns this status. Attach
    // before the channel's full refresh: changes made while nobody displays the
    // status request no refresh.
    void SetDisplay(const std::shared_ptr<core::IKanal>& display) override;

    std::int32_t GetUnacked() const override { return Get(kUnacked); }
    void SetUnacked(std::int32_t value) override { Set(kUnacked, value); }
    bool UnackedChanged() const override { return Changed(kUnacked); }
    std::int32_t GetTries() const override { return Get(kTries); }
    void SetTries(std::int32_t value) override { Set(kTries, value); }
    bool TriesChanged() const override { return Changed(kTries); }
    std::int32_t GetFrack() const override { return Get(kFrack); }
    void SetFrack(std::int32_t value) override { Set(kFrack, value); }
    bool FrackChanged() const override { return Changed(kFrack); }
    std::int32_t GetMaxFrame() const override { return Get(kMaxFrame); }
    void SetMaxFrame(std::int32_t value) override { Set(kMaxFrame, value); }
    bool MaxFrameChanged() const override { return Changed(kMaxFrame); }
    std::int32_t GetLinkFlags() const override { return Get(kLinkFlags); }
    void SetLinkFlags(std::int32_t value) override { Set(kLinkFlags, value); }
    bool LinkFlagsChanged() const override { return Changed(kLinkFlags); }
    std::int32_t GetThroughput() const override { return Get(kThroughput); }
    void SetThroughput(std::int32_t value) override { Set(kThroughput, value); }
    bool ThroughputChanged() const override { return Changed(kThroughput); }

  private:
    enum TIndex : std::size_t { kUnacked, kTries, kFrack, kMaxFrame, kLinkFlags, kThroughput };
    struct TValue {
        std::int32_t value;
        bool changed;
    };

    std::int32_t Get(TIndex i) const;
    bool Changed(TIndex i) const;
    void Set(TIndex i, std::int32_t value);
    void PostRefreshRequest();
    // Main thread only.
    void ArmTimer();
    void TimerFired();
    void StopTimerIfDetached();
    void StopTimerOnMainThread();

    platform::IDispatcher& dispatcher_;

    mutable std::mutex mutex_;
    bool released_ = false;
    bool requestPosted_ = false;
    std::weak_ptr<core::IKanal> display_;
    std::array<TValue, 6> values_{
        {{-1, false}, {-1, false}, {-1, false}, {-1, false}, {-1, false}, {0, false}}};

    // Touched on the main thread only (and in the destructor, which runs alone).
    bool timerArmed_ = false;
    platform::IDispatcher::TimerId timerId_ = 0;
};

// The effective throughput of one link: the bytes it moved, sampled now and
// then, in bits per second over a window of the recent past. Measured from
// where the traffic in the window began, so a burst shows its own speed.
class TThroughputMeter {
  public:
    explicit TThroughputMeter(std::uint64_t windowMs) : windowMs_(windowMs) {}
    // Bytes the link moved at nowMs; the first ones start the measurement.
    void Count(std::size_t bytes, std::uint64_t nowMs) {
        if (samples_.empty()) samples_.emplace_back(nowMs, bytes_);
        bytes_ += bytes;
    }
    // Bits per second over the window, after adding a sample at nowMs.
    std::int32_t Sample(std::uint64_t nowMs);

  private:
    std::uint64_t windowMs_;
    std::uint64_t bytes_ = 0;
    std::deque<std::pair<std::uint64_t, std::uint64_t>> samples_;  // (ms, bytes)
};

// Panel 2's text: "9.60kbit/s", "57.6kbit/s", "300bit/s"; "" for 0 or less.
std::string FormatThroughput(std::int32_t bitsPerSecond);

// The widest texts status bar panel 0..8 can hold (panel 1, the file name,
// none: it stretches and loses its middle), for sizing the panels.
std::vector<std::string> StatusPanelSamples(int panel);

// Status bar panels 0..8; nullopt leaves a panel as it is.
struct TStatusPanels {
    std::array<std::optional<std::string>, 9> panel;
};

// Panels 2..7 from the link values: every one when full, otherwise those whose
// value has ever changed.
TStatusPanels FormatStatusPanels(const core::IStatus& status, bool full);

}  // namespace tarvo::channels
