#include "ui/TextWidthU.h"

#include <QFontMetrics>

#include "ui/PlainTextU.h"

namespace tarvo::ui {

filesend::TTextWidth TextWidthIn(const QFont& font) {
    return [metrics = QFontMetrics(font)](std::string_view text) {
        return metrics.horizontalAdvance(Cp1252ToQString(text));
    };
}

}  // namespace tarvo::ui
