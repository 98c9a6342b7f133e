// OpenInBrowser against fake browsers on PATH that record the arguments they were started with.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>

#include "common/ProgramHarness.h"
#include "common/TestEnvironment.h"
#include "exchange/UtilsUnit.h"
#include "platform/Browser.h"

namespace {

using testing_support::WaitUntil;

std::string Text(const QStringList& parts) {
    return parts.join(" | ").toStdString();
}

// A folder of fake programs that PATH points to alone while the test runs.
class BrowserLaunchTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bin_.isValid());
        ASSERT_TRUE(records_.isValid());
        oldPath_ = qgetenv("PATH");
        qputenv("PATH", bin_.path().toLocal8Bit());
        qputenv("QUORVEL_TEST_BROWSER_RECORDS", records_.path().toLocal8Bit());
    }
    void TearDown() override {
        qputenv("PATH", oldPath_);
        qunsetenv("QUORVEL_TEST_BROWSER_RECORDS");
    }

    // A program that writes its name and arguments, one per line, to a file of its own.
    void AddFake(const QString& name) {
        QFile file(bin_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "#!/bin/sh\n"
            "out=\"$QUORVEL_TEST_BROWSER_RECORDS/$$\"\n"
            "{ printf '%s\\n' \"${0##*/}\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } "
            "> \"$out.tmp\"\n"
            "/bin/mv \"$out.tmp\" \"$out.args\"\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void AddBroken(const QString& name) {
        QFile file(bin_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/nonexistent/interpreter\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QStringList RecordFiles() const {
        return QDir(records_.path()).entryList({"*.args"}, QDir::Files, QDir::Name);
    }
    // Waits for `count` launches and gives each one's program name and arguments.
    std::vector<QStringList> Launches(int count) const {
        EXPECT_TRUE(WaitUntil([&] { return RecordFiles().size() >= count; }))
            << "launches seen: " << RecordFiles().size();
        std::vector<QStringList> result;
        for (const QString& name : RecordFiles()) {
            QFile file(QDir(records_.path()).filePath(name));
            if (!file.open(QIODevice::ReadOnly)) continue;
            QString text = QString::fromLocal8Bit(file.readAll());
            if (text.endsWith('\n')) text.chop(1);
            result.push_back(text.split('\n'));
        }
        return result;
    }

    static QStringList Geometry() {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        return {QString("--window-position=%1,%2").arg(area.left()).arg(area.top()),
                QString("--window-size=%1,%2").arg(area.width()).arg(area.height())};
    }

    QTemporaryDir bin_;
    QTemporaryDir records_;
    QByteArray oldPath_;
};

struct TLaunchCase {
    const char* name;
    QStringList fakes;
    std::string url;
    bool fillWorkArea;
    QStringList expected;  // program name, then its arguments; "@geometry" stands for the two
};

TEST_F(BrowserLaunchTest, EachBrowserKindGetsTheAddressAsOneArgumentAfterTheMarker) {
    const std::vector<TLaunchCase> cases = {
        {"positioned browser",
         {"chromium"},
         "http://example.test/a?b=1&c=2 d",
         true,
         {"chromium", "--new-window", "@geometry", "--", "http://example.test/a?b=1&c=2 d"}},
        {"link that looks like an option",
         {"chromium"},
         "--user-data-dir=/tmp/x",
         true,
         {"chromium", "--new-window", "@geometry", "--", "--user-data-dir=/tmp/x"}},
        {"no placement asked",
         {"chromium"},
         "http://example.test/",
         false,
         {"chromium", "--new-window", "--", "http://example.test/"}},
        {"empty address", {"chromium"}, "", true, {"chromium", "--new-window", "@geometry"}},
        {"positioned browser preferred",
         {"firefox", "google-chrome"},
         "http://example.test/",
         true,
         {"google-chrome", "--new-window", "@geometry", "--", "http://example.test/"}},
        {"browser without placement", {"epiphany"}, "-x", true, {"epiphany", "--new-window", "--", "-x"}},
        {"browser without a marker",
         {"firefox"},
         "http://example.test/",
         true,
         {"firefox", "--new-window", "http://example.test/"}},
        {"opener, any case of the scheme",
         {"xdg-open", "gio"},
         "HTTPS://Shop.example.test/",
         true,
         {"xdg-open", "HTTPS://Shop.example.test/"}},
        {"the other opener",
         {"gio"},
         "http://example.test/a",
         true,
         {"gio", "open", "--", "http://example.test/a"}},
        {"desktop opener",
         {"xdg-open"},
         "mailto:shop@example.test",
         true,
         {"xdg-open", "mailto:shop@example.test"}},
    };
    for (const TLaunchCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& entry : QDir(bin_.path()).entryList(QDir::Files))
            QFile::remove(bin_.filePath(entry));
        for (const QString& entry : RecordFiles()) QFile::remove(QDir(records_.path()).filePath(entry));
        for (const QString& fake : c.fakes) AddFake(fake);

        ASSERT_NO_THROW(OpenInBrowser(c.url, c.fillWorkArea));

        QStringList expected;
        for (const QString& part : c.expected) {
            if (part == "@geometry")
                expected << Geometry();
            else
                expected << part;
        }
        const auto launches = Launches(1);
        ASSERT_EQ(launches.size(), 1u);
        EXPECT_EQ(Text(launches[0]), Text(expected));
    }
}

TEST_F(BrowserLaunchTest, EveryCallOpensAWindowOfItsOwn) {
    AddFake("chromium");
    OpenInBrowser("http://example.test/order.php?id=7", true);
    OpenInBrowser("http://example.test/order.php?id=7", true);
    OpenInBrowser("http://example.test/other", true);
    const auto launches = Launches(3);
    ASSERT_EQ(launches.size(), 3u);
    int sameLink = 0;
    for (const QStringList& launch : launches) {
        EXPECT_EQ(Text(launch.mid(2, 2)), Text(Geometry()));
        if (launch.last() == "http://example.test/order.php?id=7") ++sameLink;
    }
    EXPECT_EQ(sameLink, 2);
}

TEST_F(BrowserLaunchTest, FailuresRaiseErrorsWithATextForTheUser) {
    struct TFailure {
        const char* name;
        QStringList fakes;
        bool broken;
        std::string url;
    };
    const std::vector<TFailure> failures = {
        {"no browser at all", {}, false, "http://example.test/"},
        {"browser that cannot start", {"chromium"}, true, "http://example.test/"},
        {"opener that would take the link for an option", {"xdg-open"}, false, "-x"},
        {"browser without a marker and no opener", {"firefox", "xdg-open"}, false, "--profile=/tmp/x"},
        {"browser without a marker, opener only for web links", {"firefox", "gio"}, false, "-x"},
        {"local file to the opener", {"xdg-open", "gio"}, false, "file:///tmp/run.sh"},
        {"script link to the opener", {"xdg-open"}, false, "javascript:alert(1)"},
        {"bare path to the opener", {"xdg-open"}, false, "order.php?id=7"},
        {"opener asked for an empty window", {"xdg-open", "gio"}, false, ""},
    };
    for (const TFailure& f : failures) {
        SCOPED_TRACE(f.name);
        for (const QString& entry : QDir(bin_.path()).entryList(QDir::Files))
            QFile::remove(bin_.filePath(entry));
        for (const QString& fake : f.fakes) f.broken ? AddBroken(fake) : AddFake(fake);
        try {
            OpenInBrowser(f.url, true);
            ADD_FAILURE() << "no error raised";
        } catch (const EBrowserError& error) {
            EXPECT_GT(std::string(error.what()).size(), 10u);
        }
    }
    EXPECT_TRUE(RecordFiles().isEmpty());
}

TEST_F(BrowserLaunchTest, TheWindowIsPlacedBeforeItOpensAndLoadsOnceShown) {
    AddFake("chromium");
    {
        TBrowser browser;
        browser.SetLeft(10);
        browser.SetTop(20);
        browser.Navigate("http://example.test/late");  // still hidden: nothing starts yet
        browser.SetWidth(300);
        browser.SetHeight(200);
        browser.SetVisible(true);
        EXPECT_THROW(browser.SetTop(0), EBrowserError);
        EXPECT_THROW(browser.Navigate("http://example.test/again"), EBrowserError);
        browser.Release();
    }
    {
        TBrowser hidden;  // never shown: opens nothing
        hidden.Navigate("http://example.test/hidden");
        hidden.Release();
    }
    const auto launches = Launches(1);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(Text(launches[0]), Text({"chromium", "--new-window", "--window-position=10,20",
                                       "--window-size=300,200", "--", "http://example.test/late"}));
}

}  // namespace
