// The protocol module base: which handle wins, how modules nest, how they end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <any>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "connection/VerbindungAbstractU.h"
#include "core/GlobalU.h"
#include "tests/support/FakeModulConnection.h"

namespace tarvo::connection {
namespace {

using test::FakeModulConnection;

// A module that records what it serves and how it ended.
class TProbe : public TVerbindungAbstract {
  public:
    struct Setup {
        std::vector<int> events;
        bool active = false;
        // Called for each served event; by default the signal is consumed.
        std::function<void(TProbe&, int)> serve;
        // After this many served events the link ends (0: never).
        std::size_t stopAfter = 0;
    };

    TProbe(TVerbindungAbstract* parent, std::shared_ptr<core::IVerbindungFuerModul> connection,
           Setup setup)
        : TVerbindungAbstract(parent, connection),
          setup_(std::move(setup)),
          fake_(std::static_pointer_cast<FakeModulConnection>(connection)) {}

    std::vector<int> served;
    std::vector<int> endCodes;

  protected:
    void Init() override {
        for (int e : setup_.events) SetUseEvent(e, true);
        if (setup_.active) SetActive(true);
    }
    void OnReceive() override { Serve(core::kWaitReceive); }
    void OnUserSend() override { Serve(core::kWaitUserSend); }
    void OnLinkSendQueueEmpty() override { Serve(core::kWaitLinkSendEmpty); }
    void OnSendJob() override { Serve(core::kWaitSendJob); }
    void Terminated(int code) override {
        endCodes.push_back(code);
        TVerbindungAbstract::Terminated(code);
    }

  private:
    void Serve(int event) {
        served.push_back(event);
        if (setup_.serve)
            setup_.serve(*this, event);
        else
            Consume(event);
        if (setup_.stopAfter != 0 && served.size() >= setup_.stopAfter) fake_->endEvent.Set();
    }
    void Consume(int event) {
        switch (event) {
            case core::kWaitReceive:
                fake_->receiveQueue.Clear();
                break;
            case core::kWaitUserSend:
                fake_->userSendQueue.Clear();
                break;
            case core::kWaitLinkSendEmpty:
                fake_->linkSendQueue.PushString("x");
                break;
            case core::kWaitSendJob:
                fake_->sendQueue->DeQueue();
                break;
        }
    }

