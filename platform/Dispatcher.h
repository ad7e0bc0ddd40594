// The main-thread dispatcher: how worker threads get work done on the main thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "platform/Event.h"

namespace tarvo::platform {

class IDispatcher {
  public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t;
    enum class CallResult {
        Done,     // the task ran to its end
        Failed,   // the task threw; the exception went to the exception handler
        Refused,  // shutdown has begun: the task did not run
    };

    virtual ~IDispatcher() = default;

    virtual bool IsMainThread() const = 0;

    // Queues a task for the main thread and returns at once. False once the
    // dispatcher is gone or refuses work.
    virtual bool Post(Task task) = 0;

    // Runs the task on the main thread and waits for it. On the main thread it is
    // a direct call. From a worker it blocks until the main thread has run it, and
    // returns Refused at once when shutdown begins first.
    virtual CallResult Call(const Task& task) = 0;

    // Main-thread timers. A periodic timer fires every interval until stopped;
    // a single-shot timer fires once. Start and stop them on the main thread.
    virtual TimerId StartTimer(std::chrono::milliseconds interval, bool periodic, Task task) = 0;
    virtual void StopTimer(TimerId id) = 0;

    // From here on every Call from a worker fails at once, also those waiting.
    virtual void BeginShutdown() = 0;
    virtual bool ShuttingDown() const = 0;

    // On the main thread: runs the tasks queued so far; returns how many ran.
    virtual std::size_t RunPending() = 0;

    // On the main thread: waits like WaitAny and meanwhile runs the tasks that
    // workers queue, so a worker blocked in Call cannot deadlock the wait.
    virtual WaitResult WaitServing(std::span<Event* const> events,
                                   std::chrono::milliseconds timeout) = 0;

    // Receives exceptions that escape posted and called tasks.
    virtual void SetExceptionHandler(std::function<void(std::exception_ptr)> handler) = 0;
};

// The queue, the blocking call and the shutdown rule, shared by the Qt dispatcher
// and the plain loop. A subclass wakes its loop and runs timers.
class DispatcherCore : public IDispatcher {
  public:
    DispatcherCore();
    ~DispatcherCore() override;

    bool IsMainThread() const override;
    bool Post(Task task) override;
    CallResult Call(const Task& task) override;
    void BeginShutdown() override;
    bool ShuttingDown() const override;
    std::size_t RunPending() override;
    WaitResult WaitServing(std::span<Event* const> events,
                           std::chrono::milliseconds timeout) override;
    void SetExceptionHandler(std::function<void(std::exception_ptr)> handler) override;

  protected:
    // Called from any thread after a task was queued. The loop must then call
    // RunPending on the main thread soon.
    virtual void Wake() = 0;
    // Runs a task and routes an escaping exception to the handler.
    bool RunGuarded(const Task& task);
    Event& Pending() { return pending_; }

  private:
    struct CallState;
    struct Item {
        Task task;                        // for Post
        std::shared_ptr<CallState> call;  // for Call
    };

    const std::thread::id mainThread_;
    std::atomic<bool> shutdown_{false};
    mutable std::mutex mutex_;
    std::condition_variable callDone_;
    std::deque<Item> queue_;
    Event pending_{Event::Manual};
    std::mutex handlerMutex_;
    std::function<void(std::exception_ptr)> handler_;
};

// A plain loop on the thread that creates it, for tests and tools without Qt.
class LoopDispatcher final : public DispatcherCore {
  public:
    TimerId StartTimer(std::chrono::milliseconds interval, bool periodic, Task task) override;
    void StopTimer(TimerId id) override;

    // Runs queued tasks and due timers until the time has passed.
    void RunFor(std::chrono::milliseconds duration);
    // Runs until the predicate holds (checked after every step) or the time-out.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  protected:
    void Wake() override {}

  private:
    struct Timer {
        std::chrono::steady_clock::time_point due;
        std::chrono::milliseconds interval;
        bool periodic;
        Task task;
    };
    // Runs due timers; returns the time of the next one.
    std::chrono::steady_clock::time_point RunTimers();

    TimerId nextId_ = 1;
    std::map<TimerId, Timer> timers_;
};

}  // namespace tarvo::platform
