// The main window's client area: output, splitter 1, input with its gutter,
// splitter 2 with the channel bar, and monitor, stacked and placed by hand.
#pragma once

#include <QLabel>
#include <QWidget>

#include <utility>
#include <vector>

#include "channels/HauptLayoutU.h"

class QStackedWidget;
class QToolButton;

namespace tarvo::ui {

// A status bar panel whose text is shortened to fit: in the middle for paths,
// at the end otherwise.
class TStatusPanel : public QLabel {
    Q_OBJECT
  public:
    explicit TStatusPanel(Qt::TextElideMode mode, QWidget* parent = nullptr);
    // The text as drawn (for the tests).
    QString ShownText() const;
    // The width that shows the text in full.
    int WidthFor(const QString& text) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Qt::TextElideMode mode_;
};

// One tool button per action, left to right, wrapping onto further rows.
class TChannelBar : public QWidget {
    Q_OBJECT
  public:
    explicit TChannelBar(QWidget* parent = nullptr);

    QWidget* widgetForAction(QAction* action) const;
    QAction* actionAt(const QPoint& pos) const;
    void setToolButtonStyle(Qt::ToolButtonStyle style);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void HeightChanged();

  protected:
    void actionEvent(QActionEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

  private:
    // Places the buttons for the width; the height they need.
    int Arrange(int width, bool apply) const;
    QToolButton* ButtonOf(QAction* action) const;

    std::vector<std::pair<QAction*, QToolButton*>> buttons_;
    Qt::ToolButtonStyle style_ = Qt::ToolButtonTextBesideIcon;
    int lastHeight_ = 0;
};

// A bar that moves the border between the panes when dragged; it may carry a
// widget (its dock).
class TSplitterBar : public QWidget {
    Q_OBJECT
  public:
    explicit TSplitterBar(QWidget* content, QWidget* parent = nullptr);
    int DockHeight(int width) const;

  signals:
    // The distance from where the drag began.
    void DragBegun();
    void Dragged(int dy);
    void DragEnded();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool Press(const QPoint& global);
    void Move(const QPoint& global);
    void Release();

    QWidget* content_;
    bool dragging_ = false;
    int startY_ = 0;
};

class TPaneStack : public QWidget {
    Q_OBJECT
  public:
    explicit TPaneStack(QWidget* parent = nullptr);

    QStackedWidget* OutputPane() const { return output_; }
    QStackedWidget* InputPane() const { return input_; }
    QStackedWidget* MonitorPane() const { return monitor_; }
    TChannelBar* ChannelBar() const { return channelBar_; }
    TSplitterBar* Splitter1() const { return splitter1_; }
    TSplitterBar* Splitter2() const { return splitter2_; }
    QWidget* Gutter() const { return gutter_; }

    // The stored heights, applied at the first layout (values that do not fit
    // are left for the defaults).
    void SetStoredHeights(int inputHeight, int monitorHeight);
    const channels::TPaneHeights& Heights() const { return heights_; }

    static constexpr int kGutterWidth = 13;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void Place();
    void UpdateDocks();

    QStackedWidget* output_;
    TSplitterBar* splitter1_;
    QWidget* inputRow_;
    QWidget* gutter_;
    QStackedWidget* input_;
    TChannelBar* channelBar_;
    TSplitterBar* splitter2_;
    QStackedWidget* monitor_;
    channels::TPaneHeights heights_;
    channels::TPaneHeights dragStart_;
    int storedInput_ = 64;
    int storedMonitor_ = 64;
    bool laidOut_ = false;
};

}  // namespace tarvo::ui
