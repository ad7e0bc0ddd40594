// Start-up and shutdown of the process: ordered, named, logged steps, and the
// placement of the main window.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvo::platform {
class IRegistry;
}

namespace tarvo::core {

class TConfig;

// A start-up step that cannot go on; the message is shown to the operator.
class TStartupFailure : public std::runtime_error {
  public:
    explicit TStartupFailure(const std::string& text, std::string title = "Tarvo", int exitCode = 3)
        : std::runtime_error(text), title_(std::move(title)), exitCode_(exitCode) {}
    // The title of the window that tells the operator, and the exit code after it.
    const std::string& Title() const { return title_; }
    int ExitCode() const { return exitCode_; }

  private:
    std::string title_;
    int exitCode_;
};

// Steps run in the order they were added, each logged as "Owner.Method: name".
class TStepSequence {
  public:
    TStepSequence(std::string owner, std::string method)
        : owner_(std::move(owner)), method_(std::move(method)) {}

    void Add(std::string name, std::function<void()> step);
    // A step of its own right after the named one (at the end when there is none).
    void InsertAfter(std::string_view anchor, std::string name, std::function<void()> step);
    // More work inside the named step, before or after what it does already.
    void Extend(std::string_view name, std::function<void()> work, bool before = false);
    // The step names in order.
    std::vector<std::string> Names() const;

    // Start-up: stops at the first TStartupFailure and returns its message;
    // any other exception is reported and counts as a failure too.
    std::optional<std::string> RunUntilFailure();
    // Title and exit code of the failure RunUntilFailure stopped at.
    const std::string& FailureTitle() const { return failureTitle_; }
    int FailureExitCode() const { return failureExitCode_; }
    // Shutdown: every step runs; a failing one is reported and the rest goes
    // on. Runs only once, however often it is called (window close, end of the
    // session, a signal).
    void RunAll();
    bool HasRun() const { return ran_.load(); }

  private:
    struct Step {
        std::string name;
        std::function<void()> run;
    };
    std::string owner_, method_;
    std::vector<Step> steps_;
    std::atomic<bool> ran_{false};
    std::string failureTitle_ = "Tarvo";
    int failureExitCode_ = 3;
};

struct TRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const TRect&) const = default;
};

// Where the main window goes: the stored rectangle pulled into the work area of
// the screen nearest to it (shrunk when larger, moved right/down then left/up);
// without one, two thirds of the primary work area, centred in it.
TRect PlaceMainWindow(const std::optional<TRect>& stored, const std::vector<TRect>& workAreas,
                      const TRect& primaryWorkArea);

// Where a small tool window of the given size goes on the screen: a stored
// corner past the right or bottom edge moves left or up until the window fits,
// one before the left or top edge moves onto it; without one (unreadable), the
// window is centred. A window larger than the screen keeps its top left corner
// on it.
TRect PlaceToolWindow(const std::optional<std::pair<int, int>>& storedTopLeft, int width,
                      int height, const TRect& screen);

// The mark of an unclean end. Set while the program runs (durable on disk before
// start-up goes on), cleared only by an orderly end; a crash or kill leaves it.
struct TRunMark {
    bool previousRunDirty = false;
    // The station database is asked to check itself.
    bool databaseCheckDue = false;
};
TRunMark MarkRunning(TConfig& config, platform::IRegistry& registry);
// After a successful start.
void ClearForceDatabaseCheck(TConfig& config);
// At the end of shutdown: only an orderly end clears the mark.
void MarkOrderlyEnd(TConfig& config, platform::IRegistry& registry, bool startupFailed,
                    bool errorPending);

enum class StartMode { Standalone, Automation };
// "--automation" on the command line; otherwise Standalone.
StartMode StartModeFromArgs(const std::vector<std::string>& args);
const char* StartModeName(StartMode mode);

}  // namespace tarvo::core
