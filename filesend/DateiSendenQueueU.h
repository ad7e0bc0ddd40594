// The send jobs waiting for one connection, first in, first out.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "core/InterfacesU.h"
#include "core/PublisherU.h"
#include "platform/Event.h"

namespace tarvo::filesend {

class TDateiSendenQueue final : public core::IDateiSendenQueue {
  public:
    // Jobs one connection may have waiting; more are refused.
    static constexpr std::size_t kDefaultBound = 100;

    explicit TDateiSendenQueue(std::size_t bound = kDefaultBound);
    ~TDateiSendenQueue() override;
    TDateiSendenQueue(const TDateiSendenQueue&) = delete;
    TDateiSendenQueue& operator=(const TDateiSendenQueue&) = delete;

    void Subscribe(std::shared_ptr<core::ISubscriber> subscriber) override;
    void Unsubscribe(const std::shared_ptr<core::ISubscriber>& subscriber) override;
    // Releases every job, tail first; the queue stays empty for good.
    void Release() override;
    int GetCount() const override;
    std::shared_ptr<core::IDateiSenden> GetItems(int index) const override;
    void EnQueue(const std::shared_ptr<core::IDateiSenden>& job) override;
    bool TryEnQueue(const std::shared_ptr<core::IDateiSenden>& job) override;
    // Null on an empty queue.
    std::shared_ptr<core::IDateiSenden> DeQueue() override;
    std::shared_ptr<core::IDateiSenden> Current() const override;
    platform::Event& GetEvent() override { return event_; }
    int Remove(const core::IDateiSenden* job) override;
    std::vector<std::shared_ptr<core::IDateiSenden>> Items() const override;

    // Tells the subscribers, with the queue as the sender.
    void Changed();

  private:
    enum class TAdd { Added, Duplicate, Refused };
    TAdd Add(const std::shared_ptr<core::IDateiSenden>& job);

    const std::size_t bound_;
    core::TPublisher publisher_;
    mutable std::mutex mutex_;  // list_, released_ and the event's state
    std::vector<std::shared_ptr<core::IDateiSenden>> list_;
    bool released_ = false;
    platform::Event event_{platform::Event::Manual, false};
};

}  // namespace tarvo::filesend
