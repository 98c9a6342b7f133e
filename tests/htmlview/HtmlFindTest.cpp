// Finding text in a message: what is found across element boundaries, in several scripts and
// cases, how the current place moves, and how the places are marked and shown.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

std::vector<std::string> Found(THtmlView& view) {
    std::vector<std::string> texts;
    for (int i = 0; i < view.FoundCount(); ++i) texts.push_back(view.FoundText(i).toStdString());
    return texts;
}

}  // namespace

TEST(HtmlFind, FindsTheTextAsTheReaderSeesIt) {
    struct Row {
        const char* name;
        std::string html;
        QString needle;
        std::vector<std::string> found;
    };
    const Row table[] = {
        {"a word across elements", "<p>Hel<b>lo</b> <i>w</i>orld</p>", "hello world", {"Hello world"}},
        {"several on one line", "<p>cat, Cat and CAT; concatenate</p>", "cat", {"cat", "Cat", "CAT", "cat"}},
        {"German umlauts in any case",
         "<p>Grüße aus MÜNCHEN, nicht aus München-Süd</p>",
         "münchen",
         {"MÜNCHEN", "München"}},
        {"an umlaut is not its base letter", "<p>Mund und Mündung</p>", "mün", {"Mün"}},
        {"Japanese", "<p>東京は日本の首都です。東京タワー</p>", "東京", {"東京", "東京"}},
        {"a line change reads as a space", "<p>first</p><p>second</p>", "first second", {"first second"}},
        {"but does not join words", "<p>first</p><p>second</p>", "firstsecond", {}},
        {"a non-breaking space is a space", "<p>10&nbsp;km</p>", "10 km", {"10\xC2\xA0km"}},
        {"hidden text is not found", "<p style='display:none'>secret</p><p>open</p>", "secret", {}},
        {"no match", "<p>Nothing here</p>", "absent", {}},
        {"empty text finds nothing", "<p>text</p>", "", {}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        THtmlView view;
        Configure(view);
        Load(view, row.html);
        EXPECT_EQ(view.FindText(row.needle), static_cast<int>(row.found.size()));
        EXPECT_EQ(Found(view), row.found);
        EXPECT_EQ(view.FoundCurrent(), row.found.empty() ? -1 : 0);
    }
}

TEST(HtmlFind, NextAndPreviousWrapAround) {
    struct Row {
        const char* name;
        std::vector<bool> steps;  // true: next
        int current;
    };
    const Row table[] = {
        {"next", {true}, 1},
        {"next past the last", {true, true, true}, 0},
        {"previous from the first", {false}, 2},
        {"there and back", {true, true, false}, 1},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        THtmlView view;
        Configure(view);
        Load(view, "<p>one ring</p><p>two rings</p><p>three RINGS</p>");
        ASSERT_EQ(view.FindText("ring"), 3);
        for (bool next : row.steps) view.FindNext(next);
        EXPECT_EQ(view.FoundCurrent(), row.current);
    }
}

TEST(HtmlFind, MarksEveryPlaceAndTheCurrentOneMoreStrongly) {
    THtmlView view;
    Configure(view);
    Load(view, "<body style='margin:0;background:#fff;color:#000'><p>mark one</p><p>mark two</p></body>");
    ASSERT_EQ(view.FindText("mark"), 2);
    const QImage shot = Shot(view);
    const QRect current = view.FoundRect(0), other = view.FoundRect(1);
    ASSERT_FALSE(current.isEmpty());
    ASSERT_FALSE(other.isEmpty());
    // The tint lies under the letters: counted over the whole box, it is most of it.
    EXPECT_GT(CountColor(shot, current, QColor(255, 150, 50), 30), current.width() * current.height() / 3);
    EXPECT_GT(CountColor(shot, other, QColor(255, 236, 120), 30), other.width() * other.height() / 3);
    EXPECT_EQ(CountColor(shot, other, QColor(255, 150, 50), 30), 0);
    view.FindText(QString());
    EXPECT_EQ(CountColor(Shot(view), other, QColor(255, 236, 120), 30), 0);
}

TEST(HtmlFind, ScrollsThePlaceIntoViewFromWhereTheReaderIs) {
    THtmlView view;
    Configure(view, 400, 200);
    Load(view,
         "<p>needle near</p><div style='height:3000px'></div><p>needle far</p>"
         "<div style='height:3000px'></div><p>needle last</p>");
    ASSERT_EQ(view.FindText("needle"), 3);
    EXPECT_EQ(view.FoundCurrent(), 0);
    EXPECT_EQ(view.VerticalPosition(), 0);
    view.FindNext(true);
    EXPECT_GT(view.VerticalPosition(), 2500);
    EXPECT_TRUE(view.viewport()->rect().contains(view.FoundRect(1)));
    // Searching again starts at the first place at or below the top edge.
    view.FindText("needle ");
    EXPECT_EQ(view.FoundCurrent(), 1);
    view.FindNext(false);
    view.FindNext(false);
    EXPECT_EQ(view.FoundCurrent(), 2);
    EXPECT_TRUE(view.viewport()->rect().contains(view.FoundRect(2)));
}

TEST(HtmlFind, ANewDocumentIsSearchedForTheSameText) {
    THtmlView view;
    Configure(view);
    QSignalSpy changed(&view, &THtmlView::FoundChanged);
    Load(view, "<p>alpha beta alpha</p>");
    ASSERT_EQ(view.FindText("alpha"), 2);
    changed.clear();
    Load(view, "<p>Alpha gamma alpha alpha</p>");
    EXPECT_EQ(view.FoundCount(), 3);
    EXPECT_EQ(view.FoundCurrent(), 0);
    EXPECT_GE(changed.count(), 1);
    Load(view, "<p>none</p>");
    EXPECT_EQ(view.FoundCount(), 0);
}
