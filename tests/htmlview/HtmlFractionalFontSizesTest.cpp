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
