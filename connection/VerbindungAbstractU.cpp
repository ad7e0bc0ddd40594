#include "connection/VerbindungAbstractU.h"

#include <algorithm>
#include <any>
#include <exception>
#include <span>

#include "connection/VerbindungStandardU.h"
#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "platform/Demangle.h"

namespace tarvo::connection {

namespace {

constexpr const char* kUnit = "VerbindungAbstractU";

// Wait list positions: the quit event sits right after the link end so that a
// shutdown wins over a stream of received data; optional handles follow.
constexpr std::size_t kWaitOwn = 0;
constexpr std::size_t kWaitThreadEnd = 1;
constexpr std::size_t kWaitLinkEnd = 2;
constexpr std::size_t kWaitQuit = 3;
constexpr std::size_t kWaitFirstOptional = 4;

// Every waiting message is a task for this thread.
void DispatchMessages(platform::ThreadMessageQueue& messages) {
    while (auto message = messages.TryGet()) {
        if (auto* task = std::any_cast<std::function<void()>>(&message->payload)) {
            if (*task) (*task)();
        }
    }
}

std::string ShortClassName(const std::type_info& type) {
    std::string name = platform::DemangledTypeName(type);
    const std::size_t colons = name.rfind("::");
    if (colons != std::string::npos) name.erase(0, colons + 2);
    return name;
}

}  // namespace

TVerbindungAbstract::TVerbindungAbstract(TVerbindungAbstract* parent,
                                         std::shared_ptr<core::IVerbindungFuerModul> connection)
    : parent_(parent), connection_(std::move(connection)) {}

TVerbindungAbstract::~TVerbindungAbstract() = default;

void TVerbindungAbstract::Construct() {
    name_ = ShortClassName(typeid(*this));
    active_ = false;
    auto connection = Connection();
    TARVO_ASSERT(connection, kUnit);
    handles_[0] = &ownEvent_;
    handles_[1] = connection->WaitHandle(core::kWaitThread);
    handles_[2] = connection->WaitHandle(core::kWaitEnd);
    handleCount_ = kBaseCount;
    constructed_ = true;
    Init();
}

void TVerbindungAbstract::SetUseEvent(int event, bool on) {
    TARVO_ASSERT(event >= core::kWaitReceive && event <= core::kWaitSendJob, kUnit);
    const unsigned bit = 1u << (event - core::kWaitReceive);
    optionalEvents_ = on ? (optionalEvents_ | bit) : (optionalEvents_ & ~bit);
    auto connection = Connection();
    TARVO_ASSERT(connection, kUnit);
    RebuildHandles(*connection);
}

void TVerbindungAbstract::RebuildHandles(core::IVerbindungFuerModul& connection) {
    static constexpr std::array<THandler, 4> kHandlers{
        &TVerbindungAbstract::OnReceive, &TVerbindungAbstract::OnUserSend,
        &TVerbindungAbstract::OnLinkSendQueueEmpty, &TVerbindungAbstract::OnSendJob};
    handleCount_ = kBaseCount;
    for (int event = core::kWaitReceive; event <= core::kWaitSendJob; ++event) {
        const int i = event - core::kWaitReceive;
        if (!(optionalEvents_ & (1u << i))) continue;
        platform::Event* handle = connection.WaitHandle(event);
        TARVO_ASSERT(handle != nullptr, kUnit);
        handles_[handleCount_] = handle;
        handlers_[handleCount_] = kHandlers[i];
        ++handleCount_;
    }
}

void TVerbindungAbstract::SetWaitTimeout(std::chrono::milliseconds timeout) {
    if (timeout.count() <= 0)
        deadline_.reset();
    else
        deadline_ = std::chrono::steady_clock::now() + timeout;
}

TVerbindungAbstract* TVerbindungAbstract::Parent() const {
    std::lock_guard lock(mutex_);
    return parent_;
}

std::shared_ptr<core::IVerbindungFuerModul> TVerbindungAbstract::Connection() const {
    std::lock_guard lock(mutex_);
    return connection_;
}

std::string TVerbindungAbstract::GetName() const {
    return name_.empty() ? std::string("TVerbindungAbstract") : name_;
}

bool TVerbindungAbstract::Active() const {
    return active_.load();
}

void TVerbindungAbstract::SetActive(bool active) {
    if (active_.load() == active) return;
    active_ = active;
    if (auto connection = Connection()) connection->SetTransferActive(active);
}

void TVerbindungAbstract::StoreEndCode(int code) {
    int expected = -1;
    endCode_.compare_exchange_strong(expected, code);
    ownEvent_.Set();
}

void TVerbindungAbstract::Finish() {
    StoreEndCode(kEndFinished);
}

void TVerbindungAbstract::Fail() {
    StoreEndCode(kEndFailed);
}

void TVerbindungAbstract::Cancel() {
    if (active_.load()) StoreEndCode(kEndCancelled);
}

void TVerbindungAbstract::Terminated(int) {
    std::shared_ptr<core::IVerbindungFuerModul> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped = std::move(connection_);
    }
    // Released here, outside the lock: the last reference may end the connection.
}

