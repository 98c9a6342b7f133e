// What real messages use and browsers show: table header and footer rows, centred e-mail
// layouts, long words and URLs, styled form controls, flex rows, font fallback, raised and
// lowered text, the text of missing pictures and the smaller rules. Checked on the pixels of the
// grabbed view, through its public interface.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <ctime>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kBlack(0, 0, 0);

// A block of one colour and a known height, for finding rows and boxes in the picture.
std::string Bar(const char* color, int height, const std::string& more = "") {
    return "<div style='background:" + std::string(color) + ";height:" + std::to_string(height) + "px" +
           more + "'></div>";
}

}  // namespace

TEST(HtmlRealWorld, AHeaderRowStandsAboveTheBodyRowsAtItsOwnHeight) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, "<table style='border-spacing:0;width:200px'><thead><tr><td style='padding:0'>" +
                   Bar("#ff0000", 20) + "</td></tr></thead><tbody><tr><td style='padding:0'>" +
                   Bar("#00ff00", 30) + "</td></tr></tbody></table>");
    const QImage image = Shot(view);
    const QRect head = ColorBounds(image, kRed, 10), body = ColorBounds(image, kGreen, 10);
    ASSERT_FALSE(head.isEmpty());
    ASSERT_FALSE(body.isEmpty());
    EXPECT_EQ(head.height(), 20);
    EXPECT_EQ(head.width(), 200);
    EXPECT_EQ(body.top(), head.bottom() + 1);
    EXPECT_EQ(body.height(), 30);
}

TEST(HtmlRealWorld, FooterRowsComeOneBelowTheOtherAfterTheBody) {
    THtmlView view;
    Configure(view, 400, 300);
    // The footer is written first, as HTML allows; it is still drawn last.
    Load(view, "<table style='border-spacing:0;width:200px'><tfoot><tr><td style='padding:0'>" +
                   Bar("#ff0000", 10) + "</td></tr><tr><td style='padding:0'>" + Bar("#0000ff", 10) +
                   "</td></tr></tfoot><tbody><tr><td style='padding:0'>" + Bar("#00ff00", 30) +
                   "</td></tr></tbody></table>");
    const QImage image = Shot(view);
    const QRect first = ColorBounds(image, kRed, 10), second = ColorBounds(image, kBlue, 10),
                body = ColorBounds(image, kGreen, 10);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    ASSERT_FALSE(body.isEmpty());
    EXPECT_EQ(first.top(), body.bottom() + 1);
    EXPECT_EQ(second.top(), first.bottom() + 1);
    EXPECT_EQ(first.height(), 10);
    EXPECT_EQ(second.height(), 10);
}

TEST(HtmlRealWorld, ACentredCellCentresItsTableButNotTheTextInside) {
    THtmlView view;
    Configure(view, 600, 300);
    view.SetMarginWidth(0);
    Load(view,
         "<body style='margin:0'><table width='100%' cellpadding=0 cellspacing=0><tr><td align=center>"
         "<table width=300 cellpadding=0 cellspacing=0 style='background:#00ff00'><tr><td "
         "style='padding:10px'>"
         "<p style='margin:0'><span style='background:#ff0000'>Left text</span></p>"
         "</td></tr></table></td></tr></table></body>");
    const QImage image = Shot(view);
    const QRect inner = ColorBounds(image, kGreen, 10), text = ColorBounds(image, kRed, 10);
    ASSERT_FALSE(inner.isEmpty());
    ASSERT_FALSE(text.isEmpty());
    EXPECT_EQ(inner.width(), 300);
    EXPECT_NEAR(inner.left(), 150, 1);
    EXPECT_EQ(text.left(), inner.left() + 10);
}

