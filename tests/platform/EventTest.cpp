#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using tarvo::platform::Event;
using tarvo::platform::kInfinite;
using tarvo::platform::ThreadMessage;
using tarvo::platform::ThreadMessageQueue;
using tarvo::platform::WaitAny;
using tarvo::platform::WaitResult;
using Kind = WaitResult::Kind;

TEST(WaitAny, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
    Event a(Event::Auto), b(Event::Auto), c(Event::Auto);
    b.Set();
    c.Set();
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0ms), (WaitResult{Kind::Signalled, 1}));
    // b was consumed by that wait, c was not.
    EXPECT_FALSE(b.IsSet());
    EXPECT_TRUE(c.IsSet());
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0ms), (WaitResult{Kind::Signalled, 2}));
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0ms).kind, Kind::Timeout);
}

TEST(WaitAny, ManualResetEventStaysSet) {
    Event m(Event::Manual, true);
    EXPECT_TRUE(WaitAny({&m}, 0ms).Signalled(0));
    EXPECT_TRUE(WaitAny({&m}, 0ms).Signalled(0));
    m.Reset();
    EXPECT_EQ(WaitAny({&m}, 0ms).kind, Kind::Timeout);
}

TEST(WaitAny, TimeoutAndFailureAreDistinct) {
    Event a(Event::Manual);
    EXPECT_EQ(WaitAny({&a}, 20ms).kind, Kind::Timeout);
    EXPECT_EQ(WaitAny({&a, nullptr}, 20ms).kind, Kind::Failed);
    EXPECT_EQ(WaitAny({}, kInfinite).kind, Kind::Failed);  // nothing could ever end it
    std::vector<Event*> tooMany(tarvo::platform::kMaxWaitObjects + 1, &a);
    EXPECT_EQ(WaitAny(tooMany, 0ms).kind, Kind::Failed);
}

TEST(WaitAny, EventSetByAnotherThreadWakesTheWait) {
    Event quit(Event::Manual), work(Event::Auto);
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        work.Set();
    });
    EXPECT_EQ(WaitAny({&quit, &work}, kInfinite), (WaitResult{Kind::Signalled, 1}));
    setter.join();
}

TEST(WaitAny, PostedMessageWakesTheThreadAfterAllEvents) {
    auto queue = std::make_shared<ThreadMessageQueue>();
    Event e(Event::Manual);
    std::thread poster([queue] {
        std::this_thread::sleep_for(20ms);
        queue->Post(7, std::string("payload"));
    });
    const WaitResult r = WaitAny({&e}, kInfinite, queue.get());
    poster.join();
    EXPECT_EQ(r.kind, Kind::Message);
    auto m = queue->TryGet();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->id, 7u);
    EXPECT_EQ(std::any_cast<std::string>(m->payload), "payload");
    EXPECT_FALSE(queue->TryGet());

    // A set event is reported before a waiting message.
    queue->Post(8);
    e.Set();
    EXPECT_TRUE(WaitAny({&e}, 0ms, queue.get()).Signalled(0));
    e.Reset();
    EXPECT_EQ(WaitAny({&e}, 0ms, queue.get()).kind, Kind::Message);
}

TEST(ThreadMessageQueue, BoundedAndClosable) {
    ThreadMessageQueue q(2);
    EXPECT_TRUE(q.Post(1));
    EXPECT_TRUE(q.Post(2));
    EXPECT_FALSE(q.Post(3));  // full: dropped, not blocking
    EXPECT_EQ(q.TryGet()->id, 1u);
    q.Close();
    EXPECT_FALSE(q.Post(4));
    EXPECT_EQ(q.TryGet()->id, 2u);  // what was queued before stays readable
    EXPECT_FALSE(q.NotEmpty().IsSet());
}

TEST(ThreadMessageQueue, EachThreadHasItsOwnQueue) {
    auto mine = ThreadMessageQueue::ForCurrentThread();
    EXPECT_EQ(mine, ThreadMessageQueue::ForCurrentThread());
    std::shared_ptr<ThreadMessageQueue> other;
    std::thread([&] { other = ThreadMessageQueue::ForCurrentThread(); }).join();
    EXPECT_NE(mine, other);
}

// Many producers and one consumer waiting on an auto-reset event: every Set that
// happens after the consumer took the last item is seen (no lost wake-up).
TEST(WaitAny, NoLostWakeUpsUnderLoad) {
    constexpr int kPerThread = 2000;
    Event ready(Event::Auto);
    std::atomic<int> produced{0};
    auto produce = [&] {
        for (int i = 0; i < kPerThread; ++i) {
            produced.fetch_add(1);
            ready.Set();
        }
    };
    std::thread p1(produce), p2(produce);
    int seen = 0;
    while (seen < 2 * kPerThread) {
        ASSERT_TRUE(WaitAny({&ready}, 5000ms).Signalled(0)) << "stuck at " << seen;
        seen = produced.load();
    }
    p1.join();
    p2.join();
}
