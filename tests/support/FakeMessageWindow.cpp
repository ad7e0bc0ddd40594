#include "tests/support/FakeMessageWindow.h"

namespace tarvo::test {

int FakeMessageWindow::Run(const std::string& title, const std::string& text, unsigned buttons) {
    questions_.push_back({title, text, buttons});
    if (answers_.empty()) return core::MessageCancelResult(buttons);
    const int result = answers_.front();
    answers_.pop_front();
    return result;
}

}  // namespace tarvo::test
