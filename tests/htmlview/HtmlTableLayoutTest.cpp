// Tables and page heights as a browser lays them out: the widths of <col> and <colgroup>, and the
// heights of the blocks that make a page as long as a browser's. Checked on the pixels of the
// grabbed view.
#include <gtest/gtest.h>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

const QColor kRed(255, 0, 0);

// Where the red part of a document is drawn, in a 600 x 300 view without a page margin.
QRect RedBounds(const std::string& body) {
    THtmlView view;
    Configure(view, 600, 300);
    Load(view, "<body style='margin:0;font:13px \"Liberation Sans\"'>" + body + "</body>");
    return ColorBounds(Shot(view), kRed, 10);
}

}  // namespace

TEST(HtmlTableLayout, ColumnElementsGiveTheirColumnsWidths) {
    // A 400 pixel table of two or three short cells; the red cell's column is the one measured.
    const std::string table = "<table style='width:400px;border-spacing:0'>";
    const std::string red = "<td style='background:#ff0000;padding:0'>a</td>";
    const std::string cell = "<td style='padding:0'>b</td>";
    struct TCase {
        const char* name;
        std::string html;
        int width;
    };
    const TCase cases[] = {
        {"per cent in a style",
         table + "<colgroup><col style='width:25%'><col></colgroup><tr>" + red + cell + "</tr></table>", 100},
        {"pixels in an attribute", table + "<col width=150><col><tr>" + red + cell + "</tr></table>", 150},
        {"the second column", table + "<col><col style='width:300px'><tr>" + cell + red + "</tr></table>",
         300},
        {"a column group's span",
         table + "<colgroup span=2 width=120></colgroup><col><tr>" + cell + red + cell + "</tr></table>",
         120},
        {"a column's span",
         table + "<col span=2 style='width:90px'><col><tr>" + cell + red + cell + "</tr></table>", 90},
        {"a first row of one spanning cell",
         table + "<col style='width:70%'><col><tr><td colspan=2>head</td></tr><tr>" + red + cell +
             "</tr></table>",
         280},
        {"a cell spanning rows above",
         table + "<col><col style='width:200px'><tr><td rowspan=2>x</td>" + cell + "</tr><tr>" + red +
             "</tr></table>",
         200},
        {"the header comes first",
         table + "<col style='width:50px'><col><tbody><tr>" + red + cell + "</tr></tbody><thead><tr>" + cell +
             cell + "</tr></thead></table>",
         50},
        {"the cell's own width stands",
         table +
             "<col style='width:50px'><col><tr><td width=220 "
             "style='background:#ff0000;padding:0'>a</td>" +
             cell + "</tr></table>",
         220},
    };
    for (const TCase& c : cases) EXPECT_EQ(RedBounds(c.html).width(), c.width) << c.name;
}

TEST(HtmlTableLayout, ColumnWidthsYieldToStyleSheetsAndContent) {
    const std::string red = "<td style='background:#ff0000;padding:0'>";
    struct TCase {
        const char* name;
        std::string html;
        int width;
    };
    const TCase cases[] = {
        {"a class rule on the cell",
         "<style>.w{width:240px}</style><table style='width:400px;border-spacing:0'><col "
         "width=60><col><tr><td class=w style='background:#ff0000;padding:0'>a</td><td>b"
         "</td></tr></table>",
         240},
        {"wide content",
         "<table style='width:400px;border-spacing:0'><col width=20><col><tr>" + red +
             "<div style='width:130px;height:5px'></div></td><td>b</td></tr></table>",
         130},
    };
    for (const TCase& c : cases) EXPECT_EQ(RedBounds(c.html).width(), c.width) << c.name;
}

TEST(HtmlTableLayout, FixedPitchTextTakesAnAbsoluteSizeUnscaled) {
    // The width of ten fixed-pitch letters, against the same letters at a size given outright.
    const auto width = [](const std::string& html) {
        THtmlView view;
        Configure(view, 600, 200);
        Load(view, "<body style='margin:0;color:#ff0000'>" + html + "</body>");
        return ColorBounds(Shot(view), kRed, 100).width();
    };
    const std::string letters = "MMMMMMMMMM";
    struct TCase {
        const char* name;
        std::string html;
        double size;  // the size the letters are drawn at
    };
    const TCase cases[] = {
        {"pre under the default size", "<pre>" + letters + "</pre>", 13},
        {"pre under pixels", "<div style='font-size:20px'><pre>" + letters + "</pre></div>", 20},
        {"code under points", "<p style='font-size:15pt'><code>" + letters + "</code></p>", 20},
        {"code under em of the default", "<div style='font-size:1.25em'><code>" + letters + "</code></div>",
         16.25},
        {"a named family", "<code style=\"font-family:'DejaVu Sans Mono',monospace\">" + letters + "</code>",
         16},
        {"a keyword after pixels",
         "<div style='font-size:20px'><div style='font-size:medium'><tt>" + letters + "</tt></div></div>",
         13},
        {"the document's own size stands",
         "<div style='font-size:20px'><pre style='font-size:11px'>" + letters + "</pre></div>", 11},
    };
    for (const TCase& c : cases) {
        const int reference =
            width("<span style=\"font:" + std::to_string(c.size) + "px monospace\">" + letters + "</span>");
        EXPECT_NEAR(width(c.html), reference, 2) << c.name;
    }
}

