#include "ui/ErsteSchritteU.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ConfigU.h"

namespace tarvo::ui {

TErsteSchritte::TErsteSchritte(core::TConfig* config, QWidget* parent)
    : QDialog(parent), config_(config) {
    setObjectName(QStringLiteral("TErsteSchritte"));
    setWindowTitle(tr("Erste Schritte"));
    setModal(false);

    const QString steps[][2] = {
        {tr("Eigenes Rufzeichen"),
         tr("Tragen Sie unter Extras, Einstellungen, Seite „Allgemein“ Ihr Rufzeichen ein und "
            "wählen Sie die SSIDs, unter denen Tarvo erscheinen darf.")},
        {tr("Ein Gerät"),
         tr("Richten Sie auf der Seite „Geräte“ Ihren TNC im Hostmode (an einer seriellen "
            "Schnittstelle), eine AGWPE-Schnittstelle oder FlexNet ein. Ansicht, Gerätestatus "
            "zeigt, ob das Gerät bereit ist.")},
        {tr("Verbinden"),
         tr("Wählen Sie mit F1 bis F10 einen Kanal und dann Verbindung, Verbinden... (oder "
            "Esc und C). Geben Sie das Rufzeichen der Gegenstation ein, bei Bedarf mit den "
            "Digipeatern dahinter, und wählen Sie den Funkkanal.")},
        {tr("Eine Datei senden"),
         tr("Auf einem verbundenen Kanal wählt Datei, Senden die Dateien aus; Sie können sie "
            "auch auf das Fenster ziehen. Abbrechen beendet eine laufende Übertragung.")},
        {tr("Das Handbuch"),
         tr("Hilfe, Inhalt... öffnet das Handbuch im Browser. Dieses Fenster finden Sie "
            "jederzeit unter Hilfe, Erste Schritte...")},
    };
    QString html =
        QStringLiteral("<p>%1</p><ol>")
            .arg(tr("Willkommen bei Tarvo. So kommen Sie zur ersten Verbindung:").toHtmlEscaped());
    for (const auto& step : steps)
        html += QStringLiteral("<li><b>%1</b><br>%2</li>")
                    .arg(step[0].toHtmlEscaped(), step[1].toHtmlEscaped());
    html += QStringLiteral("</ol>");
    auto* text = new QLabel(html);
    text->setObjectName(QStringLiteral("anleitung"));
    text->setTextFormat(Qt::RichText);
    text->setWordWrap(true);

    nichtMehr_ = new QCheckBox(tr("Nicht mehr anzeigen"));
    nichtMehr_->setChecked(config_ && !config_->FirstStepsDue());
    nichtMehr_->setEnabled(config_ != nullptr);
    connect(nichtMehr_, &QCheckBox::toggled, this, [this](bool checked) {
        if (config_) config_->SetFirstStepsDue(!checked);
    });

    auto* buttons = new QDialogButtonBox;
    QPushButton* manual = buttons->addButton(tr("&Handbuch"), QDialogButtonBox::HelpRole);
    QPushButton* close = buttons->addButton(tr("&Schließen"), QDialogButtonBox::RejectRole);
    close->setDefault(true);
    connect(manual, &QPushButton::clicked, this, &TErsteSchritte::manualRequested);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text, 1);
    layout->addWidget(nichtMehr_);
    layout->addWidget(buttons);
    setMinimumWidth(460);
}

}  // namespace tarvo::ui
