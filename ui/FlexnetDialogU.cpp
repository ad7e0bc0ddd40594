#include "ui/FlexnetDialogU.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/GeraeteDialogU.h"
#include "ui/PlainTextU.h"

namespace tarvo::ui {

TFlexnetDialog::TFlexnetDialog(const devices::TGeraetFlexnet& device, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("PC/FlexNet - Eigenschaften"));
    kopf_ = new QLabel(Cp1252ToQString(device.EigenschaftenKopf()));
    kopf_->setObjectName(QStringLiteral("kopf"));
    kopf_->setWordWrap(true);
    kanaele_ = new QListWidget;
    kanaele_->setObjectName(QStringLiteral("kanaele"));
    for (const std::string& line : device.EigenschaftenKanaele())
        kanaele_->addItem(Cp1252ToQString(line));

    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    box->addWidget(kopf_);
    box->addWidget(new QLabel(tr("Kanäle")));
    box->addWidget(kanaele_, 1);
    auto* tabs = new QTabWidget;
    tabs->addTab(page, QStringLiteral("PC/FlexNet"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TFlexnetDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TFlexnetDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addWidget(buttons);
}

void RegisterFlexnetProperties() {
    RegisterDeviceProperties(devices::TGeraetFlexnet::kClassName,
                             [](devices::TGeraet& geraet, QWidget* owner) {
                                 auto* device = dynamic_cast<devices::TGeraetFlexnet*>(&geraet);
                                 if (!device) return static_cast<int>(QDialog::Rejected);
                                 TFlexnetDialog dlg(*device, owner);
                                 return dlg.exec();
                             });
}

}  // namespace tarvo::ui
