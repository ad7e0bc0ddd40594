// The settings dialog of the device kind "Hostmode" (a TNC on a serial port):
// port, baud rate and the commands sent at start and at the end.
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>

#include "devices/GeraetHostmodeSerialU.h"

class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace tarvo::ui {

// What the operator entered, as the fields hold it.
struct THostmodeSerialFields {
    std::string schnittstelle;  // the path as typed (file name bytes)
    std::int32_t baudrate = 0;  // 0: none chosen
    std::string init;           // code page 1252, one command a line
    std::string deinit;
};

// The settings the dialog hands to the device: `shown` with the fields applied.
std::shared_ptr<const devices::TGeraetHostmodeSerialParameter> NewHostmodeSerialParameter(
    const devices::TGeraetHostmodeSerialParameter& shown, const THostmodeSerialFields& fields);

// Shows the device's ShownParameter(); OK hands the result to SetNeueParameter.
class THostmodeSerialDialog : public QDialog {
    Q_OBJECT
  public:
    explicit THostmodeSerialDialog(devices::TGeraetHostmodeSerial& device,
                                   QWidget* parent = nullptr);

    QComboBox* Anschluss() const { return anschluss_; }
    QComboBox* Baudrate() const { return baudrate_; }
    QPlainTextEdit* Init() const { return init_; }
    QPlainTextEdit* Deinit() const { return deinit_; }
    QPushButton* OkButton() const { return ok_; }
    THostmodeSerialFields Fields() const;

  public slots:
    void accept() override;

  private:
    void UpdateOk();

    devices::TGeraetHostmodeSerial& device_;
    std::shared_ptr<const devices::TGeraetHostmodeSerialParameter> shown_;
    QComboBox* anschluss_;
    QComboBox* baudrate_;
    QPlainTextEdit* init_;
    QPlainTextEdit* deinit_;
    QPushButton* ok_;
};

// Runs the dialog modally over owner, then updates the device's info text.
// Returns QDialog::Accepted or QDialog::Rejected.
int ShowHostmodeSerialProperties(devices::TGeraetHostmodeSerial& device, QWidget* owner);

// Makes the dialog the kind's entry for "Eigenschaften" in the device list.
void RegisterHostmodeSerialProperties();

}  // namespace tarvo::ui
