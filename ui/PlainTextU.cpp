#include "ui/PlainTextU.h"

#include <QLabel>
#include <QScrollArea>
#include <QStyle>

#include <algorithm>
#include <string>

#include "platform/CodePage.h"

namespace tarvo::ui {

QString Cp1252ToQString(std::string_view text) {
    const std::string utf8 = platform::Cp1252ToUtf8(text);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString Cp1252ToShownText(std::string_view text, std::size_t maxBytes) {
    const bool cut = text.size() > maxBytes;
    QString s = Cp1252ToQString(text.substr(0, maxBytes));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (cut) s += QChar(0x2026);
    return s;
}

QLabel* NewPlainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

QScrollArea* NewPlainTextBox(const QString& text, int width, int maxHeight, QWidget* parent) {
    width = std::max(width, 50);
    maxHeight = std::max(maxHeight, 20);
    QLabel* label = NewPlainLabel(text);
    label->setObjectName(QStringLiteral("text"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* area = new QScrollArea(parent);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(true);
    // Looks like a label, not like an input field.
    area->viewport()->setAutoFillBackground(false);
    area->setWidget(label);

    const int height = label->heightForWidth(width);
    if (height <= maxHeight) {
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setFixedSize(width, std::max(height, label->fontMetrics().height()));
    } else {
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        area->setFixedSize(width, maxHeight);
    }
    return area;
}

}  // namespace tarvo::ui
