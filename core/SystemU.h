// The process-wide objects, created in the start-up order and freed in the
// shutdown order. Display-free: a window, when there is one, adds its own steps
// and receives what it shows.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/InterfacesU.h"
#include "core/StartupU.h"
#include "platform/Clock.h"

namespace tarvo::platform {
class IRegistry;
class IDispatcher;
class ISoundOutput;
}  // namespace tarvo::platform

namespace tarvo::channels {
class IKanaeleView;
class TKanaele;
class TConnectionsList;
}  // namespace tarvo::channels
namespace tarvo::stations {
class TStationenDatenbank;
}  // namespace tarvo::stations
namespace tarvo::devices {
class TGeraete;
class TMyCalls;
}  // namespace tarvo::devices
namespace tarvo::resources {
class TKlaenge;
class TTexte;
}  // namespace tarvo::resources

namespace tarvo::core {

class TConfig;
class IMessageWindow;
class TApplications;

struct TSystemSetup {
    platform::IRegistry& registry;
    platform::IDispatcher& dispatcher;
    StartMode startMode = StartMode::Standalone;
};

// What a window gives the system; everything may stay empty (no window).
struct TSystemView {
    // The view of the channel set, asked for when the channels are created.
    std::function<channels::IKanaeleView*()> kanaeleView;
    IMessageWindow* messages = nullptr;
    std::function<bool()> mainWindowVisible;
    // Shows or hides the main window (automation clients).
    std::function<void(bool visible)> setMainWindowVisible;
    // Whether all devices are ready, whenever that changes.
    std::function<void(bool allReady)> devicesReady;
    // Start-up progress ("Initialisiere Kanäle...", code page 1252).
    std::function<void(const std::string& status)> status;
};

class TSystem {
  public:
    explicit TSystem(TSystemSetup setup);
    // Runs the shutdown when it has not run yet.
    ~TSystem();
    TSystem(const TSystem&) = delete;
    TSystem& operator=(const TSystem&) = delete;

    // Before Start.
    void SetView(TSystemView view) { view_ = std::move(view); }
    // Before Start: where sounds go (default: the system's sound device).
    void SetSoundOutput(std::function<std::unique_ptr<platform::ISoundOutput>()> make) {
        soundOutput_ = std::move(make);
    }
    // The sequences, for a window to add its own steps before they run.
    TStepSequence& StartupSteps() { return startup_; }
    TStepSequence& ShutdownSteps() { return shutdown_; }

    // The start-up sequence; the failure text when it stopped.
    std::optional<std::string> Start();
    // The shutdown sequence; runs once, whatever calls it first.
    void Shutdown();
    bool ShutdownDone() const { return shutdown_.HasRun(); }

    const TSystemSetup& Setup() const { return setup_; }
    bool StartupDone() const { return startupDone_; }
    bool StartupFailed() const { return startupFailed_; }
    const std::string& FailureTitle() const { return startup_.FailureTitle(); }
    int StartupExitCode() const { return startup_.FailureExitCode(); }
    const TRunMark& RunMark() const { return runMark_; }

    TConfig* Config() const { return config_.get(); }
    channels::TConnectionsList* Connections() const { return connections_.get(); }
    std::shared_ptr<devices::TMyCalls> MyCalls() const { return myCalls_; }
    channels::TKanaele* Kanaele() const { return kanaele_.get(); }
    devices::TGeraete* Geraete() const { return geraete_.get(); }
    // Null before their start-up steps and after their shutdown steps.
    resources::TKlaenge* Klaenge() const { return klaenge_.get(); }
    resources::TTexte* Texte() const { return texte_.get(); }
    std::shared_ptr<stations::TStationenDatenbank> Stationen() const { return stationen_; }
    // What automation clients reach; exists from construction on.
    const std::shared_ptr<TApplications>& Applications() const { return applications_; }
    const platform::IClock& Clock() const { return clock_; }

  private:
    void BuildStartup();
    void BuildShutdown();
    void Status(const std::string& cp1252);
    void CreateStationen();
    void CreateKanaele();
    void CreateGeraete();

    TSystemSetup setup_;
    TSystemView view_;
    std::function<std::unique_ptr<platform::ISoundOutput>()> soundOutput_;
    TStepSequence startup_{"THauptfenster", "FormCreate"};
    TStepSequence shutdown_{"THauptfenster", "TarvoDestroy"};
    TRunMark runMark_;
    bool startupDone_ = false;
    bool startupFailed_ = false;

    platform::SteadyClock clock_;
    std::unique_ptr<TConfig> config_;
    std::unique_ptr<resources::TKlaenge> klaenge_;
    std::unique_ptr<resources::TTexte> texte_;
    std::unique_ptr<channels::TConnectionsList> connections_;
    std::shared_ptr<devices::TMyCalls> myCalls_;
    std::shared_ptr<stations::TStationenDatenbank> stationen_;
    std::unique_ptr<channels::TKanaele> kanaele_;
    std::unique_ptr<devices::TGeraete> geraete_;
    std::shared_ptr<TApplications> applications_;
};

}  // namespace tarvo::core
