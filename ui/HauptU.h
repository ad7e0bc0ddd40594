// The main window. Its creation runs the start-up of the process, its
// destruction the orderly shutdown.
#pragma once

#include <QMainWindow>

#include <filesystem>
#include <memory>

#include "core/StartupU.h"

namespace tarvo::platform {
class IRegistry;
class IDispatcher;
}  // namespace tarvo::platform

namespace tarvo::core {
class TConfig;
}
namespace tarvo::devices {
class TMyCalls;
}

namespace tarvo::ui {

class TSplash;

struct THauptfensterSetup {
    platform::IRegistry& registry;
    platform::IDispatcher& dispatcher;
    core::StartMode startMode = core::StartMode::Standalone;
    std::filesystem::path fontFile;  // the console font beside the program
};

class THauptfenster : public QMainWindow {
    Q_OBJECT
  public:
    explicit THauptfenster(THauptfensterSetup setup, QWidget* parent = nullptr);
    ~THauptfenster() override;

    // The start-up sequence; false (after telling the operator) when it failed.
    bool FormCreate();
    // The shutdown sequence; runs once, whatever calls it first.
    void TarvoDestroy();
    // Brings the window to the front (a second instance asked for it).
    void Activate();

    bool StartupDone() const { return startupDone_; }
    bool StartupFailed() const { return startupFailed_; }
    const core::TRunMark& RunMark() const { return runMark_; }
    core::TConfig* Config() const { return config_.get(); }
    std::shared_ptr<devices::TMyCalls> MyCalls() const { return myCalls_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildStartup(core::TStepSequence& steps);
    void BuildShutdown(core::TStepSequence& steps);
    void SplashStatus(const char* cp1252);
    void RestoreWindowPosition();
    void SaveWindowPosition();
    void RegisterFont();

    THauptfensterSetup setup_;
    std::unique_ptr<core::TConfig> config_;
    std::shared_ptr<devices::TMyCalls> myCalls_;
    std::unique_ptr<TSplash> splash_;
    core::TStepSequence shutdown_{"THauptfenster", "TarvoDestroy"};
    core::TRunMark runMark_;
    int fontId_ = -1;
    int savedState_ = 0;
    bool startupDone_ = false;
    bool startupFailed_ = false;
};

}  // namespace tarvo::ui
