// The About window on the offscreen platform: the blocked main window and the silenced poll
// cycle while it is open, both undone by "Ok" and by the close button. The maker's link, which
// needs the desktop's opener, is tried on a real X server (AboutUnitXTest).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <functional>
#include <memory>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "exchange/HTTPUnit.h"
#include "exchange/IntervalTimer.h"
#include "shell/AboutUnit.h"
#include "shell/ConnectionUnit.h"
#include "shell/HelpUnit.h"
#include "shell/MainUnit.h"
#include "shell/MakerInfo.h"
#include "support/SettingsStore.h"
#include "transport/HttpRequest.h"

namespace {

using testing_support::WaitUntil;

const QString CopyrightSign = QString(QChar(0x00A9));

// The program as start-up creates it, with the About and Help windows, the main window on
// screen and the password saved (so the Connection dialog stays closed), polling a loopback
// script only when asked to.
class AboutWindowTest : public testing::Test {
protected:
    void SetUp() override {
        testing_support::ResetUserSettings();
        testing_support::StoreSettings([&](TSettingsStore& store) {
            store.WriteText("Connection", "User", "alice");
            store.WriteText("Connection", "URL", script_.Url());
            store.WriteText("Connection", "Pass", "secret");
            store.WriteFlag("Caching", "SavePass", true);
        });
        program_ = std::make_unique<testing_support::TProgram>(false);
        program_->HTTP->Timer->SetEnabled(false);
        about_ = new TAboutForm();
        help_ = new THelpForm();
        program_->Main->show();
        ASSERT_TRUE(WaitUntil([&] { return program_->Main->isActiveWindow(); }));
    }
    void TearDown() override {
        delete help_;
        delete about_;
        program_.reset();
    }

    void OpenAbout() {
        program_->Main->MenuAbout->trigger();
        ASSERT_TRUE(WaitUntil([&] { return about_->isActiveWindow(); }));
    }
    bool Blocked() const { return !program_->Main->isEnabled() && program_->HTTP->Paused; }
    bool Unblocked() const { return program_->Main->isEnabled() && !program_->HTTP->Paused; }

    testing_support::TPollScript script_;
    std::unique_ptr<testing_support::TProgram> program_;
    TAboutForm* about_ = nullptr;
    THelpForm* help_ = nullptr;
};

TEST_F(AboutWindowTest, LaysOutTheProductAndTheMakersNotices) {
    EXPECT_FALSE(about_->isVisible());
    EXPECT_EQ(about_->windowTitle(), "About");
    EXPECT_EQ(about_->size(), QSize(349, 176));
    EXPECT_TRUE(about_->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(about_->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(about_->LabelProduct->text(), "Quorvel 1.01");
    EXPECT_EQ(about_->LabelSupport->text(), "Technical Support:");
    EXPECT_EQ(about_->LabelReserved->text(), Maker.RightsNotice);
    EXPECT_EQ(about_->URLLabel->text(), Maker.SiteCaption);
    EXPECT_EQ(about_->URLLabel->URL(), Maker.SiteAddress);
    EXPECT_EQ(about_->OKButton->text(), "Ok");
    EXPECT_FALSE(about_->ProgramIcon->pixmap().isNull());
    // Until the first activation the line carries the layout's "(C)".
    EXPECT_TRUE(about_->LabelCopyright->text().contains("(C)"));
    ASSERT_TRUE(program_->Main->MenuAbout->isEnabled());

    // Every label fits inside the panel, the button below it inside the window.
    for (QWidget* child : about_->Panel->findChildren<QWidget*>()) {
        const QRect r = child->geometry();
        EXPECT_TRUE(about_->Panel->contentsRect().contains(r))
            << child->objectName().toStdString() << " \"" << child->property("text").toString().toStdString()
            << "\" at " << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
    }
    EXPECT_TRUE(about_->rect().contains(about_->OKButton->geometry()));
    EXPECT_GE(about_->OKButton->y(), about_->Panel->geometry().bottom());
}

TEST_F(AboutWindowTest, OkAndTheCloseButtonBothUndoTheBlockWithoutAPoll) {
    const struct {
        const char* name;
        std::function<void(TAboutForm*)> close;
    } closers[] = {
        {"Ok", [](TAboutForm* about) { about->OKButton->click(); }},
        {"close button", [](TAboutForm* about) { about->close(); }},
    };
    for (const auto& c : closers) {
        SCOPED_TRACE(c.name);
        about_->LabelCopyright->setText("stale");
        OpenAbout();
        EXPECT_TRUE(Blocked());
        EXPECT_EQ(about_->LabelCopyright->text(), TAboutForm::CopyrightLine(CopyrightSign));

        c.close(about_);
        EXPECT_FALSE(about_->isVisible());
        EXPECT_TRUE(Unblocked());
        EXPECT_FALSE(program_->HTTP->PollRequest->Busy());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(script_.RequestCount(), 0u);

    // The probe can tell: closing the Connection dialog does poll at once.
    program_->Connection->Open();
    ASSERT_TRUE(WaitUntil([&] { return program_->Connection->isActiveWindow(); }));
    program_->Connection->close();
    EXPECT_TRUE(script_.WaitForRequests(1));
}

TEST_F(AboutWindowTest, StaysBlockingWhenItLosesTheActivationUntilItCloses) {
    OpenAbout();
    // Another window of the program becomes active, the About window stays open.
    help_->Open("#top");
    ASSERT_TRUE(WaitUntil([&] { return help_->isActiveWindow(); }));
    EXPECT_TRUE(about_->isVisible());
    EXPECT_TRUE(Blocked());

    // Coming back writes the line again.
    about_->LabelCopyright->setText("stale");
    about_->Open();
    ASSERT_TRUE(WaitUntil([&] { return about_->isActiveWindow(); }));
    EXPECT_EQ(about_->LabelCopyright->text(), TAboutForm::CopyrightLine(CopyrightSign));
    EXPECT_TRUE(Blocked());

    about_->close();
    EXPECT_TRUE(Unblocked());
    // Closing the Help window in between changes nothing of it.
    OpenAbout();
    help_->close();
    EXPECT_TRUE(Blocked());
    about_->OKButton->click();
    EXPECT_TRUE(Unblocked());
}

}  // namespace
