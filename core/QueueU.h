// Thread-safe first-in-first-out queues with "not empty" and "empty" events
// that consumer threads wait on.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>

#include "core/GlobalU.h"
#include "platform/Event.h"

namespace tarvo::core {

// After every operation "not empty" is set exactly when the queue holds an item
// and "empty" exactly when it holds none.
template <class T>
class TQueue {
  public:
    TQueue() = default;
    TQueue(const TQueue&) = delete;
    TQueue& operator=(const TQueue&) = delete;
    virtual ~TQueue() = default;

    void Push(T item) {
        std::lock_guard lock(mutex_);
        bytes_ += ItemBytes(item);
        items_.push_back(std::move(item));
        Signal();
    }
    void PushFront(T item) {
        std::lock_guard lock(mutex_);
        bytes_ += ItemBytes(item);
        items_.push_front(std::move(item));
        Signal();
    }
    std::optional<T> Pop() {
        std::lock_guard lock(mutex_);
        if (items_.empty()) return std::nullopt;
        T item = std::move(items_.front());
        items_.pop_front();
        bytes_ -= ItemBytes(item);
        Signal();
        return item;
    }
    std::optional<T> Peek() const {
        std::lock_guard lock(mutex_);
        if (items_.empty()) return std::nullopt;
        return items_.front();
    }
    bool IsEmpty() const {
        std::lock_guard lock(mutex_);
        return items_.empty();
    }
    std::size_t Count() const {
        std::lock_guard lock(mutex_);
        return items_.size();
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        items_.clear();
        bytes_ = 0;
        Signal();
    }

    platform::Event& NotEmptyEvent() { return notEmpty_; }
    platform::Event& EmptyEvent() { return empty_; }

  protected:
    // Strings count their bytes, other items nothing.
    static std::size_t ItemBytes(const T& item) {
        if constexpr (std::is_same_v<T, std::string>) {
            return item.size();
        } else {
            return 0;
        }
    }

    // Call with the lock held after every change.
    void Signal() {
        if (items_.empty()) {
            notEmpty_.Reset();
            empty_.Set();
        } else {
            empty_.Reset();
            notEmpty_.Set();
        }
    }

    mutable std::mutex mutex_;
    std::deque<T> items_;
    // What ItemBytes gives for all queued items, kept as they come and go so
    // that a bound can be checked on every push.
    std::size_t bytes_ = 0;

  private:
    platform::Event notEmpty_{platform::Event::Manual, false};
    platform::Event empty_{platform::Event::Manual, true};
};

class TStringQueue : public TQueue<std::string> {
  public:
    // Appends the text; an empty text is not queued.
    void PushString(std::string text);
    // Removes the head string. The queue must not be empty.
    std::string PopString();
    // At most maxLength bytes of the head string; the rest stays at the head.
    // The queue must not be empty; a maxLength of 0 or less takes nothing.
    std::string PopPart(long maxLength);
    // The head string up to and including its first carriage return; the rest
    // stays at the head. Without a carriage return the whole head string. A
    // long rest is kept as one item per line (same bytes, in order).
    std::string PopLine();
    static constexpr std::size_t kSplitAbove = 4096;
    std::string PeekString() const;
    // Inserts at the head, also an empty text.
    void PushStringFront(std::string text);
    // Bytes in all queued strings (for callers that bound what remote stations
    // queue); kept up to date, so cheap to ask.
    std::size_t Bytes() const;
};

}  // namespace tarvo::core
