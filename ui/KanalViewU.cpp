#include "ui/KanalViewU.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolTip>

#include "core/DebOutU.h"
#include "ui/ConsoleWidgetU.h"
#include "ui/HauptPanesU.h"
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

QColor FromBgr(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

constexpr int kButtonHintMaxWidth = 640;
constexpr int kButtonHintGap = 3;

// Keys go to the channel's KeyDown before the console or the editor sees them.
class TKeyFilter final : public QObject {
  public:
    TKeyFilter(std::function<bool(QKeyEvent&)> onKey, QObject* parent)
        : QObject(parent), onKey_(std::move(onKey)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) return onKey_(*static_cast<QKeyEvent*>(e));
        return QObject::eventFilter(watched, e);
    }

  private:
    std::function<bool(QKeyEvent&)> onKey_;
};

// The button hint window: it goes with the next key, click or deactivation.
class THintWindow final : public QLabel {
  public:
    explicit THintWindow(QWidget* parent) : QLabel(parent, Qt::ToolTip) {
        setTextFormat(Qt::PlainText);
        setWordWrap(true);
        setMaximumWidth(kButtonHintMaxWidth);
        setPalette(QToolTip::palette());
        setFont(QToolTip::font());
        setAutoFillBackground(true);
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setMargin(2);
    }
    void ShowAt(const QString& text, const QPoint& globalPos) {
        setText(text);
        adjustSize();
        move(globalPos);
        show();
        qApp->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (e->type()) {
            case QEvent::KeyPress:
            case QEvent::MouseButtonPress:
            case QEvent::ApplicationDeactivate:
                hide();
                break;
            default:
                break;
        }
        return QLabel::eventFilter(watched, e);
    }
    void hideEvent(QHideEvent* e) override {
        qApp->removeEventFilter(this);
        QLabel::hideEvent(e);
    }
};

// "Text (*.txt)|*.txt|..." as Qt's name filters.
QStringList NameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        if (!name.contains(parts[i + 1])) name += QStringLiteral(" (%1)").arg(parts[i + 1]);
        out << name;
    }
    return out;
}

// A text the channel marked for translation.
QString Shown(const char* source) {
    return QCoreApplication::translate("TKanal", source);
}

QString FileNameText(const std::filesystem::path& p) {
    return QFile::decodeName(QByteArray::fromStdString(p.string()));
}

std::filesystem::path PathOf(const QString& name) {
    return std::filesystem::path(QFile::encodeName(name).toStdString());
}

}  // namespace

bool PrintConsoleRows(QPrinter& printer, const channels::TConsole& console, int first, int last,
                      bool showDos) {
    QPainter p;
    if (!p.begin(&printer)) return false;
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(9);
    p.setFont(font);
    p.setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics fm = p.fontMetrics();
    const int lineHeight = fm.boundingRect(QStringLiteral("Mg")).height();
    const channels::TPrintLayout layout = channels::PrintLayout(
        printer.height(), printer.logicalDpiX(), printer.logicalDpiY(), std::max(1, lineHeight));
    const int pages = channels::PrintPages(first, last, layout.linesPerPage);
    std::vector<channels::TColourRun> runs;
    int row = first;
    for (int page = 0; page < pages; ++page) {
        if (page > 0) printer.newPage();
        int y = layout.top;
        for (int n = 0; n < layout.linesPerPage && row <= last; ++n, ++row) {
            const channels::TConsoleLine line = console.GetLine(row);
            console.ColourRuns(row, runs);
            int x = layout.left;
            for (const channels::TColourRun& run : runs) {
                const QString text =
                    ConsoleDisplayText(line.chars.substr(static_cast<std::size_t>(run.first),
                                                         static_cast<std::size_t>(run.count)),
                                       showDos);
                const channels::TRgb c = channels::PrintColour(run.colour);
                p.setPen(QColor(c.r, c.g, c.b));
                p.drawText(x, y + fm.ascent(), text);
                x += fm.horizontalAdvance(text);
            }
            y += lineHeight;
        }
    }
    return p.end();
}

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
    if (panes_.setConnectionCommandsEnabled) panes_.setConnectionCommandsEnabled(enabled);
}

