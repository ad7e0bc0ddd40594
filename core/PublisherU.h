// Change notification: an object that changes is a publisher, its followers are
// subscribers, and every change calls each subscriber once.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvo::core {

class ISubscriber {
  public:
    virtual ~ISubscriber() = default;
    // sender is the object that changed, or null; each subscriber knows from its
    // publisher what arrives. It is valid only during the call.
    virtual void Notify(const void* sender) = 0;
};

class IPublisher {
  public:
    virtual ~IPublisher() = default;
    virtual void Subscribe(std::shared_ptr<ISubscriber> subscriber) = 0;
    virtual void Unsubscribe(const std::shared_ptr<ISubscriber>& subscriber) = 0;
};

// Owners embed one and forward IPublisher to it. Every operation is safe from any
// thread; notifications run on the announcing thread, outside the lock.
class TPublisher final : public IPublisher {
  public:
    // Above this many subscribers a pass logs a warning (and still calls all).
    static constexpr std::size_t kWarnSubscribers = 16;

    TPublisher() = default;
    TPublisher(const TPublisher&) = delete;
    TPublisher& operator=(const TPublisher&) = delete;

    // A second subscription of the same object changes nothing.
    void Subscribe(std::shared_ptr<ISubscriber> subscriber) override;
    void Unsubscribe(const std::shared_ptr<ISubscriber>& subscriber) override;
    void UnsubscribeAll();
    std::size_t Count() const;

    // Calls every subscriber in subscription order over a copy of the list, so
    // subscribers may subscribe and unsubscribe from inside Notify: the change
    // takes effect from the next pass, and one removed during a pass is still
    // called in it (the copy keeps it alive until the pass ends).
    void NotifySubscribers(const void* sender) const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<ISubscriber>> subscribers_;
    mutable bool warned_ = false;  // one warning per crossing of the limit
};

// For owners that are not themselves shared (windows, devices, dialogs): the
// owner keeps the adapter, subscribes it, and before it goes away unsubscribes
// and detaches it. A pass on another thread may still hold the adapter then;
// Detach makes it drop such calls and waits for one already inside the owner.
class TSubscriberAdapter final : public ISubscriber {
  public:
    using Target = std::function<void(const void* sender)>;

    explicit TSubscriberAdapter(Target target);
    // Forwards to owner->method(sender).
    template <class Owner>
    static std::shared_ptr<TSubscriberAdapter> For(Owner* owner,
                                                   void (Owner::*method)(const void*)) {
        return std::make_shared<TSubscriberAdapter>(
            [owner, method](const void* sender) { (owner->*method)(sender); });
    }

    void Notify(const void* sender) override;

    // After it returns the target is never called again and no call is running in
    // it on another thread. Called from inside the target it does not wait for
    // that call (nor for others further up the same thread).
    void Detach();
    bool Detached() const;

  private:
    const Target target_;  // never changed, so a running call may read it unlocked
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    bool detached_ = false;
    std::vector<std::thread::id> running_;  // one per call inside the target
};

}  // namespace tarvo::core
