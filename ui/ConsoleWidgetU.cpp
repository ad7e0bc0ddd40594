#include "ui/ConsoleWidgetU.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QTextDocument>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/CodePage.h"
#include "ui/PlainTextU.h"

namespace tarvo::ui {

namespace {

using channels::TConsole;
using channels::TConsoleLine;
using channels::TCursorMove;

// Bursts of output within this time become one repaint.
constexpr int kRepaintMs = 20;
constexpr int kAutoScrollMs = 20;
constexpr int kAutoScrollLines = 3;
constexpr int kDragDistance = 8;
constexpr int kHintMoveDistance = 4;
constexpr int kHintMaxWidth = 600;
constexpr int kDefaultPixelSize = 14;

// One timer for all consoles: started by a change, idle when nothing changes.
class TRepaintQueue final : public QObject {
  public:
    explicit TRepaintQueue(QObject* parent) : QObject(parent) {
        timer_.setSingleShot(true);
        timer_.setInterval(kRepaintMs);
        connect(&timer_, &QTimer::timeout, this, &TRepaintQueue::Flush);
    }
    static TRepaintQueue& Instance() {
        static QPointer<TRepaintQueue> queue;
        if (!queue) queue = new TRepaintQueue(QCoreApplication::instance());
        return *queue;
    }
    void Add(TConsoleWidget* w) {
        if (std::find(pending_.begin(), pending_.end(), w) == pending_.end()) pending_.push_back(w);
        if (!timer_.isActive()) timer_.start();
    }
    bool Pending() const { return timer_.isActive(); }

  private:
    void Flush() {
        const auto pending = std::move(pending_);
        pending_.clear();
        for (const QPointer<TConsoleWidget>& w : pending) {
            if (w) w->SyncWithConsole();
        }
    }
    QTimer timer_;
    std::vector<QPointer<TConsoleWidget>> pending_;
};

// One table per display mode, built once: painting converts byte by byte.
struct TDisplayTables {
    std::array<char16_t, 256> plain{}, dos{};
    TDisplayTables() {
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            plain[b] =
                static_cast<char16_t>(platform::Cp1252ToUnicode(static_cast<unsigned char>(c)));
            const char d = channels::ConsoleDosDisplayChar(c);
            dos[b] =
                static_cast<char16_t>(platform::Cp1252ToUnicode(static_cast<unsigned char>(d)));
        }
    }
};

const TDisplayTables& Tables() {
    static const TDisplayTables t;
    return t;
}

QColor Blend(const QColor& a, int percentA, const QColor& b) {
    const int pb = 100 - percentA;
    return QColor((a.red() * percentA + b.red() * pb) / 100,
                  (a.green() * percentA + b.green() * pb) / 100,
                  (a.blue() * percentA + b.blue() * pb) / 100);
}

int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

}  // namespace

int ConsoleFontPixelSize(std::string_view name) {
    const std::size_t x = name.find('x');
    if (x == std::string_view::npos || x == 0 || x + 1 >= name.size()) return 0;
    int w = 0, h = 0;
    const char* end = name.data() + name.size();
    auto [pw, ew] = std::from_chars(name.data(), name.data() + x, w);
    auto [ph, eh] = std::from_chars(name.data() + x + 1, end, h);
    if (ew != std::errc() || eh != std::errc() || pw != name.data() + x || ph != end) return 0;
    return w > 0 && h > 0 ? h : 0;
}

