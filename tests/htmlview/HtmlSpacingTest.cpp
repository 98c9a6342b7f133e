// Vertical spacing as browsers give it: margins that collapse into the larger one, and lines spaced
// by the font's own line gap. Checked on the pixels of the grabbed view.
#include <gtest/gtest.h>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

const QColor kRed(255, 0, 0), kBlue(0, 0, 255);

}  // namespace

TEST(HtmlSpacing, AdjoiningMarginsCollapseIntoTheLargerOne) {
    struct TCase {
        const char* name;
        const char* first;    // style of the red block
        const char* second;   // style of the blue block after it
        int gap;              // pixels between them, as a browser leaves
        bool inFont = false;  // the blue block inside an inline element, as old messages write
    };
    const TCase cases[] = {
        {"bordered, larger below", "border-bottom:2px solid #000;margin-bottom:20px", "margin-top:12px",
         20 + 2},
        {"bordered, larger above", "border-bottom:2px solid #000;margin-bottom:8px", "margin-top:30px",
         30 + 2},
        {"padded", "padding-bottom:4px;margin-bottom:16px", "margin-top:16px", 16},
        {"plain", "margin-bottom:20px", "margin-top:12px", 20},
        {"one negative", "border-bottom:2px solid #000;margin-bottom:20px", "margin-top:-5px", 15 + 2},
        {"inside <font>", "border-bottom:2px solid #000;margin-bottom:8px", "margin-top:16px", 16 + 2, true},
    };
    for (const TCase& c : cases) {
        THtmlView view;
        Configure(view, 400, 300);
        Load(view, std::string("<body style='margin:0'><div style='background:#ff0000;height:10px;") +
                       c.first + "'></div><div style='background:#0000ff;height:10px;" + c.second +
                       "'></div></body>");
        const QImage image = Shot(view);
        const QRect red = ColorBounds(image, kRed, 10), blue = ColorBounds(image, kBlue, 10);
        ASSERT_FALSE(red.isEmpty()) << c.name;
        ASSERT_FALSE(blue.isEmpty()) << c.name;
        EXPECT_EQ(blue.top() - red.bottom() - 1, c.gap) << c.name;
    }
}

TEST(HtmlSpacing, APaddedFirstChildKeepsItsTopMarginThroughItsParent) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view,
         "<body style='margin:0'><div style='background:#ff0000;height:10px'></div><div><div "
         "style='margin-top:24px;"
         "padding:6px;background:#0000ff'><div style='height:10px'></div></div></div></body>");
    const QImage image = Shot(view);
    const QRect red = ColorBounds(image, kRed, 10), blue = ColorBounds(image, kBlue, 10);
    ASSERT_FALSE(red.isEmpty());
    ASSERT_FALSE(blue.isEmpty());
    EXPECT_EQ(blue.top() - red.bottom() - 1, 24);
    EXPECT_EQ(blue.height(), 6 + 10 + 6);
}

TEST(HtmlSpacing, MarginsStayCollapsedWhenTheWidthChanges) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view,
         "<body style='margin:0'><h2 style='border-bottom:2px solid #000;margin:0 0 20px;"
         "background:#ff0000'>Title</h2><p style='margin:12px 0;background:#0000ff'>Text</p></body>");
    for (int width : {400, 250, 500}) {
        view.resize(width, 300);
        const QImage image = Shot(view);
        const QRect red = ColorBounds(image, kRed, 10), blue = ColorBounds(image, kBlue, 10);
        ASSERT_FALSE(blue.isEmpty()) << width;
        EXPECT_EQ(blue.top() - red.bottom() - 1, 2 + 20) << width;
    }
}

TEST(HtmlSpacing, LinesAreSpacedByTheFontsLineGap) {
    // Liberation Sans at 16 pixels: ascent 14, descent 3 and a line gap of 1, as browsers round them.
    THtmlView view;
    Configure(view, 400, 300);
    Load(view,
         "<div style='font:16px \"Liberation Sans\";line-height:normal'><span style='color:#ff0000'>"
         "H</span><br><span style='color:#0000ff'>H</span></div>");
    const QImage image = Shot(view);
    const QRect red = ColorBounds(image, kRed, 80), blue = ColorBounds(image, kBlue, 80);
    ASSERT_FALSE(red.isEmpty());
    ASSERT_FALSE(blue.isEmpty());
    EXPECT_EQ(blue.top() - red.top(), 18);
}

TEST(HtmlSpacing, RaisedAndLoweredTextMakeTheirLineTaller) {
    // Each row holds one line; the row of a line with sup or sub is taller, as in browsers.
    auto rowHeight = [](const std::string& text) {
        THtmlView view;
        Configure(view, 400, 300);
        Load(view, "<body style='margin:0'><div style='font:16px \"Liberation Sans\";background:#ff0000'>" +
                       text + "</div></body>");
        return ColorBounds(Shot(view), kRed, 10).height();
    };
    const int plain = rowHeight("45 m2");
    EXPECT_GT(rowHeight("45 m<sup>2</sup>"), plain);
    EXPECT_GT(rowHeight("CO<sub>2</sub>"), plain);
}

TEST(HtmlSpacing, AFixedWidthTableKeepsItsWidthAroundAFullWidthTable) {
    // The layout of e-mail newsletters: a 600-pixel table, inside it a full-width table whose second
    // column holds a paragraph longer than the page is wide.
    const std::string paragraph(60, 'x');
    std::string text;
    for (int i = 0; i < 12; ++i) text += paragraph.substr(0, 9) + " ";
    for (const char* padding : {"0", "0 24px"}) {
        THtmlView view;
        Configure(view, 700, 300);
        view.SetMarginWidth(0);
        Load(view, std::string("<body style='margin:0'><table width='600' cellpadding='0' cellspacing='0' "
                               "style='background:#0000ff'><tr><td style='padding:") +
                       padding +
                       "'><table width='100%' cellpadding='0' cellspacing='0'><tr><td width='130'>"
                       "<div style='height:80px'></div></td><td><p>" +
                       text + "</p></td></tr></table></td></tr></table></body>");
        const QRect table = ColorBounds(Shot(view), kBlue, 10);
        EXPECT_EQ(table.width(), 600) << padding;
    }
}

TEST(HtmlSpacing, ABottomMarginCollapsesWithTheNextBlocksFirstChild) {
    struct TCase {
        const char* name;
        int before;  // bottom margin of the red block
        int parent;  // top margin of the block after it
        int child;   // top margin of that block's first child, blue
        int gap;     // as a browser leaves
    };
    const TCase cases[] = {
        {"the child's is larger", 16, 0, 24, 24},
        {"the first block's is larger", 16, 0, 10, 16},
        {"the parent's is larger", 16, 30, 24, 30},
        {"all equal", 12, 12, 12, 12},
    };
    for (const TCase& c : cases) {
        THtmlView view;
        Configure(view, 400, 300);
        Load(view, "<body style='margin:0'><p style='margin:0 0 " + std::to_string(c.before) +
                       "px;height:10px;background:#ff0000'></p><div style='margin-top:" +
                       std::to_string(c.parent) + "px'><div style='margin-top:" + std::to_string(c.child) +
                       "px;height:10px;background:#0000ff'></div></div></body>");
        const QImage image = Shot(view);
        const QRect red = ColorBounds(image, kRed, 10), blue = ColorBounds(image, kBlue, 10);
        ASSERT_FALSE(blue.isEmpty()) << c.name;
        EXPECT_EQ(blue.top() - red.bottom() - 1, c.gap) << c.name;
    }
}
