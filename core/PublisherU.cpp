#include "core/PublisherU.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/DebOutU.h"

namespace tarvo::core {

namespace {

constexpr const char* kClass = "TPublisher";

// The subscriber's address in hex, at least 8 digits.
std::string Hex(const void* p) {
    char buffer[2 * sizeof(std::uintptr_t) + 1];
    std::snprintf(buffer, sizeof buffer, "%08llX",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p)));
    return buffer;
}

}  // namespace

void TPublisher::Subscribe(std::shared_ptr<ISubscriber> subscriber) {
    if (!subscriber) return;
    const void* id = subscriber.get();
    {
        std::lock_guard lock(mutex_);
        if (std::find(subscribers_.begin(), subscribers_.end(), subscriber) != subscribers_.end())
            return;
        subscribers_.push_back(std::move(subscriber));
    }
    if (DebugAttached()) DebOutObj(kClass, "Subscribe", "Subscribe " + Hex(id));
}

void TPublisher::Unsubscribe(const std::shared_ptr<ISubscriber>& subscriber) {
    std::shared_ptr<ISubscriber> removed;  // freed after the lock is left
    {
        std::lock_guard lock(mutex_);
        auto it = std::find(subscribers_.begin(), subscribers_.end(), subscriber);
        if (it != subscribers_.end()) {
            removed = std::move(*it);
            subscribers_.erase(it);
        }
    }
    if (DebugAttached())
        DebOutObj(kClass, "Unsubscribe",
                  (removed ? "Unsubscribed " : "Not unsubscribed ") + Hex(subscriber.get()));
}

void TPublisher::UnsubscribeAll() {
    std::vector<std::shared_ptr<ISubscriber>> removed;
    std::lock_guard lock(mutex_);
    removed.swap(subscribers_);
    // removed is destroyed after the lock: a subscriber's destructor may come back
}

std::size_t TPublisher::Count() const {
    std::lock_guard lock(mutex_);
    return subscribers_.size();
}

void TPublisher::NotifySubscribers(const void* sender) const {
    std::vector<std::shared_ptr<ISubscriber>> pass;
    bool warn = false;
    {
        std::lock_guard lock(mutex_);
        if (subscribers_.empty()) return;
        pass = subscribers_;
        const bool over = pass.size() > kWarnSubscribers;
        warn = over && !warned_;
        warned_ = over;
    }
    if (warn)
        DebOutObj(kClass, "NotifySubscribers",
                  "more than 16 subscribers: " + std::to_string(pass.size()));
    for (const auto& subscriber : pass) subscriber->Notify(sender);
}

TSubscriberAdapter::TSubscriberAdapter(Target target) : target_(std::move(target)) {}

void TSubscriberAdapter::Notify(const void* sender) {
    const auto self = std::this_thread::get_id();
    {
        std::lock_guard lock(mutex_);
        if (detached_ || !target_) return;
        running_.push_back(self);
    }
    // Leaves the running list even when the target throws.
    struct Leave {
        TSubscriberAdapter& adapter;
        std::thread::id self;
        ~Leave() {
            std::lock_guard lock(adapter.mutex_);
            auto& r = adapter.running_;
            r.erase(std::find(r.begin(), r.end(), self));
            adapter.idle_.notify_all();
        }
    } leave{*this, self};
    target_(sender);
}

void TSubscriberAdapter::Detach() {
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(mutex_);
    detached_ = true;
    // Calls on this thread are below us on the stack and cannot finish first.
    idle_.wait(lock, [&] {
        return std::all_of(running_.begin(), running_.end(),
                           [&](std::thread::id id) { return id == self; });
    });
}

bool TSubscriberAdapter::Detached() const {
    std::lock_guard lock(mutex_);
    return detached_;
}

}  // namespace tarvo::core
