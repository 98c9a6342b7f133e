#include <gtest/gtest.h>

#include "exchange/DataUnit.h"

namespace {

std::string Field(const std::string& text) {
    std::string length = std::to_string(text.size());
    return std::string(3 - length.size(), '0') + length + text;
}

std::string Answer(const std::string& index, const std::string& title = "T") {
    return "3" + Field("Index") + Field(index) + Field("Header") + Field("H") + Field("Title") +
           Field(title) + Field("Message") + Field("<p>M</p>");
}

TNotification* Add(const std::string& index) {
    auto n = std::make_unique<TNotification>(Answer(index));
    TNotification* raw = n.get();
    AppendNotification(std::move(n));
    return raw;
}

class Store : public testing::Test {
protected:
    void SetUp() override { ClearNotifications(); }
    void TearDown() override { ClearNotifications(); }
};

TEST(Notification, IsBuiltFromAFieldList) {
    const TNotification n("205Index02-706Header02Hd05Title02Ti07Message05<b/>x05Delay015");
    EXPECT_EQ(n.Index, -7);
    EXPECT_EQ(n.Header, "Hd");
    EXPECT_EQ(n.Title, "Ti");
    EXPECT_EQ(n.Message, "<b/>x");
    EXPECT_FALSE(n.Read);

    EXPECT_EQ(TNotification("205Index033 ").Index, 0);  // trailing blank: not an integer text
    EXPECT_EQ(TNotification("205Index03$1F").Index, 31);
    const TNotification bare("15Index15");
    EXPECT_EQ(bare.Index, 5);
    EXPECT_EQ(bare.Header, "");
    EXPECT_EQ(bare.Title, "");
    EXPECT_EQ(bare.Message, "");
    EXPECT_EQ(TNotification("").Index, 0);
}

TEST_F(Store, HighestIndexNeverFallsBelowZero) {
    EXPECT_EQ(HighestIndex(), 0);
    Add("-5");
    Add("0");
    EXPECT_EQ(HighestIndex(), 0);
    Add("3");
    Add("17");
    Add("9");
    EXPECT_EQ(HighestIndex(), 17);
    Add("17");
    EXPECT_EQ(Notifications().size(), 6u);
    EXPECT_EQ(HighestIndex(), 17);
}

TEST_F(Store, NotificationIndexAnswersByIdentity) {
    TNotification* stored = Add("12");
    const TNotification outsider(Answer("12"));
    EXPECT_EQ(NotificationIndex(stored), 12);
    EXPECT_EQ(NotificationIndex(&outsider), 0);
    EXPECT_EQ(NotificationIndex(nullptr), 0);
}

TEST_F(Store, HasUnreadFollowsTheReads) {
    EXPECT_FALSE(HasUnread());
    TNotification* first = Add("1");
    EXPECT_TRUE(HasUnread());
    TNotification* second = Add("2");
    MarkRead(first);
    MarkRead(first);  // a second read changes nothing
    EXPECT_TRUE(first->Read);
    EXPECT_TRUE(HasUnread());
    MarkRead(second);
    EXPECT_FALSE(HasUnread());
    Add("3");
    EXPECT_TRUE(HasUnread());

    TNotification outsider(Answer("4"));
    MarkRead(&outsider);
    EXPECT_TRUE(outsider.Read);
    EXPECT_TRUE(HasUnread());
}

TEST_F(Store, KeepsArrivalOrderAndDuplicates) {
    TNotification* a = Add("7");
    TNotification* b = Add("7");
    TNotification* c = Add("2");
    ASSERT_EQ(Notifications().size(), 3u);
    EXPECT_EQ(Notifications()[0].get(), a);
    EXPECT_EQ(Notifications()[1].get(), b);
    EXPECT_EQ(Notifications()[2].get(), c);
    ClearNotifications();
    EXPECT_TRUE(Notifications().empty());
    EXPECT_EQ(HighestIndex(), 0);
    EXPECT_FALSE(HasUnread());
}

}  // namespace
