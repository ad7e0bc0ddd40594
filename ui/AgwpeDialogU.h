// The settings dialog of the device kind "AGWPE": where the engine listens and
// the login it wants.
#pragma once

#include <QDialog>

#include <string>

#include "devices/GeraetAgwpeU.h"

class QLineEdit;

namespace tarvo::ui {

// The settings from the fields as typed: the port 8000 unless it is a number
// from 1 to 65535.
devices::TGeraetAgwpeParameter NewAgwpeParameter(const std::string& host, const std::string& port,
                                                 const std::string& user,
                                                 const std::string& password);

// OK changes the device's settings at once; they count from its next login.
class TAgwpeDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TAgwpeDialog(devices::TGeraetAgwpe& device, QWidget* parent = nullptr);

    QLineEdit* Host() const { return host_; }
    QLineEdit* Port() const { return port_; }
    QLineEdit* User() const { return user_; }
    QLineEdit* Password() const { return password_; }

  public slots:
    void accept() override;

  private:
    devices::TGeraetAgwpe& device_;
    QLineEdit* host_;
    QLineEdit* port_;
    QLineEdit* user_;
    QLineEdit* password_;
};

// Registers the dialog with the device list.
void RegisterAgwpeProperties();

}  // namespace tarvo::ui
