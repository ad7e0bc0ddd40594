// The station dialog: the station list with its search field, and the pages of
// the selected station. Its rules live in TStationenDatenbankDlgModell.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

#include "stations/StationenDatenbankDlgU.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace tarvo::ui {

class TRemoteCommandsForm;

// "Passwort hinzufügen..." / "Passwort bearbeiten...": own callsign, role,
// method and the password (masked).
class TStationenDatenbankPasswortDlg : public QDialog {
    Q_OBJECT
  public:
    TStationenDatenbankPasswortDlg(const std::vector<std::string>& myCalls, QWidget* parent);
    // Editing: the callsign stays as it is.
    void Load(const stations::TPasswordRow& row, const std::string& password);

    std::string MyCall() const;
    int Role() const;
    int Method() const;
    std::string Password() const;

  private:
    QComboBox* call_;
    QComboBox* role_;
    QComboBox* method_;
    QLineEdit* password_;
};

class TStationenDatenbankDlg : public QDialog {
    Q_OBJECT
  public:
    TStationenDatenbankDlg(std::shared_ptr<stations::TStationenDatenbank> database,
                           int generalPolicy, std::vector<std::string> myCalls,
                           QWidget* parent = nullptr);
    ~TStationenDatenbankDlg() override;

    stations::TStationenDatenbankDlgModell& Model() { return model_; }
    QLineEdit* SearchField() const { return search_; }
    QListWidget* StationList() const { return list_; }
    QLineEdit* NameField() const { return name_; }

    // Takes what the pages show into the model and stores the station.
    void StoreStation();

  protected:
    void done(int result) override;

  private:
    void BuildStationPage();
    void BuildTextPage();
    void BuildSoundPage();
    void BuildPasswordPage();
    void BuildRemotePage();
    void FillList();
    void SelectRow(int row);
    void Collect();
    void Show();
    void CollectText();
    void ShowText();
    void CollectSound();
    void ShowSound();
    void ShowPasswords();
    void AddStation();
    void RemoveStation();
    void EditPassword(bool add);

    stations::TStationenDatenbankDlgModell model_;
    std::vector<std::string> myCalls_;
    int textKind_ = -1;
    int soundEvent_ = -1;

    QLineEdit* search_;
    QListWidget* list_;
    QLabel* heading_;
    QTabWidget* pages_;
    QLineEdit* name_ = nullptr;
    QComboBox* type_ = nullptr;
    QCheckBox* firewall_ = nullptr;
    QComboBox* policy_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
    QComboBox* textKinds_ = nullptr;
    QCheckBox* textFlag_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QComboBox* soundEvents_ = nullptr;
    QComboBox* signal_ = nullptr;
    QLineEdit* waveFile_ = nullptr;
    QComboBox* announcement_ = nullptr;
    QTreeWidget* passwords_ = nullptr;
    TRemoteCommandsForm* remote_ = nullptr;
};

}  // namespace tarvo::ui
