// Running work on the main thread from any thread.
#pragma once

#include <functional>

#include "platform/Dispatcher.h"

namespace tarvo::core {

class IUnhandledExceptionView;

// The dispatcher of the main thread, set once at start (null before and after).
void SetMainDispatcher(platform::IDispatcher* dispatcher);
platform::IDispatcher* MainDispatcher();

// On the main thread a plain call. From a worker it blocks until the main thread
// has run the method; an exception in it is reported ("SYNCHRONIZE") and does not
// reach the worker. Once shutdown has begun it fails at once. True when the
// method ran to its end.
bool Synchronize(const std::function<void()>& method);

}  // namespace tarvo::core
