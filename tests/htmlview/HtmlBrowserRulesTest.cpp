// What every message meets, drawn as a browser draws it: the page margin, the precedence of
// presentational attributes, media queries, numeric font weights, colours the renderer cannot
// read, the smaller rules of older mail, line heights and list markers, letter and word spacing,
// small capitals and the language's families. Checked on the pixels of the grabbed view.
#include <gtest/gtest.h>

#include <cmath>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

const QColor kRed(255, 0, 0), kBlue(0, 0, 255), kGreen(0, 255, 0), kBlack(0, 0, 0);

QImage Draw(const std::string& html, int width = 400, int height = 300) {
    THtmlView view;
    Configure(view, width, height);
    Load(view, html);
    return Shot(view);
}

// Where the red text or box of a document is drawn, in a 600 x 200 view.
QRect RedBounds(const std::string& body, int tolerance = 80) {
    THtmlView view;
    Configure(view, 600, 200);
    Load(view, "<body style='margin:0;font-family:\"Liberation Sans\"'>" + body + "</body>");
    return ColorBounds(Shot(view), kRed, tolerance);
}

// Dark pixels of the text drawn in a box: how much ink it takes.
int Ink(const QImage& image) {
    return CountColor(image, image.rect(), kBlack, 100);
}

}  // namespace

TEST(HtmlBrowserRules, TheBodyMarginIsThePageMargin) {
    struct TCase {
        const char* body;
        QRect box;  // where a 20 pixel high block is drawn in a 400 x 300 view
    };
    const TCase cases[] = {
        {"<body>", QRect(8, 8, 384, 20)},
        {"<body style='margin:0'>", QRect(0, 0, 400, 20)},
        {"<body style='margin:20px 30px'>", QRect(30, 20, 340, 20)},
        {"<body topmargin=0 style='margin:4px'>", QRect(4, 4, 392, 20)},
    };
    for (const TCase& c : cases) {
        const QImage image = Draw(std::string(c.body) + "<div style='height:20px;background:#ff0000'></div>");
        EXPECT_EQ(ColorBounds(image, kRed, 10), c.box) << c.body;
    }
}

TEST(HtmlBrowserRules, TheViewsOwnMarginsDoNotNarrowTheDocument) {
    for (int margin : {0, 5, 10, 20}) {
        THtmlView view;
        Configure(view, 400, 300);
        view.SetMarginWidth(margin);
        view.SetMarginHeight(margin);
        Load(view, "<div style='height:20px;background:#ff0000'></div>");
        EXPECT_EQ(ColorBounds(Shot(view), kRed, 10), QRect(8, 8, 384, 20)) << margin;
    }
}

TEST(HtmlBrowserRules, StyleSheetRulesOverridePresentationalAttributes) {
    struct TCase {
        const char* name;
        const char* html;
        QColor present, absent;
    };
    const TCase cases[] = {
        {"a class background beats bgcolor",
         "<style>.x{background:#0000ff}</style><table><tr><td class=x bgcolor=#ff0000 width=60 "
         "height=20></td></tr></table>",
         kBlue, kRed},
        {"a type rule beats bgcolor",
         "<style>td{background-color:#0000ff}</style><table><tr><td bgcolor=#ff0000 width=60 "
         "height=20></td></tr></table>",
         kBlue, kRed},
        {"a class rule beats the body's bgcolor",
         "<style>.page{background:#0000ff}</style><body class=page bgcolor=#ff0000><p>text</p></body>", kBlue,
         kRed},
        {"bgcolor stands where no rule says otherwise",
         "<table><tr><td bgcolor=#ff0000 width=60 height=20></td></tr></table>", kRed, kBlue},
        {"the element's own style beats bgcolor",
         "<table><tr><td bgcolor=#ff0000 style='background:#0000ff' width=60 height=20></td></tr></table>",
         kBlue, kRed},
    };
    for (const TCase& c : cases) {
        const QImage image = Draw(c.html);
        EXPECT_GT(CountColor(image, image.rect(), c.present, 10), 0) << c.name;
        EXPECT_EQ(CountColor(image, image.rect(), c.absent, 10), 0) << c.name;
    }
}

