// A message shown larger or smaller: the layout follows, pictures, links, selection, form
// controls and found text stay where the reader sees them.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"
#include "htmlview/ZoomSteps.h"

using namespace htmlview_testing;

namespace {

void WheelWithCtrl(QWidget* target, int delta) {
    const QPointF at(10, 10);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

int DocumentHeight(THtmlView& view) {
    return view.VerticalRange() + view.viewport()->height();
}

}  // namespace

TEST(HtmlZoom, StepsStayWithinTheirLimits) {
    struct Row {
        double from;
        int steps;
        double to;
    };
    const Row table[] = {
        {1.0, 1, 1.1}, {1.0, -1, 0.9},  {1.0, 3, 1.5},  {0.9, -2, 0.67}, {3.0, 1, 3.0},  {0.5, -1, 0.5},
        {2.5, 5, 3.0}, {0.67, -9, 0.5}, {1.2, 1, 1.25}, {1.2, -1, 1.1},  {7.0, -1, 2.5}, {1.0, 0, 1.0},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(testing::Message() << row.from << " by " << row.steps);
        EXPECT_DOUBLE_EQ(ZoomStep(row.from, row.steps), row.to);
    }
    THtmlView view;
    Configure(view);
    view.SetZoom(5);
    EXPECT_DOUBLE_EQ(view.Zoom(), 3.0);
    view.SetZoom(0.1);
    EXPECT_DOUBLE_EQ(view.Zoom(), 0.5);
}

TEST(HtmlZoom, DocumentHeightFollowsTheZoom) {
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, "<body style='margin:0'><div style='height:1000px'></div></body>");
    struct Row {
        double zoom;
        int height;
    };
    for (const Row& row : {Row{1.0, 1000}, Row{2.0, 2000}, Row{0.5, 500}, Row{3.0, 3000}, Row{1.25, 1250}}) {
        SCOPED_TRACE(row.zoom);
        view.SetZoom(row.zoom);
        EXPECT_NEAR(DocumentHeight(view), row.height, 1);
    }
}

TEST(HtmlZoom, TextReflowsToTheNarrowerWidth) {
    THtmlView view;
    Configure(view, 400, 300);
    std::string words;
    for (int i = 0; i < 60; ++i) words += "word ";
    Load(view, "<body style='margin:0;font-size:16px'><p style='margin:0'>" + words + "</p></body>");
    const int normal = DocumentHeight(view);
    view.SetZoom(2.0);
    // Twice the size and half as many words a line: about four times as high.
    EXPECT_GT(DocumentHeight(view), normal * 3);
    EXPECT_GT(view.VerticalRange(), 0);
}

TEST(HtmlZoom, ControlWheelZoomsAndPlainWheelScrolls) {
    THtmlView view;
    Configure(view);
    Load(view, "<div style='height:2000px'>tall</div>");
    WheelWithCtrl(view.viewport(), 120);
    EXPECT_DOUBLE_EQ(view.Zoom(), 1.1);
    WheelWithCtrl(view.viewport(), -240);
    EXPECT_DOUBLE_EQ(view.Zoom(), 0.9);
    EXPECT_EQ(view.VerticalPosition(), 0);
    // A fine wheel adds up to one step.
    for (int i = 0; i < 4; ++i) WheelWithCtrl(view.viewport(), 30);
    EXPECT_DOUBLE_EQ(view.Zoom(), 1.0);
    Wheel(view.viewport(), -120);
    EXPECT_GT(view.VerticalPosition(), 0);
    EXPECT_DOUBLE_EQ(view.Zoom(), 1.0);
}

TEST(HtmlZoom, ALinkClickedAtTwiceTheSizeOpensItsOwnTarget) {
    const std::string html =
        "<body style='margin:0'>"
        "<a href='http://upper.example/' style='display:block;height:40px;width:100px'>upper</a>"
        "<a href='http://lower.example/' style='display:block;height:40px;width:100px'>lower</a></body>";
    struct Row {
        double zoom;
        QPoint at;
        const char* target;
    };
    const Row table[] = {
        {1.0, {50, 20}, "http://upper.example/"},  {1.0, {50, 60}, "http://lower.example/"},
        {2.0, {50, 60}, "http://upper.example/"},  {2.0, {150, 100}, "http://lower.example/"},
        {2.0, {50, 150}, "http://lower.example/"}, {2.0, {250, 100}, ""},
        {0.5, {30, 30}, "http://lower.example/"},  {0.5, {30, 45}, ""},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(testing::Message() << row.zoom << " at " << row.at.x() << "," << row.at.y());
        THtmlView view;
        Configure(view);
        std::string clicked;
        view.OnLinkClick = [&](THtmlView*, const ByteString& src, bool& handled) {
            clicked = src;
            handled = true;
        };
        Load(view, html);
        view.SetZoom(row.zoom);
        Click(view.viewport(), row.at);
        EXPECT_EQ(clicked, row.target);
    }
}

TEST(HtmlZoom, PicturesControlsSelectionAndFoundTextScaleTogether) {
    const std::string html = "<body style='margin:0;background:#fff'><img src='" +
                             DataUri(Picture(20, 20, QColor(255, 0, 0))) +
                             "' style='display:block'>"
                             "<p style='margin:0;font-size:20px'>zoomed words</p>"
                             "<input type=text name=t style='position:absolute;left:50px;top:60px'></body>";
    THtmlView view;
    Configure(view, 400, 300);
    Load(view, html);
    QLineEdit* field = view.viewport()->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ColorBounds(Shot(view), QColor(255, 0, 0)).width() == 20; }));
    const QRect fieldAtOne = field->geometry();
    ASSERT_EQ(view.FindText("words"), 1);
    const QRect foundAtOne = view.FoundRect(0);

    view.SetZoom(2.0);
    const QImage shot = Shot(view);
    EXPECT_EQ(ColorBounds(shot, QColor(255, 0, 0)), QRect(0, 0, 40, 40));
    EXPECT_EQ(field->geometry().topLeft(), QPoint(100, 120));
    EXPECT_NEAR(field->width(), 2 * fieldAtOne.width(), 2);
    const QRect found = view.FoundRect(0);
    EXPECT_NEAR(found.left(), 2 * foundAtOne.left(), 2);
    EXPECT_NEAR(found.top(), 2 * foundAtOne.top(), 2);
    EXPECT_NEAR(found.width(), 2 * foundAtOne.width(), 4);
    EXPECT_GT(CountColor(shot, found, QColor(255, 150, 50), 30), found.width() * found.height() / 3);

    // A drag over the found word at this size selects that word.
    Drag(view.viewport(), QPoint(found.left() + 1, found.center().y()),
         QPoint(found.right() - 1, found.center().y()));
    EXPECT_EQ(view.SelectedText(), "words");
}

TEST(HtmlZoom, TheZoomStaysForTheNextDocument) {
    THtmlView view;
    Configure(view);
    Load(view, "<body style='margin:0'><div style='height:1000px'></div></body>");
    view.SetZoom(1.5);
    Load(view, "<body style='margin:0'><div style='height:800px'></div></body>");
    EXPECT_DOUBLE_EQ(view.Zoom(), 1.5);
    EXPECT_NEAR(DocumentHeight(view), 1200, 1);
}
