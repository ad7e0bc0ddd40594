#include "tests/support/LoopbackLink.h"

namespace tarvo::test {

std::shared_ptr<TLoopbackLink> TLoopbackLink::Create(const connection::TVerbindungContext& a,
                                                     const connection::TVerbindungContext& b) {
    std::shared_ptr<TLoopbackLink> link(new TLoopbackLink());
    link->a_ = connection::TVerbindung::Create(link, a);
    link->b_ = connection::TVerbindung::Create(link, b);
    link->a_->SetHandle(1);
    link->b_->SetHandle(2);
    // The link acknowledges every frame at once.
    link->a_->Status()->SetUnacked(0);
    link->b_->Status()->SetUnacked(0);
    link->thread_ = std::thread([l = link.get()] { l->Pump(); });
    return link;
}

TLoopbackLink::~TLoopbackLink() {
    Stop();
}

void TLoopbackLink::Stop() {
    stop_.store(true);
    wake_.Set();
    if (thread_.joinable()) thread_.join();
}

void TLoopbackLink::Connect() {
    a_->SetOutgoing(true);
    b_->SetSendGreeting(true);
    b_->SetRemoteCommandsEnabled(true);
    a_->LinkEstablished();
    b_->LinkEstablished();
}

void TLoopbackLink::Drop() {
    dropRequested_.store(true);
    wake_.Set();
}

void TLoopbackLink::Trenne(const std::shared_ptr<core::IVerbindung>& verbindung) {
    verbindung->DiscLevelDone();
    endRequested_.store(true);
    wake_.Set();
}

void TLoopbackLink::EndBoth(std::uint8_t reason) {
    if (ending_.exchange(true)) return;
    a_->Getrennt(reason);
    b_->Getrennt(reason);
    down_.store(true);
}

void TLoopbackLink::Pump() {
    platform::Event* events[] = {&wake_, &a_->LinkSendQueue().NotEmptyEvent(),
                                 &b_->LinkSendQueue().NotEmptyEvent()};
    while (!stop_.load()) {
        platform::WaitAny(events, std::chrono::milliseconds(200));
        if (stop_.load()) break;
        if (dropRequested_.exchange(false)) EndBoth(core::kDisconnectLinkFailure);
        if (ending_.load()) continue;
        // Everything said before the disconnect still arrives. One frame each
        // way in turn, so a side that keeps sending never starves the other.
        for (bool carried = true; carried;) {
            carried = false;
            for (auto [from, to] : {std::pair{a_.get(), b_.get()}, std::pair{b_.get(), a_.get()}}) {
                auto frame = from->LinkSendQueue().Pop();
                if (!frame) continue;
                carried = true;
                if (const long long ms = delayMs_.load(); ms > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                if (filter_) filter_(from == a_.get(), *frame);
                to->DataReceived(*frame);
                ++frames_;
            }
        }
        if (endRequested_.exchange(false)) EndBoth(core::kDisconnectNormal);
    }
}

}  // namespace tarvo::test
