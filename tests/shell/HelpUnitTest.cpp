// The Help window on the offscreen platform: where F1 and "Contents" take it, minimising and
// closing, the scroll bar beside the view, and where its links go.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "common/ProgramHarness.h"
#include "exchange/IntervalTimer.h"
#include "htmlview/HtmlView.h"
#include "shell/ConnectionUnit.h"
#include "shell/HelpUnit.h"
#include "shell/MainUnit.h"
#include "shell/MakerInfo.h"

namespace {

using testing_support::WaitUntil;

constexpr int VK_F1 = 112;

// A browser on PATH that writes its arguments, one per line, to a file of its own.
class TFakeBrowser {
public:
    TFakeBrowser() {
        oldPath_ = qgetenv("PATH");
        QFile file(bin_.filePath("chromium"));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QString("#!/bin/sh\n"
                               "out=\"%1/$$\"\n"
                               "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out.tmp\"\n"
                               "/bin/mv \"$out.tmp\" \"$out.args\"\n")
                           .arg(records_.path())
                           .toLocal8Bit());
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", bin_.path().toLocal8Bit());
    }
    ~TFakeBrowser() { qputenv("PATH", oldPath_); }

    // The argument lists of the launches recorded so far, oldest file name first.
    std::vector<QStringList> Launches() const {
        std::vector<QStringList> result;
        const QDir dir(records_.path());
        for (const QString& name : dir.entryList({"*.args"}, QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly)) continue;
            QString text = QString::fromLocal8Bit(file.readAll());
            if (text.endsWith('\n')) text.chop(1);
            result.push_back(text.split('\n'));
        }
        return result;
    }

private:
    QTemporaryDir bin_;
    QTemporaryDir records_;
    QByteArray oldPath_;
};

// The program's windows in start-up order, the Help window among them.
class HelpWindowTest : public testing::Test {
protected:
    void SetUp() override {
        testing_support::ResetUserSettings();
        program_ = std::make_unique<testing_support::TProgram>(false);
        help_ = new THelpForm();
        view_ = help_->HtmlView;
    }
    void TearDown() override {
        delete help_;
        program_.reset();
    }

    // The row each topic starts at, measured by jumping there.
    int AnchorRow(const char* anchor) {
        const int before = view_->VerticalPosition();
        EXPECT_TRUE(view_->GoToAnchor(anchor)) << anchor;
        const int row = view_->VerticalPosition();
        view_->SetVerticalPosition(before);
        return row;
    }

    bool ShownAt(int row) const {
        return help_->isVisible() && view_->VerticalPosition() == row && help_->ScrollBar->value() == row;
    }

    // Rows of the view that show link-coloured text (blue, or purple once visited), grouped into runs of
    // neighbouring rows, each given by a point in its middle.
    std::vector<QPoint> BlueTextRuns() const {
        const QImage image = view_->viewport()->grab().toImage();
        std::vector<QPoint> runs;
        int first = -1, sumX = 0, count = 0;
        for (int y = 0; y <= image.height(); ++y) {
            bool blue = false;
            if (y < image.height()) {
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (c.blue() >= 120 && c.green() < 90) {
                        blue = true;
                        sumX += x;
                        ++count;
                    }
                }
            }
            if (blue && first < 0) first = y;
            if (!blue && first >= 0) {
                runs.emplace_back(sumX / std::max(1, count), (first + y - 1) / 2);
                first = -1;
                sumX = count = 0;
            }
        }
        return runs;
    }

    void Click(const QPoint& at) {
        QWidget* target = view_->viewport();
        const QPointF local(at);
        const QPointF global(target->mapToGlobal(at));
        QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(target, &release);
        QCoreApplication::processEvents();
    }

    std::unique_ptr<testing_support::TProgram> program_;
    THelpForm* help_ = nullptr;
    THtmlView* view_ = nullptr;
};

