#include "ui/HauptPanesU.h"

#include <QActionEvent>
#include <QApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStackedWidget>
#include <QToolButton>

#include <algorithm>

namespace tarvo::ui {

namespace {

constexpr int kButtonGap = 1;
constexpr int kSplitter1Height = 6;

QColor Blend(const QColor& a, const QColor& b, int percentA) {
    const auto mix = [&](int x, int y) { return (x * percentA + y * (100 - percentA)) / 100; };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

// The narrow panel left of the input editor, with a line at its right edge.
class TGutter final : public QWidget {
  public:
    explicit TGutter(QWidget* parent) : QWidget(parent) { setFixedWidth(TPaneStack::kGutterWidth); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QPalette& pal = palette();
        const QScreen* s = screen();
        QColor fill, line;
        if (!s || s->depth() >= 16) {
            fill = Blend(pal.color(QPalette::Light), pal.color(QPalette::Button), 80);
            line = Blend(pal.color(QPalette::Dark), pal.color(QPalette::Button), 60);
        } else {
            fill = pal.color(QPalette::Light);
            line = pal.color(QPalette::Shadow);
        }
        p.fillRect(rect(), fill);
        p.fillRect(QRect(width() - 1, 0, 1, height()), line);
    }
};

}  // namespace

// ---- TStatusPanel ----------------------------------------------------------

TStatusPanel::TStatusPanel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), mode_(mode) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setTextFormat(Qt::PlainText);
    setMinimumWidth(1);
}

QString TStatusPanel::ShownText() const {
    return fontMetrics().elidedText(text(), mode_, std::max(0, contentsRect().width() - 4));
}

int TStatusPanel::WidthFor(const QString& text) const {
    // The 2-pixel padding on each side of the text, the frame, and one pixel
    // for rounding in the font's measure.
    return fontMetrics().horizontalAdvance(text) + 4 + 2 * frameWidth() + 1;
}

void TStatusPanel::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e);
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(contentsRect().adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, ShownText());
}

// ---- TChannelBar -----------------------------------------------------------

TChannelBar::TChannelBar(QWidget* parent) : QWidget(parent) {
    QSizePolicy sp(QSizePolicy::Expanding, QSizePolicy::Preferred);
    sp.setHeightForWidth(true);
    setSizePolicy(sp);
}

QToolButton* TChannelBar::ButtonOf(QAction* action) const {
    for (const auto& [a, b] : buttons_) {
        if (a == action) return b;
    }
    return nullptr;
}

QWidget* TChannelBar::widgetForAction(QAction* action) const {
    return ButtonOf(action);
}

QAction* TChannelBar::actionAt(const QPoint& pos) const {
    for (const auto& [a, b] : buttons_) {
        if (b->isVisible() && b->geometry().contains(pos)) return a;
    }
    return nullptr;
}

void TChannelBar::setToolButtonStyle(Qt::ToolButtonStyle style) {
    style_ = style;
    for (const auto& [a, b] : buttons_) b->setToolButtonStyle(style);
    Arrange(width(), true);
}

void TChannelBar::actionEvent(QActionEvent* e) {
    QAction* a = e->action();
    switch (e->type()) {
        case QEvent::ActionAdded: {
            auto* b = new QToolButton(this);
            b->setDefaultAction(a);
            b->setToolButtonStyle(style_);
            b->setAutoRaise(true);
            b->setFocusPolicy(Qt::NoFocus);
            b->show();
            // Kept in the order of actions(), which honours insertAction.
            const QList<QAction*> order = actions();
            const qsizetype at = order.indexOf(a);
            auto pos = buttons_.begin();
            while (pos != buttons_.end() && order.indexOf(pos->first) < at) ++pos;
            buttons_.insert(pos, {a, b});
            break;
        }
        case QEvent::ActionRemoved: {
            auto it = std::find_if(buttons_.begin(), buttons_.end(),
                                   [a](const auto& p) { return p.first == a; });
            if (it != buttons_.end()) {
                it->second->deleteLater();
                it->second->hide();
                buttons_.erase(it);
            }
            break;
        }
        default:
            break;
    }
    Arrange(width(), true);
}

