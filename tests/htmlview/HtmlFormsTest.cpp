// Form submission: the Results of every kind of control, the ways a form is submitted, reset,
// radio groups and the delivery through the event queue.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

struct TSubmission {
    ByteString action, target, encType, method;
    TStringArray results;
};

// A view that records its form submissions.
struct TFormView {
    THtmlView view;
    std::vector<TSubmission> submissions;

    explicit TFormView(const std::string& html, int width = 500, int height = 400) {
        Configure(view, width, height);
        view.OnFormSubmit = [this](THtmlView* sender, const ByteString& action, const ByteString& target,
                                   const ByteString& encType, const ByteString& method,
                                   TStringArray results) {
            EXPECT_EQ(sender, &view);
            submissions.push_back({action, target, encType, method, std::move(results)});
        };
        Load(view, html);
    }

    template <typename T>
    std::vector<T*> Controls() const {
        std::vector<T*> found;
        for (QObject* child : view.viewport()->children())
            if (auto* control = qobject_cast<T*>(child)) found.push_back(control);
        return found;
    }
    QPushButton* Button(const QString& text) const {
        for (QPushButton* button : Controls<QPushButton>())
            if (button->text() == text) return button;
        return nullptr;
    }
    // Clicks a button and waits for the submission it gives.
    TSubmission Submit(QPushButton* button) {
        const size_t before = submissions.size();
        button->click();
        EXPECT_EQ(submissions.size(), before) << "delivered before the click was handled";
        EXPECT_TRUE(WaitFor([&] { return submissions.size() > before; }));
        return submissions.empty() ? TSubmission() : submissions.back();
    }
};

}  // namespace

TEST(HtmlFormResults, TwoFieldsAndANamedButtonGiveThreeEntriesInOrder) {
    TFormView form(
        "<form action='reply.php'><input type=text name=a value=x><input type=text name=b>"
        "<input type=submit name=btn value=Send></form>");
    const TSubmission s = form.Submit(form.Button("Send"));
    EXPECT_EQ(s.results, (TStringArray{"a=x", "b=", "btn=Send"}));
    EXPECT_EQ(s.action, "reply.php");
    EXPECT_EQ(s.method, "Get");
}

TEST(HtmlFormResults, EveryKindOfControlGivesItsEntries) {
    TFormView form(
        "<form action='a' method='POST'>"
        "<input type=hidden name=h value='hid den'>"
        "<input type=password name=p value='secret'>"
        "<input type=checkbox name=c1 value=one checked><input type=checkbox name=c2 value=two>"
        "<input type=checkbox name=c3 checked>"
        "<input type=radio name=r value=r1><input type=radio name=r value=r2 checked>"
        "<select name=s><option value=v1>One<option selected>Two &amp; more</select>"
        "<select name=m multiple size=3><option value=m1 selected>A<option value=m2>B<option value=m3 "
        "selected>C</select>"
        "<select name=l size=3><option value=l1>A<option value=l2 selected>B</select>"
        "<textarea name=t>line1\nline2</textarea>"
        "<input type=text name=dis value=no disabled>"
        "<input type=text value=nameless>"
        "<input type=text name='a&amp;b' value='1=2&3'>"
        "<input type=submit value=Go></form>");
    const TSubmission s = form.Submit(form.Button("Go"));
    EXPECT_EQ(s.results, (TStringArray{"h=hid den", "p=secret", "c1=one", "c3=on", "r=r2", "s=Two & more",
                                       "m=m1", "m=m3", "l=l2", "t=line1\r\nline2", "a&b=1=2&3"}));
    EXPECT_EQ(s.method, "POST");
}

TEST(HtmlFormResults, FormAttributesAreKeptAsWrittenAndMethodIsCut) {
    struct TCase {
        std::string attributes;
        ByteString action, target, encType, method;
    };
    const std::vector<TCase> cases = {
        {"", "", "", "", "Get"},
        {"action='/x?y=1' target=_blank enctype='multipart/form-data' method=post", "/x?y=1", "_blank",
         "multipart/form-data", "post"},
        {"method='PostAndMore'", "", "", "", "Post"},
        {"method=''", "", "", "", ""},
        {"method=get", "", "", "", "get"},
    };
    for (const TCase& c : cases) {
        TFormView form("<form " + c.attributes + "><input type=submit value=Go></form>");
        const TSubmission s = form.Submit(form.Button("Go"));
        EXPECT_EQ(s.action, c.action) << c.attributes;
        EXPECT_EQ(s.target, c.target) << c.attributes;
        EXPECT_EQ(s.encType, c.encType) << c.attributes;
        EXPECT_EQ(s.method, c.method) << c.attributes;
        EXPECT_TRUE(s.results.empty());
    }
}