TEST(HtmlBrowserRules, AClassPaddingBeatsCellpadding) {
    struct TCase {
        const char* table;
        int left, top;  // of the red block from the blue cell's edge
    };
    const TCase cases[] = {
        {"<table class=card cellpadding=0 cellspacing=0>", 20, 14},
        {"<table cellpadding=0 cellspacing=0>", 0, 0},
        {"<table cellpadding=6 cellspacing=0>", 6, 6},
    };
    for (const TCase& c : cases) {
        const QImage image =
            Draw(std::string("<style>.card td{padding:14px 20px}</style>") + c.table +
                 "<tr><td style='background-color:#0000ff;width:60px;height:40px;vertical-align:top'><div "
                 "style='width:10px;height:10px;"
                 "background:#ff0000'></div></td></tr></table>");
        const QRect blue = ColorBounds(image, kBlue, 10), red = ColorBounds(image, kRed, 10);
        ASSERT_FALSE(red.isEmpty()) << c.table;
        EXPECT_EQ(red.left() - blue.left(), c.left) << c.table;
        EXPECT_EQ(red.top() - blue.top(), c.top) << c.table;
    }
}

TEST(HtmlBrowserRules, AClassAlignmentBeatsTheAlignAttribute) {
    const QImage image = Draw(
        "<style>.r{text-align:right}</style><div class=r align=left style='width:200px'><span "
        "style='display:inline-block;width:10px;height:10px;background:#ff0000'></span></div><div "
        "style='width:200px;height:10px;background:#0000ff'></div>");
    EXPECT_EQ(ColorBounds(image, kRed, 10).right(), ColorBounds(image, kBlue, 10).right());
}

TEST(HtmlBrowserRules, MediaQueriesMatchADesktopBrowserInLightMode) {
    struct TCase {
        const char* query;
        bool applies;  // in a view 400 pixels wide
    };
    const TCase cases[] = {
        {"(prefers-color-scheme: dark)", false},
        {"(prefers-color-scheme: light)", true},
        {"screen and (prefers-color-scheme: dark)", false},
        {"(prefers-reduced-motion: reduce)", false},
        {"(prefers-reduced-motion)", false},
        {"(-webkit-min-device-pixel-ratio: 2)", false},
        {"(min-resolution: 192dpi)", false},
        {"(-webkit-min-device-pixel-ratio: 1)", true},
        {"screen and (min-width: 0\\0)", false},
        {"(unknown-feature: 1)", false},
        {"(hover: hover)", true},
        {"(max-width: 600px)", true},
        {"(min-width: 600px)", false},
        {"only screen and (max-width: 600px)", true},
        {"(width >= 300px)", true},
        {"(width <= 300px)", false},
        {"screen", true},
        {"print", false},
        {"print, (prefers-color-scheme: light)", true},
        {"not all and (prefers-color-scheme: dark)", true},
    };
    for (const TCase& c : cases) {
        const std::string sheet =
            std::string("div{background:#0000ff} @media ") + c.query + " { div{background:#ff0000} }";
        const QImage image = Draw("<style>" + sheet + "</style><div style='height:20px'></div>");
        EXPECT_EQ(CountColor(image, image.rect(), kRed, 10) > 0, c.applies) << c.query;
        EXPECT_EQ(CountColor(image, image.rect(), kBlue, 10) > 0, !c.applies) << c.query;
    }
}

TEST(HtmlBrowserRules, AStyleSheetForDarkModeIsLeftOut) {
    const QImage image = Draw(
        "<style>div{background:#0000ff}</style><style media='(prefers-color-scheme: dark)'>"
        "div{background:#ff0000}</style><div style='height:20px'></div>");
    EXPECT_EQ(CountColor(image, image.rect(), kRed, 10), 0);
    EXPECT_GT(CountColor(image, image.rect(), kBlue, 10), 0);
}