int TChannelBar::Arrange(int width, bool apply) const {
    int x = 0, y = 0, rowHeight = 0;
    for (const auto& [a, b] : buttons_) {
        if (!a->isVisible()) continue;
        const QSize s = b->sizeHint();
        if (x > 0 && x + s.width() > width) {
            x = 0;
            y += rowHeight + kButtonGap;
            rowHeight = 0;
        }
        if (apply) b->setGeometry(QRect(QPoint(x, y), s));
        x += s.width() + kButtonGap;
        rowHeight = std::max(rowHeight, s.height());
    }
    return y + rowHeight;
}

int TChannelBar::heightForWidth(int width) const {
    return std::max(1, Arrange(width, false));
}

QSize TChannelBar::sizeHint() const {
    return {width() > 0 ? width() : 400, heightForWidth(width() > 0 ? width() : 400)};
}

QSize TChannelBar::minimumSizeHint() const {
    return {0, 0};
}

void TChannelBar::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Arrange(width(), true);
}

bool TChannelBar::event(QEvent* e) {
    const bool result = QWidget::event(e);
    if (e->type() == QEvent::ActionAdded || e->type() == QEvent::ActionRemoved ||
        e->type() == QEvent::ActionChanged || e->type() == QEvent::LayoutRequest) {
        const int h = heightForWidth(width());
        if (h != lastHeight_) {
            lastHeight_ = h;
            emit HeightChanged();
        }
    }
    return result;
}

// ---- TSplitterBar ----------------------------------------------------------

TSplitterBar::TSplitterBar(QWidget* content, QWidget* parent) : QWidget(parent), content_(content) {
    setCursor(Qt::SizeVerCursor);
    setAutoFillBackground(false);
    if (content_) {
        content_->setParent(this);
        // Presses on the dock's free space move the splitter too.
        content_->installEventFilter(this);
    }
}

int TSplitterBar::DockHeight(int width) const {
    const int inner = content_ ? content_->heightForWidth(std::max(1, width - 4)) : 0;
    return std::max(channels::kMinSplitterHeight, content_ ? inner + 4 : kSplitter1Height);
}

void TSplitterBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(dragging_ ? QPalette::Highlight : QPalette::Button));
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(0, height() - 1, width(), height() - 1);
}

void TSplitterBar::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (content_) content_->setGeometry(2, 2, std::max(1, width() - 4), std::max(1, height() - 4));
}

bool TSplitterBar::eventFilter(QObject* watched, QEvent* e) {
    if (watched == content_) {
        const auto mouse = [e] { return static_cast<QMouseEvent*>(e); };
        switch (e->type()) {
            case QEvent::MouseButtonPress:
                return mouse()->button() == Qt::LeftButton &&
                       Press(mouse()->globalPosition().toPoint());
            case QEvent::MouseMove:
                if (dragging_) {
                    Move(mouse()->globalPosition().toPoint());
                    return true;
                }
                break;
            case QEvent::MouseButtonRelease:
                if (dragging_) {
                    Release();
                    return true;
                }
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, e);
}

bool TSplitterBar::Press(const QPoint& global) {
    dragging_ = true;
    startY_ = global.y();
    emit DragBegun();
    update();
    return true;
}

void TSplitterBar::Move(const QPoint& global) {
    if (dragging_) emit Dragged(global.y() - startY_);
}

void TSplitterBar::Release() {
    dragging_ = false;
    update();
    emit DragEnded();
}

void TSplitterBar::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) Press(e->globalPosition().toPoint());
}

void TSplitterBar::mouseMoveEvent(QMouseEvent* e) {
    Move(e->globalPosition().toPoint());
}

void TSplitterBar::mouseReleaseEvent(QMouseEvent* e) {
    if (dragging_ && e->button() == Qt::LeftButton) Release();
}

