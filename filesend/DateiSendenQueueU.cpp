#include "filesend/DateiSendenQueueU.h"

#include <algorithm>

#include "core/DebOutU.h"

namespace tarvo::filesend {

namespace {
constexpr std::string_view kClass = "TDateiSendenQueue";
}  // namespace

TDateiSendenQueue::TDateiSendenQueue(std::size_t bound) : bound_(bound) {}

TDateiSendenQueue::~TDateiSendenQueue() {
    Release();
}

void TDateiSendenQueue::Subscribe(std::shared_ptr<core::ISubscriber> subscriber) {
    publisher_.Subscribe(std::move(subscriber));
}

void TDateiSendenQueue::Unsubscribe(const std::shared_ptr<core::ISubscriber>& subscriber) {
    publisher_.Unsubscribe(subscriber);
}

void TDateiSendenQueue::Changed() {
    publisher_.NotifySubscribers(this);
}

void TDateiSendenQueue::Release() {
    publisher_.UnsubscribeAll();
    std::vector<std::shared_ptr<core::IDateiSenden>> jobs;
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        event_.Reset();
        jobs.swap(list_);
    }
    // Outside the lock: a job's Release calls out to its subscribers.
    for (auto it = jobs.rbegin(); it != jobs.rend(); ++it) (*it)->Release();
}

int TDateiSendenQueue::GetCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(list_.size());
}

std::shared_ptr<core::IDateiSenden> TDateiSendenQueue::GetItems(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || static_cast<std::size_t>(index) >= list_.size()) return nullptr;
    return list_[static_cast<std::size_t>(index)];
}

TDateiSendenQueue::TAdd TDateiSendenQueue::Add(const std::shared_ptr<core::IDateiSenden>& job) {
    if (!job) return TAdd::Refused;
    {
        std::lock_guard lock(mutex_);
        if (std::find(list_.begin(), list_.end(), job) != list_.end()) return TAdd::Duplicate;
        if (released_ || list_.size() >= bound_) return TAdd::Refused;
        list_.push_back(job);
        event_.Set();
    }
    core::DebOutObj(kClass, "EnQueue", job->GetSendName());
    Changed();
    return TAdd::Added;
}

bool TDateiSendenQueue::TryEnQueue(const std::shared_ptr<core::IDateiSenden>& job) {
    return Add(job) == TAdd::Added;
}

void TDateiSendenQueue::EnQueue(const std::shared_ptr<core::IDateiSenden>& job) {
    // A job already waiting here stays; only one that found no place is let go.
    if (Add(job) != TAdd::Refused || !job) return;
    core::DebOutObj(kClass, "EnQueue", "refused: " + job->GetSendName());
    job->Release();
}

std::shared_ptr<core::IDateiSenden> TDateiSendenQueue::DeQueue() {
    std::shared_ptr<core::IDateiSenden> job;
    {
        std::lock_guard lock(mutex_);
        if (list_.empty()) return nullptr;
        job = list_.front();
        list_.erase(list_.begin());
        if (list_.empty()) event_.Reset();
    }
    Changed();
    return job;
}

std::shared_ptr<core::IDateiSenden> TDateiSendenQueue::Current() const {
    std::lock_guard lock(mutex_);
    return list_.empty() ? nullptr : list_.front();
}

int TDateiSendenQueue::Remove(const core::IDateiSenden* job) {
    int index = -1;
    {
        std::lock_guard lock(mutex_);
        const auto it =
            std::find_if(list_.begin(), list_.end(), [&](const auto& j) { return j.get() == job; });
        if (it == list_.end()) return -1;
        index = static_cast<int>(it - list_.begin());
        list_.erase(it);
        if (list_.empty()) event_.Reset();
    }
    Changed();
    return index;
}

std::vector<std::shared_ptr<core::IDateiSenden>> TDateiSendenQueue::Items() const {
    std::lock_guard lock(mutex_);
    return list_;
}

}  // namespace tarvo::filesend
