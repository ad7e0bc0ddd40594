#include "core/SynchronizeU.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/ExceptionReportU.h"

using namespace std::chrono_literals;
using tarvo::core::Synchronize;
using tarvo::platform::Event;
using tarvo::platform::LoopDispatcher;

namespace {

class SynchronizeTest : public ::testing::Test {
  protected:
    void SetUp() override { tarvo::core::SetMainDispatcher(&dispatcher_); }
    void TearDown() override { tarvo::core::SetMainDispatcher(nullptr); }
    LoopDispatcher dispatcher_;
};

class CountingView : public tarvo::core::IUnhandledExceptionView {
  public:
    tarvo::core::ExceptionChoice Show(const std::string& headline,
                                      const std::string& message) override {
        lastHeadline = headline;
        lastMessage = message;
        ++shown;
        return tarvo::core::ExceptionChoice::Ignore;
    }
    std::string lastHeadline, lastMessage;
    int shown = 0;
};

}  // namespace

TEST_F(SynchronizeTest, SeveralWorkersWhileTheMainThreadWaitsForThem) {
    constexpr int kWorkers = 4, kCalls = 100;
    int onMain = 0;  // only the main thread touches it
    Event allDone(Event::Manual);
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w)
        workers.emplace_back([&] {
            for (int i = 0; i < kCalls; ++i) EXPECT_TRUE(Synchronize([&] { ++onMain; }));
            if (++finished == kWorkers) allDone.Set();
        });
    Event* events[] = {&allDone};
    EXPECT_TRUE(dispatcher_.WaitServing(events, 20000ms).Signalled(0));
    for (auto& t : workers) t.join();
    EXPECT_EQ(onMain, kWorkers * kCalls);
}

TEST_F(SynchronizeTest, OnTheMainThreadItIsAPlainCall) {
    int depth = 0;
    EXPECT_TRUE(Synchronize([&] {
        ++depth;
        EXPECT_TRUE(Synchronize([&] { ++depth; }));
    }));
    EXPECT_EQ(depth, 2);
}

TEST_F(SynchronizeTest, ExceptionIsReportedAndNeverReachesTheWorker) {
    CountingView view;
    tarvo::core::SetUnhandledExceptionView(&view);
    bool result = true;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        EXPECT_NO_THROW(result = Synchronize([] { throw std::runtime_error("from the method"); }));
        finished = true;
    });
    EXPECT_TRUE(dispatcher_.RunUntil([&] { return finished.load(); }, 10s));
    worker.join();
    tarvo::core::SetUnhandledExceptionView(nullptr);
    EXPECT_FALSE(result);
    EXPECT_EQ(view.shown, 1);
    EXPECT_EQ(view.lastHeadline, "std::runtime_error in SYNCHRONIZE.SyncWndProc");
    EXPECT_EQ(view.lastMessage, "from the method");
}

TEST_F(SynchronizeTest, FailsAtOnceOnceShutdownHasBegun) {
    dispatcher_.BeginShutdown();
    bool ran = false, result = true;
    std::thread worker([&] { result = Synchronize([&] { ran = true; }); });
    worker.join();  // would hang if it blocked
    EXPECT_FALSE(result);
    dispatcher_.RunPending();
    EXPECT_FALSE(ran);
}

TEST_F(SynchronizeTest, AReportFromAWorkerIsShownOnTheMainThread) {
    struct ThreadView : tarvo::core::IUnhandledExceptionView {
        tarvo::core::ExceptionChoice Show(const std::string&, const std::string&) override {
            shownOn = std::this_thread::get_id();
            return tarvo::core::ExceptionChoice::Quit;
        }
        std::thread::id shownOn;
    } view;
    static std::atomic<int> quits{0};
    tarvo::core::SetUnhandledExceptionView(&view);
    tarvo::core::SetExceptionQuitHandler([] { ++quits; });
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        tarvo::core::ShowUnhandledException(std::make_exception_ptr(std::runtime_error("x")), "TVerbindungThread",
                                            "Execute");
        finished = true;
    });
    EXPECT_TRUE(dispatcher_.RunUntil([&] { return finished.load(); }, 10s));
    worker.join();
    tarvo::core::SetUnhandledExceptionView(nullptr);
    tarvo::core::SetExceptionQuitHandler(nullptr);
    EXPECT_EQ(view.shownOn, std::this_thread::get_id());
    EXPECT_EQ(quits, 1);  // "Tarvo beenden" ends the process
}
