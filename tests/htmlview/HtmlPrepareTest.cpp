// Documents built ahead of opening: when they are built, and which are kept.
#include <gtest/gtest.h>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

std::string Message(int number) {
    return "<html><body><h3>Order " + std::to_string(number) + "</h3><p>Two items, paid.</p></body></html>";
}

bool Prepared(const THtmlView& view, const std::string& html) {
    return view.IsPrepared(html.data(), static_cast<int64_t>(html.size()));
}

void Prepare(THtmlView& view, const std::string& html, TPrepare when) {
    view.PrepareBuffer(html.data(), static_cast<int64_t>(html.size()), when);
}

}  // namespace

TEST(HtmlPrepare, ASelectedMessageIsBuiltAtOnceArrivalsWhenIdle) {
    THtmlView view;
    Configure(view, 400, 300);
    const std::string arrived = Message(1), selected = Message(2);
    Prepare(view, arrived, TPrepare::WhenIdle);
    Prepare(view, selected, TPrepare::Soon);
    Settle();
    EXPECT_TRUE(Prepared(view, selected));
    EXPECT_TRUE(WaitFor([&] { return Prepared(view, arrived); }));
    // Opening one shows the document built for it; the other stays ready.
    Load(view, selected);
    EXPECT_TRUE(Prepared(view, arrived));
    EXPECT_TRUE(Prepared(view, selected));
}

TEST(HtmlPrepare, OnlyTheLastFewArrivalsAreKept) {
    THtmlView view;
    Configure(view, 400, 300);
    for (int number = 1; number <= 6; ++number) Prepare(view, Message(number), TPrepare::WhenIdle);
    ASSERT_TRUE(WaitFor([&] { return Prepared(view, Message(6)); }));
    EXPECT_TRUE(WaitFor([&] { return Prepared(view, Message(3)); }));
    EXPECT_FALSE(Prepared(view, Message(1)));
    EXPECT_FALSE(Prepared(view, Message(2)));
    // A message with form controls is built when it is opened: its widgets belong to the view.
    const std::string form = "<form><input name=a></form>";
    Prepare(view, form, TPrepare::Soon);
    Settle();
    EXPECT_FALSE(Prepared(view, form));
}