QString ConsoleDisplayText(std::string_view bytes, bool dos) {
    const auto& table = dos ? Tables().dos : Tables().plain;
    QString s(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = s.data();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = QChar(table[static_cast<unsigned char>(bytes[i])]);
    return s;
}

TConsoleWidget::TConsoleWidget(TConsole& console, QWidget* parent)
    : QAbstractScrollArea(parent), console_(console) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::IBeamCursor);
    // Every pixel is painted by PaintRect; Qt need not clear first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    const QPalette pal = palette();
    background_ = pal.color(QPalette::Base);
    if (QPixmap::defaultDepth() < 16) {
        gutterLine_ = pal.color(QPalette::Shadow);
        gutter_ = pal.color(QPalette::Light);
        mailbox_ = QColor(216, 216, 216);
    } else {
        gutterLine_ = Blend(pal.color(QPalette::Dark), 60, pal.color(QPalette::Button));
        gutter_ = Blend(pal.color(QPalette::Light), 80, pal.color(QPalette::Button));
        mailbox_ = Blend(pal.color(QPalette::Light), 40, pal.color(QPalette::Button));
    }

    font_ = QFont(QStringLiteral("DejaVu Sans Mono"));
    font_.setStyleHint(QFont::Monospace);
    font_.setFixedPitch(true);
    font_.setKerning(false);
    // Cells on a fixed grid need no text shaping, which is most of painting a row.
    font_.setStyleStrategy(QFont::PreferNoShaping);
    font_.setPixelSize(kDefaultPixelSize);
    SetConsoleFont("08x12");

    // The model tells of its changes on the main thread; the repaint follows
    // once per burst. The console may outlive this widget.
    console_.SetOnChange([w = QPointer<TConsoleWidget>(this)] {
        if (w) TRepaintQueue::Instance().Add(w);
    });
    autoScroll_.setInterval(kAutoScrollMs);
    connect(&autoScroll_, &QTimer::timeout, this, &TConsoleWidget::AutoScroll);
    hintDelay_.setSingleShot(true);
    connect(&hintDelay_, &QTimer::timeout, this, &TConsoleWidget::ShowHint);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s != Qt::ApplicationActive) HideHint();
    });
}

TConsoleWidget::~TConsoleWidget() {
    HideHint();
}

bool TConsoleWidget::RepaintPending() {
    return TRepaintQueue::Instance().Pending();
}

void TConsoleWidget::SetConsoleFont(std::string_view name) {
    const int px = ConsoleFontPixelSize(name);
    if (px <= 0) return;
    font_.setPixelSize(px);
    const QFontMetrics fm(font_);
    cellW_ = std::max(1, fm.horizontalAdvance(QLatin1Char('M')));
    cellH_ = std::max(1, fm.lineSpacing());
    ascent_ = fm.ascent();
    UpdateViewSize();
    viewport()->update();
}

void TConsoleWidget::SetShowDOS(bool on) {
    if (showDos_ == on) return;
    showDos_ = on;
    viewport()->update();
}

void TConsoleWidget::SetGutterWidth(int width) {
    gutterW_ = std::max(0, width);
    UpdateViewSize();
    viewport()->update();
}

void TConsoleWidget::SetGutterImages(QList<QPixmap> images) {
    images_ = std::move(images);
    viewport()->update();
}

void TConsoleWidget::SetBackgroundColor(const QColor& c) {
    background_ = c;
    viewport()->update();
}

void TConsoleWidget::SetGutterColor(const QColor& c) {
    gutter_ = c;
    viewport()->update();
}

void TConsoleWidget::SetGutterLineColor(const QColor& c) {
    gutterLine_ = c;
    viewport()->update();
}

void TConsoleWidget::SetMailboxColor(const QColor& c) {
    mailbox_ = c;
    viewport()->update();
}

void TConsoleWidget::CopySelection() {
    const std::string text = console_.SelectedText();
    if (!text.empty()) QApplication::clipboard()->setText(Cp1252ToQString(text));
}

QPoint TConsoleWidget::CellOrigin(int col, int row) const {
    return {gutterW_ + (col - console_.LeftCol()) * cellW_, (row - console_.TopRow()) * cellH_};
}

int TConsoleWidget::ColumnAt(int x) const {
    return console_.LeftCol() + FloorDiv(x - gutterW_ + cellW_ / 2, cellW_);
}

int TConsoleWidget::RowAt(int y) const {
    return console_.TopRow() + FloorDiv(y, cellH_);
}

QColor TConsoleWidget::PaletteColour(std::uint8_t code) const {
    const channels::TRgb c = console_.GetPaletteEntry(code);
    return QColor(c.r, c.g, c.b);
}

// ---- model to view ----