TKanalView::TKanalView(channels::TKanal& kanal, const TKanalPanes& panes, QAction* before,
                       const std::function<void(int)>& select)
    : kanal_(kanal), number_(kanal.GetNummer()), panes_(panes) {
    QStackedWidget* home = number_ == 0 ? panes_.monitorPane : panes_.outputPane;
    console_ = new TConsoleWidget(kanal.Console(), home);
    console_->setObjectName(QStringLiteral("Console%1").arg(number_, 2, 10, QLatin1Char('0')));
    console_->setFocusPolicy(number_ > 0 ? Qt::StrongFocus : Qt::ClickFocus);
    if (home) {
        home->addWidget(console_);
        if (number_ == 0) home->setCurrentWidget(console_);
    }

    editor_ = new TRichEditTarvo(panes_.inputPane);
    editor_->setObjectName(QStringLiteral("Eingabe%1").arg(number_, 2, 10, QLatin1Char('0')));
    if (panes_.inputPane) {
        panes_.inputPane->addWidget(editor_);
    } else {
        editor_->hide();
    }

    channels::TKanal* k = &kanal;
    QObject::connect(editor_, &TRichEditTarvo::SendText, editor_,
                     [k](const QString& text) { k->SendInput(QStringToCp1252(text)); });
    QObject::connect(editor_, &TRichEditTarvo::ContextPopup, editor_,
                     [this](const QPoint& at) { ShowContextMenu(false, at); });
    QObject::connect(console_, &TConsoleWidget::ContextPopup, console_,
                     [this](const QPoint& at, int, int) { ShowContextMenu(true, at); });
    QObject::connect(console_, &TConsoleWidget::GutterClicked, console_,
                     [k](int row) { k->GutterClick(row); });
    console_->SetOnHint([k](int kind, int row, int col) { return k->ConsoleHint(kind, row, col); });
    auto* filter = new TKeyFilter([this](QKeyEvent& e) { return KeyPress(e); }, editor_);
    keyFilter_ = filter;
    console_->installEventFilter(filter);
    editor_->installEventFilter(filter);

    button_ = new QAction(panes_.channelBar);
    button_->setObjectName(QStringLiteral("ChannelButton%1").arg(number_, 2, 10, QLatin1Char('0')));
    button_->setCheckable(true);
    button_->setData(number_);
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
    delete hintWindow_.data();
    delete button_.data();
    delete console_.data();
    delete editor_.data();
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
    if (active && panes_.inputPane && editor_) panes_.inputPane->setCurrentWidget(editor_);
    if (!active) HideButtonHint();
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
    // The bar covers the link state while a file goes.
    if (!panes_.statusPanels.empty() && panes_.statusPanels[0])
        panes_.statusPanels[0]->setVisible(!visible);
    if (panes_.progress) {
        panes_.progress->setVisible(visible);
        panes_.progress->setValue(value);
    }
    if (panes_.progressLabel) {
        panes_.progressLabel->setVisible(visible);
        panes_.progressLabel->setText(Cp1252ToQString(label));
    }
}

void TKanalView::SetStopImage(int image) {
    if (panes_.setStopImage) panes_.setStopImage(image);
}

void TKanalView::UpdateEditCommands() {
    if (panes_.updateEditCommands) panes_.updateEditCommands();
}

void TKanalView::SetMenuChecks(bool saving, bool showDos, bool sendDos) {
    if (panes_.setMenuChecks) panes_.setMenuChecks(saving, showDos, sendDos);
}

void TKanalView::ApplyInputColours(std::uint32_t background, std::uint32_t unsent,
                                   std::uint32_t sent) {
    if (!editor_) return;
    const QColor b = FromBgr(background), n = FromBgr(unsent), s = FromBgr(sent);
    QPalette pal = editor_->palette();
    if (pal.color(QPalette::Active, QPalette::Base) != b) {
        pal.setColor(QPalette::Base, b);
        editor_->setPalette(pal);
    }
    if (editor_->ColorNewText() != n) editor_->SetColorNewText(n);
    if (editor_->ColorSentText() != s) editor_->SetColorSentText(s);
}

void TKanalView::FocusInput() {
    if (editor_) editor_->setFocus();
}

void TKanalView::FocusConsole() {
    if (console_) console_->setFocus();
}

channels::TKanalFocus TKanalView::FocusedControl() const {
    if (editor_ && editor_->hasFocus()) return channels::TKanalFocus::Input;
    if (console_ && console_->hasFocus()) return channels::TKanalFocus::Console;
    return channels::TKanalFocus::Other;
}

void TKanalView::InputCaretToEnd() {
    if (editor_) editor_->CaretToEnd();
}

void TKanalView::InsertInput(const std::string& text) {
    if (editor_) editor_->InsertCp1252(text);
}

void TKanalView::InputEdit(channels::TEditCommand command) {
    if (!editor_) return;
    switch (command) {
        case channels::TEditCommand::Cut:
            editor_->cut();
            break;
        case channels::TEditCommand::Copy:
            editor_->copy();
            break;
        case channels::TEditCommand::Paste:
            editor_->paste();
            break;
        case channels::TEditCommand::SelectAll:
            editor_->selectAll();
            break;
        case channels::TEditCommand::Delete: {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
            QCoreApplication::sendEvent(editor_, &press);
            QCoreApplication::sendEvent(editor_, &release);
            break;
        }
    }
}

void TKanalView::CopyToClipboard(const std::string& text) {
    QApplication::clipboard()->setText(Cp1252ToQString(text));
}

