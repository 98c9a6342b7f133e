// The view's interface: settings, loading, the scroll model, anchors and links.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <vector>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

// A document of known height: blocks of 100 pixels without margins.
std::string Tall(int blocks, const std::string& extra = "") {
    std::string html = "<html><body style='margin:0'>" + extra;
    for (int i = 0; i < blocks; ++i)
        html += "<div id='b" + std::to_string(i) + "' style='height:100px;margin:0'>block " +
                std::to_string(i) + "</div>";
    return html + "</body></html>";
}

}  // namespace

TEST(HtmlViewSettings, DefaultsAreThoseOfThePublishedTable) {
    THtmlView view;
    EXPECT_EQ(view.BorderStyle(), TBorderStyle::bsFocused);
    EXPECT_EQ(view.ScrollBars(), TScrollStyle::ssBoth);
    EXPECT_EQ(view.HistoryMaxCount(), 0);
    EXPECT_EQ(view.DefFontName(), "Times New Roman");
    EXPECT_EQ(view.DefPreFontName(), "Courier New");
    EXPECT_FALSE(view.NoSelect());
    EXPECT_EQ(view.CharSet(), DEFAULT_CHARSET);
    EXPECT_EQ(view.MarginHeight(), 5);
    EXPECT_EQ(view.MarginWidth(), 10);
    EXPECT_EQ(view.DefFontSize(), 12);
    EXPECT_EQ(view.DefBackground(), SystemColor(TSystemColor::clBtnFace));
    EXPECT_EQ(view.DefFontColor(), SystemColor(TSystemColor::clBtnText));
    EXPECT_EQ(view.DefLinkColor(), QColor(0, 0, 255));
    EXPECT_EQ(view.DefOverLinkColor(), QColor(0, 0, 255));
    EXPECT_EQ(view.DefVisitedLinkColor(), QColor(128, 0, 128));
    EXPECT_EQ(view.VisitedMaxCount(), 50);
    EXPECT_TRUE(view.ViewImages());
    EXPECT_EQ(view.ImageCacheCount(), 5);
    EXPECT_EQ(view.ViewOptions(), voPrintTableBackground | voPrintMonochromeBlack);
    EXPECT_EQ(view.Tag(), 0);
    EXPECT_FALSE(view.Processing());
    EXPECT_EQ(view.VerticalPosition(), 0);
}

TEST(HtmlViewLoading, RaisesProcessingOnThenOffWithTheRangeReady) {
    THtmlView view;
    Configure(view, 400, 300);
    std::vector<std::pair<bool, bool>> seen;  // (ProcessingOn, Processing() inside the handler)
    int rangeAtEnd = 0;
    view.OnProcessing = [&](THtmlView* sender, bool on) {
        EXPECT_EQ(sender, &view);
        seen.push_back({on, view.Processing()});
        if (!on) rangeAtEnd = view.VerticalRange();
    };
    Load(view, Tall(10));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(true, true));
    EXPECT_EQ(seen[1], std::make_pair(false, false));
    // H = 10 blocks of 100 (the body has no margin; the view's own lie within it); V = 300.
    EXPECT_EQ(rangeAtEnd, 1000 - 300);
    EXPECT_EQ(view.VerticalRange(), 700);
}

TEST(HtmlViewLoading, ALoadFromAProcessingHandlerIsIgnored) {
    THtmlView view;
    Configure(view);
    int loads = 0;
    view.OnProcessing = [&](THtmlView*, bool on) {
        if (on) {
            ++loads;
            Load(view, Tall(50));
        }
    };
    Load(view, Tall(1));
    EXPECT_EQ(loads, 1);
    EXPECT_LT(view.VerticalRange(), 0);
}

TEST(HtmlViewLoading, CopiesExactlyLengthBytes) {
    THtmlView view;
    Configure(view);
    std::string text = "<p id='inside'>x</p><p id='outside'>y</p>";
    const size_t cut = text.find("<p id='outside'");
    std::string buffer = text;
    view.LoadBuffer(buffer.data(), static_cast<int64_t>(cut), "");
    buffer.assign(buffer.size(), 'z');  // the view must not keep using the buffer
    EXPECT_TRUE(view.GoToAnchor("inside"));
    EXPECT_FALSE(view.GoToAnchor("outside"));
}

