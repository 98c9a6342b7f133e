// Right-to-left messages as a browser draws them: where start-aligned text stands, which side a
// table's first column and a list's markers take, where the words and neutral characters of a
// mixed line land, and that finding, selecting and clicking still meet the words drawn.
#include <gtest/gtest.h>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

const QColor kRed(255, 0, 0), kBlue(0, 0, 255), kGreen(0, 160, 0), kBlack(0, 0, 0);
constexpr int kWidth = 600;

QImage Draw(const std::string& body, int height = 200) {
    THtmlView view;
    Configure(view, kWidth, height);
    Load(view, "<!DOCTYPE html><html" + body);
    return Shot(view);
}

}  // namespace

TEST(HtmlRightToLeft, StartAlignedTextStandsOnTheRightOfARightToLeftBlock) {
    struct TCase {
        const char* html;  // after "<html"; the red text is what is looked at
        bool right;
    };
    const TCase cases[] = {
        {" dir='rtl'><body><p><font color=red>שלום</font></p>", true},
        {"><body dir='rtl'><p><font color=red>שלום</font></p>", true},
        {"><body style='direction: rtl'><p><font color=red>שלום</font></p>", true},
        {"><body><div dir='rtl'><div><font color=red>שלום</font></div></div>", true},
        {"><body><table dir='rtl' width='100%'><tr><td><font color=red>שלום</font></td></tr></table>", true},
        {"><body dir='rtl'><p style='text-align: start'><font color=red>שלום</font></p>", true},
        // A table inside centred content starts its text afresh, at its own start.
        {"><body><table width='100%'><tr><td align='center'><table dir='rtl' width='100%'><tr><td>"
         "<font color=red>שלום</font></td></tr></table></td></tr></table>",
         true},
        // Written sides and the end stay; a left-to-right block inside turns back.
        {"><body dir='rtl'><p style='text-align: left'><font color=red>שלום</font></p>", false},
        {"><body dir='rtl'><p style='text-align: end'><font color=red>שלום</font></p>", false},
        {"><body dir='rtl'><div dir='ltr'><font color=red>Hello</font></div>", false},
        {"><body dir='rtl'><div dir='ltr'><p><font color=red>Hello</font></p></div>", false},
        {"><body style='text-align: left'><div dir='rtl'><font color=red>שלום</font></div>", false},
        {"><body><p><font color=red>שלום</font></p>", false},
    };
    for (const TCase& c : cases) {
        const QRect red = ColorBounds(Draw(c.html), kRed, 80);
        ASSERT_FALSE(red.isEmpty()) << c.html;
        if (c.right)
            EXPECT_GT(red.left(), kWidth / 2) << c.html;
        else
            EXPECT_LT(red.right(), kWidth / 2) << c.html;
    }
}

TEST(HtmlRightToLeft, TheFirstColumnOfARightToLeftTableIsOnTheRight) {
    struct TCase {
        const char* html;  // the red cell is the first of its row in the source
        bool right;
    };
    const TCase cases[] = {
        {" dir='rtl'><body><table width='100%'><tr><td bgcolor=red>מוצר</td><td>כמות</td><td>מחיר</td></tr>"
         "</table>",
         true},
        {"><body><table dir='rtl' width='100%'><tr><td bgcolor=red>מוצר</td><td>כמות</td></tr></table>",
         true},
        {" dir='rtl'><body><table width='100%' border=1><tr><td rowspan=2 bgcolor=red>א</td><td>ב</td>"
         "<td>ג</td></tr><tr><td>ד</td><td>ה</td></tr></table>",
         true},
        {" dir='rtl'><body><table width='100%'><tr><td colspan=2 bgcolor=red>סה״כ</td><td>3</td></tr>"
         "<tr><td>א</td><td>ב</td><td>ג</td></tr></table>",
         true},
        {"><body><table width='100%'><tr><td bgcolor=red>Product</td><td>Qty</td><td>Price</td></tr></table>",
         false},
        {" dir='rtl'><body><table dir='ltr' width='100%'><tr><td bgcolor=red>Product</td><td>Qty</td></tr>"
         "</table>",
         false},
    };
    for (const TCase& c : cases) {
        const QRect red = ColorBounds(Draw(c.html), kRed, 10);
        ASSERT_FALSE(red.isEmpty()) << c.html;
        if (c.right)
            EXPECT_GT(red.right(), kWidth - 20) << c.html;
        else
            EXPECT_LT(red.left(), 20) << c.html;
    }
}

