// What the view draws: link colours and underlines, tables, backgrounds, borders, pictures and
// selection, checked on the pixels of the grabbed view.
#include <gtest/gtest.h>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kPurple(128, 0, 128);

}  // namespace

TEST(HtmlRender, ALinkIsDrawnInTheLinkColourAndUnderlined) {
    THtmlView view;
    Configure(view, 400, 200);
    Load(view, "<p style='font-size:30px;margin:0'><a href='x.html'>LINK TEXT</a> plain</p>");
    const QImage image = Shot(view);
    const QRect link = ColorBounds(image, kBlue, 60);
    ASSERT_FALSE(link.isEmpty());
    EXPECT_GT(link.width(), 100);
    EXPECT_EQ(link.left(), 8);
    // The underline: one row nearly as wide as the link.
    int widest = 0;
    for (int y = link.top(); y <= link.bottom(); ++y)
        widest = std::max(widest, CountColor(image, QRect(link.left(), y, link.width(), 1), kBlue, 60));
    EXPECT_GE(widest, link.width() * 9 / 10);
    // The plain text that follows is not blue.
    EXPECT_LT(link.right(), 8 + 300);
}

TEST(HtmlRender, WithoutUnderlineOptionLinksHaveNone) {
    THtmlView view;
    Configure(view, 400, 200);
    view.SetViewOptions(voNoLinkUnderline);
    Load(view, "<p style='font-size:30px;margin:0'><a href='x.html'>LINK TEXT</a></p>");
    const QImage image = Shot(view);
    const QRect link = ColorBounds(image, kBlue, 60);
    ASSERT_FALSE(link.isEmpty());
    int widest = 0;
    for (int y = link.top(); y <= link.bottom(); ++y)
        widest = std::max(widest, CountColor(image, QRect(link.left(), y, link.width(), 1), kBlue, 60));
    EXPECT_LT(widest, link.width() * 9 / 10);
}

TEST(HtmlRender, AClickedLinkTakesTheVisitedColour) {
    THtmlView view;
    Configure(view, 400, 200);
    view.OnLinkClick = [](THtmlView*, const ByteString&, bool& handled) { handled = true; };
    Load(view, "<p style='font-size:30px;margin:0'><a href='seen.html' style='display:block'>VISIT</a></p>");
    EXPECT_TRUE(ColorBounds(Shot(view), kPurple, 30).isEmpty());
    Click(view.viewport(), QPoint(20, 20));
    EXPECT_TRUE(WaitFor([&] { return !ColorBounds(Shot(view), kPurple, 30).isEmpty(); }));
}

TEST(HtmlRender, TableCellsStandSideBySide) {
    THtmlView view;
    Configure(view, 400, 200);
    Load(view,
         "<table><tr><td style='background:#ff0000;width:50px;height:30px'></td>"
         "<td style='background:#00ff00;width:50px;height:30px'></td></tr>"
         "<tr><td colspan=2 style='background:#0000ff;height:10px'></td></tr></table>");
    const QImage image = Shot(view);
    const QRect red = ColorBounds(image, kRed, 10), green = ColorBounds(image, kGreen, 10),
                blue = ColorBounds(image, kBlue, 10);
    ASSERT_FALSE(red.isEmpty());
    ASSERT_FALSE(green.isEmpty());
    ASSERT_FALSE(blue.isEmpty());
    EXPECT_EQ(red.top(), green.top());
    EXPECT_EQ(red.height(), green.height());
    EXPECT_GT(green.left(), red.right());
    EXPECT_GT(blue.top(), red.bottom());
    EXPECT_LE(blue.left(), red.left());
    EXPECT_GE(blue.right(), green.right());
}