    Setup setup_;
    std::shared_ptr<FakeModulConnection> fake_;
};

class TChildProbe : public TProbe {
    using TProbe::TProbe;
};

// Sets the process-wide quit event for one test only.
struct QuitEventGuard {
    QuitEventGuard() { core::QuitEvent().Set(); }
    ~QuitEventGuard() { core::QuitEvent().Reset(); }
};

enum Signal { kOwn, kThreadEnd, kLinkEnd, kQuit, kReceive, kUserSend, kLinkEmpty, kSendJob };

void Raise(FakeModulConnection& c, TProbe& m, Signal s) {
    switch (s) {
        case kOwn:
            m.Finish();
            break;
        case kThreadEnd:
            c.threadEvent.Set();
            break;
        case kLinkEnd:
            c.endEvent.Set();
            break;
        case kQuit:
            break;  // by QuitEventGuard
        case kReceive:
            c.receiveQueue.PushString("r");
            break;
        case kUserSend:
            c.userSendQueue.PushString("u");
            break;
        case kLinkEmpty:
            break;  // an empty queue already signals
        case kSendJob:
            c.sendQueue->EnQueue(std::make_shared<test::FakeSendJob>(1));
            break;
    }
}

TEST(ModuleBase, LowestSignalledHandleWins) {
    struct Case {
        const char* name;
        std::vector<int> events;
        std::vector<Signal> signals;
        std::size_t stopAfter;
        std::vector<int> served;
        int endCode;
    };
    const Case cases[] = {
        {"own event before everything", {5, 6, 8}, {kReceive, kLinkEnd, kOwn}, 0, {}, 0},
        {"thread end before link end", {5}, {kLinkEnd, kThreadEnd, kReceive}, 0, {}, 3},
        {"link end before data", {5, 6}, {kReceive, kUserSend, kLinkEnd}, 0, {}, 4},
        {"quit like link end", {5}, {kReceive, kQuit}, 0, {}, 4},
        {"optional ones by event number",
         {8, 6, 5},
         {kSendJob, kUserSend, kReceive},
         3,
         {5, 6, 8},
         4},
        {"signal of a disabled event is not served", {8}, {kReceive, kSendJob}, 1, {8}, 4},
        {"link send queue empty", {7}, {kLinkEmpty}, 1, {7}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto fake = std::make_shared<FakeModulConnection>();
        auto probe = TVerbindungAbstract::Create<TProbe>(
            nullptr, fake, TProbe::Setup{c.events, true, nullptr, c.stopAfter});
        std::optional<QuitEventGuard> quit;
        for (Signal s : c.signals) {
            if (s == kQuit) quit.emplace();
            Raise(*fake, *probe, s);
        }
        probe->EventLoop();
        EXPECT_EQ(probe->served, c.served);
        EXPECT_EQ(probe->endCodes, std::vector<int>{c.endCode});
        EXPECT_EQ(probe->Connection(), nullptr) << "dropped when the module ended";
    }
}

TEST(ModuleBase, HandleChangesTakeEffectAtTheNextWait) {
    auto fake = std::make_shared<FakeModulConnection>();
    TProbe::Setup setup;
    setup.events = {5, 6};
    setup.stopAfter = 1;
    setup.serve = [](TProbe& m, int) { m.SetUseEvent(core::kWaitUserSend, false); };
    auto probe = TVerbindungAbstract::Create<TProbe>(nullptr, fake, setup);
    fake->receiveQueue.PushString("r");
    fake->userSendQueue.PushString("u");
    probe->EventLoop();
    EXPECT_EQ(probe->served, std::vector<int>{5});
}

// Runs the module's loop on a thread of its own.
class LoopThread {
  public:
    explicit LoopThread(std::shared_ptr<TVerbindungAbstract> module) {
        std::promise<std::shared_ptr<platform::ThreadMessageQueue>> queue;
        auto future = queue.get_future();
        thread_ = std::thread([module, &queue] {
            queue.set_value(platform::ThreadMessageQueue::ForCurrentThread());
            module->EventLoop();
        });
        messages_ = future.get();
    }
    ~LoopThread() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    platform::ThreadMessageQueue& Messages() { return *messages_; }

  private:
    std::thread thread_;
    std::shared_ptr<platform::ThreadMessageQueue> messages_;
};

TEST(ModuleBase, ModuleWithoutOptionalEventsEndsOnLinkEndAndFinish) {
    struct Case {
        const char* name;
        std::function<void(FakeModulConnection&, TProbe&)> end;
        int code;
    };
    const Case cases[] = {
        {"link end", [](FakeModulConnection& c, TProbe&) { c.endEvent.Set(); }, 4},
        {"finish", [](FakeModulConnection&, TProbe& m) { m.Finish(); }, 0},
        {"fail", [](FakeModulConnection&, TProbe& m) { m.Fail(); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto fake = std::make_shared<FakeModulConnection>();
        fake->receiveQueue.PushString("not waited for");
        auto probe = TVerbindungAbstract::Create<TProbe>(nullptr, fake, TProbe::Setup{});
        LoopThread loop(probe);
        c.end(*fake, *probe);
        loop.Join();
        EXPECT_TRUE(probe->served.empty());
        EXPECT_EQ(probe->endCodes, std::vector<int>{c.code});
    }
}

TEST(ModuleBase, CancelOnlyEndsAnActiveModuleAndTheFirstEndCodeWins) {
    struct Case {
        const char* name;
        bool active;
        std::vector<int> calls;  // 0 Finish, 1 Cancel, 2 Fail
        int code;
    };
    const Case cases[] = {
        {"cancel while inactive is ignored", false, {1, 0}, 0},
        {"cancel while active", true, {1}, 1},
        {"cancel before finish", true, {1, 0}, 1},
        {"finish before cancel", true, {0, 1}, 0},
        {"fail before finish", false, {2, 0}, 2},
        {"cancel before fail", true, {1, 2}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto fake = std::make_shared<FakeModulConnection>();
        auto probe = TVerbindungAbstract::Create<TProbe>(nullptr, fake,
                                                         TProbe::Setup{{}, c.active, nullptr, 0});
        for (int call : c.calls) {
            if (call == 0) probe->Finish();
            if (call == 1) probe->Cancel();
            if (call == 2) probe->Fail();
        }
        probe->EventLoop();
        EXPECT_EQ(probe->endCodes, std::vector<int>{c.code});
    }
}

TEST(ModuleBase, CancelFromAnotherThreadWakesTheWait) {
    auto fake = std::make_shared<FakeModulConnection>();
    auto probe =
        TVerbindungAbstract::Create<TProbe>(nullptr, fake, TProbe::Setup{{5}, true, nullptr, 0});
    fake->SetModul(probe);
    LoopThread loop(probe);
    fake->CancelTransfer();
    loop.Join();
    EXPECT_EQ(probe->endCodes, std::vector<int>{1});
    fake->SetModul(nullptr);
}

// Three threads end the module while its loop runs: the loop ends once, with the
// code of the call that came first (the calls are ordered by a lock so that
// "first" is known; the loop still races with them).
TEST(ModuleBase, RacingEndCallsEndTheLoopOnceWithTheFirstCode) {
    for (int round = 0; round < 20; ++round) {
        auto fake = std::make_shared<FakeModulConnection>();
        auto probe =
            TVerbindungAbstract::Create<TProbe>(nullptr, fake, TProbe::Setup{{}, true, nullptr, 0});
        LoopThread loop(probe);
        std::promise<void> go;
        std::shared_future<void> start = go.get_future().share();
        std::mutex orderMutex;
        std::vector<int> order;
        auto caller = [&](int code, void (TVerbindungAbstract::*end)()) {
            return std::thread([&, code, end] {
                start.wait();
                std::lock_guard lock(orderMutex);
                order.push_back(code);
                (probe.get()->*end)();
            });
        };
        std::vector<std::thread> callers;
        callers.push_back(caller(kEndFinished, &TVerbindungAbstract::Finish));
        callers.push_back(caller(kEndCancelled, &TVerbindungAbstract::Cancel));
        callers.push_back(caller(kEndFailed, &TVerbindungAbstract::Fail));
        go.set_value();
        for (auto& t : callers) t.join();
        loop.Join();
        ASSERT_EQ(order.size(), 3u);
        ASSERT_EQ(probe->endCodes.size(), 1u);
        EXPECT_EQ(probe->endCodes[0], order[0]) << "round " << round;
    }
}

TEST(ModuleBase, TasksPostedToTheWorkerRunInOrder) {
    auto fake = std::make_shared<FakeModulConnection>();
    auto probe =
        TVerbindungAbstract::Create<TProbe>(nullptr, fake, TProbe::Setup{{5}, false, nullptr, 0});
    LoopThread loop(probe);
    std::mutex mutex;
    std::vector<int> ran;
    auto task = [&](int n) {
        return std::function<void()>([&, n] {
            std::lock_guard lock(mutex);
            ran.push_back(n);
        });
    };
    ASSERT_TRUE(loop.Messages().Post(1, task(1)));
    ASSERT_TRUE(loop.Messages().Post(2, std::any(42)));  // not a task: ignored
    ASSERT_TRUE(loop.Messages().Post(3, task(2)));
    ASSERT_TRUE(loop.Messages().Post(4, std::function<void()>([&] { probe->Finish(); })));
    loop.Join();
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_EQ(probe->endCodes, std::vector<int>{0});
}

TEST(ModuleBase, RunNestsAndRestoresTheStartingModule) {
    struct Case {
        const char* name;
        bool childThrows;
        std::vector<std::string> modules;  // as the connection was told
    };
    const Case cases[] = {
        {"child finishes", false, {"TProbe", "TChildProbe", "TProbe"}},
        // The child still holds the connection when it is closed.
        {"child throws", true, {"TProbe", "TChildProbe", "nil", "TProbe"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto fake = std::make_shared<FakeModulConnection>();
        bool childWasCurrent = false, mirrorWhileChildRan = false, rethrown = false;
        std::shared_ptr<TVerbindungAbstract> childSeen;

        TProbe::Setup child;
        child.events = {6};
        child.active = true;
        child.serve = [&](TProbe& m, int) {
            childWasCurrent = fake->Modul().get() == &m;
            mirrorWhileChildRan = fake->TransferActive();
            childSeen = m.shared_from_this();
            fake->userSendQueue.Clear();
            if (c.childThrows) throw std::runtime_error("transfer broke");
            m.Finish();
        };
        TProbe::Setup parent;
        parent.events = {5};
        parent.stopAfter = 1;
        parent.serve = [&](TProbe& m, int) {
            fake->receiveQueue.Clear();
            try {
                TVerbindungAbstract::Run<TChildProbe>(m, child);
            } catch (const std::runtime_error&) {
                rethrown = true;
            }
        };
        auto top = TVerbindungAbstract::Create<TProbe>(nullptr, fake, parent);
        fake->SetModul(top);
        fake->receiveQueue.PushString("header");
        fake->userSendQueue.PushString("data");
        top->EventLoop();

        EXPECT_TRUE(childWasCurrent);
        EXPECT_TRUE(mirrorWhileChildRan);
        EXPECT_EQ(rethrown, c.childThrows);
        EXPECT_EQ(fake->ModuleNames(), c.modules);
        EXPECT_EQ(fake->Modul(), top);
        EXPECT_FALSE(fake->TransferActive());
        EXPECT_EQ(fake->TransferActiveCalls(), (std::vector<bool>{true, false}));
        ASSERT_NE(childSeen, nullptr);
        EXPECT_EQ(childSeen->Parent(), nullptr) << "closed";
        EXPECT_EQ(childSeen->Connection(), nullptr);
        EXPECT_EQ(top->endCodes, std::vector<int>{4}) << "the starting module goes on";
        fake->SetModul(nullptr);
    }
}

TEST(ModuleBase, CloseLeavesTheConnectionOnce) {
    auto fake = std::make_shared<FakeModulConnection>();
    auto probe = TVerbindungAbstract::Create<TProbe>(nullptr, fake, TProbe::Setup{});
    probe->Close();
    probe->Close();
    EXPECT_EQ(fake->ModuleNames(), std::vector<std::string>{"nil"});
    EXPECT_EQ(probe->Connection(), nullptr);
}

TEST(ModuleBase, ModuleMadeWithoutCreateIsRefused) {
    auto fake = std::make_shared<FakeModulConnection>();
    TProbe probe(nullptr, fake, TProbe::Setup{});
    EXPECT_THROW(probe.EventLoop(), core::TarvoAssertion);
}

}  // namespace
}  // namespace tarvo::connection