TEST(HtmlViewLoading, LoadLinesEndsEveryLineWithCrLf) {
    THtmlView view;
    Configure(view);
    TStringArray results;
    view.OnFormSubmit = [&](THtmlView*, const ByteString&, const ByteString&, const ByteString&,
                            const ByteString&, TStringArray r) { results = std::move(r); };
    view.LoadLines({"<form><textarea name=t>one", "two</textarea><input type=text name=f></form>"}, "");
    QWidget* field = nullptr;
    for (QWidget* child : view.viewport()->findChildren<QWidget*>())
        if (child->inherits("QLineEdit")) field = child;
    ASSERT_NE(field, nullptr);
    field->setFocus();
    Key(field, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return !results.empty(); }));
    EXPECT_EQ(results, (TStringArray{"t=one\r\ntwo", "f="}));
}

TEST(HtmlViewLoading, EveryLoadShowsTheTopEvenOfTheSameText) {
    THtmlView view;
    Configure(view);
    const std::string html = Tall(20);
    Load(view, html);
    view.SetVerticalPosition(500);
    EXPECT_EQ(view.VerticalPosition(), 500);
    Load(view, html);
    EXPECT_EQ(view.VerticalPosition(), 0);
}

TEST(HtmlViewLoading, AnEmptyDocumentAndGarbageStillEndProcessing) {
    THtmlView view;
    Configure(view);
    int ends = 0;
    view.OnProcessing = [&](THtmlView*, bool on) { ends += on ? 0 : 1; };
    view.LoadBuffer(nullptr, 0, "");
    const std::string garbage("\0\xff<<<</\x01>\xc3", 11);
    view.LoadBuffer(garbage.data(), static_cast<int64_t>(garbage.size()), "");
    EXPECT_EQ(ends, 2);
    EXPECT_FALSE(view.Processing());
}

TEST(HtmlViewScrolling, AShortDocumentHasANegativeRangeAndStaysAtZero) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, Tall(1));
    EXPECT_EQ(view.VerticalRange(), 100 - 300);
    for (int position : {-5, 0, 1, 50, 100000}) {
        view.SetVerticalPosition(position);
        EXPECT_EQ(view.VerticalPosition(), 0) << position;
    }
}

TEST(HtmlViewScrolling, ThePositionIsKeptWithinZeroAndTheRange) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, Tall(10));
    const int range = view.VerticalRange();
    const std::vector<std::pair<int, int>> cases = {
        {-1, 0}, {0, 0}, {123, 123}, {range, range}, {range + 1, range}, {1 << 30, range}};
    for (auto [written, expected] : cases) {
        view.SetVerticalPosition(written);
        EXPECT_EQ(view.VerticalPosition(), expected) << written;
    }
}

TEST(HtmlViewScrolling, MarginsCountInTheDocumentHeight) {
    THtmlView view;
    Configure(view, 400, 300);
    // A positive margin lies within the body's; a negative one cuts into the page.
    view.SetMarginHeight(25);
    Load(view, Tall(10));
    EXPECT_EQ(view.VerticalRange(), 1000 - 300);
    view.SetMarginHeight(-20);
    Load(view, Tall(10));
    EXPECT_EQ(view.VerticalRange(), 1000 - 40 - 300);
}

TEST(HtmlViewScrolling, KeysMoveByTheFixedSteps) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, Tall(20));
    view.setFocus();
    const int range = view.VerticalRange();
    struct TStep {
        int key, expected;
    };
    const std::vector<TStep> steps = {
        {Qt::Key_Down, 16},    {Qt::Key_Down, 32},        {Qt::Key_Up, 16}, {Qt::Key_PageDown, 16 + 284},
        {Qt::Key_PageUp, 16},  {Qt::Key_Up, 0},           {Qt::Key_Up, 0},  {Qt::Key_End, range},
        {Qt::Key_Down, range}, {Qt::Key_PageDown, range}, {Qt::Key_Home, 0}};
    for (const TStep& step : steps) {
        Key(&view, step.key);
        EXPECT_EQ(view.VerticalPosition(), step.expected) << step.key;
    }
}

TEST(HtmlViewScrolling, SideKeysMoveOnlyAWideDocument) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, "<div style='width:1000px;height:20px'>wide</div>");
    Key(&view, Qt::Key_Right);
    EXPECT_EQ(view.HorizontalPosition(), 15);
    Key(&view, Qt::Key_Right);
    Key(&view, Qt::Key_Left);
    EXPECT_EQ(view.HorizontalPosition(), 15);
    Load(view, "<p>narrow</p>");
    Key(&view, Qt::Key_Right);
    EXPECT_EQ(view.HorizontalPosition(), 0);
}

