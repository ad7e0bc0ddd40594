// A sound output that records what it is given; it can hold the player in its
// first write until the test releases it, and can act as a missing device.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "platform/Sound.h"

namespace tarvo::test {

class FakeSoundOutput final : public platform::ISoundOutput {
  public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool hold = false;      // writes block while set
        bool writing = false;   // a write is blocked now
        bool noDevice = false;  // Begin fails
        int begins = 0;
        int ends = 0;
        int rate = 0;
        int channels = 0;
        std::vector<std::int16_t> samples;
    };

    explicit FakeSoundOutput(std::shared_ptr<Shared> shared) : s_(std::move(shared)) {}

    bool Begin(int rate, int channels) override {
        std::lock_guard lock(s_->mutex);
        if (s_->noDevice || aborted_) return false;
        ++s_->begins;
        s_->rate = rate;
        s_->channels = channels;
        return true;
    }
    bool Write(std::span<const std::int16_t> data) override {
        std::unique_lock lock(s_->mutex);
        s_->samples.insert(s_->samples.end(), data.begin(), data.end());
        s_->writing = true;
        s_->changed.notify_all();
        s_->changed.wait(lock, [this] { return !s_->hold || aborted_; });
        s_->writing = false;
        return !aborted_;
    }
    void End(bool) override {
        std::lock_guard lock(s_->mutex);
        ++s_->ends;
        s_->changed.notify_all();
    }
    void Abort() override {
        std::lock_guard lock(s_->mutex);
        aborted_ = true;
        s_->changed.notify_all();
    }

  private:
    std::shared_ptr<Shared> s_;
    bool aborted_ = false;  // guarded by s_->mutex
};

// Holds the player in its write until the test lets go.
inline void WaitUntilWriting(FakeSoundOutput::Shared& s) {
    std::unique_lock lock(s.mutex);
    s.changed.wait(lock, [&] { return s.writing; });
}
inline void Release(FakeSoundOutput::Shared& s) {
    std::lock_guard lock(s.mutex);
    s.hold = false;
    s.changed.notify_all();
}

}  // namespace tarvo::test