TEST(HtmlRender, BackgroundsGoWhereTheStyleAsks) {
    THtmlView view;
    Configure(view, 400, 200);
    view.SetDefBackground(QColor(255, 255, 0));
    Load(view, "<div style='background-color:#00ff00;width:100px;height:40px;margin:0'></div><p>after</p>");
    QImage image = Shot(view);
    EXPECT_EQ(ColorBounds(image, kGreen, 10), QRect(8, 8, 100, 40));
    EXPECT_EQ(image.pixelColor(300, 150), QColor(255, 255, 0));
    // A background of the body covers the whole view.
    Load(view, "<body style='background:#0000ff'><p>x</p></body>");
    image = Shot(view);
    EXPECT_EQ(image.pixelColor(2, 2), kBlue);
    EXPECT_EQ(image.pixelColor(398, 198), kBlue);
}

TEST(HtmlRender, BordersAreDrawnOnAllSides) {
    THtmlView view;
    Configure(view, 400, 200);
    Load(view, "<div style='border:4px solid #0000ff;width:100px;height:50px'></div>");
    const QImage image = Shot(view);
    EXPECT_EQ(ColorBounds(image, kBlue, 10), QRect(8, 8, 108, 58));
    EXPECT_EQ(CountColor(image, QRect(8, 8, 108, 58), kBlue, 10), 108 * 58 - 100 * 50);
}

TEST(HtmlRender, PicturesHaveTheirSizeOrTheDocumentsSize) {
    struct TCase {
        std::string picture, attributes;
        QSize expected;
    };
    const std::vector<TCase> cases = {
        {DataUri(Picture(30, 20, kRed)), "", QSize(30, 20)},
        {DataUri(Picture(30, 20, kRed)), "width=60 height=40", QSize(60, 40)},
        {DataUri(Picture(30, 20, kRed)), "width=90", QSize(90, 60)},
        {DataUri(Picture(40, 10, kRed, "JPEG"), "image/jpeg"), "", QSize(40, 10)},
        {DataUri(Picture(20, 20, kRed, "BMP"), "image/bmp"), "width=25 height=15", QSize(25, 15)},
    };
    for (const TCase& c : cases) {
        THtmlView view;
        Configure(view, 400, 200);
        Load(view, "<body style='margin:0'><img style='display:block' src='" + c.picture + "' " +
                       c.attributes + ">");
        const QRect bounds = ColorBounds(Shot(view), kRed, 60);
        EXPECT_EQ(bounds.size(), c.expected) << c.attributes;
        EXPECT_EQ(bounds.topLeft(), QPoint(0, 0)) << c.attributes;
    }
}

TEST(HtmlRender, WithoutPicturesOnlyTheBoxRemains) {
    THtmlView view;
    Configure(view, 400, 200);
    view.SetViewImages(false);
    Load(view,
         "<body style='margin:0'><img src='" + DataUri(Picture(30, 20, kRed)) +
             "' width=30 height=50 style='display:block'><div style='background:#00ff00;height:10px'></div>");
    const QImage image = Shot(view);
    EXPECT_TRUE(ColorBounds(image, kRed, 60).isEmpty());
    EXPECT_EQ(ColorBounds(image, kGreen, 10).top(), 50);
}

TEST(HtmlRender, ABrokenPictureKeepsTheSizeTheDocumentGives) {
    THtmlView view;
    Configure(view, 400, 200);
    Load(view,
         "<body style='margin:0'><img src='data:image/png;base64,AAAA' width=30 height=50 "
         "style='display:block'>"
         "<img src='file:///etc/hostname' width=30 height=20 style='display:block'>"
         "<div style='background:#00ff00;height:10px'></div>");
    EXPECT_EQ(ColorBounds(Shot(view), kGreen, 10).top(), 70);
}

