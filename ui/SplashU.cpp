#include "ui/SplashU.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/PlainTextU.h"

namespace tarvo::ui {

namespace {

constexpr int kWidth = 420;
constexpr int kMargin = 20;
constexpr std::size_t kMaxStatusBytes = 256;
constexpr std::size_t kMaxVersionBytes = 128;

}  // namespace

TSplash::TSplash(const std::string& version, bool privateBuild, QWidget* parent)
    : QFrame(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setFrameShape(QFrame::Box);
    setFixedWidth(kWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);

    QLabel* title = NewPlainLabel(QStringLiteral("Tarvo Terminal"), this);
    title->setObjectName(QStringLiteral("title"));
    QFont big = title->font();
    big.setBold(true);
    if (big.pointSizeF() > 0) big.setPointSizeF(big.pointSizeF() * 2);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    QLabel* ver = NewPlainLabel(Cp1252ToShownText(version, kMaxVersionBytes), this);
    ver->setObjectName(QStringLiteral("version"));
    ver->setAlignment(Qt::AlignCenter);
    layout->addWidget(ver);

    if (privateBuild) {
        QLabel* notice = NewPlainLabel(tr("Nicht zur Weitergabe bestimmt"), this);
        notice->setObjectName(QStringLiteral("private"));
        QFont bold = notice->font();
        bold.setBold(true);
        notice->setFont(bold);
        QPalette red = notice->palette();
        red.setColor(QPalette::WindowText, Qt::red);
        notice->setPalette(red);
        notice->setAlignment(Qt::AlignCenter);
        layout->addWidget(notice);
    }

    layout->addSpacing(12);
    status_ = NewPlainLabel(QString(), this);
    status_->setObjectName(QStringLiteral("status"));
    layout->addWidget(status_);

    // Centred on the primary screen: not every window manager places splashes.
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = rect();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

void TSplash::SetStatus(const std::string& cp1252) {
    QString line = Cp1252ToShownText(cp1252, kMaxStatusBytes);
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const int room = kWidth - 2 * kMargin - 2 * frameWidth();
    status_->setText(status_->fontMetrics().elidedText(line, Qt::ElideRight, room));
    // During start-up the event loop may not run yet.
    if (isVisible()) status_->repaint();
}

void TSplash::CloseLater(int ms) {
    QTimer::singleShot(std::clamp(ms, 0, 60000), this, &QWidget::close);
}

void TSplash::mousePressEvent(QMouseEvent*) {
    close();
}

}  // namespace tarvo::ui