TEST_F(HelpWindowTest, TheDocumentHoldsItsFourTopicsInOrderAndIsLongerThanTheWindow) {
    EXPECT_FALSE(help_->isVisible());
    help_->Open("");
    EXPECT_EQ(view_->VerticalPosition(), 0);
    EXPECT_EQ(help_->windowTitle(), "Help");
    EXPECT_EQ(help_->size(), QSize(507, 243));
    EXPECT_TRUE(help_->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(help_->ScrollBar->width(), 17);
    EXPECT_EQ(help_->ScrollBar->x() + 17, help_->width());
    EXPECT_GT(view_->VerticalRange(), 0);
    EXPECT_EQ(help_->ScrollBar->maximum(), view_->VerticalRange());
    EXPECT_EQ(help_->ScrollBar->pageStep(), view_->viewport()->height());

    const int top = AnchorRow("#top");
    const int about = AnchorRow("#about");
    const int option = AnchorRow("#option");
    const int techn = AnchorRow("#techn");
    EXPECT_EQ(top, 0);
    EXPECT_LT(top, about);
    EXPECT_LT(about, option);
    EXPECT_LE(option, techn);
    EXPECT_GT(option, 0);
    EXPECT_FALSE(view_->GoToAnchor("#nowhere"));
}

TEST_F(HelpWindowTest, F1AndContentsTakeTheHelpToTheirPlaces) {
    ASSERT_TRUE(program_->Main->ShowHelp);
    ASSERT_TRUE(program_->Main->MenuContents->isEnabled());
    // Rows as laid out on screen.
    help_->Open("");
    const int option = AnchorRow("#option");
    help_->close();

    // F1 in the Connection dialog: the Options topic.
    EXPECT_TRUE(program_->Connection->FormShortCut(VK_F1));
    EXPECT_TRUE(ShownAt(option));

    // F1 in the main window: back to the top, also while it is open elsewhere.
    EXPECT_TRUE(program_->Main->FormShortCut(VK_F1));
    EXPECT_TRUE(ShownAt(0));

    // The user scrolls with the scroll bar, closes the window, and opens it with "Contents".
    help_->ScrollBar->setValue(option / 2);
    EXPECT_EQ(view_->VerticalPosition(), option / 2);
    help_->close();
    EXPECT_FALSE(help_->isVisible());
    program_->Main->MenuContents->trigger();
    EXPECT_TRUE(ShownAt(option / 2));

    // "Contents" while it is open leaves the place as well.
    program_->Main->MenuContents->trigger();
    EXPECT_TRUE(ShownAt(option / 2));

    // Other keys are not the Help window's.
    EXPECT_FALSE(program_->Main->FormShortCut(113));
    EXPECT_FALSE(program_->Connection->FormShortCut(113));
}

TEST_F(HelpWindowTest, OpenedAtTheTopTheHeadingIsShownWhole) {
    // F1 in the main window opens the help at "#top": the "Help Topics" heading must not be
    // cut by the window's top edge, so the first rows of the view are blank and text follows.
    EXPECT_TRUE(program_->Main->FormShortCut(VK_F1));
    ASSERT_TRUE(help_->isVisible());
    const QImage image = view_->viewport()->grab().toImage();
    auto rowHasText = [&](int y) {
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).lightness() < 160) return true;
        return false;
    };
    int firstText = -1;
    for (int y = 0; y < image.height() && firstText < 0; ++y)
        if (rowHasText(y)) firstText = y;
    EXPECT_GE(firstText, 4) << "the heading touches the top edge";
    EXPECT_LT(firstText, 60) << "the heading is not near the top";
}

TEST_F(HelpWindowTest, MinimisingHidesOnlyTheHelpAndOpeningShowsItWhereItWas) {
    program_->Main->show();
    ASSERT_TRUE(WaitUntil([&] { return program_->Main->isVisible(); }));
    help_->Open("#option");
    const int option = view_->VerticalPosition();
    ASSERT_GT(option, 0);

    help_->showMinimized();
    EXPECT_TRUE(WaitUntil([&] { return !help_->isVisible(); }));
    EXPECT_FALSE(help_->windowState() & Qt::WindowMinimized);
    // The program as a whole stays where it was: only the Help window went.
    QCoreApplication::processEvents();
    EXPECT_TRUE(program_->Main->isVisible());
    EXPECT_FALSE(program_->Main->isMinimized());

    program_->Main->MenuContents->trigger();
    EXPECT_TRUE(ShownAt(option));
    EXPECT_FALSE(help_->isMinimized());
}

