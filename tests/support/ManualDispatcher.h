// A main-thread dispatcher for tests, driven by hand.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Dispatcher.h"

namespace tarvo::test {

// A main-thread dispatcher the test drives by hand: posted tasks wait until run,
// timers until fired, and every timer start and stop is recorded.
class ManualDispatcher final : public platform::IDispatcher {
  public:
    struct Timer {
        std::chrono::milliseconds interval;
        bool periodic;
        Task task;
    };

    bool IsMainThread() const override { return std::this_thread::get_id() == main_; }
    bool Post(Task task) override {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
        ++postCount_;
        return true;
    }
    CallResult Call(const Task& task) override {
        task();
        return CallResult::Done;
    }
    TimerId StartTimer(std::chrono::milliseconds interval, bool periodic, Task task) override {
        EXPECT_TRUE(IsMainThread());
        const TimerId id = nextId_++;
        timers.emplace(id, Timer{interval, periodic, std::move(task)});
        started.push_back(id);
        return id;
    }
    void StopTimer(TimerId id) override {
        EXPECT_TRUE(IsMainThread());
        timers.erase(id);
        stopped.push_back(id);
    }
    void BeginShutdown() override {}
    bool ShuttingDown() const override { return false; }
    std::size_t RunPending() override {
        std::vector<Task> batch;
        {
            std::lock_guard lock(mutex_);
            batch.swap(posted_);
        }
        for (Task& t : batch) t();
        return batch.size();
    }
    platform::WaitResult WaitServing(std::span<platform::Event* const>,
                                     std::chrono::milliseconds) override {
        return {};
    }
    void SetExceptionHandler(std::function<void(std::exception_ptr)>) override {}

    std::size_t PostCount() const {
        std::lock_guard lock(mutex_);
        return postCount_;
    }
    // Fires every running timer once as if its time had come; single-shot
    // timers end with it, periodic ones go on unless stopped meanwhile.
    void FireTimers() {
        std::map<TimerId, Timer> due;
        due.swap(timers);
        for (auto& [id, t] : due) {
            t.task();
            const bool stoppedMeanwhile =
                std::find(stopped.begin(), stopped.end(), id) != stopped.end();
            if (t.periodic && !stoppedMeanwhile) timers.emplace(id, std::move(t));
        }
    }

    std::map<TimerId, Timer> timers;
    std::vector<TimerId> started;
    std::vector<TimerId> stopped;

  private:
    const std::thread::id main_ = std::this_thread::get_id();
    mutable std::mutex mutex_;
    std::vector<Task> posted_;
    std::size_t postCount_ = 0;
    TimerId nextId_ = 1;
};

}  // namespace tarvo::test
