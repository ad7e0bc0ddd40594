#include "ui/RichEditTarvoU.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>

#include "channels/KanalEingabeU.h"
#include "platform/CodePage.h"
#include "ui/PlainTextU.h"

namespace tarvo::ui {

namespace ch = channels;

int KanalKeyCode(const QKeyEvent& e) {
    const int k = e.key();
    if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) return k;
#if defined(Q_OS_LINUX)
    // The digit row by position, as the key codes name it: Shift+1 arrives as
    // "!" (and AZERTY keyboards need Shift for the digits). X keycodes 10..19.
    const quint32 scan = e.nativeScanCode();
    if (scan >= 10 && scan <= 19) return scan == 19 ? '0' : static_cast<int>('1' + (scan - 10));
#endif
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return ch::kVkF1 + (k - Qt::Key_F1);
    switch (k) {
        case Qt::Key_Backspace:
            return ch::kVkBack;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return ch::kVkTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return ch::kVkReturn;
        case Qt::Key_Shift:
            return ch::kVkShift;
        case Qt::Key_Control:
            return ch::kVkControl;
        case Qt::Key_Alt:
            return ch::kVkMenu;
        case Qt::Key_Escape:
            return ch::kVkEscape;
        case Qt::Key_Space:
            return ch::kVkSpace;
        case Qt::Key_PageUp:
            return ch::kVkPrior;
        case Qt::Key_PageDown:
            return ch::kVkNext;
        case Qt::Key_End:
            return ch::kVkEnd;
        case Qt::Key_Home:
            return ch::kVkHome;
        case Qt::Key_Left:
            return ch::kVkLeft;
        case Qt::Key_Up:
            return ch::kVkUp;
        case Qt::Key_Right:
            return ch::kVkRight;
        case Qt::Key_Down:
            return ch::kVkDown;
        case Qt::Key_Insert:
            return ch::kVkInsert;
        case Qt::Key_Delete:
            return ch::kVkDelete;
        default:
            return 0;
    }
}

unsigned KanalShiftState(Qt::KeyboardModifiers m) {
    unsigned out = 0;
    if (m & Qt::ShiftModifier) out |= ch::kShiftKey;
    if (m & Qt::AltModifier) out |= ch::kAltKey;
    if (m & Qt::ControlModifier) out |= ch::kCtrlKey;
    return out;
}

std::string QStringToCp1252(const QString& text) {
    return platform::Utf8ToCp1252(text.toStdString());
}

TRichEditTarvo::TRichEditTarvo(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(false);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setTabChangesFocus(false);
    setFocusPolicy(Qt::StrongFocus);

    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    // The selection is hidden while the editor has no focus.
    pal.setColor(QPalette::Inactive, QPalette::Highlight, Qt::transparent);
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, QColor());
    setPalette(pal);

    QFont f;
    f.setFamilies({QStringLiteral("Tarvo 08x12"), QStringLiteral("DejaVu Sans Mono")});
    f.setStyleHint(QFont::Monospace);
    f.setFixedPitch(true);
    f.setPointSize(9);
    setFont(f);
    setTextColor(colorNew_);
}

QTextCharFormat TRichEditTarvo::NewFormat() const {
    QTextCharFormat f;
    f.setForeground(colorNew_);
    return f;
}

void TRichEditTarvo::SetColorNewText(const QColor& c) {
    colorNew_ = c;
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(NewFormat());
    moveCursor(QTextCursor::End);
    mergeCurrentCharFormat(NewFormat());
}

void TRichEditTarvo::InsertPlain(const QString& text) {
    QTextCursor c = textCursor();
    c.insertText(text, NewFormat());
    setTextCursor(c);
}

void TRichEditTarvo::InsertCp1252(std::string_view text) {
    InsertPlain(Cp1252ToQString(text));
}

void TRichEditTarvo::CaretToEnd() {
    moveCursor(QTextCursor::End);
}

void TRichEditTarvo::keyPressEvent(QKeyEvent* e) {
    const int key = KanalKeyCode(*e);
    const unsigned shift = KanalShiftState(e->modifiers());
    // Only Return and Down look at the text; other keys need not copy it.
    std::u16string text;
    if (key == ch::kVkReturn || key == ch::kVkDown) text = toPlainText().toStdU16String();
    const int caret = textCursor().position();
    const ch::TEditorKeyStep step =
        ch::EditorKeyStep(text, static_cast<std::size_t>(caret), key, shift);
    using A = ch::TEditorKeyAction;
    switch (step.action) {
        case A::PassOn:
            if (!e->text().isEmpty() && !(e->modifiers() & Qt::ControlModifier)) {
                // Typed text is new text, also inside a line sent before.
                QTextCursor c = textCursor();
                if (c.hasSelection()) {
                    c.removeSelectedText();
                    setTextCursor(c);
                }
                mergeCurrentCharFormat(NewFormat());
            }
            QTextEdit::keyPressEvent(e);
            return;
        case A::SendLine: {
            QTextCursor line(document());
            line.setPosition(static_cast<int>(step.lineStart));
            line.setPosition(static_cast<int>(step.lineEnd), QTextCursor::KeepAnchor);
            QTextCharFormat sent;
            sent.setForeground(colorSent_);
            line.mergeCharFormat(sent);
            QTextCursor next(document());
            if (step.appendLine) {
                next.movePosition(QTextCursor::End);
                next.insertBlock(QTextBlockFormat(), NewFormat());
            } else {
                next.setPosition(static_cast<int>(step.caretAfter));
            }
            setTextCursor(next);
            mergeCurrentCharFormat(NewFormat());
            emit SendText(QString::fromStdU16String(step.send));
            break;
        }
        case A::AppendLine: {
            QTextCursor c(document());
            c.movePosition(QTextCursor::End);
            c.insertBlock(QTextBlockFormat(), NewFormat());
            setTextCursor(c);
            break;
        }
        case A::InsertText:
            InsertPlain(QString::fromStdU16String(step.insert));
            break;
        case A::Swallow:
            break;
        case A::FocusPrevious:
            focusPreviousChild();
            break;
    }
    e->accept();
}

void TRichEditTarvo::contextMenuEvent(QContextMenuEvent* e) {
    emit ContextPopup(e->globalPos());
    e->accept();
}

bool TRichEditTarvo::canInsertFromMimeData(const QMimeData* source) const {
    return source && source->hasText();
}

void TRichEditTarvo::insertFromMimeData(const QMimeData* source) {
    // Whatever was offered arrives as plain text in the colour of new text.
    if (source && source->hasText()) InsertPlain(source->text());
}

QMimeData* TRichEditTarvo::createMimeDataFromSelection() const {
    auto* m = new QMimeData;
    m->setText(textCursor().selection().toPlainText());
    return m;
}

}  // namespace tarvo::ui
