// Pixel widths of code page 1252 text in a font, for the logic that fits
// captions into menus.
#pragma once

#include <QFont>

#include "filesend/DateiSendenVorlagenU.h"

namespace tarvo::ui {

filesend::TTextWidth TextWidthIn(const QFont& font);

}  // namespace tarvo::ui
