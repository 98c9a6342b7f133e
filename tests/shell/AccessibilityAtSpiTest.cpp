// The program as a screen reader reads it: the real windows, registered through Qt's bridge with
// at-spi2-core's registry on a private accessibility bus, read back over that bus.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QListView>
#include <QTest>

#include "common/AccessibilityTree.h"
#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "htmlview/HtmlView.h"
#include "shell/AboutUnit.h"
#include "shell/ConnectionUnit.h"
#include "shell/HelpUnit.h"
#include "shell/MainUnit.h"
#include "shell/MessageListModel.h"
#include "transport/HttpRequest.h"

using namespace testing_support;

namespace {

const char* const kMessage =
    "<h1>Your order</h1><p>See <a href='https://shop.example/o/7'>order 7</a> for details.</p>"
    "<p><img alt='Parcel on its way' width='20' height='20'></p>"
    "<form action='/reply'><label for='c'>Comment</label> <input id='c' name='c'> "
    "<input type='submit' value='Send'></form>";

class AccessibilityAtSpi : public ::testing::Test {
protected:
    void SetUp() override {
        ResetUserSettings();
        ClearNotifications();
    }
    void TearDown() override { ClearNotifications(); }

    // This process as the registry lists it.
    TAccessible Application() const {
        TAccessible found;
        WaitUntil([&] {
            for (const TAccessible& application : tree.Applications())
                if (tree.Name(application) == QCoreApplication::applicationName()) found = application;
            return found.Valid();
        });
        return found;
    }

    TAccessible WithRole(const TAccessible& from, const QString& role) const {
        return tree.Find(from, [&](const TAccessible& object) { return tree.Role(object) == role; });
    }

    TAccessibilityTree tree{qEnvironmentVariable("QUORVEL_TEST_ACCESSIBILITY_BUS")};
};

}  // namespace

TEST_F(AccessibilityAtSpi, TheMainWindowIsAFrameAndTheOtherWindowsAreDialogs) {
    TProgram program(true, true);
    program.HoldTimer();  // no poll to an empty address, no warning box
    program.Connection->Open();
    program.About->Open();
    program.Help->Open("#top");
    QApplication::processEvents();
    const TAccessible application = Application();
    ASSERT_TRUE(application.Valid());

    struct Row {
        QWidget* window;
        const char* role;
    };
    const Row Table[] = {
        {program.Main, "frame"},
        {program.Connection, "dialog"},
        {program.About, "dialog"},
        {program.Help, "dialog"},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.window->windowTitle().toStdString());
        const TAccessible window = tree.Find(
            application,
            [&](const TAccessible& object) { return tree.Name(object) == R.window->windowTitle(); }, 1);
        ASSERT_TRUE(window.Valid());
        EXPECT_EQ(tree.Role(window).toStdString(), R.role);
    }
}

TEST_F(AccessibilityAtSpi, ListEntriesSayTitleHeaderAndUnreadUntilOpened) {
    TPollScript script;
    script.AddMessage({1, "From the shop", "Order shipped", "<p>one</p>"});
    script.AddMessage({2, "From the forum", "New reply", "<p>two</p>"});
    StoreConnection(script.Url());
    TProgram program(true);
    program.HoldTimer();
    ASSERT_TRUE(FetchAll(program, script));
    TMainForm& form = *program.Main;
    ASSERT_EQ(form.ListItems->Count(), 2);

    const TAccessible application = Application();
    const TAccessible list = WithRole(application, "list");
    ASSERT_TRUE(list.Valid());
    auto entries = [&] {
        QStringList said;
        for (const TAccessible& entry : tree.Children(list))
            if (tree.Role(entry) == "list item") said << tree.Name(entry) + " / " + tree.Description(entry);
        return said;
    };
    EXPECT_EQ(entries(),
              QStringList({"New reply, unread / From the forum", "Order shipped, unread / From the shop"}));

    form.ListView->setFocus();
    form.ListView->setCurrentIndex(form.ListItems->index(1));
    QTest::keyClick(form.ListView, Qt::Key_Return);
    QApplication::processEvents();
    ASSERT_EQ(form.DisplayedNotification(), form.ListItems->Data(1));
    EXPECT_EQ(entries(),
              QStringList({"New reply, unread / From the forum", "Order shipped / From the shop"}));
}

