// The report of unexpected exceptions: logged, then shown to the operator, who
// may go on, copy the report or end the program.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace tarvo::core {

// What the operator chose in the report.
enum class ExceptionChoice { Ignore, Quit };

// The window that shows a report; runs on the main thread only.
class IUnhandledExceptionView {
  public:
    virtual ~IUnhandledExceptionView() = default;
    // Modal. headline and message are code page 1252 text and may hold text of
    // remote stations: show them as plain text.
    virtual ExceptionChoice Show(const std::string& headline, const std::string& message) = 0;
};

// The clipboard text of a report: every CR followed by LF, and a final CR LF.
std::string ExceptionClipboardText(std::string_view headline, std::string_view message);

// "Class in Owner.Method (extra)"; "[unassigned]" without an exception,
// "[unknown]" without a method.
std::string ExceptionHeadline(const std::exception_ptr& e, std::string_view className,
                              std::string_view method, std::string_view extra);
// The exception's message, or "(no message)".
std::string ExceptionMessage(const std::exception_ptr& e);

// The window that shows reports (null: reports are only logged).
void SetUnhandledExceptionView(IUnhandledExceptionView* view);
// Ends the process when the operator chooses to quit (default: exit code 1 at
// once, no shutdown); tests replace it.
void SetExceptionQuitHandler(void (*quit)());

// Logs the report and shows it on the main thread; from a worker it waits for
// the operator's answer. Never throws.
void ShowUnhandledException(const std::exception_ptr& e, std::string_view className,
                            std::string_view method, std::string_view extra = {});

}  // namespace tarvo::core