TEST(HtmlViewScrolling, TheWheelMovesSixteenPixelsPerLine) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, Tall(30));
    const int saved = QApplication::wheelScrollLines();
    QApplication::setWheelScrollLines(3);
    Wheel(view.viewport(), -120);
    EXPECT_EQ(view.VerticalPosition(), 48);
    Wheel(view.viewport(), -240);
    EXPECT_EQ(view.VerticalPosition(), 48 + 96);
    Wheel(view.viewport(), 120);
    EXPECT_EQ(view.VerticalPosition(), 96);
    QApplication::setWheelScrollLines(1);
    Wheel(view.viewport(), -120);
    EXPECT_EQ(view.VerticalPosition(), 112);
    // A fine wheel adds up to the same distance per notch.
    for (int i = 0; i < 4; ++i) Wheel(view.viewport(), -30);
    EXPECT_EQ(view.VerticalPosition(), 128);
    Wheel(view.viewport(), 100000);
    EXPECT_EQ(view.VerticalPosition(), 0);
    QApplication::setWheelScrollLines(saved);
}

TEST(HtmlViewScrolling, AResizeLaysOutAgainWithProcessingAndKeepsTheLimits) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, Tall(10));
    view.SetVerticalPosition(700);
    std::vector<bool> seen;
    view.OnProcessing = [&](THtmlView*, bool on) { seen.push_back(on); };
    view.resize(400, 600);
    Settle();
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
    EXPECT_EQ(view.VerticalRange(), 1000 - 600);
    EXPECT_EQ(view.VerticalPosition(), 400);
    view.resize(400, 2000);
    Settle();
    EXPECT_EQ(view.VerticalPosition(), 0);
}

TEST(HtmlViewScrolling, TextReflowsToTheNewWidth) {
    THtmlView view;
    Configure(view, 600, 200);
    std::string words;
    for (int i = 0; i < 300; ++i) words += "word ";
    Load(view, "<p>" + words + "</p>");
    const int wide = view.VerticalRange();
    view.resize(300, 200);
    Settle();
    EXPECT_GT(view.VerticalRange(), wide + 100);
}

TEST(HtmlViewAnchors, AreFoundWithoutRegardToCase) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, Tall(5) + "<a name='Top'></a><div style='height:900px'></div>");
    struct TCase {
        const char* name;
        bool found;
    };
    for (const TCase& c : std::vector<TCase>{{"#Top", true},
                                             {"#top", true},
                                             {"TOP", true},
                                             {"top", true},
                                             {"b3", true},
                                             {"#B3", true},
                                             {"", false},
                                             {"#", false},
                                             {"nothing", false},
                                             {"##top", false}}) {
        view.SetVerticalPosition(17);
        EXPECT_EQ(view.GoToAnchor(c.name), c.found) << c.name;
        if (!c.found) {
            EXPECT_EQ(view.VerticalPosition(), 17) << c.name;
        }
    }
}

TEST(HtmlViewAnchors, PutTheAnchorRowAtTheTopEdge) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, Tall(20));
    ASSERT_TRUE(view.GoToAnchor("#b3"));
    EXPECT_EQ(view.VerticalPosition(), 300);
    // Near the end the position stops at the range.
    ASSERT_TRUE(view.GoToAnchor("b19"));
    EXPECT_EQ(view.VerticalPosition(), view.VerticalRange());
}

TEST(HtmlViewAnchors, ABaseReferenceNamesAnAnchorToShow) {
    THtmlView view;
    Configure(view, 400, 300);
    const std::string html = Tall(20);
    view.LoadBuffer(html.data(), static_cast<int64_t>(html.size()), "#b4");
    EXPECT_EQ(view.VerticalPosition(), 400);
}

namespace {

// A document whose first 40 pixels are one link, followed by other content.
struct TLinkView {
    THtmlView view;
    std::vector<ByteString> clicks;
    bool handle = true;

    explicit TLinkView(const std::string& href) {
        Configure(view, 400, 300);
        view.OnLinkClick = [this](THtmlView* sender, const ByteString& src, bool& handled) {
            EXPECT_EQ(sender, &view);
            EXPECT_FALSE(handled);
            clicks.push_back(src);
            handled = handle;
        };
        Load(view,
             "<body style='margin:0'><a href=\"" + href +
                 "\" style='display:block;height:40px'>the link text here</a><p style='height:200px'>other "
                 "text</p>" +
                 Tall(10).substr(28));
    }
    QPoint OnLink() const { return QPoint(30, 5 + 20); }
    QPoint OffLink() const { return QPoint(30, 5 + 80); }
};

}  // namespace

