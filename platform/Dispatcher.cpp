#include "platform/Dispatcher.h"

#include <vector>

namespace tarvo::platform {

struct DispatcherCore::CallState {
    enum class Stage { Pending, Running, Done, Cancelled };
    const Task* task;
    Stage stage = Stage::Pending;
    bool ok = false;
};

DispatcherCore::DispatcherCore() : mainThread_(std::this_thread::get_id()) {}

DispatcherCore::~DispatcherCore() {
    BeginShutdown();
}

bool DispatcherCore::IsMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

bool DispatcherCore::Post(Task task) {
    if (!task) return false;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Item{std::move(task), nullptr});
        pending_.Set();
    }
    Wake();
    return true;
}

IDispatcher::CallResult DispatcherCore::Call(const Task& task) {
    if (IsMainThread()) return RunGuarded(task) ? CallResult::Done : CallResult::Failed;
    if (shutdown_) return CallResult::Refused;

    auto state = std::make_shared<CallState>();
    state->task = &task;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Item{nullptr, state});
        pending_.Set();
    }
    Wake();

    std::unique_lock lock(mutex_);
    using Stage = CallState::Stage;
    // Once the main thread has started the task we must wait for it: it uses our
    // caller's objects. Before that, shutdown releases us at once.
    // The main thread may also have dropped it (serving its queue after shutdown
    // began) before we woke to see it pending.
    callDone_.wait(lock, [&] {
        return state->stage == Stage::Done || state->stage == Stage::Cancelled ||
               (shutdown_ && state->stage == Stage::Pending);
    });
    if (state->stage != Stage::Done) {
        state->stage = Stage::Cancelled;
        return CallResult::Refused;
    }
    return state->ok ? CallResult::Done : CallResult::Failed;
}

void DispatcherCore::BeginShutdown() {
    {
        std::lock_guard lock(mutex_);
        shutdown_ = true;
    }
    callDone_.notify_all();
}

bool DispatcherCore::ShuttingDown() const {
    return shutdown_;
}

std::size_t DispatcherCore::RunPending() {
    using Stage = CallState::Stage;
    std::deque<Item> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(queue_);
        pending_.Reset();
    }
    std::size_t ran = 0;
    for (Item& item : batch) {
        if (!item.call) {
            RunGuarded(item.task);
            ++ran;
            continue;
        }
        {
            std::lock_guard lock(mutex_);
            if (item.call->stage != Stage::Pending || shutdown_) {
                item.call->stage = Stage::Cancelled;
                callDone_.notify_all();
                continue;
            }
            item.call->stage = Stage::Running;
        }
        const bool ok = RunGuarded(*item.call->task);
        {
            std::lock_guard lock(mutex_);
            item.call->ok = ok;
            item.call->stage = Stage::Done;
        }
        callDone_.notify_all();
        ++ran;
    }
    return ran;
}

WaitResult DispatcherCore::WaitServing(std::span<Event* const> events,
                                       std::chrono::milliseconds timeout) {
    if (!IsMainThread()) return WaitAny(events, timeout);
    if (events.size() >= kMaxWaitObjects) return {WaitResult::Kind::Failed, 0};
    std::vector<Event*> all(events.begin(), events.end());
    all.push_back(&pending_);
    const bool infinite = timeout.count() < 0;
    const auto deadline =
        std::chrono::steady_clock::now() + (infinite ? std::chrono::milliseconds(0) : timeout);
    for (;;) {
        auto left = kInfinite;
        if (!infinite) {
            left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() < 0) left = std::chrono::milliseconds(0);
        }
        WaitResult r = WaitAny(all, left);
        if (r.kind == WaitResult::Kind::Signalled && r.index == events.size()) {
            RunPending();
            continue;
        }
        return r;
    }
}

void DispatcherCore::SetExceptionHandler(std::function<void(std::exception_ptr)> handler) {
    std::lock_guard lock(handlerMutex_);
    handler_ = std::move(handler);
}

bool DispatcherCore::RunGuarded(const Task& task) {
    try {
        task();
        return true;
    } catch (...) {
        std::function<void(std::exception_ptr)> handler;
        {
            std::lock_guard lock(handlerMutex_);
            handler = handler_;
        }
        if (handler) {
            try {
                handler(std::current_exception());
            } catch (...) {
                // A failing report must not take the loop down with it.
            }
        }
        return false;
    }
}

IDispatcher::TimerId LoopDispatcher::StartTimer(std::chrono::milliseconds interval, bool periodic,
                                                Task task) {
    if (interval.count() < 0) interval = std::chrono::milliseconds(0);
    const TimerId id = nextId_++;
    timers_[id] =
        Timer{std::chrono::steady_clock::now() + interval, interval, periodic, std::move(task)};
    return id;
}

void LoopDispatcher::StopTimer(TimerId id) {
    timers_.erase(id);
}

std::chrono::steady_clock::time_point LoopDispatcher::RunTimers() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<TimerId> due;
    for (auto& [id, t] : timers_)
        if (t.due <= now) due.push_back(id);
    for (TimerId id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;  // stopped by an earlier timer
        Task task = it->second.task;
        if (it->second.periodic)
            it->second.due = now + std::max(it->second.interval, std::chrono::milliseconds(1));
        else
            timers_.erase(it);
        RunGuarded(task);
    }
    auto next = std::chrono::steady_clock::time_point::max();
    for (auto& [id, t] : timers_) next = std::min(next, t.due);
    return next;
}

bool LoopDispatcher::RunUntil(const std::function<bool()>& done,
                              std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        RunPending();
        const auto nextTimer = RunTimers();
        if (done && done()) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        // The predicate may turn true without any task arriving: look again soon.
        auto until = std::min(deadline, nextTimer);
        if (done) until = std::min(until, now + std::chrono::milliseconds(5));
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
        if (wait.count() < 1) wait = std::chrono::milliseconds(1);
        Event* pending = &Pending();
        WaitAny(std::span<Event* const>(&pending, 1), wait);
    }
}

void LoopDispatcher::RunFor(std::chrono::milliseconds duration) {
    RunUntil(nullptr, duration);
}

}  // namespace tarvo::platform
