#include "core/DebOutU.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/Clock.h"
#include "platform/Thread.h"

namespace tarvo::core {

namespace debout_detail {
std::atomic<bool> attached{false};
}

namespace {

struct LogState {
    std::mutex mutex;
    std::shared_ptr<IDebugSink> sink;
    std::thread::id mainThread;
    std::uint64_t startMs = 0;
    platform::SteadyClock clock;
};

LogState& State() {
    static auto* state = new LogState;  // outlives every thread that may still log
    return *state;
}

std::string ThreadName() {
    LogState& s = State();
    if (std::this_thread::get_id() == s.mainThread) return "  main  ";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", platform::CurrentThreadId());
    return buf;
}

void Send(std::string_view text) {
    std::shared_ptr<IDebugSink> sink;
    unsigned long elapsed;
    {
        LogState& s = State();
        std::lock_guard lock(s.mutex);
        sink = s.sink;
        elapsed = static_cast<unsigned long>(s.clock.SteadyMs() - s.startMs);
    }
    if (sink) sink->Write(FormatDebugLine(text, elapsed, ThreadName()));
}

std::string VFormat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

}  // namespace

void SetDebugSink(std::shared_ptr<IDebugSink> sink) {
    LogState& s = State();
    std::lock_guard lock(s.mutex);
    s.sink = std::move(sink);
    debout_detail::attached.store(s.sink != nullptr);
}

void InitDebugLog() {
    LogState& s = State();
    std::lock_guard lock(s.mutex);
    s.mainThread = std::this_thread::get_id();
    s.startMs = s.clock.SteadyMs();
}

std::string FormatDebugLine(std::string_view text, unsigned long elapsedMs,
                            std::string_view thread) {
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (text.empty() || text == "\r") return "\r";
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "%5lu.%.3lu [%8.*s] ", elapsedMs / 1000, elapsedMs % 1000,
                  static_cast<int>(thread.size()), thread.data());
    std::string line = prefix;
    line += text;
    if (line.back() != '\r') line += '\r';
    return line;
}

void DebOut(std::string_view text) {
    if (!DebugAttached()) return;
    Send(text);
}

void DebOutFmt(const char* format, ...) {
    if (!DebugAttached()) return;
    va_list args;
    va_start(args, format);
    const std::string text = VFormat(format, args);
    va_end(args);
    Send(text);
}

void DebOutObj(std::string_view className, std::string_view method, std::string_view text) {
    if (!DebugAttached()) return;
    std::string line(className);
    line += '.';
    line += method;
    if (!text.empty()) {
        line += ": ";
        line += text;
    }
    Send(line);
}

void DebOutObjFmt(std::string_view className, std::string_view method, const char* format, ...) {
    if (!DebugAttached()) return;
    va_list args;
    va_start(args, format);
    const std::string text = VFormat(format, args);
    va_end(args);
    DebOutObj(className, method, text);
}

}  // namespace tarvo::core
