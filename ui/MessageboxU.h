// The modal message window that asks the operator the program's questions.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "core/MessageWindowU.h"

class QPushButton;
class QScrollArea;
class QWidget;

namespace tarvo::ui {

class TDlgMessage : public QDialog, public core::IMessageWindow {
    Q_OBJECT
  public:
    explicit TDlgMessage(QWidget* owner = nullptr);

    // Modal; title and text are code page 1252. Returns the pressed button's modal
    // result, or the set's cancel result when the window is closed otherwise.
    int Run(const std::string& title, const std::string& text, unsigned buttons) override;
    static int Run(QWidget* owner, const std::string& title, const std::string& text,
                   unsigned buttons);

  public slots:
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void Build(const std::string& title, const std::string& text, unsigned buttons);

    QWidget* upper_;
    QWidget* lower_;
    QScrollArea* textBox_ = nullptr;
    std::vector<QPushButton*> buttons_;
    QPushButton* cancel_ = nullptr;
    int closeResult_ = core::mrCancel;
    bool running_ = false;
};

}  // namespace tarvo::ui
