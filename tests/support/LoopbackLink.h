// Two connections joined by an in-memory link, standing in for two devices on
// one radio channel. Each item one side puts on its link send queue arrives as
// one item at the other side (frame boundaries kept, order kept), after an
// optional delay. The link can be ended in order or dropped.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "connection/VerbindungU.h"
#include "platform/Event.h"

namespace tarvo::test {

class TLoopbackLink final : public core::IGeraetFuerVerbindung,
                            public std::enable_shared_from_this<TLoopbackLink> {
  public:
    // a calls b. Both contexts may be the same.
    static std::shared_ptr<TLoopbackLink> Create(const connection::TVerbindungContext& a,
                                                 const connection::TVerbindungContext& b);
    ~TLoopbackLink() override;

    connection::TVerbindung& A() { return *a_; }
    connection::TVerbindung& B() { return *b_; }
    std::shared_ptr<connection::TVerbindung> SharedA() { return a_; }
    std::shared_ptr<connection::TVerbindung> SharedB() { return b_; }

    // Both ends come up: a outgoing, b incoming with its greeting.
    void Connect();
    // Every frame waits this long on the way.
    void SetDelay(std::chrono::milliseconds delay) { delayMs_.store(delay.count()); }
    // The link fails: both ends learn it (reason 1) from the link's thread.
    void Drop();
    // Sees (and may change) every frame on its way; fromA tells the direction.
    // Set it before the link carries frames.
    void SetFilter(std::function<void(bool fromA, std::string& frame)> filter) {
        filter_ = std::move(filter);
    }
    // Frames carried so far, in both directions.
    int Frames() const { return frames_.load(); }
    // Whether both ends have been told the link is gone.
    bool Down() const { return down_.load(); }
    // Stops carrying frames and ends the link's thread; the ends stay as they
    // are. The main thread must not be needed by an end still going down.
    void Stop();

    // The device side: a disconnect request ends the link for both sides.
    void Trenne(const std::shared_ptr<core::IVerbindung>& verbindung) override;
    void PactorBreakIn(const std::shared_ptr<core::IVerbindung>&) override {}
    void PactorChangeover(const std::shared_ptr<core::IVerbindung>&) override {}

  private:
    TLoopbackLink() = default;
    void Pump();
    void EndBoth(std::uint8_t reason);

    std::shared_ptr<connection::TVerbindung> a_, b_;
    std::thread thread_;
    platform::Event wake_{platform::Event::Auto};
    std::atomic<bool> stop_{false};
    std::atomic<bool> dropRequested_{false};
    std::atomic<bool> endRequested_{false};
    std::atomic<bool> ending_{false};
    std::atomic<bool> down_{false};
    std::atomic<long long> delayMs_{0};
    std::atomic<int> frames_{0};
    std::function<void(bool, std::string&)> filter_;
};

}  // namespace tarvo::test