void TConsoleWidget::UpdateViewSize() {
    const QSize s = viewport()->size();
    console_.SetViewSize(std::max(1, (s.width() - gutterW_) / cellW_),
                         std::max(1, s.height() / cellH_));
    SyncWithConsole();
}

void TConsoleWidget::SyncScrollBars() {
    syncing_ = true;
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(0, console_.Rows() - console_.VisibleRows()));
    v->setPageStep(console_.VisibleRows());
    v->setValue(console_.TopRow());
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, console_.Cols() - console_.VisibleCols()));
    h->setPageStep(console_.VisibleCols());
    h->setValue(console_.LeftCol());
    syncing_ = false;
}

void TConsoleWidget::SyncWithConsole() {
    if (console_.ChangeCount() == seenChanges_) return;
    seenChanges_ = console_.ChangeCount();
    const channels::TConsoleDirty dirty = console_.TakeDirty();
    // The channel sets the background from the settings through the model.
    if (const channels::TRgb bg = console_.Background(); !(bg == seenBackground_)) {
        seenBackground_ = bg;
        background_ = QColor(bg.r, bg.g, bg.b);
        viewport()->update();
    }
    SyncScrollBars();
    const int top = console_.TopRow();
    if (console_.LeftCol() != seenLeft_) {
        seenTop_ = top;
        seenLeft_ = console_.LeftCol();
        viewport()->update();
        return;
    }
    if (top != seenTop_) {
        // Following new text moves the page by a few rows: move the pixels
        // already painted and paint only the rows that came into view.
        const int by = seenTop_ - top;
        seenTop_ = top;
        if (std::abs(by) >= console_.VisibleRows()) {
            viewport()->update();
            return;
        }
        viewport()->scroll(0, by * cellH_);
    }
    if (!dirty.Any()) return;
    const int first = std::max(dirty.first, top);
    const int last = std::min(dirty.last, top + console_.VisibleRows());  // a partial row below
    if (first > last) return;
    viewport()->update(
        QRect(0, (first - top) * cellH_, viewport()->width(), (last - first + 1) * cellH_));
}

void TConsoleWidget::scrollContentsBy(int, int) {
    if (syncing_) return;
    const int v = verticalScrollBar()->value();
    if (v != console_.TopRow()) console_.ScrollLines(v - console_.TopRow());
    const int h = horizontalScrollBar()->value();
    if (h != console_.LeftCol()) console_.SetLeftCol(h);
    SyncWithConsole();
}

void TConsoleWidget::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateViewSize();
}

// ---- painting ----

void TConsoleWidget::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    for (const QRect& r : e->region()) PaintRect(p, r);
}

void TConsoleWidget::PaintRect(QPainter& p, const QRect& clip) {
    if (clip.isEmpty()) return;
    if (!console_.Active()) {
        p.fillRect(clip, palette().color(QPalette::Dark));
        return;
    }
    p.save();
    p.setClipRect(clip);
    p.setFont(font_);
    const int top = console_.TopRow();
    const int left = console_.LeftCol();
    const int firstRow = top + FloorDiv(std::max(0, clip.top()), cellH_);
    const int lastRow = top + FloorDiv(clip.bottom(), cellH_);
    const int colFrom = left + FloorDiv(std::max(0, clip.left() - gutterW_), cellW_);
    const int colTo =
        std::min(console_.Cols(), left + FloorDiv(clip.right() - gutterW_, cellW_) + 1);
    for (int row = firstRow; row <= lastRow; ++row) {
        const int y = (row - top) * cellH_;
        if (row >= console_.Rows()) {
            // Below the text when the window is taller than the console.
            p.fillRect(QRect(0, y, gutterW_, cellH_), gutter_);
            p.fillRect(QRect(gutterW_, y, clip.right() + 1 - gutterW_, cellH_), background_);
            continue;
        }
        PaintRow(p, row, y, colFrom, colTo, clip);
    }
    p.restore();
}