TEST(HtmlBrowserRules, NumericWeightsFromSixHundredDrawBold) {
    auto ink = [](const std::string& style) {
        return Ink(Draw("<div style='font-size:24px;font-family:\"Liberation Sans\";color:#000;" + style +
                        "'>HHHHHHHH</div>"));
    };
    const int regular = ink("font-weight:normal");
    const int bold = ink("font-weight:bold");
    ASSERT_GT(bold, regular * 5 / 4);
    struct TCase {
        const char* style;
        bool bold;
    };
    const TCase cases[] = {
        {"font-weight:400", false},
        {"font-weight:500", false},
        {"font-weight:600", true},
        {"font-weight:700", true},
        {"font-weight:800", true},
        {"font-weight:700 !important", true},
        {"font:700 24px \"Liberation Sans\"", true},
        {"font:normal 600 24px/30px \"Liberation Sans\"", true},
    };
    for (const TCase& c : cases) EXPECT_EQ(ink(c.style), c.bold ? bold : regular) << c.style;
}

TEST(HtmlBrowserRules, ColoursThatCannotBeReadAreIgnoredAndGradientsShowTheirColour) {
    const std::string red = DataUri(Picture(6, 6, kRed));
    struct TCase {
        std::string declaration;
        QColor expected;  // at the middle of a box whose class gives it green
    };
    const std::vector<TCase> cases = {
        {"background: linear-gradient(#0000ff, #0000ff)", kBlue},
        {"background: linear-gradient(to right, #0000ff 0%, #0000ff 100%) no-repeat", kBlue},
        {"background-image: linear-gradient(#0000ff, #0000ff)", kBlue},
        {"background-color: hsl(240, 100%, 50%)", kBlue},
        {"background-color: hsla(240deg 100% 50% / 1)", kBlue},
        {"background-color: rgb(0 0 255)", kBlue},
        {"background-color: #0000ff80", QColor(127, 127, 255)},
        {"background-color: #00f8", QColor(119, 119, 255)},
        {"background-color: var(--brand, #0000ff)", kBlue},
        {"--brand: #0000ff; background-color: var(--brand)", kBlue},
        {"background-color: var(--missing)", kGreen},
        {"background-color: notacolour", kGreen},
        {"background: mystery", kGreen},
        {"background: url(" + red + ") no-repeat #0000ff", kBlue},
        {"background: #0000ff url(" + red + ") no-repeat center / cover", kBlue},
    };
    for (const TCase& c : cases) {
        const QImage image = Draw(
            "<style>.g{background:#00ff00}</style><body style='margin:0'><div class=g "
            "style='height:40px;width:100px;" +
            c.declaration + "'></div></body>");
        const QColor middle = image.pixelColor(50, 35);
        EXPECT_NEAR(middle.red(), c.expected.red(), 6) << c.declaration;
        EXPECT_NEAR(middle.green(), c.expected.green(), 6) << c.declaration;
        EXPECT_NEAR(middle.blue(), c.expected.blue(), 6) << c.declaration;
    }
}

TEST(HtmlBrowserRules, ABackgroundShorthandKeepsItsPictureBesideItsColour) {
    const std::string red = DataUri(Picture(6, 6, kRed));
    const QImage image = Draw("<body style='margin:0'><div style='height:40px;width:100px;background:url(" +
                              red + ") no-repeat #0000ff'></div></body>");
    EXPECT_EQ(CountColor(image, QRect(0, 0, 6, 6), kRed, 10), 36);
    EXPECT_EQ(image.pixelColor(50, 30), kBlue);
}

TEST(HtmlBrowserRules, AnUnreadableTextColourLeavesTheInheritedOne) {
    for (const char* color : {"bogus", "#12", "rgb(1,2)", "var(--nothing)", "currentcolor"}) {
        const QImage image =
            Draw(std::string("<div style='color:#0000ff;font-size:24px'><span style='color:") + color +
                 "'>HHHH</span></div>");
        EXPECT_GT(CountColor(image, image.rect(), kBlue, 60), 20) << color;
        EXPECT_EQ(CountColor(image, image.rect(), kBlack, 60), 0) << color;
    }
}

