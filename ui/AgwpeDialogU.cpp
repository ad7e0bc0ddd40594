#include "ui/AgwpeDialogU.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/GlobalU.h"
#include "devices/HostmodeU.h"
#include "ui/GeraeteDialogU.h"

namespace tarvo::ui {

devices::TGeraetAgwpeParameter NewAgwpeParameter(const std::string& host, const std::string& port,
                                                 const std::string& user,
                                                 const std::string& password) {
    devices::TGeraetAgwpeParameter p;
    p.Hostname = std::string(core::TrimControls(host));
    const std::string_view digits = core::TrimControls(port);
    const auto n = devices::hostmode::ParseNumber(digits);
    const bool number = n && digits.find_first_not_of("0123456789") == std::string_view::npos;
    p.Port = number && *n >= 1 && *n <= 65535 ? *n : devices::agwpe::kDefaultPort;
    p.Username = user;
    p.Password = password;
    return p;
}

TAgwpeDialog::TAgwpeDialog(devices::TGeraetAgwpe& device, QWidget* parent)
    : QDialog(parent), device_(device) {
    setWindowTitle(tr("AGWPE - Eigenschaften"));
    const devices::TGeraetAgwpeParameter p = device.Parameter();
    host_ = new QLineEdit(QString::fromStdString(p.Hostname));
    host_->setObjectName(QStringLiteral("host"));
    host_->setPlaceholderText(QStringLiteral("localhost"));
    port_ = new QLineEdit(QString::number(p.Port));
    port_->setObjectName(QStringLiteral("port"));
    user_ = new QLineEdit(QString::fromStdString(p.Username));
    user_->setObjectName(QStringLiteral("user"));
    user_->setMaxLength(static_cast<int>(devices::agwpe::kLoginField));
    password_ = new QLineEdit(QString::fromStdString(p.Password));
    password_->setObjectName(QStringLiteral("password"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setMaxLength(static_cast<int>(devices::agwpe::kLoginField));

    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(tr("Host"), host_);
    form->addRow(tr("Port"), port_);
    form->addRow(tr("Benutzername"), user_);
    form->addRow(tr("Passwort"), password_);
    auto* tabs = new QTabWidget;
    tabs->addTab(page, QStringLiteral("AGWPE"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TAgwpeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TAgwpeDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addWidget(buttons);
}

void TAgwpeDialog::accept() {
    device_.SetParameter(NewAgwpeParameter(host_->text().toStdString(), port_->text().toStdString(),
                                           user_->text().toStdString(),
                                           password_->text().toStdString()));
    QDialog::accept();
}

void RegisterAgwpeProperties() {
    RegisterDeviceProperties(devices::TGeraetAgwpe::kClassName,
                             [](devices::TGeraet& geraet, QWidget* owner) {
                                 auto* device = dynamic_cast<devices::TGeraetAgwpe*>(&geraet);
                                 if (!device) return static_cast<int>(QDialog::Rejected);
                                 TAgwpeDialog dlg(*device, owner);
                                 return dlg.exec();
                             });
}

}  // namespace tarvo::ui