void TConsoleWidget::PaintRow(QPainter& p, int row, int y, int colFrom, int colTo,
                              const QRect& clip) {
    const TConsoleLine line = console_.GetLine(row);
    const int left = console_.LeftCol();

    if (clip.left() < gutterW_ && gutterW_ > 0) {
        p.fillRect(QRect(0, y, gutterW_, cellH_), gutter_);
        if (gutterW_ >= 2) p.fillRect(QRect(gutterW_ - 2, y, 1, cellH_), gutterLine_);
        p.fillRect(QRect(gutterW_ - 1, y, 1, cellH_), background_);
        if (line.mark != 0) {
            const QRect cell(0, y, std::max(1, gutterW_ - 2), cellH_);
            if (line.mark < images_.size() && !images_[line.mark].isNull()) {
                const QPixmap& img = images_[line.mark];
                const QSize s = img.deviceIndependentSize().toSize();
                p.drawPixmap(cell.x() + (cell.width() - s.width()) / 2,
                             cell.y() + (cell.height() - s.height()) / 2, img);
            } else {
                // No image list: a dot whose hue tells the marks apart.
                const int d = std::max(2, std::min(cell.width(), cellH_) - 4);
                p.save();
                p.setRenderHint(QPainter::Antialiasing);
                p.setPen(Qt::NoPen);
                p.setBrush(QColor::fromHsv((line.mark * 47) % 360, 200, 210));
                p.drawEllipse(
                    QRect(cell.x() + (cell.width() - d) / 2, cell.y() + (cellH_ - d) / 2, d, d));
                p.restore();
            }
        }
    }

    const bool highlighted = hasFocus() && console_.Highlighted(row);
    const QColor rowBg = highlighted ? mailbox_ : background_;
    const int textRight = clip.right() + 1;
    if (textRight > gutterW_) p.fillRect(QRect(gutterW_, y, textRight - gutterW_, cellH_), rowBg);

    const auto [selFrom, selTo] = console_.SelectedColumns(row);
    const QColor selBg = palette().color(QPalette::Highlight);
    const QColor selFg = palette().color(QPalette::HighlightedText);
    const int from = std::max(colFrom, left);
    const int to = std::min(colTo, line.length);
    if (from < to) {
        const auto& table = showDos_ ? Tables().dos : Tables().plain;
        console_.ColourRuns(row, runs_);
        for (const channels::TColourRun& run : runs_) {
            const int a = std::max(run.first, from);
            const int b = std::min(run.first + run.count, to);
            if (a >= b) continue;
            // A run splits where the selection starts and ends.
            const int cuts[4] = {a, std::clamp(selFrom, a, b), std::clamp(selTo, a, b), b};
            for (int k = 0; k < 3; ++k) {
                const int c0 = cuts[k], c1 = cuts[k + 1];
                if (c0 >= c1) continue;
                const bool selected = k == 1;
                const int x = gutterW_ + (c0 - left) * cellW_;
                if (selected) p.fillRect(QRect(x, y, (c1 - c0) * cellW_, cellH_), selBg);
                QString text(c1 - c0, Qt::Uninitialized);
                QChar* out = text.data();
                for (int c = c0; c < c1; ++c)
                    *out++ = QChar(
                        table[static_cast<unsigned char>(line.chars[static_cast<std::size_t>(c)])]);
                p.setPen(selected ? selFg : PaletteColour(run.colour));
                p.drawText(QPoint(x, y + ascent_), text);
            }
        }
    }

    if (row == console_.WriteRow()) {
        const int x = gutterW_ + (console_.WriteColumn() - left) * cellW_;
        p.fillRect(QRect(x + 1, y + cellH_ - 4, cellW_ - 1, 2), QColor(128, 128, 128));
    }
    if (hasFocus() && row == console_.LineCursorRow()) {
        const int x = gutterW_ + (console_.CursorColumn() - left) * cellW_;
        if (x >= gutterW_) p.fillRect(QRect(x, y, 1, cellH_), palette().color(QPalette::Text));
    }
}

// ---- keyboard ----

