#include "core/QueueU.h"

#include <gtest/gtest.h>

#include <functional>

using tarvo::core::TStringQueue;

namespace {

struct Step {
    const char* what;
    std::function<std::string(TStringQueue&)> op;  // returns what the operation gave
    std::string result;
    std::size_t count;  // items afterwards
};

}  // namespace

// Both events are checked after every step: "not empty" exactly when items are
// queued, "empty" exactly when none are.
TEST(TStringQueue, EventsFollowEveryOperation) {
    const Step steps[] = {
        {"empty string is not queued",
         [](TStringQueue& q) {
             q.PushString("");
             return std::string();
         },
         "", 0},
        {"push",
         [](TStringQueue& q) {
             q.PushString("one\rtwo");
             return std::string();
         },
         "", 1},
        {"pop line leaves the rest", [](TStringQueue& q) { return q.PopLine(); }, "one\r", 1},
        {"peek", [](TStringQueue& q) { return q.PeekString(); }, "two", 1},
        {"last pop line empties", [](TStringQueue& q) { return q.PopLine(); }, "two", 0},
        {"push front of an empty text",
         [](TStringQueue& q) {
             q.PushStringFront("");
             return std::string();
         },
         "", 1},
        {"pop it", [](TStringQueue& q) { return q.PopString(); }, "", 0},
        {"push abcdef",
         [](TStringQueue& q) {
             q.PushString("abcdef");
             return std::string();
         },
         "", 1},
        {"part of it", [](TStringQueue& q) { return q.PopPart(4); }, "abcd", 1},
        {"count 0 takes nothing", [](TStringQueue& q) { return q.PopPart(0); }, "", 1},
        {"negative count takes nothing", [](TStringQueue& q) { return q.PopPart(-3); }, "", 1},
        {"the rest, exactly", [](TStringQueue& q) { return q.PopPart(2); }, "ef", 0},
        {"push x",
         [](TStringQueue& q) {
             q.PushString("x");
             return std::string();
         },
         "", 1},
        {"push front y",
         [](TStringQueue& q) {
             q.PushStringFront("y");
             return std::string();
         },
         "", 2},
        {"y first", [](TStringQueue& q) { return q.PopString(); }, "y", 1},
        {"line ending in CR pops whole",
         [](TStringQueue& q) {
             q.PopString();
             q.PushString("z\r");
             return q.PopLine();
         },
         "z\r", 0},
    };
    TStringQueue q;
    EXPECT_TRUE(q.EmptyEvent().IsSet());
    EXPECT_FALSE(q.NotEmptyEvent().IsSet());
    for (const Step& s : steps) {
        EXPECT_EQ(s.op(q), s.result) << s.what;
        EXPECT_EQ(q.Count(), s.count) << s.what;
        EXPECT_EQ(q.NotEmptyEvent().IsSet(), s.count > 0) << s.what;
        EXPECT_EQ(q.EmptyEvent().IsSet(), s.count == 0) << s.what;
    }
}

TEST(TStringQueue, PoppingAnEmptyQueueIsAProgrammingError) {
    TStringQueue q;
    EXPECT_THROW(q.PopString(), tarvo::core::TarvoAssertion);
    EXPECT_THROW(q.PopPart(5), tarvo::core::TarvoAssertion);
    EXPECT_EQ(q.PopLine(), "");
}

TEST(TQueue, GenericItemsInOrder) {
    tarvo::core::TQueue<int> q;
    q.Push(1);
    q.Push(2);
    q.PushFront(0);
    EXPECT_EQ(q.Peek(), 0);
    EXPECT_EQ(q.Pop(), 0);
    EXPECT_EQ(q.Pop(), 1);
    EXPECT_EQ(q.Pop(), 2);
    EXPECT_FALSE(q.Pop());
    EXPECT_TRUE(q.EmptyEvent().IsSet());
}

TEST(StringQueue, ALongItemGivesEveryLineInOrder) {
    tarvo::core::TStringQueue q;
    std::string item;
    for (int i = 0; i < 20000; ++i) item += std::to_string(i) + "\r";
    item += "tail";
    q.PushString(item);
    q.PushString("next");
    std::string joined;
    int lines = 0;
    while (q.PeekString() != "next") {
        const std::string line = q.PopLine();
        ASSERT_FALSE(line.empty());
        joined += line;
        ++lines;
    }
    EXPECT_EQ(joined, item);
    EXPECT_EQ(lines, 20001);
    EXPECT_EQ(q.PopLine(), "next");
    EXPECT_TRUE(q.IsEmpty());
}

// The byte count is what bounds a link's received data: every way of taking
// text out must give its bytes back.
TEST(StringQueue, BytesFollowEveryWayOfTakingText) {
    tarvo::core::TStringQueue q;
    std::string big;
    for (int i = 0; i < 2000; ++i) big += "line\r";
    q.PushString("ab\rcd");
    q.PushString(big);
    q.PushStringFront("xyz");
    EXPECT_EQ(q.Bytes(), 5 + big.size() + 3);
    q.PopPart(2);  // "xy"
    EXPECT_EQ(q.Bytes(), 1 + 5 + big.size());
    q.PopString();  // "z"
    q.PopLine();    // "ab\r"
    EXPECT_EQ(q.Bytes(), 2 + big.size());
    q.PopLine();  // "cd"
    q.PopLine();  // the first line of the big item, which is cut into lines
    EXPECT_EQ(q.Bytes(), big.size() - 5);
    q.Pop();
    EXPECT_EQ(q.Bytes(), big.size() - 10);
    q.Clear();
    EXPECT_EQ(q.Bytes(), 0u);
}
