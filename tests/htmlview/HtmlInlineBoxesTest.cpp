// The background and padding of an inline element cover its words where they are drawn, also
// when a right-to-left line has put them in an order other than the source's.
#include <gtest/gtest.h>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

const QColor kRed(255, 0, 0), kWhite(255, 255, 255);

QImage Draw(const std::string& body, int width) {
    THtmlView view;
    Configure(view, width, 200);
    Load(view, "<!DOCTYPE html><html><body style='background:#000;margin:16px'" + body);
    return Shot(view);
}

}  // namespace

TEST(HtmlInlineBoxes, AnInlineBackgroundCoversItsWordsWhereTheyAreDrawn) {
    struct TCase {
        const char* html;  // after "<body ..."; the white words are on a red inline background
        int width;
        int padding;  // horizontal padding of the red element in pixels
    };
    const TCase cases[] = {
        // The padded link drawn as a button in a right-to-left message.
        {" dir='rtl'><p><a href='#' style='background:red;color:#fff;padding:10px 24px;text-decoration:none'>"
         "להשלמת ההזמנה</a></p>",
         600, 24},
        {" dir='rtl'><p style='color:#888'>לחצו כאן: <span style='background:red;color:#fff;padding:0 6px'>"
         "קוד הקופון שלכם</span> בקופה</p>",
         600, 6},
        {" dir='rtl'><p style='color:#888'>המחיר <b style='background:red;color:#fff'>שלושים ושניים שקלים</b>"
         " כולל מע״מ</p>",
         600, 0},
        // Latin and digits inside keep the box around the whole run.
        {" dir='rtl'><p><a href='#' style='background:red;color:#fff;padding:8px 16px'>הזמנה QX-4821 "
         "אושרה</a>"
         "</p>",
         600, 16},
        {" dir='rtl'><p><a href='#' style='background:red;color:#fff;padding:6px 12px'><b>שלום</b> לכולם"
         " <i>ולכן</i></a></p>",
         600, 12},
        // Over two lines, each line's box covers that line's words.
        {" dir='rtl'><p><span style='background:red;color:#fff'>מילים רבות מאוד שעוברות לשורה הבאה"
         " כשהרוחב צר</span></p>",
         180, 0},
        {" dir='rtl'><p><a href='#' style='background:red;color:#fff;padding:4px 10px'>Track your parcel</a>"
         "</p>",
         600, 10},
        {"><p><a href='#' style='background:red;color:#fff;padding:4px 10px'>Track your parcel</a></p>", 600,
         10},
    };
    for (const TCase& c : cases) {
        const QImage image = Draw(c.html, c.width);
        const QRect red = ColorBounds(image, kRed, 60), words = ColorBounds(image, kWhite, 60);
        ASSERT_FALSE(words.isEmpty()) << c.html;
        ASSERT_FALSE(red.isEmpty()) << c.html;
        EXPECT_TRUE(red.adjusted(-1, -1, 1, 1).contains(words)) << c.html;
        EXPECT_LE(red.left(), words.left() - c.padding + 2) << c.html;
        EXPECT_GE(red.right(), words.right() + c.padding - 2) << c.html;
        // The background fills its box, not only a sliver of it.
        EXPECT_GT(CountColor(image, red, kRed, 60), red.width() * red.height() / 3) << c.html;
    }
}

TEST(HtmlInlineBoxes, PaddingStaysOutsideTheWordsOfAReversedRun) {
    // The red element is drawn with its padding and without: its words take the same width.
    const char* const cases[] = {
        " dir='rtl'><p>לפני <a href='#' style='background:red;color:#fff;padding:4px %1px'>אישור הגעה</a> "
        "אחרי</p>",
        " dir='rtl'><p><span style='background:red;color:#fff;padding:0 %1px;border:3px solid red'>שלוש "
        "מילים כאן"
        "</span></p>",
        " dir='rtl'><p>קוד <b style='background:red;color:#fff;margin:0 %1px'>AB 12</b> לאישור</p>",
    };
    for (const char* html : cases) {
        auto words = [&](int padding) {
            return ColorBounds(Draw(QString::fromUtf8(html).arg(padding).toStdString(), 600), kWhite, 60);
        };
        const QRect bare = words(0), padded = words(40);
        ASSERT_FALSE(bare.isEmpty()) << html;
        EXPECT_NEAR(padded.width(), bare.width(), 3) << html;
    }
}
