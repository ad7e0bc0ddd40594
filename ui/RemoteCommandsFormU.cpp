#include "ui/RemoteCommandsFormU.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/PlainTextU.h"

namespace tarvo::ui {

namespace {

QString Q(const std::string& cp1252) {
    return Cp1252ToQString(cp1252);
}

}  // namespace

TRemoteCommandsForm::TRemoteCommandsForm(std::shared_ptr<stations::TRemoteCommandManager> manager,
                                         bool stationMode, QWidget* parent)
    : TTabForm(parent), manager_(std::move(manager)), stationMode_(stationMode) {
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(
        stationMode_ ? tr("Freigaben gelten für das Rufzeichen, das die Gegenstation "
                          "angibt. Das ist keine Anmeldung: jede Station kann ein fremdes "
                          "Rufzeichen angeben. Grau: es gilt die allgemeine Einstellung.")
                     : tr("Fernsteuerbefehle, die verbundene Stationen benutzen dürfen. "
                          "Eine Freigabe gilt für jede Station, die sich verbindet; "
                          "Rufzeichen werden nicht geprüft."),
        this);
    note->setWordWrap(true);
    tree_ = new QTreeWidget(this);
    tree_->setRootIsDecorated(false);
    tree_->setHeaderLabels({tr("Befehl"), tr("Beschreibung")});
    tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    layout->addWidget(note);
    layout->addWidget(tree_, 1);
    const stations::TRemoteCommandList none;
    Fill(stations::PermissionRows(manager_.get(), stationMode_ ? &none : nullptr));
}

void TRemoteCommandsForm::Fill(const std::vector<stations::TRemotePermission>& rows) {
    rows_ = rows;
    tree_->clear();
    for (const auto& r : rows_) {
        auto* item = new QTreeWidgetItem(tree_, {Q(r.displayName), Q(r.help)});
        Qt::ItemFlags flags = item->flags() | Qt::ItemIsUserCheckable;
        if (stationMode_) flags |= Qt::ItemIsUserTristate;
        item->setFlags(flags);
        item->setCheckState(0, r.state == 1   ? Qt::Checked
                               : r.state == 0 ? Qt::Unchecked
                                              : Qt::PartiallyChecked);
        if (r.state >= 2)
            item->setToolTip(0,
                             r.state == 3 ? tr("Allgemein freigegeben") : tr("Allgemein gesperrt"));
    }
}

std::vector<stations::TRemotePermission> TRemoteCommandsForm::Rows() const {
    auto rows = rows_;
    for (int i = 0; i < tree_->topLevelItemCount() && i < static_cast<int>(rows.size()); ++i) {
        auto& r = rows[static_cast<std::size_t>(i)];
        const Qt::CheckState s = tree_->topLevelItem(i)->checkState(0);
        if (s == Qt::PartiallyChecked) {
            // Back to the global value: keeps 2 or 3 as it was shown.
            if (r.state < 2) r.state = 2;
        } else {
            r.state = s == Qt::Checked ? 1 : 0;
        }
    }
    return rows;
}

void TRemoteCommandsForm::Apply() {
    if (stationMode_ || !manager_) return;
    for (const auto& r : Rows()) manager_->SetEnabled("", r.keyword, r.state == 1);
}

void TRemoteCommandsForm::SetStation(const stations::TRemoteCommandList& station) {
    Fill(stations::PermissionRows(manager_.get(), &station));
}

stations::TRemoteCommandList TRemoteCommandsForm::Station() const {
    return stations::StationPermissions(Rows());
}

}  // namespace tarvo::ui
