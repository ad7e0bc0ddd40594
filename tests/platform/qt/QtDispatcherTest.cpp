#include "platform/qt/QtDispatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using tarvo::platform::IDispatcher;
using tarvo::platform::QtDispatcher;

namespace {
QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}
}  // namespace

TEST(QtDispatcher, WorkerCallsRunInTheEventLoop) {
    App();
    QtDispatcher d;
    std::atomic<int> results{0};
    int onMain = 0;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            if (d.Call([&] { ++onMain; }) == IDispatcher::CallResult::Done) ++results;
        d.Post([] { QCoreApplication::quit(); });
    });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    worker.join();
    EXPECT_EQ(results, 50);
    EXPECT_EQ(onMain, 50);
}

TEST(QtDispatcher, TimersFireInTheEventLoop) {
    App();
    QtDispatcher d;
    int ticks = 0;
    bool once = false;
    d.StartTimer(5ms, false, [&] { once = true; });
    IDispatcher::TimerId id = 0;
    id = d.StartTimer(5ms, true, [&] {
        if (++ticks == 3) {
            d.StopTimer(id);  // stopping a timer from its own callback
            d.StartTimer(20ms, false, [] { QCoreApplication::quit(); });
        }
    });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(once);
    EXPECT_EQ(ticks, 3);
}
