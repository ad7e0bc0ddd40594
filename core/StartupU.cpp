#include "core/StartupU.h"

#include <algorithm>
#include <exception>

#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "platform/Registry.h"

namespace tarvo::core {

void TStepSequence::Add(std::string name, std::function<void()> step) {
    steps_.push_back({std::move(name), std::move(step)});
}

void TStepSequence::InsertAfter(std::string_view anchor, std::string name,
                                std::function<void()> step) {
    auto it = std::find_if(steps_.begin(), steps_.end(),
                           [anchor](const Step& s) { return s.name == anchor; });
    steps_.insert(it == steps_.end() ? it : it + 1, {std::move(name), std::move(step)});
}

void TStepSequence::Extend(std::string_view name, std::function<void()> work, bool before) {
    for (Step& s : steps_) {
        if (s.name != name) continue;
        auto first = before ? std::move(work) : std::move(s.run);
        auto second = before ? std::move(s.run) : std::move(work);
        s.run = [first = std::move(first), second = std::move(second)] {
            if (first) first();
            if (second) second();
        };
        return;
    }
    Add(std::string(name), std::move(work));
}

std::vector<std::string> TStepSequence::Names() const {
    std::vector<std::string> out;
    for (const Step& s : steps_) out.push_back(s.name);
    return out;
}

std::optional<std::string> TStepSequence::RunUntilFailure() {
    ran_ = true;
    for (const Step& s : steps_) {
        DebOutObj(owner_, method_, s.name);
        try {
            s.run();
        } catch (const TStartupFailure& f) {
            DebOutObj(owner_, method_, std::string("failed: ") + f.what());
            failureTitle_ = f.Title();
            failureExitCode_ = f.ExitCode();
            return std::string(f.what());
        } catch (...) {
            ShowUnhandledException(std::current_exception(), owner_, method_, s.name);
            return ExceptionMessage(std::current_exception());
        }
    }
    return std::nullopt;
}

void TStepSequence::RunAll() {
    if (ran_.exchange(true)) return;
    for (const Step& s : steps_) {
        DebOutObj(owner_, method_, s.name);
        try {
            s.run();
        } catch (...) {
            ShowUnhandledException(std::current_exception(), owner_, method_, s.name);
        }
    }
}

namespace {

long long Overlap(const TRect& a, const TRect& b) {
    const long long w =
        std::min<long long>(a.left + a.width, b.left + b.width) - std::max(a.left, b.left);
    const long long h =
        std::min<long long>(a.top + a.height, b.top + b.height) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

long long CentreDistance(const TRect& a, const TRect& b) {
    const long long dx = (2ll * a.left + a.width) - (2ll * b.left + b.width);
    const long long dy = (2ll * a.top + a.height) - (2ll * b.top + b.height);
    return dx * dx + dy * dy;
}

}  // namespace

TRect PlaceMainWindow(const std::optional<TRect>& stored, const std::vector<TRect>& workAreas,
                      const TRect& primary) {
    if (!stored || stored->width <= 0 || stored->height <= 0 || workAreas.empty()) {
        TRect r{0, 0, primary.width * 2 / 3, primary.height * 2 / 3};
        r.left = primary.left + (primary.width - r.width) / 2;
        r.top = primary.top + (primary.height - r.height) / 2;
        return r;
    }
    // The screen it overlaps most; when it overlaps none, the one nearest to it.
    const TRect* best = &workAreas.front();
    for (const TRect& w : workAreas) {
        const long long o = Overlap(*stored, w), ob = Overlap(*stored, *best);
        if (o > ob ||
            (o == ob && ob == 0 && CentreDistance(*stored, w) < CentreDistance(*stored, *best)))
            best = &w;
    }
    const TRect& area = *best;
    TRect r = *stored;
    r.width = std::min(r.width, area.width);
    r.height = std::min(r.height, area.height);
    if (r.left < area.left) r.left = area.left;
    if (r.top < area.top) r.top = area.top;
    if (r.left + r.width > area.left + area.width) r.left = area.left + area.width - r.width;
    if (r.top + r.height > area.top + area.height) r.top = area.top + area.height - r.height;
    return r;
}

TRect PlaceToolWindow(const std::optional<std::pair<int, int>>& storedTopLeft, int width,
                      int height, const TRect& screen) {
    TRect r{0, 0, std::max(width, 0), std::max(height, 0)};
    if (!storedTopLeft) {
        r.left = screen.left + (screen.width - r.width) / 2;
        r.top = screen.top + (screen.height - r.height) / 2;
    } else {
        r.left = storedTopLeft->first;
        r.top = storedTopLeft->second;
        // In 64 bits: a stored corner may be anything a settings file holds.
        const long long right = static_cast<long long>(screen.left) + screen.width;
        const long long bottom = static_cast<long long>(screen.top) + screen.height;
        if (r.left + static_cast<long long>(r.width) > right)
            r.left = static_cast<int>(right - r.width);
        if (r.top + static_cast<long long>(r.height) > bottom)
            r.top = static_cast<int>(bottom - r.height);
    }
    r.left = std::max(r.left, screen.left);
    r.top = std::max(r.top, screen.top);
    return r;
}

TRunMark MarkRunning(TConfig& config, platform::IRegistry& registry) {
    TRunMark mark;
    mark.previousRunDirty = config.Dirty();
    mark.databaseCheckDue = mark.previousRunDirty || config.ForceDatabaseCheck();
    config.SetDirty(true);
    if (auto ec = registry.Flush())
        DebOutObj("TConfig", "Dirty", "cannot be stored: " + ec.message());
    return mark;
}

void ClearForceDatabaseCheck(TConfig& config) {
    config.SetForceDatabaseCheck(false);
}

void MarkOrderlyEnd(TConfig& config, platform::IRegistry& registry, bool startupFailed,
                    bool errorPending) {
    if (startupFailed || errorPending) return;
    config.SetDirty(false);
    registry.Flush();
}

StartMode StartModeFromArgs(const std::vector<std::string>& args) {
    for (std::size_t i = 1; i < args.size(); ++i)
        if (args[i] == "--automation") return StartMode::Automation;
    return StartMode::Standalone;
}

const char* StartModeName(StartMode mode) {
    return mode == StartMode::Automation ? "Automation" : "Standalone";
}

}  // namespace tarvo::core
