#include "platform/qt/QtDispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

namespace tarvo::platform {

struct QtDispatcher::Impl {
    QObject context;  // lives on the main thread; queued wake-ups run against it
    std::atomic<bool> wakeQueued{false};
    TimerId nextId = 1;
    std::map<TimerId, QTimer*> timers;
};

QtDispatcher::QtDispatcher() : impl_(std::make_unique<Impl>()) {}

QtDispatcher::~QtDispatcher() {
    BeginShutdown();
    for (auto& [id, timer] : impl_->timers) delete timer;
}

void QtDispatcher::Wake() {
    // One queued wake-up drains everything queued until it runs.
    if (impl_->wakeQueued.exchange(true)) return;
    QMetaObject::invokeMethod(
        &impl_->context,
        [this] {
            impl_->wakeQueued = false;
            RunPending();
        },
        Qt::QueuedConnection);
}

IDispatcher::TimerId QtDispatcher::StartTimer(std::chrono::milliseconds interval, bool periodic,
                                              Task task) {
    const TimerId id = impl_->nextId++;
    auto* timer = new QTimer(&impl_->context);
    timer->setSingleShot(!periodic);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, &impl_->context,
                     [this, id, periodic, task = std::move(task)] {
                         if (!periodic)
                             StopTimer(id);  // the task may start new timers; forget this one first
                         RunGuarded(task);
                     });
    timer->start(std::max<std::chrono::milliseconds::rep>(0, interval.count()));
    impl_->timers[id] = timer;
    return id;
}

void QtDispatcher::StopTimer(TimerId id) {
    auto it = impl_->timers.find(id);
    if (it == impl_->timers.end()) return;
    it->second->stop();
    it->second->deleteLater();  // we may be inside its own timeout signal
    impl_->timers.erase(it);
}

}  // namespace tarvo::platform
