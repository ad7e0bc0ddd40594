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
#include "ui/RichEditTarvoU.h"

class QAction;
class QKeyEvent;
class QLabel;
class QPrinter;
class QProgressBar;
class QStackedWidget;
class QStatusBar;
class QWidget;

namespace tarvo::ui {

class TChannelBar;

// The widgets the channels live in, owned by the main window.
struct TKanalPanes {
    TChannelBar* channelBar = nullptr;
    QStackedWidget* outputPane = nullptr;
    QStackedWidget* inputPane = nullptr;  // the active channel's input editor
    QStackedWidget* monitorPane = nullptr;
    std::vector<QLabel*> statusPanels;  // the main window's panels 0..8
    QProgressBar* progress = nullptr;
    QLabel* progressLabel = nullptr;
    QWidget* window = nullptr;
    // The main window's commands that follow the active channel.
    std::function<void(int image)> setStopImage;
    std::function<void(bool saving, bool showDos, bool sendDos)> setMenuChecks;
    std::function<void()> updateEditCommands;
    std::function<void(bool enabled)> setConnectionCommandsEnabled;
};

// Prints the console's rows [first, last] in their colours, page by page;
// false when the printer could not start.
bool PrintConsoleRows(QPrinter& printer, const channels::TConsole& console, int first, int last,
                      bool showDos);

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
    TRichEditTarvo* InputEditor() const { return editor_; }

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
    void ShowDos(bool on) override;
    void ApplyFont(const core::TFontFace& font) override;
    void ApplyInputColours(std::uint32_t background, std::uint32_t unsent,
                           std::uint32_t sent) override;
    void Beep() override;
    channels::TKanalFocus FocusedControl() const override;
    void FocusConsole() override;
    void InputCaretToEnd() override;
    void InsertInput(const std::string& text) override;
    void InputEdit(channels::TEditCommand command) override;
    void CopyToClipboard(const std::string& text) override;
    std::optional<std::filesystem::path> AskSaveFile(const std::string& proposedName,
                                                     const std::filesystem::path& folder) override;
    channels::TSaveAnswer AskOverwriteOrAppend(const std::filesystem::path& file) override;
    void PrintConsole(int firstRow, int lastRow) override;
    void ShowButtonHint(const std::string& text) override;
    // A key for the channel's KeyDown; true when the channel took it.
    bool KeyPress(QKeyEvent& e);

  private:
    void ShowContextMenu(bool onConsole, const QPoint& globalPos);
    void HideButtonHint();

    channels::TKanal& kanal_;
    const int number_;
    TKanalPanes panes_;
    QPointer<TConsoleWidget> console_;
    QPointer<TRichEditTarvo> editor_;
    QPointer<QAction> button_;
    QPointer<QLabel> hintWindow_;
    QPointer<QObject> keyFilter_;
    bool menuOpen_ = false;
};

}  // namespace tarvo::ui