TEST(HtmlRightToLeft, CellsOfARowSpanKeepTheirRowsMirrored) {
    // The cell under the spanning one's neighbour: ד stands right beside the spanning cell.
    const QImage image = Draw(
        " dir='rtl'><body style='margin:0'><table width='600' cellspacing=0><tr><td rowspan=2 width=200 "
        "bgcolor=red>א</td><td width=200>ב</td><td width=200>ג</td></tr><tr><td bgcolor=blue>ד</td>"
        "<td>ה</td></tr></table>");
    const QRect red = ColorBounds(image, kRed, 10), blue = ColorBounds(image, kBlue, 10);
    ASSERT_FALSE(red.isEmpty());
    ASSERT_FALSE(blue.isEmpty());
    EXPECT_GE(red.left(), 390);
    EXPECT_NEAR(blue.right(), red.left() - 1, 3);
    EXPECT_GT(blue.top(), red.top());
}

TEST(HtmlRightToLeft, LayoutsAtOtherWidthsKeepTheRightToLeftOrder) {
    // Each layout mirrors the cells and orders the words afresh, once.
    THtmlView view;
    Configure(view, kWidth, 200);
    Load(view,
         "<!DOCTYPE html><html dir='rtl'><body style='margin:0'><table width='100%' cellspacing=0><tr>"
         "<td bgcolor=red>מוצר</td><td>כמות</td></tr></table><p><font color=blue>שלום</font>"
         "<font color=green>!</font></p></body></html>");
    for (int width : {450, 700, 520}) {
        view.resize(width, 200);
        const QImage image = Shot(view);
        const QRect red = ColorBounds(image, kRed, 10), blue = ColorBounds(image, kBlue, 60),
                    green = ColorBounds(image, kGreen, 60);
        ASSERT_FALSE(red.isEmpty()) << width;
        ASSERT_FALSE(blue.isEmpty()) << width;
        ASSERT_FALSE(green.isEmpty()) << width;
        EXPECT_EQ(red.right(), width - 1) << width;
        EXPECT_LT(green.right(), blue.left()) << width;
        EXPECT_GT(blue.right(), width - 20) << width;
    }
}

TEST(HtmlRightToLeft, ListMarkersStandOnTheRightOfARightToLeftList) {
    struct TCase {
        const char* html;  // the red ink is the marker; the item's text is black
        bool right;
    };
    const TCase cases[] = {
        {" dir='rtl'><body><ul><li style='color:red'><font color=black>פריט ראשון</font></li></ul>", true},
        {" dir='rtl'><body><ol><li style='color:red'><font color=black>פריט ראשון</font></li></ol>", true},
        {"><body><ul dir='rtl'><li style='color:red'><font color=black>פריט</font></li></ul>", true},
        {"><body><ul><li style='color:red'><font color=black>first item</font></li></ul>", false},
        {"><body><ol><li style='color:red'><font color=black>first item</font></li></ol>", false},
    };
    for (const TCase& c : cases) {
        const QImage image = Draw(c.html);
        const QRect marker = ColorBounds(image, kRed, 80), text = ColorBounds(image, kBlack, 80);
        ASSERT_FALSE(marker.isEmpty()) << c.html;
        ASSERT_FALSE(text.isEmpty()) << c.html;
        if (c.right) {
            EXPECT_GT(marker.left(), text.right()) << c.html;
            // The list's indent is on the right, where the marker stands.
            EXPECT_LT(marker.right(), kWidth - 8) << c.html;
            EXPECT_LT(text.right(), kWidth - 40) << c.html;
        } else {
            EXPECT_LT(marker.right(), text.left()) << c.html;
        }
    }
}

TEST(HtmlRightToLeft, WordsAndNeutralsLandWhereTheBidirectionalOrderPutsThem) {
    struct TCase {
        const char* name;
        const char* html;
        // Colours from left to right as drawn.
        std::vector<QColor> order;
    };
    const TCase cases[] = {
        {"an exclamation mark ends a Hebrew sentence on its left",
         " dir='rtl'><body><p><font color=blue>שלום עולם</font><font color=red>!</font></p>",
         {kRed, kBlue}},
        {"a colon after a Hebrew word",
         " dir='rtl'><body><p><font color=blue>טלפון</font><font color=red>:</font></p>",
         {kRed, kBlue}},
        {"a Latin order code between Hebrew words",
         " dir='rtl'><body><p><font color=blue>הזמנה</font> <font color=red>HE-77120</font> "
         "<font color=green>התקבלה</font></p>",
         {kGreen, kRed, kBlue}},
        {"Latin words keep their order inside Hebrew",
         " dir='rtl'><body><p><font color=blue>Order</font> <font color=red>Code</font> "
         "<font color=green>בהצלחה</font></p>",
         {kGreen, kBlue, kRed}},
        {"Hebrew words in a left-to-right paragraph run from the right",
         "><body><p>Name: <font color=blue>דנה</font> <font color=red>לוי</font></p>",
         {kRed, kBlue}},
        {"Arabic with a number",
         " dir='rtl'><body><p><font color=blue>الطلب</font> <font color=red>42</font></p>",
         {kRed, kBlue}},
        {"a number broken after its hyphen stays whole in Hebrew",
         " dir='rtl'><body><p>התקשרו <font color=blue>800-</font><font color=red>555.</font></p>",
         {kBlue, kRed}},
        {"hyphens only separate numbers in Arabic",
         " dir='rtl'><body><p>اتصل <font color=blue>800-</font><font color=red>555.</font></p>",
         {kRed, kBlue}},
        {"left to right stays",
         "><body><p><font color=blue>first</font> <font color=red>second</font></p>",
         {kBlue, kRed}},
    };
    for (const TCase& c : cases) {
        const QImage image = Draw(c.html);
        int previousRight = -1;
        for (const QColor& colour : c.order) {
            const QRect bounds = ColorBounds(image, colour, 60);
            ASSERT_FALSE(bounds.isEmpty()) << c.name << " " << colour.name().toStdString();
            EXPECT_GT(bounds.left(), previousRight) << c.name << " " << colour.name().toStdString();
            previousRight = bounds.right();
        }
    }
}