TEST(HtmlViewLinks, AClickGivesTheTargetAsWritten) {
    for (const std::string href :
         {"http://example.com/a?b=1&c=2", "page.php", "mailto:x@y", "#b2", " spaced "}) {
        TLinkView links(href);
        Click(links.view.viewport(), links.OnLink());
        ASSERT_EQ(links.clicks.size(), 1u) << href;
        EXPECT_EQ(links.clicks[0], href);
    }
}

TEST(HtmlViewLinks, AnEmptyTargetShiftOrAPressElsewhereGiveNoEvent) {
    TLinkView empty("");
    Click(empty.view.viewport(), empty.OnLink());
    EXPECT_TRUE(empty.clicks.empty());

    TLinkView shifted("x.html");
    Click(shifted.view.viewport(), shifted.OnLink(), Qt::ShiftModifier);
    EXPECT_TRUE(shifted.clicks.empty());

    TLinkView elsewhere("x.html");
    Drag(elsewhere.view.viewport(), elsewhere.OffLink(), elsewhere.OnLink());
    EXPECT_TRUE(elsewhere.clicks.empty());
}

TEST(HtmlViewLinks, SelectingTextByDragGivesNoEvent) {
    TLinkView links("x.html");
    Drag(links.view.viewport(), QPoint(12, 25), QPoint(120, 25));
    EXPECT_TRUE(links.clicks.empty());
    EXPECT_FALSE(links.view.SelectedText().isEmpty());
}

TEST(HtmlViewLinks, AnUnhandledAnchorTargetScrollsThere) {
    TLinkView links("#B5");
    links.handle = false;
    Click(links.view.viewport(), links.OnLink());
    ASSERT_EQ(links.clicks.size(), 1u);
    EXPECT_GT(links.view.VerticalPosition(), 240);
    TLinkView handled("#B5");
    Click(handled.view.viewport(), handled.OnLink());
    EXPECT_EQ(handled.view.VerticalPosition(), 0);
}

TEST(HtmlViewLinks, AServerSideImageMapAddsTheClickPosition) {
    THtmlView view;
    Configure(view, 400, 300);
    ByteString src;
    view.OnLinkClick = [&](THtmlView*, const ByteString& s, bool& handled) {
        src = s;
        handled = true;
    };
    Load(view, "<body style='margin:0'><a href='map.php'><img ismap src='" +
                   DataUri(Picture(100, 50, Qt::green)) + "' style='display:block'></a>");
    Click(view.viewport(), QPoint(30, 20));
    EXPECT_EQ(src, "map.php?30,20");
}

TEST(HtmlViewFocus, AClickGivesTheViewTheFocus) {
    QWidget window;
    THtmlView view(&window);
    QWidget other(&window);
    other.setFocusPolicy(Qt::StrongFocus);
    window.resize(400, 300);
    view.resize(400, 200);
    window.show();
    Load(view, "<p>text</p>");
    window.activateWindow();
    other.setFocus();
    Settle();
    Click(view.viewport(), QPoint(50, 50));
    EXPECT_TRUE(view.hasFocus());
}

TEST(HtmlViewSelection, CtrlCCopiesTheSelectedText) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, "<p>first line</p><p>second line</p>");
    view.setFocus();
    Key(&view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view.SelectedText(), "first line\nsecond line");
    QApplication::clipboard()->clear();
    Key(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "first line\nsecond line");
    view.SetNoSelect(true);
    EXPECT_TRUE(view.SelectedText().isEmpty());
}

TEST(HtmlViewScrolling, TheViewsOwnScrollBarsFollowAndMoveThePosition) {
    THtmlView view;  // bsFocused frame and ssBoth scroll bars, as by default
    view.resize(400, 300);
    view.show();
    Settle();
    Load(view, Tall(10));
    QScrollBar* bar = view.verticalScrollBar();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(view.VerticalRange(), 1000 - view.viewport()->height());
    EXPECT_EQ(bar->maximum(), view.VerticalRange());
    view.SetVerticalPosition(200);
    EXPECT_EQ(bar->value(), 200);
    bar->setValue(350);
    EXPECT_EQ(view.VerticalPosition(), 350);
}
