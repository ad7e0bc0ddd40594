#include "core/MessageWindowU.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/support/FakeMessageWindow.h"

using namespace tarvo::core;

namespace {

std::vector<std::string> Captions(const MessageButtonRow& row) {
    std::vector<std::string> out;
    for (int bit : row.bits) out.push_back(kMessageButtons[static_cast<std::size_t>(bit)].caption);
    return out;
}

std::string CaptionOf(int bit) {
    return bit < 0 ? "" : kMessageButtons[static_cast<std::size_t>(bit)].caption;
}

struct SetCase {
    unsigned buttons;
    std::vector<std::string> captions;
    std::string defaultButton;  // "" for none
    std::string cancelButton;   // "" for none
    int closeResult;
};

void PrintTo(const SetCase& c, std::ostream* os) {
    *os << "set " << c.buttons;
}

class MessageButtonSet : public ::testing::TestWithParam<SetCase> {};

TEST_P(MessageButtonSet, ButtonsDefaultAndCancel) {
    const SetCase& c = GetParam();
    const MessageButtonRow row = MessageButtonsFor(c.buttons);
    EXPECT_EQ(Captions(row), c.captions);
    EXPECT_EQ(CaptionOf(row.defaultBit), c.defaultButton);
    EXPECT_EQ(CaptionOf(row.cancelBit), c.cancelButton);
    EXPECT_EQ(row.closeResult, c.closeResult);
    EXPECT_EQ(MessageCancelResult(c.buttons), c.closeResult);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, MessageButtonSet,
    ::testing::Values(
        SetCase{3, {"&Ja", "&Nein"}, "&Ja", "&Nein", mrNo}, SetCase{4, {"&Ok"}, "&Ok", "&Ok", mrOk},
        SetCase{12, {"&Ok", "Abbrechen"}, "&Ok", "Abbrechen", mrCancel},
        // Ok wins over Ja for Enter, Abbrechen over Nein for Esc.
        SetCase{1 | 2 | 4 | 8, {"&Ja", "&Nein", "&Ok", "Abbrechen"}, "&Ok", "Abbrechen", mrCancel},
        SetCase{1 | 8, {"&Ja", "Abbrechen"}, "&Ja", "Abbrechen", mrCancel},
        // Esc falls to "&Ok", which this set lacks: no cancel button at all.
        SetCase{32 | 64, {"&Wiederholen", "&Ignorieren"}, "&Wiederholen", "", mrCancel},
        SetCase{
            16 | 32 | 64, {"Abbruch", "&Wiederholen", "&Ignorieren"}, "&Wiederholen", "", mrCancel},
        SetCase{2 | 32, {"&Nein", "&Wiederholen"}, "&Wiederholen", "&Nein", mrNo},
        SetCase{128 | 256, {"&Alle", "&Hilfe"}, "", "", mrCancel}, SetCase{0, {}, "", "", mrCancel},
        // Undefined high bits are dropped, not read past the table.
        SetCase{3u | 0xFFFFFE00u, {"&Ja", "&Nein"}, "&Ja", "&Nein", mrNo},
        SetCase{0x1FF,
                {"&Ja", "&Nein", "&Ok", "Abbrechen", "Abbruch", "&Wiederholen", "&Ignorieren",
                 "&Alle", "&Hilfe"},
                "&Ok",
                "Abbrechen",
                mrCancel}),
    [](const auto& info) { return "Set" + std::to_string(info.param.buttons); });

TEST(MessageButtonTable, ResultsAsCallersCompareThem) {
    const int expected[] = {6, 7, 1, 2, 3, 4, 5, 8, 0};
    for (std::size_t bit = 0; bit < kMessageButtons.size(); ++bit)
        EXPECT_EQ(kMessageButtons[bit].result, expected[bit]) << kMessageButtons[bit].caption;
}

struct LeftsCase {
    std::size_t count;
    int panelWidth;
    std::vector<int> lefts;
};

void PrintTo(const LeftsCase& c, std::ostream* os) {
    *os << c.count << " buttons, panel " << c.panelWidth;
}

class MessageButtonLeftsTest : public ::testing::TestWithParam<LeftsCase> {};

TEST_P(MessageButtonLeftsTest, CentredRow) {
    const LeftsCase& c = GetParam();
    EXPECT_EQ(MessageButtonLefts(c.count, c.panelWidth), c.lefts);
}

// first = width/2 - (n*79 + (n-1)*6)/2, each half rounded down.
INSTANTIATE_TEST_SUITE_P(
    Rows, MessageButtonLeftsTest,
    ::testing::Values(LeftsCase{0, 400, {}}, LeftsCase{1, 400, {161}},  // 200 - 39
                      LeftsCase{1, 401, {161}},                         // 200 - 39
                      LeftsCase{2, 400, {118, 203}},                    // 200 - 82
                      LeftsCase{3, 400, {76, 161, 246}},                // 200 - 124
                      LeftsCase{2, 164, {0, 85}},
                      // Too narrow: the row starts at the edge.
                      LeftsCase{3, 100, {0, 85, 170}}, LeftsCase{2, -50, {0, 85}},
                      // No set holds more than nine buttons.
                      LeftsCase{1000, 1000, {121, 206, 291, 376, 461, 546, 631, 716, 801}}),
    [](const auto& info) {
        const int w = info.param.panelWidth;
        return std::to_string(info.param.count) + "Buttons" + (w < 0 ? "Minus" : "") +
               std::to_string(w < 0 ? -w : w) + "Wide";
    });

TEST(FakeMessageWindow, RecordsQuestionsAndAnswersInOrderThenAsClosed) {
    tarvo::test::FakeMessageWindow w;
    IMessageWindow& asked = w;
    w.Answer(mrYes);
    EXPECT_EQ(asked.Run("Titel", "Frage?", 3), mrYes);
    EXPECT_EQ(asked.Run("Titel", "Noch einmal?", 3), mrNo);
    EXPECT_EQ(asked.Run("Fehler", "Weiter?", 32 | 64), mrCancel);
    ASSERT_EQ(w.Questions().size(), 3u);
    EXPECT_EQ(w.Questions()[1].text, "Noch einmal?");
    EXPECT_EQ(w.Questions()[2].buttons, 32u | 64u);
}

}  // namespace
