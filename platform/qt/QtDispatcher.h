// The dispatcher of the program: tasks and timers run in Qt's event loop.
#pragma once

#include <memory>

#include "platform/Dispatcher.h"

namespace tarvo::platform {

// Create it on the main thread after the QCoreApplication.
class QtDispatcher final : public DispatcherCore {
  public:
    QtDispatcher();
    ~QtDispatcher() override;

    TimerId StartTimer(std::chrono::milliseconds interval, bool periodic, Task task) override;
    void StopTimer(TimerId id) override;

  protected:
    void Wake() override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarvo::platform
