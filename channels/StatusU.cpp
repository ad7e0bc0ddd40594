#include "channels/StatusU.h"

#include <charconv>
#include <string_view>
#include <system_error>

#include "channels/KanalU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"

namespace tarvo::channels {

TStatus::TStatus(platform::IDispatcher& mainDispatcher) : dispatcher_(mainDispatcher) {}

TStatus::~TStatus() {
    // Off the main thread the timer cannot be stopped here; it finds the weak
    // pointer expired and does nothing.
    if (timerArmed_ && dispatcher_.IsMainThread()) dispatcher_.StopTimer(timerId_);
}

void TStatus::Release() {
    {
        std::lock_guard lock(mutex_);
        if (released_) return;
        released_ = true;
        display_.reset();
    }
    StopTimerOnMainThread();
}

std::shared_ptr<core::IKanal> TStatus::GetDisplay() const {
    std::lock_guard lock(mutex_);
    return display_.lock();
}

void TStatus::SetDisplay(const std::shared_ptr<core::IKanal>& display) {
    {
        std::lock_guard lock(mutex_);
        // A channel detaching from a connection that already ended is normal.
        if (released_) return;
        display_ = display;
    }
    if (!display) StopTimerOnMainThread();
}

std::int32_t TStatus::Get(TIndex i) const {
    std::lock_guard lock(mutex_);
    return values_[i].value;
}

bool TStatus::Changed(TIndex i) const {
    std::lock_guard lock(mutex_);
    return values_[i].changed;
}

void TStatus::Set(TIndex i, std::int32_t value) {
    {
        std::lock_guard lock(mutex_);
        TARVO_ASSERT(!released_, "StatusU");
        TValue& v = values_[i];
        if (v.value == value) return;
        v.value = value;
        v.changed = true;
        // One request in flight covers every change until it has run.
        if (requestPosted_ || display_.expired()) return;
        requestPosted_ = true;
    }
    PostRefreshRequest();
}

void TStatus::PostRefreshRequest() {
    std::weak_ptr<TStatus> weak = weak_from_this();
    // Not made by make_shared: nothing could reach it from the main thread.
    TARVO_ASSERT(!weak.expired(), "StatusU");
    const bool posted = dispatcher_.Post([weak] {
        if (auto self = weak.lock()) self->ArmTimer();
    });
    if (!posted) {
        // Let a later change try again.
        std::lock_guard lock(mutex_);
        requestPosted_ = false;
    }
}

void TStatus::ArmTimer() {
    {
        std::lock_guard lock(mutex_);
        requestPosted_ = false;
        if (released_ || display_.expired() || timerArmed_) return;
    }
    std::weak_ptr<TStatus> weak = weak_from_this();
    timerId_ = dispatcher_.StartTimer(kStatusRefreshDelay, false, [weak] {
        if (auto self = weak.lock()) self->TimerFired();
    });
    timerArmed_ = true;
}

void TStatus::TimerFired() {
    // Disarmed before the refresh, so a change during it arms the next one.
    timerArmed_ = false;
    std::shared_ptr<core::IKanal> display;
    {
        std::lock_guard lock(mutex_);
        if (released_) return;
        display = display_.lock();
    }
    // Outside the lock: the display reads the values through the getters.
    if (display) display->RefreshStatusBar();
}

void TStatus::StopTimerIfDetached() {
    if (!timerArmed_) return;
    {
        std::lock_guard lock(mutex_);
        // Attached again since the stop was posted: let the refresh happen.
        if (!released_ && !display_.expired()) return;
    }
    dispatcher_.StopTimer(timerId_);
    timerArmed_ = false;
}

void TStatus::StopTimerOnMainThread() {
    if (dispatcher_.IsMainThread()) {
        StopTimerIfDetached();
        return;
    }
    std::weak_ptr<TStatus> weak = weak_from_this();
    dispatcher_.Post([weak] {
        if (auto self = weak.lock()) self->StopTimerIfDetached();
    });
}

namespace {

// Appends a number as std::to_chars writes it: never a locale's digits or marks.
void AppendInt(std::string& out, std::int32_t value) {
    char buffer[16];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
}

// Fixed notation with the given decimals, rounded from the binary value exactly
// as printf's "%.<n>f" rounds.
void AppendFixed(std::string& out, double value, int decimals) {
    char buffer[64];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (r.ec == std::errc()) out.append(buffer, r.ptr);
}

std::string Prefixed(std::string_view prefix, std::int32_t value) {
    std::string s(prefix);
    AppendInt(s, value);
    return s;
}

std::string TriesText(std::int32_t v) {
    return v < 0 ? std::string() : Prefixed("T", v);
}

std::string UnackedText(std::int32_t v) {
    if (v < 0) return {};
    return Prefixed(v < 100 ? "U" : "", v);
}

std::string FrackText(std::int32_t v) {
    if (v < 0) return {};
    return v == 0 ? std::string("dama") : Prefixed("F", v);
}

std::string MaxFrameText(std::int32_t v) {
    return v < 0 ? std::string() : Prefixed("M", v);
}

std::string LinkFlagsText(std::int32_t v) {
    if (v < 0) return {};
    std::string s;
    switch (v & 0x07) {
        case 3:
            s = "frmr ";
            break;
        case 6:
            s = "reject ";
            break;
        case 7:
            s = "polling ";
            break;
        default:
            break;
    }
    if (v & 0x08) s += "busy ";
    if (v & 0x10) s += "rbusy ";
    if (!s.empty()) s.pop_back();
    return s;
}

}  // namespace

std::int32_t TThroughputMeter::Sample(std::uint64_t nowMs) {
    Count(0, nowMs);
    if (nowMs < samples_.back().first) samples_.clear();  // the clock went back
    samples_.emplace_back(nowMs, bytes_);
    while (samples_.size() > 2 && nowMs - samples_[1].first >= windowMs_) samples_.pop_front();
    while (samples_.size() > 2 && samples_[1].second == samples_[0].second) samples_.pop_front();
    const auto& [t0, b0] = samples_.front();
    if (nowMs <= t0) return 0;
    const std::uint64_t bits = (bytes_ - b0) * 8 * 1000 / (nowMs - t0);
    return static_cast<std::int32_t>(std::min<std::uint64_t>(bits, INT32_MAX));
}

std::string FormatThroughput(std::int32_t bitsPerSecond) {
    if (bitsPerSecond <= 0) return {};
    double value = bitsPerSecond;
    std::string_view unit;
    if (bitsPerSecond >= 1000000) {
        value /= 1000000.0;
        unit = "M";
    } else if (bitsPerSecond >= 1000) {
        value /= 1000.0;
        unit = "k";
    }
    // The widths of "%3.0f", "%2.1f" and "%1.2f" never pad in these ranges.
    const int decimals = value >= 100.0 ? 0 : value >= 10.0 ? 1 : 2;
    std::string s;
    AppendFixed(s, value, decimals);
    s += unit;
    s += "bit/s";
    return s;
}

std::vector<std::string> StatusPanelSamples(int panel) {
    // The ranges the devices report: retries and windows below 256 (modulo-128
    // links), FRACK below 100 s, any throughput an int holds.
    switch (panel) {
        case 0: {
            std::vector<std::string> out{core::Tr("TKanal", "Monitor")};
            for (std::uint8_t state = 0; state < 4; ++state) out.emplace_back(LinkStateText(state));
            return out;
        }
        case 2:
            return {FormatThroughput(99'900), FormatThroughput(999'000),
                    FormatThroughput(99'900'000), FormatThroughput(2'147'483'647)};
        case 3:
            return {TriesText(255)};
        case 4:
            return {UnackedText(99), UnackedText(255)};
        case 5:
            return {FrackText(0), FrackText(999)};
        case 6:
            return {MaxFrameText(255)};
        case 7:
            return {LinkFlagsText(0x1B), LinkFlagsText(0x1E), LinkFlagsText(0x1F)};
        case 8:
            return {"WWWWWW-15", "MMMMMM-15"};
        default:
            return {};
    }
}

TStatusPanels FormatStatusPanels(const core::IStatus& status, bool full) {
    TStatusPanels p;
    if (full || status.TriesChanged()) p.panel[3] = TriesText(status.GetTries());
    if (full || status.UnackedChanged()) p.panel[4] = UnackedText(status.GetUnacked());
    if (full || status.FrackChanged()) p.panel[5] = FrackText(status.GetFrack());
    if (full || status.MaxFrameChanged()) p.panel[6] = MaxFrameText(status.GetMaxFrame());
    if (full || status.LinkFlagsChanged()) p.panel[7] = LinkFlagsText(status.GetLinkFlags());
    if (full || status.ThroughputChanged()) p.panel[2] = FormatThroughput(status.GetThroughput());
    return p;
}

}  // namespace tarvo::channels
