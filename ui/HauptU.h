// The main window. Its creation runs the start-up of the process, its
// destruction the orderly shutdown.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QToolBar;
class QToolButton;

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/InterfacesU.h"
#include "core/MessageWindowU.h"
#include "core/StartupU.h"
#include "core/SystemU.h"
#include "ui/DateiSendenDlgU.h"

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
class TKanal;
class TKanaele;
class TConnectionsList;
}  // namespace tarvo::channels
namespace tarvo::devices {
class TGeraete;
}

namespace tarvo::ui {

class TSplash;
class TKanaeleView;
class TPaneStack;
class TDlgBefehlConnect;
class TErsteSchritte;
class TGeraeteStatus;
class THostmodeCommandlineForm;
struct TKanalPanes;

struct THauptfensterSetup {
    core::TSystem& system;           // started and shut down through the window
    std::filesystem::path fontFile;  // the console font beside the program
    // A scripted or test run: no window of its own at start beyond the main
    // window (the first steps stay for a start by the operator).
    bool quiet = false;
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
    // The session may end: the layout and settings reach the disk, nothing stops
    // (the desktop may still cancel the logout).
    void CommitData();
    // Brings the window to the front (a second instance asked for it).
    void Activate();

    core::TSystem& System() const { return system_; }
    bool StartupDone() const { return system_.StartupDone(); }
    bool StartupFailed() const { return system_.StartupFailed(); }
    // The exit code after a failed start-up.
    int StartupExitCode() const { return system_.StartupExitCode(); }
    const core::TRunMark& RunMark() const { return system_.RunMark(); }
    core::TConfig* Config() const { return system_.Config(); }
    std::shared_ptr<devices::TMyCalls> MyCalls() const { return system_.MyCalls(); }
    channels::TKanaele* Kanaele() const { return system_.Kanaele(); }
    devices::TGeraete* Geraete() const { return system_.Geraete(); }
    TKanaeleView* KanaeleView() const { return kanaeleView_.get(); }
    TPaneStack* Panes() const { return paneStack_; }
    // The window's commands by their names ("ActionConnect", ...); null for none.
    QAction* Action(const char* name) const;
    QToolBar* CommandBar() const { return commandBar_; }
    QMenu* ThemeMenu() const { return themeMenu_; }
    // The single-instance windows while they exist, else null.
    TGeraeteStatus* DeviceStatus() const;
    TErsteSchritte* FirstSteps() const;
    THostmodeCommandlineForm* CommandLine() const;

    // The connect dialog for the active channel, modal; the hook sees the
    // dialog before it runs (tests drive it from there).
    void ShowConnectDialog();
    std::function<void(TDlgBefehlConnect&)> connectDialogHook;
    // The manual, and what happens when it cannot be shown (tests look at the
    // message instead of a browser opening).
    static std::filesystem::path ManualFile();
    std::function<bool(const std::filesystem::path&)> openManual;
    std::function<void(const std::string& title, const std::string& text)> showHelpMessage;
    // The active channel's send dialog with dropped files (folders taken with
    // the files below them) or dropped text (code page 1252); an open dialog
    // only comes to the front.
    void SendFiles(const std::vector<std::filesystem::path>& files);
    void SendText(const std::string& cp1252);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // The window's own steps in the system's sequences.
    void AddStartupSteps(core::TStepSequence& steps);
    void AddShutdownSteps(core::TStepSequence& steps);
    void SplashStatus(const char* cp1252);
    void RestoreWindowPosition();
    void SaveWindowPosition();
    void RegisterFont();
    void BuildPanes();
    void CreateActions();
    // Icons from the current style.
    void LoadActionIcons();
    void BuildMenus();
    void BuildCommandBar();
    void BuildStatusBar(TKanalPanes& panes);
    void BuildThemeMenu();
    void ApplyTheme(const std::string& theme);
    void ApplyToolbarText(int mode);
    void ApplyLayout();
    void SaveLayout();
    void UpdateCommands();
    bool HandleMainKey(QKeyEvent& e);
    void ShowCommandDialog();
    void Disconnect();
    void ShowSettings();
    void ShowStationen();
    void ToggleDeviceStatus();
    void HelpContents(const char* anchor);
    void ShowInfo();
    void ShowFirstSteps();
    void ShowCommandLine();
    // The channel of a channel button or console under the point (window
    // coordinates); -1 for none, 0 for the monitor's button.
    int DropTarget(const QPoint& pos, bool& onConsole) const;
    void OfferDrop(QDropEvent& e);
    std::shared_ptr<channels::TKanal> Aktuell() const;
    TDateiSendenDlgContext SendDialogContext() const;

    core::TSystem& system_;
    std::filesystem::path fontFile_;
    bool quiet_ = false;
    std::unique_ptr<TSplash> splash_;
    std::unique_ptr<TKanaeleView> kanaeleView_;
    // The program's message window for the channels.
    class TMessages final : public core::IMessageWindow {
      public:
        explicit TMessages(QWidget* owner) : owner_(owner) {}
        int Run(const std::string& title, const std::string& text, unsigned buttons) override;

      private:
        QWidget* owner_;
    } messages_{this};
    QToolButton* deviceStateButton_ = nullptr;
    TPaneStack* paneStack_ = nullptr;
    QToolBar* commandBar_ = nullptr;
    QMenu* themeMenu_ = nullptr;
    QMenu* pactorMenu_ = nullptr;
    QActionGroup* themeGroup_ = nullptr;
    std::vector<std::string> themes_;
    std::string currentTheme_;
    QPointer<TGeraeteStatus> deviceStatus_;
    QPointer<TErsteSchritte> ersteSchritte_;
    QPointer<THostmodeCommandlineForm> commandLine_;
    QPointer<QWidget> stationen_;  // the station dialog, created once
    QTimer dropSelect_;
    int dropSelectChannel_ = -1;
    bool showingConnect_ = false;
    int fontId_ = -1;
    int savedState_ = 0;
};

}  // namespace tarvo::ui
