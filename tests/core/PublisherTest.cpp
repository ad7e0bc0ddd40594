#include "core/PublisherU.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/DebOutU.h"
#include "platform/Event.h"

using namespace std::chrono_literals;
using tarvo::core::ISubscriber;
using tarvo::core::TPublisher;
using tarvo::core::TSubscriberAdapter;

namespace {

// Records its calls in a shared journal and runs an optional action inside.
class Recorder : public ISubscriber {
  public:
    Recorder(std::string name, std::vector<std::string>& journal)
        : name_(std::move(name)), journal_(journal) {}
    void Notify(const void* sender) override {
        journal_.push_back(name_);
        lastSender = sender;
        if (action) action();
    }
    std::function<void()> action;
    const void* lastSender = nullptr;

  private:
    std::string name_;
    std::vector<std::string>& journal_;
};

class PublisherTest : public ::testing::Test {
  protected:
    std::shared_ptr<Recorder> Make(const std::string& name) {
        auto r = std::make_shared<Recorder>(name, journal);
        publisher.Subscribe(r);
        return r;
    }
    std::vector<std::string> Pass(const void* sender = nullptr) {
        journal.clear();
        publisher.NotifySubscribers(sender);
        return journal;
    }
    TPublisher publisher;
    std::vector<std::string> journal;
};

using Names = std::vector<std::string>;

class CollectingSink : public tarvo::core::IDebugSink {
  public:
    void Write(std::string_view line) override {
        std::lock_guard lock(mutex);
        lines.emplace_back(line);
    }
    bool Contains(std::string_view text) {
        std::lock_guard lock(mutex);
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
    std::mutex mutex;
    std::vector<std::string> lines;
};

}  // namespace

TEST_F(PublisherTest, NotifiesInSubscriptionOrderOncePerSubscriber) {
    EXPECT_TRUE(Pass().empty());  // no subscribers: nothing happens
    auto a = Make("a");
    auto b = Make("b");
    auto c = Make("c");
    publisher.Subscribe(a);  // a second subscription changes nothing
    int sender = 0;
    EXPECT_EQ(Pass(&sender), (Names{"a", "b", "c"}));
    EXPECT_EQ(c->lastSender, &sender);
    publisher.Unsubscribe(b);
    publisher.Subscribe(b);  // back at the end
    EXPECT_EQ(Pass(), (Names{"a", "c", "b"}));
}

TEST_F(PublisherTest, SelfUnsubscribeDuringPassTakesEffectNextPass) {
    auto a = Make("a");
    auto b = Make("b");
    auto c = Make("c");
    std::weak_ptr<Recorder> weakB = b;
    b->action = [&] { publisher.Unsubscribe(weakB.lock()); };
    b.reset();  // only the publisher holds b now; the pass copy must keep it alive
    EXPECT_EQ(Pass(), (Names{"a", "b", "c"}));
    EXPECT_TRUE(weakB.expired());
    EXPECT_EQ(Pass(), (Names{"a", "c"}));
}

TEST_F(PublisherTest, SubscriberRemovedByEarlierOneIsStillCalledInThatPass) {
    auto a = Make("a");
    auto b = Make("b");
    auto c = Make("c");
    a->action = [&] {
        if (c) publisher.Unsubscribe(c);
        c.reset();
    };
    EXPECT_EQ(Pass(), (Names{"a", "b", "c"}));
    EXPECT_EQ(Pass(), (Names{"a", "b"}));
}

TEST_F(PublisherTest, SubscribingDuringPassTakesEffectNextPass) {
    auto a = Make("a");
    std::shared_ptr<Recorder> late;
    a->action = [&] {
        if (!late) late = Make("late");
    };
    EXPECT_EQ(Pass(), (Names{"a"}));
    EXPECT_EQ(Pass(), (Names{"a", "late"}));
}

TEST_F(PublisherTest, UnsubscribeAllEmptiesTheList) {
    Make("a");
    Make("b");
    publisher.UnsubscribeAll();
    EXPECT_EQ(publisher.Count(), 0u);
    EXPECT_TRUE(Pass().empty());
}

TEST_F(PublisherTest, MoreThanSixteenSubscribersAreAllCalledWithOneWarning) {
    auto sink = std::make_shared<CollectingSink>();
    tarvo::core::SetDebugSink(sink);
    std::vector<std::shared_ptr<Recorder>> keep;
    Names expected;
    for (int i = 0; i < 40; ++i) {
        keep.push_back(Make(std::to_string(i)));
        expected.push_back(std::to_string(i));
    }
    EXPECT_EQ(Pass(), expected);
    EXPECT_EQ(Pass(), expected);
    tarvo::core::SetDebugSink(nullptr);
    int warnings = 0;
    for (const auto& l : sink->lines)
        if (l.find("more than 16 subscribers") != std::string::npos) ++warnings;
    EXPECT_EQ(warnings, 1);
}

TEST_F(PublisherTest, LogsSubscriptionChanges) {
    auto sink = std::make_shared<CollectingSink>();
    tarvo::core::SetDebugSink(sink);
    auto a = Make("a");
    publisher.Unsubscribe(a);
    publisher.Unsubscribe(a);
    tarvo::core::SetDebugSink(nullptr);
    EXPECT_TRUE(sink->Contains("TPublisher.Subscribe: Subscribe "));
    EXPECT_TRUE(sink->Contains("TPublisher.Unsubscribe: Unsubscribed "));
    EXPECT_TRUE(sink->Contains("TPublisher.Unsubscribe: Not unsubscribed "));
}

TEST(PublisherAdapterTest, DetachedAdapterIgnoresCalls) {
    int calls = 0;
    auto adapter = std::make_shared<TSubscriberAdapter>([&](const void*) { ++calls; });
    adapter->Notify(nullptr);
    adapter->Detach();
    adapter->Notify(nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(adapter->Detached());
}

TEST(PublisherAdapterTest, DetachFromInsideTheCallDoesNotDeadlock) {
    TPublisher publisher;
    std::shared_ptr<TSubscriberAdapter> adapter;
    int calls = 0;
    adapter = std::make_shared<TSubscriberAdapter>([&](const void*) {
        ++calls;
        publisher.Unsubscribe(adapter);
        adapter->Detach();
        publisher.NotifySubscribers(nullptr);  // nested pass: no one left
    });
    publisher.Subscribe(adapter);
    publisher.NotifySubscribers(nullptr);
    publisher.NotifySubscribers(nullptr);
    EXPECT_EQ(calls, 1);
}

// Detach must not return while another thread is inside the owner: the owner is
// destroyed right after it.
TEST(PublisherAdapterTest, DetachWaitsForRunningCallOnOtherThread) {
    tarvo::platform::Event entered(tarvo::platform::Event::Manual),
        release(tarvo::platform::Event::Manual);
    std::atomic<bool> finished{false};
    auto adapter = std::make_shared<TSubscriberAdapter>([&](const void*) {
        entered.Set();
        release.Wait(tarvo::platform::kInfinite);
        finished = true;
    });
    std::thread worker([adapter] { adapter->Notify(nullptr); });
    entered.Wait(tarvo::platform::kInfinite);
    std::thread releaser([&] {
        std::this_thread::sleep_for(50ms);
        release.Set();
    });
    adapter->Detach();
    EXPECT_TRUE(finished);
    worker.join();
    releaser.join();
}

namespace {

// An owner that is not shared, as a window or device is.
class Owner {
  public:
    explicit Owner(TPublisher& publisher)
        : publisher_(publisher), adapter_(TSubscriberAdapter::For(this, &Owner::Changed)) {
        publisher_.Subscribe(adapter_);
    }
    ~Owner() {
        publisher_.Unsubscribe(adapter_);
        adapter_->Detach();
        alive_ = 0;  // a late call would see this (and the sanitizer the freed memory)
    }
    void Changed(const void*) {
        EXPECT_EQ(alive_, 0xA11E);
        ++calls_;
    }

  private:
    TPublisher& publisher_;
    std::shared_ptr<TSubscriberAdapter> adapter_;
    int alive_ = 0xA11E;
    std::atomic<int> calls_{0};  // several notifiers call at once
};

}  // namespace

TEST(PublisherStressTest, OwnersComeAndGoWhileThreadsNotify) {
    TPublisher publisher;
    std::atomic<bool> stop{false};
    std::vector<std::thread> notifiers;
    for (int t = 0; t < 3; ++t)
        notifiers.emplace_back([&] {
            while (!stop) publisher.NotifySubscribers(&publisher);
        });
    std::vector<std::thread> churners;
    for (int t = 0; t < 2; ++t)
        churners.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                auto a = std::make_unique<Owner>(publisher);
                auto b = std::make_unique<Owner>(publisher);
                a.reset();
                std::this_thread::yield();
                b.reset();
            }
        });
    for (auto& t : churners) t.join();
    stop = true;
    for (auto& t : notifiers) t.join();
    EXPECT_EQ(publisher.Count(), 0u);
}