TEST(HtmlTableLayout, ABreakThatStartsALineMakesAnEmptyLine) {
    struct TCase {
        const char* text;
        int lines;  // lines of 30 pixels before the red block
    };
    const TCase cases[] = {
        {"a<br>b", 2},
        {"a<br><br>b", 3},
        {"a<br>\n <br>\n<br>b", 4},
        {"<br>b", 2},
        {"a<br>", 1},
        {"a<br><br>", 2},
        {"<p style='margin:0'><br></p>", 1},
        {"<div>a</div><br><div>b</div>", 3},
        {"<table style='border-spacing:0'><tr><td style='padding:0'>a</td></tr></table><br>b", 3},
        {"<b>a</b><br><i><br></i>b", 3},
        {"<span></span><br>b", 2},
        {"&nbsp;<br>b", 2},
        {"<img width=10 height=10 style='vertical-align:top'><br>b", 2},
    };
    for (const TCase& c : cases) {
        const std::string body = std::string("<div style='font:20px/30px \"Liberation Sans\"'>") + c.text +
                                 "</div><div style='height:10px;background:#ff0000'></div>";
        THtmlView view;
        Configure(view, 400, 300);
        Load(view, "<!DOCTYPE html><body style='margin:0'>" + body + "</body>");
        EXPECT_EQ(ColorBounds(Shot(view), kRed, 10).top(), 30 * c.lines) << c.text;
    }
}

TEST(HtmlTableLayout, ACellsWidthLeavesOutItsPaddingAndBorder) {
    struct TCase {
        const char* name;
        std::string cell;
        int width;  // of the red cell, border included
    };
    const TCase cases[] = {
        {"an attribute and cellpadding", "<th width=110 style='background:#ff0000'>Date</th>", 122},
        {"a style and a padding", "<td style='width:80px;padding:0 10px;background:#ff0000'>a</td>", 100},
        {"a border too",
         "<td style='width:80px;padding:0 10px;border:4px solid #ff0000;background:#ff0000'>a</td>", 108},
        {"box-sizing: border-box",
         "<td style='width:80px;padding:0 10px;box-sizing:border-box;background:#ff0000'>a</td>", 80},
        {"no padding", "<td style='width:80px;padding:0;background:#ff0000'>a</td>", 80},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(RedBounds("<table cellpadding=6 style='border-spacing:0'><tr>" + c.cell +
                            "<td>b</td></tr></table>")
                      .width(),
                  c.width)
            << c.name;
}

TEST(HtmlTableLayout, LinesOfFormControlsAreAsTallAsInBrowsers) {
    struct TCase {
        const char* control;
        int height;  // of five lines holding one each, as a browser draws them
    };
    const TCase cases[] = {
        {"<input type=radio> a", 95},
        {"<input type=checkbox> a", 95},
        {"<select><option>a</option></select>", 95},
        {"<input type=submit value=a>", 105},
        {"<input type=text value=a>", 105},
        {"<textarea rows=2></textarea>", 195},
    };
    for (const TCase& c : cases) {
        std::string body;
        for (int i = 0; i < 5; ++i) body += std::string("<div>") + c.control + "</div>";
        THtmlView view;
        Configure(view, 400, 300);
        Load(view, "<!DOCTYPE html><body style='margin:0;font:13px \"Liberation Sans\"'>" + body +
                       "<div style='height:10px;background:#ff0000'></div></body>");
        EXPECT_EQ(ColorBounds(Shot(view), kRed, 10).top(), c.height) << c.control;
    }
}

TEST(HtmlTableLayout, TextAfterResizedFixedPitchTextStandsAfterIt) {
    // Where a red letter after some fixed-pitch words is drawn, against the same words at the size
    // given outright: the words inside are measured at the size they are drawn at.
    const auto after = [](const std::string& words) {
        THtmlView view;
        Configure(view, 600, 200);
        Load(view, "<body style='margin:0'><div style='font-size:20px'>" + words +
                       "<span style='color:#ff0000'>X</span></div></body>");
        return ColorBounds(Shot(view), kRed, 100).left();
    };
    for (const char* words :
         {"one two three", "cmake --system-information | grep Qt", "<b>bold</b> and more"}) {
        const int reference = after(std::string("<span style='font:20px monospace'>") + words + "</span>");
        EXPECT_NEAR(after(std::string("<code>") + words + "</code>"), reference, 2) << words;
    }
}

TEST(HtmlTableLayout, ALastChildsBottomMarginCollapsesWithItsParents) {
    struct TCase {
        const char* outer;
        const char* inner;
        int top;  // of the red block after the outer one
    };
    const TCase cases[] = {
        {"margin-bottom:10px", "padding:5px;margin-bottom:30px", 50},
        {"margin-bottom:40px", "padding:5px;margin-bottom:30px", 60},
        {"margin-bottom:10px", "border:5px solid #000;margin-bottom:30px", 50},
        {"margin-bottom:10px", "padding:0;margin-bottom:30px", 40},
        {"margin-bottom:10px;padding-bottom:1px", "padding:5px;margin-bottom:30px", 61},
    };
    for (const TCase& c : cases) {
        THtmlView view;
        Configure(view, 400, 300);
        Load(view, std::string("<!DOCTYPE html><body style='margin:0'><div style='") + c.outer +
                       "'><div style='" + c.inner +
                       "'><div style='height:10px'></div></div></div><div "
                       "style='height:10px;background:#ff0000'></div>"
                       "</body>");
        EXPECT_EQ(ColorBounds(Shot(view), kRed, 10).top(), c.top) << c.outer << " / " << c.inner;
    }
}
