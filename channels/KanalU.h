// One numbered channel: its console, its toolbar button, the status bar texts
// while it is active, and the connection it shows. Connections and devices
// report from their threads; every change of what the operator sees runs on the
// main thread, and the reporting thread waits until it has.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "channels/BoxListU.h"
#include "channels/ConsoleU.h"
#include "channels/KanalEingabeU.h"
#include "core/InterfacesU.h"
#include "core/PublisherU.h"
#include "core/TrU.h"
#include "platform/Clock.h"
#include "platform/Dispatcher.h"

namespace tarvo::core {
class TConfig;
class IMessageWindow;
}  // namespace tarvo::core

namespace tarvo::channels {

// Colour codes the channel writes.
enum TKanalColour : std::uint8_t {
    kColourOwn = 1,
    kColourMonitorInfo = 5,
    kColourDevice = 6,
    kColourCode8 = 8,
    kColourOther = 9,
    kColourReceived = 10,
    kColourNotice = 15,
};

// Gutter marks the channel sets.
enum TKanalMark : std::uint8_t {
    kMarkMailbox = kBoxMarkListLine,
    kMarkConnect = 5,
    kMarkDisconnect = 6,
};

// Status bar panels of the main window.
inline constexpr int kStatusPanelCount = 9;

// What the channel's window side does, always called on the main thread. The
// console itself is the channel's model; the view only shows it.
class IKanalView {
  public:
    virtual ~IKanalView() = default;
    virtual void SetStatusPanel(int panel, const std::string& text) = 0;
    virtual void SetButtonCaption(const std::string& text) = 0;
    // The short hint before "|", the long one after it.
    virtual void SetButtonHint(const std::string& text) = 0;
    virtual void SetButtonImage(int image) = 0;
    virtual void SetButtonChecked(bool checked) = 0;
    // Shows or hides the console and the input editor. The monitor's console
    // moves into the output pane while active and back, scrolled to the end.
    virtual void ShowChannel(bool active) = 0;
    // The transfer progress bar and its label ("12.5%").
    virtual void SetProgress(bool visible, int value, const std::string& label) = 0;
    virtual void SetStopImage(int image) = 0;
    virtual void UpdateEditCommands() = 0;
    virtual void SetMenuChecks(bool saving, bool showDos, bool sendDos) = 0;
    virtual void FocusInput() = 0;
    // When start-up is done and the main window is hidden.
    virtual void FlashMainWindow() = 0;
    // The console shows the DOS umlauts as what they mean.
    virtual void ShowDos(bool) {}
    virtual void ApplyFont(const core::TFontFace& font) = 0;
    // 0x00BBGGRR each.
    virtual void ApplyInputColours(std::uint32_t background, std::uint32_t unsent,
                                   std::uint32_t sent) = 0;
    virtual void Beep() = 0;

