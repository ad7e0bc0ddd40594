#include "platform/Dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using tarvo::platform::Event;
using tarvo::platform::IDispatcher;
using tarvo::platform::LoopDispatcher;
using CallResult = IDispatcher::CallResult;

TEST(Dispatcher, CallFromWorkerRunsOnTheMainThread) {
    LoopDispatcher d;
    std::thread::id ranOn;
    CallResult result{};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        EXPECT_FALSE(d.IsMainThread());
        result = d.Call([&] { ranOn = std::this_thread::get_id(); });
        finished = true;
    });
    EXPECT_TRUE(d.RunUntil([&] { return finished.load(); }, 5s));
    worker.join();
    EXPECT_EQ(result, CallResult::Done);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(Dispatcher, CallOnTheMainThreadIsDirectEvenWhenNested) {
    LoopDispatcher d;
    std::vector<int> order;
    EXPECT_EQ(d.Call([&] {
        order.push_back(1);
        d.Call([&] { order.push_back(2); });
        order.push_back(3);
    }),
              CallResult::Done);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(Dispatcher, ExceptionGoesToTheHandlerNotTheCaller) {
    LoopDispatcher d;
    std::string reported;
    d.SetExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            reported = x.what();
        }
    });
    CallResult result{};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        result = d.Call([] { throw std::runtime_error("boom"); });
        finished = true;
    });
    d.RunUntil([&] { return finished.load(); }, 5s);
    worker.join();
    EXPECT_EQ(result, CallResult::Failed);
    EXPECT_EQ(reported, "boom");
}

TEST(Dispatcher, ShutdownReleasesAWaitingCallerAtOnceAndRefusesNewOnes) {
    LoopDispatcher d;
    std::atomic<bool> ran{false};
    CallResult waiting{}, later{};
    std::thread worker([&] {
        waiting = d.Call([&] { ran = true; });  // the main thread never serves it
        later = d.Call([&] { ran = true; });
    });
    std::this_thread::sleep_for(30ms);
    d.BeginShutdown();
    worker.join();
    EXPECT_EQ(waiting, CallResult::Refused);
    EXPECT_EQ(later, CallResult::Refused);
    d.RunPending();
    EXPECT_FALSE(ran);  // a refused call never runs afterwards
}

// Tells when a call was queued.
class WatchedDispatcher final : public tarvo::platform::DispatcherCore {
  public:
    TimerId StartTimer(std::chrono::milliseconds, bool, Task) override { return 0; }
    void StopTimer(TimerId) override {}
    std::atomic<bool> woken{false};

  protected:
    void Wake() override { woken = true; }
};

TEST(Dispatcher, ServingTheQueueAfterShutdownStillReleasesTheCaller) {
    // Stopping the devices serves the main thread's queue right after shutdown
    // began; a caller that had not woken up yet must not wait for ever.
    for (int i = 0; i < 200; ++i) {
        // Shared with the caller, which may outlive a failed round.
        auto d = std::make_shared<WatchedDispatcher>();
        auto released = std::make_shared<std::promise<CallResult>>();
        auto result = released->get_future();
        std::thread([d, released] { released->set_value(d->Call([] {})); }).detach();
        while (!d->woken) std::this_thread::yield();
        d->BeginShutdown();
        d->RunPending();
        ASSERT_EQ(result.wait_for(5s), std::future_status::ready) << "round " << i;
        EXPECT_EQ(result.get(), CallResult::Refused);
    }
}

TEST(Dispatcher, MainThreadWaitServesCallsFromTheThreadItWaitsFor) {
    // The shape of stopping a device: the main thread waits for the worker to
    // end while the worker still needs one main-thread call to get there.
    LoopDispatcher d;
    Event ended(Event::Manual);
    int value = 0;
    std::thread worker([&] {
        d.Call([&] { value = 42; });
        ended.Set();
    });
    Event* events[] = {&ended};
    const auto r = d.WaitServing(events, 5000ms);
    worker.join();
    EXPECT_TRUE(r.Signalled(0));
    EXPECT_EQ(value, 42);
    EXPECT_EQ(d.WaitServing(events, 0ms).kind, tarvo::platform::WaitResult::Kind::Signalled);
}

TEST(Dispatcher, PostedTasksRunInOrder) {
    LoopDispatcher d;
    std::vector<int> order;
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i) d.Post([&order, i] { order.push_back(i); });
    });
    worker.join();
    EXPECT_EQ(d.RunPending(), 5u);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(Dispatcher, SingleShotAndPeriodicTimers) {
    LoopDispatcher d;
    int once = 0, periodic = 0;
    d.StartTimer(10ms, false, [&] { ++once; });
    auto id = d.StartTimer(10ms, true, [&] { ++periodic; });
    EXPECT_TRUE(d.RunUntil([&] { return periodic >= 3; }, 5s));
    d.StopTimer(id);
    const int stoppedAt = periodic;
    d.RunFor(40ms);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(periodic, stoppedAt);
}

TEST(Dispatcher, ManyWorkersCallingConcurrently) {
    LoopDispatcher d;
    int counter = 0;  // only touched on the main thread
    std::atomic<int> done{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&] {
            for (int i = 0; i < 200; ++i) EXPECT_EQ(d.Call([&] { ++counter; }), CallResult::Done);
            ++done;
        });
    EXPECT_TRUE(d.RunUntil([&] { return done == 4; }, 20s));
    for (auto& w : workers) w.join();
    EXPECT_EQ(counter, 800);
}