void TVerbindungAbstract::Close() {
    std::shared_ptr<core::IVerbindungFuerModul> connection;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        closed_ = true;
        connection = std::move(connection_);
        parent_ = nullptr;
    }
    if (connection) connection->SetModul(nullptr);
}

void TVerbindungAbstract::EventLoop() {
    const std::string name = GetName();
    core::DebOutObj(name, "EventLoop");
    try {
        // Holding the connection keeps the events it owns alive while we wait.
        const auto connection = Connection();
        TARVO_ASSERT(constructed_ && connection, kUnit);
        TARVO_ASSERT(handles_[0] == &ownEvent_, kUnit);
        TARVO_ASSERT(
            handles_[1] != nullptr && handles_[1] == connection->WaitHandle(core::kWaitThread),
            kUnit);
        TARVO_ASSERT(
            handles_[2] != nullptr && handles_[2] == connection->WaitHandle(core::kWaitEnd), kUnit);
        const auto messages = platform::ThreadMessageQueue::ForCurrentThread();
        std::array<platform::Event*, kMaxHandles + 1> wait{};
        for (;;) {
            wait[kWaitOwn] = handles_[0];
            wait[kWaitThreadEnd] = handles_[1];
            wait[kWaitLinkEnd] = handles_[2];
            wait[kWaitQuit] = &core::QuitEvent();
            std::size_t count = kWaitFirstOptional;
            for (int i = kBaseCount; i < handleCount_; ++i) wait[count++] = handles_[i];

            std::chrono::milliseconds timeout = platform::kInfinite;
            if (deadline_) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                    *deadline_ - std::chrono::steady_clock::now());
                timeout = std::max(left, std::chrono::milliseconds(0));
            }
            const platform::WaitResult result = platform::WaitAny(
                std::span<platform::Event* const>(wait.data(), count), timeout, messages.get());
            using Kind = platform::WaitResult::Kind;
            if (result.kind == Kind::Message) {
                DispatchMessages(*messages);
                continue;
            }
            if (result.kind == Kind::Timeout && deadline_) {
                deadline_.reset();
                OnTimeout();
                continue;
            }
            if (result.kind == Kind::Timeout) {
                core::DebOutObj(name, "EventLoop", "Error: WAIT_TIMEOUT");
                break;
            }
            if (result.kind == Kind::Failed) {
                core::DebOutObj(name, "EventLoop",
                                "Error: WAIT_FAILED, WaitAny refused the handles");
                break;
            }
            if (result.index >= kWaitFirstOptional && result.index < count) {
                // The handle list may change inside the handler; it is read again above.
                const THandler handler = handlers_[result.index - kWaitFirstOptional + kBaseCount];
                (this->*handler)();
                continue;
            }
            if (result.index == kWaitOwn) {
                const int code = endCode_.load();
                Terminated(code < 0 ? kEndFinished : code);
            } else if (result.index == kWaitThreadEnd) {
                Terminated(kEndThread);
            } else if (result.index == kWaitLinkEnd || result.index == kWaitQuit) {
                Terminated(kEndLink);
            } else {
                core::DebOutObj(name, "EventLoop",
                                "Error: Unbekannter R\xFC"
                                "ckgabewert.");
            }
            break;
        }
    } catch (...) {
        core::ShowUnhandledException(std::current_exception(), name, "EventLoop");
        throw;
    }
    core::DebOutObj(name, "EventLoop", "end.");
}

void TVerbindungAbstract::RunModule(TVerbindungAbstract& parent, const TModuleFactory& create) {
    const std::string parentName = parent.GetName();
    core::DebOutObj(parentName, "Run");
    const auto connection = parent.Connection();
    TARVO_ASSERT(connection, kUnit);
    std::shared_ptr<TVerbindungAbstract> module;
    auto restore = [&] {
        if (module) module->Close();
        connection->SetModul(parent.shared_from_this());
        connection->SetTransferActive(parent.Active());
        core::DebOutObj(parentName, "Run", "end.");
    };
    try {
        try {
            module = create(parent);
        } catch (...) {
            // The loop reports its own exceptions; report those of the creation here.
            core::ShowUnhandledException(std::current_exception(), parentName, "Run", "Create");
            throw;
        }
        TARVO_ASSERT(module, kUnit);
        core::DebOutObj(parentName, "Run", "Erzeuge " + module->GetName());
        connection->SetModul(module);
        module->EventLoop();
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

void TVerbindungAbstract::RunStandard(
    const std::shared_ptr<core::IVerbindungFuerModul>& connection) {
    core::DebOutObj("TVerbindungAbstract", "RunStandard", "Erzeuge TVerbindungStandard");
    TARVO_ASSERT(connection, kUnit);
    std::shared_ptr<TVerbindungStandard> module;
    auto cleanUp = [&] {
        connection->SetModul(nullptr);
        if (module) module->Close();
        core::DebOutObj("TVerbindungAbstract", "RunStandard", "end.");
    };
    try {
        module = Create<TVerbindungStandard>(nullptr, connection);
        connection->SetModul(module);
        module->EventLoop();
    } catch (...) {
        cleanUp();
        throw;
    }
    cleanUp();
}

}  // namespace tarvo::connection
