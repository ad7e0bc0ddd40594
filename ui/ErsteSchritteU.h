// The first-steps window: a short guide for a new operator, shown at start
// while it is due and from "Hilfe".
#pragma once

#include <QDialog>

class QCheckBox;

namespace tarvo::core {
class TConfig;
}

namespace tarvo::ui {

class TErsteSchritte : public QDialog {
    Q_OBJECT
  public:
    // "Nicht mehr anzeigen" is checked while the window is not due; changing it
    // settles whether it comes again at the next start.
    explicit TErsteSchritte(core::TConfig* config, QWidget* parent = nullptr);

    QCheckBox* NichtMehrAnzeigen() const { return nichtMehr_; }

  signals:
    // "Handbuch": the main window opens the manual.
    void manualRequested();

  private:
    core::TConfig* config_;
    QCheckBox* nichtMehr_;
};

}  // namespace tarvo::ui
