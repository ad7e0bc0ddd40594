#include "ui/KanalViewU.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QStackedWidget>
#include <QToolBar>

#include "ui/ConsoleWidgetU.h"
#include "ui/PlainTextU.h"

namespace tarvo::ui {

namespace {

// Button images: 0 idle, 1 connected (or read), 2 something unread. The
// channel number is drawn into the image, since idle buttons have no caption.
QIcon ButtonIcon(int image, int number) {
    static const QColor colours[] = {QColor(150, 150, 150), QColor(0, 140, 0), QColor(200, 0, 0)};
    const int i = image >= 0 && image < 3 ? image : 0;
    QPixmap pm(22, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colours[i].darker(140));
    p.setBrush(colours[i]);
    p.drawRoundedRect(QRectF(0.5, 0.5, 21, 15), 3, 3);
    if (number > 0) {
        QFont f = p.font();
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, 22, 16), Qt::AlignCenter, QString::number(number));
    }
    return QIcon(pm);
}

// "short|long": the tool tip shows the short part, its line ends as line breaks.
QString HintText(const std::string& hint) {
    const std::string shortHint = hint.substr(0, hint.find('|'));
    QString text = Cp1252ToQString(shortHint);
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace

TKanaeleView::TKanaeleView(TKanalPanes panes, std::function<void(int)> select)
    : panes_(std::move(panes)), select_(std::move(select)) {}

std::unique_ptr<channels::IKanalView> TKanaeleView::CreateKanalView(channels::TKanal& kanal) {
    // The monitor's button comes first; every later one goes before it, so the
    // toolbar reads 1, 2, ..., N, Monitor.
    auto view = std::make_unique<TKanalView>(kanal, panes_, monitorButton_, select_);
    if (kanal.GetNummer() == 0) monitorButton_ = view->Button();
    return view;
}

void TKanaeleView::BeginToolbarUpdate() {
    if (panes_.channelBar) panes_.channelBar->setUpdatesEnabled(false);
}

void TKanaeleView::EndToolbarUpdate() {
    if (panes_.channelBar) panes_.channelBar->setUpdatesEnabled(true);
}

void TKanaeleView::RefreshToolbar() {
    if (panes_.channelBar) panes_.channelBar->update();
}

void TKanaeleView::SetConnectionCommandsEnabled(bool enabled) {
    commandsEnabled_ = enabled;
}

TKanalView::TKanalView(channels::TKanal& kanal, const TKanalPanes& panes, QAction* before,
                       const std::function<void(int)>& select)
    : number_(kanal.GetNummer()), panes_(panes) {
    QStackedWidget* home = number_ == 0 ? panes_.monitorPane : panes_.outputPane;
    console_ = new TConsoleWidget(kanal.Console(), home);
    console_->setObjectName(QStringLiteral("Console%1").arg(number_, 2, 10, QLatin1Char('0')));
    console_->setFocusPolicy(number_ > 0 ? Qt::StrongFocus : Qt::ClickFocus);
    if (home) {
        home->addWidget(console_);
        if (number_ == 0) home->setCurrentWidget(console_);
    }

    button_ = new QAction(panes_.channelBar);
    button_->setObjectName(QStringLiteral("ChannelButton%1").arg(number_, 2, 10, QLatin1Char('0')));
    button_->setCheckable(true);
    button_->setIcon(ButtonIcon(0, number_));
    const int n = number_;
    QObject::connect(button_, &QAction::triggered, button_, [select, n, this](bool checked) {
        // The channel set decides; the check mark follows its answer.
        if (button_) button_->setChecked(!checked);
        if (select) select(n);
    });
    if (panes_.channelBar) {
        if (before) {
            panes_.channelBar->insertAction(before, button_);
        } else {
            panes_.channelBar->addAction(button_);
        }
    }
}

TKanalView::~TKanalView() {
    delete button_.data();
    delete console_.data();
}

void TKanalView::SetStatusPanel(int panel, const std::string& text) {
    if (panel < 0 || static_cast<std::size_t>(panel) >= panes_.statusPanels.size()) return;
    if (QLabel* l = panes_.statusPanels[static_cast<std::size_t>(panel)])
        l->setText(Cp1252ToQString(text));
}

void TKanalView::SetButtonCaption(const std::string& text) {
    if (button_) button_->setText(Cp1252ToQString(text));
}

void TKanalView::SetButtonHint(const std::string& text) {
    if (button_) button_->setToolTip(HintText(text));
}

void TKanalView::SetButtonImage(int image) {
    if (button_) button_->setIcon(ButtonIcon(image, number_));
}

void TKanalView::SetButtonChecked(bool checked) {
    if (button_) button_->setChecked(checked);
}

void TKanalView::ShowChannel(bool active) {
    if (!console_) return;
    if (number_ == 0) {
        // The monitor's console moves into the output pane while it is selected.
        QStackedWidget* to = active ? panes_.outputPane : panes_.monitorPane;
        if (to && console_->parentWidget() != to) {
            if (auto* from = qobject_cast<QStackedWidget*>(console_->parentWidget()))
                from->removeWidget(console_);
            to->addWidget(console_);
        }
        if (to) to->setCurrentWidget(console_);
        console_->setFocusPolicy(active ? Qt::StrongFocus : Qt::ClickFocus);
        if (!active) console_->Console().ScrollToEnd();
        console_->show();
        return;
    }
    if (active && panes_.outputPane) panes_.outputPane->setCurrentWidget(console_);
}

void TKanalView::SetProgress(bool visible, int value, const std::string& label) {
    if (panes_.progress) {
        panes_.progress->setVisible(visible);
        panes_.progress->setValue(value);
    }
    if (panes_.progressLabel) {
        panes_.progressLabel->setVisible(visible);
        panes_.progressLabel->setText(Cp1252ToQString(label));
    }
}

// The commands these reach come with the main window's menus.
void TKanalView::SetStopImage(int) {}
void TKanalView::UpdateEditCommands() {}
void TKanalView::SetMenuChecks(bool, bool, bool) {}
void TKanalView::ApplyInputColours(std::uint32_t, std::uint32_t, std::uint32_t) {}

void TKanalView::FocusInput() {
    if (console_ && console_->isVisible()) console_->setFocus();
}

void TKanalView::FlashMainWindow() {
    if (panes_.window) QApplication::alert(panes_.window);
}

void TKanalView::ApplyFont(const core::TFontSpec& font) {
    if (console_) console_->SetConsoleFont(font.sizeName);
}

void TKanalView::Beep() {
    QApplication::beep();
}

}  // namespace tarvo::ui
