#include "ui/HauptU.h"

namespace tarvo::ui {

THauptfenster::THauptfenster(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Tarvo Terminal"));
    setMinimumSize(340, 280);
    resize(900, 600);
}

}  // namespace tarvo::ui