void TConsoleWidget::keyPressEvent(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const bool shift = mods & Qt::ShiftModifier;
    auto move = [&](TCursorMove m) { console_.MoveCursor(m, shift); };
    switch (e->key()) {
        case Qt::Key_PageUp:
            if (ctrl)
                console_.ScrollLines(-1, true);
            else
                move(TCursorMove::PageUp);
            break;
        case Qt::Key_PageDown:
            if (ctrl)
                console_.ScrollLines(1, true);
            else
                move(TCursorMove::PageDown);
            break;
        case Qt::Key_End:
            move(ctrl ? TCursorMove::Bottom : TCursorMove::End);
            break;
        case Qt::Key_Home:
            move(ctrl ? TCursorMove::Top : TCursorMove::Home);
            break;
        case Qt::Key_Left:
            move(TCursorMove::Left);
            break;
        case Qt::Key_Right:
            move(TCursorMove::Right);
            break;
        case Qt::Key_Up:
            move(TCursorMove::Up);
            break;
        case Qt::Key_Down:
            move(TCursorMove::Down);
            break;
        case Qt::Key_Insert:
        case Qt::Key_C:
            if (mods != Qt::ControlModifier) {
                QAbstractScrollArea::keyPressEvent(e);
                return;
            }
            CopySelection();
            break;
        default:
            // Tab and the rest go on, so focus moves as usual.
            QAbstractScrollArea::keyPressEvent(e);
            return;
    }
    e->accept();
    SyncWithConsole();
}

// ---- mouse ----

void TConsoleWidget::UpdateMouseCursor(const QPoint& pos) {
    const bool arrow =
        pos.x() < gutterW_ ||
        console_.InSelection(console_.LeftCol() + FloorDiv(pos.x() - gutterW_, cellW_),
                             RowAt(pos.y()));
    viewport()->setCursor(arrow ? Qt::ArrowCursor : Qt::IBeamCursor);
}

void TConsoleWidget::mousePressEvent(QMouseEvent* e) {
    if (focusPolicy() & Qt::ClickFocus) setFocus(Qt::MouseFocusReason);
    HideHint();
    hintDelay_.stop();
    const QPoint pos = e->position().toPoint();
    pressPos_ = mousePos_ = pos;
    const int row = RowAt(pos.y());
    const bool left = e->button() == Qt::LeftButton;
    if (!left && e->button() != Qt::RightButton) return;

    if (pos.x() < gutterW_) {
        gutterPress_ = left;
        if (!console_.RowInSelection(row)) console_.MoveCursorTo(0, row, false);
    } else {
        const int cellCol = console_.LeftCol() + FloorDiv(pos.x() - gutterW_, cellW_);
        const bool inside = console_.InSelection(cellCol, row);
        if (left && inside) {
            dragPending_ = true;
            viewport()->setCursor(Qt::ArrowCursor);
        } else if (left) {
            console_.MoveCursorTo(ColumnAt(pos.x()), row, false);
            selecting_ = true;
        } else if (!inside) {
            console_.MoveCursorTo(ColumnAt(pos.x()), row, false);
        }
    }
    e->accept();
    SyncWithConsole();
}

void TConsoleWidget::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    mousePos_ = pos;
    if (!(e->buttons() & Qt::LeftButton)) {
        selecting_ = dragPending_ = gutterPress_ = false;
        autoScroll_.stop();
        UpdateMouseCursor(pos);
        if ((pos - hintOrigin_).manhattanLength() >= kHintMoveDistance) {
            hintOrigin_ = pos;
            HideHint();
            if (onHint_) hintDelay_.start(style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay));
        }
        return;
    }
    if (dragPending_) {
        if ((pos - pressPos_).manhattanLength() >= kDragDistance) {
            dragPending_ = false;
            StartDrag();
        }
        return;
    }
    if (!selecting_) return;
    console_.SelectTo(ColumnAt(pos.x()), RowAt(pos.y()));
    const bool outside = pos.y() < 0 || pos.y() >= viewport()->height();
    if (outside && !autoScroll_.isActive())
        autoScroll_.start();
    else if (!outside)
        autoScroll_.stop();
    SyncWithConsole();
}

