#include "platform/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>

namespace tarvo::platform {

// Every event shares one lock. A terminal has few events and short critical
// sections, and one lock makes waiting on several events free of lost wake-ups.
class Waiter {
  public:
    std::condition_variable cv;
    int wakeFd = -1;  // an eventfd written on every notify, for waits in poll()
};

class WaitEngine {
  public:
    static std::mutex& Lock() {
        // Never destroyed: events with static storage may outlive any other static.
        static auto* mutex = new std::mutex;
        return *mutex;
    }
    static void Register(Event* e, Waiter* w) { e->waiters_.push_back(w); }
    static void Unregister(Event* e, Waiter* w) {
        auto& v = e->waiters_;
        v.erase(std::remove(v.begin(), v.end(), w), v.end());
    }
    static bool Consume(Event* e) {
        if (!e->set_) return false;
        if (!e->manual_) e->set_ = false;
        return true;
    }
    static void Notify(Event* e) {
        for (Waiter* w : e->waiters_) {
            w->cv.notify_one();
            if (w->wakeFd >= 0) {
                const std::uint64_t one = 1;
                // A full counter still wakes the poll; nothing to do on failure.
                [[maybe_unused]] const ssize_t n = ::write(w->wakeFd, &one, sizeof one);
            }
        }
    }
    static bool& Flag(Event* e) { return e->set_; }
};

Event::Event(ResetMode mode, bool initiallySet) : manual_(mode == Manual), set_(initiallySet) {}

Event::~Event() = default;

void Event::Set() {
    std::lock_guard lock(WaitEngine::Lock());
    set_ = true;
    WaitEngine::Notify(this);
}

void Event::Reset() {
    std::lock_guard lock(WaitEngine::Lock());
    set_ = false;
}

bool Event::IsSet() const {
    std::lock_guard lock(WaitEngine::Lock());
    return set_;
}

bool Event::Wait(std::chrono::milliseconds timeout) {
    Event* self = this;
    return WaitAny(std::span<Event* const>(&self, 1), timeout).kind == WaitResult::Kind::Signalled;
}

WaitResult WaitAny(std::span<Event* const> events, std::chrono::milliseconds timeout,
                   ThreadMessageQueue* messages) {
    using Kind = WaitResult::Kind;
    const bool infinite = timeout.count() < 0;
    if (events.size() > kMaxWaitObjects) return {Kind::Failed, 0};
    if (std::any_of(events.begin(), events.end(), [](Event* e) { return e == nullptr; }))
        return {Kind::Failed, 0};
    if (events.empty() && messages == nullptr && infinite) return {Kind::Failed, 0};

    std::vector<Event*> all(events.begin(), events.end());
    if (messages) all.push_back(&messages->NotEmpty());

    const auto deadline =
        std::chrono::steady_clock::now() + (infinite ? std::chrono::milliseconds(0) : timeout);
    Waiter waiter;
    bool registered = false;
    std::unique_lock lock(WaitEngine::Lock());
    auto unregister = [&] {
        if (registered)
            for (Event* e : all) WaitEngine::Unregister(e, &waiter);
    };
    for (;;) {
        for (std::size_t i = 0; i < all.size(); ++i) {
            // The message queue's event only reports; the reader empties it.
            const bool isMessages = i == events.size();
            if (isMessages ? WaitEngine::Flag(all[i]) : WaitEngine::Consume(all[i])) {
                unregister();
                return isMessages ? WaitResult{Kind::Message, i} : WaitResult{Kind::Signalled, i};
            }
        }
        if (!infinite && std::chrono::steady_clock::now() >= deadline) {
            unregister();
            return {Kind::Timeout, 0};
        }
        if (!registered) {
            for (Event* e : all) WaitEngine::Register(e, &waiter);
            registered = true;
        }
        if (infinite)
            waiter.cv.wait(lock);
        else
            waiter.cv.wait_until(lock, deadline);
    }
}

WaitResult WaitAny(std::initializer_list<Event*> events, std::chrono::milliseconds timeout,
                   ThreadMessageQueue* messages) {
    return WaitAny(std::span<Event* const>(events.begin(), events.size()), timeout, messages);
}

ReadableWaitResult WaitAnyOrReadable(int fd, std::span<Event* const> events,
                                     std::chrono::milliseconds timeout,
                                     ThreadMessageQueue* messages) {
    using Kind = WaitResult::Kind;
    using Clock = std::chrono::steady_clock;
    if (fd < 0 || events.size() > kMaxWaitObjects ||
        std::any_of(events.begin(), events.end(), [](Event* e) { return e == nullptr; }))
        return {false, {Kind::Failed, 0}};
    const bool infinite = timeout.count() < 0;
    const auto deadline = Clock::now() + (infinite ? std::chrono::milliseconds(0) : timeout);

    std::vector<Event*> all(events.begin(), events.end());
    if (messages) all.push_back(&messages->NotEmpty());
    // One descriptor per thread, made at its first wait: a worker waits once
    // per frame it receives. A wake-up left in it from an earlier wait only
    // makes one pass of the loop below look again.
    struct WakeFd {
        int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        ~WakeFd() {
            if (fd >= 0) ::close(fd);
        }
    };
    thread_local WakeFd wake;
    Waiter waiter;
    waiter.wakeFd = wake.fd;
    if (waiter.wakeFd < 0) return {false, {Kind::Failed, 0}};

    // A set event, consumed when it is auto-reset; registers the waiter when none is.
    const auto check = [&](bool stay, bool& registered) -> std::optional<std::size_t> {
        std::lock_guard lock(WaitEngine::Lock());
        std::optional<std::size_t> hit;
        for (std::size_t i = 0; i < events.size() && !hit; ++i)
            if (WaitEngine::Consume(all[i])) hit = i;
        if (stay && !hit && !registered) {
            for (Event* e : all) WaitEngine::Register(e, &waiter);
            registered = true;
        }
        if ((!stay || hit) && registered) {
            for (Event* e : all) WaitEngine::Unregister(e, &waiter);
            registered = false;
        }
        return hit;
    };
    const auto messageWaiting = [&] {
        std::lock_guard lock(WaitEngine::Lock());
        return messages && WaitEngine::Flag(&messages->NotEmpty());
    };

    bool registered = false;
    for (;;) {
        if (auto hit = check(true, registered)) return {false, {Kind::Signalled, *hit}};
        int ms = -1;
        if (!infinite) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            ms = static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
        }
        // A message already waiting must not wait for the descriptor.
        if (messageWaiting()) ms = 0;
        pollfd fds[2] = {{fd, POLLIN, 0}, {waiter.wakeFd, POLLIN, 0}};
        const int n = ::poll(fds, 2, ms);
        if (n < 0 && errno != EINTR) {
            check(false, registered);
            return {false, {Kind::Failed, 0}};
        }
        std::uint64_t drained = 0;
        [[maybe_unused]] const ssize_t r = ::read(waiter.wakeFd, &drained, sizeof drained);
        if (auto hit = check(false, registered)) return {false, {Kind::Signalled, *hit}};
        if (n > 0 && fds[0].revents != 0) return {true, {Kind::Timeout, 0}};
        if (messageWaiting()) return {false, {Kind::Message, events.size()}};
        if (!infinite && Clock::now() >= deadline) return {false, {Kind::Timeout, 0}};
        // Woken for an event that another waiter took, or interrupted: wait on.
    }
}

ThreadMessageQueue::ThreadMessageQueue(std::size_t capacity) : capacity_(capacity) {}

bool ThreadMessageQueue::Post(ThreadMessage message) {
    std::lock_guard lock(mutex_);
    if (closed_ || messages_.size() >= capacity_) return false;
    messages_.push_back(std::move(message));
    if (messages_.size() == 1) notEmpty_.Set();
    return true;
}

std::optional<ThreadMessage> ThreadMessageQueue::TryGet() {
    std::lock_guard lock(mutex_);
    if (messages_.empty()) return std::nullopt;
    ThreadMessage m = std::move(messages_.front());
    messages_.pop_front();
    if (messages_.empty()) notEmpty_.Reset();
    return m;
}

std::size_t ThreadMessageQueue::Size() const {
    std::lock_guard lock(mutex_);
    return messages_.size();
}

void ThreadMessageQueue::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
}

std::shared_ptr<ThreadMessageQueue> ThreadMessageQueue::ForCurrentThread() {
    thread_local std::shared_ptr<ThreadMessageQueue> queue = std::make_shared<ThreadMessageQueue>();
    return queue;
}

}  // namespace tarvo::platform