// ---- TPaneStack ------------------------------------------------------------

TPaneStack::TPaneStack(QWidget* parent) : QWidget(parent) {
    output_ = new QStackedWidget(this);
    output_->setObjectName(QStringLiteral("OutputPane"));
    splitter1_ = new TSplitterBar(nullptr, this);
    splitter1_->setObjectName(QStringLiteral("Splitter1"));
    inputRow_ = new QWidget(this);
    auto* row = new QHBoxLayout(inputRow_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    gutter_ = new TGutter(inputRow_);
    input_ = new QStackedWidget(inputRow_);
    input_->setObjectName(QStringLiteral("InputPane"));
    row->addWidget(gutter_);
    row->addWidget(input_, 1);
    channelBar_ = new TChannelBar();
    channelBar_->setObjectName(QStringLiteral("ChannelBar"));
    channelBar_->setAccessibleName(tr("Kanäle"));
    splitter2_ = new TSplitterBar(channelBar_, this);
    splitter2_->setObjectName(QStringLiteral("Splitter2"));
    monitor_ = new QStackedWidget(this);
    monitor_->setObjectName(QStringLiteral("MonitorPane"));

    const auto begin = [this] { dragStart_ = heights_; };
    connect(splitter1_, &TSplitterBar::DragBegun, this, begin);
    connect(splitter2_, &TSplitterBar::DragBegun, this, begin);
    connect(splitter1_, &TSplitterBar::Dragged, this, [this](int dy) {
        heights_ = channels::DragSplitter1(dragStart_, dy);
        Place();
    });
    connect(splitter2_, &TSplitterBar::Dragged, this, [this](int dy) {
        if (monitor_->count() == 0) return;  // nothing below to size
        heights_ = channels::DragSplitter2(dragStart_, dy);
        Place();
    });
    // The monitor's console leaves the pane while the monitor is the active channel.
    connect(monitor_, &QStackedWidget::currentChanged, this, [this] { Place(); });
    connect(monitor_, &QStackedWidget::widgetRemoved, this, [this] { Place(); });
    connect(channelBar_, &TChannelBar::HeightChanged, this, [this] {
        if (laidOut_) UpdateDocks();
    });
}

void TPaneStack::SetStoredHeights(int inputHeight, int monitorHeight) {
    storedInput_ = inputHeight;
    storedMonitor_ = monitorHeight;
    laidOut_ = false;
    if (height() > 0) {
        resizeEvent(nullptr);
    }
}

void TPaneStack::resizeEvent(QResizeEvent* e) {
    if (e) QWidget::resizeEvent(e);
    if (!laidOut_) {
        // Sizes before the window is shown are provisional: the stored heights
        // apply to the first real one.
        heights_ =
            channels::InitialPanes(height(), splitter1_->DockHeight(width()),
                                   splitter2_->DockHeight(width()), storedInput_, storedMonitor_);
        laidOut_ = isVisible();
    } else {
        heights_ = channels::SetSplitterHeights(heights_, splitter1_->DockHeight(width()),
                                                splitter2_->DockHeight(width()));
        heights_ = channels::ResizePanes(heights_, height());
    }
    Place();
}

void TPaneStack::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!laidOut_) resizeEvent(nullptr);
}

void TPaneStack::UpdateDocks() {
    heights_ = channels::SetSplitterHeights(heights_, splitter1_->DockHeight(width()),
                                            splitter2_->DockHeight(width()));
    Place();
}

void TPaneStack::Place() {
    const int w = width();
    int y = 0;
    const auto put = [&](QWidget* widget, int h) {
        widget->setGeometry(0, y, w, std::max(0, h));
        y += std::max(0, h);
    };
    const channels::TPaneHeights shown = channels::ShownPanes(heights_, monitor_->count() == 0);
    put(output_, shown.output);
    put(splitter1_, shown.splitter1);
    put(inputRow_, shown.input);
    put(splitter2_, shown.splitter2);
    put(monitor_, shown.monitor);
}

}  // namespace tarvo::ui
