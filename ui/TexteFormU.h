// The settings page "Texte": the general texts, one kind at a time.
#pragma once

#include "channels/EinstellungenModellU.h"
#include "ui/EinstellungenU.h"

class QComboBox;
class QPlainTextEdit;

namespace tarvo::ui {

class TTexteForm : public TTabForm {
    Q_OBJECT
  public:
    TTexteForm(resources::TTexte& texte, QWidget* parent);
    void Apply() override;

    QComboBox* Kind() const { return kind_; }
    QPlainTextEdit* Memo() const { return memo_; }

  private:
    void KindChanged(int index);

    channels::TTextePage page_;
    QComboBox* kind_;
    QPlainTextEdit* memo_;
    int shownKind_ = -1;
};

}  // namespace tarvo::ui