TEST(HtmlRealWorld, CenterCentresBlocksAndText) {
    THtmlView view;
    Configure(view, 600, 300);
    view.SetMarginWidth(0);
    Load(view,
         "<body style='margin:0'><center><table cellpadding=0 cellspacing=0><tr>"
         "<td style='width:100px;height:20px;background:#00ff00'></td></tr></table>"
         "<span style='background:#ff0000'>centred</span></center></body>");
    const QImage image = Shot(view);
    const QRect table = ColorBounds(image, kGreen, 10), text = ColorBounds(image, kRed, 10);
    EXPECT_NEAR(table.left(), 250, 1);
    EXPECT_NEAR(text.center().x(), 300, 2);
}

TEST(HtmlRealWorld, ALongUrlWrapsInsideItsBox) {
    THtmlView view;
    Configure(view, 600, 400);
    std::string url = "https://tracking.example.com/click?";
    while (url.size() < 300) url += "recipient=jana.novakova%40example.com&";
    Load(view,
         "<div style='width:260px;overflow-wrap:break-word;background:#00ff00'><a href='x' "
         "style='color:#ff0000;text-decoration:none'>" +
             url + "</a></div>");
    const QImage image = Shot(view);
    const QRect box = ColorBounds(image, kGreen, 10), text = ColorBounds(image, kRed, 60);
    ASSERT_FALSE(text.isEmpty());
    EXPECT_EQ(box.width(), 260);
    EXPECT_GE(text.left(), box.left());
    EXPECT_LE(text.right(), box.right());
    // Several lines of text, filling the box.
    EXPECT_GT(text.height(), 80);
    EXPECT_GT(text.width(), 200);
}

TEST(HtmlRealWorld, WordBreakAllBreaksAnywhere) {
    THtmlView view;
    Configure(view, 600, 400);
    Load(view,
         "<div style='width:200px;word-break:break-all;color:#ff0000'>" + std::string(120, 'X') + "</div>");
    const QRect text = ColorBounds(Shot(view), kRed, 60);
    EXPECT_LE(text.right(), 10 + 200);
    EXPECT_GT(text.height(), 40);
}

TEST(HtmlRealWorld, WithoutBreakingStylesALongWordStaysInOnePiece) {
    THtmlView view;
    Configure(view, 600, 400);
    // As in browsers the word runs out of its narrow box rather than break.
    Load(view, "<div style='width:100px;color:#ff0000'>" + std::string(40, 'X') + "</div>");
    const QRect text = ColorBounds(Shot(view), kRed, 60);
    EXPECT_GT(text.width(), 200);
    EXPECT_LT(text.height(), 30);
}

TEST(HtmlRealWorld, AMissingPictureShowsItsAltText) {
    THtmlView view;
    Configure(view, 400, 200);
    view.SetFetchResources(false);
    Load(view,
         "<!DOCTYPE html><p style='margin:0;color:#ff0000;font-size:20px'>"
         "<img src='data:image/png;base64,AAAA' alt='Kava Shop logo' width=300 height=100></p>"
         "<p style='margin:0;color:#0000ff;font-size:20px'>x<img src='broken.png' alt='Sale'></p>"
         "<p style='margin:0'><img src='broken.png' alt='' width=120 height=60></p>");
    Settle();
    const QImage image = Shot(view);
    // The alt text stands in the line, whatever size the document gives the picture.
    const QRect text = ColorBounds(image, kRed, 80);
    ASSERT_FALSE(text.isEmpty());
    EXPECT_GT(text.width(), 80);
    EXPECT_LT(text.height(), 30);
    const QRect sale = ColorBounds(image, kBlue, 80);
    ASSERT_FALSE(sale.isEmpty());
    EXPECT_GT(sale.width(), 30);
    EXPECT_LT(sale.bottom(), 5 + 60);
    // A picture without alt text keeps its size, framed.
    EXPECT_GT(CountColor(image, QRect(0, 0, 400, 200), QColor(192, 192, 192), 4), 200);
}