TEST(HtmlBrowserRules, CentredContentCentresBlockPicturesAndParagraphsWithAWidth) {
    const std::string red = DataUri(Picture(40, 10, kRed));
    struct TCase {
        std::string inside;
        int left;  // in a 400 pixel view without page margins: (400 - 40) / 2
    };
    const std::vector<TCase> cases = {
        {"<img src='" + red + "' style='display:block'>", 180},
        {"<p style='width:40px;height:10px;background:#ff0000;margin:0'></p>", 180},
        {"<div style='width:40px;height:10px;background:#ff0000'></div>", 180},
    };
    for (const TCase& c : cases)
        for (const char* wrap : {"<div align=center>", "<center>"}) {
            const std::string close = wrap[1] == 'c' ? "</center>" : "</div>";
            const QImage image = Draw(std::string("<body style='margin:0'>") + wrap + c.inside + close);
            EXPECT_EQ(ColorBounds(image, kRed, 10).left(), c.left) << wrap << c.inside;
        }
}

TEST(HtmlBrowserRules, TheAuthorsLinkRulesBeatTheBodysLinkColour) {
    struct TCase {
        const char* html;
        QColor link;
    };
    const TCase cases[] = {
        {"<style>a.alt{color:#0000ff}</style><body link=#ff0000><a class=alt href='x'>HHHH</a>", kBlue},
        {"<style>.box a{color:#0000ff}</style><body link=#ff0000><div class=box><a href='x'>HHHH</a></div>",
         kBlue},
        {"<body link=#ff0000><a href='x'>HHHH</a>", kRed},
    };
    for (const TCase& c : cases) {
        const QImage image = Draw(c.html);
        const QColor other = c.link == kRed ? kBlue : kRed;
        EXPECT_GT(CountColor(image, image.rect(), c.link, 60), 10) << c.html;
        EXPECT_EQ(CountColor(image, image.rect(), other, 60), 0) << c.html;
    }
}

TEST(HtmlBrowserRules, TheFontShorthandReadsQuotedAndMultiWordFamilies) {
    auto width = [](const std::string& style) {
        const QImage image = Draw("<span style=\"color:#ff0000;" + style + "\">Wide words here</span>");
        return ColorBounds(image, kRed, 100).width();
    };
    const int reference = width("font-size:16px;font-family:'DejaVu Sans'");
    const int serif = width("font-size:16px;font-family:'Liberation Serif'");
    ASSERT_NE(reference, serif);
    for (const char* style :
         {"font:16px 'DejaVu Sans'", "font:16px DejaVu Sans", "font: normal 16px/20px 'DejaVu Sans', serif"})
        EXPECT_EQ(width(style), reference) << style;
}

TEST(HtmlBrowserRules, FixedPitchTextTakesTheDesktopsMonospaceFamily) {
    // The drawn text itself, cut to its ink: both families have the same advance.
    auto ink = [](const std::string& html) {
        const QImage image = Draw(html);
        return image.copy(ColorBounds(image, kRed, 100));
    };
    const QImage desktop = ink("<span style='color:#ff0000;font:13px \"DejaVu Sans Mono\"'>mono gap</span>");
    const QImage standIn = ink("<span style='color:#ff0000;font:13px \"Liberation Mono\"'>mono gap</span>");
    ASSERT_NE(desktop, standIn);
    for (const char* html :
         {"<pre style='color:#ff0000'>mono gap</pre>",
          "<code style='color:#ff0000;font-size:13px'>mono gap</code>",
          "<span style='color:#ff0000;font:13px Menlo, Consolas, monospace'>mono gap</span>"})
        EXPECT_EQ(ink(html), desktop) << html;
}

