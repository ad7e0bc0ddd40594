// Events, waits on several events, and per-thread message queues.
#pragma once

#include <any>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace tarvo::platform {

class Waiter;

// A signalled/not-signalled flag that threads wait on. A manual-reset event stays
// set until Reset; an auto-reset event is cleared by the one wait that it ends.
class Event {
  public:
    enum ResetMode { Manual, Auto };

    explicit Event(ResetMode mode, bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    bool IsManualReset() const { return manual_; }

    // Waits for this event alone; false on time-out.
    bool Wait(std::chrono::milliseconds timeout);

  private:
    friend class WaitEngine;
    const bool manual_;
    bool set_;                      // guarded by the wait engine's lock
    std::vector<Waiter*> waiters_;  // guarded by the wait engine's lock
};

inline constexpr std::chrono::milliseconds kInfinite{-1};

// The result of a wait. Signalled carries the index of the event that ended it.
struct WaitResult {
    enum class Kind { Signalled, Message, Timeout, Failed };
    Kind kind = Kind::Failed;
    std::size_t index = 0;

    bool Signalled(std::size_t i) const { return kind == Kind::Signalled && index == i; }
    bool operator==(const WaitResult&) const = default;
};

// A message posted to a thread. The payload is owned by the message.
struct ThreadMessage {
    std::uint32_t id = 0;
    std::any payload;
};

// A bounded first-in-first-out queue of messages for one consumer thread. Any
// thread may post; a wait can include it.
class ThreadMessageQueue {
  public:
    static constexpr std::size_t kDefaultCapacity = 10000;

    explicit ThreadMessageQueue(std::size_t capacity = kDefaultCapacity);

    // False when the queue is full or closed; the message is then dropped.
    bool Post(ThreadMessage message);
    bool Post(std::uint32_t id, std::any payload = {}) {
        return Post(ThreadMessage{id, std::move(payload)});
    }
    std::optional<ThreadMessage> TryGet();
    std::size_t Size() const;
    bool Empty() const { return Size() == 0; }

    // After Close every Post fails; the pending messages stay readable.
    void Close();

    // Set while messages are waiting.
    Event& NotEmpty() { return notEmpty_; }

    // The queue of the calling thread, created on first use. Hand it to the
    // threads that post to this one.
    static std::shared_ptr<ThreadMessageQueue> ForCurrentThread();

  private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<ThreadMessage> messages_;
    bool closed_ = false;
    Event notEmpty_{Event::Manual};
};

// Waits until one of the events is set, a message is waiting in `messages` (when
// given), or the time-out passes. Several set events: the lowest index wins, and
// only that one is consumed when it is auto-reset. A waiting message counts after
// all events (Kind::Message). Fails (Kind::Failed) on a null event, more than
// kMaxWaitObjects events, or nothing at all to wait for without a time-out.
inline constexpr std::size_t kMaxWaitObjects = 64;
WaitResult WaitAny(std::span<Event* const> events, std::chrono::milliseconds timeout,
                   ThreadMessageQueue* messages = nullptr);
WaitResult WaitAny(std::initializer_list<Event*> events, std::chrono::milliseconds timeout,
                   ThreadMessageQueue* messages = nullptr);

// WaitAny that also ends when the descriptor `fd` has something to read (data,
// its end or an error), so one thread can sleep on a socket and its events
// together. A set event wins, then the descriptor (`readable`), then a waiting
// message. Fails like WaitAny, and on an fd below 0.
struct ReadableWaitResult {
    bool readable = false;
    WaitResult wait;  // what ended the wait otherwise
};
ReadableWaitResult WaitAnyOrReadable(int fd, std::span<Event* const> events,
                                     std::chrono::milliseconds timeout,
                                     ThreadMessageQueue* messages = nullptr);

}  // namespace tarvo::platform
