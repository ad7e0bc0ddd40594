// The send queue: order, its event, notifications outside the lock, its bound.
#include "filesend/DateiSendenQueueU.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "filesend/DateiSendenU.h"

namespace tarvo::filesend {
namespace {

using JobPtr = std::shared_ptr<core::IDateiSenden>;

JobPtr NewJob(const std::string& name) {
    auto job = TDateiSenden::Create(nullptr);
    job->SetSendName(name);
    return job;
}

// Reads the queue from inside every notification: a notification sent under
// the queue's lock would deadlock here.
class Observer final : public core::ISubscriber {
  public:
    explicit Observer(TDateiSendenQueue& q) : queue_(q) {}
    void Notify(const void* sender) override {
        EXPECT_EQ(sender, &queue_);
        counts.push_back(queue_.GetCount());
    }
    std::vector<int> counts;

  private:
    TDateiSendenQueue& queue_;
};

TEST(SendQueue, FirstInFirstOutWithTheEventSetWhileNotEmpty) {
    TDateiSendenQueue queue;
    auto observer = std::make_shared<Observer>(queue);
    queue.Subscribe(observer);
    const JobPtr a = NewJob("a"), b = NewJob("b"), c = NewJob("c");

    EXPECT_FALSE(queue.GetEvent().IsSet());
    queue.EnQueue(a);
    queue.EnQueue(b);
    queue.EnQueue(c);
    EXPECT_TRUE(queue.GetEvent().IsSet());
    EXPECT_EQ(queue.Current(), a);
    EXPECT_EQ(queue.GetItems(1), b);
    EXPECT_EQ(queue.GetItems(3), nullptr);
    EXPECT_EQ(queue.GetItems(-1), nullptr);

    EXPECT_EQ(queue.Remove(b.get()), 1);
    EXPECT_EQ(queue.Remove(b.get()), -1);  // not queued: nobody is told
    EXPECT_EQ(queue.DeQueue(), a);
    EXPECT_TRUE(queue.GetEvent().IsSet());
    EXPECT_EQ(queue.Remove(c.get()), 0);
    EXPECT_FALSE(queue.GetEvent().IsSet());
    EXPECT_EQ(queue.DeQueue(), nullptr);
    EXPECT_EQ(queue.Current(), nullptr);
    EXPECT_EQ(observer->counts, (std::vector<int>{1, 2, 3, 2, 1, 0}));
}

TEST(SendQueue, RefusedJobsAreReleasedQueuedOnesStay) {
    TDateiSendenQueue queue(2);
    const JobPtr a = NewJob("a"), b = NewJob("b"), c = NewJob("c");
    EXPECT_TRUE(queue.TryEnQueue(a));
    EXPECT_FALSE(queue.TryEnQueue(a));  // already queued
    queue.EnQueue(a);
    EXPECT_EQ(queue.GetCount(), 1);
    EXPECT_FALSE(static_cast<TDateiSenden&>(*a).Released());

    queue.EnQueue(b);
    EXPECT_FALSE(queue.TryEnQueue(c));  // full
    EXPECT_FALSE(static_cast<TDateiSenden&>(*c).Released());
    queue.EnQueue(c);
    EXPECT_TRUE(static_cast<TDateiSenden&>(*c).Released());
    EXPECT_EQ(queue.Items(), (std::vector<JobPtr>{a, b}));
}

TEST(SendQueue, ReleaseLetsEveryJobGoAndTakesNoMore) {
    TDateiSendenQueue queue;
    auto observer = std::make_shared<Observer>(queue);
    queue.Subscribe(observer);
    const JobPtr a = NewJob("a"), b = NewJob("b");
    queue.EnQueue(a);
    queue.EnQueue(b);
    observer->counts.clear();
    queue.Release();
    EXPECT_TRUE(static_cast<TDateiSenden&>(*a).Released());
    EXPECT_TRUE(static_cast<TDateiSenden&>(*b).Released());
    EXPECT_EQ(queue.GetCount(), 0);
    EXPECT_FALSE(queue.GetEvent().IsSet());
    const JobPtr late = NewJob("late");
    EXPECT_FALSE(queue.TryEnQueue(late));
    queue.Release();
    EXPECT_TRUE(observer->counts.empty());
}

TEST(SendQueue, ProducersOnSeveralThreadsLoseNothing) {
    TDateiSendenQueue queue(1000);
    constexpr int kPerThread = 100;
    auto produce = [&] {
        for (int i = 0; i < kPerThread; ++i) queue.EnQueue(NewJob("j"));
    };
    std::thread t1(produce), t2(produce);
    int taken = 0;
    while (taken < 2 * kPerThread) {
        if (queue.GetEvent().Wait(std::chrono::seconds(10)) && queue.DeQueue()) ++taken;
    }
    t1.join();
    t2.join();
    EXPECT_EQ(queue.GetCount(), 0);
    EXPECT_FALSE(queue.GetEvent().IsSet());
}

}  // namespace
}  // namespace tarvo::filesend