void TConsoleWidget::AutoScroll() {
    if (!selecting_) {
        autoScroll_.stop();
        return;
    }
    if (mousePos_.y() < 0)
        console_.ScrollLines(-kAutoScrollLines);
    else if (mousePos_.y() >= viewport()->height())
        console_.ScrollLines(kAutoScrollLines);
    else {
        autoScroll_.stop();
        return;
    }
    console_.SelectTo(ColumnAt(mousePos_.x()), RowAt(mousePos_.y()));
    SyncWithConsole();
}

void TConsoleWidget::StartDrag() {
    const std::string text = console_.SelectedText();
    if (text.empty()) return;
    auto* mime = new QMimeData;
    mime->setText(Cp1252ToQString(text));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
}

void TConsoleWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const QPoint pos = e->position().toPoint();
    autoScroll_.stop();
    if (dragPending_) console_.ClearSelection();
    const bool gutterClick = gutterPress_ && pos.x() < gutterW_;
    selecting_ = dragPending_ = gutterPress_ = false;
    UpdateMouseCursor(pos);
    SyncWithConsole();
    if (gutterClick) emit GutterClicked(RowAt(pos.y()));
}

void TConsoleWidget::wheelEvent(QWheelEvent* e) {
    const int delta = e->angleDelta().y();
    if (delta == 0) {
        QAbstractScrollArea::wheelEvent(e);
        return;
    }
    const double n = std::round(static_cast<double>(delta) / cellH_);
    // Three equal steps: a notch always moves a multiple of three lines.
    const int step = static_cast<int>(std::lround(n / 3.0));
    for (int i = 0; i < 3; ++i) console_.ScrollLines(-step);
    e->accept();
    SyncWithConsole();
}

void TConsoleWidget::contextMenuEvent(QContextMenuEvent* e) {
    QPoint pos = e->pos();
    if (e->reason() == QContextMenuEvent::Keyboard)
        pos = CellOrigin(console_.CursorColumn(), console_.LineCursorRow());
    const int col = console_.LeftCol() + FloorDiv(pos.x() - gutterW_, cellW_);
    emit ContextPopup(viewport()->mapToGlobal(pos), RowAt(pos.y()), col);
    e->accept();
}

// ---- hints ----

void TConsoleWidget::ShowHint() {
    if (!onHint_ || !isVisible()) return;
    const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
    if (!viewport()->rect().contains(pos)) return;
    const int row = RowAt(pos.y());
    const int col = console_.LeftCol() + FloorDiv(pos.x() - gutterW_, cellW_);
    int kind = kHintOutside;
    if (pos.x() < gutterW_ && row >= 0 && row < console_.Rows())
        kind = kHintGutter;
    else if (row >= 0 && row < console_.Rows() && col >= 0 && col < console_.Cols())
        kind = kHintText;
    const std::string text = onHint_(kind, row, col);
    if (text.empty()) return;
    const QString plain = Cp1252ToShownText(text);
    QString shown = Qt::convertFromPlainText(plain, Qt::WhiteSpaceNormal);
    // Rich text lets a table hold long hints to the width cap.
    const QFontMetrics fm(QToolTip::font());
    int widest = 0;
    for (const QString& l : plain.split(QLatin1Char('\n')))
        widest = std::max(widest, fm.horizontalAdvance(l));
    if (widest > kHintMaxWidth)
        shown = QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>")
                    .arg(kHintMaxWidth)
                    .arg(shown);
    const int below = std::max(16, QCursor().pixmap().height());
    QToolTip::showText(QCursor::pos() + QPoint(0, below), shown, viewport());
    hintShown_ = true;
}

void TConsoleWidget::HideHint() {
    if (!hintShown_) return;
    hintShown_ = false;
    QToolTip::hideText();
}

void TConsoleWidget::leaveEvent(QEvent* e) {
    hintDelay_.stop();
    QAbstractScrollArea::leaveEvent(e);
}

void TConsoleWidget::hideEvent(QHideEvent* e) {
    hintDelay_.stop();
    autoScroll_.stop();
    HideHint();
    QAbstractScrollArea::hideEvent(e);
}

void TConsoleWidget::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();  // caret and mailbox highlight follow the focus
}

void TConsoleWidget::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

}  // namespace tarvo::ui