TEST(HtmlRender, AnAnimatedPictureChangesFrames) {
    // Two frames of 8 x 6 pixels, red then blue, 0.1 s each, looping.
    static const unsigned char kGif[] = {
        0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x08, 0x00, 0x06, 0x00, 0xf0, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x0a, 0x00, 0x00, 0x00, 0x21, 0xff, 0x0b, 0x4e, 0x45, 0x54, 0x53,
        0x43, 0x41, 0x50, 0x45, 0x32, 0x2e, 0x30, 0x03, 0x01, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00,
        0x08, 0x00, 0x06, 0x00, 0x00, 0x02, 0x06, 0x84, 0x8f, 0xa9, 0xcb, 0x7d, 0x05, 0x00, 0x21, 0xf9, 0x04,
        0x00, 0x0a, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x06, 0x00, 0x80, 0x00, 0x00,
        0xff, 0x00, 0x00, 0x00, 0x02, 0x06, 0x84, 0x8f, 0xa9, 0xcb, 0x7d, 0x05, 0x00, 0x3b};
    THtmlView view;
    Configure(view, 200, 100);
    const QByteArray gif(reinterpret_cast<const char*>(kGif), sizeof kGif);
    Load(view, "<body style='margin:0'><img src='" + DataUri(gif, "image/gif") + "' width=40 height=30>");
    bool sawRed = false, sawBlue = false;
    EXPECT_TRUE(WaitFor([&] {
        const QColor c = Shot(view).pixelColor(25, 15);
        sawRed = sawRed || c == kRed;
        sawBlue = sawBlue || c == kBlue;
        return sawRed && sawBlue;
    }));
}

TEST(HtmlRender, SelectedTextIsHighlighted) {
    THtmlView view;
    Configure(view, 400, 200);
    Load(view, "<p style='font-size:24px;margin:0'>select me</p>");
    const QColor highlight = view.palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_EQ(CountColor(Shot(view), QRect(0, 0, 400, 60), highlight, 8), 0);
    Drag(view.viewport(), QPoint(11, 15), QPoint(200, 15));
    EXPECT_EQ(view.SelectedText(), "select me");
    EXPECT_GT(CountColor(Shot(view), QRect(0, 0, 400, 60), highlight, 8), 200);
}

TEST(HtmlRender, AHugeWordIsBrokenToFitTheView) {
    THtmlView view;
    Configure(view, 1200, 300);
    Load(view, "<p>" + std::string(100000, 'W') + "</p>");
    EXPECT_GT(view.VerticalRange(), 1000);
    Key(&view, Qt::Key_Right);
    EXPECT_EQ(view.HorizontalPosition(), 0);
}

TEST(HtmlRender, DeeplyNestedTablesLayOutAtOnce) {
    // Each level of tables multiplies the layout work: 40 levels would take hours unbounded.
    std::string tables, cells, blocks;
    for (int i = 0; i < 40; ++i) {
        tables += "<table><tr><td>";
        cells += "<div style='display:table-cell'>";
        blocks += "<span style='display:inline-table'>";
    }
    for (const std::string& html : {tables, cells, blocks}) {
        THtmlView view;
        Configure(view, 400, 300);
        Load(view, html + "deep");
        EXPECT_FALSE(view.Processing());
    }
    // Tables within the limit keep their layout.
    THtmlView view;
    Configure(view, 400, 300);
    std::string nested;
    for (int i = 0; i < 7; ++i) nested += "<table><tr><td>";
    Load(view, nested +
                   "<table><tr><td style='background:#ff0000;width:20px;height:20px'></td>"
                   "<td style='background:#00ff00;width:20px;height:20px'></td></tr></table>");
    const QImage image = Shot(view);
    EXPECT_EQ(ColorBounds(image, kRed, 10).top(), ColorBounds(image, kGreen, 10).top());
    EXPECT_GT(ColorBounds(image, kGreen, 10).left(), ColorBounds(image, kRed, 10).right());
}

TEST(HtmlRender, ExtremeStylesStillLayOut) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view,
         "<p style='font-size:100000px'>big</p><p style='font-size:-4px;border:999999px solid nocolour'>x</p>"
         "<div style='background:url(" +
             DataUri(Picture(2, 2, kRed)) +
             ");background-size:1000000px 1000000px;height:50px'></div><ol start=2147483647><li>a<li>b</ol>");
    EXPECT_FALSE(view.Processing());
    EXPECT_FALSE(Shot(view).isNull());
    // Font sizes are clamped, so one line of giant text stays a few hundred pixels high.
    Load(view, "<p style='font-size:100000px;margin:0'>big</p>");
    EXPECT_LT(view.VerticalRange(), 400);
}