std::optional<std::filesystem::path> TKanalView::AskSaveFile(const std::string& proposedName,
                                                             const std::filesystem::path& folder) {
    QFileDialog dlg(panes_.window, Shown(channels::kSaveTitle));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(Cp1252ToQString(channels::kSaveDefaultExt));
    const QStringList filters = NameFilters(Shown(channels::kSaveFilter));
    dlg.setNameFilters(filters);
    if (!filters.isEmpty()) dlg.selectNameFilter(filters.front());
    // The channel asks itself whether to overwrite or append.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    dlg.setSizeGripEnabled(true);
    if (!folder.empty()) dlg.setDirectory(FileNameText(folder));
    dlg.selectFile(
        QString::fromUtf8(proposedName.data(), static_cast<qsizetype>(proposedName.size())));
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dlg.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return PathOf(files.front());
}

channels::TSaveAnswer TKanalView::AskOverwriteOrAppend(const std::filesystem::path& file) {
    QMessageBox box(QMessageBox::Question, Shown(channels::kSaveTitle),
                    Shown(channels::kOverwriteQuestion).arg(FileNameText(file.filename())),
                    QMessageBox::NoButton, panes_.window);
    box.setTextFormat(Qt::PlainText);
    QPushButton* overwrite =
        box.addButton(Shown(channels::kOverwriteButton), QMessageBox::AcceptRole);
    QPushButton* append = box.addButton(Shown(channels::kAppendButton), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(Shown(channels::kCancelButton), QMessageBox::RejectRole);
    box.setDefaultButton(overwrite);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == overwrite) return channels::TSaveAnswer::Overwrite;
    if (box.clickedButton() == append) return channels::TSaveAnswer::Append;
    return channels::TSaveAnswer::Cancel;
}

void TKanalView::PrintConsole(int firstRow, int lastRow) {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dlg(&printer, panes_.window);
    if (dlg.exec() != QDialog::Accepted) return;
    if (!PrintConsoleRows(printer, kanal_.Console(), firstRow, lastRow,
                          console_ && console_->ShowDOS()))
        core::DebOutObj("TKanalView", "Print", "the printer did not start");
}

void TKanalView::ShowButtonHint(const std::string& text) {
    QWidget* w =
        panes_.channelBar && button_ ? panes_.channelBar->widgetForAction(button_) : nullptr;
    if (!w) return;
    if (!hintWindow_) hintWindow_ = new THintWindow(panes_.window);
    static_cast<THintWindow*>(hintWindow_.data())
        ->ShowAt(Cp1252ToShownText(text), w->mapToGlobal(QPoint(0, w->height() + kButtonHintGap)));
}

bool TKanalView::KeyPress(QKeyEvent& e) {
    HideButtonHint();
    int key = KanalKeyCode(e);
    if (key == 0) return false;
    kanal_.KeyDown(key, KanalShiftState(e.modifiers()));
    return key == 0;
}

void TKanalView::HideButtonHint() {
    if (hintWindow_) hintWindow_->hide();
}

void TKanalView::ShowContextMenu(bool onConsole, const QPoint& globalPos) {
    // Raised once at a time; the view may go while the menu is open.
    if (menuOpen_) return;
    menuOpen_ = true;
    const QPointer<TRichEditTarvo> alive = editor_;
    const std::vector<channels::TMenuItem> items = kanal_.ContextMenu(onConsole);
    QMenu menu(panes_.window);
    std::vector<std::pair<QAction*, channels::TMenuCommand>> actions;
    for (const channels::TMenuItem& item : items) {
        if (item.command == channels::TMenuCommand::Separator) {
            menu.addSeparator();
            continue;
        }
        actions.emplace_back(menu.addAction(Cp1252ToQString(item.caption)), item.command);
    }
    QAction* chosen = menu.isEmpty() ? nullptr : menu.exec(globalPos);
    if (!alive) return;
    menuOpen_ = false;
    for (const auto& [action, command] : actions) {
        if (action == chosen) kanal_.MenuCommand(command, onConsole);
    }
}

void TKanalView::ShowDos(bool on) {
    if (console_) console_->SetShowDOS(on);
}

void TKanalView::FlashMainWindow() {
    if (panes_.window) QApplication::alert(panes_.window);
}

void TKanalView::ApplyFont(const core::TFontFace& font) {
    if (console_) console_->SetConsoleFont(font.sizeName);
    if (!editor_) return;
    QFont f = editor_->font();
    f.setFamilies({QString::fromStdString(font.family), QStringLiteral("DejaVu Sans Mono")});
    f.setStyleHint(QFont::Monospace);
    f.setFixedPitch(true);
    if (const int px = ConsoleFontPixelSize(font.sizeName); px > 0) f.setPixelSize(px);
    editor_->setFont(f);
}

void TKanalView::Beep() {
    QApplication::beep();
}

}  // namespace tarvo::ui