TEST(HtmlRealWorld, InQuirksModeAMissingPictureKeepsItsSizeWithItsAltTextInside) {
    // Most e-mails have no doctype; browsers then keep the size of a missing picture.
    THtmlView view;
    Configure(view, 400, 200);
    view.SetFetchResources(false);
    Load(view,
         "<p style='margin:0;color:#ff0000;font-size:16px'><img src='broken.png' alt='Beans' width=120 "
         "height=80></p><p style='margin:0;background:#0000ff;height:10px'></p>");
    Settle();
    const QImage image = Shot(view);
    const QRect text = ColorBounds(image, kRed, 80), below = ColorBounds(image, kBlue, 10);
    ASSERT_FALSE(text.isEmpty());
    ASSERT_FALSE(below.isEmpty());
    EXPECT_GE(below.top(), 5 + 80);
    // The text stands at the top of the frame, beside the sign.
    EXPECT_LT(text.bottom(), 5 + 30);
    EXPECT_GT(text.left(), 10 + 16);
    EXPECT_GT(CountColor(image, QRect(0, 0, 400, 200), QColor(192, 192, 192), 4), 300);
}

TEST(HtmlRealWorld, AFlexRowPutsItsChildrenSideBySide) {
    THtmlView view;
    Configure(view, 600, 300);
    Load(view,
         "<div style='display:flex;gap:12px'>"
         "<div style='width:100px;height:30px;background:#ff0000'></div>\n"
         "<div style='width:100px;height:30px;background:#00ff00'></div>\n"
         "<div style='width:100px;height:30px;background:#0000ff'></div></div>");
    const QImage image = Shot(view);
    const QRect a = ColorBounds(image, kRed, 10), b = ColorBounds(image, kGreen, 10),
                c = ColorBounds(image, kBlue, 10);
    ASSERT_FALSE(a.isEmpty());
    ASSERT_FALSE(b.isEmpty());
    ASSERT_FALSE(c.isEmpty());
    EXPECT_EQ(a.top(), b.top());
    EXPECT_EQ(b.top(), c.top());
    EXPECT_EQ(a.left(), 8);
    EXPECT_EQ(a.width(), 100);
    EXPECT_EQ(b.left(), a.right() + 1 + 12);
    EXPECT_EQ(c.left(), b.right() + 1 + 12);
}

TEST(HtmlRealWorld, SpaceBetweenPutsTheItemsAtTheEdges) {
    THtmlView view;
    Configure(view, 600, 300);
    Load(view,
         "<div style='display:flex;justify-content:space-between'>"
         "<span style='background:#ff0000'>left part</span> <span "
         "style='background:#00ff00'>right</span></div>");
    const QImage image = Shot(view);
    const QRect a = ColorBounds(image, kRed, 10), b = ColorBounds(image, kGreen, 10);
    EXPECT_EQ(a.left(), 8);
    EXPECT_EQ(a.top(), b.top());
    EXPECT_NEAR(b.right(), 591, 1);
}

TEST(HtmlRealWorld, AColumnFlexStacksItsChildren) {
    THtmlView view;
    Configure(view, 600, 300);
    Load(view,
         "<div style='display:flex;flex-direction:column;gap:6px'>"
         "<span style='background:#ff0000'>one</span><span style='background:#00ff00'>two</span></div>");
    const QImage image = Shot(view);
    const QRect a = ColorBounds(image, kRed, 10), b = ColorBounds(image, kGreen, 10);
    EXPECT_EQ(b.top(), a.bottom() + 1 + 6);
}

TEST(HtmlRealWorld, SupIsRaisedAndSubLoweredAndSmaller) {
    THtmlView view;
    Configure(view, 600, 300);
    Load(view,
         "<p style='font-size:30px;margin:0'><span style='color:#ff0000'>H</span>"
         "<sup style='color:#00ff00'>H</sup><sub style='color:#0000ff'>H</sub></p>");
    const QImage image = Shot(view);
    const QRect base = ColorBounds(image, kRed, 60), up = ColorBounds(image, kGreen, 60),
                down = ColorBounds(image, kBlue, 60);
    EXPECT_LT(up.height(), base.height());
    EXPECT_LT(up.bottom(), base.bottom() - 5);
    EXPECT_GT(down.bottom(), base.bottom() + 3);
}

