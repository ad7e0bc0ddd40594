#include "platform/qt/QtDispatcher.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>

namespace tarvo::platform {

// Workers wake the main thread through an eventfd: no Qt object is ever touched
// by a worker, so the hand-over is plain to every thread checker.
struct QtDispatcher::Impl {
    QObject context;  // lives on the main thread
    int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::unique_ptr<QSocketNotifier> notifier;
    std::atomic<bool> wakeQueued{false};
    TimerId nextId = 1;
    std::map<TimerId, QTimer*> timers;
};

QtDispatcher::QtDispatcher() : impl_(std::make_unique<Impl>()) {
    impl_->notifier = std::make_unique<QSocketNotifier>(impl_->wakeFd, QSocketNotifier::Read);
    QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, &impl_->context, [this] {
        std::uint64_t count;
        while (::read(impl_->wakeFd, &count, sizeof count) > 0) {
        }
        impl_->wakeQueued = false;
        RunPending();
    });
}

QtDispatcher::~QtDispatcher() {
    BeginShutdown();
    for (auto& [id, timer] : impl_->timers) delete timer;
    impl_->notifier.reset();
    ::close(impl_->wakeFd);
}

void QtDispatcher::Wake() {
    // One wake-up drains everything queued until it runs.
    if (impl_->wakeQueued.exchange(true)) return;
    const std::uint64_t one = 1;
    if (::write(impl_->wakeFd, &one, sizeof one) < 0) impl_->wakeQueued = false;
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
