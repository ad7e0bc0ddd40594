// The dialog "Eigenes Rufzeichen": one own callsign and its SSIDs.
#pragma once

#include <QDialog>

#include <array>

#include "devices/MyCallsU.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tarvo::ui {

class TMyCallEdit : public QDialog {
    Q_OBJECT
  public:
    // A new entry: an empty callsign with SSID 0 ticked.
    explicit TMyCallEdit(QWidget* parent = nullptr);
    // Editing a copy of an existing entry.
    explicit TMyCallEdit(const devices::TMyCall& call, QWidget* parent = nullptr);

    // The entry as entered; meaningful after the dialog was accepted.
    devices::TMyCall Result() const;

    QLineEdit* CallField() const { return call_; }
    QCheckBox* SSIDBox(int ssid) const { return boxes_.at(static_cast<std::size_t>(ssid)); }
    QPushButton* OkButton() const { return ok_; }

  private:
    std::uint16_t Ticked() const;
    void UpdateState();

    QLineEdit* call_;
    std::array<QCheckBox*, devices::kMaxSSID + 1> boxes_{};
    QPushButton* all_;
    QPushButton* none_;
    QPushButton* ok_;
};

}  // namespace tarvo::ui
