// A message window for logic tests: records every question and answers from a
// queue the test fills.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/MessageWindowU.h"

namespace tarvo::test {

class FakeMessageWindow : public core::IMessageWindow {
  public:
    struct Question {
        std::string title;
        std::string text;
        unsigned buttons = 0;
    };

    int Run(const std::string& title, const std::string& text, unsigned buttons) override;

    // The next answers, in order. With the queue empty a question is answered as
    // if the operator closed the window.
    void Answer(int result) { answers_.push_back(result); }

    const std::vector<Question>& Questions() const { return questions_; }
    std::size_t PendingAnswers() const { return answers_.size(); }

  private:
    std::vector<Question> questions_;
    std::deque<int> answers_;
};

}  // namespace tarvo::test
