// The report of an unexpected exception: the operator goes on, copies the report
// or ends the program.
#pragma once

#include <QDialog>

#include <string>

#include "core/ExceptionReportU.h"

class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace tarvo::ui {

class TDlgUnhandledException : public QDialog, public core::IUnhandledExceptionView {
    Q_OBJECT
  public:
    explicit TDlgUnhandledException(QWidget* owner = nullptr);

    // Modal. Closing the window counts as "Fehler &ignorieren".
    core::ExceptionChoice Show(const std::string& headline, const std::string& message) override;

  public slots:
    void reject() override;

  private:
    void CopyReport();

    QScrollArea* report_ = nullptr;
    QVBoxLayout* reportSlot_;
    std::string headline_;
    std::string message_;
    bool running_ = false;
};

}  // namespace tarvo::ui