TEST(HtmlBrowserRules, FractionalLineHeightsAddUpOverManyLines) {
    struct TCase {
        const char* name;
        const char* style;  // of each block
        int blocks;
        int lines;          // per block
        double lineHeight;  // as a browser computes it
        int tolerance;      // pixels
    };
    const TCase cases[] = {
        {"13 px x 1.45, one-line items", "font-size:13px;line-height:1.45", 40, 1, 18.85, 1},
        {"16 px x 1.3, one-line items", "font-size:16px;line-height:1.3", 30, 1, 20.8, 1},
        {"five-line paragraphs", "font-size:13px;line-height:1.45", 8, 5, 18.85, 3},
        {"a length with a fraction", "font-size:15px;line-height:21.5px", 20, 1, 21.5, 1},
        {"in em", "font-size:14px;line-height:1.35em", 30, 1, 18.9, 1},
        {"whole line heights stay whole", "font-size:16px;line-height:1.5", 20, 1, 24, 0},
    };
    for (const TCase& c : cases) {
        std::string html = "<body style='margin:0;font-family:\"Liberation Sans\"'>";
        for (int block = 0; block < c.blocks; ++block) {
            html += std::string("<div style='") + c.style + "'>";
            for (int line = 0; line < c.lines; ++line) html += line == 0 ? "item" : "<br>item";
            html += "</div>";
        }
        html += "<div style='height:10px;background:#ff0000'></div></body>";
        THtmlView view;
        Configure(view, 400, 860);
        Load(view, html);
        const QRect red = ColorBounds(Shot(view), kRed, 10);
        ASSERT_FALSE(red.isEmpty()) << c.name;
        const double expected = c.blocks * c.lines * c.lineHeight;
        EXPECT_LE(std::abs(red.top() - expected), c.tolerance) << c.name << ": " << red.top();
    }
}

TEST(HtmlBrowserRules, ListMarkersStandOnTheBaselineOfTheirText) {
    // The marker (red) and the digits of the item's text (blue) end on one baseline.
    struct TCase {
        const char* list;
        const char* lineHeight;
    };
    const TCase cases[] = {
        {"ol", "normal"}, {"ol", "1.45"}, {"ol", "2.2"}, {"ol", "40px"}, {"ul", "2.2"},
    };
    for (const TCase& c : cases) {
        THtmlView view;
        Configure(view, 400, 300);
        Load(view, std::string("<") + c.list +
                       " style='font:16px \"Liberation Sans\";line-height:" + c.lineHeight +
                       ";color:#ff0000'><li><span style='color:#0000ff'>1234</span></li></" + c.list + ">");
        const QImage image = Shot(view);
        const QRect marker = ColorBounds(image, kRed, 80), text = ColorBounds(image, QColor(0, 0, 255), 80);
        ASSERT_FALSE(marker.isEmpty()) << c.list << " " << c.lineHeight;
        ASSERT_FALSE(text.isEmpty()) << c.list << " " << c.lineHeight;
        if (std::string(c.list) == "ol")
            EXPECT_NEAR(marker.bottom(), text.bottom(), 1) << c.lineHeight;
        else  // a disc sits on the lower half of the text's digits
            EXPECT_TRUE(marker.center().y() > text.top() + text.height() / 3 &&
                        marker.bottom() <= text.bottom())
                << c.lineHeight << " " << marker.center().y() << " in " << text.top() << ".."
                << text.bottom();
    }
}

TEST(HtmlBrowserRules, SpacingWidensTheText) {
    struct TCase {
        const char* name;
        const char* style;
        const char* text;
        int widening;  // pixels, as a browser adds them between the first and the last glyph
    };
    const TCase cases[] = {
        {"letter-spacing in pixels", "letter-spacing:6px", "IIIIIIII", 7 * 6},
        {"letter-spacing in em", "letter-spacing:0.25em", "IIIIIIII", 7 * 5},
        {"word-spacing", "word-spacing:10px", "I I I I", 3 * 10},
        {"both", "letter-spacing:2px;word-spacing:10px", "II II", 3 * 2 + 10 + 2},
        {"normal", "letter-spacing:normal", "IIIIIIII", 0},
    };
    for (const TCase& c : cases) {
        const std::string text = c.text;
        const QRect plain = RedBounds("<span style='font-size:20px;color:#ff0000'>" + text + "</span>");
        const QRect spaced = RedBounds("<span style='font-size:20px;color:#ff0000;" + std::string(c.style) +
                                       "'>" + text + "</span>");
        ASSERT_FALSE(plain.isEmpty()) << c.name;
        EXPECT_NEAR(spaced.width() - plain.width(), c.widening, 2) << c.name;
    }
}

