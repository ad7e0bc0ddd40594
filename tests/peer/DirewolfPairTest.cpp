// The two-modem harness works end to end: both AGWPE ports answer, a UI frame
// from A is monitored at B, and A connects to B, sends data and disconnects.
// Frame layout and notice texts as in the recorded Dire Wolf 1.6 session.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/peer/AgwpeTestClient.h"
#include "tests/support/DirewolfPair.h"

namespace tarvo::test {
namespace {

using namespace std::chrono_literals;

// Real 1200 bd timing on a slow, shared machine: generous waits.
constexpr auto kReply = 10s;
constexpr auto kOverAir = 30s;

class DirewolfPairTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pair_.Ok()) << pair_.Error();
        std::string error;
        ASSERT_TRUE(a_.Connect(pair_.PortA(), error)) << error;
        ASSERT_TRUE(b_.Connect(pair_.PortB(), error)) << error;
    }

    void TearDown() override {
        if (HasFailure()) {
            ADD_FAILURE() << "frames at A:\n"
                          << a_.Transcript() << "frames at B:\n"
                          << b_.Transcript() << pair_.Logs();
        }
    }

    // Registers `call` and checks the engine accepted it.
    static void Register(AgwpeTestClient& client, const std::string& call) {
        ASSERT_TRUE(client.Send({.kind = 'X', .from = call}));
        auto reply = client.WaitFor(
            [&](const AgwpeFrame& f) { return f.kind == 'X' && f.from == call; }, kReply);
        ASSERT_TRUE(reply) << "no answer to X " << call;
        EXPECT_EQ(reply->data, std::string(1, '\x01'));
    }

    DirewolfPair pair_;
    AgwpeTestClient a_, b_;
};

TEST_F(DirewolfPairTest, UiFrameAndConnectedLinkBetweenTheTwoModems) {
    const std::string callA = pair_.CallA();
    const std::string callB = pair_.CallB();

    for (auto* client : {&a_, &b_}) {
        ASSERT_TRUE(client->Send({.kind = 'R'}));
        auto version = client->WaitFor([](const AgwpeFrame& f) { return f.kind == 'R'; }, kReply);
        ASSERT_TRUE(version) << "no version answer";
        EXPECT_EQ(version->data.size(), 8u);
    }

    ASSERT_TRUE(b_.Send({.kind = 'm'}));
    Register(b_, callB);
    Register(a_, callA);

    // UI frame from A, seen in B's monitor.
    ASSERT_TRUE(a_.Send({.kind = 'M', .pid = 0xF0, .from = callA, .to = "TEST", .data = "hello"}));
    auto ui = b_.WaitFor(
        [&](const AgwpeFrame& f) {
            return f.kind == 'U' && f.from == callA && f.to == "TEST" &&
                   f.data.find("\rhello\r") != std::string::npos;
        },
        kOverAir);
    ASSERT_TRUE(ui) << "B did not monitor the UI frame";
    EXPECT_NE(ui->data.find("<UI pid=F0 Len=5"), std::string::npos) << ui->Describe();

    // Connect: both notices carry from = the remote call, to = the local call.
    ASSERT_TRUE(a_.Send({.kind = 'C', .from = callA, .to = callB}));
    auto connectedA = a_.WaitFor([](const AgwpeFrame& f) { return f.kind == 'C'; }, kOverAir);
    ASSERT_TRUE(connectedA) << "A saw no connect notice";
    EXPECT_EQ(connectedA->data, "*** CONNECTED With Station " + callB + "\r" + '\0');
    EXPECT_EQ(connectedA->from, callB);
    EXPECT_EQ(connectedA->to, callA);
    auto connectedB = b_.WaitFor([](const AgwpeFrame& f) { return f.kind == 'C'; }, kOverAir);
    ASSERT_TRUE(connectedB) << "B saw no connect notice";
    EXPECT_EQ(connectedB->data, "*** CONNECTED To Station " + callA + "\r" + '\0');
    EXPECT_EQ(connectedB->from, callA);
    EXPECT_EQ(connectedB->to, callB);

    const std::string text = "Hello " + callB + ", this is " + callA + ".\r";
    ASSERT_TRUE(a_.Send({.kind = 'D', .pid = 0xF0, .from = callA, .to = callB, .data = text}));
    auto data = b_.WaitFor([](const AgwpeFrame& f) { return f.kind == 'D'; }, kOverAir);
    ASSERT_TRUE(data) << "B received no data";
    EXPECT_EQ(data->data, text);
    EXPECT_EQ(data->pid, 0xF0);
    EXPECT_EQ(data->from, callA);
    EXPECT_EQ(data->to, callB);

    ASSERT_TRUE(a_.Send({.kind = 'd', .from = callA, .to = callB}));
    auto goneA = a_.WaitFor([](const AgwpeFrame& f) { return f.kind == 'd'; }, kOverAir);
    ASSERT_TRUE(goneA) << "A saw no disconnect notice";
    EXPECT_EQ(goneA->data, "*** DISCONNECTED From Station " + callB + "\r" + '\0');
    auto goneB = b_.WaitFor([](const AgwpeFrame& f) { return f.kind == 'd'; }, kOverAir);
    ASSERT_TRUE(goneB) << "B saw no disconnect notice";
    EXPECT_EQ(goneB->data, "*** DISCONNECTED From Station " + callA + "\r" + '\0');
}

}  // namespace
}  // namespace tarvo::test
