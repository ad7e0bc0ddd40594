// The properties dialog of the device kind "PC/FlexNet": the driver has no
// settings here, so it shows the driver's version and ports.
#pragma once

#include <QDialog>

#include "devices/GeraetFlexnetU.h"

class QLabel;
class QListWidget;

namespace tarvo::ui {

class TFlexnetDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TFlexnetDialog(const devices::TGeraetFlexnet& device, QWidget* parent = nullptr);

    QLabel* Kopf() const { return kopf_; }
    QListWidget* Kanaele() const { return kanaele_; }

  private:
    QLabel* kopf_;
    QListWidget* kanaele_;
};

// Registers the dialog with the device list.
void RegisterFlexnetProperties();

}  // namespace tarvo::ui