TEST(HtmlBrowserRules, SpacingIsInheritedAndWrapsWithTheSpacedWidth) {
    // A block of spaced words in a narrow box: the spaced words need more lines.
    std::string words;
    for (int i = 0; i < 12; ++i) words += "word ";
    auto height = [&](const char* style) {
        return RedBounds(std::string("<div style='width:200px;font-size:16px;background:#ff0000;") + style +
                             "'><span>" + words + "</span></div>",
                         10)
            .height();
    };
    EXPECT_GT(height("letter-spacing:3px"), height(""));
}

TEST(HtmlBrowserRules, SmallCapitalsAreCapitalsOfLowerHeight) {
    // Lower-case letters in small capitals are capitals at 70 % of the size, as browsers make them.
    const QRect lower = RedBounds("<span style='font-size:40px;color:#ff0000'>xxxx</span>");
    const QRect small =
        RedBounds("<span style='font-size:40px;color:#ff0000;font-variant:small-caps'>xxxx</span>");
    const QRect upper = RedBounds("<span style='font-size:40px;color:#ff0000'>XXXX</span>");
    ASSERT_FALSE(lower.isEmpty());
    EXPECT_NEAR(small.height(), upper.height() * 0.7, 1.5);
    EXPECT_NEAR(small.width(), upper.width() * 0.7, 4);
    EXPECT_GT(std::abs(small.width() - lower.width()), 2);
}

TEST(HtmlBrowserRules, GenericFamiliesFollowTheLanguage) {
    // A line of normal height takes the metrics of the family drawn: the script's family for
    // Chinese, Japanese and Korean is taller than the Latin one.
    struct TCase {
        const char* lang;
        const char* family;
        bool script;  // whether the language's family is taken
    };
    const TCase cases[] = {
        {"ja", "sans-serif", true},  {"zh-CN", "sans-serif", true},        {"ko", "serif", true},
        {"en", "sans-serif", false}, {"ja", "\"Liberation Sans\"", false},
    };
    const int latin =
        RedBounds("<div style='font:20px sans-serif;background:#ff0000'>Text</div>", 10).height();
    for (const TCase& c : cases) {
        const int height = RedBounds(std::string("<div lang='") + c.lang + "' style='font:20px " + c.family +
                                         ";background:#ff0000'>Text</div>",
                                     10)
                               .height();
        if (c.script)
            EXPECT_GE(height, latin + 4) << c.lang << " " << c.family;
        else
            EXPECT_LE(height, latin + 1) << c.lang << " " << c.family;
    }
}

TEST(HtmlBrowserRules, ListItemsKeepTheirNumbers) {
    // The tenth item's number ("10.") is wider than the first's ("1."); from 7 on with start=7.
    for (const char* start : {"", " start='7'"}) {
        std::string html =
            std::string("<ol style='font:16px \"Liberation Sans\";line-height:20px;color:#ff0000'") + start +
            ">";
        for (int i = 0; i < 10; ++i) html += "<li><span style='color:#ffffff'>item</span></li>";
        html += "</ol>";
        THtmlView view;
        Configure(view, 400, 300);
        Load(view, "<body style='margin:0'>" + html + "</body>");
        const QImage image = Shot(view);
        const QRect all = ColorBounds(image, kRed, 80);
        ASSERT_FALSE(all.isEmpty()) << start;
        // The rows of the first, fourth and last number, each one line of 20 pixels.
        auto row = [&](int index) {
            return ColorBounds(image.copy(0, all.bottom() - 12 - (9 - index) * 20, 400, 14), kRed, 80);
        };
        const QRect first = row(0), last = row(9);
        if (*start) {
            EXPECT_EQ(last.width(), row(3).width()) << "10. and 16. are as wide";
        }
        EXPECT_GT(last.width(), first.width() + 4) << start;
    }
}
