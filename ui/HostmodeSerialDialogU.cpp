#include "ui/HostmodeSerialDialogU.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <string_view>
#include <utility>
#include <vector>

#include "core/GlobalU.h"
#include "platform/SerialPort.h"
#include "ui/GeraeteDialogU.h"
#include "ui/PlainTextU.h"
#include "ui/RichEditTarvoU.h"

namespace tarvo::ui {

namespace {

using devices::TGeraetHostmodeSerialParameter;

// A field's lines; CR LF, CR and LF all end one. An empty field has none.
std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines = core::TextLines(text);
    // A field that ends with a line end keeps its empty last line.
    if (!text.empty() && (text.back() == '\r' || text.back() == '\n')) lines.emplace_back();
    return lines;
}

QString JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return Cp1252ToQString(text);
}

QPlainTextEdit* NewCommandField(const std::vector<std::string>& lines, const QString& name) {
    auto* field = new QPlainTextEdit;
    field->setObjectName(name);
    field->setLineWrapMode(QPlainTextEdit::NoWrap);
    // A tab is no part of a TNC command.
    field->setTabChangesFocus(true);
    field->setPlainText(JoinLines(lines));
    return field;
}

}  // namespace

std::shared_ptr<const TGeraetHostmodeSerialParameter> NewHostmodeSerialParameter(
    const TGeraetHostmodeSerialParameter& shown, const THostmodeSerialFields& fields) {
    auto p = std::make_shared<TGeraetHostmodeSerialParameter>(shown);
    p->Schnittstelle = std::string(core::TrimControls(fields.schnittstelle));
    p->Anschluss = devices::AnschlussFromPath(p->Schnittstelle, shown.Anschluss);
    // Radio channel keys follow the port.
    p->Kennzahl = p->Anschluss;
    p->Baudrate =
        fields.baudrate > 0 ? fields.baudrate : TGeraetHostmodeSerialParameter::kDefaultBaudrate;
    p->InitBefehle = SplitLines(fields.init);
    p->DeinitBefehle = SplitLines(fields.deinit);
    return p;
}

THostmodeSerialDialog::THostmodeSerialDialog(devices::TGeraetHostmodeSerial& device,
                                             QWidget* parent)
    : QDialog(parent), device_(device), shown_(device.ShownParameter()) {
    setWindowTitle(tr("Hostmode - Eigenschaften"));

    anschluss_ = new QComboBox;
    anschluss_->setObjectName(QStringLiteral("anschluss"));
    anschluss_->setEditable(true);
    anschluss_->setInsertPolicy(QComboBox::NoInsert);
    anschluss_->setMinimumContentsLength(40);
    for (const platform::SerialDeviceInfo& info : platform::ListSerialDevices()) {
        // The by-id name survives re-plugging; the kernel name may not.
        const std::string& stored = info.stableName.empty() ? info.path : info.stableName;
        const QString text = QFile::decodeName(QByteArray::fromStdString(stored));
        anschluss_->addItem(text, text);
        if (!info.stableName.empty())
            anschluss_->setItemData(anschluss_->count() - 1,
                                    QFile::decodeName(QByteArray::fromStdString(info.path)),
                                    Qt::ToolTipRole);
    }
    // The stored port stays as it is, present now or not.
    const QString current = QFile::decodeName(QByteArray::fromStdString(shown_->PortPath()));
    int index = anschluss_->findData(current);
    if (index < 0) {
        anschluss_->insertItem(0, current, current);
        index = 0;
    }
    anschluss_->setCurrentIndex(index);

    baudrate_ = new QComboBox;
    baudrate_->setObjectName(QStringLiteral("baudrate"));
    for (const std::int32_t baud : devices::kHostmodeBaudrates)
        baudrate_->addItem(QString::number(baud), baud);
    baudrate_->setCurrentIndex(baudrate_->findData(shown_->Baudrate));

    init_ = NewCommandField(shown_->InitBefehle, QStringLiteral("init"));
    deinit_ = NewCommandField(shown_->DeinitBefehle, QStringLiteral("deinit"));

    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(tr("&Anschluss"), anschluss_);
    form->addRow(tr("&Baudrate"), baudrate_);
    form->addRow(tr("&Initialisierung"), init_);
    form->addRow(tr("&Deinitialisierung"), deinit_);
    auto* tabs = new QTabWidget;
    tabs->addTab(page, QStringLiteral("Hostmode"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &THostmodeSerialDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &THostmodeSerialDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addWidget(buttons);

    connect(anschluss_, &QComboBox::editTextChanged, this, [this] { UpdateOk(); });
    UpdateOk();
}

THostmodeSerialFields THostmodeSerialDialog::Fields() const {
    THostmodeSerialFields f;
    f.schnittstelle = QFile::encodeName(anschluss_->currentText()).toStdString();
    f.baudrate = baudrate_->currentIndex() >= 0 ? baudrate_->currentData().toInt() : 0;
    f.init = QStringToCp1252(init_->toPlainText());
    f.deinit = QStringToCp1252(deinit_->toPlainText());
    return f;
}

void THostmodeSerialDialog::UpdateOk() {
    ok_->setEnabled(!core::TrimControls(Fields().schnittstelle).empty());
}

void THostmodeSerialDialog::accept() {
    const THostmodeSerialFields fields = Fields();
    // accept() can be reached without the button.
    if (core::TrimControls(fields.schnittstelle).empty()) return;
    device_.SetNeueParameter(NewHostmodeSerialParameter(*shown_, fields));
    QDialog::accept();
}

int ShowHostmodeSerialProperties(devices::TGeraetHostmodeSerial& device, QWidget* owner) {
    int result = QDialog::Rejected;
    {
        THostmodeSerialDialog dlg(device, owner);
        result = dlg.exec();
    }
    device.UpdateInfo();
    return result;
}

void RegisterHostmodeSerialProperties() {
    RegisterDeviceProperties(
        devices::TGeraetHostmodeSerial::kClassName, [](devices::TGeraet& geraet, QWidget* owner) {
            auto* device = dynamic_cast<devices::TGeraetHostmodeSerial*>(&geraet);
            if (!device) return static_cast<int>(QDialog::Rejected);
            return ShowHostmodeSerialProperties(*device, owner);
        });
}

}  // namespace tarvo::ui
