// The widget of a channel console: paints a TConsole and turns keys, mouse and
// wheel into the console's cursor, selection and scroll operations. All text
// decisions stay in the model; this class only maps pixels to cells and back.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "channels/ConsoleU.h"

class QPainter;

namespace tarvo::ui {

// The pixel height a console font name like "08x12" stands for; 0 when the
// name is not of that shape.
int ConsoleFontPixelSize(std::string_view name);

// Stored console bytes (code page 1252) as shown; with dos the DOS umlauts are
// shown as what they mean.
QString ConsoleDisplayText(std::string_view bytes, bool dos);

class TConsoleWidget : public QAbstractScrollArea {
    Q_OBJECT
  public:
    // kind: 0 over text (row, col), 1 over the gutter (row), 2 outside the text.
    // The answer is code page 1252 text; empty shows nothing.
    using THintFunc = std::function<std::string(int kind, int row, int col)>;
    enum { kHintText = 0, kHintGutter = 1, kHintOutside = 2 };

    // The console must outlive the widget.
    explicit TConsoleWidget(channels::TConsole& console, QWidget* parent = nullptr);
    ~TConsoleWidget() override;

    channels::TConsole& Console() const { return console_; }

    // "07x09" ... "10x18"; an unknown name keeps the font.
    void SetConsoleFont(std::string_view name);
    QSize CellSize() const { return {cellW_, cellH_}; }

    void SetShowDOS(bool on);
    bool ShowDOS() const { return showDos_; }
    void SetGutterWidth(int width);
    int GutterWidth() const { return gutterW_; }
    // Image n is drawn for mark n; without one a small coloured dot stands in.
    void SetGutterImages(QList<QPixmap> images);

    void SetBackgroundColor(const QColor& c);
    QColor BackgroundColor() const { return background_; }
    void SetGutterColor(const QColor& c);
    QColor GutterColor() const { return gutter_; }
    void SetGutterLineColor(const QColor& c);
    QColor GutterLineColor() const { return gutterLine_; }
    void SetMailboxColor(const QColor& c);
    QColor MailboxColor() const { return mailbox_; }

    void SetOnHint(THintFunc f) { onHint_ = std::move(f); }

    // The selection to the clipboard when there is one.
    void CopySelection();

    // Top left of a cell in viewport coordinates; cells outside the view too.
    QPoint CellOrigin(int col, int row) const;
    // Column with rounding to the nearest boundary, row by division.
    int ColumnAt(int x) const;
    int RowAt(int y) const;

    // Paints the part of the view within clip (viewport coordinates).
    void PaintRect(QPainter& p, const QRect& clip);

    // Takes the console's changes: scroll bars and repaint requests. Runs once
    // per burst of changes; input handlers call it at once.
    void SyncWithConsole();
    // Whether a repaint of some console waits for its timer.
    static bool RepaintPending();

  signals:
    // A left click released in the gutter where it started.
    void GutterClicked(int row);
    // The owner shows its menu; row and col of the cell under the point.
    void ContextPopup(const QPoint& globalPos, int row, int col);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void leaveEvent(QEvent* e) override;

  private:
    void UpdateViewSize();
    void SyncScrollBars();
    void UpdateMouseCursor(const QPoint& pos);
    void AutoScroll();
    void ShowHint();
    void HideHint();
    void StartDrag();
    void PaintRow(QPainter& p, int row, int y, int colFrom, int colTo, const QRect& clip);
    QColor PaletteColour(std::uint8_t code) const;

    channels::TConsole& console_;
    QFont font_;
    int cellW_ = 8, cellH_ = 16, ascent_ = 12;
    bool showDos_ = false;
    int gutterW_ = 14;
    QList<QPixmap> images_;
    QColor background_, gutter_, gutterLine_, mailbox_;
    THintFunc onHint_;

    QTimer autoScroll_, hintDelay_;
    std::uint64_t seenChanges_ = ~std::uint64_t{0};
    int seenTop_ = -1, seenLeft_ = -1;
    channels::TRgb seenBackground_{255, 255, 255};
    bool syncing_ = false;

    bool selecting_ = false;    // left button down in the text
    bool dragPending_ = false;  // left button down inside the selection
    bool gutterPress_ = false;  // left button down in the gutter
    QPoint pressPos_, mousePos_, hintOrigin_;
    bool hintShown_ = false;
    std::vector<channels::TColourRun> runs_;
};

}  // namespace tarvo::ui
