// Sounds that only note which events were asked for, in order.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "core/InterfacesU.h"

namespace tarvo::test {

class RecordingKlaenge final : public core::IKlaenge {
  public:
    bool Play(int event, const std::shared_ptr<core::IVerbindung>&) override {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        return true;
    }
    std::vector<int> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<int> events_;
};

}  // namespace tarvo::test