TEST(HtmlFormResults, OnlyTheClickedSubmitButtonIsAddedLast) {
    TFormView form(
        "<form><input type=submit name=first value=One><input type=text name=t value=v>"
        "<button name=second value=Two>Press <b>me</b></button><input type=submit value=Nameless></form>");
    EXPECT_EQ(form.Submit(form.Button("One")).results, (TStringArray{"t=v", "first=One"}));
    EXPECT_EQ(form.Submit(form.Button("Press me")).results, (TStringArray{"t=v", "second=Two"}));
    EXPECT_EQ(form.Submit(form.Button("Nameless")).results, (TStringArray{"t=v"}));
}

TEST(HtmlFormResults, UserInputIsSubmitted) {
    TFormView form(
        "<form><input type=text name=t><textarea name=a></textarea><input type=checkbox name=c value=y>"
        "<select name=s><option>p<option>q</select><input type=submit value=Go></form>");
    form.Controls<QLineEdit>()[0]->setText(QString::fromUtf8("typed \xC3\xA9"));
    form.Controls<QPlainTextEdit>()[0]->setPlainText("a\nb");
    form.Controls<QCheckBox>()[0]->setChecked(true);
    form.Controls<QComboBox>()[0]->setCurrentIndex(1);
    EXPECT_EQ(form.Submit(form.Button("Go")).results,
              (TStringArray{"t=typed \xC3\xA9", "a=a\r\nb", "c=y", "s=q"}));
}

TEST(HtmlFormResults, TextsFollowTheDocumentsCharacterSet) {
    TFormView form(
        "<meta charset=windows-1252><form><input type=text name=t value='caf\xE9 \x80'><input type=submit "
        "value=Go></form>");
    form.Controls<QLineEdit>()[0]->setText(form.Controls<QLineEdit>()[0]->text() +
                                           QString::fromUtf8(" \xE2\x98\x83"));
    EXPECT_EQ(form.Submit(form.Button("Go")).results, (TStringArray{"t=caf\xE9 \x80 &#9731;"}));
}

TEST(HtmlFormResults, HardWrappedTextAreasGiveTheDisplayedLines) {
    TFormView form(
        "<form><textarea name=t cols=10 rows=4 wrap=hard>aaaa bbbb cccc dddd eeee ffff</textarea>"
        "<input type=submit value=Go></form>");
    const TSubmission s = form.Submit(form.Button("Go"));
    ASSERT_EQ(s.results.size(), 1u);
    EXPECT_NE(s.results[0].find("\r\n"), std::string::npos) << s.results[0];
    std::string joined = s.results[0];
    for (size_t at; (at = joined.find("\r\n")) != std::string::npos;) joined.replace(at, 2, " ");
    EXPECT_EQ(joined, "t=aaaa bbbb cccc dddd eeee ffff");
}

TEST(HtmlFormSubmission, EnterInATextFieldSubmitsButNotInATextArea) {
    TFormView form("<form action=go><input type=text name=a value=1><textarea name=b>2</textarea></form>");
    QPlainTextEdit* area = form.Controls<QPlainTextEdit>()[0];
    area->setFocus();
    Key(area, Qt::Key_Return, Qt::NoModifier, "\r");
    Settle();
    EXPECT_TRUE(form.submissions.empty());
    QLineEdit* field = form.Controls<QLineEdit>()[0];
    field->setFocus();
    Key(field, Qt::Key_Return);
    EXPECT_TRUE(form.submissions.empty()) << "delivered before the key was handled";
    ASSERT_TRUE(WaitFor([&] { return !form.submissions.empty(); }));
    EXPECT_EQ(form.submissions[0].results, (TStringArray{"a=1", "b=\r\n2"}));
}

TEST(HtmlFormSubmission, APictureButtonGivesItsClickPosition) {
    const std::string picture = DataUri(Picture(60, 30, Qt::red));
    for (const std::string name : {"pic", ""}) {
        TFormView form("<form><input type=text name=t value=v><input type=image " +
                       (name.empty() ? std::string() : "name=" + name) + " src='" + picture + "'></form>");
        QWidget* button = nullptr;
        for (QWidget* child : form.Controls<QWidget>())
            if (child->inherits("QAbstractButton")) button = child;
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->size(), QSize(60, 30));
        Click(button, QPoint(12, 7));
        ASSERT_TRUE(WaitFor([&] { return !form.submissions.empty(); }));
        const TStringArray expected =
            name.empty() ? TStringArray{"t=v", "x=12", "y=7"} : TStringArray{"t=v", "pic.x=12", "pic.y=7"};
        EXPECT_EQ(form.submissions[0].results, expected);
    }
}

TEST(HtmlFormSubmission, WithoutAHandlerNothingIsSubmitted) {
    THtmlView view;
    Configure(view);
    Load(view, "<form><input type=submit value=Go></form>");
    int processing = 0;
    view.OnProcessing = [&](THtmlView*, bool) { ++processing; };
    for (QPushButton* button : view.viewport()->findChildren<QPushButton*>()) button->click();
    Settle();
    EXPECT_EQ(processing, 0);
}

