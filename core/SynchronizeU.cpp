#include "core/SynchronizeU.h"

#include <atomic>

#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"

namespace tarvo::core {

namespace {
std::atomic<platform::IDispatcher*> mainDispatcher{nullptr};
}

void SetMainDispatcher(platform::IDispatcher* dispatcher) {
    mainDispatcher.store(dispatcher);
}

platform::IDispatcher* MainDispatcher() {
    return mainDispatcher.load();
}

bool Synchronize(const std::function<void()>& method) {
    platform::IDispatcher* d = MainDispatcher();
    if (d == nullptr) {
        DebOut("Synchronize: no main thread to run on");
        return false;
    }
    if (d->IsMainThread()) {
        method();
        return true;
    }
    bool ok = false;
    const auto result = d->Call([&] {
        try {
            method();
            ok = true;
        } catch (...) {
            ShowUnhandledException(std::current_exception(), "SYNCHRONIZE", "SyncWndProc");
        }
    });
    return result == platform::IDispatcher::CallResult::Done && ok;
}

}  // namespace tarvo::core
