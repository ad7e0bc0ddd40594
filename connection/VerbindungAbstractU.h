// The base of every protocol module: its own event loop on the connection's
// worker thread over a fixed set of wait handles, and the nesting of modules.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "core/InterfacesU.h"
#include "platform/Event.h"

namespace tarvo::connection {

// Codes passed to Terminated.
enum TEndCode : int {
    kEndFinished = 0,
    kEndCancelled = 1,
    kEndFailed = 2,
    kEndThread = 3,
    kEndLink = 4,
};

class TVerbindungAbstract : public core::IVerbindungAbstract,
                            public std::enable_shared_from_this<TVerbindungAbstract> {
  public:
    // Creates a module for Run; the parent is the starting module.
    using TModuleFactory =
        std::function<std::shared_ptr<TVerbindungAbstract>(TVerbindungAbstract& parent)>;

    static constexpr int kBaseCount = 3;
    static constexpr int kMaxHandles = 9;

    // Constructs the module, then runs Init (a virtual cannot run in a
    // constructor). Modules are made only this way; EventLoop refuses others.
    template <class TModule, class... Args>
    static std::shared_ptr<TModule> Create(TVerbindungAbstract* parent,
                                           std::shared_ptr<core::IVerbindungFuerModul> connection,
                                           Args&&... args) {
        std::shared_ptr<TModule> module(
            new TModule(parent, std::move(connection), std::forward<Args>(args)...));
        static_cast<TVerbindungAbstract&>(*module).Construct();
        return module;
    }

    // Runs a module nested in parent on parent's connection until its loop ends.
    // Afterwards parent is the current module again and the transfer-active
    // mirror is parent's flag, also when the nested module throws (the exception
    // is passed on, already reported).
    template <class TModule, class... Args>
    static void Run(TVerbindungAbstract& parent, Args&&... args) {
        RunModule(parent, [&](TVerbindungAbstract& p) -> std::shared_ptr<TVerbindungAbstract> {
            return Create<TModule>(&p, p.Connection(), std::forward<Args>(args)...);
        });
    }
    static void RunModule(TVerbindungAbstract& parent, const TModuleFactory& create);

    // The terminal text module for the whole link; the worker thread calls it once.
    static void RunStandard(const std::shared_ptr<core::IVerbindungFuerModul>& connection);

    ~TVerbindungAbstract() override;
    TVerbindungAbstract(const TVerbindungAbstract&) = delete;
    TVerbindungAbstract& operator=(const TVerbindungAbstract&) = delete;

    // IVerbindungAbstract. Close and Cancel may come from any thread.
    void Close() override;
    void EventLoop() override;
    void Cancel() override;
    std::string GetName() const override;
    bool Active() const override;

    // Any thread: end the loop with code 0 or 2. The first end code stored wins.
    virtual void Finish();
    virtual void Fail();
    // Worker thread: a changed flag is mirrored to the connection.
    virtual void SetActive(bool active);

    // Worker thread: wait for the connection's signal 5..8 or not; takes effect
    // at the next wait.
    void SetUseEvent(int event, bool on);
    // Worker thread: OnTimeout runs once when the loop has waited this long
    // from now; a new call starts the time again, zero or less stops it.
    void SetWaitTimeout(std::chrono::milliseconds timeout);

    TVerbindungAbstract* Parent() const;
    // Null once the module ended or was closed.
    std::shared_ptr<core::IVerbindungFuerModul> Connection() const;

  protected:
    TVerbindungAbstract(TVerbindungAbstract* parent,
                        std::shared_ptr<core::IVerbindungFuerModul> connection);

    virtual void Init() {}
    virtual void OnReceive() {}
    virtual void OnUserSend() {}
    virtual void OnLinkSendQueueEmpty() {}
    virtual void OnSendJob() {}
    virtual void OnTimeout() {}
    // Drops the connection; overrides report the outcome and then call this.
    virtual void Terminated(int endCode);

  private:
    using THandler = void (TVerbindungAbstract::*)();

    void Construct();
    void StoreEndCode(int code);
    void RebuildHandles(core::IVerbindungFuerModul& connection);

    mutable std::mutex mutex_;  // guards parent_, connection_, closed_
    TVerbindungAbstract* parent_;
    std::shared_ptr<core::IVerbindungFuerModul> connection_;
    bool closed_ = false;

    std::atomic<bool> active_{false};
    platform::Event ownEvent_{platform::Event::Manual, false};
    std::atomic<int> endCode_{-1};  // -1 until the first end code
    bool constructed_ = false;
    std::string name_;

    // Worker thread only.
    unsigned optionalEvents_ = 0;  // bit (event - 5)
    int handleCount_ = 0;
    std::array<platform::Event*, kMaxHandles> handles_{};
    std::array<THandler, kMaxHandles> handlers_{};
    std::optional<std::chrono::steady_clock::time_point> deadline_;
};

}  // namespace tarvo::connection
