#include "platform/Event.h"

#include <algorithm>
#include <condition_variable>

namespace tarvo::platform {

// Every event shares one lock. A terminal has few events and short critical
// sections, and one lock makes waiting on several events free of lost wake-ups.
class Waiter {
  public:
    std::condition_variable cv;
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
        for (Waiter* w : e->waiters_) w->cv.notify_one();
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
