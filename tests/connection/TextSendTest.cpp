// Sending a text job: line ends on the air, progress, the remote's abort words
// and the texts around the file. The module is driven one step at a time.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "connection/VerbindungDidaditU.h"
#include "connection/VerbindungTextSendU.h"
#include "core/StreamU.h"
#include "filesend/DateiSendenU.h"
#include "tests/support/FakeModulConnection.h"
#include "tests/support/RecordingKlaenge.h"

namespace tarvo::connection {
namespace {

using test::FakeModulConnection;
using test::RecordingKlaenge;

class TextSend : public ::testing::Test {
  protected:
    void Start(const std::string& data, std::int32_t stationType = 0) {
        fake = std::make_shared<FakeModulConnection>();
        fake->stationType = stationType;
        job = filesend::TDateiSenden::Create(fake);
        job->SetStream(std::make_unique<core::TMemoryStream>(data));
        job->SetProtokoll(kTextProtocol);
        job->SetTextBefore("SP DL1ABC\rSubject\r");
        job->SetTextAfter("NNNN\r");
        fake->SetDateiSenden(job);
        TTextTransferContext context;
        context.klaenge = &sounds;
        module = TVerbindungAbstract::Create<TVerbindungTextSend>(nullptr, fake, context);
    }
    // What the module puts on the link while the link takes it, until it stops
    // putting more (at the end of the file, or after an abort).
    std::string Pump(int rounds = 1 << 20) {
        std::string out;
        for (int i = 0; i < rounds; ++i) {
            module->OnLinkSendQueueEmpty();
            if (fake->linkSendQueue.IsEmpty()) break;
            while (auto item = fake->linkSendQueue.Pop()) {
                EXPECT_LE(item->size(), kTextPieceSize);
                out += *item;
            }
        }
        return out;
    }
    // The module has ended: its loop reports the end code.
    void End() {
        module->EventLoop();
        module->Close();
    }
    void Receive(const std::string& item) {
        fake->receiveQueue.PushString(item);
        module->OnReceive();
    }
    std::vector<std::string> SentTexts() const {
        std::vector<std::string> texts;
        for (const auto& s : fake->Sent()) texts.push_back(s.text);
        return texts;
    }

    RecordingKlaenge sounds;
    std::shared_ptr<FakeModulConnection> fake;
    std::shared_ptr<filesend::TDateiSenden> job;
    std::shared_ptr<TVerbindungTextSend> module;
};

TEST_F(TextSend, LineEndsBecomeCrAlsoAcrossPieces) {
    const std::string x255(255, 'x'), x256(256, 'x');
    struct Case {
        const char* name;
        std::string data, sent;
    };
    const Case cases[] = {
        {"CR LF", "one\r\ntwo\r\n", "one\rtwo\r"},
        {"lone LF", "one\ntwo\n", "one\rtwo\r"},
        {"CR kept", "one\rtwo", "one\rtwo"},
        {"empty lines", "a\n\n\r\n\rb", "a\r\r\r\rb"},
        {"CR LF split over two pieces", x255 + "\r\nnext", x255 + "\rnext"},
        {"LF alone in the next piece", x256 + "\n", x256 + "\r"},
        {"CR ends a piece, LF a piece of its own", x255 + "\r" + "\n", x255 + "\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.data);
        EXPECT_EQ(Pump(), c.sent);
        End();
        // Every byte of the file was consumed: the job shows 100 %.
        EXPECT_EQ(job->GetPosition(), static_cast<std::int64_t>(c.data.size()));
        EXPECT_EQ(SentTexts(), (std::vector<std::string>{"SP DL1ABC\rSubject\r", "NNNN\r"}));
        EXPECT_EQ(sounds.Events().back(), kSoundTransferSuccess);
        EXPECT_EQ(fake->DateiSenden(), nullptr);
    }
}

TEST_F(TextSend, ProgressReachesAHundredPercent) {
    std::string data;
    for (int i = 0; i < 100; ++i) data += "Line " + std::to_string(i) + " of a long text.\r\n";
    Start(data);
    float last = 0;
    for (;;) {
        const std::string piece = Pump(1);
        if (piece.empty()) break;
        EXPECT_GE(job->GetPercent(), last);
        last = job->GetPercent();
    }
    EXPECT_FLOAT_EQ(last, 100.0f);
    End();
}

TEST_F(TextSend, AnEmptyFileEndsAtOnce) {
    Start("");
    EXPECT_EQ(Pump(), "");
    End();
    EXPECT_EQ(SentTexts(), (std::vector<std::string>{"SP DL1ABC\rSubject\r", "NNNN\r"}));
    EXPECT_EQ(sounds.Events(), (std::vector<int>{kSoundTransferStart, kSoundTransferSuccess}));
}

TEST_F(TextSend, TheRemoteStopsItWithAWholeAbortLine) {
    struct Case {
        std::vector<std::string> items;
        bool stops;
    };
    const Case cases[] = {
        {{"//cut\r"}, true},
        {{"//CUT\r"}, true},
        {{"#abort#\r"}, true},
        {{"//Abort\r"}, true},
        {{"\n//CUT\r"}, true},  // after a CR LF of the remote
        {{"//C", "UT\r"}, true},
        {{"#AB", "OR", "T#\r"}, true},
        {{"//CUTX\r"}, false},
        {{"//CUT", "X\r"}, false},
        {{"x//CUT\r"}, false},
        {{"//CU\r"}, false},
        {{"Hallo\r", "//cu", "t\r"}, true},
    };
    std::string data(2000, 'a');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.items.front() + (c.items.size() > 1 ? c.items[1] : ""));
        Start(data);
        Pump(2);
        std::string received;
        for (const std::string& item : c.items) {
            Receive(item);
            received += item;
        }
        const std::string rest = Pump();
        End();
        const auto texts = SentTexts();
        if (c.stops) {
            EXPECT_EQ(rest, "");
            EXPECT_LT(job->GetPosition(), static_cast<std::int64_t>(data.size()));
            EXPECT_EQ(texts, (std::vector<std::string>{"SP DL1ABC\rSubject\r",
                                                       "<Tarvo>: Textdatei-Senden abgebrochen.\r",
                                                       "NNNN\r"}));
            EXPECT_EQ(sounds.Events().back(), kSoundTransferFailed);
        } else {
            EXPECT_EQ(job->GetPosition(), static_cast<std::int64_t>(data.size()));
            EXPECT_EQ(texts, (std::vector<std::string>{"SP DL1ABC\rSubject\r", "NNNN\r"}));
        }
        // Whatever came is shown, once.
        EXPECT_EQ(fake->ShownText(), received);
    }
}

TEST_F(TextSend, AMailboxIsNotAnsweredButTheTextAfterStillGoes) {
    Start(std::string(1000, 'b'), core::kStationMailbox);
    Pump(1);
    Receive("#ABORT#\r");
    Receive("more text\r");
    End();
    EXPECT_EQ(SentTexts(), (std::vector<std::string>{"SP DL1ABC\rSubject\r", "NNNN\r"}));
    // The text after the abort line is left for the terminal text module.
    EXPECT_EQ(fake->receiveQueue.PeekString(), "more text\r");
}

TEST_F(TextSend, TheOperatorCancelsIt) {
    Start(std::string(1000, 'c'));
    Pump(1);
    fake->SetModul(module);
    EXPECT_TRUE(module->Active());
    fake->CancelTransfer();
    End();
    EXPECT_EQ(sounds.Events().back(), kSoundTransferCancelled);
    EXPECT_EQ(SentTexts().back(), "NNNN\r");
}

}  // namespace
}  // namespace tarvo::connection
