#include "platform/qt/SignalWatcher.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>

namespace tarvo::platform {

namespace {
int writeEnd = -1;

// Only async-signal-safe work here: one byte into the pipe.
void OnSignal(int signal) {
    const unsigned char b = static_cast<unsigned char>(signal);
    if (writeEnd >= 0 && ::write(writeEnd, &b, 1) < 0) {
    }
}
}  // namespace

struct SignalWatcher::Impl {
    int fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
    QObject context;
};

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : impl_(std::make_unique<Impl>()) {
    if (::pipe2(impl_->fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    writeEnd = impl_->fds[1];
    impl_->notifier = std::make_unique<QSocketNotifier>(impl_->fds[0], QSocketNotifier::Read);
    QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, &impl_->context,
                     [this, onSignal = std::move(onSignal)] {
                         unsigned char b;
                         while (::read(impl_->fds[0], &b, 1) == 1) onSignal(b);
                     });
    struct sigaction sa {};
    sa.sa_handler = &OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &sa, nullptr);
}

SignalWatcher::~SignalWatcher() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &sa, nullptr);
    writeEnd = -1;
    impl_->notifier.reset();
    for (int fd : impl_->fds)
        if (fd >= 0) ::close(fd);
}

}  // namespace tarvo::platform
