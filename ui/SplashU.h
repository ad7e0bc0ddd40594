// The window shown while the program starts.
#pragma once

#include <QFrame>

#include <string>

class QLabel;

namespace tarvo::ui {

class TSplash : public QFrame {
    Q_OBJECT
  public:
    // version is code page 1252. A private build carries a notice that it is not
    // to be passed on.
    TSplash(const std::string& version, bool privateBuild, QWidget* parent = nullptr);

    // One line of what the start is doing; shown at once, even before the event
    // loop runs.
    void SetStatus(const std::string& cp1252);
    // Closes the window after ms milliseconds (clamped to 0..60000).
    void CloseLater(int ms);

  protected:
    void mousePressEvent(QMouseEvent* e) override;

  private:
    QLabel* status_;
};

}  // namespace tarvo::ui
