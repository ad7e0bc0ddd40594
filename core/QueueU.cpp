#include "core/QueueU.h"

#include <vector>

namespace tarvo::core {

void TStringQueue::PushString(std::string text) {
    if (text.empty()) return;
    Push(std::move(text));
}

std::string TStringQueue::PopString() {
    std::lock_guard lock(mutex_);
    TARVO_ASSERT(!items_.empty(), "QueueU");
    std::string s = std::move(items_.front());
    items_.pop_front();
    bytes_ -= s.size();
    Signal();
    return s;
}

std::string TStringQueue::PopPart(long maxLength) {
    std::lock_guard lock(mutex_);
    TARVO_ASSERT(!items_.empty(), "QueueU");
    if (maxLength <= 0) return {};
    std::string& head = items_.front();
    const auto n = static_cast<std::size_t>(maxLength);
    if (head.size() > n) {
        std::string part = head.substr(0, n);
        head.erase(0, n);
        bytes_ -= n;
        return part;
    }
    std::string s = std::move(head);
    items_.pop_front();
    bytes_ -= s.size();
    Signal();
    return s;
}

std::string TStringQueue::PopLine() {
    std::lock_guard lock(mutex_);
    if (items_.empty()) return {};
    std::string& head = items_.front();
    const std::size_t cr = head.find('\r');
    if (cr != std::string::npos && cr + 1 < head.size()) {
        std::string line = head.substr(0, cr + 1);
        if (head.size() - line.size() > kSplitAbove) {
            // A long item with many lines would be moved once per line: cut it
            // into its lines at once, so taking them all stays linear.
            std::vector<std::string> lines;
            for (std::size_t at = cr + 1; at < head.size();) {
                const std::size_t next = head.find('\r', at);
                const std::size_t end = next == std::string::npos ? head.size() : next + 1;
                lines.push_back(head.substr(at, end - at));
                at = end;
            }
            items_.pop_front();
            for (auto it = lines.rbegin(); it != lines.rend(); ++it)
                items_.push_front(std::move(*it));
            bytes_ -= line.size();
            return line;
        }
        head.erase(0, cr + 1);
        bytes_ -= line.size();
        return line;
    }
    std::string s = std::move(head);
    items_.pop_front();
    bytes_ -= s.size();
    Signal();
    return s;
}

std::string TStringQueue::PeekString() const {
    std::lock_guard lock(mutex_);
    return items_.empty() ? std::string() : items_.front();
}

void TStringQueue::PushStringFront(std::string text) {
    PushFront(std::move(text));
}

std::size_t TStringQueue::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

}  // namespace tarvo::core