TEST_F(AccessibilityAtSpi, TheOpenedMessageIsReadWithItsStructureLinksPicturesAndFields) {
    TPollScript script;
    script.AddMessage({1, "Shop", "Order 7", kMessage});
    StoreConnection(script.Url());
    TProgram program(true);
    program.HoldTimer();
    ASSERT_TRUE(FetchAll(program, script));
    TMainForm& form = *program.Main;
    form.ListView->setFocus();
    form.ListView->setCurrentIndex(form.ListItems->index(0));
    QTest::keyClick(form.ListView, Qt::Key_Return);
    QApplication::processEvents();
    ASSERT_NE(form.DisplayedNotification(), nullptr);

    const TAccessible document = tree.Find(Application(), [&](const TAccessible& object) {
        return tree.Name(object) == "Shop" && tree.Role(object) != "label";  // not the header above it
    });
    ASSERT_TRUE(document.Valid());
    EXPECT_EQ(tree.Role(document).toStdString(), "document");
    EXPECT_EQ(tree.Text(document), "Your order\nSee order 7 for details.\nComment");
    EXPECT_EQ(tree.Dump(document).toStdString(),
              "heading 'Your order'\n"
              "paragraph 'See order 7 for details.'\n"
              "  link 'order 7' (https://shop.example/o/7)\n"
              "paragraph ''\n"
              "  graphic 'Parcel on its way'\n"
              "paragraph 'Comment'\n"
              "  text 'Comment'\n"
              "  push button 'Send'\n");
    const TAccessible link = WithRole(document, "link");
    ASSERT_TRUE(link.Valid());
    EXPECT_FALSE(tree.Actions(link).isEmpty());
}

namespace {

// The focus events the bridge would send on, as role and name.
std::vector<std::pair<QAccessible::Role, std::string>> focusEvents;

void RecordFocus(QAccessibleEvent* event) {
    if (event->type() != QAccessible::Focus) return;
    if (QAccessibleInterface* object = event->accessibleInterface())
        focusEvents.emplace_back(object->role(), object->text(QAccessible::Name).toStdString());
}

}  // namespace

TEST_F(AccessibilityAtSpi, FocusEventsFollowTheListSelectionAndTabThroughTheMessage) {
    TPollScript script;
    script.AddMessage({1, "Shop", "Order 7", kMessage});
    script.AddMessage({2, "Forum", "New reply", "<p>two</p>"});
    StoreConnection(script.Url());
    TProgram program(true);
    program.HoldTimer();
    ASSERT_TRUE(FetchAll(program, script));
    TMainForm& form = *program.Main;
    form.activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return form.isActiveWindow(); }));
    form.ListView->setFocus();
    form.ListView->setCurrentIndex(form.ListItems->index(0));
    QApplication::processEvents();

    ASSERT_TRUE(QAccessible::isActive());
    focusEvents.clear();
    const QAccessible::UpdateHandler bridge = QAccessible::installUpdateHandler(RecordFocus);
    struct Step {
        const char* what;
        std::function<void()> act;
        QAccessible::Role role;
        const char* name;
    };
    const Step Steps[] = {
        {"Down in the list", [&] { QTest::keyClick(form.ListView, Qt::Key_Down); }, QAccessible::ListItem,
         "Order 7, unread"},
        {"Return opens it, Tab into the message lands on its link",
         [&] {
             QTest::keyClick(form.ListView, Qt::Key_Return);
             QApplication::processEvents();
             form.HtmlView->setFocus(Qt::TabFocusReason);
         },
         QAccessible::Link, "order 7"},
        {"Tab on to the field", [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); },
         QAccessible::EditableText, "Comment"},
    };
    for (const Step& S : Steps) {
        SCOPED_TRACE(S.what);
        S.act();
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
        ASSERT_FALSE(focusEvents.empty());
        EXPECT_EQ(focusEvents.back(), std::make_pair(S.role, std::string(S.name)));
    }
    QAccessible::installUpdateHandler(bridge);
}