TEST(HtmlRealWorld, SmallAndBigChangeTheSize) {
    THtmlView view;
    Configure(view, 600, 300);
    Load(view,
         "<p style='font-size:30px;margin:0'><span style='color:#ff0000'>H</span>"
         "<small style='color:#00ff00'>H</small><big style='color:#0000ff'>H</big>"
         "<span style='font-size:smaller;color:#000000'>H</span></p>");
    const QImage image = Shot(view);
    const int normal = ColorBounds(image, kRed, 60).height();
    EXPECT_LT(ColorBounds(image, kGreen, 60).height(), normal * 0.9);
    EXPECT_GT(ColorBounds(image, kBlue, 60).height(), normal * 1.1);
    EXPECT_LT(ColorBounds(image, kBlack, 60).height(), normal * 0.9);
}

TEST(HtmlRealWorld, AButtonTakesTheDocumentsColoursAndPaddingInside) {
    THtmlView view;
    Configure(view, 500, 200);
    view.OnFormSubmit = [](THtmlView*, const ByteString&, const ByteString&, const ByteString&,
                           const ByteString&, TStringArray) {};
    Load(view,
         "<form><button style='background:#00ff00;color:#000;border:none;padding:10px 22px'>Approve</button> "
         "<button style='background:#ff0000;color:#fff;border:none;padding:10px "
         "22px'>Decline</button></form>");
    const QImage image = Shot(view);
    const QRect approve = ColorBounds(image, kGreen, 10), decline = ColorBounds(image, kRed, 10);
    ASSERT_FALSE(approve.isEmpty());
    ASSERT_FALSE(decline.isEmpty());
    // The padding is part of the button: text height plus 20 pixels.
    EXPECT_GE(approve.height(), 30);
    EXPECT_GE(approve.width(), 44 + 40);
    EXPECT_GT(decline.left(), approve.right());
    EXPECT_EQ(approve.top(), decline.top());
}

TEST(HtmlRealWorld, SizeAndColsGiveTheWidthsOfBrowsers) {
    THtmlView view;
    Configure(view, 700, 300);
    Load(view,
         "<form><input name=a size=10><br><input name=b size=40><br><textarea cols=50 "
         "rows=3></textarea></form>");
    Settle();
    const auto edits = view.viewport()->findChildren<QWidget*>();
    std::vector<int> widths;
    for (QWidget* w : edits)
        if (w->parentWidget() == view.viewport()) widths.push_back(w->width());
    ASSERT_EQ(widths.size(), 3u);
    EXPECT_NEAR(widths[0], 80, 25);
    EXPECT_NEAR(widths[1], 290, 50);
    EXPECT_NEAR(widths[2], 380, 60);
}

TEST(HtmlRealWorld, AMissingFamilyFallsBackToTheNextOneListed) {
    THtmlView view;
    Configure(view, 700, 200);
    const std::string text = "The quick brown fox jumps over the lazy dog";
    Load(view,
         "<p style='margin:0;font-size:20px;color:#ff0000;font-family:\"No Such Font\", \"Liberation "
         "Sans\"'>" +
             text + "</p><p style='margin:0;font-size:20px;color:#0000ff;font-family:\"Liberation Sans\"'>" +
             text + "</p><p style='margin:0;font-size:20px;color:#00ff00;font-family:Helvetica'>" + text +
             "</p>");
    const QImage image = Shot(view);
    const int wanted = ColorBounds(image, kBlue, 60).width();
    EXPECT_NEAR(ColorBounds(image, kRed, 60).width(), wanted, 2);
    // A family with metric-compatible free fonts takes one of them.
    EXPECT_NEAR(ColorBounds(image, kGreen, 60).width(), wanted, 2);
}

