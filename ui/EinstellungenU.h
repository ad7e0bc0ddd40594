// The settings window "Einstellungen": one tab per area, each page built when
// its tab is first shown, and every built page applied together.
#pragma once

#include <QDialog>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channels/ConsoleU.h"
#include "channels/EinstellungenModellU.h"
#include "devices/MyCallsU.h"
#include "platform/Clock.h"
#include "ui/GeraeteDialogU.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;

namespace tarvo::core {
class TConfig;
}
namespace tarvo::channels {
class TKanaele;
}
namespace tarvo::devices {
class TGeraete;
}
namespace tarvo::resources {
class TTexte;
class TKlaenge;
}  // namespace tarvo::resources

namespace tarvo::ui {

class TConsoleWidget;

// Everything the pages edit, and the main window's services they use. Any of
// the objects but the configuration may be missing; its page then leaves it.
struct TEinstellungenContext {
    core::TConfig* config = nullptr;
    std::shared_ptr<devices::TMyCalls> myCalls;
    channels::TKanaele* kanaele = nullptr;
    devices::TGeraete* geraete = nullptr;
    resources::TTexte* texte = nullptr;
    resources::TKlaenge* klaenge = nullptr;
    int colourLevel = 2;
    std::function<void()> reloadToolbarImages;
    std::function<void()> openStationDatabase;

    // Empty: the message window.
    TAsk ask;
    // The editor "Eigenes Rufzeichen" for a new (null) or an existing entry;
    // nullopt when cancelled. Empty: the editor window.
    std::function<std::optional<devices::TMyCall>(QWidget* owner, const devices::TMyCall* call)>
        editMyCall;
    // The installed font families. Empty: the font database.
    std::function<std::vector<std::string>()> fontFamilies;
};

// The base of the pages: Apply writes the page's values back.
class TTabForm : public QWidget {
    Q_OBJECT
  public:
    using QWidget::QWidget;
    virtual void Apply() {}
    // The window closes: let go of what the page is subscribed to.
    virtual void Detach() {}
};

// A small console showing sample lines; owns its model.
class TSampleConsole : public QWidget {
    Q_OBJECT
  public:
    explicit TSampleConsole(QWidget* parent = nullptr);
    ~TSampleConsole() override;
    channels::TConsole& Console() { return console_; }
    TConsoleWidget* View() const { return view_; }
    // Clears and writes the lines (code page 1252), each in its colour code.
    void Show(const std::vector<std::pair<std::uint8_t, std::string>>& lines);

  private:
    platform::SteadyClock clock_;
    channels::TConsole console_{clock_};
    TConsoleWidget* view_;
};

class TEinstellungenAllgemein : public TTabForm {
    Q_OBJECT
  public:
    TEinstellungenAllgemein(const TEinstellungenContext& ctx, QWidget* parent);
    void Apply() override;

    QTreeWidget* Calls() const { return calls_; }
    QSpinBox* Kanaele() const { return kanaele_; }
    QSpinBox* Zeilen() const { return zeilen_; }
    QCheckBox* LokalesEcho() const { return echo_; }
    QComboBox* Ankommend() const { return ankommend_; }
    const std::vector<devices::TMyCall>& WorkingCalls() const { return working_; }

  private:
    void FillCalls(int select);
    void Hinzufuegen();
    void Bearbeiten();
    void Entfernen();
    std::optional<devices::TMyCall> Edit(const devices::TMyCall* call);

    const TEinstellungenContext& ctx_;
    std::vector<devices::TMyCall> working_;
    QTreeWidget* calls_;
    QPushButton* edit_;
    QPushButton* remove_;
    QSpinBox* kanaele_;
    QSpinBox* zeilen_;
    QCheckBox* echo_;
    QComboBox* ankommend_;
};

class TEinstellungenGeraete : public TTabForm {
    Q_OBJECT
  public:
    TEinstellungenGeraete(const TEinstellungenContext& ctx, QWidget* parent);
    void Apply() override;
    void Detach() override;
    TGeraeteListe* Liste() const { return liste_; }

  private:
    TGeraeteListe* liste_ = nullptr;
};

class TEinstellungenAnzeige : public TTabForm {
    Q_OBJECT
  public:
    TEinstellungenAnzeige(const TEinstellungenContext& ctx, QWidget* parent);
    void Apply() override;

    QListWidget* Sizes() const { return sizes_; }
    TSampleConsole* Sample() const { return sample_; }
    std::uint32_t WorkingColour(int index) const;
    // What a colour button sets after its colour dialog.
    void SetWorkingColour(int index, std::uint32_t colour);

  private:
    void ChooseColour(int index, const QString& caption);
    void RestoreDefaults(int tab);
    void UpdateSample();
    void UpdateSwatches();

