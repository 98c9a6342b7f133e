// Finding in and zooming the opened message from the main window's keys, pressed as real key
// events on the real windows (offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <cmath>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "htmlview/HtmlView.h"
#include "shell/FindBar.h"
#include "shell/MainUnit.h"
#include "shell/MessageListModel.h"
#include "support/SettingsStore.h"
#include "transport/HttpRequest.h"

using namespace testing_support;

namespace {

// The main window with two messages fetched from a loopback script and the first one opened.
class MessageViewKeys : public ::testing::Test {
protected:
    void SetUp() override {
        ResetUserSettings();
        ClearNotifications();
        script_.AddMessage({1, "First", "First", "<p>cat one</p><p>a cat two</p><p>three CATS</p>"});
        script_.AddMessage({2, "Second", "Second", "<p>only one cat here</p>"});
        StoreSettings([&](TSettingsStore& store) {
            store.WriteText("Connection", "User", "ann");
            store.WriteText("Connection", "URL", script_.Url());
            store.WriteNumber("Connection", "Delay", 60);
            store.WriteText("Connection", "Pass", "pw");
            store.WriteFlag("Caching", "SavePass", true);
        });
        program_ = std::make_unique<TProgram>(true);
        program_->HoldTimer();
        form_ = program_->Main;
        const size_t empty = script_.EmptyAnswers();
        program_->HTTP->Poll();
        ASSERT_TRUE(WaitUntil([&] {
            return script_.EmptyAnswers() > empty && !program_->HTTP->PollRequest->Busy() &&
                   form_->ListItems->Count() == 2;
        }));
        ASSERT_TRUE(WaitUntil([&] { return form_->isActiveWindow(); }));
        Open("First");
        form_->ListView->setFocus();
    }
    void TearDown() override { program_.reset(); }

    void Open(const char* header) {
        for (int row = 0; row < form_->ListItems->Count(); ++row)
            if (form_->ListItems->Data(row)->Header == header)
                form_->ListView->setCurrentIndex(form_->ListItems->index(row));
        form_->ListViewDblClick();
        QApplication::processEvents();
        ASSERT_EQ(form_->PanelLong->Caption(), header);
    }

    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, static_cast<Qt::Key>(key), modifiers);
        QApplication::processEvents();
    }

    QString Count() const { return form_->FindBar->LabelCount->text(); }

    TPollScript script_;
    std::unique_ptr<TProgram> program_;
    TMainForm* form_ = nullptr;
};

// Relative luminance of a colour, as contrast ratios are computed.
double Luminance(const QColor& color) {
    const auto linear = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

struct TKey {
    int key;
    Qt::KeyboardModifiers modifiers;
};

}  // namespace

TEST_F(MessageViewKeys, ZoomKeysStepTheMessageSize) {
    const TKey plus{Qt::Key_Plus, Qt::ControlModifier},
        shiftedPlus{Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier},
        equal{Qt::Key_Equal, Qt::ControlModifier}, minus{Qt::Key_Minus, Qt::ControlModifier},
        zero{Qt::Key_0, Qt::ControlModifier}, plain{Qt::Key_Plus, Qt::NoModifier};
    struct Row {
        const char* name;
        bool inView;  // else the list has the focus
        std::vector<TKey> keys;
        double zoom;
    };
    const Row table[] = {
        {"Ctrl++", false, {plus}, 1.1},
        {"Ctrl+Shift+= as typed", false, {shiftedPlus}, 1.1},
        {"Ctrl+=", true, {equal}, 1.1},
        {"Ctrl+-", true, {minus}, 0.9},
        {"three steps up", false, {plus, plus, plus}, 1.5},
        {"two steps down", true, {minus, minus}, 0.8},
        {"up to the limit", false, std::vector<TKey>(15, plus), 3.0},
        {"down to the limit", true, std::vector<TKey>(15, minus), 0.5},
        {"Ctrl+0 goes back", false, {plus, plus, zero}, 1.0},
        {"a plain + does not zoom", true, {plain}, 1.0},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        form_->HtmlView->SetZoom(1.0);
        if (row.inView)
            form_->HtmlView->setFocus();
        else
            form_->ListView->setFocus();
        for (const TKey& key : row.keys) Press(key.key, key.modifiers);
        EXPECT_DOUBLE_EQ(form_->HtmlView->Zoom(), row.zoom);
    }
}

