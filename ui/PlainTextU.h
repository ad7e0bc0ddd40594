// Text in code page 1252 (from the program or from remote stations) in widgets.
// Such text is never read as rich text.
#pragma once

#include <QString>

#include <cstddef>
#include <string_view>

class QLabel;
class QScrollArea;
class QWidget;

namespace tarvo::ui {

// As is, line breaks included; for the clipboard.
QString Cp1252ToQString(std::string_view text);

// For a label: at most maxBytes of the text, and CR LF or a lone CR (what
// stations send) as a line break.
QString Cp1252ToShownText(std::string_view text, std::size_t maxBytes = 16384);

// A label that shows text literally.
QLabel* NewPlainLabel(const QString& text, QWidget* parent = nullptr);

// A word-wrapped plain label of the given width in a frameless scroll area that
// grows with the text up to maxHeight and scrolls beyond.
QScrollArea* NewPlainTextBox(const QString& text, int width, int maxHeight,
                             QWidget* parent = nullptr);

}  // namespace tarvo::ui
