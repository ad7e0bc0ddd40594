// The send wizard of a channel: protocol and kind of sending (with the
// connection's send queue), files, typed text, parts and mailbox texts, PGP
// signing. Every file, or the text, goes through the send pre-processor. Also
// the part chooser and the template editor it opens.
#pragma once

#include <QDialog>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/InterfacesU.h"
#include "filesend/DateiSendenDlgLogikU.h"
#include "filesend/DateiSendenVorlagenU.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTreeWidget;

namespace tarvo::core {
class TConfig;
class TSubscriberAdapter;
}  // namespace tarvo::core
namespace tarvo::channels {
class TKanal;
}
namespace tarvo::platform {
class IRegistry;
}

namespace tarvo::ui {

struct TDateiSendenDlgContext {
    std::shared_ptr<channels::TKanal> kanal;
    platform::IRegistry* registry = nullptr;  // the template lists
    core::TConfig* config = nullptr;          // "Verlauf" and the PGP comment
    // Where "Hinzufügen" starts.
    std::function<std::filesystem::path()> receiveFolder;
};

class TDateiSendenDlg : public QDialog {
    Q_OBJECT
  public:
    enum TPage { kPageProtokoll, kPageDateien, kPageText, kPageOptionen, kPagePGP, kPageCount };

    // The channel's dialog, made when it has none, shown and brought to the
    // front. A dialog already open only comes to the front: what was asked
    // for this time is dropped.
    static TDateiSendenDlg* Open(const TDateiSendenDlgContext& ctx, QWidget* parent);
    static TDateiSendenDlg* OpenWithText(const TDateiSendenDlgContext& ctx, QWidget* parent,
                                         const std::string& cp1252);
    static TDateiSendenDlg* OpenWithFiles(const TDateiSendenDlgContext& ctx, QWidget* parent,
                                          const std::vector<std::filesystem::path>& dropped);
    // The open dialog of a channel, or null.
    static TDateiSendenDlg* For(const channels::TKanal* kanal);
    // At shutdown, before the channels go.
    static void CloseAll();

    TDateiSendenDlg(const TDateiSendenDlgContext& ctx, QWidget* parent = nullptr);
    ~TDateiSendenDlg() override;

    // The three ways of opening.
    void StartNormal();
    void StartWithText(const std::string& cp1252);
    void StartWithFiles(const std::vector<std::filesystem::path>& dropped);

    int Page() const;
    // 1 Text, 2 AutoBIN, 4 plain binary, 5 DIDADIT, 0 none.
    std::int32_t Protokoll() const;
    const filesend::TSendeDateiListe& Dateien() const { return dateien_; }
    bool FinishEnabled() const;
    void Weiter();
    void Zurueck();
    // "Fertigstellen": false when it stopped (a wrong password) and the dialog stays.
    bool Fertigstellen();

    // Seams for tests: the file dialog, and the message window (code page 1252,
    // the buttons as core::kBit* bits; returns a modal result).
    std::function<std::vector<std::filesystem::path>()> chooseFiles;
    std::function<int(const std::string& title, const std::string& text, unsigned buttons)> ask;

  public slots:
    void reject() override;
    void done(int result) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QWidget* BuildProtokollPage();
    QWidget* BuildDateienPage();
    QWidget* BuildTextPage();
    QWidget* BuildOptionenPage();
    QWidget* BuildPGPPage();
    void SetProtokoll(std::int32_t protokoll);
    void ProtokollChanged();
    void KindChanged();
    bool PageEnabled(int page) const;
    void ShowPage(int page);
    void UpdateButtons();
    void UpdateTitle();
    void UpdateFileList();
    void FillParts();
    void PartSizeEdited();
    void PartSizeLeft();
    void ChooseParts();
    void AddFiles();
    void RemoveFiles();
    void FillTemplateMenu(QMenu* menu, bool before);
    void EditTemplates(bool before);
    filesend::TDateiSendenVorlagen& Vorlagen(bool before);
    // Channel and queue notifications, on the main thread.
    void OnChannelChanged();
    void RefreshQueue();
    void Resubscribe();
    void Unsubscribe();
    std::shared_ptr<core::IVerbindung> Verbindung() const;
    bool Connected() const;
    bool HasSomethingToSend() const;
    bool TextTyped() const;
    int Ask(const QString& title, const QString& text, unsigned buttons);
    std::string MailboxField(const QCheckBox* on, const QPlainTextEdit* field) const;
    void RestoreHistory();
    void StoreHistory();

