#include "ui/GeraeteDialogU.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "core/MessageWindowU.h"
#include "core/PublisherU.h"
#include "core/TrU.h"
#include "ui/MessageboxU.h"
#include "ui/PlainTextU.h"
#include "ui/RichEditTarvoU.h"

namespace tarvo::ui {

namespace {

enum Column { kColGeraet = 0, kColParameter = 1, kColStatus = 2 };

bool EqualNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::mutex propertiesMutex;
std::vector<std::pair<std::string, TDeviceProperties>>& PropertiesList() {
    static std::vector<std::pair<std::string, TDeviceProperties>> list;
    return list;
}

// "Gerät hinzufügen": the registered kinds, the first selected. The kind's
// index, or -1.
int ChooseKind(QWidget* owner, const std::vector<devices::TGeraetKind>& kinds) {
    QDialog dlg(owner);
    dlg.setWindowTitle(QCoreApplication::translate("TGeraeteListe", "Gerät hinzufügen"));
    auto* list = new QListWidget(&dlg);
    list->setObjectName(QStringLiteral("kinds"));
    for (const auto& kind : kinds) list->addItem(Cp1252ToQString(kind.bezeichnung));
    if (list->count() > 0) list->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(&dlg);
    QPushButton* add = buttons->addButton(
        QCoreApplication::translate("TGeraeteListe", "&Hinzufügen"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QCoreApplication::translate("TGeraeteListe", "Abbrechen"),
                       QDialogButtonBox::RejectRole);
    add->setDefault(true);
    add->setEnabled(list->count() > 0);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dlg, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dlg);
    layout->addWidget(list);
    layout->addWidget(buttons);
    if (dlg.exec() != QDialog::Accepted) return -1;
    return list->currentRow();
}

}  // namespace

void RegisterDeviceProperties(std::string className, TDeviceProperties properties) {
    std::lock_guard lock(propertiesMutex);
    auto& list = PropertiesList();
    std::erase_if(list, [&](const auto& e) { return EqualNoCase(e.first, className); });
    list.emplace_back(std::move(className), std::move(properties));
}

TDeviceProperties FindDeviceProperties(std::string_view className) {
    std::lock_guard lock(propertiesMutex);
    for (const auto& [name, fn] : PropertiesList())
        if (EqualNoCase(name, className)) return fn;
    return nullptr;
}

TGeraeteListe::TGeraeteListe(devices::TGeraete& geraete, QWidget* parent, TAsk ask)
    : QWidget(parent), geraete_(geraete), ask_(std::move(ask)), edit_(geraete) {
    list_ = new QTreeWidget;
    list_->setObjectName(QStringLiteral("geraete"));
    list_->setColumnCount(3);
    list_->setHeaderLabels({tr("Gerät"), tr("Parameter"), tr("Status")});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setAllColumnsShowFocus(true);
    list_->installEventFilter(this);

    add_ = new QPushButton(tr("&Hinzufügen"));
    remove_ = new QPushButton(tr("Ent&fernen"));
    up_ = new QToolButton;
    up_->setArrowType(Qt::UpArrow);
    up_->setObjectName(QStringLiteral("up"));
    up_->setToolTip(tr("Nach oben (Strg+Hoch)"));
    down_ = new QToolButton;
    down_->setArrowType(Qt::DownArrow);
    down_->setObjectName(QStringLiteral("down"));
    down_->setToolTip(tr("Nach unten (Strg+Runter)"));
    properties_ = new QPushButton(tr("&Eigenschaften"));

    auto* side = new QVBoxLayout;
    side->addWidget(add_);
    side->addWidget(remove_);
    side->addStretch();
    side->addWidget(up_, 0, Qt::AlignHCenter);
    side->addWidget(down_, 0, Qt::AlignHCenter);
    side->addStretch();
    side->addWidget(properties_);

    auto* group = new QGroupBox(tr("Gerätetreiber"));
    auto* inGroup = new QHBoxLayout(group);
    inGroup->addWidget(list_, 1);
    inGroup->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);

    connect(add_, &QPushButton::clicked, this, &TGeraeteListe::Hinzufuegen);
    connect(remove_, &QPushButton::clicked, this, &TGeraeteListe::Entfernen);
    connect(up_, &QToolButton::clicked, this, [this] { Verschieben(-1); });
    connect(down_, &QToolButton::clicked, this, [this] { Verschieben(1); });
    connect(properties_, &QPushButton::clicked, this, &TGeraeteListe::Eigenschaften);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { Eigenschaften(); });
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });

    Fill(edit_.Count() > 0 ? 0 : -1);
    // Status changes arrive on the main thread (the set's handler runs there).
    subscriber_ = core::TSubscriberAdapter::For(this, &TGeraeteListe::OnNotify);
    geraete_.Subscribe(subscriber_);
}

TGeraeteListe::~TGeraeteListe() {
    if (!detached_) geraete_.Unsubscribe(subscriber_);
    subscriber_->Detach();
}

void TGeraeteListe::Detach() {
    if (detached_) return;
    detached_ = true;
    geraete_.Unsubscribe(subscriber_);
    subscriber_->Detach();
    edit_.Discard();
    list_->clear();
    UpdateButtons();
}