    const TEinstellungenContext& ctx_;
    std::vector<channels::TFontSizeEntry> entries_;
    std::array<std::uint32_t, 13> colours_{};
    std::vector<std::pair<int, QPushButton*>> colourButtons_;
    QListWidget* sizes_;
    TSampleConsole* sample_;
};

class TEinstellungenMonitor : public TTabForm {
    Q_OBJECT
  public:
    TEinstellungenMonitor(const TEinstellungenContext& ctx, QWidget* parent);
    void Apply() override;

    QCheckBox* Box(int box) const { return boxes_.at(static_cast<std::size_t>(box)); }
    TSampleConsole* Sample() const { return sample_; }

  private:
    channels::TMonitorChecks Checks() const;
    void Update();

    const TEinstellungenContext& ctx_;
    std::array<QCheckBox*, channels::kMonitorBoxCount> boxes_{};
    TSampleConsole* sample_;
};

// The receive folder and the folder remote stations may read, each with a
// folder browser.
class TEinstellungenDateien : public TTabForm {
    Q_OBJECT
  public:
    TEinstellungenDateien(const TEinstellungenContext& ctx, QWidget* parent);
    void Apply() override;
    QLineEdit* Empfang() const { return empfang_; }
    QLineEdit* Remote() const { return remote_; }
    QPushButton* EmpfangBrowse() const { return empfangBrowse_; }
    QPushButton* RemoteBrowse() const { return remoteBrowse_; }
    // The largest file AutoBIN may receive, in MiB.
    QSpinBox* AutobinMax() const { return autobinMax_; }
    // The folder browser (title, start folder); an empty result changes nothing.
    std::function<QString(const QString& title, const QString& start)> chooseFolder;

  private:
    void Browse(QLineEdit* edit, const QString& title);

    QLineEdit* empfang_;
    QLineEdit* remote_;
    QPushButton* empfangBrowse_;
    QPushButton* remoteBrowse_;
    const TEinstellungenContext ctx_;
    QSpinBox* autobinMax_ = nullptr;
};

class TEinstellungenErweitert : public TTabForm {
    Q_OBJECT
  public:
    TEinstellungenErweitert(const TEinstellungenContext& ctx, QWidget* parent);
    void Apply() override;

    QCheckBox* SendSid() const { return sendSid_; }
    QCheckBox* HideSentSid() const { return hideSentSid_; }
    QCheckBox* HideReceivedSid() const { return hideReceivedSid_; }
    QCheckBox* HighColor() const { return highColor_; }
    QCheckBox* CollectKeys() const { return collectKeys_; }
    QCheckBox* SimpleResults() const { return simpleResults_; }

  private:
    const TEinstellungenContext& ctx_;
    QCheckBox* sendSid_;
    QCheckBox* hideSentSid_;
    QCheckBox* hideReceivedSid_;
    QCheckBox* highColor_;
    QCheckBox* collectKeys_;
    QCheckBox* simpleResults_;
};

class TEinstellungenForm : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kPageCount = 9;
    enum PageIndex : int {
        kAllgemein = 0,
        kGeraete = 1,
        kDateien = 2,
        kAnzeige = 3,
        kMonitor = 4,
        kTexte = 5,
        kFernst = 6,
        kKlaenge = 7,
        kErweitert = 8,
    };

    // The open window, else null.
    static TEinstellungenForm* Instance();
    // Creates the window when none is open, shows and raises it.
    static TEinstellungenForm* Open(const TEinstellungenContext& ctx, QWidget* parent);
    // Frees the open window at once; before the objects it edits go.
    static void CloseInstance();

    ~TEinstellungenForm() override;

    QTabWidget* Tabs() const { return tabs_; }
    // The page of a slot, null while it has not been built.
    TTabForm* Page(int index) const;
    // Selects the tab of a slot (building its page); false when there is none.
    bool ShowPage(int index);
    // Apply of every built page, in slot order; false when one failed (it is
    // reported and the others are still applied).
    bool ApplyAll();

  public slots:
    void done(int r) override;

  protected:
    bool event(QEvent* e) override;

  private:
    TEinstellungenForm(const TEinstellungenContext& ctx, QWidget* parent);
    void PageChanged(int tab);
    TTabForm* BuildPage(int index, QWidget* sheet);
    // The link to the station database below a page; null for pages without one.
    QLabel* StationLink(int index);
    // Closed: detach the pages and stop being the open window.
    void Finish();

    TEinstellungenContext ctx_;
    std::array<TTabForm*, kPageCount> pages_{};
    std::array<QWidget*, kPageCount> firstControl_{};
    bool changing_ = false;
    bool finished_ = false;
    QTabWidget* tabs_;
};

}  // namespace tarvo::ui
