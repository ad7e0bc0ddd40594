#include "ui/GeraeteStatusU.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <optional>
#include <utility>

#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/PublisherU.h"
#include "core/StartupU.h"
#include "devices/GeraeteU.h"
#include "platform/Registry.h"
#include "ui/PlainTextU.h"

namespace tarvo::ui {

namespace {

using platform::Hive;

enum Column : int { kColGeraet = 0, kColParameter = 1, kColStatus = 2 };

std::optional<std::pair<int, int>> StoredCorner(const core::TConfig* config) {
    if (!config) return std::nullopt;
    try {
        return std::pair{config->ReadInteger(Hive::CurrentUser, TGeraeteStatus::kKey, "X"),
                         config->ReadInteger(Hive::CurrentUser, TGeraeteStatus::kKey, "Y")};
    } catch (const std::exception&) {
        return std::nullopt;  // missing or not a number: centred
    }
}

}  // namespace

TGeraeteStatus::TGeraeteStatus(devices::TGeraete& geraete, core::TConfig* config, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), geraete_(&geraete), config_(config) {
    setObjectName(QStringLiteral("TGeraeteStatus"));
    setWindowTitle(tr("Tarvo - Gerätestatus"));
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFocusPolicy(Qt::NoFocus);
    list_->setHeaderLabels({tr("Gerät"), tr("Parameter"), tr("Status")});
    list_->header()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);
    resize(460, 160);

    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const core::TRect r =
        core::PlaceToolWindow(StoredCorner(config_), width(), height(),
                              core::TRect{area.x(), area.y(), area.width(), area.height()});
    move(r.left, r.top);
    subscriber_ = core::TSubscriberAdapter::For(this, &TGeraeteStatus::OnNotify);
}

TGeraeteStatus::~TGeraeteStatus() {
    Unsubscribe();
    subscriber_->Detach();
    if (!config_) return;
    try {
        config_->WriteInteger(Hive::CurrentUser, kKey, "X", pos().x());
        config_->WriteInteger(Hive::CurrentUser, kKey, "Y", pos().y());
    } catch (const std::exception& e) {
        core::DebOutObj("TGeraeteStatus", "Destroy", e.what());
    }
}

void TGeraeteStatus::Detach() {
    Unsubscribe();
    subscriber_->Detach();
    geraete_ = nullptr;
    list_->clear();
}

void TGeraeteStatus::Unsubscribe() {
    if (!subscribed_) return;
    subscribed_ = false;
    if (geraete_) geraete_->Unsubscribe(subscriber_);
}

void TGeraeteStatus::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Only the height may change from now on.
    setFixedWidth(width());
    Fill();
    if (geraete_ && !subscribed_) {
        geraete_->Subscribe(subscriber_);
        subscribed_ = true;
    }
    emit visibilityChanged(true);
}

void TGeraeteStatus::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    Unsubscribe();
    emit visibilityChanged(false);
}

void TGeraeteStatus::Fill() {
    list_->clear();
    if (!geraete_) return;
    for (const auto& device : geraete_->Items()) {
        auto* item = new QTreeWidgetItem(list_);
        if (!device) continue;
        item->setText(kColGeraet, Cp1252ToQString(device->GetBezeichnung()));
        item->setText(kColParameter, Cp1252ToQString(device->InfoText()));
        item->setText(kColStatus, Cp1252ToQString(device->StatusText()));
    }
}

void TGeraeteStatus::OnNotify(const void* sender) {
    // The set tells on the main thread: null when its list changed.
    if (!geraete_) return;
    if (!sender) {
        Fill();
        return;
    }
    if (list_->topLevelItemCount() == 0) return;
    const auto items = geraete_->Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].get() != sender) continue;
        QTreeWidgetItem* row = list_->topLevelItem(static_cast<int>(i));
        if (!row) return;
        row->setText(kColParameter, Cp1252ToQString(items[i]->InfoText()));
        row->setText(kColStatus, Cp1252ToQString(items[i]->StatusText()));
        return;
    }
}

}  // namespace tarvo::ui