    // ---- input and commands ----
    virtual TKanalFocus FocusedControl() const = 0;
    virtual void FocusConsole() = 0;
    virtual void InputCaretToEnd() = 0;
    // Code page 1252 text at the editor's caret, in the colour of new text.
    virtual void InsertInput(const std::string& text) = 0;
    // Cut, Copy, Paste, Delete or SelectAll in the input editor.
    virtual void InputEdit(TEditCommand command) = 0;
    // Code page 1252 text to the clipboard.
    virtual void CopyToClipboard(const std::string& text) = 0;
    // The save dialog, starting in folder with the proposed name (UTF-8);
    // nullopt when the operator cancels.
    virtual std::optional<std::filesystem::path> AskSaveFile(
        const std::string& proposedName, const std::filesystem::path& folder) = 0;
    // The existing file is overwritten, appended to, or left alone.
    virtual TSaveAnswer AskOverwriteOrAppend(const std::filesystem::path& file) = 0;
    // Prints the console's rows [firstRow, lastRow].
    virtual void PrintConsole(int firstRow, int lastRow) = 0;
    // The short button hint (code page 1252) in a hint window under the button.
    virtual void ShowButtonHint(const std::string& text) = 0;
};

// A view that shows nothing: for the channels of tests and of start-up before
// the window exists.
class TNullKanalView : public IKanalView {
  public:
    void SetStatusPanel(int, const std::string&) override {}
    void SetButtonCaption(const std::string&) override {}
    void SetButtonHint(const std::string&) override {}
    void SetButtonImage(int) override {}
    void SetButtonChecked(bool) override {}
    void ShowChannel(bool) override {}
    void SetProgress(bool, int, const std::string&) override {}
    void SetStopImage(int) override {}
    void UpdateEditCommands() override {}
    void SetMenuChecks(bool, bool, bool) override {}
    void FocusInput() override {}
    void FlashMainWindow() override {}
    void ApplyFont(const core::TFontFace&) override {}
    void ApplyInputColours(std::uint32_t, std::uint32_t, std::uint32_t) override {}
    void Beep() override {}
    TKanalFocus FocusedControl() const override { return TKanalFocus::Other; }
    void FocusConsole() override {}
    void InputCaretToEnd() override {}
    void InsertInput(const std::string&) override {}
    void InputEdit(TEditCommand) override {}
    void CopyToClipboard(const std::string&) override {}
    std::optional<std::filesystem::path> AskSaveFile(const std::string&,
                                                     const std::filesystem::path&) override {
        return std::nullopt;
    }
    TSaveAnswer AskOverwriteOrAppend(const std::filesystem::path&) override {
        return TSaveAnswer::Cancel;
    }
    void PrintConsole(int, int) override {}
    void ShowButtonHint(const std::string&) override {}
};

// What a channel needs from the rest of the program.
struct TKanalContext {
    platform::IDispatcher* dispatcher = nullptr;
    core::TConfig* config = nullptr;
    const platform::IClock* clock = nullptr;
    core::IKlaenge* klaenge = nullptr;
    std::filesystem::path bufferFolder;
    // Whether start-up has finished (a hidden window is flashed only after it).
    std::function<bool()> startupDone;
    // Whether the main window is visible.
    std::function<bool()> mainWindowVisible;
    // The program's message window; without one messages only go to the log.
    core::IMessageWindow* messages = nullptr;
    // The texts store (text blocks); none: the blocks are empty.
    core::ITexte* texte = nullptr;
    // For the console's callsign hints; none: no hints over text.
    std::shared_ptr<core::IStationenDatenbank> stationen;
    // All radio channels of all devices (where monitor lines go as UI frames).
    std::function<std::vector<std::shared_ptr<core::IFunkKanal>>()> funkKanaele;
    // The receive folder the save dialog starts in.
    std::function<std::filesystem::path()> receiveFolder;
    // Makes a channel's mailbox message list; none: a TBoxList.
    std::function<std::unique_ptr<IBoxList>(TKanal&)> boxList;
};

// The buffer file could not be opened; the program cannot go on.
class TKanalBufferError : public std::runtime_error {
  public:
    explicit TKanalBufferError(int channel, std::error_code ec);
    std::error_code Code() const { return code_; }

