// What a screen reader gets of a message: the view's document through Qt's accessibility
// interfaces (the same ones the desktop's accessibility bus reads), on a real view.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleTextInterface>
#include <QVBoxLayout>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

std::string RoleName(QAccessible::Role role) {
    switch (role) {
        case QAccessible::Heading: return "heading";
        case QAccessible::Paragraph: return "paragraph";
        case QAccessible::List: return "list";
        case QAccessible::ListItem: return "item";
        case QAccessible::Link: return "link";
        case QAccessible::Graphic: return "picture";
        case QAccessible::EditableText: return "entry";
        case QAccessible::CheckBox: return "check box";
        case QAccessible::RadioButton: return "radio";
        case QAccessible::ComboBox: return "combo";
        case QAccessible::PushButton: return "button";
        default: return "role " + std::to_string(role);
    }
}

// What an object says: its text where it has one to read, else its name.
std::string Says(QAccessibleInterface* object) {
    QString said = object->text(QAccessible::Name);
    if (said.isEmpty())
        if (auto* text = object->textInterface()) said = text->text(0, text->characterCount());
    return said.toStdString();
}

// The objects below `object`, one line each, indented by depth: role, what it says, and a
// link's target.
void Dump(QAccessibleInterface* object, int depth, std::string& out) {
    for (int i = 0; i < object->childCount(); ++i) {
        QAccessibleInterface* child = object->child(i);
        ASSERT_NE(child, nullptr);
        out += std::string(static_cast<size_t>(depth) * 2, ' ') + RoleName(child->role()) + " '" +
               Says(child) + "'";
        if (child->role() == QAccessible::Link)
            out += " -> " + child->text(QAccessible::Description).toStdString();
        out += "\n";
        if (child->role() != QAccessible::EditableText && child->role() != QAccessible::ComboBox)
            Dump(child, depth + 1, out);
    }
}

struct TAccessibleView {
    QWidget window;
    THtmlView* view = new THtmlView(&window);
    std::vector<ByteString> clicked;

    explicit TAccessibleView(const std::string& html) {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(view);
        window.resize(500, 400);
        view->SetBorderStyle(TBorderStyle::bsNone);
        view->SetScrollBars(TScrollStyle::ssNone);
        view->OnLinkClick = [this](THtmlView*, const ByteString& src, bool& handled) {
            clicked.push_back(src);
            handled = true;
        };
        window.show();
        Settle();
        Load(*view, html);
        Settle();
    }
    QAccessibleInterface* Document() const { return QAccessible::queryAccessibleInterface(view); }
    std::string Tree() const {
        std::string out;
        Dump(Document(), 0, out);
        return out;
    }
};

struct TTreeCase {
    const char* what;
    const char* html;
    const char* tree;
};

class HtmlAccessibleTreeTest : public testing::TestWithParam<TTreeCase> {};

TEST_P(HtmlAccessibleTreeTest, ObjectsInReadingOrder) {
    TAccessibleView shown(GetParam().html);
    ASSERT_EQ(shown.Document()->role(), QAccessible::Document);
    EXPECT_EQ(shown.Tree(), GetParam().tree) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, HtmlAccessibleTreeTest,
    testing::Values(
        TTreeCase{"headings, paragraphs, links and list items",
                  "<h1>Order 42</h1><p>Your order <a href='https://shop.example/o/42'>details</a> are "
                  "ready.</p><ul><li>One</li><li>Two <b>bold</b></li></ul>",
                  "heading 'Order 42'\n"
                  "paragraph 'Your order details are ready.'\n"
                  "  link 'details' -> https://shop.example/o/42\n"
                  "list ''\n"
                  "  item 'One'\n"
                  "  item 'Two bold'\n"},
        TTreeCase{"text outside paragraphs, split at boxes; table cells",
                  "Loose text<div>in a box</div><table><tr><td>A1</td><td>B1</td></tr></table>",
                  "paragraph 'Loose text'\nparagraph 'in a box'\nparagraph 'A1'\nparagraph 'B1'\n"},
        TTreeCase{"pictures by their alt text; decorative ones left out; a link named by its picture",
                  "<p>Logo <img alt='Company logo' width=10 height=10> <img alt='' width=10 height=10> "
                  "<img title='Chart' width=10 height=10></p><p><a href='/home'><img alt='Home' width=8 "
                  "height=8></a></p>",
                  "paragraph 'Logo'\n"
                  "  picture 'Company logo'\n"
                  "  picture 'Chart'\n"
                  "paragraph 'Home'\n"
                  "  link 'Home' -> /home\n"
                  "    picture 'Home'\n"},
        TTreeCase{"what is not displayed is not read; an anchor without target is text",
                  "<div style='display:none'><p>secret</p><a href='/x'>hidden link</a></div>"
                  "<p style='visibility:hidden'>unseen</p><p><a name='top'>Top</a> shown</p>",
                  "paragraph 'Top shown'\n"},
        TTreeCase{"nested lists and a heading in a link",
                  "<ol><li>First<ul><li>inner</li></ul></li></ol><a href='#s'><h2>Section</h2></a>",
                  "list ''\n"
                  "  item 'First'\n"
                  "    list ''\n"
                  "      item 'inner'\n"
                  "paragraph 'Section'\n"
                  "  link 'Section' -> #s\n"
                  "    heading 'Section'\n"}));