    TDateiSendenDlgContext ctx_;
    bool filesLocked_ = false;  // opened with dropped files
    bool noQuestion_ = false;

    QStackedWidget* pages_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* finish_ = nullptr;
    QPushButton* cancel_ = nullptr;

    // Protocol page.
    QButtonGroup* protokolle_ = nullptr;
    QRadioButton* text_ = nullptr;
    QRadioButton* autobin_ = nullptr;
    QRadioButton* binaer_ = nullptr;
    QRadioButton* didadit_ = nullptr;
    QLabel* protokollHelp_ = nullptr;
    QRadioButton* kindFiles_ = nullptr;
    QRadioButton* kindText_ = nullptr;
    QListWidget* queueList_ = nullptr;
    QLabel* queueLabel_ = nullptr;
    QPushButton* queueClear_ = nullptr;

    // Files page.
    QListWidget* fileNames_ = nullptr;
    QPushButton* addFiles_ = nullptr;
    QPushButton* removeFiles_ = nullptr;

    // Text page.
    QPlainTextEdit* textEdit_ = nullptr;

    // Options page.
    QCheckBox* teilen_ = nullptr;
    QLineEdit* partSize_ = nullptr;
    QTreeWidget* parts_ = nullptr;
    QPushButton* partProperties_ = nullptr;
    QCheckBox* wrap_ = nullptr;
    QCheckBox* beforeOn_ = nullptr;
    QCheckBox* afterOn_ = nullptr;
    QPlainTextEdit* before_ = nullptr;
    QPlainTextEdit* after_ = nullptr;
    QPushButton* beforeTemplates_ = nullptr;
    QPushButton* afterTemplates_ = nullptr;

    // PGP page.
    QCheckBox* sign_ = nullptr;
    QComboBox* keys_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* comment_ = nullptr;
    QLabel* pgpInfo_ = nullptr;

    filesend::TSendeDateiListe dateien_;
    std::optional<filesend::TDateiSendenVorlagen> vorher_, nachher_;
    std::unique_ptr<core::IPGP> pgp_;
    std::vector<core::TPGPKey> pgpKeys_;

    std::shared_ptr<core::TSubscriberAdapter> kanalSubscriber_;
    std::shared_ptr<core::TSubscriberAdapter> queueSubscriber_;
    std::shared_ptr<core::IDateiSendenQueue> queue_;
    // Collapses a burst of notifications into one refresh.
    std::shared_ptr<std::atomic<bool>> refreshPending_;
};

// One checkable line per part; space or a click in the check area checks the
// selected lines (or clears them when all were checked).
class TDateiSendenTeileAuswahlDlg : public QDialog {
    Q_OBJECT
  public:
    TDateiSendenTeileAuswahlDlg(const QString& fileName, const std::vector<bool>& checks,
                                QWidget* parent = nullptr);
    std::vector<bool> Checks() const;
    QListWidget* List() const { return list_; }
    // What space and a click in the check area do.
    void ToggleSelected();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QListWidget* list_;
};

// "Datei senden - Vorlagen": the templates of one list, edited and saved to
// the list's key on OK.
class TDateiSendenVorlagenDlg : public QDialog {
    Q_OBJECT
  public:
    TDateiSendenVorlagenDlg(filesend::TDateiSendenVorlagen& vorlagen, QWidget* parent = nullptr);
    QListWidget* List() const { return list_; }
    QPlainTextEdit* Editor() const { return editor_; }

  public slots:
    void accept() override;

  private:
    void Select(int row);
    void StoreEditor();
    QString Caption(const QString& text) const;

    filesend::TDateiSendenVorlagen& vorlagen_;
    std::vector<QString> items_;
    int current_ = -1;
    QListWidget* list_;
    QPlainTextEdit* editor_;
    QPushButton* remove_;
};

}  // namespace tarvo::ui