  private:
    std::error_code code_;
};

// "Fehler beim Öffnen der Textpuffer. ..." in code page 1252, and its title.
std::string BufferErrorText();
inline constexpr const char* kBufferErrorTitle = TARVO_TR_NOOP("TKanal", "Fehler");
inline constexpr int kBufferErrorExitCode = 5;

// Texts of the channel, built without touching the channel.
// "<Tarvo>: " framed notice, ready for the console (empty lines before and after).
std::string FormatPrompt(std::string_view text);
// Link state texts "Getrennt" ... "Verbunden"; other states give "".
std::string LinkStateText(std::uint8_t state);
// 1 connected with nothing unread, or unread while active; 2 unread while
// inactive; 0 otherwise.
int ButtonImage(std::uint8_t linkState, bool unread, bool active);
// "12.5%" with "." whatever the locale.
std::string FormatPercent(double percent);
// "%s (%dk)": the name and the size in kilobytes rounded, or the name alone
// when the size is 0 or less; "(unbekannt)" for an empty name.
std::string FormatSendJob(std::string_view sendName, std::int64_t size);

class TKanal final : public core::IKanal,
                     public core::IKanalFuerVerbindung,
                     public core::IPublisher,
                     public IKanalForBoxlist,
                     public std::enable_shared_from_this<TKanal> {
  public:
    using ViewFactory = std::function<std::unique_ptr<IKanalView>(TKanal&)>;

    // Main thread only. Opens the console's buffer file in ctx.bufferFolder;
    // throws TKanalBufferError when it cannot.
    static std::shared_ptr<TKanal> Create(
        int number, const TKanalContext& ctx, const ViewFactory& viewFactory,
        std::function<void(const std::shared_ptr<core::IKanal>&)> onFocused = {});
    ~TKanal() override;

    TConsole& Console() { return console_; }
    const TConsole& Console() const { return console_; }
    IKanalView& View() { return *view_; }
    bool Released() const { return released_.load(); }
    bool Unread() const;
    bool Active() const { return active_.load(); }

    // ---- IKanal -------------------------------------------------------------
    bool IsFree() const override;
    bool IsIdle() const override;
    bool HasConnection() const override;
    void SetActive(bool active) override;
    std::shared_ptr<core::IVerbindung> GetVerbindung() const override;
    void SetFont(const core::TFontFace& font) override;
    void MonitorFrame(std::string_view header, std::string_view information,
                      bool highlight) override;
    std::int64_t WriteColoured(std::uint8_t colour, std::string_view text) override;
    bool GetReserved() const override { return reserved_.load(); }
    void SetReserved(bool reserved) override { reserved_.store(reserved); }
    void Release() override;
    void SetShowDOS(bool on) override;
    bool GetShowDOS() const override { return showDos_.load(); }
    void SetSendDOS(bool on) override { sendDos_.store(on); }
    bool GetSendDOS() const override { return sendDos_.load(); }
    int GetNummer() const override { return number_; }
    void RefreshStatusBar() override;
    void ApplyColours() override;
    void ClearConsole() override;
    std::string GetHint() const override;
    void PactorChangeover() override;
    void PactorBreakin() override;
    void SetConsoleRows(int rows) override;

    // ---- input and commands (main thread) ----------------------------------------
    // The input editor's line (code page 1252): a UI frame on the monitor, else
    // sent on the connection.
    void SendInput(std::string_view text);
    // Text dropped from another program: sent as it is, without caret escapes
    // (foreign text is no operator's notation). Only with a connection.
    void SendDroppedData(std::string_view text);
    // Before the control with the focus: a handled key becomes 0.
    void KeyDown(int& key, unsigned shift);
    // Stops recording, or asks for a file and saves the selection or records.
    void ToggleSaveToFile();
    void Cut();
    void Copy();
    void Paste();
    void Delete();
    void SelectAll();
    // Mailbox list commands on the selected rows or the line cursor's row.
    void BoxMarkRead(bool toggle, bool advance);
    void BoxMarkErase(bool toggle, bool advance);
    void BoxUnmark(bool advance);
    void BoxRun();
    bool HasBoxList() const { return boxList_ != nullptr; }
    // A click into the console's gutter on that row.
    void GutterClick(int row);
    // The hint of the console (code page 1252): kind 0 text, 1 gutter, 2 outside.
    std::string ConsoleHint(int kind, int row, int col);
    // The button's short hint under the button.
    void ShowHint();
    // Prints the selection, or the text since the last connect.
    void Print();
    // The channel becomes the focused one; the items of its context menu.
    std::vector<TMenuItem> ContextMenu(bool onConsole);
    void MenuCommand(TMenuCommand command, bool onConsole);

    // Several pieces in their colours as one unit: no other output comes between.
    struct TPiece {
        std::uint8_t colour;
        std::string_view text;
    };
    void WritePieces(std::initializer_list<TPiece> pieces);

    // ---- IKanalFuerVerbindung -------------------------------------------------
    void Notify(const void* sender) override;
    std::uint8_t GetState() const override;
    void StateChanged() override;
    void Message(std::string_view text, int type) override;
    void Prompt(std::string_view text, int type) override;
    std::int64_t Received(std::string_view text) override;
    std::int64_t Echo(std::string_view text) override;
    void Verbunden() override;
    void SetVerbindung(const std::shared_ptr<core::IVerbindung>& verbindung) override;
    void Getrennt(std::uint8_t reason) override;
    void Restored() override;
    void CallChange() override;
    void ModuleChanged() override;
    void MarkBoxLine(std::int64_t serial) override;

    // ---- IKanalForBoxlist -------------------------------------------------------
    TConsole& GetConsole() override { return console_; }

    // ---- IPublisher -----------------------------------------------------------
    void Subscribe(std::shared_ptr<core::ISubscriber> subscriber) override;
    void Unsubscribe(const std::shared_ptr<core::ISubscriber>& subscriber) override;

    // ---- recording to a file ---------------------------------------------------
    // Everything written from now on also goes to the file, with CR LF line ends.
    // With overwrite the file starts empty, else text is appended.
    std::error_code StartRecording(const std::filesystem::path& file, bool overwrite = false);
    void StopRecording();
    bool Recording() const;
    std::filesystem::path RecordingFile() const;

    // The send job whose progress the channel shows, and that progress.
    std::shared_ptr<core::IDateiSenden> ShownJob() const;
    float Progress() const;

  private:
    TKanal(int number, const TKanalContext& ctx);

    // Runs the task on the main thread and waits for it; false when the channel
    // is released or the program is shutting down (the task did not run).
    bool OnMain(const std::function<void()>& task);
    // On the main thread: the window messages.
    std::int64_t DoWriteText(std::uint8_t colour, std::uint8_t mark, std::string_view text);
    void DoWriteLine(std::uint8_t colour, std::uint8_t mark, std::string_view text);
    // The write of an outside thread: record, then write, as one main-thread step.
    std::int64_t Write(std::uint8_t colour, std::uint8_t mark, std::string_view text, bool line,
                       std::string_view recordPrefix = {});
    void Record(std::string_view text);
    void UpdateButtonImage();
    void RefreshChannelPanels();
    void RefreshLinkPanels(bool full);
    void RefreshAllPanels();
    void RefreshProgress();
    void UpdateStopImage();
    std::string NoticeSuffix() const;
    std::uint8_t ColourOfType(int type) const;
    void SendUiFrame(std::string_view text);
    // A line as typed: DOS umlauts, echo, carets (when asked), wrapping by
    // station type.
    void SendTyped(const std::shared_ptr<core::IVerbindung>& v, std::string_view text,
                   bool carets = true);
    void TextBlock(int kind, bool insert);
    void SaveToFile();
    void ShowMessage(std::string_view title, std::string_view text);
    IBoxList& BoxList();
    void RunBoxList();

    const int number_;
    TKanalContext ctx_;
    std::function<void(const std::shared_ptr<core::IKanal>&)> onFocused_;

    std::atomic<bool> released_{false};
    std::atomic<bool> active_{false};
    std::atomic<bool> reserved_{false};
    std::atomic<bool> showDos_{false};
    std::atomic<bool> sendDos_{false};

    // Guards the connection and the shown job with its progress.
    mutable std::mutex mutex_;
    std::shared_ptr<core::IVerbindung> verbindung_;
    std::shared_ptr<core::IDateiSenden> job_;
    float progress_ = 0;

    // Main-thread state.
    bool unread_ = false;
    int buttonImage_ = -1;
    std::string hint_;
    std::optional<float> shownProgress_;

    mutable std::mutex saveMutex_;
    std::ofstream saveFile_;
    std::filesystem::path saveName_;

    core::TPublisher publisher_;
    TConsole console_;
    std::unique_ptr<IKanalView> view_;
    // Main thread only; it goes before the console it marks.
    std::unique_ptr<IBoxList> boxList_;
};

}  // namespace tarvo::channels
