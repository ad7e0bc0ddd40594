// The debug log: trace lines for an attached debug monitor. Without a monitor a
// call costs one atomic load and formats nothing.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

namespace tarvo::core {

// Where log lines go. Write must never block the calling thread.
class IDebugSink {
  public:
    virtual ~IDebugSink() = default;
    virtual void Write(std::string_view line) = 0;
};

namespace debout_detail {
extern std::atomic<bool> attached;
}

inline bool DebugAttached() {
    return debout_detail::attached.load(std::memory_order_relaxed);
}

// Installs the sinks (the debug socket and, with TARVO_DEBUG=stderr, standard
// error). A null sink detaches it. Thread-safe.
void SetDebugSink(std::shared_ptr<IDebugSink> sink);
// Marks the calling thread as the main thread ("  main  " in the prefix) and
// starts the clock of the log.
void InitDebugLog();

// One line: a trailing line feed is dropped and a carriage return appended; the
// prefix "%5u.%.3u [%8s] " gives seconds.milliseconds since start and the thread.
// An empty text is sent as a lone carriage return.
void DebOut(std::string_view text);
// printf-style; the format must be a literal of the program, never received text.
void DebOutFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "Class.Method" or "Class.Method: text".
void DebOutObj(std::string_view className, std::string_view method, std::string_view text = {});
void DebOutObjFmt(std::string_view className, std::string_view method, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The line exactly as it would be sent (for tests): prefix, text, carriage return.
std::string FormatDebugLine(std::string_view text, unsigned long elapsedMs,
                            std::string_view thread);

}  // namespace tarvo::core
