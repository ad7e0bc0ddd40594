#include "ui/UnhandledExceptionU.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/PlainTextU.h"

namespace tarvo::ui {

namespace {

constexpr int kTextWidth = 520;
constexpr int kMaxReportHeight = 300;
constexpr int kIgnore = 1;
constexpr int kQuit = 2;

}  // namespace

TDlgUnhandledException::TDlgUnhandledException(QWidget* owner) : QDialog(owner) {
    setWindowTitle(tr("Uuups..."));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    layout->addWidget(NewPlainLabel(tr("Folgender Fehler ist aufgetreten:"), this));
    reportSlot_ = new QVBoxLayout;
    reportSlot_->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(reportSlot_);

    QLabel* advice =
        NewPlainLabel(tr("Dieser Fehler kann sich negativ auf den weiteren Ablauf von Tarvo "
                         "auswirken. Es wird daher empfohlen, Tarvo möglichst bald zu beenden "
                         "und neu zu starten."),
                      this);
    advice->setWordWrap(true);
    advice->setFixedWidth(kTextWidth);
    layout->addWidget(advice);

    auto* row = new QHBoxLayout;
    auto* ignore = new QPushButton(tr("Fehler &ignorieren"), this);
    ignore->setObjectName(QStringLiteral("ignore"));
    auto* quit = new QPushButton(tr("Tarvo &beenden"), this);
    quit->setObjectName(QStringLiteral("quit"));
    auto* copy = new QPushButton(tr("Fehlermeldung in die Zwischenablage &kopieren"), this);
    copy->setObjectName(QStringLiteral("copy"));
    row->addStretch();
    row->addWidget(ignore);
    row->addWidget(quit);
    row->addWidget(copy);
    row->addStretch();
    layout->addLayout(row);

    // Going on is the harmless answer, so Enter means it too.
    ignore->setDefault(true);
    ignore->setFocus();
    connect(ignore, &QPushButton::clicked, this, [this] { done(kIgnore); });
    connect(quit, &QPushButton::clicked, this, [this] { done(kQuit); });
    connect(copy, &QPushButton::clicked, this, [this] { CopyReport(); });
}

core::ExceptionChoice TDlgUnhandledException::Show(const std::string& headline,
                                                   const std::string& message) {
    // A further exception while the report is open gets a window of its own.
    if (running_) {
        TDlgUnhandledException nested(this);
        return nested.Show(headline, message);
    }
    headline_ = headline;
    message_ = message;
    delete report_;
    report_ = NewPlainTextBox(
        Cp1252ToShownText(headline) + QLatin1Char('\n') + Cp1252ToShownText(message), kTextWidth,
        kMaxReportHeight, this);
    reportSlot_->addWidget(report_);

    running_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{running_};
    return exec() == kQuit ? core::ExceptionChoice::Quit : core::ExceptionChoice::Ignore;
}

void TDlgUnhandledException::reject() {
    done(kIgnore);
}

void TDlgUnhandledException::CopyReport() {
    QGuiApplication::clipboard()->setText(
        Cp1252ToQString(core::ExceptionClipboardText(headline_, message_)));
}

}  // namespace tarvo::ui