TEST(HtmlFormSubmission, ResetRestoresTheInitialValuesOfItsFormOnly) {
    TFormView form(
        "<form><input type=text name=a value=one><input type=checkbox name=c checked>"
        "<input type=radio name=r value=1 checked><input type=radio name=r value=2>"
        "<select name=s><option>x<option selected>y</select><textarea name=t>start</textarea>"
        "<input type=reset value=Reset></form><form><input type=text name=other value=keep></form>");
    auto fields = form.Controls<QLineEdit>();
    fields[0]->setText("changed");
    fields[1]->setText("kept change");
    form.Controls<QCheckBox>()[0]->setChecked(false);
    form.Controls<QRadioButton>()[1]->setChecked(true);
    form.Controls<QComboBox>()[0]->setCurrentIndex(0);
    form.Controls<QPlainTextEdit>()[0]->setPlainText("edited");
    form.Button("Reset")->click();
    Settle();
    EXPECT_EQ(fields[0]->text(), "one");
    EXPECT_EQ(fields[1]->text(), "kept change");
    EXPECT_TRUE(form.Controls<QCheckBox>()[0]->isChecked());
    EXPECT_TRUE(form.Controls<QRadioButton>()[0]->isChecked());
    EXPECT_FALSE(form.Controls<QRadioButton>()[1]->isChecked());
    EXPECT_EQ(form.Controls<QComboBox>()[0]->currentIndex(), 1);
    EXPECT_EQ(form.Controls<QPlainTextEdit>()[0]->toPlainText(), "start");
    EXPECT_TRUE(form.submissions.empty());
}

TEST(HtmlFormSubmission, RadioGroupsGoByNameWithinAForm) {
    TFormView form(
        "<form><input type=radio name=r value=a checked><input type=radio name=r value=b>"
        "<input type=radio name=q value=c checked><input type=submit value=Go></form>"
        "<form><input type=radio name=r value=d checked></form>");
    auto radios = form.Controls<QRadioButton>();
    ASSERT_EQ(radios.size(), 4u);
    radios[1]->click();
    EXPECT_FALSE(radios[0]->isChecked());
    EXPECT_TRUE(radios[2]->isChecked());
    EXPECT_TRUE(radios[3]->isChecked());
    EXPECT_EQ(form.Submit(form.Button("Go")).results, (TStringArray{"r=b", "q=c"}));
}

TEST(HtmlFormSubmission, AFormThatATableMovedStillOwnsItsControls) {
    TFormView form(
        "<table><form action=t.php><tr><td><input type=text name=n value=1></td>"
        "<td><input type=submit value=Go></td></tr></form></table>");
    const TSubmission s = form.Submit(form.Button("Go"));
    EXPECT_EQ(s.action, "t.php");
    EXPECT_EQ(s.results, (TStringArray{"n=1"}));
}

TEST(HtmlFormSubmission, EachLoadReplacesTheFilledInState) {
    const std::string html = "<form><input type=text name=a value=first></form>";
    TFormView form(html);
    form.Controls<QLineEdit>()[0]->setText("typed");
    Load(form.view, html);
    auto fields = form.Controls<QLineEdit>();
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0]->text(), "first");
}

TEST(HtmlFormLayout, ControlsSitWhereTheirElementsAreAndMoveWithScrolling) {
    TFormView form(
        "<body style='margin:0'><div style='height:120px'>top</div>"
        "<div style='padding-left:50px'><input type=text name=a size=10 "
        "style='vertical-align:top'></div><div "
        "style='height:2000px'></div>",
        400, 300);
    QLineEdit* field = form.Controls<QLineEdit>()[0];
    EXPECT_TRUE(field->isVisible());
    EXPECT_EQ(field->geometry().topLeft(), QPoint(50, 120));
    form.view.SetVerticalPosition(100);
    EXPECT_EQ(field->geometry().topLeft(), QPoint(50, 20));
}

TEST(HtmlFormLayout, TabbingFollowsTheDocumentAndSkipsDisabledControls) {
    TFormView form(
        "<form><input type=text name=a><input type=text name=b disabled><select name=c><option>x</select>"
        "<textarea name=d></textarea><input type=submit value=Go></form>");
    auto fields = form.Controls<QLineEdit>();
    fields[0]->setFocus();
    std::vector<const char*> order;
    QWidget* current = fields[0];
    for (int i = 0; i < 3; ++i) {
        current = current->nextInFocusChain();
        while (!(current->focusPolicy() & Qt::TabFocus) || !current->isEnabled() || !current->isVisible())
            current = current->nextInFocusChain();
        order.push_back(current->metaObject()->className());
    }
    EXPECT_STREQ(order[0], "QComboBox");
    EXPECT_STREQ(order[1], "QPlainTextEdit");
    EXPECT_STREQ(order[2], "QPushButton");
}

TEST(HtmlFormLayout, AuthorSizesApplyAndHiddenControlsTakeNoPlace) {
    TFormView form(
        "<style>.wide { width: 300px }</style><form><input type=hidden name=h value=1>"
        "<input class=wide type=text name=a><div style='display:none'><input type=text name=b></div></form>");
    auto fields = form.Controls<QLineEdit>();
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0]->width(), 300);
    EXPECT_FALSE(fields[1]->isVisible());
}