TEST_F(HelpWindowTest, TheScrollFollowerRunsOnlyWhileTheWindowIsOnScreen) {
    EXPECT_FALSE(help_->Timer->Running());
    help_->Open("");
    EXPECT_TRUE(help_->Timer->Running());
    EXPECT_EQ(help_->Timer->Interval(), 10);

    // Scrolling inside the view (keys, wheel) reaches the scroll bar through the follower.
    view_->SetVerticalPosition(37);
    ASSERT_EQ(view_->VerticalPosition(), 37);
    EXPECT_TRUE(WaitUntil([&] { return help_->ScrollBar->value() == 37; }));

    help_->close();
    EXPECT_FALSE(help_->Timer->Running());
    help_->Open("");
    EXPECT_TRUE(help_->Timer->Running());
    help_->showMinimized();
    EXPECT_TRUE(WaitUntil([&] { return !help_->isVisible(); }));
    EXPECT_FALSE(help_->Timer->Running());

    // While hidden the view may move (a jump from F1 comes next); opening shows the scroll bar
    // in step at once.
    view_->SetVerticalPosition(11);
    help_->Open("");
    EXPECT_EQ(help_->ScrollBar->value(), 11);
}

TEST_F(HelpWindowTest, AddressesGoToTheBrowserOverTheWorkAreaAndAnchorsStayInTheView) {
    TFakeBrowser browser;
    help_->Open("#top");
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QStringList geometry = {QString("--window-position=%1,%2").arg(area.left()).arg(area.top()),
                                  QString("--window-size=%1,%2").arg(area.width()).arg(area.height())};
    struct TCase {
        ByteString target;
        bool handled;  // the window takes it to the browser
    } cases[] = {
        {"#option", false},
        {"#techn", false},
        {Maker.ContactAddress, true},
        {Maker.DemoAddress, true},
        {"mailto:support@quorvel.example", true},
    };
    size_t launches = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.target);
        bool handled = false;
        ASSERT_TRUE(view_->OnLinkClick);
        view_->OnLinkClick(view_, c.target, handled);
        EXPECT_EQ(handled, c.handled);
        if (!c.handled) continue;
        ++launches;
        ASSERT_TRUE(WaitUntil([&] { return browser.Launches().size() == launches; }));
    }
    std::vector<QStringList> seen = browser.Launches();
    ASSERT_EQ(seen.size(), 3u);
    QStringList targets;
    for (const QStringList& launch : seen) {
        EXPECT_EQ(launch.mid(1, 2), geometry);
        targets << launch.last();
    }
    targets.sort();
    EXPECT_EQ(targets,
              QStringList({Maker.DemoAddress, Maker.ContactAddress, "mailto:support@quorvel.example"}));
}

TEST_F(HelpWindowTest, ClickingTopicsJumpsWithinTheHelpAndTheMakersLinkOpensTheBrowser) {
    TFakeBrowser browser;
    help_->Open("#top");
    const int about = AnchorRow("#about");
    const int option = AnchorRow("#option");
    ASSERT_TRUE(WaitUntil([&] { return BlueTextRuns().size() >= 3; }));

    // The topic list: "About Quorvel 1.01", "Options", "Contact Me".
    std::vector<QPoint> topics = BlueTextRuns();
    Click(topics[1]);
    EXPECT_EQ(view_->VerticalPosition(), option);
    EXPECT_TRUE(WaitUntil([&] { return help_->ScrollBar->value() == option; }));

    // The About topic's paragraph ends with the link to the demonstration, then "[home]".
    help_->Open("#about");
    ASSERT_EQ(view_->VerticalPosition(), about);
    std::vector<QPoint> links = BlueTextRuns();
    ASSERT_GE(links.size(), 2u);
    Click(links[0]);
    ASSERT_TRUE(WaitUntil([&] { return browser.Launches().size() == 1; }));
    EXPECT_EQ(browser.Launches()[0].last(), Maker.DemoAddress);
    EXPECT_EQ(view_->VerticalPosition(), about);

    Click(links[1]);
    EXPECT_EQ(view_->VerticalPosition(), 0);
    EXPECT_EQ(browser.Launches().size(), 1u);
}

}  // namespace