void TGeraeteListe::Apply() {
    if (detached_) return;
    edit_.Apply(geraete_);
    Fill(Selected());
}

void TGeraeteListe::Discard() {
    if (detached_) return;
    edit_.Discard();
    list_->clear();
    UpdateButtons();
}

int TGeraeteListe::Ask(const std::string& title, const std::string& text, unsigned buttons) {
    return ask_ ? ask_(this, title, text, buttons) : TDlgMessage::Run(this, title, text, buttons);
}

int TGeraeteListe::Selected() const {
    QTreeWidgetItem* item = list_->currentItem();
    return item ? list_->indexOfTopLevelItem(item) : -1;
}

void TGeraeteListe::Fill(int select) {
    list_->clear();
    for (const auto& device : edit_.Order()) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(kColGeraet, Cp1252ToQString(device->GetBezeichnung()));
        item->setText(kColParameter, Cp1252ToQString(device->InfoText()));
        item->setText(kColStatus, Cp1252ToQString(device->StatusText()));
    }
    if (select >= 0 && select < list_->topLevelItemCount())
        list_->setCurrentItem(list_->topLevelItem(select));
    UpdateButtons();
}

void TGeraeteListe::Refresh(const devices::TGeraet* device) {
    const auto& order = edit_.Order();
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (device && order[i].get() != device) continue;
        QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(i));
        if (!item) continue;
        item->setText(kColParameter, Cp1252ToQString(order[i]->InfoText()));
        item->setText(kColStatus, Cp1252ToQString(order[i]->StatusText()));
    }
}

void TGeraeteListe::OnNotify(const void* sender) {
    // Null: the set's list changed; our rows follow the copy, so only the cells.
    Refresh(static_cast<const devices::TGeraet*>(sender));
}

void TGeraeteListe::UpdateButtons() {
    const int i = Selected();
    add_->setEnabled(!detached_);
    remove_->setEnabled(i >= 0);
    properties_->setEnabled(i >= 0);
    up_->setEnabled(devices::MoveTarget(i, -1, edit_.Count()) >= 0);
    down_->setEnabled(devices::MoveTarget(i, 1, edit_.Count()) >= 0);
}

void TGeraeteListe::Hinzufuegen() {
    if (detached_) return;
    if (!edit_.CanAdd()) {
        Ask(QStringToCp1252(tr("Hinzufügen")), core::Tr("TGeraete", devices::kZuVieleGeraete),
            1u << core::kBitOk);
        return;
    }
    const std::vector<devices::TGeraetKind> kinds = devices::RegisteredKinds();
    const int chosen = ChooseKind(this, kinds);
    if (detached_ || chosen < 0 || chosen >= static_cast<int>(kinds.size())) return;
    const int index = edit_.Add(geraete_.CreateGeraet(kinds[static_cast<std::size_t>(chosen)]));
    Fill(index >= 0 ? index : Selected());
}

void TGeraeteListe::Entfernen() {
    const int i = Selected();
    if (i < 0) return;
    if (Ask(QStringToCp1252(tr("Entfernen")), QStringToCp1252(tr("Gerät wirklich entfernen?")),
            (1u << core::kBitJa) | (1u << core::kBitNein)) != core::mrYes)
        return;
    // The set may have gone while the question was open.
    if (detached_ || i >= edit_.Count()) return;
    Fill(edit_.Remove(i));
}

void TGeraeteListe::Verschieben(int delta) {
    const int i = Selected();
    const int target = edit_.Move(i, delta);
    if (target != i) Fill(target);
}

void TGeraeteListe::Eigenschaften() {
    const int i = Selected();
    if (detached_ || i < 0) return;
    const std::shared_ptr<devices::TGeraet> device = edit_.Order()[static_cast<std::size_t>(i)];
    const TDeviceProperties properties = FindDeviceProperties(device->ClassName());
    if (!properties) {
        Ask(QStringToCp1252(tr("Eigenschaften")),
            QStringToCp1252(tr("Für dieses Gerät gibt es noch keine Einstellungen.")),
            1u << core::kBitOk);
        return;
    }
    properties(*device, this);
    if (!detached_) Refresh(device.get());
}

bool TGeraeteListe::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::ControlModifier &&
            (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            Verschieben(key->key() == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- the dialog -------------------------------------------------------------------

TGeraeteDialog::TGeraeteDialog(devices::TGeraete& geraete, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Geräte"));
    liste_ = new TGeraeteListe(geraete, this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TGeraeteDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TGeraeteDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(liste_, 1);
    layout->addWidget(buttons);
    resize(560, 320);
}

TGeraeteDialog::~TGeraeteDialog() = default;

void TGeraeteDialog::Detach() {
    if (liste_->Detached()) return;
    liste_->Detach();
    QDialog::reject();
}

void TGeraeteDialog::accept() {
    if (liste_->Detached()) return;
    liste_->Apply();
    QDialog::accept();
}

void TGeraeteDialog::reject() {
    liste_->Discard();
    QDialog::reject();
}

}  // namespace tarvo::ui
