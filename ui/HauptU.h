// The main window. Its creation runs the start-up of the process, its
// destruction the orderly shutdown.
#pragma once

#include <QMainWindow>
#include <QPointer>

class QLabel;

#include <filesystem>
#include <memory>

#include "core/InterfacesU.h"
#include "core/MessageWindowU.h"
#include "core/StartupU.h"
#include "platform/Clock.h"

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
namespace tarvo::channels {
class TKanaele;
class TConnectionsList;
}  // namespace tarvo::channels
namespace tarvo::devices {
class TGeraete;
}

namespace tarvo::ui {

class TSplash;
class TKanaeleView;
class TGeraeteDialog;

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
    // The exit code after a failed start-up.
    int StartupExitCode() const { return failureExitCode_; }
    const core::TRunMark& RunMark() const { return runMark_; }
    core::TConfig* Config() const { return config_.get(); }
    std::shared_ptr<devices::TMyCalls> MyCalls() const { return myCalls_; }
    channels::TKanaele* Kanaele() const { return kanaele_.get(); }
    devices::TGeraete* Geraete() const { return geraete_.get(); }
    TKanaeleView* KanaeleView() const { return kanaeleView_.get(); }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildStartup(core::TStepSequence& steps);
    void BuildShutdown(core::TStepSequence& steps);
    void SplashStatus(const char* cp1252);
    void RestoreWindowPosition();
    void SaveWindowPosition();
    void RegisterFont();
    void BuildPanes();
    void CreateKanaele();
    void CreateGeraete();
    void ShowGeraeteDialog();

    THauptfensterSetup setup_;
    std::unique_ptr<core::TConfig> config_;
    std::shared_ptr<devices::TMyCalls> myCalls_;
    std::unique_ptr<TSplash> splash_;
    platform::SteadyClock clock_;
    core::TNullKlaenge klaenge_;
    std::unique_ptr<channels::TConnectionsList> connections_;
    std::unique_ptr<TKanaeleView> kanaeleView_;
    std::unique_ptr<channels::TKanaele> kanaele_;
    std::unique_ptr<devices::TGeraete> geraete_;
    core::TNullTexte texte_;
    std::shared_ptr<core::IStationenDatenbank> stationen_ =
        std::make_shared<core::TNullStationenDatenbank>();
    // The program's message window for the channels.
    class TMessages final : public core::IMessageWindow {
      public:
        explicit TMessages(QWidget* owner) : owner_(owner) {}
        int Run(const std::string& title, const std::string& text, unsigned buttons) override;

      private:
        QWidget* owner_;
    } messages_{this};
    QLabel* devicesReady_ = nullptr;
    QPointer<TGeraeteDialog> geraeteDialog_;
    core::TStepSequence shutdown_{"THauptfenster", "TarvoDestroy"};
    core::TRunMark runMark_;
    int fontId_ = -1;
    int savedState_ = 0;
    int failureExitCode_ = 3;
    bool startupDone_ = false;
    bool startupFailed_ = false;
};

}  // namespace tarvo::ui
