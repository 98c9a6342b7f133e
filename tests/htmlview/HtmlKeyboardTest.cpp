// Keyboard use of a message: Tab stops on links and form controls in document order, Enter on a
// link, Return on a button, Enter in a text field. Real key events on a real view.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

// A window with a field before and after the view, as the view sits among other controls.
struct TKeyWindow {
    QWidget window;
    QLineEdit* before = new QLineEdit(&window);
    THtmlView* view = new THtmlView(&window);
    QLineEdit* after = new QLineEdit(&window);
    std::vector<ByteString> clicked;
    std::vector<TStringArray> submitted;

    explicit TKeyWindow(const std::string& html, bool handleLinks = true) {
        before->setObjectName("before");
        after->setObjectName("after");
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(before);
        layout->addWidget(view);
        layout->addWidget(after);
        window.resize(420, 300);
        view->SetBorderStyle(TBorderStyle::bsNone);
        view->SetScrollBars(TScrollStyle::ssNone);
        view->SetDefBackground(QColor(Qt::white));
        view->OnLinkClick = [this, handleLinks](THtmlView*, const ByteString& src, bool& handled) {
            clicked.push_back(src);
            handled = handleLinks;
        };
        view->OnFormSubmit = [this](THtmlView*, const ByteString&, const ByteString&, const ByteString&,
                                    const ByteString&,
                                    TStringArray results) { submitted.push_back(std::move(results)); };
        window.show();
        Settle();
        Load(*view, html);
        Settle();
        before->setFocus();
        Settle();
    }

    // What has the keyboard focus: a widget's name, a field's text, or the focused link's target.
    std::string Focus() const {
        QWidget* focus = QApplication::focusWidget();
        if (!focus) return "nothing";
        if (focus == view) return "link " + view->FocusedLink();
        if (auto* button = qobject_cast<QPushButton*>(focus)) return "button " + button->text().toStdString();
        if (auto* edit = qobject_cast<QLineEdit*>(focus); edit && edit->objectName().isEmpty())
            return "field " + edit->text().toStdString();
        return focus->objectName().toStdString();
    }

    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, key, modifiers);
        Settle();
    }
};

const std::string Stops =
    "<p>Start <a href='http://one.example/'>one</a> then <input type=text name=t value=typed>"
    " and <a href='#far'>down</a> <input type=submit name=go value=Send></p>"
    "<div style='height:900px'></div><p><a name=far>far</a></p>";

}  // namespace

TEST(HtmlKeyboard, TabAndShiftTabVisitLinksAndControlsInDocumentOrder) {
    TKeyWindow w(Stops);
    const std::vector<std::string> forward = {"link http://one.example/", "field typed", "link #far",
                                              "button Send", "after"};
    for (const std::string& expected : forward) {
        w.Press(Qt::Key_Tab);
        EXPECT_EQ(w.Focus(), expected);
    }
    const std::vector<std::string> backward = {"button Send", "link #far", "field typed",
                                               "link http://one.example/", "before"};
    for (const std::string& expected : backward) {
        w.Press(Qt::Key_Tab, Qt::ShiftModifier);
        EXPECT_EQ(w.Focus(), expected);
    }
}

TEST(HtmlKeyboard, EnterOnAFocusedLinkIsHandledAsAClick) {
    struct Row {
        const char* Name;
        int Tabs;
        Qt::Key Key;
        bool Handled;
        ByteString Reported;
        bool Scrolls;
    };
    const Row Table[] = {
        {"Return on a link to a page", 1, Qt::Key_Return, true, "http://one.example/", false},
        {"Enter on a link to a page", 1, Qt::Key_Enter, true, "http://one.example/", false},
        {"Return on a link to an anchor the owner leaves", 3, Qt::Key_Return, false, "#far", true},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.Name);
        TKeyWindow w(Stops, R.Handled);
        for (int i = 0; i < R.Tabs; ++i) w.Press(Qt::Key_Tab);
        ASSERT_EQ(w.Focus(), "link " + R.Reported);
        const int position = w.view->VerticalPosition();
        w.Press(R.Key);
        ASSERT_EQ(w.clicked.size(), 1u);
        EXPECT_EQ(w.clicked[0], R.Reported);
        EXPECT_EQ(w.view->VerticalPosition() != position, R.Scrolls);
    }
}

TEST(HtmlKeyboard, TheFocusedLinkHasAVisibleRing) {
    TKeyWindow w("<p style='margin:30px'><a href='http://one.example/'>a link to follow</a></p>");
    const QColor ring = w.view->palette().color(QPalette::Highlight);
    const int without = CountColor(Shot(*w.view), w.view->rect(), ring, 10);
    w.Press(Qt::Key_Tab);
    ASSERT_EQ(w.Focus(), "link http://one.example/");
    const int with = CountColor(Shot(*w.view), w.view->rect(), ring, 10);
    EXPECT_GT(with - without, 100) << "a ring two pixels wide around the link";
    w.Press(Qt::Key_Tab);  // on to the field after the view: the ring goes
    EXPECT_EQ(CountColor(Shot(*w.view), w.view->rect(), ring, 10), without);
}

TEST(HtmlKeyboard, ReturnPressesTheFocusedButton) {
    struct Row {
        const char* Name;
        const char* Button;
        std::vector<TStringArray> Submitted;
    };
    const Row Table[] = {
        {"a submit button", "<input type=submit name=go value=Send>", {{"t=x", "go=Send"}}},
        {"a plain button", "<input type=button name=b value=Send>", {}},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.Name);
        TKeyWindow w(std::string("<form><input type=hidden name=t value=x>") + R.Button + "</form>");
        w.Press(Qt::Key_Tab);
        ASSERT_EQ(w.Focus(), "button Send");
        w.Press(Qt::Key_Return);
        WaitFor([&] { return !w.submitted.empty(); }, 500);
        EXPECT_EQ(w.submitted, R.Submitted);
    }
}

TEST(HtmlKeyboard, EnterInATextFieldSubmitsWithTheFirstSubmitButton) {
    struct Row {
        const char* Name;
        const char* Buttons;
        std::vector<TStringArray> Submitted;
    };
    const Row Table[] = {
        {"two submit buttons: the first counts",
         "<input type=submit name=a value=One><input type=submit name=b value=Two>",
         {{"t=typed", "a=One"}}},
        {"a submit button without a name", "<input type=submit value=One>", {{"t=typed"}}},
        {"no submit button", "<input type=button name=c value=Other>", {{"t=typed"}}},
        {"a disabled first submit button",
         "<input type=submit name=a value=One disabled><input type=submit name=b>",
         {}},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.Name);
        TKeyWindow w(std::string("<form><input type=text name=t value=typed>") + R.Buttons + "</form>");
        w.Press(Qt::Key_Tab);
        ASSERT_EQ(w.Focus(), "field typed");
        w.Press(Qt::Key_Return);
        WaitFor([&] { return !w.submitted.empty(); }, 500);
        EXPECT_EQ(w.submitted, R.Submitted);
    }
}
