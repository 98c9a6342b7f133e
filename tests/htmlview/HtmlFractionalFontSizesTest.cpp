// Lines of text whose font size has a fraction (a heading at 1.5em of 13 px is 19.5 px): spaced
// by that size, as browsers space them, not by the whole pixel the renderer rounds it to.
// Checked on the pixels of the grabbed view.
#include <gtest/gtest.h>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

TEST(HtmlFractionalFontSizes, LinesAreSpacedByTheSizeWithItsFraction) {
    struct TCase {
        const char* parent;  // style of the element around
        const char* line;    // style of the line's block
        int height;          // the browser's height of the block, in whole pixels
    };
    const TCase cases[] = {
        {"font-size:13px;line-height:1.45", "font-size:1.5em", 28},  // 28.275
        {"font-size:13px;line-height:1.45", "font-size:150%", 28},
        {"font-size:15px", "font-size:1.3em;line-height:2", 39},
        {"font-size:13px", "font-size:1.5em;line-height:200%", 39},
        {"font-size:16px;line-height:1.45", "font-size:1.5em", 35},  // whole sizes stay as they are
        {"font-size:13px;line-height:1.45", "font-size:20px", 29},
    };
    for (const TCase& c : cases) {
        THtmlView view;
        Configure(view, 400, 200);
        Load(view, std::string("<body style='margin:0;font-family:\"Liberation Sans\"'><div style='") +
                       c.parent + "'><div style='background:#ff0000;color:#ff0000;" + c.line +
                       "'>Heading</div></div></body>");
        const QRect block = ColorBounds(Shot(view), QColor(255, 0, 0), 10);
        EXPECT_EQ(block.height(), c.height) << c.parent << " " << c.line;
    }
}

TEST(HtmlFractionalFontSizes, MarginsInEmAreCountedFromTheSizeWithItsFraction) {
    struct TCase {
        const char* rule;  // for a heading in text of 13 px (body margin 8 px), a block below it
        int top;           // where the browser draws the heading's box
        int below;         // and the block below it, give or take the pixel of fractions
    };
    const TCase cases[] = {
        {"", 16, 61},                         // 0.83em of 19.5 px: 16.185
        {"h2 { font-size: 1.3em }", 14, 53},  // 0.83em of 16.9 px: 14.027
        {"h2 { font-size: 20px }", 17, 62},   // a whole size
    };
    for (const TCase& c : cases) {
        THtmlView view;
        Configure(view, 400, 200);
        Load(view,
             std::string(
                 "<!DOCTYPE html><style>body { font: 13px 'Liberation Sans' } h2 { background: #ff0000; "
                 "line-height: 1.45 } ") +
                 c.rule + "</style><h2>Heading</h2><div style='height:10px;background:#00ff00'></div>");
        const QImage image = Shot(view);
        EXPECT_EQ(ColorBounds(image, QColor(255, 0, 0), 10).top(), c.top) << c.rule;
        EXPECT_NEAR(ColorBounds(image, QColor(0, 255, 0), 10).top(), c.below, 1) << c.rule;
    }
}