TEST(HtmlRightToLeft, AWordEndingInPunctuationIsDrawnFromTheRight) {
    // One word with its punctuation: drawn as in a browser, the same pixels as the word written in
    // visual order in a left-to-right line.
    struct TCase {
        const char* logical;
        const char* visual;  // the same characters in a left-to-right line, left to right
    };
    const TCase cases[] = {
        {"עולם!", "!\xE2\x80\x8E\xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D"},
        {"123.",
         ".\xE2\x80\x8E"
         "123"},
    };
    for (const TCase& c : cases) {
        const std::string style = " style='margin:0;font:20px \"DejaVu Sans\"'";
        const QImage logical = Draw(" dir='rtl'><body" + style + "><p>" + c.logical + "</p>");
        const QImage visual =
            Draw("><body" + style + "><p style='text-align:right'><bdo dir=ltr>" + c.visual + "</bdo></p>");
        const QRect ink = ColorBounds(visual, kBlack, 100);
        ASSERT_FALSE(ink.isEmpty()) << c.logical;
        EXPECT_EQ(ColorBounds(logical, kBlack, 100), ink) << c.logical;
        int differing = 0;
        for (int y = ink.top(); y <= ink.bottom(); ++y)
            for (int x = ink.left(); x <= ink.right(); ++x)
                differing += std::abs(qGray(logical.pixel(x, y)) - qGray(visual.pixel(x, y))) > 96 ? 1 : 0;
        EXPECT_LT(differing, ink.width() * ink.height() / 20) << c.logical;
    }
}

TEST(HtmlRightToLeft, FindingSelectingAndLinksMeetTheWordsAsDrawn) {
    THtmlView view;
    Configure(view, kWidth, 200);
    std::vector<ByteString> clicked;
    view.OnLinkClick = [&clicked](THtmlView*, const ByteString& src, bool& handled) {
        clicked.push_back(src);
        handled = true;
    };
    Load(view,
         "<!DOCTYPE html><html dir='rtl'><body style='margin:0'><p><a href='#one' style='color:red'>קישור "
         "ראשון ארוך</a> <a href='#two' style='color:blue'>שני</a> סוף</p></body></html>");
    const QImage image = Shot(view);
    const QRect red = ColorBounds(image, kRed, 80), blue = ColorBounds(image, kBlue, 80);
    ASSERT_FALSE(red.isEmpty());
    ASSERT_FALSE(blue.isEmpty());
    ASSERT_GT(red.left(), blue.right());

    struct TClick {
        QPoint at;
        const char* target;
    };
    const TClick clicks[] = {
        {red.center(), "#one"},
        {QPoint(red.left() + 3, red.center().y()), "#one"},
        {QPoint(red.right() - 3, red.center().y()), "#one"},
        {blue.center(), "#two"},
    };
    for (const TClick& c : clicks) {
        clicked.clear();
        Click(view.viewport(), c.at);
        Settle();
        ASSERT_EQ(clicked.size(), 1u) << c.target;
        EXPECT_EQ(clicked.front(), c.target);
    }

    struct TFind {
        QString needle;
        QRect drawn;
    };
    const TFind finds[] = {{QString::fromUtf8("שני"), blue}, {QString::fromUtf8("ראשון"), red}};
    for (const TFind& f : finds) {
        ASSERT_EQ(view.FindText(f.needle), 1);
        EXPECT_TRUE(view.FoundRect(0).intersects(f.drawn)) << f.needle.toStdString();
    }
    view.FindText(QString());

    Drag(view.viewport(), QPoint(blue.right() + 1, blue.center().y()),
         QPoint(blue.left() - 1, blue.center().y()));
    EXPECT_EQ(view.SelectedText().trimmed(), QString::fromUtf8("שני"));
}
