// Turns SIGTERM, SIGINT and SIGHUP into a call on the main thread.
#pragma once

#include <functional>
#include <memory>

namespace tarvo::platform {

class SignalWatcher {
  public:
    // Create on the main thread after the QCoreApplication; one at a time.
    explicit SignalWatcher(std::function<void(int signal)> onSignal);
    ~SignalWatcher();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarvo::platform
