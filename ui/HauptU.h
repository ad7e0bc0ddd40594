// The main window.
#pragma once

#include <QMainWindow>

namespace tarvo::ui {

class THauptfenster : public QMainWindow {
    Q_OBJECT
  public:
    explicit THauptfenster(QWidget* parent = nullptr);
};

}  // namespace tarvo::ui
