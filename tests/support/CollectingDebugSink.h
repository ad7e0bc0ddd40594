// A debug-log sink that keeps every line, for tests of what gets logged.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/DebOutU.h"

namespace tarvo::test {

class CollectingDebugSink : public core::IDebugSink {
  public:
    void Write(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace tarvo::test
