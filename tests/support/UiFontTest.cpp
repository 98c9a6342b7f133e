// The windows' font by family name, and what stands in for a family that is not installed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "support/UiFont.h"

namespace {

TEST(SupportUiFont, AnInstalledFamilyIsUsedAMissingOneGivesWayToAProportionalUiFont) {
    struct Case {
        const char* Family;
        bool Installed;
    };
    const Case cases[] = {
        {"DejaVu Sans", true},
        {"Liberation Serif", true},
        {"MS Sans Serif", false},
        {"No Such Family Anywhere", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Family);
        const QString family = QString::fromLatin1(c.Family);
        ASSERT_EQ(QFontDatabase::families().contains(family), c.Installed)
            << "the machine's fonts are not as expected";
        const QFontInfo shown(UiFont(family));
        EXPECT_FALSE(shown.fixedPitch()) << shown.family().toStdString();
        if (c.Installed) {
            EXPECT_EQ(shown.family(), family);
        } else {
            EXPECT_NE(shown.family(), family);
        }
    }
}

// Run by the next test in a process of its own, whose font matcher maps "MS Sans Serif" to a
// monospaced face, as the font configuration of some locales does for a name it does not know.
TEST(SupportUiFont, DISABLED_MonospacedMatchForTheMissingFamily) {
    const QString family = QStringLiteral("MS Sans Serif");
    ASSERT_TRUE(QFontInfo(QFont(family)).fixedPitch()) << "the matcher does not give the monospaced face";
    const QFontInfo shown(UiFont(family));
    EXPECT_FALSE(shown.fixedPitch()) << shown.family().toStdString();
}

TEST(SupportUiFont, AMissingFamilyThatTheMatcherTurnsMonospacedStillGivesAProportionalFont) {
    const QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile config(folder.filePath(QStringLiteral("fonts.conf")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <match target="pattern">
    <test name="family"><string>MS Sans Serif</string></test>
    <edit name="family" mode="assign" binding="strong"><string>DejaVu Sans Mono</string></edit>
  </match>
</fontconfig>
)");
    config.close();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FONTCONFIG_FILE"), config.fileName());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=SupportUiFont.DISABLED_MonospacedMatchForTheMissingFamily")});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
}

}  // namespace
