#include "core/ExceptionReportU.h"

#include <atomic>
#include <cstdlib>
#include <typeinfo>

#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/SynchronizeU.h"

namespace tarvo::core {

namespace {

// The class of the exception object as the operator should read it.
std::string ClassOf(const std::exception_ptr& e) {
    if (!e) return "[unassigned]";
    try {
        std::rethrow_exception(e);
    } catch (const TarvoException&) {
        return "TarvoException";
    } catch (const std::exception& x) {
        return DemangledTypeName(typeid(x));
    } catch (...) {
        return "[unknown exception]";
    }
}

std::atomic<IUnhandledExceptionView*> view{nullptr};

void QuitNow() {
    std::_Exit(1);
}
std::atomic<void (*)()> quitHandler{&QuitNow};

}  // namespace

void SetUnhandledExceptionView(IUnhandledExceptionView* v) {
    view.store(v);
}

void SetExceptionQuitHandler(void (*quit)()) {
    quitHandler.store(quit ? quit : &QuitNow);
}

void ShowUnhandledException(const std::exception_ptr& e, std::string_view className,
                            std::string_view method, std::string_view extra) {
    try {
        const std::string headline = ExceptionHeadline(e, className, method, extra);
        const std::string message = ExceptionMessage(e);
        DebOut("");
        DebOut("---------------------------- EXCEPTION ----------------------------");
        DebOut(headline);
        DebOut(message);
        DebOut("-------------------------------------------------------------------");
        DebOut("");
        platform::IDispatcher* d = MainDispatcher();
        if (!d || !view.load()) return;
        ExceptionChoice choice = ExceptionChoice::Ignore;
        auto show = [&] {
            if (IUnhandledExceptionView* v = view.load()) choice = v->Show(headline, message);
        };
        if (d->IsMainThread())
            show();
        else
            d->Call(show);
        if (choice == ExceptionChoice::Quit) quitHandler.load()();
    } catch (...) {
        // A report must never raise.
    }
}

std::string ExceptionHeadline(const std::exception_ptr& e, std::string_view className,
                              std::string_view method, std::string_view extra) {
    std::string h = ClassOf(e) + " in ";
    if (!className.empty()) {
        h += className;
        h += '.';
    }
    h += method.empty() ? std::string_view("[unknown]") : method;
    if (!extra.empty()) {
        h += " (";
        h += extra;
        h += ')';
    }
    return h;
}

std::string ExceptionMessage(const std::exception_ptr& e) {
    std::string m;
    if (e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            m = x.what();
        } catch (...) {
        }
    }
    return m.empty() ? "(no message)" : m;
}

std::string ExceptionClipboardText(std::string_view headline, std::string_view message) {
    std::string joined(headline);
    joined += '\r';
    joined += message;
    std::string out;
    for (std::size_t i = 0; i < joined.size(); ++i) {
        out += joined[i];
        if (joined[i] == '\r' && (i + 1 >= joined.size() || joined[i + 1] != '\n')) out += '\n';
    }
    out += "\r\n";
    return out;
}

}  // namespace tarvo::core
