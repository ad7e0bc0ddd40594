#include "ui/InfoU.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/PlainTextU.h"

namespace tarvo::ui {

std::vector<platform::LibraryVersion> UsedLibraries() {
    std::vector<platform::LibraryVersion> out{{"Qt", "LGPL-3.0", qVersion()}};
    for (auto& l : platform::LinkedLibraries()) out.push_back(std::move(l));
    return out;
}

TInfo::TInfo(const std::string& version, bool privateBuild,
             std::vector<platform::LibraryVersion> libraries, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("TInfo"));
    setWindowTitle(tr("Info"));
    auto* layout = new QVBoxLayout(this);

    auto* name = new QLabel(QStringLiteral("Tarvo Terminal"));
    name->setObjectName(QStringLiteral("programm"));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    layout->addWidget(name);
    auto* versionLabel = NewPlainLabel(tr("Version %1").arg(Cp1252ToQString(version)));
    versionLabel->setObjectName(QStringLiteral("version"));
    layout->addWidget(versionLabel);
    layout->addWidget(NewPlainLabel(tr("Ein Terminal für Packet-Radio.")));
    if (privateBuild) {
        auto* notice = NewPlainLabel(tr("Nicht zur Weitergabe bestimmt"));
        notice->setObjectName(QStringLiteral("privat"));
        QFont bold = notice->font();
        bold.setBold(true);
        notice->setFont(bold);
        notice->setStyleSheet(QStringLiteral("color: red;"));
        layout->addWidget(notice);
    }

    layout->addSpacing(8);
    layout->addWidget(NewPlainLabel(tr("Verwendete Bibliotheken:")));
    libraries_ = new QTreeWidget;
    libraries_->setObjectName(QStringLiteral("bibliotheken"));
    libraries_->setRootIsDecorated(false);
    libraries_->setSelectionMode(QAbstractItemView::NoSelection);
    libraries_->setHeaderLabels({tr("Bibliothek"), tr("Version"), tr("Lizenz")});
    for (const auto& l : libraries) {
        auto* item = new QTreeWidgetItem(libraries_);
        item->setText(0, QString::fromStdString(l.name));
        item->setText(1, l.version.empty() ? tr("unbekannt") : QString::fromStdString(l.version));
        item->setText(2, QString::fromStdString(l.licence));
    }
    libraries_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(libraries_, 1);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    resize(440, 400);
}

}  // namespace tarvo::ui
