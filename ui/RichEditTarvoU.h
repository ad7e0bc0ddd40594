// A channel's input editor: the operator types lines here and sends them with
// Return. Text arrives as plain text only (typed, pasted or dropped); lines not
// yet sent and lines sent carry their own colour. The key rules come from the
// logic (channels/KanalEingabeU); this class only applies them to the document.
#pragma once

#include <QColor>
#include <QTextEdit>

#include <string>
#include <string_view>

class QKeyEvent;
class QMimeData;

namespace tarvo::ui {

// The channel's key code of a key event (0 for a key it does not know) and its
// modifier bits.
int KanalKeyCode(const QKeyEvent& e);
unsigned KanalShiftState(Qt::KeyboardModifiers modifiers);

// Typed text as it goes on the air: code page 1252, "?" for what it cannot hold.
std::string QStringToCp1252(const QString& text);

class TRichEditTarvo : public QTextEdit {
    Q_OBJECT
  public:
    explicit TRichEditTarvo(QWidget* parent = nullptr);

    // Recolours all text and puts the caret at the end.
    void SetColorNewText(const QColor& c);
    QColor ColorNewText() const { return colorNew_; }
    // The colour a line takes when it is sent.
    void SetColorSentText(const QColor& c) { colorSent_ = c; }
    QColor ColorSentText() const { return colorSent_; }

    // Code page 1252 text at the caret, as new text.
    void InsertCp1252(std::string_view text);
    void CaretToEnd();

  signals:
    // A line to send (OnSendText), with its carriage return unless Ctrl+Shift.
    void SendText(const QString& text);
    // The owner shows the channel's menu instead of the editor's own.
    void ContextPopup(const QPoint& globalPos);

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

  private:
    QTextCharFormat NewFormat() const;
    void InsertPlain(const QString& text);

    QColor colorNew_{Qt::black};
    QColor colorSent_{Qt::black};
};

}  // namespace tarvo::ui
