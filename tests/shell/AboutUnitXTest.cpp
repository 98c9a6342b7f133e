// The About window's link to the maker's site on a real X server, where the desktop's opener
// for addresses is a program on PATH: here a fake one that records its arguments.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "common/ProgramHarness.h"
#include "exchange/HTTPUnit.h"
#include "exchange/IntervalTimer.h"
#include "shell/AboutUnit.h"
#include "shell/MainUnit.h"
#include "shell/MakerInfo.h"
#include "support/SettingsStore.h"

namespace {

using testing_support::WaitUntil;

class AboutLinkXTest : public testing::Test {
protected:
    void SetUp() override {
        testing_support::ResetUserSettings();
        testing_support::StoreSettings(
            [](TSettingsStore& store) { store.WriteFlag("Caching", "SavePass", true); });
        program_ = std::make_unique<testing_support::TProgram>(false);
        program_->HTTP->Timer->SetEnabled(false);
        about_ = new TAboutForm();
        program_->Main->show();
        oldPath_ = qgetenv("PATH");
        qputenv("PATH", bin_.path().toLocal8Bit());
        program_->Main->MenuAbout->trigger();
        ASSERT_TRUE(WaitUntil([&] { return about_->isActiveWindow(); }));
    }
    void TearDown() override {
        qputenv("PATH", oldPath_);
        delete about_;
        program_.reset();
    }

    void AddOpener() {
        QFile file(bin_.filePath("xdg-open"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QString("#!/bin/sh\n"
                           "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"%1/open.tmp\"\n"
                           "/bin/mv \"%1/open.tmp\" \"%1/open.args\"\n")
                       .arg(records_.path())
                       .toLocal8Bit());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString Recorded() const {
        QFile file(QDir(records_.path()).filePath("open.args"));
        if (!file.open(QIODevice::ReadOnly)) return QString();
        return QString::fromLocal8Bit(file.readAll()).trimmed();
    }
    static void Press(QWidget* target, QPointF at, QPointF releaseAt) {
        QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, releaseAt, target->mapToGlobal(releaseAt),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &release);
    }
    static void Click(QWidget* target) {
        const QPointF centre(target->rect().center());
        Press(target, centre, centre);
    }

    std::unique_ptr<testing_support::TProgram> program_;
    TAboutForm* about_ = nullptr;
    QTemporaryDir bin_;
    QTemporaryDir records_;
    QByteArray oldPath_;
};

TEST_F(AboutLinkXTest, ALinkTheDesktopCannotOpenKeepsItsColour) {
    TURLLabel* link = about_->URLLabel;
    EXPECT_EQ(link->foregroundRole(), QPalette::Highlight);
    EXPECT_TRUE(link->font().underline());
    Click(link);
    QCoreApplication::processEvents();
    EXPECT_FALSE(link->Visited());
    EXPECT_EQ(link->foregroundRole(), QPalette::Highlight);
}

TEST_F(AboutLinkXTest, TheLinkOpensTheMakersSiteWithTheDesktopsOpenerAndTurnsVisited) {
    AddOpener();
    TURLLabel* link = about_->URLLabel;

    // A press that leaves the label before the button comes up is no click.
    Press(link, QPointF(link->rect().center()), QPointF(link->width() + 40, link->height() / 2.0));
    EXPECT_FALSE(link->Visited());

    Click(link);
    ASSERT_TRUE(WaitUntil([&] { return !Recorded().isEmpty(); }));
    EXPECT_EQ(Recorded(), Maker.SiteAddress);
    EXPECT_TRUE(link->Visited());
    EXPECT_EQ(link->foregroundRole(), QPalette::LinkVisited);
    // The box stays open and blocking: the link is not a way out.
    EXPECT_TRUE(about_->isVisible());
    EXPECT_FALSE(program_->Main->isEnabled());
    EXPECT_TRUE(program_->HTTP->Paused);
}

TEST_F(AboutLinkXTest, EnterPressesOkWhereverTheFocusIsAndOpensNothing) {
    AddOpener();
    struct TCase {
        const char* Name;
        std::function<void()> Prepare;
    };
    const TCase cases[] = {
        {"as the box opens", [] {}},
        {"with the focus on the link", [&] { about_->URLLabel->setFocus(Qt::TabFocusReason); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (!about_->isVisible()) {
            program_->Main->MenuAbout->trigger();
            ASSERT_TRUE(WaitUntil([&] { return about_->isActiveWindow(); }));
        }
        c.Prepare();
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QApplication::sendEvent(focused, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, "\r");
        QApplication::sendEvent(focused, &release);
        EXPECT_TRUE(WaitUntil([&] { return !about_->isVisible(); }));
        EXPECT_TRUE(program_->Main->isEnabled());
        // An opener started by mistake would have written its record by now.
        EXPECT_FALSE(WaitUntil([&] { return !Recorded().isEmpty(); }, std::chrono::milliseconds(300)));
        EXPECT_FALSE(about_->URLLabel->Visited());
    }
}

}  // namespace