TEST_F(MessageViewKeys, TheZoomStaysWhenAnotherMessageIsOpened) {
    Press(Qt::Key_Plus, Qt::ControlModifier);
    Press(Qt::Key_Plus, Qt::ControlModifier);
    ASSERT_DOUBLE_EQ(form_->HtmlView->Zoom(), 1.25);
    Open("Second");
    EXPECT_DOUBLE_EQ(form_->HtmlView->Zoom(), 1.25);
}

TEST_F(MessageViewKeys, FindBarFindsStepsAndCloses) {
    Press(Qt::Key_F, Qt::ControlModifier);
    ASSERT_FALSE(form_->FindBar->isHidden());
    ASSERT_EQ(QApplication::focusWidget(), form_->FindBar->EditFind);
    // The bar takes its room from the view, which ends above it.
    EXPECT_LE(form_->HtmlView->geometry().bottom(), form_->FindBar->geometry().top());
    QTest::keyClicks(form_->FindBar->EditFind, "Cat");
    QApplication::processEvents();
    EXPECT_EQ(Count(), "1 of 3");
    EXPECT_EQ(form_->HtmlView->FoundCount(), 3);
    struct Row {
        TKey key;
        const char* count;
    };
    const Row steps[] = {
        {{Qt::Key_Return, Qt::NoModifier}, "2 of 3"},    {{Qt::Key_Return, Qt::NoModifier}, "3 of 3"},
        {{Qt::Key_Return, Qt::NoModifier}, "1 of 3"},    {{Qt::Key_Return, Qt::ShiftModifier}, "3 of 3"},
        {{Qt::Key_F3, Qt::NoModifier}, "1 of 3"},        {{Qt::Key_F3, Qt::ShiftModifier}, "3 of 3"},
        {{Qt::Key_Enter, Qt::KeypadModifier}, "1 of 3"},
    };
    for (const Row& step : steps) {
        SCOPED_TRACE(step.count);
        Press(step.key.key, step.key.modifiers);
        EXPECT_EQ(Count(), step.count);
    }
    // F3 works from the list too.
    form_->ListView->setFocus();
    Press(Qt::Key_F3);
    EXPECT_EQ(Count(), "2 of 3");

    form_->FindBar->EditFind->setFocus();
    Press(Qt::Key_Escape);
    EXPECT_TRUE(form_->FindBar->isHidden());
    EXPECT_EQ(QApplication::focusWidget(), form_->HtmlView);
    EXPECT_EQ(form_->HtmlView->FoundCount(), 0);
    EXPECT_EQ(form_->HtmlView->geometry().height(), form_->PanelLong->Client()->height());
}

TEST_F(MessageViewKeys, NothingFoundTintsTheFieldAndAnotherMessageIsSearchedAgain) {
    Press(Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(form_->FindBar->EditFind, "dog");
    QApplication::processEvents();
    EXPECT_EQ(Count(), "No matches");
    const QColor normal = form_->FindBar->palette().color(QPalette::Base);
    const QImage field = form_->FindBar->EditFind->grab().toImage();
    const QColor tint = field.pixelColor(field.width() / 2, 3);
    EXPECT_NE(tint, normal);
    EXPECT_GT(tint.red(), tint.green() + 20);
    // The text typed stays readable on the tint: its darkest pixels against the tint.
    QColor darkest = tint;
    for (int y = 0; y < field.height(); ++y)
        for (int x = 0; x < field.width() / 2; ++x)
            if (Luminance(field.pixelColor(x, y)) < Luminance(darkest)) darkest = field.pixelColor(x, y);
    EXPECT_GE((Luminance(tint) + 0.05) / (Luminance(darkest) + 0.05), 4.5);

    form_->FindBar->EditFind->selectAll();
    QTest::keyClicks(form_->FindBar->EditFind, "cat");
    QApplication::processEvents();
    EXPECT_EQ(Count(), "1 of 3");
    Open("Second");
    EXPECT_EQ(form_->HtmlView->FoundCount(), 1);
    EXPECT_EQ(Count(), "1 of 1");
}
