// The settings page "Klänge": the general sound of each event, and sound
// schemes to load and save.
#pragma once

#include "channels/EinstellungenModellU.h"
#include "ui/EinstellungenU.h"

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace tarvo::ui {

class TKlaengeForm : public TTabForm {
    Q_OBJECT
  public:
    TKlaengeForm(resources::TKlaenge& klaenge, QWidget* parent);
    void Apply() override;

    QComboBox* Event() const { return event_; }
    QRadioButton* Signal(int mode) const;  // kSignalNone .. kSignalWave
    QLineEdit* WaveFile() const { return waveFile_; }
    // The scheme file to load or save; the file dialog when empty.
    void LoadScheme(const QString& file);
    void SaveScheme(const QString& file);

  private:
    void EventChanged(int index);
    void KeepShown();
    void ShowSetting(const resources::TSoundSetting& s);
    void UpdateEnabled();
    QString SoundFolder() const;

    resources::TKlaenge& klaenge_;
    channels::TKlaengePage page_;
    QComboBox* event_;
    QRadioButton* none_;
    QRadioButton* tones_;
    QRadioButton* wave_;
    QLineEdit* waveFile_;
    QWidget* browse_;
    QWidget* play_;
    QRadioButton* noAnnouncement_;
    QRadioButton* voice_;
    QRadioButton* morse_;
    int shownEvent_ = -1;
};

}  // namespace tarvo::ui