TEST(HtmlRealWorld, APreparedOrReopenedMessageLooksTheSameAsAFreshOne) {
    const std::string a = "<h1 style='color:#ff0000'>Order</h1><p>" +
                          std::string(2000, 'x').insert(1000, " ") +
                          "</p><img alt='missing' src='data:image/png;base64,AAAA'><a href='#b'>link</a>";
    const std::string b = "<p style='background:#00ff00'>Another message</p>";
    THtmlView fresh;
    Configure(fresh, 400, 300);
    Load(fresh, a);
    const QImage expected = Shot(fresh);

    THtmlView view;
    Configure(view, 400, 300);
    view.PrepareBuffer(a.data(), static_cast<int64_t>(a.size()));
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    Load(view, a);
    EXPECT_EQ(Shot(view), expected);
    Load(view, b);
    Load(view, a);
    EXPECT_EQ(Shot(view), expected);
    EXPECT_EQ(view.VerticalPosition(), 0);
}

TEST(HtmlRealWorld, ListNumbersSitOnTheTextsBaseline) {
    for (int size : {13, 16, 24}) {
        THtmlView view;
        Configure(view, 400, 200);
        Load(view, "<ol style='margin:0;padding-left:60px;font-size:" + std::to_string(size) +
                       "px;color:#ff0000'><li>HHH</li></ol>");
        const QImage image = Shot(view);
        const QRect number = ColorBounds(image.copy(0, 0, 68, 200), kRed, 80);
        const QRect text = ColorBounds(image.copy(68, 0, 332, 200), kRed, 80);
        ASSERT_FALSE(number.isEmpty());
        ASSERT_FALSE(text.isEmpty());
        EXPECT_EQ(number.bottom(), text.bottom()) << size;
        // It ends a little before the text, as in browsers.
        EXPECT_LE(number.right(), 68) << size;
    }
}

// How long they take is measured by bench/HtmlViewBench; here, that they load and end whole.
TEST(HtmlRealWorld, LargeAndHostileMessagesLoadAndSayWhatIsLeftOut) {
    std::string here = __FILE__;
    here = here.substr(0, here.find_last_of('/'));
    QFile file(QString::fromStdString(here + "/../../fuzz/corpus/HtmlViewFuzz/nested-slow.html"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string finding = file.readAll().toStdString();
    std::string large = "<html><body>";
    while (large.size() < (5u << 20))
        large +=
            "<h3>Order</h3><p>Customer <b>Jana</b> ordered the items below.</p><table><tr><td>Espresso</td>"
            "<td>2</td></tr></table><ul><li>Delivery: express</li></ul>";
    for (const std::string* html : std::vector<const std::string*>{&finding, &large}) {
        THtmlView view;
        Configure(view, 640, 480);
        Load(view, *html);
        EXPECT_FALSE(view.Processing());
        EXPECT_GT(view.VerticalRange(), 0);
    }
    // What is not laid out of a message too large is said at its end.
    THtmlView view;
    Configure(view, 640, 480);
    Load(view, large);
    view.SetVerticalPosition(view.VerticalRange());
    Settle();
    Drag(view.viewport(), QPoint(1, 1), QPoint(639, 479));
    EXPECT_TRUE(view.SelectedText().contains("only its first"))
        << view.SelectedText().right(200).toStdString();
}

TEST(HtmlRealWorld, ABoxShadowIsDrawnBesideTheBox) {
    THtmlView view;
    Configure(view, 400, 200);
    Load(view,
         "<div style='width:100px;height:50px;margin:20px;background:#ffffff;"
         "box-shadow:6px 6px 0 #0000ff'></div>");
    const QImage image = Shot(view);
    const QRect shadow = ColorBounds(image, kBlue, 10);
    ASSERT_FALSE(shadow.isEmpty());
    EXPECT_EQ(shadow.right(), 8 + 20 + 100 + 6 - 1);
    // The box's top margin collapses with the body's, as in browsers.
    EXPECT_EQ(shadow.bottom(), 20 + 50 + 6 - 1);
}
