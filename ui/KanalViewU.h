// The window side of the channels: each channel's console widget and toolbar
// button, the panes they are shown in, and the status bar panels.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

#include "channels/KanaeleU.h"
#include "ui/ConsoleWidgetU.h"

class QAction;
class QLabel;
class QProgressBar;
class QStackedWidget;
class QStatusBar;
class QToolBar;
class QWidget;

namespace tarvo::ui {


// The widgets the channels live in, owned by the main window.
struct TKanalPanes {
    QToolBar* channelBar = nullptr;
    QStackedWidget* outputPane = nullptr;
    QStackedWidget* monitorPane = nullptr;
    std::vector<QLabel*> statusPanels;  // the main window's panels 0..8
    QProgressBar* progress = nullptr;
    QLabel* progressLabel = nullptr;
    QWidget* window = nullptr;
};

class TKanaeleView final : public channels::IKanaeleView {
  public:
    // select is called with the channel number when a button is clicked.
    TKanaeleView(TKanalPanes panes, std::function<void(int)> select);

    std::unique_ptr<channels::IKanalView> CreateKanalView(channels::TKanal& kanal) override;
    void BeginToolbarUpdate() override;
    void EndToolbarUpdate() override;
    void RefreshToolbar() override;
    void SetConnectionCommandsEnabled(bool enabled) override;

    const TKanalPanes& Panes() const { return panes_; }
    bool ConnectionCommandsEnabled() const { return commandsEnabled_; }

  private:
    TKanalPanes panes_;
    std::function<void(int)> select_;
    QAction* monitorButton_ = nullptr;
    bool commandsEnabled_ = false;
};

class TKanalView final : public channels::IKanalView {
  public:
    TKanalView(channels::TKanal& kanal, const TKanalPanes& panes, QAction* before,
               const std::function<void(int)>& select);
    ~TKanalView() override;

    QAction* Button() const { return button_; }
    TConsoleWidget* ConsoleWidget() const { return console_; }

    void SetStatusPanel(int panel, const std::string& text) override;
    void SetButtonCaption(const std::string& text) override;
    void SetButtonHint(const std::string& text) override;
    void SetButtonImage(int image) override;
    void SetButtonChecked(bool checked) override;
    void ShowChannel(bool active) override;
    void SetProgress(bool visible, int value, const std::string& label) override;
    void SetStopImage(int image) override;
    void UpdateEditCommands() override;
    void SetMenuChecks(bool saving, bool showDos, bool sendDos) override;
    void FocusInput() override;
    void FlashMainWindow() override;
    void ApplyFont(const core::TFontSpec& font) override;
    void ApplyInputColours(std::uint32_t background, std::uint32_t unsent,
                           std::uint32_t sent) override;
    void Beep() override;

  private:
    const int number_;
    TKanalPanes panes_;
    QPointer<TConsoleWidget> console_;
    QPointer<QAction> button_;
};

}  // namespace tarvo::ui
