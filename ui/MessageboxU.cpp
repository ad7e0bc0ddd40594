#include "ui/MessageboxU.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/PlainTextU.h"

namespace tarvo::ui {

namespace {

constexpr int kMargin = 12;
constexpr int kMinWidth = 330;
constexpr int kMaxTextHeight = 400;
constexpr int kButtonTop = 8;
constexpr std::size_t kMaxTitleBytes = 256;

}  // namespace

TDlgMessage::TDlgMessage(QWidget* owner) : QDialog(owner) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    upper_ = new QWidget(this);
    auto* upperLayout = new QVBoxLayout(upper_);
    upperLayout->setContentsMargins(kMargin, kMargin, kMargin, 0);
    layout->addWidget(upper_);

    // The buttons sit where the row logic puts them, not where a layout would.
    lower_ = new QWidget(this);
    layout->addWidget(lower_);
}

void TDlgMessage::Build(const std::string& title, const std::string& text, unsigned buttons) {
    for (QPushButton* b : buttons_) delete b;
    buttons_.clear();
    cancel_ = nullptr;
    delete textBox_;

    const core::MessageButtonRow row = core::MessageButtonsFor(buttons);
    const int n = static_cast<int>(row.bits.size());
    const int rowWidth =
        n * core::kMessageButtonWidth +
        std::max(0, n - 1) * (core::kMessageButtonPitch - core::kMessageButtonWidth);
    const int width = std::max(kMinWidth, rowWidth + 2 * kMargin);

    setWindowTitle(Cp1252ToShownText(title, kMaxTitleBytes).replace(QLatin1Char('\n'), ' '));
    textBox_ =
        NewPlainTextBox(Cp1252ToShownText(text), width - 2 * kMargin, kMaxTextHeight, upper_);
    upper_->layout()->addWidget(textBox_);

    lower_->setFixedSize(width, core::kMessageButtonHeight + 2 * kButtonTop);
    const std::vector<int> lefts = core::MessageButtonLefts(row.bits.size(), lower_->width());
    QPushButton* focus = nullptr;
    for (std::size_t i = 0; i < row.bits.size(); ++i) {
        const int bit = row.bits[i];
        const core::MessageButton& entry = core::kMessageButtons[static_cast<std::size_t>(bit)];
        auto* b =
            new QPushButton(QCoreApplication::translate("TDlgMessage", entry.caption), lower_);
        b->setGeometry(lefts[i], kButtonTop, core::kMessageButtonWidth, core::kMessageButtonHeight);
        const int result = entry.result;
        // A button without a result ("&Hilfe") leaves the question open.
        connect(b, &QPushButton::clicked, this, [this, result] {
            if (result != core::mrNone) done(result);
        });
        if (bit == row.defaultBit) {
            b->setDefault(true);
            focus = b;
        }
        if (bit == row.cancelBit) cancel_ = b;
        buttons_.push_back(b);
    }
    if (!focus && !buttons_.empty()) focus = buttons_.front();
    if (focus) focus->setFocus();
    closeResult_ = row.closeResult;
}

int TDlgMessage::Run(const std::string& title, const std::string& text, unsigned buttons) {
    // Asked again while a question is open (from a timer in the modal loop):
    // the open window must stay as it is.
    if (running_) {
        TDlgMessage nested(this);
        return nested.Run(title, text, buttons);
    }
    Build(title, text, buttons);
    running_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{running_};
    return exec();
}

int TDlgMessage::Run(QWidget* owner, const std::string& title, const std::string& text,
                     unsigned buttons) {
    TDlgMessage dlg(owner);
    return dlg.Run(title, text, buttons);
}

void TDlgMessage::reject() {
    done(closeResult_);
}

void TDlgMessage::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Cancel)) {
        // Without a cancel button Esc does nothing.
        if (cancel_) cancel_->click();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

}  // namespace tarvo::ui