struct TLabelCase {
    const char* what;
    const char* html;
    const char* name;  // of the document's first control
    // Qt's drop-down on Linux is named by its current option and says its label as description.
    QAccessible::Text text = QAccessible::Name;
};

class HtmlAccessibleLabelTest : public testing::TestWithParam<TLabelCase> {};

TEST_P(HtmlAccessibleLabelTest, FieldNamedByItsLabel) {
    TAccessibleView shown(std::string("<form action='/a'>") + GetParam().html + "</form>");
    QAccessibleInterface* field = nullptr;
    std::function<void(QAccessibleInterface*)> find = [&](QAccessibleInterface* object) {
        for (int i = 0; i < object->childCount() && !field; ++i) {
            QAccessibleInterface* child = object->child(i);
            if (child->role() == QAccessible::EditableText || child->role() == QAccessible::CheckBox ||
                child->role() == QAccessible::ComboBox || child->role() == QAccessible::PushButton)
                field = child;
            else
                find(child);
        }
    };
    find(shown.Document());
    ASSERT_NE(field, nullptr) << GetParam().what;
    EXPECT_EQ(field->text(GetParam().text).toStdString(), GetParam().name) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, HtmlAccessibleLabelTest,
    testing::Values(
        TLabelCase{"label for", "<label for='n'>Your name</label> <input id='n' name='n'>", "Your name"},
        TLabelCase{"label for after the field", "<input id='m' name='m'><label for='m'>Later</label>",
                   "Later"},
        TLabelCase{"wrapping label", "<label>E-mail <input name='e'></label>", "E-mail"},
        TLabelCase{"aria-label before everything else",
                   "<label>Visible <input name='q' aria-label='Search terms' title='t'></label>",
                   "Search terms"},
        TLabelCase{"title", "<input name='t' title='Phone number'>", "Phone number"},
        TLabelCase{"placeholder", "<input name='z' placeholder='Zip code'>", "Zip code"},
        TLabelCase{"the text before it, in the cell before",
                   "<h3>Delivery</h3><table><tr><td>City:</td><td><input name='c'></td></tr></table>",
                   "City:"},
        TLabelCase{"a drop-down by its label",
                   "<label for='s'>Size</label><select id='s' name='s'><option>S<option>M</select>", "Size",
                   QAccessible::Description},
        TLabelCase{"a box to tick by its label",
                   "<input type='checkbox' id='k' name='k'> <label for='k'>Keep me "
                   "posted</label>",
                   "Keep me posted"},
        TLabelCase{"a box to tick is not named by the text before it",
                   "Terms <input type='checkbox' name='k'>", ""},
        TLabelCase{"a button says its own text", "Name: <input type='submit' value='Send now'>",
                   "Send now"}));

TEST(HtmlAccessibleTest, DocumentTextInReadingOrder) {
    TAccessibleView shown("<h1>Hello</h1><p>First <a href='/a'>link</a>.</p><ul><li>Item</li></ul>");
    QAccessibleTextInterface* text = shown.Document()->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(0, text->characterCount()).toStdString(), "Hello\nFirst link.\nItem");
}

TEST(HtmlAccessibleTest, ObjectsOfAnOldDocumentStopBeingValid) {
    TAccessibleView shown("<p>old <a href='/old'>page</a></p>");
    QAccessibleInterface* paragraph = shown.Document()->child(0);
    ASSERT_NE(paragraph, nullptr);
    const QAccessible::Id id = QAccessible::uniqueId(paragraph);
    ASSERT_TRUE(paragraph->isValid());
    Load(*shown.view, "<h2>new</h2>");
    Settle();
    EXPECT_EQ(shown.Tree(), "heading 'new'\n");
    QAccessibleInterface* old = QAccessible::accessibleInterface(id);
    EXPECT_TRUE(old == nullptr || !old->isValid());
}

TEST(HtmlAccessibleTest, PressActionFollowsTheLinkAsAClickDoes) {
    TAccessibleView shown("<p>Go <a href='https://example.org/x'>there</a></p>");
    QAccessibleInterface* link = shown.Document()->child(0)->child(0);
    ASSERT_NE(link, nullptr);
    ASSERT_EQ(link->role(), QAccessible::Link);
    QAccessibleActionInterface* actions = link->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_EQ(shown.clicked.size(), 1u);
    EXPECT_EQ(shown.clicked[0], "https://example.org/x");
}

}  // namespace
